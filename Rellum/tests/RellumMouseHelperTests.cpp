#include "Rellum/RellumKeyCodes.h"
#include "Rellum/RellumMouseHelper.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kLeft = 0, kRight = 1, kMiddle = 2;

RellumMouseHelper helperWith(std::uint64_t type, std::uint64_t protocol) {
    RellumMouseHelper helper;
    RellumInputModes modes;
    modes.mouseReportType = type;
    modes.mouseReportProtocol = protocol;
    helper.setModes(modes);
    return helper;
}

using Event = std::function<std::string(RellumMouseHelper&)>;

struct Step {
    const char* what;
    Event event;
    // Expected bytes in the X10, UTF-8, decimal and SGR protocols.
    std::string expected[4];
};

// One press-drag-release-motion-wheel session under all-motion tracking.
std::vector<Step> sessionSteps() {
    const std::uint64_t control = RellumControlKeyMask, shift = RellumShiftKeyMask;
    return {
        {"left press at (0,0)",
         [](auto& h) {
             return h.sequenceForMouseDown(kLeft, 0, {0, 0});
         },
         {"\x1b[M !!", "\x1b[M !!", "\x1b[32;1;1M", "\x1b[<0;1;1M"}},
        {"drag to (3,2)",
         [](auto& h) {
             return h.sequenceForMouseDragged(kLeft, 0, {3, 2});
         },
         {"\x1b[M@$#", "\x1b[M@$#", "\x1b[64;4;3M", "\x1b[<32;4;3M"}},
        {"drag inside (3,2)",
         [](auto& h) {
             return h.sequenceForMouseDragged(kLeft, 0, {3, 2});
         },
         {"", "", "", ""}},
        {"left release at (3,2)",
         [](auto& h) {
             return h.sequenceForMouseUp(kLeft, 0, {3, 2});
         },
         {"\x1b[M#$#", "\x1b[M#$#", "\x1b[35;4;3M", "\x1b[<0;4;3m"}},
        {"drag after release",
         [](auto& h) {
             return h.sequenceForMouseDragged(kLeft, 0, {4, 4});
         },
         {"", "", "", ""}},
        {"motion to (5,5)",
         [](auto& h) {
             return h.sequenceForMouseMovedWithModifierFlags(0, {5, 5});
         },
         {"\x1b[MC&&", "\x1b[MC&&", "\x1b[67;6;6M", "\x1b[<35;6;6M"}},
        {"motion inside (5,5)",
         [](auto& h) {
             return h.sequenceForMouseMovedWithModifierFlags(0, {5, 5});
         },
         {"", "", "", ""}},
        {"Shift wheel up at (1,1)",
         [=](auto& h) {
             return h.sequenceForScrollWheelWithDeltaY(3.0, shift, {1, 1});
         },
         {"\x1b[Md\"\"", "\x1b[Md\"\"", "\x1b[100;2;2M", "\x1b[<68;2;2M"}},
        {"wheel down at (1,1)",
         [](auto& h) {
             return h.sequenceForScrollWheelWithDeltaY(-0.1, 0, {1, 1});
         },
         {"\x1b[Ma\"\"", "\x1b[Ma\"\"", "\x1b[97;2;2M", "\x1b[<65;2;2M"}},
        {"wheel of zero",
         [](auto& h) {
             return h.sequenceForScrollWheelWithDeltaY(0, 0, {1, 1});
         },
         {"", "", "", ""}},
        {"Control right press at (9,4)",
         [=](auto& h) {
             return h.sequenceForMouseDown(kRight, control, {9, 4});
         },
         {"\x1b[M2*%", "\x1b[M2*%", "\x1b[50;10;5M", "\x1b[<18;10;5M"}},
        {"Control right release",
         [=](auto& h) {
             return h.sequenceForMouseUp(kRight, control, {9, 4});
         },
         {"\x1b[M3*%", "\x1b[M3*%", "\x1b[51;10;5M", "\x1b[<18;10;5m"}},
        {"middle press with Option",
         [](auto& h) {
             return h.sequenceForMouseDown(kMiddle, RellumOptionKeyMask, {0, 0});
         },
         {"\x1b[M)!!", "\x1b[M)!!", "\x1b[41;1;1M", "\x1b[<9;1;1M"}},
        {"middle drag",
         [](auto& h) {
             return h.sequenceForMouseDragged(kMiddle, 0, {1, 0});
         },
         {"\x1b[MA\"!", "\x1b[MA\"!", "\x1b[65;2;1M", "\x1b[<33;2;1M"}},
        {"middle release",
         [](auto& h) {
             return h.sequenceForMouseUp(kMiddle, 0, {1, 0});
         },
         {"\x1b[M#\"!", "\x1b[M#\"!", "\x1b[35;2;1M", "\x1b[<1;2;1m"}},
        {"second release",
         [](auto& h) {
             return h.sequenceForMouseUp(kMiddle, 0, {1, 0});
         },
         {"", "", "", ""}},
        {"fourth button press",
         [](auto& h) {
             return h.sequenceForMouseDown(5, 0, {0, 0});
         },
         {"\x1b[M#!!", "\x1b[M#!!", "\x1b[35;1;1M", "\x1b[<3;1;1M"}},
    };
}

