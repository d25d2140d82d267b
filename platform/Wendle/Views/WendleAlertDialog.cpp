#include "Wendle/Views/WendleAlertDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel* plainLabel(const QString& text, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    // Host names and key texts must never become markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(text);
    return label;
}

QStyle::StandardPixmap iconFor(WendleAlert::Style style) {
    switch (style) {
    case WendleAlert::Style::informational:
        return QStyle::SP_MessageBoxInformation;
    case WendleAlert::Style::warning:
        return QStyle::SP_MessageBoxWarning;
    case WendleAlert::Style::critical:
        return QStyle::SP_MessageBoxCritical;
    }
    return QStyle::SP_MessageBoxWarning;
}

} // namespace

WendleAlertDialog::WendleAlertDialog(const WendleAlert& alert, QWidget* parent)
    : QDialog(parent), style_(alert.style), cancelCode_(alert.cancelCode()), accessory_(alert.accessoryView) {
    setWindowTitle(alert.messageText);
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iconView"));
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(iconFor(alert.style), nullptr, this).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* message = plainLabel(alert.messageText, "messageText", this);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* informative = plainLabel(alert.informativeText, "informativeText", this);

    auto* column = new QVBoxLayout;
    column->addWidget(message);
    column->addWidget(informative);
    if (accessory_) {
        accessory_->setObjectName(QStringLiteral("accessoryView"));
        column->addWidget(accessory_, 0, Qt::AlignLeft);
        accessory_->show();
    }
    if (!alert.suppressionButtonTitle.isEmpty()) {
        suppressionButton_ = new QCheckBox(alert.suppressionButtonTitle, this);
        suppressionButton_->setObjectName(QStringLiteral("suppressionButton"));
        suppressionButton_->setChecked(alert.suppressionButtonChecked);
        column->addWidget(suppressionButton_);
    }

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    const QStringList titles = alert.buttonTitles();
    for (qsizetype i = 0; i < titles.size(); ++i) {
        auto* b = new QPushButton(titles[i], this);
        b->setObjectName(QStringLiteral("button%1").arg(i));
        b->setAutoDefault(false);
        const long code = WendleAlert::FirstButton + static_cast<long>(i);
        connect(b, &QPushButton::clicked, this, [this, code] { done(static_cast<int>(code)); });
        buttons_.push_back(b);
    }
    // The first button stands rightmost, where the default button is.
    for (auto it = buttons_.rbegin(); it != buttons_.rend(); ++it)
        row->addWidget(*it);
    buttons_.front()->setDefault(true);

    column->addSpacing(8);
    column->addLayout(row);

    auto* top = new QHBoxLayout(this);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(column, 1);
    setMinimumWidth(420);

    // The accessory takes the typing (a passphrase field); otherwise the
    // default button has the focus.
    if (accessory_) {
        QWidget* focus = accessory_;
        if (!(focus->focusPolicy() & Qt::TabFocus)) {
            for (auto* child : accessory_->findChildren<QWidget*>()) {
                if (child->focusPolicy() & Qt::TabFocus) {
                    focus = child;
                    break;
                }
            }
        }
        focus->setFocus();
    } else {
        buttons_.front()->setFocus();
    }
}

WendleAlertDialog::~WendleAlertDialog() {
    if (accessory_ && accessory_->parent() == this) {
        accessory_->hide();
        accessory_->setParent(nullptr);
    }
}

void WendleAlertDialog::reject() {
    done(static_cast<int>(cancelCode_));
}

long WendleAlertDialog::runModal() {
    const int result = exec();
    return result >= WendleAlert::FirstButton ? result : cancelCode_;
}

long WendleDialogAlertRunner::runModal(WendleAlert& alert, QWidget* window) {
    // Widgets need a QApplication on its own thread.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return alert.cancelCode();
    QPointer<WendleAlertDialog> dialog = new WendleAlertDialog(alert, window);
    const long answer = dialog->runModal();
    // Gone with its window while it ran: nothing was chosen.
    if (!dialog) return alert.cancelCode();
    if (dialog->suppressionButton())
        alert.suppressionButtonChecked = dialog->suppressionButton()->isChecked();
    delete dialog.data();
    return answer;
}
