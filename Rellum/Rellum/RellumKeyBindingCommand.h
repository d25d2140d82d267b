#pragma once

#include "Rellum/RellumInputModes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The terminal view's key-binding commands, named after the editing commands
// of the text-input system they stand for.
enum class RellumKeyBindingCommand {
    // Commands that send bytes.
    cancelOperation,
    insertNewline,
    insertLineBreak,
    insertNewlineIgnoringFieldEditor,
    insertParagraphSeparator,
    insertContainerBreak,
    insertTab,
    insertTabIgnoringFieldEditor,
    insertBacktab,
    deleteBackward,
    deleteBackwardByDecomposingPreviousCharacter,
    deleteWordBackward,
    deleteForward,
    deleteWordForward,
    deleteToBeginningOfLine,
    deleteToBeginningOfParagraph,
    deleteToEndOfLine,
    deleteToEndOfParagraph,
    moveBackward,
    moveForward,
    moveToBeginningOfLine,
    moveToBeginningOfParagraph,
    moveToEndOfLine,
    moveToEndOfParagraph,
    moveWordForward,
    moveWordRight,
    moveWordBackward,
    moveWordLeft,
    transposeWords,
    moveUp,
    moveDown,
    moveLeft,
    moveRight,
    // Commands that send the Home or End key in the alternate screen only.
    moveToBeginningOfDocument,
    scrollToBeginningOfDocument,
    moveToEndOfDocument,
    scrollToEndOfDocument,
    // Commands that scroll the view.
    scrollLineUp,
    scrollLineDown,
    scrollPageUp,
    scrollPageDown,
    // Commands that do nothing at all.
    capitalizeWord,
    centerSelectionInVisibleArea,
    changeCaseOfLetter,
    complete,
    indent,
    lowercaseWord,
    uppercaseWord,
    yank,
    transpose,
    insertDoubleQuoteIgnoringSubstitution,
    insertSingleQuoteIgnoringSubstitution,
    deleteToMark,
    delete_, // "delete:"
    cut,
    // Commands that extend the text selection.
    moveBackwardAndModifySelection,
    moveForwardAndModifySelection,
    moveLeftAndModifySelection,
    moveRightAndModifySelection,
    moveUpAndModifySelection,
    moveDownAndModifySelection,
    moveWordBackwardAndModifySelection,
    moveWordForwardAndModifySelection,
    moveWordLeftAndModifySelection,
    moveWordRightAndModifySelection,
    moveParagraphBackwardAndModifySelection,
    moveParagraphForwardAndModifySelection,
    moveToBeginningOfLineAndModifySelection,
    moveToEndOfLineAndModifySelection,
    moveToLeftEndOfLineAndModifySelection,
    moveToRightEndOfLineAndModifySelection,
    moveToBeginningOfParagraphAndModifySelection,
    moveToEndOfParagraphAndModifySelection,
    moveToBeginningOfDocumentAndModifySelection,
    moveToEndOfDocumentAndModifySelection,
    pageUpAndModifySelection,
    pageDownAndModifySelection,
};

// What the view does for a command.
enum class RellumKeyBindingAction {
    Send,      // write `bytes` to the terminal and nothing else
    Ignore,    // do nothing at all
    Scroll,    // scroll the view by the command (line, page, document start or end); send nothing
    Selection, // extend the text selection; send nothing
};

struct RellumKeyBindingResult {
    RellumKeyBindingAction action = RellumKeyBindingAction::Ignore;
    std::string bytes;

    friend bool operator==(const RellumKeyBindingResult&, const RellumKeyBindingResult&) = default;
};

// The outcome of a command under the view's current modes (cursor-key mode and
// whether the alternate screen is active).
RellumKeyBindingResult RellumKeyBindingCommandResult(RellumKeyBindingCommand command,
                                                     const RellumInputModes& modes);

// The command's selector name, e.g. "insertNewline:".
std::string_view RellumKeyBindingCommandName(RellumKeyBindingCommand command);

// Whether the view answers that it handles the command; "delete:" and "cut:"
// are disowned so that menus disable them.
bool RellumKeyBindingCommandIsOffered(RellumKeyBindingCommand command);

// The Linux key table: the command a key press stands for when the key
// encoder produced nothing (flags and key values as the encoder takes them).
// Nothing when the key is plain text or has no command.
std::optional<RellumKeyBindingCommand> RellumKeyBindingCommandForKey(std::uint64_t flags, char16_t rawChar);