TEST(RellumMouseHelper, FourEncodingsOfPressDragReleaseMotionAndWheel) {
    const std::uint64_t protocols[] = {RellumMouseProtocolX10, RellumMouseProtocolUTF8,
                                       RellumMouseProtocolDecimal, RellumMouseProtocolSGR};
    for (int p = 0; p < 4; ++p) {
        auto helper = helperWith(RellumMouseReportMotion, protocols[p]);
        for (const auto& step : sessionSteps()) {
            EXPECT_EQ(step.event(helper), step.expected[p]) << "protocol " << p << ": " << step.what;
        }
    }
}

TEST(RellumMouseHelper, ReportTypesGateClicksDragsAndMotion) {
    struct Row {
        std::uint64_t type;
        bool press, drag, motion;
    };
    const Row rows[] = {{RellumMouseReportNone, false, false, false},
                        {RellumMouseReportClick, true, false, false},
                        {2, false, false, false}, // never set by the host; reports nothing
                        {RellumMouseReportDrag, true, true, false},
                        {RellumMouseReportMotion, true, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        auto helper = helperWith(row.type, RellumMouseProtocolSGR);
        EXPECT_EQ(helper.sequenceForMouseDown(kLeft, 0, {3, 3}).empty(), !row.press);
        EXPECT_EQ(helper.isMouseDownReported(), row.press);
        EXPECT_EQ(helper.sequenceForMouseDragged(kLeft, 0, {4, 3}), row.drag ? "\x1b[<32;5;4M" : "");
        EXPECT_EQ(helper.sequenceForMouseDragged(kLeft, 0, {4, 3}), "");
        EXPECT_EQ(helper.sequenceForMouseUp(kLeft, 0, {4, 3}), row.press ? "\x1b[<0;5;4m" : "");
        EXPECT_EQ(helper.sequenceForMouseMovedWithModifierFlags(0, {7, 7}),
                  row.motion ? "\x1b[<35;8;8M" : "");
        EXPECT_EQ(helper.sequenceForScrollWheelWithDeltaY(1, 0, {0, 0}), row.press ? "\x1b[<64;1;1M" : "");
    }
}

TEST(RellumMouseHelper, StateAcrossPressDragAndRelease) {
    auto helper = helperWith(RellumMouseReportClick, RellumMouseProtocolSGR);
    EXPECT_EQ(helper.sequenceForMouseDown(kRight, RellumShiftKeyMask, {9, 4}), "\x1b[<6;10;5M");
    EXPECT_TRUE(helper.isMouseDownReported());
    EXPECT_EQ(helper.lastReportedCoord(), (RellumMouseCoord{9, 4}));
    // Drags under click-only tracking send nothing but follow the cell.
    EXPECT_EQ(helper.sequenceForMouseDragged(kRight, 0, {10, 4}), "");
    EXPECT_EQ(helper.lastReportedCoord(), (RellumMouseCoord{10, 4}));
    // The wheel leaves the state alone.
    EXPECT_EQ(helper.sequenceForScrollWheelWithDeltaY(-2, 0, {0, 0}), "\x1b[<65;1;1M");
    EXPECT_EQ(helper.lastReportedCoord(), (RellumMouseCoord{10, 4}));
    EXPECT_TRUE(helper.isMouseDownReported());

    // The host turns reporting off before the release: the release clears the
    // press and sends nothing.
    helper.setModes(RellumInputModes{});
    EXPECT_EQ(helper.sequenceForMouseUp(kRight, 0, {10, 4}), "");
    EXPECT_FALSE(helper.isMouseDownReported());
    EXPECT_EQ(helper.lastReportedCoord(), (RellumMouseCoord{-1, -1}));
}

TEST(RellumMouseHelper, X10CoordinatesClampInsteadOfWrapping) {
    auto helper = helperWith(RellumMouseReportClick, RellumMouseProtocolX10);
    struct Row {
        RellumMouseCoord cell;
        unsigned char x, y;
    };
    const Row rows[] =
        {
            {{0, 0}, 0x21, 0x21},     {{94, 10}, 0x7F, 0x2B}, {{221, 0}, 0xFE, 0x21},
            {{222, 222}, 0xFF, 0xFF}, {{223, 5}, 0xFF, 0x26}, {{255, 300}, 0xFF, 0xFF},
            {{479, 0}, 0xFF, 0x21}, // 479 + 33 would wrap to 0x00
            {{-4, -1}, 0x21, 0x21},
        };
    for (const auto& row : rows) {
        const std::string expected =
            std::string("\x1b[M ") + static_cast<char>(row.x) + static_cast<char>(row.y);
        EXPECT_EQ(helper.sequenceForMouseDown(kLeft, 0, row.cell), expected)
            << row.cell.x << "," << row.cell.y;
    }
}

TEST(RellumMouseHelper, UTF8AndDecimalCoordinatesPastOneByte) {
    auto utf8 = helperWith(RellumMouseReportClick, RellumMouseProtocolUTF8);
    // Column 200 is U+00E9 (200 + 33), two bytes.
    EXPECT_EQ(utf8.sequenceForMouseDown(kLeft, 0, {200, 0}), "\x1b[M \xc3\xa9!");
    EXPECT_EQ(utf8.sequenceForMouseDown(kLeft, 0, {94, 95}), "\x1b[M \x7f\xc2\x80");
    // Beyond what two bytes carry the value stays at U+07FF.
    EXPECT_EQ(utf8.sequenceForMouseDown(kLeft, 0, {5000, 0}), "\x1b[M \xdf\xbf!");

    auto decimal = helperWith(RellumMouseReportClick, RellumMouseProtocolDecimal);
    EXPECT_EQ(decimal.sequenceForMouseDown(kLeft, 0, {0, 0}), "\x1b[32;1;1M");
    EXPECT_EQ(decimal.sequenceForMouseDown(kLeft, 0, {499, 299}), "\x1b[32;500;300M");
    auto sgr = helperWith(RellumMouseReportClick, RellumMouseProtocolSGR);
    EXPECT_EQ(sgr.sequenceForMouseDown(kLeft, 0, {999, 0}), "\x1b[<0;1000;1M");
    EXPECT_EQ(sgr.sequenceForMouseButton(3, {1, 1}, true), "\x1b[<3;2;2m");
}

TEST(RellumMouseHelper, ButtonCodesAndModifierBits) {
    EXPECT_EQ(RellumMouseButtonCode(0), 0u);
    EXPECT_EQ(RellumMouseButtonCode(1), 2u);
    EXPECT_EQ(RellumMouseButtonCode(2), 1u);
    EXPECT_EQ(RellumMouseButtonCode(3), 3u);
    EXPECT_EQ(RellumMouseButtonCode(17), 3u);
    EXPECT_EQ(RellumMouseModifierBits(0), 0u);
    EXPECT_EQ(RellumMouseModifierBits(RellumShiftKeyMask), 4u);
    EXPECT_EQ(RellumMouseModifierBits(RellumOptionKeyMask), 8u);
    EXPECT_EQ(RellumMouseModifierBits(RellumControlKeyMask), 16u);
    EXPECT_EQ(RellumMouseModifierBits(RellumCommandKeyMask), 0u);
    EXPECT_EQ(RellumMouseModifierBits(RellumShiftKeyMask | RellumOptionKeyMask | RellumControlKeyMask |
                                      RellumCommandKeyMask),
              28u);
}

TEST(RellumMouseHelper, OptionClickMovesTheCursorWithCursorKeys) {
    RellumMouseHelper helper;
    EXPECT_EQ(helper.sequenceForMovingCursorFrom({10, 5}, {7, 4}), "\x1b[D\x1b[D\x1b[D\x1b[A");
    EXPECT_EQ(helper.sequenceForMovingCursorFrom({2, 1}, {4, 3}), "\x1b[C\x1b[C\x1b[B\x1b[B");
    EXPECT_EQ(helper.sequenceForMovingCursorFrom({4, 4}, {4, 4}), "");
    helper.setApplicationCursorKeyMode(true);
    EXPECT_EQ(helper.sequenceForMovingCursorFrom({10, 5}, {7, 4}), "\x1bOD\x1bOD\x1bOD\x1bOA");

    const std::uint64_t option = RellumOptionKeyMask, shift = RellumShiftKeyMask;
    EXPECT_TRUE(RellumMouseHelper::shouldMoveCursor(option, RellumMouseReportNone));
    EXPECT_TRUE(RellumMouseHelper::shouldMoveCursor(option | RellumControlKeyMask, RellumMouseReportNone));
    EXPECT_FALSE(RellumMouseHelper::shouldMoveCursor(option | shift, RellumMouseReportNone));
    EXPECT_FALSE(RellumMouseHelper::shouldMoveCursor(0, RellumMouseReportNone));
    EXPECT_FALSE(RellumMouseHelper::shouldMoveCursor(option, RellumMouseReportClick));
}

TEST(RellumMouseHelper, FocusReports) {
    EXPECT_EQ(RellumFocusReportSequence(true, true), "\x1b[I");
    EXPECT_EQ(RellumFocusReportSequence(true, false), "\x1b[O");
    EXPECT_EQ(RellumFocusReportSequence(false, true), "");
    EXPECT_EQ(RellumFocusReportSequence(false, false), "");
}

} // namespace

