#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>

// A double-ended list in one ring of slots, a power of two long. Indexing is
// a mask and an add (a deque's costs a division), and an insertion or erasure
// moves the shorter side: at either end, nothing.
template <typename T>
class RellumRing {
public:
    template <bool Const>
    class Iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const T*, T*>;
        using reference = std::conditional_t<Const, const T&, T&>;
        using Ring = std::conditional_t<Const, const RellumRing, RellumRing>;

        Iterator() = default;
        Iterator(Ring* ring, std::size_t index) : ring_(ring), index_(index) {}
        operator Iterator<true>() const requires(!Const) { return {ring_, index_}; }

        reference operator*() const { return (*ring_)[index_]; }
        pointer operator->() const { return &(*ring_)[index_]; }
        reference operator[](difference_type n) const {
            return (*ring_)[std::size_t(difference_type(index_) + n)];
        }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        Iterator operator++(int) { return {ring_, index_++}; }
        Iterator& operator--() {
            --index_;
            return *this;
        }
        Iterator operator--(int) { return {ring_, index_--}; }
        Iterator& operator+=(difference_type n) {
            index_ = std::size_t(difference_type(index_) + n);
            return *this;
        }
        Iterator& operator-=(difference_type n) { return *this += -n; }
        friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
        friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
        friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const Iterator& a, const Iterator& b) {
            return difference_type(a.index_) - difference_type(b.index_);
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
        friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.index_ <=> b.index_; }
        std::size_t index() const { return index_; }

    private:
        Ring* ring_ = nullptr;
        std::size_t index_ = 0;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    RellumRing() = default;
    RellumRing(const RellumRing&) = delete;
    RellumRing& operator=(const RellumRing&) = delete;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return slots_[(head_ + i) & mask_]; }
    const T& operator[](std::size_t i) const { return slots_[(head_ + i) & mask_]; }
    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size_}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

    // Opens a gap of `count` slots before index (holding values moved from or
    // default ones), for the caller to assign.
    void insertEmpty(std::size_t index, std::size_t count) {
        if (count == 0) return;
        reserve(size_ + count);
        if (index < size_ - index) {
            // Open the gap by moving the front down.
            head_ = (head_ - count) & mask_;
            for (std::size_t i = 0; i < index; ++i)
                (*this)[i] = std::move((*this)[i + count]);
        } else {
            for (std::size_t i = size_; i-- > index;)
                (*this)[i + count] = std::move((*this)[i]);
        }
        size_ += count;
    }

    // Erases [first, last).
    void erase(std::size_t first, std::size_t last) {
        const std::size_t n = last - first;
        if (n == 0) return;
        if (first < size_ - last) {
            // Close the gap by moving the front up.
            for (std::size_t i = last; i-- > n;)
                (*this)[i] = std::move((*this)[i - n]);
            for (std::size_t i = 0; i < n; ++i)
                (*this)[i] = T();
            head_ = (head_ + n) & mask_;
        } else {
            for (std::size_t i = first; i + n < size_; ++i)
                (*this)[i] = std::move((*this)[i + n]);
            for (std::size_t i = size_ - n; i < size_; ++i)
                (*this)[i] = T();
        }
        size_ -= n;
    }

private:
    void reserve(std::size_t count) {
        if (count <= capacity_) return;
        std::size_t capacity = capacity_ ? capacity_ : 16;
        while (capacity < count)
            capacity *= 2;
        auto fresh = std::make_unique<T[]>(capacity);
        for (std::size_t i = 0; i < size_; ++i)
            fresh[i] = std::move((*this)[i]);
        slots_ = std::move(fresh);
        capacity_ = capacity;
        mask_ = capacity - 1;
        head_ = 0;
    }

    std::unique_ptr<T[]> slots_;
    std::size_t capacity_ = 0;
    std::size_t mask_ = 0;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};
