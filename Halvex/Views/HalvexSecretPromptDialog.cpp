#include "Halvex/Views/HalvexSecretPromptDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel* plainLabel(const std::string& text, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    // Host and server texts must never become markup (links, images).
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(QString::fromStdString(text));
    return label;
}

} // namespace

HalvexSecretPromptDialog::HalvexSecretPromptDialog(const HalvexSecretPromptRequest& request, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromStdString(request.messageText));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iconView"));
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* message = plainLabel(request.messageText, "messageText", this);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* informative = plainLabel(request.informativeText, "informativeText", this);

    auto* accessory = new QWidget(this);
    accessory->setObjectName(QStringLiteral("accessoryView"));
    auto* fieldsLayout = new QVBoxLayout(accessory);
    fieldsLayout->setContentsMargins(0, 0, 0, 0);
    fieldsLayout->setSpacing(fieldSpacing);
    for (std::size_t i = 0; i < request.fields.size(); ++i) {
        const auto& spec = request.fields[i];
        auto* field = new QLineEdit(accessory);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        field->setPlaceholderText(QString::fromStdString(spec.placeholder));
        if (!spec.toolTip.empty()) field->setToolTip(QString::fromStdString(spec.toolTip));
        field->setEchoMode(spec.echo ? QLineEdit::Normal : QLineEdit::Password);
        field->setFixedWidth(fieldWidth);
        fieldsLayout->addWidget(field);
        fields_.push_back(field);
    }
    accessory->setVisible(!fields_.empty());

    rememberBox_ = new QCheckBox(QString::fromStdString(request.rememberTitle), this);
    rememberBox_->setObjectName(QStringLiteral("rememberBox"));
    rememberBox_->setChecked(false);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout;
    column->addWidget(message);
    column->addWidget(informative);
    column->addWidget(accessory, 0, Qt::AlignLeft);
    column->addWidget(rememberBox_);
    column->addSpacing(fieldSpacing);
    column->addWidget(buttons);

    auto* top = new QHBoxLayout(this);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(column, 1);
    top->setSizeConstraint(QLayout::SetFixedSize);

    // The first field takes the typing; with no fields, OK does.
    if (!fields_.empty())
        fields_.front()->setFocus();
    else
        ok->setFocus();
}

std::vector<std::string> HalvexSecretPromptDialog::answers() const {
    std::vector<std::string> out;
    out.reserve(fields_.size());
    for (const auto* field : fields_)
        out.push_back(field->text().toStdString());
    return out;
}

bool HalvexSecretPromptDialog::remember() const {
    return rememberBox_->isChecked();
}
