#include "Rellum/RellumTextStorage.h"

#include "Rellum/RellumElements.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using AttributesPtr = RellumTextStorage::AttributesPtr;

class StorageFont : public RellumFont {
public:
    explicit StorageFont(std::string name, std::optional<double> fixed = std::nullopt)
        : name_(std::move(name)), fixed_(fixed) {}
    std::string familyName() const override { return name_; }
    double pointSize() const override { return 12; }
    double advanceOfGlyphNamed(std::string_view) const override { return 7; }
    double ascender() const override { return 12; }
    double descender() const override { return -3; }
    std::optional<double> fixedAdvance() const override { return fixed_; }
    std::shared_ptr<const RellumFont> fontWithFixedAdvance(double advance) const override {
        return std::make_shared<StorageFont>(name_, advance);
    }
    std::shared_ptr<const RellumFont>
    boldVersionByAddingAttributes(const RellumFontDescriptorAttributes&) const override {
        return nullptr;
    }
    std::shared_ptr<const RellumFont>
    italicVersionByAddingAttributes(const RellumFontDescriptorAttributes&) const override {
        return nullptr;
    }
    std::shared_ptr<const RellumFont>
    boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes&) const override {
        return nullptr;
    }

private:
    std::string name_;
    std::optional<double> fixed_;
};

AttributesPtr colored(const RellumColor& color) {
    auto a = std::make_shared<RellumAttributes>();
    a->setForegroundColor(color);
    return a;
}

RellumAttributedString attributed(std::u16string text, const AttributesPtr& attributes) {
    RellumAttributedString s;
    s.string = std::move(text);
    if (!s.string.empty()) s.runs.push_back({{0, s.string.size()}, attributes});
    return s;
}

const RellumColor kA = RellumColor::colorWithRGB255(10, 0, 0);
const RellumColor kB = RellumColor::colorWithRGB255(0, 20, 0);
const RellumColor kC = RellumColor::colorWithRGB255(0, 0, 30);

} // namespace

// Random replacements, with and without newlines and attributes, against a
// plain reference: one attribute record per character.
TEST(RellumTextStorage, RandomEditsMatchAPlainReference) {
    std::mt19937 rng(99);
    const AttributesPtr records[] = {colored(kA), colored(kB), colored(kC)};
    RellumTextStorage storage(7);
    std::u16string text;
    std::vector<const RellumAttributes*> attrs;
    for (int step = 0; step < 3000; ++step) {
        const uint64_t loc = text.empty() ? 0 : rng() % (text.size() + 1);
        uint64_t len = rng() % 6 == 0 ? rng() % 30 : rng() % 4;
        if (rng() % 40 == 0) len = loc == 0 ? text.size() : len; // whole lines from the start
        len = std::min<uint64_t>(len, text.size() - loc);
        std::u16string insert;
        const int n = int(rng() % 8);
        for (int i = 0; i < n; ++i)
            insert.push_back(rng() % 5 == 0 ? u'\n' : char16_t(u'a' + rng() % 26));
        const AttributesPtr& record = records[rng() % 3];
        if (rng() % 3 == 0) {
            // Plain text: takes the attributes of the first replaced character,
            // or of the one before.
            const RellumAttributes* inherit = nullptr;
            if (!text.empty()) inherit = attrs[len > 0 && loc < text.size() ? loc : (loc > 0 ? loc - 1 : 0)];
            storage.replaceCharactersInRange({loc, len}, insert);
            attrs.erase(attrs.begin() + int64_t(loc), attrs.begin() + int64_t(loc + len));
            attrs.insert(attrs.begin() + int64_t(loc), insert.size(), inherit);
        } else {
            storage.replaceCharactersInRange({loc, len}, attributed(insert, record));
            attrs.erase(attrs.begin() + int64_t(loc), attrs.begin() + int64_t(loc + len));
            attrs.insert(attrs.begin() + int64_t(loc), insert.size(), record.get());
        }
        text.replace(loc, len, insert);
        ASSERT_EQ(storage.length(), text.size()) << "step " << step;
        if (step % 25 == 0 || step > 2950) {
            ASSERT_EQ(storage.string(), text) << "step " << step;
            ASSERT_EQ(storage.lineCount(), uint64_t(std::count(text.begin(), text.end(), u'\n')) + 1);
            for (uint64_t i = 0; i < text.size(); ++i) {
                RellumRange run;
                ASSERT_EQ(storage.attributesAtIndex(i, &run).get(), attrs[i])
                    << "step " << step << " at " << i;
                ASSERT_TRUE(run.location <= i && i < run.end());
            }
            const uint64_t a = text.empty() ? 0 : rng() % text.size();
            EXPECT_EQ(storage.substring({a, 9}), text.substr(a, 9));
        }
    }
}

