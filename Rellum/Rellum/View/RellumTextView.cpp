#include "Rellum/View/RellumTextView.h"

#include "Rellum/Categories/NSString+Rellum.h"
#include "Rellum/RellumKeyCodes.h"
#include "Rellum/RellumPaste.h"
#include "Rellum/RellumTerminal.h"
#include "Rellum/View/RellumQtFont.h"
#include "Rellum/View/RellumStorageLineIndex.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

QColor qColor(const RellumColor& c) {
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}

RellumColor opaque(const RellumColor& c) {
    return c.colorWithAlphaComponent(1);
}

bool isMark(char32_t cp) {
    if (cp == 0x200D || (cp >= 0xFE00 && cp <= 0xFE0F)) return true;
    switch (QChar::category(cp)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

std::string toUTF8(const std::u16string& s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size())).toStdString();
}

// Box drawing and block elements, which are meant to fill their cells.
bool isCellFillingGlyph(char16_t c) {
    return c >= 0x2500 && c <= 0x259F;
}

bool isWordCharacter(char16_t c) {
    return QChar(c).isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.' || c == u'/' || c == u'~';
}

} // namespace

QColor RellumTextView::selectedTextBackgroundColor() {
    return QColor::fromRgbF(46 / 255.0f, 89 / 255.0f, 148 / 255.0f, 0.85f);
}

RellumTextView::RellumTextView(RellumTerminal* terminal, QWidget* parent)
    : QWidget(parent), terminal_(terminal) {
    setObjectName(QStringLiteral("textView"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    // Motion without a button is reported when the host asks for all motion.
    setMouseTracking(true);
    setCursor(Qt::IBeamCursor);
    fallbackFont_ = QFont(RellumQtFont::resolvedFamilyName(RellumQtFont::DefaultFontName));
    fallbackFont_.setPointSizeF(RellumQtFont::DefaultPointSize);
    fallbackFont_.setKerning(false);

    findField_ = new QLineEdit(this);
    findField_->setObjectName(QStringLiteral("findField"));
    findField_->setPlaceholderText(QStringLiteral("Find"));
    findField_->hide();
    findField_->installEventFilter(this);
    connect(findField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        // Incremental: look again from the start of the current match.
        const RellumRange selected = selectedRange();
        setSelectedRange({selected.location, 0});
        if (!text.isEmpty()) findString(text);
    });
}

RellumTextView::~RellumTextView() = default;

void RellumTextView::detachTerminal() {
    terminal_ = nullptr;
    storage_ = nullptr;
    lines_ = nullptr;
    styles_.clear();
}

// ---- Storage and snapshot ----

void RellumTextView::setTextStorage(RellumTextStorage* storage, const RellumStorageLineIndex* lines) {
    storage_ = storage;
    lines_ = lines;
    const uint64_t end = storage ? storage->length() : 0;
    selectionAnchor_ = selectionEnd_ = end;
    selecting_ = false;
    scrollToBottom();
    update();
}

void RellumTextView::textStorageDidEdit(RellumRange editedRange, int64_t changeInLength,
                                        uint64_t droppedFromFront, uint64_t unchangedEnd) {
    const int64_t oldEnd = int64_t(editedRange.end()) - changeInLength;
    const RellumRange selected = selectedRange();
    if (droppedFromFront > 0 && selected.length > 0) {
        // The oldest lines went: text that is still there moved with them.
        if (selected.location >= droppedFromFront && selected.end() <= unchangedEnd + droppedFromFront) {
            selectionAnchor_ -= droppedFromFront;
            selectionEnd_ -= droppedFromFront;
        } else {
            selectionAnchor_ = selectionEnd_ = 0;
            selecting_ = false;
        }
        return;
    }
    if (selected.length == 0) {
        // An empty selection is only an insertion point: keep it inside the text.
        const uint64_t length = storage_ ? storage_->length() : 0;
        selectionAnchor_ = selectionEnd_ = std::min(selectionEnd_, length);
        return;
    }
    if (selected.end() <= editedRange.location) return; // before the change: unmoved
    if (int64_t(selected.location) >= oldEnd) {         // after it: moved with the text
        selectionAnchor_ = uint64_t(int64_t(selectionAnchor_) + changeInLength);
        selectionEnd_ = uint64_t(int64_t(selectionEnd_) + changeInLength);
        return;
    }
    // The selected text itself was rewritten.
    selectionAnchor_ = selectionEnd_ =
        std::min<uint64_t>(editedRange.location, storage_ ? storage_->length() : 0);
    selecting_ = false;
}

void RellumTextView::setContext(std::unique_ptr<RellumContext> context) {
    context_ = std::move(context);
    if (!context_) return;
    modes_ = RellumInputModesFromContext(*context_);
    keyPressHelper_.setModes(modes_);
    mouseHelper_.setModes(modes_);
    if (context_->videoTextColor() != styledTextColor_) clearStyleCache();
}

void RellumTextView::setLineHeight(double lineHeight) {
    if (lineHeight == lineHeight_) return;
    lineHeight_ = lineHeight;
    clearStyleCache();
    updateScrollBar();
    update();
}

void RellumTextView::setCharWidth(double charWidth) {
    if (charWidth == charWidth_) return;
    charWidth_ = charWidth;
    clearStyleCache();
    update();
}

void RellumTextView::setBackgroundColor(const std::optional<RellumColor>& color) {
    backgroundColor_ = color;
    update();
}

void RellumTextView::didChangeText() {
    scrollToBottom();
    update();
}

bool RellumTextView::hasGainUserFocus() const {
    return hasGainUserFocus_ && window() && window()->isActiveWindow();
}

bool RellumTextView::isWideCharacterAtLocation(uint64_t index) const {
    if (!storage_ || index >= storage_->length()) return false;
    // The cell's own span, so every double-width cell counts, whatever its
    // code point and whatever table decided its width.
    const RellumTextStorage::AttributesPtr a = storage_->attributesAtIndex(index);
    return a && a->span() == 2;
}

// ---- Cursor ----

void RellumTextView::refreshCursorAndOverlapColors() {
    frameCursor_ = !hasGainUserFocus();
    RellumColor videoBackground = rellum_flatBlack();
    if (context_ && context_->videoBackgroundColor())
        videoBackground = *context_->videoBackgroundColor();
    else if (backgroundColor_)
        videoBackground = *backgroundColor_;
    // Colours are taken opaque: on a theme with transparent colours the
    // contrasting colour of a clear background would be clear, and the
    // cursor would vanish.
    if (!storage_ || cursorLocation_ >= storage_->length()) {
        cursorColor_ =
            qColor(opaque(rellum_colorWithContrastingBlackOrWhiteColorOn(opaque(videoBackground), false)));
        overlapColor_.reset();
        wideCursor_ = false;
        return;
    }
    const RellumTextStorage::AttributesPtr a = storage_->attributesAtIndex(cursorLocation_);
    const RellumColor background = a && a->backgroundColor() ? *a->backgroundColor() : videoBackground;
    const RellumColor cursor =
        opaque(rellum_colorWithContrastingBlackOrWhiteColorOn(opaque(background), false));
    cursorColor_ = qColor(cursor);
    if (frameCursor_)
        overlapColor_.reset();
    else
        overlapColor_ = qColor(opaque(rellum_colorWithContrastingBlackOrWhiteColorOn(cursor, false)));
    wideCursor_ = isWideCharacterAtLocation(cursorLocation_);
}

QRectF RellumTextView::cursorDrawRect() const {
    const double width = (cursorRect_.width > 0 ? cursorRect_.width : charWidth_) * (wideCursor_ ? 2 : 1);
    const double height = cursorRect_.height > 0 ? cursorRect_.height : lineHeight_;
    return QRectF(cursorRect_.x, cursorRect_.y - double(topLine_) * lineHeight_, width, height);
}

// ---- Selection ----

RellumRange RellumTextView::selectedRange() const {
    const uint64_t a = std::min(selectionAnchor_, selectionEnd_),
                   b = std::max(selectionAnchor_, selectionEnd_);
    return {a, b - a};
}

void RellumTextView::setSelectedRange(RellumRange range) {
    const uint64_t length = storage_ ? storage_->length() : 0;
    selectionAnchor_ = std::min(range.location, length);
    selectionEnd_ = std::min(range.end(), length);
    update();
}

void RellumTextView::deselectAll() {
    if (selectionAnchor_ == cursorLocation_ && selectionEnd_ == cursorLocation_) return;
    const uint64_t at = storage_ ? std::min(cursorLocation_, storage_->length()) : 0;
    selectionAnchor_ = selectionEnd_ = at;
    selecting_ = false;
    update();
}

std::string RellumTextView::selectedText() const {
    const RellumRange range = selectedRange();
    if (!storage_ || range.length == 0) return {};
    std::u16string text = storage_->substring(range);
    // Blank cells at the end of each line are the screen's, not the text's.
    std::u16string out;
    out.reserve(text.size());
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\n') {
            std::size_t end = i;
            while (end > lineStart && text[end - 1] == u' ')
                --end;
            out.append(text, lineStart, end - lineStart);
            if (i < text.size()) out.push_back(u'\n');
            lineStart = i + 1;
        }
    }
    return toUTF8(out);
}

