#include "Halvex/Views/VySSHSettingsPanelController.h"

#include "Halvex/HalvexSessionController.h"
#include "Wendle/Views/DisclosureOptionViewController.h"
#include "Wendle/Views/WendlePopover.h"
#include "Wendle/Views/WendleQtObservers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QFormLayout* formIn(QWidget* view) {
    auto* form = new QFormLayout(view);
    form->setContentsMargins(8, 0, 8, 8);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return form;
}

constexpr const char* kPrivateKeyDeletedNotification =
    "com.brimble.halvex.extras.privatekey.deleted.notification";

using Profile = std::shared_ptr<HalvexSessionController>;

// Two-way-enough bindings: each control starts from the profile's value and
// writes every user edit back through the profile's setter.
QLineEdit* textField(const Profile& profile, const std::string& key, QWidget* parent, bool secure = false) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromStdString(key + "TextField"));
    if (secure) field->setEchoMode(QLineEdit::Password);
    nlohmann::json value = profile->valueForKey(key);
    if (value.is_string()) field->setText(QString::fromStdString(value.get<std::string>()));
    QObject::connect(field, &QLineEdit::textEdited, field, [profile, key](const QString& text) {
        profile->setValueForKey(key, text.isEmpty() ? nlohmann::json() : nlohmann::json(text.toStdString()));
    });
    return field;
}

QCheckBox* checkBox(const Profile& profile, const std::string& key, const QString& title, QWidget* parent) {
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(QString::fromStdString(key + "CheckBox"));
    nlohmann::json value = profile->valueForKey(key);
    box->setChecked(value.is_boolean() ? value.get<bool>() : (value.is_number() && value.get<double>() != 0));
    QObject::connect(box, &QCheckBox::toggled, box,
                     [profile, key](bool checked) { profile->setValueForKey(key, checked); });
    return box;
}

QSpinBox* numberField(const Profile& profile, const std::string& key, int minimum, int maximum,
                      QWidget* parent) {
    auto* field = new QSpinBox(parent);
    field->setObjectName(QString::fromStdString(key + "Field"));
    field->setRange(minimum, maximum);
    nlohmann::json value = profile->valueForKey(key);
    if (value.is_number())
        field->setValue(static_cast<int>(std::clamp<double>(value.get<double>(), minimum, maximum)));
    QObject::connect(field, &QSpinBox::valueChanged, field,
                     [profile, key](int number) { profile->setValueForKey(key, number); });
    return field;
}

// Items are (title, stored value); the stored value is a number or a string.
QComboBox* popUp(const Profile& profile, const std::string& key,
                 const std::vector<std::pair<QString, nlohmann::json>>& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromStdString(key + "PopUp"));
    auto values = std::make_shared<std::vector<nlohmann::json>>();
    for (const auto& [title, value] : items) {
        box->addItem(title);
        values->push_back(value);
    }
    const nlohmann::json current = profile->valueForKey(key);
    for (std::size_t i = 0; i < values->size(); ++i)
        if ((*values)[i] == current) box->setCurrentIndex(static_cast<int>(i));
    QObject::connect(box, &QComboBox::activated, box, [profile, key, values](int index) {
        if (index >= 0 && index < static_cast<int>(values->size()))
            profile->setValueForKey(key, (*values)[index]);
    });
    return box;
}

} // namespace

std::shared_ptr<HalvexSessionController>
VySSHDuplicateSessionController(const HalvexSessionController& profile) {
    auto copy = profile.duplicate();
    if (auto controller = std::dynamic_pointer_cast<HalvexSessionController>(copy)) return controller;
    auto controller = std::make_shared<HalvexSessionController>();
    controller->mergeValuesForKeysFromModel(*copy);
    return controller;
}

VySSHSettingsPanelController::VySSHSettingsPanelController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VySSHSettingsPanelController"));
}

VySSHSettingsPanelController::VySSHSettingsPanelController(InAddMode, QWidget* parent)
    : VySSHSettingsPanelController(parent) {
    sessionController_ = std::make_shared<HalvexSessionController>();
}

