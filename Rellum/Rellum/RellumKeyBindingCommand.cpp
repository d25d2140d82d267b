#include "Rellum/RellumKeyBindingCommand.h"

#include "Rellum/RellumKeyCodes.h"
#include "Rellum/RellumKeyPressHelper.h"

#include <array>
#include <utility>

namespace {

using C = RellumKeyBindingCommand;

struct CommandRow {
    C command;
    std::string_view name;
};

constexpr CommandRow kCommandNames[] = {
    {C::cancelOperation, "cancelOperation:"},
    {C::insertNewline, "insertNewline:"},
    {C::insertLineBreak, "insertLineBreak:"},
    {C::insertNewlineIgnoringFieldEditor, "insertNewlineIgnoringFieldEditor:"},
    {C::insertParagraphSeparator, "insertParagraphSeparator:"},
    {C::insertContainerBreak, "insertContainerBreak:"},
    {C::insertTab, "insertTab:"},
    {C::insertTabIgnoringFieldEditor, "insertTabIgnoringFieldEditor:"},
    {C::insertBacktab, "insertBacktab:"},
    {C::deleteBackward, "deleteBackward:"},
    {C::deleteBackwardByDecomposingPreviousCharacter, "deleteBackwardByDecomposingPreviousCharacter:"},
    {C::deleteWordBackward, "deleteWordBackward:"},
    {C::deleteForward, "deleteForward:"},
    {C::deleteWordForward, "deleteWordForward:"},
    {C::deleteToBeginningOfLine, "deleteToBeginningOfLine:"},
    {C::deleteToBeginningOfParagraph, "deleteToBeginningOfParagraph:"},
    {C::deleteToEndOfLine, "deleteToEndOfLine:"},
    {C::deleteToEndOfParagraph, "deleteToEndOfParagraph:"},
    {C::moveBackward, "moveBackward:"},
    {C::moveForward, "moveForward:"},
    {C::moveToBeginningOfLine, "moveToBeginningOfLine:"},
    {C::moveToBeginningOfParagraph, "moveToBeginningOfParagraph:"},
    {C::moveToEndOfLine, "moveToEndOfLine:"},
    {C::moveToEndOfParagraph, "moveToEndOfParagraph:"},
    {C::moveWordForward, "moveWordForward:"},
    {C::moveWordRight, "moveWordRight:"},
    {C::moveWordBackward, "moveWordBackward:"},
    {C::moveWordLeft, "moveWordLeft:"},
    {C::transposeWords, "transposeWords:"},
    {C::moveUp, "moveUp:"},
    {C::moveDown, "moveDown:"},
    {C::moveLeft, "moveLeft:"},
    {C::moveRight, "moveRight:"},
    {C::moveToBeginningOfDocument, "moveToBeginningOfDocument:"},
    {C::scrollToBeginningOfDocument, "scrollToBeginningOfDocument:"},
    {C::moveToEndOfDocument, "moveToEndOfDocument:"},
    {C::scrollToEndOfDocument, "scrollToEndOfDocument:"},
    {C::scrollLineUp, "scrollLineUp:"},
    {C::scrollLineDown, "scrollLineDown:"},
    {C::scrollPageUp, "scrollPageUp:"},
    {C::scrollPageDown, "scrollPageDown:"},
    {C::capitalizeWord, "capitalizeWord:"},
    {C::centerSelectionInVisibleArea, "centerSelectionInVisibleArea:"},
    {C::changeCaseOfLetter, "changeCaseOfLetter:"},
    {C::complete, "complete:"},
    {C::indent, "indent:"},
    {C::lowercaseWord, "lowercaseWord:"},
    {C::uppercaseWord, "uppercaseWord:"},
    {C::yank, "yank:"},
    {C::transpose, "transpose:"},
    {C::insertDoubleQuoteIgnoringSubstitution, "insertDoubleQuoteIgnoringSubstitution:"},
    {C::insertSingleQuoteIgnoringSubstitution, "insertSingleQuoteIgnoringSubstitution:"},
    {C::deleteToMark, "deleteToMark:"},
    {C::delete_, "delete:"},
    {C::cut, "cut:"},
    {C::moveBackwardAndModifySelection, "moveBackwardAndModifySelection:"},
    {C::moveForwardAndModifySelection, "moveForwardAndModifySelection:"},
    {C::moveLeftAndModifySelection, "moveLeftAndModifySelection:"},
    {C::moveRightAndModifySelection, "moveRightAndModifySelection:"},
    {C::moveUpAndModifySelection, "moveUpAndModifySelection:"},
    {C::moveDownAndModifySelection, "moveDownAndModifySelection:"},
    {C::moveWordBackwardAndModifySelection, "moveWordBackwardAndModifySelection:"},
    {C::moveWordForwardAndModifySelection, "moveWordForwardAndModifySelection:"},
    {C::moveWordLeftAndModifySelection, "moveWordLeftAndModifySelection:"},
    {C::moveWordRightAndModifySelection, "moveWordRightAndModifySelection:"},
    {C::moveParagraphBackwardAndModifySelection, "moveParagraphBackwardAndModifySelection:"},
    {C::moveParagraphForwardAndModifySelection, "moveParagraphForwardAndModifySelection:"},
    {C::moveToBeginningOfLineAndModifySelection, "moveToBeginningOfLineAndModifySelection:"},
    {C::moveToEndOfLineAndModifySelection, "moveToEndOfLineAndModifySelection:"},
    {C::moveToLeftEndOfLineAndModifySelection, "moveToLeftEndOfLineAndModifySelection:"},
    {C::moveToRightEndOfLineAndModifySelection, "moveToRightEndOfLineAndModifySelection:"},
    {C::moveToBeginningOfParagraphAndModifySelection, "moveToBeginningOfParagraphAndModifySelection:"},
    {C::moveToEndOfParagraphAndModifySelection, "moveToEndOfParagraphAndModifySelection:"},
    {C::moveToBeginningOfDocumentAndModifySelection, "moveToBeginningOfDocumentAndModifySelection:"},
    {C::moveToEndOfDocumentAndModifySelection, "moveToEndOfDocumentAndModifySelection:"},
    {C::pageUpAndModifySelection, "pageUpAndModifySelection:"},
    {C::pageDownAndModifySelection, "pageDownAndModifySelection:"},
};

RellumKeyBindingResult send(std::string bytes) {
    return {RellumKeyBindingAction::Send, std::move(bytes)};
}

std::string cursorKey(char16_t key, const RellumInputModes& modes) {
    return RellumGetCursorKeySequence(key, modes.applicationCursorKeyMode).value_or(std::string());
}

} // namespace

