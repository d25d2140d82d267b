#include "app/OrvikLogViewController.h"

#include "Halvex/HalvexSessionController.h"
#include "Wendle/Views/WendleQtObservers.h"
#include "Wendle/Views/WendleWidgets.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

QTextCharFormat formatFor(const VyMMLogLine& line, const QPalette& palette) {
    QTextCharFormat format;
    if (line.color)
        format.setForeground(QColor(line.color->red, line.color->green, line.color->blue));
    else
        format.setForeground(palette.color(QPalette::Text));
    return format;
}

} // namespace

OrvikLogViewController::OrvikLogViewController(std::shared_ptr<HalvexSessionController> sessionController,
                                               QWidget* parent)
    : QWidget(parent), sessionController_(std::move(sessionController)) {
    setObjectName(QStringLiteral("logView"));
    logTextView_ = new QPlainTextEdit(this);
    logTextView_->setObjectName(QStringLiteral("logTextView"));
    logTextView_->setReadOnly(true);
    logTextView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    logTextView_->document()->setDocumentMargin(5.0);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    logTextView_->setFont(fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(logTextView_);

    const bool atBottom = wendle_isAtBottom(logTextView_);
    // Registered before the log so far is read, so that no line written in
    // between is missed; lines already shown are skipped.
    const std::string logId = sessionController_ ? sessionController_->logId() : std::string();
    observeNotification(this, VyMMLoggerNewLogNotifacation, [this, logId](const Notification& notification) {
        if (!notification.userInfo.is_object() ||
            notification.userInfo.value(VyMMLoggerLogIdKey, "") != logId)
            return;
        if (const auto* line = std::any_cast<VyMMLogLine>(&notification.object)) newLogRised(*line);
    });
    if (sessionController_)
        for (const auto& line : sessionController_->logsAttributedString())
            append(line);
    if (atBottom) wendle_scrollToBottom(logTextView_);
}

void OrvikLogViewController::newLogRised(const VyMMLogLine& line) {
    if (line.index < nextIndex_) return;
    early_.emplace(line.index, line);
    const bool atBottom = wendle_isAtBottom(logTextView_);
    bool appended = false;
    for (auto it = early_.begin(); it != early_.end() && it->first == nextIndex_; it = early_.erase(it)) {
        append(it->second);
        appended = true;
    }
    if (appended && atBottom) wendle_scrollToBottom(logTextView_);
}

void OrvikLogViewController::append(const VyMMLogLine& line) {
    // Keeps the reader's place: the scroll bar is restored after the insertion.
    QScrollBar* bar = logTextView_->verticalScrollBar();
    const int position = bar->value();
    QTextCursor cursor(logTextView_->document());
    cursor.movePosition(QTextCursor::End);
    const QTextCharFormat format = formatFor(line, logTextView_->palette());
    cursor.beginEditBlock();
    if (nextIndex_ > 0) cursor.insertBlock(QTextBlockFormat(), format);
    cursor.insertText(QString::fromStdString(line.string()), format);
    cursor.endEditBlock();
    bar->setValue(position);
    nextIndex_ = line.index + 1;
}