void RellumTextView::copySelectionToPrimary() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard && clipboard->supportsSelection() && selectedRange().length > 0)
        clipboard->setText(QString::fromStdString(selectedText()), QClipboard::Selection);
}

uint64_t RellumTextView::wordStart(uint64_t offset) const {
    if (!lines_ || !storage_) return offset;
    const RellumRange line = lines_->lineRange(lines_->lineOfOffset(offset));
    const std::u16string text = storage_->substring(line);
    uint64_t i = offset - line.location;
    if (i >= text.size() || !isWordCharacter(text[i])) return offset;
    while (i > 0 && isWordCharacter(text[i - 1]))
        --i;
    return line.location + i;
}

uint64_t RellumTextView::wordEnd(uint64_t offset) const {
    if (!lines_ || !storage_) return offset;
    const RellumRange line = lines_->lineRange(lines_->lineOfOffset(offset));
    const std::u16string text = storage_->substring(line);
    uint64_t i = offset - line.location;
    if (i >= text.size()) return offset;
    if (!isWordCharacter(text[i])) return offset + 1;
    while (i < text.size() && isWordCharacter(text[i]))
        ++i;
    return line.location + i;
}

// ---- Sending ----

void RellumTextView::send(std::string_view bytes) {
    if (terminal_ && !bytes.empty()) terminal_->writeData(bytes);
}

void RellumTextView::sendString(std::string_view text) {
    if (terminal_ && !text.empty()) terminal_->writeString(text);
}

void RellumTextView::tryToReportFocusInOut() {
    sendString(RellumFocusReportSequence(modes_.focusReportMode, hasGainUserFocus()));
}

void RellumTextView::fixupSystemCursor() {
    const Qt::CursorShape shape = mouseHelper_.shouldReportMouseClick() ? Qt::CrossCursor : Qt::IBeamCursor;
    if (cursor().shape() != shape) setCursor(shape);
}

// ---- Pasting and drops ----

void RellumTextView::copy() {
    if (selectedRange().length == 0) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(selectedText()));
}

void RellumTextView::paste() {
    std::string text = stringFromGeneralPasteboard();
    if (newlinesPasteAsCarriageReturns_) text = RellumNewlinesAsCarriageReturns(text);
    pasteString(text);
}

void RellumTextView::pasteAsEscaped() {
    pasteString(rellum_stringWithEscapedShellCharacters(stringFromGeneralPasteboard()));
}