RellumKeyBindingResult RellumKeyBindingCommandResult(RellumKeyBindingCommand command,
                                                     const RellumInputModes& modes) {
    switch (command) {
    case C::cancelOperation:
        return send("\x1b");
    case C::insertNewline:
    case C::insertLineBreak:
    case C::insertNewlineIgnoringFieldEditor:
    case C::insertParagraphSeparator:
        return send("\r");
    case C::insertContainerBreak:
        return send("\x0c");
    case C::insertTab:
    case C::insertTabIgnoringFieldEditor:
        return send("\t");
    case C::insertBacktab:
        return send("\x1b[Z");
    case C::deleteBackward:
        return send("\x7f");
    case C::deleteBackwardByDecomposingPreviousCharacter:
    case C::deleteWordBackward:
        return send("\x1b\x7f");
    case C::deleteForward:
        return send("\x1b[3~");
    case C::deleteWordForward:
        return send("\x1b"
                    "d");
    case C::deleteToBeginningOfLine:
    case C::deleteToBeginningOfParagraph:
        return send("\x15");
    case C::deleteToEndOfLine:
    case C::deleteToEndOfParagraph:
        return send("\x0b");
    case C::moveBackward:
        return send("\x02");
    case C::moveForward:
        return send("\x06");
    case C::moveToBeginningOfLine:
    case C::moveToBeginningOfParagraph:
        return send("\x01");
    case C::moveToEndOfLine:
    case C::moveToEndOfParagraph:
        return send("\x05");
    case C::moveWordForward:
    case C::moveWordRight:
        return send("\x1b"
                    "f");
    case C::moveWordBackward:
    case C::moveWordLeft:
        return send("\x1b"
                    "b");
    case C::transposeWords:
        return send("\x1b"
                    "t");
    case C::moveUp:
        return send(cursorKey(RellumUpArrowKey, modes));
    case C::moveDown:
        return send(cursorKey(RellumDownArrowKey, modes));
    case C::moveLeft:
        return send(cursorKey(RellumLeftArrowKey, modes));
    case C::moveRight:
        return send(cursorKey(RellumRightArrowKey, modes));
    case C::moveToBeginningOfDocument:
    case C::scrollToBeginningOfDocument:
        if (modes.alternateScreenMode) return send(cursorKey(RellumHomeKey, modes));
        return {RellumKeyBindingAction::Scroll, {}};
    case C::moveToEndOfDocument:
    case C::scrollToEndOfDocument:
        if (modes.alternateScreenMode) return send(cursorKey(RellumEndKey, modes));
        return {RellumKeyBindingAction::Scroll, {}};
    case C::scrollLineUp:
    case C::scrollLineDown:
    case C::scrollPageUp:
    case C::scrollPageDown:
        return {RellumKeyBindingAction::Scroll, {}};
    case C::capitalizeWord:
    case C::centerSelectionInVisibleArea:
    case C::changeCaseOfLetter:
    case C::complete:
    case C::indent:
    case C::lowercaseWord:
    case C::uppercaseWord:
    case C::yank:
    case C::transpose:
    case C::insertDoubleQuoteIgnoringSubstitution:
    case C::insertSingleQuoteIgnoringSubstitution:
    case C::deleteToMark:
    case C::delete_:
    case C::cut:
        return {RellumKeyBindingAction::Ignore, {}};
    case C::moveBackwardAndModifySelection:
    case C::moveForwardAndModifySelection:
    case C::moveLeftAndModifySelection:
    case C::moveRightAndModifySelection:
    case C::moveUpAndModifySelection:
    case C::moveDownAndModifySelection:
    case C::moveWordBackwardAndModifySelection:
    case C::moveWordForwardAndModifySelection:
    case C::moveWordLeftAndModifySelection:
    case C::moveWordRightAndModifySelection:
    case C::moveParagraphBackwardAndModifySelection:
    case C::moveParagraphForwardAndModifySelection:
    case C::moveToBeginningOfLineAndModifySelection:
    case C::moveToEndOfLineAndModifySelection:
    case C::moveToLeftEndOfLineAndModifySelection:
    case C::moveToRightEndOfLineAndModifySelection:
    case C::moveToBeginningOfParagraphAndModifySelection:
    case C::moveToEndOfParagraphAndModifySelection:
    case C::moveToBeginningOfDocumentAndModifySelection:
    case C::moveToEndOfDocumentAndModifySelection:
    case C::pageUpAndModifySelection:
    case C::pageDownAndModifySelection:
        return {RellumKeyBindingAction::Selection, {}};
    }
    return {RellumKeyBindingAction::Ignore, {}};
}

