#pragma once

#include "Rellum/RellumGeometry.h"
#include "Rellum/RellumMouseHelper.h"

#include <QMouseEvent>
#include <QPointF>
#include <QWheelEvent>

#include <cstdint>

// What the mouse encoder takes from one Qt mouse event.
struct RellumQtMouseInput {
    enum class Kind {
        Down,    // a button went down
        Up,      // a button went up
        Dragged, // motion with the left button held
        Moved,   // motion with no button held
        Other,   // nothing the encoder reports: motion with only other buttons held
    };
    Kind kind = Kind::Other;
    // The platform button number: 0 left, 1 right, 2 middle, 3 and up the others.
    std::uint64_t buttonNumber = 0;
    std::uint64_t modifierFlags = 0;
    RellumMouseCoord coord;
};

// The page geometry a point is measured against: the cell size (zero before
// a font is set), the height of the view the point is in, and the page rows,
// which fill the last rows of that view.
struct RellumQtPageGeometry {
    RellumCellSize cellSize;
    double viewHeight = 0;
    std::int64_t rows = 0;
};

// Button number of a Qt button (NoButton counts as the left button).
std::uint64_t RellumButtonNumberFromQt(Qt::MouseButton button);

// The cell under a point in view coordinates; (0, 0) while the cell size is
// zero, so no event divides by it before a font is set.
RellumMouseCoord RellumMouseCoordFromPoint(QPointF point, const RellumQtPageGeometry& geometry);

// A press (the second press of a double click included), release or move
// event as the encoder's input.
RellumQtMouseInput RellumMouseInputFromEvent(const QMouseEvent& event, const RellumQtPageGeometry& geometry);

// The bytes the encoder reports for a mouse event (empty when the host takes
// no report of it, and the view keeps Qt's behaviour).
std::string RellumMouseReport(RellumMouseHelper& encoder, const RellumQtMouseInput& input);

// What the encoders take from one wheel event.
struct RellumQtWheelInput {
    double deltaY = 0; // wheel steps, up positive (RellumWheelDeltaY)
    std::uint64_t modifierFlags = 0;
    RellumMouseCoord coord;
};
RellumQtWheelInput RellumWheelInputFromEvent(const QWheelEvent& event, const RellumQtPageGeometry& geometry);

// Wheel movement in wheel steps, up positive: one notch of a wheel is 1.0;
// high-resolution wheels and touchpads give fractions of a notch.
double RellumWheelDeltaY(const QWheelEvent& event);

// Collects fractions of a notch until they make whole steps, so that a
// high-resolution wheel or a touchpad sends as many reports or keys per notch
// as an ordinary wheel does, and not one per fraction.
class RellumWheelStepAccumulator {
public:
    // Adds a movement; answers the whole steps it completes (signed), keeping
    // the rest. A change of direction drops what was collected the other way.
    double add(double deltaY);
    void reset() { pending_ = 0; }
    double pending() const { return pending_; }

private:
    double pending_ = 0;
};