void RellumTextView::pasteSelection() {
    pasteString(selectedText());
}

void RellumTextView::pasteString(std::string_view text) {
    if (text.empty()) return;
    deselectAll();
    sendString(RellumPasteSequence(text, modes_.bracketedPasteMode));
}

std::string RellumTextView::stringFromPasteboard(const QMimeData& data) {
    RellumPasteboard pasteboard;
    if (data.hasUrls()) {
        std::vector<std::string> files;
        for (const QUrl& url : data.urls())
            if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
        if (!files.empty()) pasteboard.fileNames = std::move(files);
    }
    if (!pasteboard.fileNames && data.hasText()) pasteboard.string = data.text().toStdString();
    if (!pasteboard.fileNames && !pasteboard.string) return {};
    return rellum_stringFromPasteboard(&pasteboard).value_or(std::string());
}

std::string RellumTextView::stringFromGeneralPasteboard() {
    // Copied files come as their paths, never as file:// links, just as dropped ones do.
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    return data ? stringFromPasteboard(*data) : std::string();
}

bool RellumTextView::performDrop(const QMimeData& data) {
    const std::string text = stringFromPasteboard(data);
    if (text.empty()) return false;
    deselectAll();
    // As it is: a drop is not a paste, so no bracketing and no newline change.
    sendString(text);
    return true;
}

