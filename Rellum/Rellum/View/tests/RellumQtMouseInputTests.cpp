#include "Rellum/RellumKeyPressHelper.h"
#include "Rellum/View/RellumQtMouseInput.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

// A page of 80 x 25 cells of 8 x 16 points filling a 640 x 400 view.
const RellumQtPageGeometry kPage{{8, 16}, 400, 25};

QPointF cellCentre(int x, int y) {
    return {x * 8 + 4.0, y * 16 + 8.0};
}

QMouseEvent press(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return QMouseEvent(QEvent::MouseButtonPress, at, at, button, button, m);
}
QMouseEvent release(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return QMouseEvent(QEvent::MouseButtonRelease, at, at, button, Qt::NoButton, m);
}
QMouseEvent move(QPointF at, Qt::MouseButtons held, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return QMouseEvent(QEvent::MouseMove, at, at, Qt::NoButton, held, m);
}
QWheelEvent wheel(QPointF at, int angleY, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return QWheelEvent(at, at, QPoint(), QPoint(0, angleY), Qt::NoButton, m, Qt::NoScrollPhase, false);
}

class RellumQtMouse : public ::testing::Test {
protected:
    std::string send(const QMouseEvent& event) {
        return RellumMouseReport(encoder, RellumMouseInputFromEvent(event, kPage));
    }
    std::string sendWheel(const QWheelEvent& event) {
        const RellumQtWheelInput in = RellumWheelInputFromEvent(event, kPage);
        return encoder.sequenceForScrollWheelWithDeltaY(in.deltaY, in.modifierFlags, in.coord);
    }
    void modes(std::uint64_t type, std::uint64_t protocol) {
        RellumInputModes m;
        m.mouseReportType = type;
        m.mouseReportProtocol = protocol;
        encoder.setModes(m);
    }
    RellumMouseHelper encoder;
};

TEST_F(RellumQtMouse, EventsBecomeButtonsModifiersAndCells) {
    const auto in =
        RellumMouseInputFromEvent(press(cellCentre(9, 4), Qt::RightButton, Qt::ShiftModifier), kPage);
    EXPECT_EQ(in.kind, RellumQtMouseInput::Kind::Down);
    EXPECT_EQ(in.buttonNumber, 1u);
    EXPECT_EQ(in.modifierFlags, 0x20000u);
    EXPECT_EQ(in.coord, (RellumMouseCoord{9, 4}));

    EXPECT_EQ(RellumButtonNumberFromQt(Qt::LeftButton), 0u);
    EXPECT_EQ(RellumButtonNumberFromQt(Qt::MiddleButton), 2u);
    EXPECT_EQ(RellumButtonNumberFromQt(Qt::BackButton), 3u);
    EXPECT_EQ(RellumButtonNumberFromQt(Qt::ForwardButton), 4u);

    // Drags are the left button's; the others keep Qt's behaviour.
    EXPECT_EQ(
        RellumMouseInputFromEvent(move(cellCentre(1, 1), Qt::RightButton | Qt::MiddleButton), kPage).kind,
        RellumQtMouseInput::Kind::Other);
    const auto leftDrag =
        RellumMouseInputFromEvent(move(cellCentre(1, 1), Qt::LeftButton | Qt::RightButton), kPage);
    EXPECT_EQ(leftDrag.kind, RellumQtMouseInput::Kind::Dragged);
    EXPECT_EQ(leftDrag.buttonNumber, 0u);
    EXPECT_EQ(RellumMouseInputFromEvent(move(cellCentre(1, 1), Qt::NoButton), kPage).kind,
              RellumQtMouseInput::Kind::Moved);
    const auto ctrlAlt = RellumMouseInputFromEvent(
        press(cellCentre(0, 0), Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier), kPage);
    EXPECT_EQ(ctrlAlt.modifierFlags, 0x40000u | 0x80000u);
}

TEST_F(RellumQtMouse, PointsMapToCellsOfThePageAtTheBottomOfTheView) {
    // The page fills the last 25 rows of a 500-point view: its top is at 100.
    const RellumQtPageGeometry tall{{8, 16}, 500, 25};
    EXPECT_EQ(RellumMouseCoordFromPoint({0, 100}, tall), (RellumMouseCoord{0, 0}));
    EXPECT_EQ(RellumMouseCoordFromPoint({15.9, 131.9}, tall), (RellumMouseCoord{1, 1}));
    EXPECT_EQ(RellumMouseCoordFromPoint({16, 132}, tall), (RellumMouseCoord{2, 2}));
    // Above or left of the page: cell 0; past its end (a drag out of the view): beyond it.
    EXPECT_EQ(RellumMouseCoordFromPoint({-30, 50}, tall), (RellumMouseCoord{0, 0}));
    EXPECT_EQ(RellumMouseCoordFromPoint({800, 520}, tall), (RellumMouseCoord{100, 26}));
}