namespace {

// Over a wide span of cells the X10 bytes never fall into the control range
// and never move backwards as the cell grows.
TEST(RellumMouseHelper, X10BytesAreMonotonicAndPrintable) {
    auto helper = helperWith(RellumMouseReportClick, RellumMouseProtocolX10);
    unsigned previous = 0;
    for (std::int64_t x = 0; x <= 5000; ++x) {
        const std::string report = helper.sequenceForMouseDown(kLeft, 0, {x, x});
        ASSERT_EQ(report.size(), 6u);
        const unsigned bx = static_cast<unsigned char>(report[4]);
        const unsigned by = static_cast<unsigned char>(report[5]);
        ASSERT_GE(bx, 0x21u) << x;
        ASSERT_EQ(bx, by) << x;
        ASSERT_GE(bx, previous) << x;
        previous = bx;
    }
    EXPECT_EQ(previous, 0xFFu);
}

} // namespace

namespace {

TEST(RellumMouseHelper, CellOfAPoint) {
    // 24 rows of 15 points at the bottom of a 400-point view: the page starts at y = 40.
    struct Row {
        double x, y;
        RellumMouseCoord cell;
    };
    const Row rows[] = {
        {0, 40, {0, 0}},    {7.9, 54.9, {0, 0}},  {8, 55, {1, 1}},     {79 * 8 + 7, 399, {79, 23}},
        {-5, 10, {0, 0}},   {-0.5, 39.9, {0, 0}}, {800, 40, {100, 0}}, {4, 400, {0, 24}},
        {4, 1000, {0, 64}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RellumMouseCoordOfPoint(row.x, row.y, 400, 8, 15, 24), row.cell) << row.x << "," << row.y;
    EXPECT_EQ(RellumMouseCoordOfPoint(50, 50, 400, 0, 15, 24), (RellumMouseCoord{0, 0}));
    EXPECT_EQ(RellumMouseCoordOfPoint(50, 50, 400, 8, 0, 24), (RellumMouseCoord{0, 0}));
}

} // namespace