void RellumTextView::dragEnterEvent(QDragEnterEvent* event) {
    const bool copyable = event->possibleActions() & (Qt::CopyAction | Qt::MoveAction);
    if (copyable && (event->mimeData()->hasUrls() || event->mimeData()->hasText()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void RellumTextView::dragMoveEvent(QDragMoveEvent* event) {
    const bool copyable = event->possibleActions() & (Qt::CopyAction | Qt::MoveAction);
    if (copyable && (event->mimeData()->hasUrls() || event->mimeData()->hasText()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void RellumTextView::dropEvent(QDropEvent* event) {
    const bool copyable = event->possibleActions() & (Qt::CopyAction | Qt::MoveAction);
    if (copyable && performDrop(*event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

// ---- Find ----

bool RellumTextView::findString(const QString& text, bool backwards, bool caseSensitive) {
    if (!storage_ || text.isEmpty()) return false;
    const std::u16string all = storage_->string();
    const QString haystack = QString::fromUtf16(all.data(), qsizetype(all.size()));
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const RellumRange selected = selectedRange();
    qsizetype found = -1;
    if (backwards) {
        const qsizetype from = qsizetype(selected.location) - 1;
        if (from >= 0) found = haystack.lastIndexOf(text, from, cs);
        if (found < 0) found = haystack.lastIndexOf(text, -1, cs);
    } else {
        found = haystack.indexOf(text, qsizetype(selected.end()), cs);
        if (found < 0) found = haystack.indexOf(text, 0, cs);
    }
    if (found < 0) return false;
    setSelectedRange({uint64_t(found), uint64_t(text.size())});
    scrollRangeToVisible(selectedRange());
    return true;
}

void RellumTextView::showFindInterface() {
    const int width = std::min(260, std::max(80, this->width() - 8));
    findField_->setGeometry(this->width() - width - 4, 4, width, findField_->sizeHint().height());
    findField_->show();
    findField_->raise();
    findField_->setFocus(Qt::ShortcutFocusReason);
    findField_->selectAll();
}

void RellumTextView::hideFindInterface() {
    findField_->hide();
    setFocus(Qt::OtherFocusReason);
}

bool RellumTextView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == findField_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            hideFindInterface();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findString(findField_->text(), key->modifiers() & Qt::ShiftModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Scrolling ----

uint64_t RellumTextView::visibleRows() const {
    if (!(lineHeight_ > 0)) return 0;
    return uint64_t(std::max(1.0, std::floor(double(height()) / lineHeight_)));
}

uint64_t RellumTextView::documentLineCount() const {
    return lines_ ? lines_->lineCount() : 0;
}

uint64_t RellumTextView::maximumTopLine() const {
    const uint64_t lines = documentLineCount(), rows = visibleRows();
    return lines > rows ? lines - rows : 0;
}

void RellumTextView::scrollToLine(int64_t line) {
    const uint64_t top = uint64_t(std::clamp<int64_t>(line, 0, int64_t(maximumTopLine())));
    if (top != topLine_) {
        topLine_ = top;
        update();
    }
    updateScrollBar();
}

void RellumTextView::scrollLineUp() {
    scrollToLine(int64_t(topLine_) - 1);
}

void RellumTextView::scrollLineDown() {
    scrollToLine(int64_t(topLine_) + 1);
}

int64_t RellumTextView::pageLines() const {
    // One line of the old page stays in sight.
    return std::max<int64_t>(1, int64_t(visibleRows()) - 1);
}

void RellumTextView::scrollPageUp() {
    scrollToLine(int64_t(topLine_) - pageLines());
}

void RellumTextView::scrollPageDown() {
    scrollToLine(int64_t(topLine_) + pageLines());
}

void RellumTextView::pageAndModifySelection(bool up) {
    if (lines_ && selectedRange().length > 0) {
        // The moving end goes a page of lines, keeping its column where the line allows.
        const uint64_t line = lines_->lineOfOffset(selectionEnd_);
        const uint64_t last = lines_->lineCount() > 0 ? lines_->lineCount() - 1 : 0;
        const uint64_t page = uint64_t(pageLines());
        const uint64_t target = up ? line - std::min(line, page) : std::min(line + page, last);
        const RellumRange from = lines_->lineRange(line);
        const RellumRange to = lines_->lineRange(target);
        selectionEnd_ = to.location + std::min(selectionEnd_ - from.location, to.length);
        copySelectionToPrimary();
        update();
    }
    if (up)
        scrollPageUp();
    else
        scrollPageDown();
}

void RellumTextView::scrollToBottom() {
    scrollToLine(int64_t(maximumTopLine()));
}

void RellumTextView::scrollRangeToVisible(RellumRange range) {
    if (!lines_) return;
    const uint64_t line = lines_->lineOfOffset(range.location);
    const uint64_t rows = std::max<uint64_t>(1, visibleRows());
    if (line < topLine_)
        scrollToLine(int64_t(line));
    else if (line >= topLine_ + rows)
        scrollToLine(int64_t(line) - int64_t(rows) + 1);
}

void RellumTextView::setScrollBar(QScrollBar* scrollBar) {
    scrollBar_ = scrollBar;
    if (!scrollBar) return;
    connect(scrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        if (!updatingScrollBar_) scrollToLine(value);
    });
    updateScrollBar();
}

void RellumTextView::updateScrollBar() {
    if (!scrollBar_) return;
    updatingScrollBar_ = true;
    const int maximum = int(std::min<uint64_t>(maximumTopLine(), uint64_t(std::numeric_limits<int>::max())));
    scrollBar_->setRange(0, maximum);
    scrollBar_->setPageStep(int(std::max<uint64_t>(1, visibleRows())));
    scrollBar_->setSingleStep(1);
    scrollBar_->setValue(int(std::min<uint64_t>(topLine_, uint64_t(maximum))));
    // An overlay scroller: shown while the view is scrolled back, so that it
    // never covers the last column of live output.
    scrollBar_->setVisible(maximum > 0 && int64_t(topLine_) < int64_t(maximum));
    updatingScrollBar_ = false;
}

void RellumTextView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The output stays in sight: a view at the bottom stays there.
    const bool atBottom = topLine_ + 1 >= maximumTopLine() || topLine_ >= maximumTopLine();
    if (atBottom)
        scrollToBottom();
    else
        scrollToLine(int64_t(topLine_));
    if (findField_->isVisible()) showFindInterface();
}

QSize RellumTextView::sizeHint() const {
    if (!(lineHeight_ > 0) || !(charWidth_ > 0)) return QSize(640, 384);
    return QSize(int(std::ceil(80 * charWidth_)), int(std::ceil(24 * lineHeight_)));
}

// ---- Drawing ----

void RellumTextView::clearStyleCache() {
    styles_.clear();
    styledTextColor_ = context_ ? context_->videoTextColor() : std::nullopt;
}

const RellumTextView::CellStyle&
RellumTextView::styleFor(const RellumTextStorage::AttributesPtr& attributes) {
    const RellumAttributes* key = attributes.get();
    auto found = styles_.find(key);
    if (found != styles_.end()) return found->second.second;

    CellStyle style;
    std::shared_ptr<const RellumFont> font = attributes ? attributes->font() : nullptr;
    if (!font && context_) font = context_->font();
    const auto* qtFont = dynamic_cast<const RellumQtFont*>(font.get());
    style.font = qtFont ? qtFont->qFont() : fallbackFont_;
    style.font.setKerning(false);
    style.span = attributes ? int(attributes->span()) : 1;
    if (attributes && attributes->isUnderline()) style.font.setUnderline(true);
    QFont unspaced = style.font;
    unspaced.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    style.metrics.emplace(unspaced);
    style.rawFont = QRawFont::fromFont(style.font);
    if (style.rawFont.isValid()) {
        QString ascii;
        for (char16_t c = 0x20; c < 0x7F; ++c)
            ascii.append(QChar(c));
        const QList<quint32> glyphs = style.rawFont.glyphIndexesForString(ascii);
        style.asciiGlyphRuns = glyphs.size() == 95;
        for (qsizetype k = 0; style.asciiGlyphRuns && k < 95; ++k) {
            // A missing glyph (0) is left to the text path, which falls back to other fonts.
            if (glyphs[k] == 0 && k != 0) style.asciiGlyphRuns = false;
            style.asciiGlyphs[std::size_t(k)] = glyphs[k];
        }
    }
    style.ascent = QFontMetricsF(style.font).ascent();

    RellumColor foreground = rellum_flatWhite();
    if (attributes && attributes->foregroundColor())
        foreground = *attributes->foregroundColor();
    else if (context_ && context_->videoTextColor())
        foreground = *context_->videoTextColor();
    style.foreground = qColor(foreground);
    if (attributes && attributes->backgroundColor())
        style.background = qColor(*attributes->backgroundColor());
    style.invisible = (attributes && attributes->isInvisible()) || style.foreground.alpha() == 0;
    auto inserted = styles_.emplace(key, std::make_pair(attributes, std::move(style)));
    return inserted.first->second.second;
}

void RellumTextView::layoutLine(uint64_t line, std::u16string& text, std::vector<Piece>& pieces) {
    pieces.clear();
    const RellumRange range = lines_->lineRange(line);
    text = storage_->substring(range);
    uint64_t pos = 0;
    int column = 0;
    while (pos < text.size()) {
        RellumRange effective;
        const RellumTextStorage::AttributesPtr attributes =
            storage_->attributesAtIndex(range.location + pos, &effective);
        uint64_t runEnd = text.size();
        if (attributes && effective.end() > range.location)
            runEnd = std::min<uint64_t>(effective.end() - range.location, text.size());
        if (runEnd <= pos) runEnd = pos + 1;
        const CellStyle& style = styleFor(attributes);
        while (pos < runEnd) {
            const char16_t c = text[pos];
            // Printable ASCII in a font whose every glyph is one cell wide is
            // drawn in one go per run.
            if (c >= 0x20 && c < 0x7F && style.span == 1 && style.asciiGlyphRuns) {
                if (!pieces.empty() && pieces.back().ascii && pieces.back().style == &style &&
                    pieces.back().from + pieces.back().length == pos) {
                    ++pieces.back().length;
                    ++pieces.back().columns;
                } else {
                    pieces.push_back({column, 1, uint32_t(pos), 1, &style, true});
                }
                ++column;
                ++pos;
                continue;
            }
            uint32_t length = 1;
            char32_t cp = c;
            if (QChar::isHighSurrogate(c) && pos + 1 < text.size() && QChar::isLowSurrogate(text[pos + 1])) {
                cp = QChar::surrogateToUcs4(c, text[pos + 1]);
                length = 2;
            }
            if ((style.span == 0 || isMark(cp)) && !pieces.empty()) {
                // A combining mark joins the cell before it.
                if (pieces.back().ascii && pieces.back().length > 1) {
                    Piece last = pieces.back();
                    --pieces.back().length;
                    --pieces.back().columns;
                    pieces.push_back({last.column + int(last.columns) - 1, 1, last.from + last.length - 1, 1,
                                      last.style, false});
                }
                pieces.back().ascii = false;
                pieces.back().length += length;
                pos += length;
                continue;
            }
            const int columns = style.span == 2 ? 2 : 1;
            pieces.push_back({column, columns, uint32_t(pos), length, &style, false});
            column += columns;
            pos += length;
        }
    }
}

void RellumTextView::drawAsciiRun(QPainter& painter, const Piece& piece, const char16_t* chars,
                                  uint32_t first, uint32_t count, double baseline, const QColor& colour) {
    if (count == 0) return;
    const bool underline = piece.style->font.underline();
    glyphIndexes_.clear();
    glyphPositions_.clear();
    for (uint32_t k = 0; k < count; ++k) {
        const char16_t c = chars[first + k];
        // Spaces draw nothing, unless they carry an underline.
        if (c == u' ' && !underline) continue;
        glyphIndexes_.append(piece.style->asciiGlyphs[std::size_t(c - 0x20)]);
        glyphPositions_.append(QPointF(double(piece.column + int(first + k)) * charWidth_, 0));
    }
    if (glyphIndexes_.isEmpty()) return;
    QGlyphRun run;
    run.setRawFont(piece.style->rawFont);
    run.setGlyphIndexes(glyphIndexes_);
    run.setPositions(glyphPositions_);
    painter.setPen(colour);
    painter.drawGlyphRun(QPointF(0, baseline), run);
    if (underline) {
        // Drawn here, under exactly the cells of the run.
        const QFontMetricsF metrics(piece.style->font);
        const double width = std::max(1.0, metrics.lineWidth());
        const double y = baseline + std::max(1.0, metrics.underlinePos());
        painter.fillRect(
            QRectF(double(piece.column + int(first)) * charWidth_, y, double(count) * charWidth_, width),
            colour);
    }
}

void RellumTextView::paintEvent(QPaintEvent* event) {
    if (!storage_ || !lines_ || !(lineHeight_ > 0) || !(charWidth_ > 0)) return;
    if (styles_.size() > 4096) clearStyleCache();
    refreshCursorAndOverlapColors();

    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRect dirty = event->rect();
    const double lh = lineHeight_, cw = charWidth_;
    const uint64_t firstRow = uint64_t(std::max(0.0, std::floor(dirty.top() / lh)));
    const uint64_t lastRow = uint64_t(std::max(0.0, std::ceil((dirty.bottom() + 1) / lh)));
    const uint64_t lineCount = lines_->lineCount();
    const RellumRange selection = selectedRange();
    const QColor selectionColor =
        hasGainUserFocus() ? selectedTextBackgroundColor() : qColor(rellum_secondarySelectedControlColor());

    const bool cursorVisible = context_ && context_->isCursorVisible();
    const int64_t cursorLine = lh > 0 ? std::llround(cursorRect_.y / lh) : -1;
    const int64_t cursorColumn = cw > 0 ? std::llround(cursorRect_.x / cw) : -1;
    const bool filledCursor = cursorVisible && !frameCursor_ && overlapColor_;

    for (uint64_t row = firstRow; row <= lastRow; ++row) {
        const uint64_t line = topLine_ + row;
        if (line >= lineCount) break;
        layoutLine(line, lineText_, pieces_);
        const double y = double(row) * lh;
        const uint64_t lineStart = lines_->lineRange(line).location;

        // Backgrounds, adjacent cells of one colour in one fill.
        for (std::size_t i = 0; i < pieces_.size();) {
            const Piece& p = pieces_[i];
            if (!p.style->background) {
                ++i;
                continue;
            }
            const QColor color = *p.style->background;
            int columns = p.columns;
            std::size_t j = i + 1;
            while (j < pieces_.size() && pieces_[j].style->background == color &&
                   pieces_[j].column == pieces_[i].column + columns) {
                columns += pieces_[j].columns;
                ++j;
            }
            painter.fillRect(QRectF(p.column * cw, y, columns * cw, lh), color);
            i = j;
        }
        // Selection.
        if (selection.length > 0 && selection.location < lineStart + lineText_.size() + 1 &&
            selection.end() > lineStart) {
            int from = -1, to = -1;
            for (const Piece& p : pieces_) {
                for (uint32_t k = 0; k < (p.ascii ? p.length : 1); ++k) {
                    const uint64_t offset = lineStart + p.from + k;
                    const uint32_t span = p.ascii ? 1 : p.length;
                    if (offset + span > selection.location && offset < selection.end()) {
                        const int col = p.column + int(k);
                        if (from < 0) from = col;
                        to = col + (p.ascii ? 1 : p.columns);
                    }
                }
            }
            // A selection that runs on past the line's end covers the rest of the row.
            if (selection.end() > lineStart + lineText_.size()) {
                const int lastColumn = pieces_.empty() ? 0 : pieces_.back().column + pieces_.back().columns;
                if (from < 0) from = lastColumn;
                to = std::max(to, int(std::ceil(width() / cw)));
            }
            if (from >= 0 && to > from)
                painter.fillRect(QRectF(from * cw, y, (to - from) * cw, lh), selectionColor);
        }
        // The cursor, beneath the text.
        if (cursorVisible && int64_t(line) == cursorLine) {
            const QRectF r = cursorDrawRect();
            if (frameCursor_) {
                painter.setPen(QPen(cursorColor_, 1));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
            } else {
                painter.fillRect(r, cursorColor_);
            }
        }
        // Text.
        const bool cursorRow = filledCursor && int64_t(line) == cursorLine;
        const QFont* currentFont = nullptr;
        for (const Piece& p : pieces_) {
            if (p.style->invisible) continue;
            const double baseline = y + p.style->ascent;
            const char16_t* chars = lineText_.data() + p.from;
            const bool hasCursor =
                cursorRow && cursorColumn >= p.column && cursorColumn < p.column + p.columns;
            if (!p.ascii) {
                if (currentFont != &p.style->font) {
                    painter.setFont(p.style->font);
                    currentFont = &p.style->font;
                }
                painter.setPen(hasCursor ? *overlapColor_ : p.style->foreground);
                if (isCellFillingGlyph(chars[0])) {
                    // Box drawing and block elements are stretched to the full
                    // cell height, so that lines and blocks of adjacent rows meet.
                    const QFontMetricsF metrics(p.style->font);
                    const double glyphHeight = metrics.ascent() + metrics.descent();
                    painter.save();
                    painter.translate(p.column * cw, y);
                    if (glyphHeight > 0) painter.scale(1, lh / glyphHeight);
                    painter.drawText(QPointF(0, metrics.ascent()), QString::fromUtf16(chars, p.length));
                    painter.restore();
                } else {
                    // A glyph from another font may not fit its cells: a
                    // narrower one is centred, a wider one squeezed.
                    const QString text = QString::fromUtf16(chars, p.length);
                    const double advance = p.style->metrics->horizontalAdvance(text);
                    const double room = p.columns * cw;
                    if (advance > room + 0.5) {
                        painter.save();
                        painter.translate(p.column * cw, baseline);
                        painter.scale(room / advance, 1);
                        painter.drawText(QPointF(0, 0), text);
                        painter.restore();
                    } else {
                        const double inset = p.columns > 1 && advance > 0 ? (room - advance) / 2 : 0;
                        painter.drawText(QPointF(p.column * cw + inset, baseline), text);
                    }
                }
                continue;
            }
            if (!hasCursor) {
                drawAsciiRun(painter, p, chars, 0, p.length, baseline, p.style->foreground);
                continue;
            }
            // A batch split around the cursor's cell.
            const uint32_t k = uint32_t(cursorColumn - p.column);
            drawAsciiRun(painter, p, chars, 0, k, baseline, p.style->foreground);
            drawAsciiRun(painter, p, chars, k + 1, p.length - k - 1, baseline, p.style->foreground);
            drawAsciiRun(painter, p, chars, k, 1, baseline, *overlapColor_);
        }
    }

    // Input-method composition at the cursor, underlined.
    if (!preedit_.isEmpty()) {
        const QRectF r = cursorDrawRect();
        QFont font = styleFor(nullptr).font;
        font.setUnderline(true);
        const QFontMetricsF metrics(font);
        const QRectF box(r.x(), r.y(), metrics.horizontalAdvance(preedit_), lh);
        RellumColor background = rellum_flatBlack();
        if (context_ && context_->videoBackgroundColor()) background = *context_->videoBackgroundColor();
        painter.fillRect(box, qColor(opaque(background)));
        painter.setFont(font);
        painter.setPen(
            qColor(opaque(rellum_colorWithContrastingBlackOrWhiteColorOn(opaque(background), false))));
        painter.drawText(QPointF(r.x(), r.y() + metrics.ascent()), preedit_);
    }
}

// ---- Keys ----

bool RellumTextView::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Control and Alt chords, Tab and Shift+Tab are the terminal's before
        // they are anybody's shortcuts.
        auto* key = static_cast<QKeyEvent*>(event);
        if (RellumTerminalClaimsKeyEvent(*key)) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress:
        // Straight to the key handling: Tab never moves the focus away.
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    default:
        break;
    }
    return QWidget::event(event);
}

bool RellumTextView::focusNextPrevChild(bool) {
    return false;
}

void RellumTextView::keyPressEvent(QKeyEvent* event) {
    if (!terminal_) {
        event->ignore();
        return;
    }
    if (const std::optional<uint64_t> flags = keyAdapter_.flagsChangedFlags(*event))
        keyPressHelper_.flagsChanged(*flags, terminal_->useLeftOptionAsMeta(),
                                     terminal_->useRightOptionAsMeta());

    // The view's own commands, on the chords that stand for Command ones.
    const Qt::KeyboardModifiers chord =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (chord == (Qt::ControlModifier | Qt::ShiftModifier)) {
        switch (event->key()) {
        case Qt::Key_C:
            copy();
            event->accept();
            return;
        case Qt::Key_V:
            paste();
            event->accept();
            return;
        case Qt::Key_F:
            showFindInterface();
            event->accept();
            return;
        default:
            break;
        }
    }

    const RellumQtKeyInput input = keyAdapter_.input(*event);
    const RellumKeyDownOutcome outcome = RellumKeyDownOutcomeForInput(input, keyPressHelper_, modes_);
    using Kind = RellumKeyDownOutcome::Kind;
    switch (outcome.kind) {
    case Kind::Send:
        deselectAll();
        sendString(outcome.bytes);
        event->accept();
        return;
    case Kind::Ignored:
        event->accept();
        return;
    case Kind::Scroll:
    case Kind::Selection:
        if (outcome.command) performKeyBindingCommand(*outcome.command, outcome.kind);
        event->accept();
        return;
    case Kind::Unhandled:
        break;
    }
    event->ignore();
}

void RellumTextView::keyReleaseEvent(QKeyEvent* event) {
    if (terminal_) {
        if (const std::optional<uint64_t> flags = keyAdapter_.flagsChangedFlags(*event))
            keyPressHelper_.flagsChanged(*flags, terminal_->useLeftOptionAsMeta(),
                                         terminal_->useRightOptionAsMeta());
        else
            keyAdapter_.input(*event);
    }
    event->accept();
}

void RellumTextView::performKeyBindingCommand(RellumKeyBindingCommand command,
                                              RellumKeyDownOutcome::Kind kind) {
    using C = RellumKeyBindingCommand;
    if (command == C::pageUpAndModifySelection || command == C::pageDownAndModifySelection) {
        pageAndModifySelection(command == C::pageUpAndModifySelection);
        return;
    }
    if (kind == RellumKeyDownOutcome::Kind::Selection) {
        extendSelection(command);
        return;
    }
    switch (command) {
    case C::scrollLineUp:
        scrollLineUp();
        break;
    case C::scrollLineDown:
        scrollLineDown();
        break;
    case C::scrollPageUp:
        scrollPageUp();
        break;
    case C::scrollPageDown:
        scrollPageDown();
        break;
    case C::moveToBeginningOfDocument:
    case C::scrollToBeginningOfDocument:
        scrollToBeginningOfDocument();
        break;
    case C::moveToEndOfDocument:
    case C::scrollToEndOfDocument:
        scrollToBottom();
        break;
    default:
        break;
    }
}

void RellumTextView::extendSelection(RellumKeyBindingCommand command) {
    if (!storage_ || !lines_) return;
    using C = RellumKeyBindingCommand;
    const uint64_t length = storage_->length();
    if (selectedRange().length == 0) selectionAnchor_ = selectionEnd_ = std::min(cursorLocation_, length);
    uint64_t end = selectionEnd_;
    const uint64_t line = lines_->lineOfOffset(end);
    const RellumRange lineRange = lines_->lineRange(line);
    switch (command) {
    case C::moveBackwardAndModifySelection:
    case C::moveLeftAndModifySelection:
        if (end > 0) --end;
        break;
    case C::moveForwardAndModifySelection:
    case C::moveRightAndModifySelection:
        if (end < length) ++end;
        break;
    case C::moveUpAndModifySelection:
        if (line > 0) {
            const RellumRange above = lines_->lineRange(line - 1);
            end = above.location + std::min(end - lineRange.location, above.length);
        }
        break;
    case C::moveDownAndModifySelection:
        if (line + 1 < lines_->lineCount()) {
            const RellumRange below = lines_->lineRange(line + 1);
            end = below.location + std::min(end - lineRange.location, below.length);
        }
        break;
    case C::moveWordBackwardAndModifySelection:
    case C::moveWordLeftAndModifySelection:
        while (end > lineRange.location && !isWordCharacter(storage_->substring({end - 1, 1})[0]))
            --end;
        end = end > 0 ? wordStart(end - 1) : 0;
        break;
    case C::moveWordForwardAndModifySelection:
    case C::moveWordRightAndModifySelection:
        end = wordEnd(end);
        break;
    case C::moveToBeginningOfLineAndModifySelection:
    case C::moveToLeftEndOfLineAndModifySelection:
    case C::moveToBeginningOfParagraphAndModifySelection:
    case C::moveParagraphBackwardAndModifySelection:
        end = lineRange.location;
        break;
    case C::moveToEndOfLineAndModifySelection:
    case C::moveToRightEndOfLineAndModifySelection:
    case C::moveToEndOfParagraphAndModifySelection:
    case C::moveParagraphForwardAndModifySelection:
        end = lineRange.end();
        break;
    case C::moveToBeginningOfDocumentAndModifySelection:
        end = 0;
        break;
    case C::moveToEndOfDocumentAndModifySelection:
        end = length;
        break;
    default:
        break;
    }
    selectionEnd_ = std::min(end, length);
    scrollRangeToVisible({selectionEnd_, 0});
    copySelectionToPrimary();
    update();
}

// ---- Input method ----

void RellumTextView::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) {
        deselectAll();
        // What is shown comes back from the host's echo.
        sendString(event->commitString().toStdString());
    }
    preedit_ = event->preeditString();
    update();
    event->accept();
}

QVariant RellumTextView::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cursorDrawRect().toAlignedRect();
    case Qt::ImFont:
        return fallbackFont_;
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection:
        return QString();
    case Qt::ImHints:
        return int(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    default:
        return QWidget::inputMethodQuery(query);
    }
}

// ---- Focus ----

void RellumTextView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (event->reason() == Qt::PopupFocusReason) return; // back from a menu of our own
    hasGainUserFocus_ = true;
    update();
    tryToReportFocusInOut();
}

void RellumTextView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason) return; // a menu of our own
    hasGainUserFocus_ = false;
    update();
    tryToReportFocusInOut();
}

