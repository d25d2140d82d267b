#include "Rellum/RellumKeyBindingCommand.h"
#include "Rellum/RellumKeyCodes.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using C = RellumKeyBindingCommand;
using A = RellumKeyBindingAction;

struct SendRow {
    C command;
    const char* bytes;
};

// The commands whose bytes do not depend on any mode.
const SendRow kFixedRows[] = {
    {C::cancelOperation, "\x1b"},
    {C::insertNewline, "\r"},
    {C::insertLineBreak, "\r"},
    {C::insertNewlineIgnoringFieldEditor, "\r"},
    {C::insertParagraphSeparator, "\r"},
    {C::insertContainerBreak, "\x0c"},
    {C::insertTab, "\t"},
    {C::insertTabIgnoringFieldEditor, "\t"},
    {C::insertBacktab, "\x1b[Z"},
    {C::deleteBackward, "\x7f"},
    {C::deleteBackwardByDecomposingPreviousCharacter, "\x1b\x7f"},
    {C::deleteWordBackward, "\x1b\x7f"},
    {C::deleteForward, "\x1b[3~"},
    {C::deleteWordForward, "\x1b"
                           "d"},
    {C::deleteToBeginningOfLine, "\x15"},
    {C::deleteToBeginningOfParagraph, "\x15"},
    {C::deleteToEndOfLine, "\x0b"},
    {C::deleteToEndOfParagraph, "\x0b"},
    {C::moveBackward, "\x02"},
    {C::moveForward, "\x06"},
    {C::moveToBeginningOfLine, "\x01"},
    {C::moveToBeginningOfParagraph, "\x01"},
    {C::moveToEndOfLine, "\x05"},
    {C::moveToEndOfParagraph, "\x05"},
    {C::moveWordForward, "\x1b"
                         "f"},
    {C::moveWordRight, "\x1b"
                       "f"},
    {C::moveWordBackward, "\x1b"
                          "b"},
    {C::moveWordLeft, "\x1b"
                      "b"},
    {C::transposeWords, "\x1b"
                        "t"},
};

RellumInputModes modes(bool applicationCursorKeys, bool alternateScreen) {
    RellumInputModes m;
    m.applicationCursorKeyMode = applicationCursorKeys;
    m.alternateScreenMode = alternateScreen;
    return m;
}

TEST(RellumKeyBindingCommand, FixedCommandsSendTheirBytesInEveryMode) {
    for (const auto& row : kFixedRows) {
        for (bool cursor : {false, true}) {
            for (bool alternate : {false, true}) {
                const auto result = RellumKeyBindingCommandResult(row.command, modes(cursor, alternate));
                EXPECT_EQ(result.action, A::Send) << RellumKeyBindingCommandName(row.command);
                EXPECT_EQ(result.bytes, row.bytes) << RellumKeyBindingCommandName(row.command);
            }
        }
    }
}

TEST(RellumKeyBindingCommand, ArrowCommandsFollowTheCursorKeyMode) {
    const std::pair<C, char> rows[] = {
        {C::moveUp, 'A'}, {C::moveDown, 'B'}, {C::moveRight, 'C'}, {C::moveLeft, 'D'}};
    for (const auto& [command, final] : rows) {
        for (bool alternate : {false, true}) {
            EXPECT_EQ(RellumKeyBindingCommandResult(command, modes(false, alternate)),
                      (RellumKeyBindingResult{A::Send, std::string("\x1b[") + final}));
            EXPECT_EQ(RellumKeyBindingCommandResult(command, modes(true, alternate)),
                      (RellumKeyBindingResult{A::Send, std::string("\x1bO") + final}));
        }
    }
}

TEST(RellumKeyBindingCommand, DocumentCommandsSendHomeAndEndOnlyInTheAlternateScreen) {
    const std::pair<C, char> rows[] = {{C::moveToBeginningOfDocument, 'H'},
                                       {C::scrollToBeginningOfDocument, 'H'},
                                       {C::moveToEndOfDocument, 'F'},
                                       {C::scrollToEndOfDocument, 'F'}};
    for (const auto& [command, final] : rows) {
        SCOPED_TRACE(RellumKeyBindingCommandName(command));
        EXPECT_EQ(RellumKeyBindingCommandResult(command, modes(false, false)),
                  (RellumKeyBindingResult{A::Scroll, ""}));
        EXPECT_EQ(RellumKeyBindingCommandResult(command, modes(true, false)),
                  (RellumKeyBindingResult{A::Scroll, ""}));
        EXPECT_EQ(RellumKeyBindingCommandResult(command, modes(false, true)),
                  (RellumKeyBindingResult{A::Send, std::string("\x1b[") + final}));
        EXPECT_EQ(RellumKeyBindingCommandResult(command, modes(true, true)),
                  (RellumKeyBindingResult{A::Send, std::string("\x1bO") + final}));
    }
}

