#pragma once

#include "Rellum/RellumColor.h"
#include "Rellum/RellumContext.h"
#include "Rellum/RellumGeometry.h"
#include "Rellum/RellumInputModes.h"
#include "Rellum/RellumKeyBindingCommand.h"
#include "Rellum/RellumKeyPressHelper.h"
#include "Rellum/RellumMouseHelper.h"
#include "Rellum/RellumScreenController.h"
#include "Rellum/RellumTextStorage.h"
#include "Rellum/View/RellumQtKeyInput.h"
#include "Rellum/View/RellumQtMouseInput.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPointer>
#include <QRawFont>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QLineEdit;
class QPainter;
class QMimeData;
class QScrollBar;
class RellumStorageLineIndex;
class RellumTerminal;

// The terminal's visible surface and its input device. It draws the shown
// text storage cell by cell at column x cell width (a double-width cell two
// cells wide), draws the terminal's cursor, keeps a selection, copies,
// pastes, takes drops, finds text and scrolls through the scrollback; and
// it sends what the user types, pastes or drops, and the mouse and focus
// reports the host asked for, through the terminal.
//
// Everything it draws and every mode it consults is the snapshot of the last
// display update (context copy, cursor). Main thread only.
class RellumTextView : public QWidget {
    Q_OBJECT
public:
    // The selection's background while the view has the focus.
    static QColor selectedTextBackgroundColor();

    explicit RellumTextView(RellumTerminal* terminal, QWidget* parent = nullptr);
    ~RellumTextView() override;

    // The terminal goes away: nothing more is sent to it.
    void detachTerminal();
    RellumTerminal* terminal() const { return terminal_; }

    // The storage shown and the index of its lines (both owned elsewhere);
    // the selection becomes the empty range at its end.
    void setTextStorage(RellumTextStorage* storage, const RellumStorageLineIndex* lines);
    RellumTextStorage* textStorage() const { return storage_; }
    // The shown storage reported an edit (range in the new text, change in
    // length); `droppedFromFront` characters of the oldest lines were
    // dropped when known, the text before `unchangedEnd` being the old text
    // after them.
    void textStorageDidEdit(RellumRange editedRange, int64_t changeInLength, uint64_t droppedFromFront = 0,
                            uint64_t unchangedEnd = 0);

    // The snapshot of the last display update.
    const RellumContext* context() const { return context_.get(); }
    void setContext(std::unique_ptr<RellumContext> context);
    uint64_t cursorLocation() const { return cursorLocation_; }
    void setCursorLocation(uint64_t location) { cursorLocation_ = location; }
    RellumRect cursorRect() const { return cursorRect_; }
    void setCursorRect(RellumRect rect) { cursorRect_ = rect; }
    RellumCoord cursorCoord() const { return cursorCoord_; }
    void setCursorCoord(RellumCoord coord) { cursorCoord_ = coord; }
    double lineHeight() const { return lineHeight_; }
    void setLineHeight(double lineHeight);
    double charWidth() const { return charWidth_; }
    void setCharWidth(double charWidth);
    bool newlinesPasteAsCarriageReturns() const { return newlinesPasteAsCarriageReturns_; }
    void setNewlinesPasteAsCarriageReturns(bool on) { newlinesPasteAsCarriageReturns_ = on; }
    // The default background (drawn by the scroll view), for the cursor colour.
    void setBackgroundColor(const std::optional<RellumColor>& color);

    // The text changed (end of a display update): redraw and follow the output.
    void didChangeText();

    // Focus: the flag follows the keyboard focus; the answer also needs the
    // window to be the active one.
    bool hasGainUserFocus() const;
    void setHasGainUserFocus(bool focus) { hasGainUserFocus_ = focus; }

    // Whether the cell at a storage index covers two columns.
    bool isWideCharacterAtLocation(uint64_t index) const;

    // Cursor drawing state, refreshed before every paint.
    QColor cursorColor() const { return cursorColor_; }
    std::optional<QColor> overlapColor() const { return overlapColor_; }
    bool wideCursor() const { return wideCursor_; }
    bool frameCursor() const { return frameCursor_; }
    // The cursor's rectangle in view coordinates (its width doubled over a
    // double-width cell).
    QRectF cursorDrawRect() const;
    void refreshCursorAndOverlapColors();

    // Selection (storage offsets).
    RellumRange selectedRange() const;
    void setSelectedRange(RellumRange range);
    void deselectAll();
    // The selected text, each line without the blank cells that end it.
    std::string selectedText() const;

    // Pasting and drops.
    void copy();
    void paste();
    void pasteAsPlainText() { paste(); }
    void pasteAsRichText() { paste(); }
    void pasteAsEscaped();
    void pasteSelection();
    void pasteString(std::string_view text);
    // The text a paste or a drop of these contents sends: local files as
    // shell-escaped paths joined by spaces, else the plain text; empty when
    // there is neither.
    static std::string stringFromPasteboard(const QMimeData& data);
    // The same for the clipboard's contents.
    static std::string stringFromGeneralPasteboard();
    bool performDrop(const QMimeData& data);

    // Find: selects the next (or previous) match after (before) the
    // selection, wrapping around, and scrolls it into sight.
    bool findString(const QString& text, bool backwards = false, bool caseSensitive = false);
    void showFindInterface();
    void hideFindInterface();
    QLineEdit* findField() const { return findField_; }