void RellumTextView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        // The window became or stopped being the active one.
        update();
        tryToReportFocusInOut();
    }
}

// ---- Mouse ----

RellumQtPageGeometry RellumTextView::pageGeometry() const {
    RellumQtPageGeometry geometry;
    geometry.cellSize = {charWidth_, lineHeight_};
    int64_t rows = context_ ? context_->pageSize().height : 0;
    if (rows <= 0 && terminal_) rows = terminal_->pageSize().height;
    rows = std::max<int64_t>(rows, 0);
    geometry.rows = rows;
    // The page fills the last rows of the document; measured in this view,
    // whose top shows line topLine_ of the document.
    const int64_t lines = std::max<int64_t>(int64_t(documentLineCount()), rows);
    geometry.viewHeight = double(lines - int64_t(topLine_)) * lineHeight_;
    return geometry;
}

RellumMouseCoord RellumTextView::mouseCoordOfPoint(QPointF point) const {
    return RellumMouseCoordFromPoint(point, pageGeometry());
}

uint64_t RellumTextView::offsetOfPoint(QPointF point) const {
    if (!storage_ || !lines_ || !(lineHeight_ > 0) || !(charWidth_ > 0)) return 0;
    const int64_t row = int64_t(std::floor(point.y() / lineHeight_));
    if (int64_t(topLine_) + row < 0) return 0;
    const uint64_t line = uint64_t(int64_t(topLine_) + row);
    if (line >= lines_->lineCount()) return storage_->length();
    std::u16string text;
    std::vector<Piece> pieces;
    const_cast<RellumTextView*>(this)->layoutLine(line, text, pieces);
    const uint64_t start = lines_->lineRange(line).location;
    const double column = point.x() / charWidth_;
    for (const Piece& p : pieces) {
        if (p.ascii) {
            if (column < p.column + p.columns) {
                const double within = column - p.column;
                return start + p.from + uint64_t(std::max(0.0, std::floor(within + 0.5)));
            }
            continue;
        }
        if (column < p.column + p.columns / 2.0) return start + p.from;
        if (column < p.column + p.columns) return start + p.from + p.length;
    }
    return start + text.size();
}