TEST(RellumKeyBindingCommand, ScrollIgnoreAndSelectionCommandsSendNothing) {
    const C scroll[] = {C::scrollLineUp, C::scrollLineDown, C::scrollPageUp, C::scrollPageDown};
    const C ignored[] = {C::capitalizeWord,
                         C::centerSelectionInVisibleArea,
                         C::changeCaseOfLetter,
                         C::complete,
                         C::indent,
                         C::lowercaseWord,
                         C::uppercaseWord,
                         C::yank,
                         C::transpose,
                         C::insertDoubleQuoteIgnoringSubstitution,
                         C::insertSingleQuoteIgnoringSubstitution,
                         C::deleteToMark,
                         C::delete_,
                         C::cut};
    const C selection[] = {C::moveBackwardAndModifySelection,
                           C::moveForwardAndModifySelection,
                           C::moveLeftAndModifySelection,
                           C::moveRightAndModifySelection,
                           C::moveUpAndModifySelection,
                           C::moveDownAndModifySelection,
                           C::moveWordBackwardAndModifySelection,
                           C::moveWordForwardAndModifySelection,
                           C::moveWordLeftAndModifySelection,
                           C::moveWordRightAndModifySelection,
                           C::moveParagraphBackwardAndModifySelection,
                           C::moveParagraphForwardAndModifySelection,
                           C::moveToBeginningOfLineAndModifySelection,
                           C::moveToEndOfLineAndModifySelection,
                           C::moveToLeftEndOfLineAndModifySelection,
                           C::moveToRightEndOfLineAndModifySelection,
                           C::moveToBeginningOfParagraphAndModifySelection,
                           C::moveToEndOfParagraphAndModifySelection,
                           C::moveToBeginningOfDocumentAndModifySelection,
                           C::moveToEndOfDocumentAndModifySelection,
                           C::pageUpAndModifySelection,
                           C::pageDownAndModifySelection};
    for (bool alternate : {false, true}) {
        for (C c : scroll)
            EXPECT_EQ(RellumKeyBindingCommandResult(c, modes(false, alternate)),
                      (RellumKeyBindingResult{A::Scroll, ""}))
                << RellumKeyBindingCommandName(c);
        for (C c : ignored)
            EXPECT_EQ(RellumKeyBindingCommandResult(c, modes(false, alternate)),
                      (RellumKeyBindingResult{A::Ignore, ""}))
                << RellumKeyBindingCommandName(c);
        for (C c : selection)
            EXPECT_EQ(RellumKeyBindingCommandResult(c, modes(false, alternate)),
                      (RellumKeyBindingResult{A::Selection, ""}))
                << RellumKeyBindingCommandName(c);
    }
    // Every command has a selector name of its own.
    std::set<std::string_view> names;
    for (int i = 0; i <= static_cast<int>(C::pageDownAndModifySelection); ++i) {
        const auto name = RellumKeyBindingCommandName(static_cast<C>(i));
        EXPECT_TRUE(name.ends_with(":")) << i;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(C::pageDownAndModifySelection) + 1);
    EXPECT_FALSE(RellumKeyBindingCommandIsOffered(C::delete_));
    EXPECT_FALSE(RellumKeyBindingCommandIsOffered(C::cut));
    EXPECT_TRUE(RellumKeyBindingCommandIsOffered(C::yank));
    EXPECT_TRUE(RellumKeyBindingCommandIsOffered(C::insertNewline));
}

TEST(RellumKeyBindingCommand, LinuxKeysMapToCommands) {
    constexpr std::uint64_t fn = RellumFunctionKeyMask, shift = RellumShiftKeyMask, alt = RellumOptionKeyMask;
    struct Row {
        std::uint64_t flags;
        char16_t key;
        std::optional<C> command;
    };
    const Row rows[] = {
        {0, u'\r', C::insertNewline},
        {RellumNumericPadKeyMask, RellumEnterCharacter, C::insertNewline},
        {shift, u'\r', C::insertNewline},
        {0, 0x7F, C::deleteBackward},
        {alt, 0x7F, C::deleteWordBackward},
        {0, 0x1B, C::cancelOperation},
        {0, u'\t', C::insertTab},
        {shift, u'\t', C::insertBacktab},
        {shift, RellumBackTabCharacter, C::insertBacktab},
        {fn, RellumLeftArrowKey, C::moveLeft},
        {fn, RellumRightArrowKey, C::moveRight},
        {fn, RellumUpArrowKey, C::moveUp},
        {fn, RellumDownArrowKey, C::moveDown},
        {fn | alt, RellumLeftArrowKey, C::moveWordLeft},
        {fn | alt, RellumRightArrowKey, C::moveWordRight},
        {fn | shift, RellumLeftArrowKey, C::moveLeftAndModifySelection},
        {fn | shift, RellumRightArrowKey, C::moveRightAndModifySelection},
        {fn | shift, RellumUpArrowKey, C::moveUpAndModifySelection},
        {fn | shift, RellumDownArrowKey, C::moveDownAndModifySelection},
        {fn | shift | alt, RellumLeftArrowKey, C::moveWordLeftAndModifySelection},
        {fn | shift | alt, RellumRightArrowKey, C::moveWordRightAndModifySelection},
        {fn, RellumHomeKey, C::scrollToBeginningOfDocument},
        {fn, RellumEndKey, C::scrollToEndOfDocument},
        {fn, RellumPageUpKey, C::scrollPageUp},
        {fn, RellumPageDownKey, C::scrollPageDown},
        {fn | shift, RellumHomeKey, C::moveToBeginningOfDocumentAndModifySelection},
        {fn | shift, RellumEndKey, C::moveToEndOfDocumentAndModifySelection},
        {fn | shift, RellumPageUpKey, C::pageUpAndModifySelection},
        {fn | shift, RellumPageDownKey, C::pageDownAndModifySelection},
        {fn, RellumDeleteForwardKey, C::deleteForward},
        // Keys without a command: text, Command shortcuts, Control chords of special keys.
        {0, u'a', std::nullopt},
        {RellumCommandKeyMask, u'\r', std::nullopt},
        {fn | RellumControlKeyMask, RellumLeftArrowKey, std::nullopt},
        {fn | alt, RellumUpArrowKey, std::nullopt},
        {0, RellumLeftArrowKey, std::nullopt},
        {fn, RellumF1Key, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RellumKeyBindingCommandForKey(row.flags, row.key), row.command)
            << std::hex << row.flags << " " << int(row.key);
}

} // namespace