TEST(RellumTextStorage, DroppingTheOldestLinesKeepsTheRestAndItsAttributes) {
    RellumTextStorage storage;
    const AttributesPtr a = colored(kA), b = colored(kB);
    for (int i = 0; i < 1000; ++i) {
        storage.insertAttributedString(attributed(u"line", i % 2 ? a : b), storage.length());
        storage.insertAttributedString(attributed(u"\n", a), storage.length());
    }
    ASSERT_EQ(storage.lineCount(), 1001u);
    storage.deleteCharactersInRange({0, 5 * 998});
    EXPECT_EQ(storage.lineCount(), 3u);
    EXPECT_EQ(storage.string(), u"line\nline\n");
    EXPECT_EQ(storage.attributesAtIndex(0), b);
    EXPECT_EQ(storage.attributesAtIndex(5), a);
    // A deletion that ends inside a line drops the whole lines before it and cuts the rest.
    storage.deleteCharactersInRange({0, 7});
    EXPECT_EQ(storage.string(), u"ne\n");
    storage.replaceCharactersInRange({3, 0}, attributed(u"x\ny", b));
    EXPECT_EQ(storage.string(), u"ne\nx\ny");
    EXPECT_EQ(storage.attributesAtIndex(5), b);
}

TEST(RellumTextStorage, FontsOfWiderCellsGetTheirSpanTimesTheAdvance) {
    RellumTextStorage storage(7);
    auto font = std::make_shared<StorageFont>("F", 7.0);
    auto wide = std::make_shared<RellumAttributes>();
    wide->setFont(font);
    wide->setSpan(2);
    auto mark = std::make_shared<RellumAttributes>(*wide);
    mark->setSpan(0);
    auto normal = std::make_shared<RellumAttributes>(*wide);
    normal->setSpan(1);
    storage.replaceCharactersInRange({0, 0}, attributed(u"abc", normal));
    storage.setAttributes(wide, {0, 1});
    storage.setAttributes(mark, {1, 1});
    EXPECT_EQ(storage.attributesAtIndex(0)->font()->fixedAdvance(), 14.0);
    EXPECT_EQ(storage.attributesAtIndex(1), mark) << "a combining mark keeps its font";
    EXPECT_EQ(storage.attributesAtIndex(2), normal) << "a font that already fits is stored as given";
    // Text written in one rendition shares one widened record.
    storage.replaceCharactersInRange({3, 0}, attributed(u"\u4E00", wide));
    storage.replaceCharactersInRange({4, 0}, attributed(u"\u4E01", wide));
    EXPECT_EQ(storage.attributesAtIndex(3), storage.attributesAtIndex(4));
    // Given away or lent, a record seen before is widened all the same.
    EXPECT_EQ(storage.attributesAtIndex(4)->font()->fixedAdvance(), 14.0);
    const RellumAttributedString lent = attributed(u"\u4E02", wide);
    storage.replaceCharactersInRange({5, 0}, lent);
    EXPECT_EQ(storage.attributesAtIndex(5), storage.attributesAtIndex(4));
    EXPECT_EQ(lent.runs[0].attributes, wide) << "a lent string keeps its records";
    storage.setAdvance(9);
    storage.setAttributes(wide, {0, 1});
    EXPECT_EQ(storage.attributesAtIndex(0)->font()->fixedAdvance(), 18.0);
}