std::string_view RellumKeyBindingCommandName(RellumKeyBindingCommand command) {
    for (const auto& row : kCommandNames)
        if (row.command == command) return row.name;
    return {};
}

bool RellumKeyBindingCommandIsOffered(RellumKeyBindingCommand command) {
    return command != C::delete_ && command != C::cut;
}

std::optional<RellumKeyBindingCommand> RellumKeyBindingCommandForKey(std::uint64_t flags, char16_t rawChar) {
    if (flags & RellumCommandKeyMask) return std::nullopt;
    const bool shift = flags & RellumShiftKeyMask;
    const bool alt = flags & RellumOptionKeyMask;

    switch (rawChar) {
    case RellumCarriageReturnCharacter:
    case RellumEnterCharacter:
        return alt ? C::insertNewlineIgnoringFieldEditor : C::insertNewline;
    case RellumBackspaceCharacter:
        return alt ? C::deleteWordBackward : C::deleteBackward;
    case RellumEscapeCharacter:
        return C::cancelOperation;
    case RellumTabCharacter:
        return shift ? C::insertBacktab : C::insertTab;
    case RellumBackTabCharacter:
        return C::insertBacktab;
    default:
        break;
    }
    // Control chords of the special keys have no command of their own.
    if (!(flags & RellumFunctionKeyMask) || (flags & RellumControlKeyMask)) return std::nullopt;

    switch (rawChar) {
    case RellumLeftArrowKey:
        if (alt) return shift ? C::moveWordLeftAndModifySelection : C::moveWordLeft;
        return shift ? C::moveLeftAndModifySelection : C::moveLeft;
    case RellumRightArrowKey:
        if (alt) return shift ? C::moveWordRightAndModifySelection : C::moveWordRight;
        return shift ? C::moveRightAndModifySelection : C::moveRight;
    case RellumUpArrowKey:
        if (alt) return std::nullopt;
        return shift ? C::moveUpAndModifySelection : C::moveUp;
    case RellumDownArrowKey:
        if (alt) return std::nullopt;
        return shift ? C::moveDownAndModifySelection : C::moveDown;
    case RellumHomeKey:
        return shift ? C::moveToBeginningOfDocumentAndModifySelection : C::scrollToBeginningOfDocument;
    case RellumEndKey:
        return shift ? C::moveToEndOfDocumentAndModifySelection : C::scrollToEndOfDocument;
    case RellumPageUpKey:
        return shift ? C::pageUpAndModifySelection : C::scrollPageUp;
    case RellumPageDownKey:
        return shift ? C::pageDownAndModifySelection : C::scrollPageDown;
    case RellumDeleteForwardKey:
        return C::deleteForward;
    default:
        return std::nullopt;
    }
}
