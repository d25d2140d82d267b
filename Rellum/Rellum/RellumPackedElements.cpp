#include "Rellum/RellumPackedElements.h"

#include <algorithm>
#include <cstring>
#include <vector>

RellumPackedElements::RellumPackedElements(const RellumElements& cells) {
    const std::size_t n = cells.cells_.size();
    const RellumElement* c = cells.cells_.data();
    char32_t bits = 0; // every value's bits: as wide as the widest value
    // The combined cells, listed without a branch per cell (they sit at
    // random among the others); without a pool no cell has marks.
    thread_local std::vector<uint32_t> combined;
    std::size_t combinedCount = 0;
    if (cells.marks_.empty()) {
        for (std::size_t i = 0; i < n; ++i)
            bits |= c[i].uchar;
    } else {
        if (combined.size() < n) combined.resize(n);
        uint32_t* list = combined.data();
        for (std::size_t i = 0; i < n; ++i) {
            bits |= c[i].uchar;
            list[combinedCount] = uint32_t(i);
            combinedCount += c[i].markIndex != 0;
        }
    }
    std::size_t markWords = 0;
    for (std::size_t k = 0; k < combinedCount; ++k)
        markWords += 2 + cells.marks_[c[combined[k]].markIndex - 1].size();
    const uint32_t width = bits < 0x100 ? 1 : bits < 0x10000 ? 2 : 4;
    const std::size_t cellWords = (n * width + 3) / 4;
    words_.reset(new uint32_t[2 + cellWords + markWords]);
    words_[0] = uint32_t(n);
    words_[1] = width | uint32_t(markWords) << 8;
    if (cellWords) words_[1 + cellWords] = 0; // the padding after the last cell
    unsigned char* bytes = reinterpret_cast<unsigned char*>(words_.get() + 2);
    switch (width) {
    case 1:
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<unsigned char>(c[i].uchar);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i) {
            const uint16_t v = static_cast<uint16_t>(c[i].uchar);
            std::memcpy(bytes + 2 * i, &v, 2);
        }
        break;
    default:
        for (std::size_t i = 0; i < n; ++i)
            words_[2 + i] = c[i].uchar;
        break;
    }
    if (markWords == 0) return;
    uint32_t* m = words_.get() + 2 + cellWords;
    for (std::size_t k = 0; k < combinedCount; ++k) {
        const std::size_t i = combined[k];
        const std::u32string& marks = cells.marks_[c[i].markIndex - 1];
        *m++ = uint32_t(i);
        *m++ = uint32_t(marks.size());
        for (char32_t mark : marks)
            *m++ = mark;
    }
}

char32_t RellumPackedElements::ucharAt(std::size_t i) const {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words_.get() + 2);
    switch (words_[1] & 0xFF) {
    case 1:
        return bytes[i];
    case 2: {
        uint16_t v;
        std::memcpy(&v, bytes + 2 * i, 2);
        return v;
    }
    default:
        return words_[2 + i];
    }
}

void RellumPackedElements::unpackInto(RellumElements& out) const {
    out.marks_.clear();
    const std::size_t n = size();
    out.cells_.resize(n);
    if (n == 0) return;
    RellumElement* c = out.cells_.data();
    const uint32_t width = words_[1] & 0xFF;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words_.get() + 2);
    switch (width) {
    case 1:
        for (std::size_t i = 0; i < n; ++i)
            c[i] = RellumElement(bytes[i]);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i) {
            uint16_t v;
            std::memcpy(&v, bytes + 2 * i, 2);
            c[i] = RellumElement(v);
        }
        break;
    default:
        for (std::size_t i = 0; i < n; ++i)
            c[i] = RellumElement(words_[2 + i]);
        break;
    }
    const std::size_t markWords = words_[1] >> 8;
    if (markWords == 0) return;
    const uint32_t* m = words_.get() + 2 + (n * width + 3) / 4;
    const uint32_t* end = m + markWords;
    while (m < end) {
        const uint32_t index = m[0], count = m[1];
        std::u32string marks(count, U'\0');
        for (uint32_t k = 0; k < count; ++k)
            marks[k] = char32_t(m[2 + k]);
        c[index].markIndex = out.internMarks(std::move(marks));
        m += 2 + count;
    }
}