TEST(RellumTextStorage, ColourAndFontRewritesTouchOnlyMatchingRuns) {
    RellumTextStorage storage;
    const AttributesPtr a = colored(kA), c = colored(kC), none = std::make_shared<RellumAttributes>();
    auto bold = std::make_shared<RellumAttributes>(*c);
    bold->setBold(true);
    storage.insertAttributedString(attributed(u"aa", a), 0);
    storage.insertAttributedString(attributed(u"cc", c), 2);
    storage.insertAttributedString(attributed(u"nn\n", none), 4);
    storage.insertAttributedString(attributed(u"aa", a), 7);
    storage.insertAttributedString(attributed(u"BB", bold), 9);
    rellum_replaceForegroundColor(storage, kA, kB);
    EXPECT_EQ(*storage.attributesAtIndex(0)->foregroundColor(), kB);
    EXPECT_EQ(*storage.attributesAtIndex(8)->foregroundColor(), kB);
    EXPECT_EQ(storage.attributesAtIndex(0), storage.attributesAtIndex(8)) << "one record per distinct record";
    EXPECT_EQ(storage.attributesAtIndex(2), c) << "other colours untouched";
    EXPECT_EQ(storage.attributesAtIndex(4), none) << "runs without a colour untouched";

    auto boldFont = std::make_shared<StorageFont>("Bold");
    rellum_useFont(storage, boldFont, RellumBoldAttribute);
    EXPECT_EQ(storage.attributesAtIndex(9)->font(), boldFont);
    EXPECT_TRUE(storage.attributesAtIndex(9)->isBold());
    EXPECT_EQ(storage.attributesAtIndex(2), c);
    EXPECT_EQ(storage.string(), u"aaccnn\naaBB");
}

TEST(RellumTextStorage, EditsInsideABracketAreReportedOnce) {
    RellumTextStorage storage;
    std::vector<std::pair<RellumRange, int64_t>> reports;
    storage.setEditObserver([&](RellumRange r, int64_t d) { reports.emplace_back(r, d); });
    storage.replaceCharactersInRange({0, 0}, attributed(u"hello", colored(kA)));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second, 5);
    storage.beginEditing();
    storage.beginEditing();
    storage.replaceCharactersInRange({5, 0}, attributed(u" world", colored(kA)));
    storage.deleteCharactersInRange({0, 1});
    storage.endEditing();
    EXPECT_EQ(reports.size(), 1u) << "nothing until the outermost end";
    storage.endEditing();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].second, 5);
    EXPECT_EQ(reports[1].first.location, 0u);
    EXPECT_LE(reports[1].first.end(), storage.length());
}

// The one report of a bracket covers every character its edits wrote,
// wherever later edits of the bracket moved them.
TEST(RellumTextStorage, BracketReportCoversEveryWrittenCharacter) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        RellumTextStorage storage;
        storage.replaceCharactersInRange({0, 0}, attributed(std::u16string(40, u'.'), colored(kA)));
        std::vector<std::pair<RellumRange, int64_t>> reports;
        storage.setEditObserver([&](RellumRange r, int64_t d) { reports.emplace_back(r, d); });
        std::vector<bool> written(40, false);
        storage.beginEditing();
        for (int step = 0; step < 4; ++step) {
            const uint64_t size = written.size();
            const uint64_t loc = rng() % (size + 1);
            const uint64_t len = std::min<uint64_t>(rng() % 8, size - loc);
            const std::u16string insert(rng() % 8, step % 2 ? u'\n' : u'x');
            storage.replaceCharactersInRange({loc, len}, attributed(insert, colored(kB)));
            written.erase(written.begin() + int64_t(loc), written.begin() + int64_t(loc + len));
            written.insert(written.begin() + int64_t(loc), insert.size(), true);
        }
        storage.endEditing();
        ASSERT_EQ(reports.size(), 1u);
        const RellumRange r = reports[0].first;
        EXPECT_EQ(reports[0].second, int64_t(written.size()) - 40) << "round " << round;
        EXPECT_LE(r.end(), storage.length());
        for (uint64_t i = 0; i < written.size(); ++i)
            if (written[i]) {
                ASSERT_TRUE(r.location <= i && i < r.end()) << "round " << round << " at " << i;
            }
    }
}