void RellumTextView::mousePressEvent(QMouseEvent* event) {
    if (!terminal_) return;
    setFocus(Qt::MouseFocusReason);
    const RellumQtMouseInput input = RellumMouseInputFromEvent(*event, pageGeometry());
    const std::string bytes = RellumMouseReport(mouseHelper_, input);
    if (!bytes.empty()) {
        send(bytes);
        fixupSystemCursor();
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        if (RellumMouseHelper::shouldMoveCursor(input.modifierFlags, modes_.mouseReportType)) {
            moveCursorOnRelease_ = true;
        } else {
            selecting_ = true;
            const uint64_t at = offsetOfPoint(event->position());
            if (event->modifiers() & Qt::ShiftModifier)
                selectionEnd_ = at;
            else
                selectionAnchor_ = selectionEnd_ = at;
            update();
        }
    } else if (event->button() == Qt::MiddleButton) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard && clipboard->supportsSelection())
            pasteString(clipboard->text(QClipboard::Selection).toStdString());
        else
            pasteSelection();
    }
    event->accept();
}

void RellumTextView::mouseReleaseEvent(QMouseEvent* event) {
    if (!terminal_) return;
    const RellumQtMouseInput input = RellumMouseInputFromEvent(*event, pageGeometry());
    const std::string bytes = RellumMouseReport(mouseHelper_, input);
    const bool moveCursor = std::exchange(moveCursorOnRelease_, false);
    if (!bytes.empty()) {
        send(bytes);
        fixupSystemCursor();
    } else if (event->button() == Qt::LeftButton) {
        if (moveCursor && RellumMouseHelper::shouldMoveCursor(input.modifierFlags, modes_.mouseReportType)) {
            send(mouseHelper_.sequenceForMovingCursorFrom({cursorCoord_.x, cursorCoord_.y}, input.coord));
        } else if (selecting_) {
            selecting_ = false;
            copySelectionToPrimary();
        }
    }
    event->accept();
}

void RellumTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!terminal_) return;
    const RellumQtMouseInput input = RellumMouseInputFromEvent(*event, pageGeometry());
    const std::string bytes = RellumMouseReport(mouseHelper_, input);
    if (!bytes.empty()) {
        send(bytes);
    } else if (selecting_ && (event->buttons() & Qt::LeftButton)) {
        const QPointF point = event->position();
        if (point.y() < 0)
            scrollLineUp();
        else if (point.y() >= height())
            scrollLineDown();
        selectionEnd_ = offsetOfPoint(point);
        update();
    }
    fixupSystemCursor();
    event->accept();
}

void RellumTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!terminal_) return;
    const RellumQtMouseInput input = RellumMouseInputFromEvent(*event, pageGeometry());
    const std::string bytes = RellumMouseReport(mouseHelper_, input);
    if (!bytes.empty()) {
        send(bytes);
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && storage_) {
        const uint64_t at = offsetOfPoint(event->position() - QPointF(charWidth_ / 2, 0));
        selectionAnchor_ = wordStart(at);
        selectionEnd_ = wordEnd(at);
        selecting_ = false;
        copySelectionToPrimary();
        update();
    }
    event->accept();
}

void RellumTextView::wheelEvent(QWheelEvent* event) {
    if (!terminal_) return;
    const RellumQtWheelInput input = RellumWheelInputFromEvent(*event, pageGeometry());
    const double steps = wheelSteps_.add(input.deltaY);
    event->accept();
    if (steps == 0) return;
    const int count = int(std::min(100.0, std::abs(steps)));
    if (mouseHelper_.shouldReportMouseClick()) {
        // One report per notch.
        std::string bytes;
        for (int i = 0; i < count; ++i)
            bytes += mouseHelper_.sequenceForScrollWheelWithDeltaY(steps > 0 ? 1 : -1, input.modifierFlags,
                                                                   input.coord);
        send(bytes);
        return;
    }
    if (modes_.alternateScreenMode) {
        const std::optional<std::string> keys =
            keyPressHelper_.sequenceScrollWheelWithDeltaY(steps, input.modifierFlags);
        if (keys && !keys->empty()) {
            send(*keys);
            return;
        }
    }
    scrollToLine(int64_t(topLine_) - int64_t(steps > 0 ? 3 : -3) * count);
}

void RellumTextView::contextMenuEvent(QContextMenuEvent* event) {
    // The host takes the right button while it asks for mouse reports.
    if (mouseHelper_.shouldReportMouseClick() && event->reason() == QContextMenuEvent::Mouse) {
        event->accept();
        return;
    }
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QStringLiteral("Copy"), this, &RellumTextView::copy);
    copyAction->setEnabled(selectedRange().length > 0);
    menu.addAction(QStringLiteral("Paste"), this, &RellumTextView::paste);
    menu.addSeparator();
    menu.exec(event->globalPos());
    event->accept();
}
