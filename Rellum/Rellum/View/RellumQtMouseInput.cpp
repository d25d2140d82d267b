#include "Rellum/View/RellumQtMouseInput.h"

#include "Rellum/View/RellumQtKeyInput.h"

#include <cmath>

std::uint64_t RellumButtonNumberFromQt(Qt::MouseButton button) {
    switch (button) {
    case Qt::NoButton:
    case Qt::LeftButton:
        return 0;
    case Qt::RightButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    default: {
        // Qt's extra buttons are single bits from BackButton (0x8) on.
        std::uint64_t number = 3;
        for (auto bit = static_cast<std::uint64_t>(button); bit > Qt::BackButton; bit >>= 1)
            ++number;
        return number;
    }
    }
}

RellumMouseCoord RellumMouseCoordFromPoint(QPointF point, const RellumQtPageGeometry& geometry) {
    // The core answers (0, 0) for cells without a size.
    return RellumMouseCoordOfPoint(point.x(), point.y(), geometry.viewHeight, geometry.cellSize.width,
                                   geometry.cellSize.height, geometry.rows);
}

RellumQtMouseInput RellumMouseInputFromEvent(const QMouseEvent& event, const RellumQtPageGeometry& geometry) {
    RellumQtMouseInput input;
    input.modifierFlags = RellumModifierFlagsFromQt(event.modifiers()) & ~RellumNumericPadKeyMask;
    input.coord = RellumMouseCoordFromPoint(event.position(), geometry);
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // Qt's second press of a double click
        input.kind = RellumQtMouseInput::Kind::Down;
        input.buttonNumber = RellumButtonNumberFromQt(event.button());
        break;
    case QEvent::MouseButtonRelease:
        input.kind = RellumQtMouseInput::Kind::Up;
        input.buttonNumber = RellumButtonNumberFromQt(event.button());
        break;
    case QEvent::MouseMove: {
        const Qt::MouseButtons held = event.buttons();
        if (!held) {
            input.kind = RellumQtMouseInput::Kind::Moved;
        } else if (held & Qt::LeftButton) {
            input.kind = RellumQtMouseInput::Kind::Dragged;
            input.buttonNumber = 0;
        } else {
            // Drags of the other buttons keep Qt's behaviour and are not reported.
            input.kind = RellumQtMouseInput::Kind::Other;
        }
        break;
    }
    default:
        input.kind = RellumQtMouseInput::Kind::Other;
        break;
    }
    return input;
}

std::string RellumMouseReport(RellumMouseHelper& encoder, const RellumQtMouseInput& input) {
    switch (input.kind) {
    case RellumQtMouseInput::Kind::Down:
        return encoder.sequenceForMouseDown(input.buttonNumber, input.modifierFlags, input.coord);
    case RellumQtMouseInput::Kind::Up:
        return encoder.sequenceForMouseUp(input.buttonNumber, input.modifierFlags, input.coord);
    case RellumQtMouseInput::Kind::Dragged:
        return encoder.sequenceForMouseDragged(input.buttonNumber, input.modifierFlags, input.coord);
    case RellumQtMouseInput::Kind::Moved:
        return encoder.sequenceForMouseMovedWithModifierFlags(input.modifierFlags, input.coord);
    case RellumQtMouseInput::Kind::Other:
        break;
    }
    return {};
}

double RellumWheelDeltaY(const QWheelEvent& event) {
    // Qt measures in eighths of a degree, 120 to the notch; the user's choice
    // of natural scrolling is already in the sign, as content scrolling wants.
    return event.angleDelta().y() / 120.0;
}

RellumQtWheelInput RellumWheelInputFromEvent(const QWheelEvent& event, const RellumQtPageGeometry& geometry) {
    return {RellumWheelDeltaY(event), RellumModifierFlagsFromQt(event.modifiers()) & ~RellumNumericPadKeyMask,
            RellumMouseCoordFromPoint(event.position(), geometry)};
}

double RellumWheelStepAccumulator::add(double deltaY) {
    if (!std::isfinite(deltaY) || deltaY == 0) return 0;
    if ((pending_ > 0 && deltaY < 0) || (pending_ < 0 && deltaY > 0)) pending_ = 0;
    pending_ += deltaY;
    const double steps = std::trunc(pending_);
    pending_ -= steps;
    return steps;
}