// A long text (most lines kept in their old-line form) under random edits
// anywhere, colour rewrites and many short-lived records, against a plain
// reference of one colour per character.
TEST(RellumTextStorage, OldLinesTakeEditsRewritesAndRecordPurgesLikeNewOnes) {
    std::mt19937 rng(7);
    RellumTextStorage storage;
    std::u16string text;
    std::vector<RellumColor> colours;
    auto randomColour = [&] { return RellumColor::colorWithRGB255(rng() % 256, rng() % 256, rng() % 4); };
    auto randomText = [&](int n, int newlineEvery) {
        std::u16string s;
        for (int i = 0; i < n; ++i) {
            const unsigned k = unsigned(rng() % 40);
            s.push_back(rng() % newlineEvery == 0 ? u'\n'
                        : k == 0                  ? u'\u4E00' // a unit past 8 bits
                        : k == 1                  ? u'\u00E9'
                                                  : char16_t(u'a' + k % 26));
        }
        return s;
    };
    auto replace = [&](RellumRange range, const std::u16string& insert, const RellumColor& colour) {
        storage.replaceCharactersInRange(range, attributed(insert, colored(colour)));
        text.replace(range.location, range.length, insert);
        colours.erase(colours.begin() + int64_t(range.location),
                      colours.begin() + int64_t(range.location + range.length));
        colours.insert(colours.begin() + int64_t(range.location), insert.size(), colour);
    };
    for (int line = 0; line < 700; ++line)
        for (int run = 0; run < 3; ++run)
            replace({text.size(), 0}, randomText(4, 1000) + (run == 2 ? u"\n" : u""), randomColour());
    ASSERT_EQ(storage.lineCount(), uint64_t(std::count(text.begin(), text.end(), u'\n')) + 1);
    ASSERT_GT(storage.lineCount(), 700u);
    const RellumColor replaced = colours[5], replacement = RellumColor::colorWithRGB255(1, 2, 3);
    for (int step = 0; step < 1500; ++step) {
        const uint64_t loc = rng() % (text.size() + 1);
        const uint64_t len = std::min<uint64_t>(rng() % 4 == 0 ? rng() % 40 : rng() % 3, text.size() - loc);
        if (step % 300 == 150) {
            rellum_replaceForegroundColor(storage, replaced, replacement);
            for (RellumColor& c : colours)
                if (c == replaced) c = replacement;
        } else if (rng() % 4 == 0) {
            // Plain text takes the colour of the first replaced character, or of the one before.
            const std::u16string insert = randomText(int(rng() % 6), 4);
            const RellumColor inherit = colours[len > 0 && loc < text.size() ? loc : (loc > 0 ? loc - 1 : 0)];
            storage.replaceCharactersInRange({loc, len}, insert);
            text.replace(loc, len, insert);
            colours.erase(colours.begin() + int64_t(loc), colours.begin() + int64_t(loc + len));
            colours.insert(colours.begin() + int64_t(loc), insert.size(), inherit);
        } else {
            replace({loc, len}, randomText(int(rng() % 6), 4), rng() % 2 ? replaced : randomColour());
        }
        if (text.empty()) replace({0, 0}, u"x", replaced);
        ASSERT_EQ(storage.length(), text.size()) << "step " << step;
        if (step % 100 == 0 || step == 1499) {
            ASSERT_EQ(storage.string(), text) << "step " << step;
            ASSERT_EQ(storage.lineCount(), uint64_t(std::count(text.begin(), text.end(), u'\n')) + 1);
            uint64_t runs = 0;
            for (uint64_t i = 0; i < text.size();) {
                RellumRange run;
                const AttributesPtr a = storage.attributesAtIndex(i, &run);
                ASSERT_TRUE(a && a->foregroundColor()) << "step " << step << " at " << i;
                ASSERT_TRUE(run.location <= i && i < run.end() && run.end() <= text.size());
                for (uint64_t k = i; k < run.end(); ++k)
                    ASSERT_TRUE(colours[k] == *a->foregroundColor()) << "step " << step << " at " << k;
                i = run.end();
                ++runs;
            }
            EXPECT_GE(runs, storage.runCount()) << "step " << step;
            const uint64_t a = rng() % text.size();
            EXPECT_EQ(storage.substring({a, 300}), text.substr(a, 300));
        }
    }
}