    // Scrolling, in whole lines; the top line is a line of the storage.
    uint64_t topLine() const { return topLine_; }
    uint64_t visibleRows() const;
    // How far a page key scrolls.
    int64_t pageLines() const;
    uint64_t documentLineCount() const;
    uint64_t maximumTopLine() const;
    void scrollToLine(int64_t line);
    void scrollLineUp();
    void scrollLineDown();
    void scrollPageUp();
    void scrollPageDown();
    // Shift with a page key on the primary screen: a page of the scrollback,
    // the selection (when there is one) extended by as many lines.
    void pageAndModifySelection(bool up);
    void scrollToBeginningOfDocument() { scrollToLine(0); }
    void scrollToBottom();
    void setScrollBar(QScrollBar* scrollBar);

    // The cell of the visible page under a point of the view.
    RellumMouseCoord mouseCoordOfPoint(QPointF point) const;
    // The storage offset of the character under a point (for selection).
    uint64_t offsetOfPoint(QPointF point) const;

    // The input-method composition shown at the cursor.
    QString preeditString() const { return preedit_; }

    RellumKeyPressHelper& keyPressHelper() { return keyPressHelper_; }
    RellumMouseHelper& mouseHelper() { return mouseHelper_; }
    const RellumInputModes& inputModes() const { return modes_; }

    QSize sizeHint() const override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // How the cells of one attribute record are drawn.
    struct CellStyle {
        QFont font;
        QColor foreground;
        std::optional<QColor> background;
        int span = 1;
        bool invisible = false;
        double ascent = 0;
        // Metrics of the font without its letter spacing, for glyphs drawn one by one.
        std::optional<QFontMetricsF> metrics;
        // Printable ASCII drawn as glyph runs placed cell by cell (no text
        // shaping): the font's glyphs for 0x20..0x7E, when it has them all.
        QRawFont rawFont;
        std::array<quint32, 95> asciiGlyphs{};
        bool asciiGlyphRuns = false;
    };
    // One grapheme (or a batch of printable ASCII) of a line being drawn.
    struct Piece {
        int column = 0;
        int columns = 0;
        uint32_t from = 0; // UTF-16 offset in the line
        uint32_t length = 0;
        const CellStyle* style = nullptr;
        bool ascii = false;
    };

    const CellStyle& styleFor(const RellumTextStorage::AttributesPtr& attributes);
    void clearStyleCache();
    void layoutLine(uint64_t line, std::u16string& text, std::vector<Piece>& pieces);
    // Draws `count` ASCII characters of a piece, from its `first`, as one glyph run.
    void drawAsciiRun(QPainter& painter, const Piece& piece, const char16_t* chars, uint32_t first,
                      uint32_t count, double baseline, const QColor& colour);
    void send(std::string_view bytes);
    void sendString(std::string_view text);
    void tryToReportFocusInOut();
    void fixupSystemCursor();
    RellumQtPageGeometry pageGeometry() const;
    QPointF documentPoint(QPointF viewPoint) const;
    void updateScrollBar();
    void performKeyBindingCommand(RellumKeyBindingCommand command, RellumKeyDownOutcome::Kind kind);
    void extendSelection(RellumKeyBindingCommand command);
    uint64_t wordStart(uint64_t offset) const;
    uint64_t wordEnd(uint64_t offset) const;
    void scrollRangeToVisible(RellumRange range);
    void copySelectionToPrimary();

    RellumTerminal* terminal_ = nullptr;
    RellumTextStorage* storage_ = nullptr;
    const RellumStorageLineIndex* lines_ = nullptr;
    RellumKeyPressHelper keyPressHelper_;
    RellumMouseHelper mouseHelper_;
    RellumQtKeyAdapter keyAdapter_;
    RellumWheelStepAccumulator wheelSteps_;
    std::unique_ptr<RellumContext> context_;
    RellumInputModes modes_;
    uint64_t cursorLocation_ = 0;
    RellumRect cursorRect_;
    RellumCoord cursorCoord_;
    double lineHeight_ = 0;
    double charWidth_ = 0;
    bool hasGainUserFocus_ = false;
    bool newlinesPasteAsCarriageReturns_ = false;
    std::optional<RellumColor> backgroundColor_;
    QColor cursorColor_;
    std::optional<QColor> overlapColor_;
    bool wideCursor_ = false;
    bool frameCursor_ = true;

    // Selection: anchor and the moving end, storage offsets.
    uint64_t selectionAnchor_ = 0;
    uint64_t selectionEnd_ = 0;
    bool selecting_ = false;
    bool moveCursorOnRelease_ = false;

    uint64_t topLine_ = 0;
    QPointer<QScrollBar> scrollBar_;
    bool updatingScrollBar_ = false;
    QLineEdit* findField_ = nullptr;
    QString preedit_;

    // Styles by attribute record; the records are kept so that an address is
    // never reused while cached.
    std::unordered_map<const RellumAttributes*, std::pair<RellumTextStorage::AttributesPtr, CellStyle>>
        styles_;
    std::optional<RellumColor> styledTextColor_;
    QFont fallbackFont_;
    std::vector<Piece> pieces_;
    QList<quint32> glyphIndexes_;
    QList<QPointF> glyphPositions_;
    std::u16string lineText_;
};