VySSHSettingsPanelController::VySSHSettingsPanelController(InEditMode, const Profile& profile,
                                                           QWidget* parent)
    : VySSHSettingsPanelController(parent) {
    inEditMode_ = true;
    sessionController_ = VySSHDuplicateSessionController(*profile);
}

VySSHSettingsPanelController::VySSHSettingsPanelController(InDuplicateMode, const Profile& profile,
                                                           QWidget* parent)
    : VySSHSettingsPanelController(parent) {
    sessionController_ = VySSHDuplicateSessionController(*profile);
}

VySSHSettingsPanelController::~VySSHSettingsPanelController() {
    delete privateKeyDeletedObserver_.data();
}

void VySSHSettingsPanelController::loadWindow() {
    if (loaded_) return;
    loaded_ = true;
    if (!sessionController_) sessionController_ = std::make_shared<HalvexSessionController>();
    buildWindow();
    windowDidLoad();
}

void VySSHSettingsPanelController::buildWindow() {
    setWindowTitle(tr("Server"));
    setSizeGripEnabled(false);

    basicStackView_ = new QWidget(this);
    basicStackView_->setObjectName(QStringLiteral("basicStackView"));
    connectionStackView_ = new QWidget(this);
    connectionStackView_->setObjectName(QStringLiteral("connectionStackView"));
    connectionStackLayout_ = new QVBoxLayout(connectionStackView_);
    connectionStackLayout_->setContentsMargins(0, 0, 0, 0);

    optionsView_ = buildOptionsView();
    proxyViewController_ = new DisclosureOptionViewController(tr("Proxy"), buildProxyView(), this);
    proxyViewController_->view()->setObjectName(QStringLiteral("proxyView"));

    helpPopover_ = new WendlePopover(this);
    helpPopover_->setObjectName(QStringLiteral("helpPopover"));

    okButton_ = new QPushButton(tr("OK"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, [this] { ok(); });
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel(); });

    connect(this, &QDialog::finished, this, [this](int code) {
        if (auto done = std::exchange(completion_, nullptr)) done(code);
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(okButton_);

    auto* column = new QVBoxLayout(this);
    column->addWidget(basicStackView_);
    column->addWidget(connectionStackView_);
    column->addStretch(1);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* VySSHSettingsPanelController::buildOptionsView() {
    const Profile& p = sessionController_;
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("optionsView"));
    auto* form = formIn(view);
    form->addRow(tr("Name:"), textField(p, "name", view));
    form->addRow(tr("Comment:"), textField(p, "comment", view));
    interfacePopUp_ = new QComboBox(view);
    interfacePopUp_->setObjectName(QStringLiteral("connect_interfacePopUp"));
    form->addRow(tr("Network interface:"), interfacePopUp_);
    form->addRow(
        tr("Address family:"),
        popUp(p, "address_familly", {{tr("IPv4"), 0}, {tr("IPv6"), 1}, {tr("IPv4 and IPv6"), 2}}, view));
    form->addRow(tr("Connection timeout (seconds):"), numberField(p, "connection_timeout", 1, 600, view));
    form->addRow(tr("Connection attempts:"), numberField(p, "connection_attempts", 1, 999, view));
    form->addRow(tr("Keep-alive count:"), numberField(p, "server_alive_count_max", 0, 100, view));
    form->addRow(tr("Ciphers:"), textField(p, "ciphers", view));
    form->addRow(tr("Host key algorithms:"), textField(p, "hostkey_algorithms", view));
    form->addRow(tr("Key exchange algorithms:"), textField(p, "key_exchange_algorithms", view));
    for (auto* field : view->findChildren<QLineEdit*>())
        if (field->objectName() != QLatin1String("nameTextField") &&
            field->objectName() != QLatin1String("commentTextField"))
            field->setPlaceholderText(tr("the library's defaults"));
    form->addRow(QString(), checkBox(p, "compression", tr("Compression"), view));
    form->addRow(QString(), checkBox(p, "strict_hostkey_checking", tr("Strict host key checking"), view));
    form->addRow(QString(), checkBox(p, "check_host_ip", tr("Check host IP address"), view));
    form->addRow(QString(), checkBox(p, "auto_connect", tr("Connect at launch"), view));
    return view;
}

QWidget* VySSHSettingsPanelController::buildProxyView() {
    const Profile& p = sessionController_;
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("proxyDisclosedView"));
    auto* form = formIn(view);
    form->addRow(QString(), checkBox(p, "proxy_command", tr("Connect through a proxy"), view));
    std::vector<std::pair<QString, nlohmann::json>> types;
    const auto names = p->proxyCommandTypes();
    for (std::size_t i = 0; i < names.size(); ++i)
        types.emplace_back(QString::fromStdString(names[i]), static_cast<std::int64_t>(i));
    form->addRow(tr("Type:"), popUp(p, "proxy_command_type", types, view));
    form->addRow(tr("Host:"), textField(p, "proxy_command_host", view));
    form->addRow(tr("Port:"), numberField(p, "proxy_command_port", 1, 65535, view));
    form->addRow(QString(),
                 checkBox(p, "proxy_command_auth", tr("The proxy asks for a user name and password"), view));
    form->addRow(tr("User:"), textField(p, "proxy_command_username", view));
    form->addRow(tr("Password:"), textField(p, "proxy_command_password", view, true));
    return view;
}

