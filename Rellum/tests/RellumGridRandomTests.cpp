#include "GridMirror.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const char32_t kSamples[] = {U'a',          U'b',          U'Z',      U' ',      U'~',      U'\u00e9',
                             U'\u0416',     U'\u4e2d',     U'\u6587', U'\uac00', U'\uff21', U'\u0301',
                             U'\u0308',     U'\u302a',     U'\u3099', U'\u309a', U'\u200b', U'\U0001F600',
                             U'\U00020000', U'\U0001D400', U'\u2592', U'\u1100', U'\u11a3', U'\ufe0f'};

struct RandomSession {
    std::mt19937 rng;
    GridFixture f;
    int64_t columns, rows;

    RandomSession(unsigned seed, int64_t c, int64_t r) : rng(seed), f(c, r), columns(c), rows(r) {
        f.grid.setMaxScrollback(20);
    }

    uint64_t pick(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(rng); }
    bool chance(int percent) { return int(pick(100)) < percent; }

    std::u32string randomText() {
        std::u32string s;
        const uint64_t n = pick(40);
        const bool asciiOnly = chance(40);
        for (uint64_t i = 0; i < n; ++i)
            s.push_back(asciiOnly ? char32_t(U'a' + pick(26)) : kSamples[pick(std::size(kSamples))]);
        return s;
    }

    std::string step() {
        RellumGrid& g = f.grid;
        RellumContext& c = f.context;
        switch (pick(22)) {
        case 0:
        case 1:
        case 2:
            f.write(randomText());
            return "write";
        case 3: {
            std::string s(pick(100), 'x');
            for (char& ch : s)
                ch = char('a' + pick(26));
            f.writeASCII(s);
            return "ascii";
        }
        case 4:
            g.moveCursorToNextTabStop();
            return "tab";
        case 5:
            switch (pick(7)) {
            case 0:
                g.eraseFromCursorToLineEnd();
                return "el0";
            case 1:
                g.eraseFromCursorToLineStart();
                return "el1";
            case 2:
                g.eraseCursorLineEntirely();
                return "el2";
            case 3:
                g.eraseFromCursorToDisplayEnd();
                return "ed0";
            case 4:
                g.eraseFromCursorToDisplayStart();
                return "ed1";
            case 5:
                g.eraseDisplayEntirely();
                return "ed2";
            default:
                g.eraseScrollbackBuffer();
                return "ed3";
            }
        case 6:
            g.insertBlankAtCursorWithCount(pick(8));
            return "ich";
        case 7:
            g.deleteElementsAtCursorWithCount(pick(8));
            return "dch";
        case 8:
            g.eraseCharacterWithCount(pick(8));
            return "ech";
        case 9: {
            // Insert or delete lines the way the terminal does: a temporary
            // scroll region from the cursor row down.
            if (!c.isPageMarginsContainX(g.cursorX(), g.cursorY())) return "il-outside";
            const RellumRange saved = c.verticalPageMargin();
            const uint64_t bottom = c.bottomPageMargin();
            if (g.cursorY() > bottom) return "il-below";
            c.setVerticalPageMargin({g.cursorY(), bottom + 1 - g.cursorY()});
            if (chance(50))
                g.panUpWithCount(1 + pick(4));
            else
                g.panDownWithCount(1 + pick(4));
            c.setVerticalPageMargin(saved);
            return "il/dl";
        }
        case 10: {
            if (chance(30)) {
                c.setVerticalPageMargin({0, 0});
                return "region reset";
            }
            const uint64_t top = pick(uint64_t(rows));
            const uint64_t bottom = top + pick(uint64_t(rows) - top);
            c.setVerticalPageMargin({top, bottom - top + 1});
            return "region";
        }
        case 11: {
            if (chance(40)) {
                c.setRespectsHorizontalMargin(!c.respectsHorizontalMargin());
                return "mode69";
            }
            const uint64_t left = pick(uint64_t(columns));
            const uint64_t right = pick(uint64_t(columns));
            c.setHorizontalPageMargin({left, right >= left ? right - left + 1 : 0});
            return "lr margins";
        }
        case 12: {
            if (!chance(20)) return "no resize";
            columns = int64_t(pick(30));
            rows = int64_t(pick(10));
            f.resize(columns, rows);
            columns = std::max<int64_t>(1, columns);
            rows = std::max<int64_t>(1, rows);
            return "resize";
        }
        case 13:
            g.setCursorX(pick(uint64_t(columns) + 2), pick(uint64_t(rows) + 2));
            return "cup";
        case 14:
            switch (pick(6)) {
            case 0:
                g.moveCursorLeftWithCount(pick(30));
                return "left";
            case 1:
                g.moveCursorRightWithCount(pick(30));
                return "right";
            case 2:
                g.moveCursorUpWithCount(pick(10));
                return "up";
            case 3:
                g.moveCursorDownWithCount(pick(10));
                return "down";
            case 4:
                g.moveCursorBackspace();
                return "bs";
            default:
                g.moveCursorToLeftMargin();
                return "cr";
            }
        case 15:
            g.moveCursorDownOrNewline();
            return "lf";
        case 16:
            g.moveCursorUpOrNewline();
            return "ri";
        case 17:
            if (chance(50))
                g.panDownWithCount(pick(5));
            else
                g.panUpWithCount(pick(5));
            return "pan";
        case 18:
            switch (pick(3)) {
            case 0:
                g.setMaxScrollback(pick(25));
                return "max scrollback";
            case 1:
                g.deleteLinesInRange({pick(g.acutalLineCount() + 1), pick(4)});
                return "delete lines";
            default:
                g.moveCursorDownOrNewline();
                return "lf";
            }
        case 19:
            switch (pick(3)) {
            case 0:
                c.setInsertMode(!c.insertMode());
                return "irm";
            case 1:
                c.setAutoWrapMode(!c.autoWrapMode());
                return "decawm";
            default:
                c.setReverseWrapMode(!c.reverseWrapMode());
                return "reverse wrap";
            }
        case 20:
            if (chance(50))
                g.saveCursor();
            else
                g.restoreCursor();
            return "save/restore";
        default:
            (void)g.breakTypeAtLineY(pick(uint64_t(rows)));
            (void)g.elementAtCursor();
            (void)g.cursorLocation();
            return "queries";
        }
    }
};

} // namespace

TEST(RellumGridRandom, DelegateReportsAlwaysRebuildTheGridText) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        RandomSession s(seed, 1 + int64_t(seed % 17), 1 + int64_t(seed % 7));
        for (int op = 0; op < 10000; ++op) {
            const std::string what = s.step();
            const std::string fault = s.f.consistencyFault();
            ASSERT_EQ(fault, "") << "seed " << seed << " op " << op << " (" << what << ")";
            const RellumGrid& g = s.f.grid;
            ASSERT_LE(g.cursorX(), uint64_t(s.columns))
                << "seed " << seed << " op " << op << " (" << what << ")";
            ASSERT_LT(g.cursorY(), uint64_t(s.rows))
                << "seed " << seed << " op " << op << " (" << what << ")";
            ASSERT_GT(g.acutalLineCount(), g.cursorY()) << "seed " << seed << " op " << op;
        }
    }
}
