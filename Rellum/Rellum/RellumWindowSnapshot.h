#pragma once

#include "Rellum/RellumGeometry.h"

#include <mutex>
#include <optional>

// What the window reports to the host need to know about the real window,
// published by the view (main thread) and read by the control functions
// (render queue), so the render queue never touches the view itself.
//
// A terminal without a view keeps the defaults: a normal window at (0, 0),
// no view frame, no known largest page.
class RellumWindowSnapshot {
public:
    struct State {
        bool miniaturized = false;
        // The window's top-left corner in screen points.
        RellumPoint windowTopLeftPoint;
        // The view's frame in points; nullopt while there is no view.
        std::optional<RellumSize> viewFrameSize;
        // The largest page the view can show; nullopt while unknown.
        std::optional<RellumPageSize> maximalPageSize;
    };

    State state() const {
        std::lock_guard lock(mutex_);
        return state_;
    }
    void setState(const State& state) {
        std::lock_guard lock(mutex_);
        state_ = state;
    }
    void setMiniaturized(bool miniaturized) {
        std::lock_guard lock(mutex_);
        state_.miniaturized = miniaturized;
    }
    void setWindowTopLeftPoint(RellumPoint point) {
        std::lock_guard lock(mutex_);
        state_.windowTopLeftPoint = point;
    }
    void setViewFrameSize(std::optional<RellumSize> size) {
        std::lock_guard lock(mutex_);
        state_.viewFrameSize = size;
    }
    void setMaximalPageSize(std::optional<RellumPageSize> size) {
        std::lock_guard lock(mutex_);
        state_.maximalPageSize = size;
    }

private:
    mutable std::mutex mutex_;
    State state_;
};
