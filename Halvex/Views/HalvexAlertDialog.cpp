#include "Halvex/Views/HalvexAlertDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel* plainLabel(const std::string& text, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    // Host names and key texts must never become markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(QString::fromStdString(text));
    return label;
}

QStyle::StandardPixmap iconFor(HalvexAlert::Style style) {
    switch (style) {
    case HalvexAlert::Style::informational:
        return QStyle::SP_MessageBoxInformation;
    case HalvexAlert::Style::warning:
        return QStyle::SP_MessageBoxWarning;
    case HalvexAlert::Style::critical:
        return QStyle::SP_MessageBoxCritical;
    }
    return QStyle::SP_MessageBoxWarning;
}

} // namespace

HalvexAlertDialog::HalvexAlertDialog(const HalvexAlert& alert, QWidget* parent)
    : QDialog(parent), style_(alert.style) {
    setWindowTitle(QString::fromStdString(alert.messageText));
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

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
        auto* b = new QPushButton(QString::fromStdString(alert.buttons[i]), this);
        b->setObjectName(QStringLiteral("button%1").arg(i));
        b->setAutoDefault(false);
        const long code = HalvexAlertPresenter::FirstButton + static_cast<long>(i);
        connect(b, &QPushButton::clicked, this, [this, code] { done(static_cast<int>(code)); });
        buttons_.push_back(b);
    }
    // The first button stands rightmost, where the default button is.
    for (auto it = buttons_.rbegin(); it != buttons_.rend(); ++it)
        row->addWidget(*it);
    if (!buttons_.empty()) {
        buttons_.front()->setDefault(true);
        buttons_.front()->setFocus();
    }

    auto* column = new QVBoxLayout;
    column->addWidget(message);
    column->addWidget(informative);
    column->addSpacing(8);
    column->addLayout(row);

    auto* top = new QHBoxLayout(this);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(column, 1);
    setMinimumWidth(420);
}

void HalvexAlertDialog::reject() {
    done(static_cast<int>(HalvexAlertPresenter::FirstButton));
}

long HalvexAlertDialog::runModal() {
    const int result = exec();
    return result >= HalvexAlertPresenter::FirstButton ? result : HalvexAlertPresenter::FirstButton;
}
