#pragma once

#include <functional>
#include <utility>

// Keeps one observer registered for as long as it lives. Destroying it (or
// calling invalidate()) removes the observer; once that returns, the callback
// is not running on another thread and will not be called again. The token may
// outlive what it observes.
class ObservationToken {
public:
    ObservationToken() = default;
    explicit ObservationToken(std::function<void()> remove) : remove_(std::move(remove)) {}
    ObservationToken(const ObservationToken&) = delete;
    ObservationToken& operator=(const ObservationToken&) = delete;
    ObservationToken(ObservationToken&& other) noexcept : remove_(std::exchange(other.remove_, nullptr)) {}
    ObservationToken& operator=(ObservationToken&& other) noexcept {
        if (this != &other) {
            invalidate();
            remove_ = std::exchange(other.remove_, nullptr);
        }
        return *this;
    }
    ~ObservationToken() { invalidate(); }

    void invalidate() {
        if (auto remove = std::exchange(remove_, nullptr)) remove();
    }
    bool isValid() const { return static_cast<bool>(remove_); }

private:
    std::function<void()> remove_;
};
