#include "app/StandInSettingsPanelController.h"

#include "app/OrvikController.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

StandInSettingsPanelController::StandInSettingsPanelController(const OrvikController& controller,
                                                               QWidget* parent)
    : QDialog(parent), edited_(std::dynamic_pointer_cast<OrvikController>(controller.duplicate())) {
    setWindowTitle(tr("Server"));
    auto* form = new QFormLayout;
    auto field = [&](const char* objectName, const QString& text) {
        auto* edit = new QLineEdit(text, this);
        edit->setObjectName(QString::fromLatin1(objectName));
        connect(edit, &QLineEdit::textChanged, this, &StandInSettingsPanelController::validate);
        return edit;
    };
    name_ = field("nameField", QString::fromStdString(edited_->name().value_or("")));
    host_ = field("hostField", QString::fromStdString(edited_->ssh_host.value_or("")));
    user_ = field("userField", QString::fromStdString(edited_->ssh_user.value_or("")));
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("portField"));
    port_->setRange(1, 65535);
    port_->setValue(static_cast<int>(edited_->ssh_port.value_or(22)));
    form->addRow(tr("Name:"), name_);
    form->addRow(tr("Host:"), host_);
    form->addRow(tr("Port:"), port_);
    form->addRow(tr("User:"), user_);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setDefault(true);
    auto* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    host_->setFocus();
    validate();
}

void StandInSettingsPanelController::setOkButtonTitle(const QString& title) {
    ok_->setText(title);
}

void StandInSettingsPanelController::validate() {
    ok_->setEnabled(!host_->text().trimmed().isEmpty());
}

void StandInSettingsPanelController::beginSheet(QWidget* window, std::function<void(int)> completion) {
    completion_ = std::move(completion);
    if (window) {
        setParent(window, windowFlags() | Qt::Sheet | Qt::Dialog);
        setWindowModality(Qt::WindowModal);
    }
    show();
}

void StandInSettingsPanelController::accept() {
    if (!ok_->isEnabled()) return;
    const std::string name = name_->text().trimmed().toStdString();
    // No name: the server is called after its user, host and port.
    edited_->setName(name.empty() ? std::nullopt : std::optional<std::string>(name));
    edited_->setSsh_host(host_->text().trimmed().toStdString());
    edited_->setSsh_port(port_->value());
    const std::string user = user_->text().trimmed().toStdString();
    edited_->ssh_user = user.empty() ? std::nullopt : std::optional<std::string>(user);
    QDialog::accept();
    end(OK);
}

void StandInSettingsPanelController::reject() {
    QDialog::reject();
    end(Cancel);
}

void StandInSettingsPanelController::end(int code) {
    if (auto completion = std::exchange(completion_, nullptr)) completion(code);
}