TEST_F(RellumQtMouse, ClickReportsX10) {
    modes(RellumMouseReportClick, RellumMouseProtocolX10);
    EXPECT_EQ(send(press(cellCentre(0, 0), Qt::LeftButton)), "\x1b[M !!");
    EXPECT_EQ(send(release(cellCentre(0, 0), Qt::LeftButton)), "\x1b[M#!!");
    EXPECT_EQ(send(press(cellCentre(2, 1), Qt::MiddleButton, Qt::ControlModifier)), "\x1b[M1#\"");
    EXPECT_EQ(send(release(cellCentre(2, 1), Qt::MiddleButton)), "\x1b[M##\"");
    // Clicks only: drags and motion send nothing.
    EXPECT_EQ(send(press(cellCentre(3, 3), Qt::LeftButton)), "\x1b[M $$");
    EXPECT_EQ(send(move(cellCentre(4, 3), Qt::LeftButton)), "");
    EXPECT_EQ(send(release(cellCentre(4, 3), Qt::LeftButton)), "\x1b[M#%$");
    EXPECT_EQ(send(move(cellCentre(5, 3), Qt::NoButton)), "");
}

TEST_F(RellumQtMouse, ClickReportsSGR) {
    modes(RellumMouseReportClick, RellumMouseProtocolSGR);
    EXPECT_EQ(send(press(cellCentre(9, 4), Qt::RightButton)), "\x1b[<2;10;5M");
    EXPECT_EQ(send(release(cellCentre(9, 4), Qt::RightButton)), "\x1b[<2;10;5m");
    EXPECT_EQ(send(press(cellCentre(9, 4), Qt::RightButton, Qt::ShiftModifier)), "\x1b[<6;10;5M");
    EXPECT_EQ(send(release(cellCentre(9, 4), Qt::RightButton, Qt::ShiftModifier)), "\x1b[<6;10;5m");
    EXPECT_EQ(send(press(cellCentre(0, 0), Qt::BackButton)), "\x1b[<3;1;1M");
}

TEST_F(RellumQtMouse, DoubleClickReportsBothPresses) {
    modes(RellumMouseReportClick, RellumMouseProtocolSGR);
    const QPointF at = cellCentre(2, 2);
    const QMouseEvent second(QEvent::MouseButtonDblClick, at, at, Qt::LeftButton, Qt::LeftButton,
                             Qt::NoModifier);
    const std::vector<std::string> sent{send(press(at, Qt::LeftButton)), send(release(at, Qt::LeftButton)),
                                        send(second), send(release(at, Qt::LeftButton))};
    const std::vector<std::string> expected{"\x1b[<0;3;3M", "\x1b[<0;3;3m", "\x1b[<0;3;3M", "\x1b[<0;3;3m"};
    EXPECT_EQ(sent, expected);
}

TEST_F(RellumQtMouse, RightButtonDragsAreNotReported) {
    modes(RellumMouseReportDrag, RellumMouseProtocolSGR);
    EXPECT_EQ(send(press(cellCentre(1, 1), Qt::RightButton)), "\x1b[<2;2;2M");
    EXPECT_EQ(send(move(cellCentre(2, 1), Qt::RightButton)), "");
    EXPECT_EQ(send(release(cellCentre(2, 1), Qt::RightButton)), "\x1b[<2;3;2m");
}

TEST_F(RellumQtMouse, DragReportsOncePerCell) {
    modes(RellumMouseReportDrag, RellumMouseProtocolSGR);
    EXPECT_EQ(send(press(cellCentre(3, 3), Qt::LeftButton)), "\x1b[<0;4;4M");
    EXPECT_EQ(send(move(cellCentre(4, 3), Qt::LeftButton)), "\x1b[<32;5;4M");
    EXPECT_EQ(send(move(cellCentre(4, 3) + QPointF(2, 3), Qt::LeftButton)), "");
    EXPECT_EQ(send(move(cellCentre(4, 4), Qt::LeftButton, Qt::AltModifier)), "\x1b[<40;5;5M");
    // Motion without a button is not reported in this mode.
    EXPECT_EQ(send(release(cellCentre(4, 4), Qt::LeftButton)), "\x1b[<0;5;5m");
    EXPECT_EQ(send(move(cellCentre(6, 6), Qt::NoButton)), "");
}