void VySSHSettingsPanelController::windowDidLoad() {
    interfaces_ = VyNetworkInterface::allAvailableInterfaces();
    interfacePopUp_->clear();
    interfacePopUp_->addItem(tr("Automatic"),
                             QString::fromLatin1(HalvexSessionModel::AutomaticNetworkInterface));
    for (const auto& interface : interfaces_)
        interfacePopUp_->addItem(QString::fromStdString(interface.BSDName()),
                                 QString::fromStdString(interface.BSDName()));
    const QString chosen = QString::fromStdString(sessionController_->connect_interface.value_or(""));
    if (int index = interfacePopUp_->findData(chosen); index >= 0) interfacePopUp_->setCurrentIndex(index);
    connect(interfacePopUp_, &QComboBox::activated, this, [this](int index) {
        sessionController_->setValueForKey("connect_interface",
                                           interfacePopUp_->itemData(index).toString().toStdString());
    });

    // Never show a key that no longer exists.
    if (sessionController_->private_key && !sessionController_->privateKey())
        sessionController_->setValueForKey("private_key", nullptr);

    std::weak_ptr<HalvexSessionController> weakProfile = sessionController_;
    privateKeyDeletedObserver_ = observeNotification(
        this, kPrivateKeyDeletedNotification, [weakProfile](const Notification& notification) {
            auto profile = weakProfile.lock();
            if (!profile || !notification.userInfo.is_object()) return;
            auto keyId = notification.userInfo.find("key_id");
            if (keyId == notification.userInfo.end() || !keyId->is_string() ||
                keyId->get<std::string>().empty())
                return;
            if (profile->private_key == keyId->get<std::string>())
                profile->setValueForKey("private_key", nullptr);
        });

    if (!inEditMode_) okButton_->setText(tr("Create"));

    connectionStackLayout_->setSpacing(0);
    connectionStackLayout_->addWidget(optionsView_, 0, Qt::AlignTop);
    connectionStackLayout_->addWidget(proxyViewController_->view(), 0, Qt::AlignTop);
}

void VySSHSettingsPanelController::beginSheet(QWidget* parent, std::function<void(int)> completion) {
    loadWindow();
    completion_ = std::move(completion);
    if (parent) setParent(parent->window(), windowFlags() | Qt::Dialog);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    open();
}

void VySSHSettingsPanelController::endSheet(int returnCode) {
    done(returnCode);
}

void VySSHSettingsPanelController::reject() {
    cancel();
}

void VySSHSettingsPanelController::showHelpPopover(QAbstractButton* sender) {
    if (!sender) return;
    helpPopover_->setContentWidget(
        new VyPopoverHelperViewController(sender->property("alternateTitle").toString()));
    helpPopover_->showRelativeToRect(QRect(), sender, WendlePopover::Edge::right);
}
