#pragma once

#include "Rellum/RellumColor.h"
#include "Rellum/RellumGeometry.h"

#include <cstdint>
#include <memory>
#include <optional>

class RellumContext;
class RellumTextStorage;

// A rectangle in a text storage's document coordinates (points, starting at
// the first scrollback line).
struct RellumRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const RellumRect&, const RellumRect&) = default;
};

// What a terminal asks of the view that shows it. The view layer implements
// it; every operation runs on the main thread (the terminal's render queue
// reaches it only inside its synchronous hop to the main queue).
class RellumScreenController {
public:
    virtual ~RellumScreenController() = default;

    // The largest page that fits the view at the current cell metrics.
    virtual RellumPageSize maximalPageSize() = 0;
    virtual void setLineHeight(double lineHeight, double charWidth) = 0;
    virtual void updateBackgroundColor(const std::optional<RellumColor>& color) = 0;
    // Shows another storage (primary or alternate screen); nothing when it is
    // already the shown one.
    virtual void replaceTextStorage(RellumTextStorage* storage) = 0;
    // The storage shown now.
    virtual RellumTextStorage* contentAttributedString() = 0;
    // The end of each display update: the state that matches the text just applied.
    virtual void updateContext(std::unique_ptr<RellumContext> context, uint64_t cursorLocation,
                               RellumRect cursorRect, RellumCoord cursorCoord) = 0;

    // Window operations the host may ask for.
    virtual void iconifyWindow(bool iconify) = 0;
    virtual void moveWindowToOrigin(RellumPoint origin) = 0;
    virtual RellumPoint windowTopLeftPoint() = 0;
    // Front (true) or back (false).
    virtual void raiseWindow(bool raise) = 0;
    // The view's frame size in points; nullopt when there is no view.
    virtual std::optional<RellumSize> viewFrameSize() = 0;
};