TEST_F(RellumQtMouse, MotionReportsEveryNewCell) {
    modes(RellumMouseReportMotion, RellumMouseProtocolSGR);
    EXPECT_EQ(send(move(cellCentre(1, 1), Qt::NoButton)), "\x1b[<35;2;2M");
    EXPECT_EQ(send(move(cellCentre(1, 1) + QPointF(1, 1), Qt::NoButton)), "");
    EXPECT_EQ(send(move(cellCentre(2, 1), Qt::NoButton, Qt::ControlModifier)), "\x1b[<51;3;2M");
}

TEST_F(RellumQtMouse, DecimalAndUTF8Protocols) {
    modes(RellumMouseReportClick, RellumMouseProtocolDecimal);
    EXPECT_EQ(send(press(cellCentre(0, 0), Qt::LeftButton)), "\x1b[32;1;1M");
    EXPECT_EQ(send(release(cellCentre(0, 0), Qt::LeftButton)), "\x1b[35;1;1M");

    // Column 200 goes as U+00E9 (200 + 33) in two bytes.
    modes(RellumMouseReportClick, RellumMouseProtocolUTF8);
    const RellumQtPageGeometry wide{{8, 16}, 400, 25};
    const QPointF at(200 * 8 + 1, 1);
    EXPECT_EQ(RellumMouseReport(encoder, RellumMouseInputFromEvent(press(at, Qt::LeftButton), wide)),
              "\x1b[M \xc3\xa9!");
}

TEST_F(RellumQtMouse, NothingIsReportedWhileTheHostTakesNoReports) {
    modes(RellumMouseReportNone, RellumMouseProtocolSGR);
    EXPECT_EQ(send(press(cellCentre(1, 1), Qt::LeftButton)), "");
    EXPECT_EQ(send(move(cellCentre(2, 1), Qt::LeftButton)), "");
    EXPECT_EQ(send(release(cellCentre(2, 1), Qt::LeftButton)), "");
    EXPECT_EQ(sendWheel(wheel(cellCentre(0, 0), 120)), "");
}

TEST_F(RellumQtMouse, WheelReportsOnePressPerEvent) {
    modes(RellumMouseReportClick, RellumMouseProtocolSGR);
    EXPECT_EQ(sendWheel(wheel(cellCentre(0, 0), 120)), "\x1b[<64;1;1M");
    EXPECT_EQ(sendWheel(wheel(cellCentre(0, 0), -120)), "\x1b[<65;1;1M");
    EXPECT_EQ(sendWheel(wheel(cellCentre(5, 2), 360, Qt::ShiftModifier)), "\x1b[<68;6;3M");
    EXPECT_EQ(sendWheel(wheel(cellCentre(0, 0), 0)), "");
    modes(RellumMouseReportClick, RellumMouseProtocolX10);
    EXPECT_EQ(sendWheel(wheel(cellCentre(0, 0), 120)), "\x1b[M`!!");
}

TEST_F(RellumQtMouse, WheelInTheAlternateScreenIsCursorKeys) {
    RellumKeyPressHelper keys;
    const auto keysFor = [&](int angle) {
        const QWheelEvent e = wheel(cellCentre(0, 0), angle);
        const RellumQtWheelInput in = RellumWheelInputFromEvent(e, kPage);
        return keys.sequenceScrollWheelWithDeltaY(in.deltaY, in.modifierFlags);
    };
    EXPECT_EQ(keysFor(120), "\x1b[A");
    EXPECT_EQ(keysFor(-240), "\x1b[B\x1b[B");
    EXPECT_EQ(keysFor(312), "\x1b[A\x1b[A\x1b[A"); // 2.6 notches
    EXPECT_EQ(keysFor(36), "");                    // 0.3 notches: the view scrolls instead
    EXPECT_EQ(keysFor(0), std::nullopt);
    RellumInputModes m;
    m.applicationCursorKeyMode = true;
    keys.setModes(m);
    EXPECT_EQ(keysFor(120), "\x1bOA");
}

TEST(RellumWheelStepAccumulator, FractionsOfANotchMakeWholeSteps) {
    RellumWheelStepAccumulator acc;
    double steps = 0;
    for (int i = 0; i < 7; ++i)
        steps += acc.add(15 / 120.0);
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(acc.add(15 / 120.0), 1);
    EXPECT_EQ(acc.add(2.5), 2);
    EXPECT_DOUBLE_EQ(acc.pending(), 0.5);
    // Turning back drops what was collected the other way.
    EXPECT_EQ(acc.add(-0.75), 0);
    EXPECT_DOUBLE_EQ(acc.pending(), -0.75);
    EXPECT_EQ(acc.add(-0.25), -1);
    EXPECT_EQ(acc.add(0), 0);
    EXPECT_EQ(acc.add(std::numeric_limits<double>::quiet_NaN()), 0);
}

} // namespace
