#include "Rellum/View/RellumTokenField.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <variant>

namespace {

// Character-format properties that mark a token and hold its byte.
constexpr int kTokenProperty = QTextFormat::UserProperty + 1;
constexpr int kTokenEscapedProperty = QTextFormat::UserProperty + 2;

QTextCharFormat plainFormat() {
    return QTextCharFormat();
}

QTextCharFormat tokenFormat(const RellumEscapeToken& token, RellumTokenStyle style) {
    QTextCharFormat format;
    format.setProperty(kTokenProperty, true);
    format.setProperty(kTokenEscapedProperty, QByteArray::fromStdString(token.escaped()));
    if (style == RellumTokenStyle::Squared) {
        format.setBackground(RellumTokenBackgroundColor());
        format.setForeground(RellumTokenTextColor());
    }
    return format;
}

void appendText(std::vector<RellumEscapeToken::Element>& out, const std::string& text) {
    if (text.empty()) return;
    if (!out.empty())
        if (auto* last = std::get_if<std::string>(&out.back())) {
            *last += text;
            return;
        }
    out.emplace_back(text);
}

} // namespace

QColor RellumTokenBackgroundColor() {
    return QColor(0xD8, 0xE2, 0xF0);
}

QColor RellumTokenTextColor() {
    return QColor(0x20, 0x30, 0x50);
}

RellumTokenField::RellumTokenField(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QTextEdit::cursorPositionChanged, this, &RellumTokenField::typeWithoutTokenFormat);
}

void RellumTokenField::typeWithoutTokenFormat() {
    // Text typed beside a token would otherwise take on the token's format.
    if (currentCharFormat().hasProperty(kTokenProperty)) setCurrentCharFormat(plainFormat());
}

std::vector<RellumEscapeToken::Element> RellumTokenField::objectValue() const {
    std::vector<RellumEscapeToken::Element> out;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            const std::string text = fragment.text().toStdString();
            const QTextCharFormat format = fragment.charFormat();
            if (format.hasProperty(kTokenProperty)) {
                // Adjacent tokens of one format merge into one fragment: split
                // it back into the tokens its text reads as.
                const auto parts = RellumEscapeToken::tokensFromString(text);
                const bool allTokens = std::all_of(parts.begin(), parts.end(), [](const auto& e) {
                    return std::holds_alternative<RellumEscapeToken>(e);
                });
                if (allTokens && !parts.empty()) {
                    out.insert(out.end(), parts.begin(), parts.end());
                    continue;
                }
            }
            appendText(out, text);
        }
    }
    return out;
}

void RellumTokenField::setObjectValue(const std::vector<RellumEscapeToken::Element>& value) {
    clear();
    QTextCursor cursor(document());
    for (const auto& element : value) {
        const RellumTokenStyle style = delegate_ ? delegate_->styleForRepresentedObject(element)
                                       : std::holds_alternative<RellumEscapeToken>(element)
                                           ? RellumTokenStyle::Squared
                                           : RellumTokenStyle::PlainText;
        const std::string shown = delegate_ ? delegate_->displayStringForRepresentedObject(element)
                                  : std::holds_alternative<RellumEscapeToken>(element)
                                      ? std::get<RellumEscapeToken>(element).string()
                                      : std::get<std::string>(element);
        const QString text = QString::fromStdString(shown);
        if (const auto* token = std::get_if<RellumEscapeToken>(&element);
            token && style == RellumTokenStyle::Squared)
            cursor.insertText(text, tokenFormat(*token, style));
        else
            cursor.insertText(text, plainFormat());
    }
    moveCursor(QTextCursor::End);
    setCurrentCharFormat(plainFormat());
}

std::string RellumTokenField::stringValue() const {
    return toPlainText().toStdString();
}

QSize RellumTokenField::sizeHint() const {
    const int height =
        fontMetrics().height() + 2 * (frameWidth() + static_cast<int>(document()->documentMargin()));
    return {QTextEdit::sizeHint().width(), height};
}

QSize RellumTokenField::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 8, sizeHint().height()};
}

void RellumTokenField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // One line only: Return is a command, never a line break.
        if (delegate_ && delegate_->doCommandBySelector(this, "insertNewline:"))
            event->accept();
        else
            event->ignore();
        return;
    }
    typeWithoutTokenFormat();
    QTextEdit::keyPressEvent(event);
}

void RellumTokenField::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    QString text = source->text();
    // Line breaks are typed as escapes in a send text; pasted ones would end it.
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    QTextCursor cursor = textCursor();
    cursor.insertText(text, plainFormat());
    setTextCursor(cursor);
}
