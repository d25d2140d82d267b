#include "Halvex/Views/VySSHServerViewController.h"

#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPreferences.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexSessionController.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleQtObservers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString joined(std::initializer_list<const char*> paragraphs) {
    QStringList list;
    for (const char* p : paragraphs)
        list << QString::fromUtf8(p);
    return list.join(QStringLiteral("\n\n"));
}

QString helpTextForMultiFactor() {
    return joined(
        {"• Multi-factor",
         "OpenSSH (6.2 or later) has proper built-in support for multi-factor authentication.",
         "Brimble SSH support arbitrary permutations of password, keyboard-interactive and public-key "
         "authentication method combination."});
}

std::optional<QString> helpTextForMethod(std::int64_t type) {
    switch (type) {
    case HalvexAuthMethodTypePassword:
        return joined(
            {"• Password", "Attempt to connect to SSH host with password authentication method.",
             "Passwords are remembered in keychain to guarantee the security, you can access them "
             "through the desktop's keyring manager.",
             "If you leave the password field blank, password stored in keychain will be deleted, and a "
             "dialog will be brought up automatically prompts you to enter a password."});
    case HalvexAuthMethodTypePublicKey:
        return joined(
            {"• Public-key", "Attempt to connect to SSH host with public-key authentication method.",
             "You can import private key (aka identity) by select “Import...” button, or manage private "
             "keys in “Preferences” window."});
    case HalvexAuthMethodTypeInteractive:
        return joined(
            {"• Interactive",
             "Attempt to connect to SSH host with keyboard-interactive authentication method.",
             "A dialog will be brought up automatically prompts you enter information requested by server.",
             "You can also choose to remember interactive information to keychain."});
    default:
        return std::nullopt;
    }
}

QString qs(const std::optional<std::string>& text) {
    return QString::fromStdString(text.value_or(""));
}

void setBackground(QLineEdit* field, const QColor& color) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, color);
    field->setPalette(palette);
}

QLabel* markLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0xC0, 0x20, 0x20));
    label->setPalette(palette);
    label->hide();
    return label;
}

std::shared_ptr<HalvexAuthMethodModel> sharedMethod(std::int64_t type) {
    switch (type) {
    case HalvexAuthMethodTypePublicKey:
        return HalvexAuthMethodModel::sharedPublickeyAutheMethod();
    case HalvexAuthMethodTypeInteractive:
        return HalvexAuthMethodModel::sharedInteractiveAutheMethod();
    default:
        return HalvexAuthMethodModel::sharedPasswordAutheMethod();
    }
}

constexpr int kMethodTypeRole = Qt::UserRole + 1;

// Changes the methods with a notice for "auth_methods", which the views of
// every editor on the profile observe.
void setMethods(HalvexSessionController& profile, HalvexSessionModel::AuthMethods methods) {
    profile.willChangeValueForKey("auth_methods");
    profile.setAuth_methods(std::move(methods));
    profile.didChangeValueForKey("auth_methods");
}

} // namespace

VySSHServerViewController::VySSHServerViewController(
    std::shared_ptr<HalvexSessionController> sessionController, QWidget* parent)
    : QWidget(parent), sessionController_(std::move(sessionController)) {
    setObjectName(QStringLiteral("VySSHServerViewController"));
    buildView();

    // Loading: the colours, then the observations, which set the views up at once.
    defaultColor_ = single_.passwordField->palette().color(QPalette::Base);
    observeKey(this, *sessionController_, "auth_methods",
               [this](const std::string&) { authMethodsDidChange(); });
    observeKey(this, *sessionController_, "private_key", [this](const std::string&) { reloadKeyPopUps(); });
    observeKey(this, privateKeyContainer(), "privateKeys", [this](const std::string&) { reloadKeyPopUps(); });
    authMethodsDidChange();
}

VySSHServerViewController::~VySSHServerViewController() = default;

HalvexPreferences& VySSHServerViewController::preferences() const {
    return HalvexPreferences::sharedPreferences();
}

HalvexPrivateKeyContainer& VySSHServerViewController::privateKeyContainer() const {
    return HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
}

void VySSHServerViewController::buildView() {
    auto& profile = *sessionController_;

    hostField_ = new QLineEdit(qs(profile.ssh_host), this);
    hostField_->setObjectName(QStringLiteral("sshHostTextField"));
    hostField_->setPlaceholderText(tr("host name or address"));
    portField_ = new QLineEdit(profile.ssh_port ? QString::number(*profile.ssh_port) : QString(), this);
    portField_->setObjectName(QStringLiteral("sshPortTextField"));
    portField_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), portField_));
    portField_->setMaximumWidth(80);
    userField_ = new QLineEdit(qs(profile.ssh_user), this);
    userField_->setObjectName(QStringLiteral("userNameTextField"));
    hostMark_ = markLabel("sshHostRequiredLabel", this);
    portMark_ = markLabel("sshPortRequiredLabel", this);
    loginMark_ = markLabel("sshLoginRequiredLabel", this);

    connect(hostField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        sessionController_->setSsh_host(text.isEmpty() ? std::nullopt : std::optional(text.toStdString()));
        controlTextDidChange(hostField_);
    });
    connect(portField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        bool ok = false;
        const int port = text.toInt(&ok);
        // Only a valid port reaches the profile; the mark says what is wrong.
        if (ok && port >= 1 && port <= 65535) sessionController_->setSsh_port(port);
        controlTextDidChange(portField_);
    });
    connect(userField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        sessionController_->setValueForKey("ssh_user", text.isEmpty() ? nlohmann::json()
                                                                      : nlohmann::json(text.toStdString()));
        controlTextDidChange(userField_);
    });

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Host:"), this), 0, 0, Qt::AlignRight);
    grid->addWidget(hostField_, 0, 1);
    grid->addWidget(new QLabel(tr("Port:"), this), 0, 2, Qt::AlignRight);
    grid->addWidget(portField_, 0, 3);
    auto* marks = new QHBoxLayout;
    marks->addWidget(hostMark_);
    marks->addStretch(1);
    marks->addWidget(portMark_);
    grid->addLayout(marks, 1, 1, 1, 3);
    grid->addWidget(new QLabel(tr("User:"), this), 2, 0, Qt::AlignRight);
    grid->addWidget(userField_, 2, 1, 1, 3);
    grid->addWidget(loginMark_, 3, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    authStackView_ = new QWidget(this);
    authStackView_->setObjectName(QStringLiteral("authStackView"));
    authStackLayout_ = new QVBoxLayout(authStackView_);
    authStackLayout_->setSpacing(16);
    authStackLayout_->setContentsMargins(0, 0, 8, 0);
    single_ = buildAuthView(false);
    multi_ = buildAuthView(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(grid);
    column->addWidget(authStackView_);
}

VySSHServerViewController::AuthView VySSHServerViewController::buildAuthView(bool multi) {
    const QString prefix = multi ? QStringLiteral("multi") : QStringLiteral("single");
    AuthView v;
    v.view = new QWidget(authStackView_);
    v.view->setObjectName(prefix + QStringLiteral("FactorView"));
    auto* grid = new QGridLayout(v.view);
    grid->setContentsMargins(0, 0, 0, 0);

    v.helpButton = new QToolButton(v.view);
    v.helpButton->setObjectName(prefix + QStringLiteral("AuthHelpButton"));
    v.helpButton->setText(QStringLiteral("?"));
    v.helpButton->setToolTip(tr("Help"));
    connect(v.helpButton, &QToolButton::clicked, this, [this, b = v.helpButton] { emit helpRequested(b); });

    auto* methods = new QHBoxLayout;
    if (multi) {
        methodList_ = new QListWidget(v.view);
        methodList_->setObjectName(QStringLiteral("multiAuthMethodsList"));
        methodList_->setDragDropMode(QAbstractItemView::InternalMove);
        methodList_->setMinimumWidth(160);
        connect(methodList_, &QListWidget::itemChanged, this, [this] { applyMethodList(); });
        connect(methodList_->model(), &QAbstractItemModel::rowsMoved, this, [this] { applyMethodList(); });
        auto* back = new QPushButton(tr("Single-factor"), v.view);
        back->setObjectName(QStringLiteral("backToSingleFactorButton"));
        connect(back, &QPushButton::clicked, this, &VySSHServerViewController::backToSingleFactorAuth);
        methods->addWidget(methodList_, 1);
        auto* side = new QVBoxLayout;
        side->addWidget(v.helpButton, 0, Qt::AlignLeft);
        side->addWidget(back);
        side->addStretch(1);
        methods->addLayout(side);
    } else {
        methodPopUp_ = new QComboBox(v.view);
        methodPopUp_->setObjectName(QStringLiteral("singleAuthMethodPopUp"));
        for (const auto& m : sessionController_->authMethodCandidates())
            methodPopUp_->addItem(QString::fromStdString(m->localizedMethodName()),
                                  QVariant::fromValue<qlonglong>(m->methodType()));
        connect(methodPopUp_, &QComboBox::activated, this, [this](int index) {
            setMethods(*sessionController_, {sharedMethod(methodPopUp_->itemData(index).toLongLong())});
        });
        auto* more = new QPushButton(tr("Multi-factor"), v.view);
        more->setObjectName(QStringLiteral("goToMultiFactorButton"));
        connect(more, &QPushButton::clicked, this, &VySSHServerViewController::goToMultiFactorAuth);
        methods->addWidget(methodPopUp_, 1);
        methods->addWidget(v.helpButton);
        methods->addWidget(more);
    }
    // Tab follows the row from the left: the methods, then their help.
    setTabOrder(multi ? static_cast<QWidget*>(methodList_) : methodPopUp_, v.helpButton);
    grid->addWidget(new QLabel(multi ? tr("Methods:") : tr("Authentication:"), v.view), 0, 0,
                    Qt::AlignRight | (multi ? Qt::AlignTop : Qt::AlignVCenter));
    grid->addLayout(methods, 0, 1);

    v.passwordRow = new QWidget(v.view);
    auto* passwordRow = new QHBoxLayout(v.passwordRow);
    passwordRow->setContentsMargins(0, 0, 0, 0);
    v.passwordField = new QLineEdit(v.passwordRow);
    v.passwordField->setObjectName(prefix + QStringLiteral("PasswordSecureTextField"));
    v.passwordField->setEchoMode(QLineEdit::Password);
    v.passwordField->setAutoFillBackground(true);
    passwordRow->addWidget(v.passwordField);
    connect(v.passwordField, &QLineEdit::textEdited, this,
            [this, f = v.passwordField] { controlTextDidChange(f); });
    grid->addWidget(new QLabel(tr("Password:"), v.view), 1, 0, Qt::AlignRight);
    grid->addWidget(v.passwordRow, 1, 1);

    v.keyRow = new QWidget(v.view);
    auto* keyRow = new QHBoxLayout(v.keyRow);
    keyRow->setContentsMargins(0, 0, 0, 0);
    v.keyPopUp = new QComboBox(v.keyRow);
    v.keyPopUp->setObjectName(prefix + QStringLiteral("PrivateKeyPopUp"));
    connect(v.keyPopUp, &QComboBox::activated, this, [this, popUp = v.keyPopUp](int index) {
        const QString id = popUp->itemData(index).toString();
        sessionController_->setValueForKey("private_key", id.isEmpty() ? nlohmann::json()
                                                                       : nlohmann::json(id.toStdString()));
    });
    auto* import = new QPushButton(tr("Import..."), v.keyRow);
    import->setObjectName(prefix + QStringLiteral("ImportKeyButton"));
    connect(import, &QPushButton::clicked, this, &VySSHServerViewController::importPrivateKeyRequested);
    keyRow->addWidget(v.keyPopUp, 1);
    keyRow->addWidget(import);
    grid->addWidget(new QLabel(tr("Private Key:"), v.view), 2, 0, Qt::AlignRight);
    grid->addWidget(v.keyRow, 2, 1);

    v.deleteButton = new QPushButton(tr("Delete Saved Interactive Information"), v.view);
    v.deleteButton->setObjectName(prefix + QStringLiteral("DeleteInformationButton"));
    connect(v.deleteButton, &QPushButton::clicked, this,
            &VySSHServerViewController::deleteInteractiveInformation);
    grid->addWidget(v.deleteButton, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    // Rows hidden by the methods must not leave gaps.
    grid->setVerticalSpacing(6);
    v.view->hide();
    return v;
}

QString VySSHServerViewController::helpText() const {
    return authHelpButton_ ? authHelpButton_->property("alternateTitle").toString() : QString();
}

void VySSHServerViewController::authMethodsDidChange() {
    const auto& methods = sessionController_->auth_methods();
    const std::size_t count = methods ? methods->size() : 0;
    if (count >= 1) {
        const bool multi = count >= 2;
        const AuthView& showing = multi ? multi_ : single_;
        const AuthView& hidden = multi ? single_ : multi_;
        authHelpButton_ = showing.helpButton;
        passwordField_ = showing.passwordField;
        deleteButton_ = showing.deleteButton;
        hidden.view->hide();
        authStackLayout_->removeWidget(hidden.view);
        authStackLayout_->removeWidget(showing.view);
        authStackLayout_->addWidget(showing.view, 0, Qt::AlignTop);
        showing.view->show();
        if (multi) {
            showing.helpButton->setProperty("alternateTitle", helpTextForMultiFactor());
        } else if (auto text = helpTextForMethod(
                       (*methods)[0] ? static_cast<std::int64_t>((*methods)[0]->methodType()) : -1)) {
            showing.helpButton->setProperty("alternateTitle", *text);
        }
    }
    reloadMethodControls();
    testIfFoundInKeychain(true);
}

void VySSHServerViewController::reloadMethodControls() {
    const auto& profile = *sessionController_;
    reloading_ = true;
    if (auto first = profile.authMethod())
        methodPopUp_->setCurrentIndex(
            methodPopUp_->findData(QVariant::fromValue<qlonglong>(first->methodType())));

    // The list holds the profile's methods in order, ticked, then the others.
    methodList_->clear();
    std::vector<std::int64_t> listed;
    auto add = [&](const std::shared_ptr<HalvexAuthMethodModel>& m, bool checked) {
        if (!m || std::find(listed.begin(), listed.end(), m->methodType()) != listed.end()) return;
        listed.push_back(m->methodType());
        auto* item = new QListWidgetItem(QString::fromStdString(m->localizedMethodName()), methodList_);
        item->setData(kMethodTypeRole, QVariant::fromValue<qlonglong>(m->methodType()));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled |
                       Qt::ItemIsSelectable);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    };
    if (profile.auth_methods())
        for (const auto& m : *profile.auth_methods())
            add(m, true);
    for (const auto& m : profile.authMethodCandidates())
        add(m, false);
    reloading_ = false;
    const int rows = std::max(1, methodList_->count());
    methodList_->setFixedHeight(methodList_->sizeHintForRow(0) * rows + 2 * methodList_->frameWidth() + 2);

    // Each view shows the rows its methods need.
    for (const AuthView* v : {&single_, &multi_}) {
        v->passwordRow->setVisible(profile.isPasswordAllowed());
        v->keyRow->setVisible(profile.isPublicKeyAllowed());
        v->deleteButton->setVisible(profile.isInteractiveAllowed());
        auto* grid = static_cast<QGridLayout*>(v->view->layout());
        if (auto* label = grid->itemAtPosition(1, 0))
            label->widget()->setVisible(profile.isPasswordAllowed());
        if (auto* label = grid->itemAtPosition(2, 0))
            label->widget()->setVisible(profile.isPublicKeyAllowed());
    }
    reloadKeyPopUps();
}

void VySSHServerViewController::reloadKeyPopUps() {
    auto keys = privateKeyContainer().privateKeys();
    std::vector<std::shared_ptr<HalvexPrivateKeyModel>> sorted;
    for (const auto& [id, key] : keys)
        sorted.push_back(key);
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a->key_name() < b->key_name(); });
    const QString selected = qs(sessionController_->private_key);
    for (QComboBox* popUp : {single_.keyPopUp, multi_.keyPopUp}) {
        popUp->clear();
        popUp->addItem(tr("None"), QString());
        for (const auto& key : sorted)
            popUp->addItem(QString::fromStdString(key->key_name()), QString::fromStdString(key->key_id()));
        popUp->setCurrentIndex(std::max(0, popUp->findData(selected)));
    }
}

void VySSHServerViewController::applyMethodList() {
    if (reloading_) return;
    HalvexSessionModel::AuthMethods methods;
    for (int row = 0; row < methodList_->count(); ++row) {
        auto* item = methodList_->item(row);
        if (item->checkState() == Qt::Checked)
            methods.push_back(sharedMethod(item->data(kMethodTypeRole).toLongLong()));
    }
    // Rebuilding the list from inside its own signal would delete the item
    // being edited; the switch waits for the event loop.
    QMetaObject::invokeMethod(
        this, [this, methods] { setMethods(*sessionController_, methods); }, Qt::QueuedConnection);
}

void VySSHServerViewController::backToSingleFactorAuth() {
    auto first = sessionController_->authMethod();
    setMethods(*sessionController_, {first ? first : HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
}

void VySSHServerViewController::goToMultiFactorAuth() {
    setMethods(*sessionController_, sessionController_->authMethodCandidates());
}

std::optional<std::uint16_t> VySSHServerViewController::validPort() const {
    const auto& port = sessionController_->ssh_port;
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

void VySSHServerViewController::testIfFoundInKeychain(bool fill) {
    if (!passwordField_) return;
    const auto& profile = *sessionController_;
    const std::string host = profile.ssh_host.value_or("");
    const std::string user = profile.ssh_user.value_or("");
    const auto port = validPort();
    // A port that is no valid port addresses no item: never cut it to 16 bits.
    std::string stored;
    if (port)
        if (auto item = HalvexAuthHelper::makeWithServer(host, *port, user)) stored = item->token();
    const QString storedText = QString::fromStdString(stored);
    if (!stored.empty()) {
        if (fill) passwordField_->setText(storedText);
        setBackground(passwordField_, passwordField_->text() == storedText ? autoFillColor() : defaultColor_);
    } else {
        setBackground(passwordField_, defaultColor_);
    }
    passwordField_->update();

    bool answers = false;
    if (port)
        if (auto item = HalvexAuthHelper::makeWithServer(host, *port, user, true))
            answers = !item->token().empty();
    if (deleteButton_) deleteButton_->setEnabled(answers);
}

void VySSHServerViewController::controlTextDidChange(QObject* sender) {
    setHostRequired(false);
    setPortRequired(false);
    setLoginRequired(false);
    updatePortMark();
    testIfFoundInKeychain(sender != passwordField_);
}

void VySSHServerViewController::setHostRequired(bool value) {
    hostRequired_ = value;
    hostMark_->setText(tr("Required"));
    hostMark_->setVisible(value);
}

void VySSHServerViewController::setPortRequired(bool value) {
    portRequired_ = value;
    updatePortMark();
}

void VySSHServerViewController::setLoginRequired(bool value) {
    loginRequired_ = value;
    loginMark_->setText(tr("Required"));
    loginMark_->setVisible(value);
}

void VySSHServerViewController::updatePortMark() {
    const QString text = portField_->text();
    bool ok = false;
    const int port = text.toInt(&ok);
    if (portRequired_) {
        portMark_->setText(tr("Required"));
        portMark_->show();
    } else if (!text.isEmpty() && (!ok || port < 1 || port > 65535)) {
        portMark_->setText(tr("The port must be a number from 1 to 65535."));
        portMark_->show();
    } else {
        portMark_->hide();
    }
}

bool VySSHServerViewController::validateAllFields() {
    auto refuse = [](QLineEdit* field) {
        field->setFocus(Qt::OtherFocusReason);
        return false;
    };
    if (hostField_->text().isEmpty()) {
        setHostRequired(true);
        return refuse(hostField_);
    }
    if (portField_->text().isEmpty()) {
        setPortRequired(true);
        return refuse(portField_);
    }
    bool ok = false;
    const int port = portField_->text().toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        updatePortMark();
        return refuse(portField_);
    }
    if (userField_->text().isEmpty()) {
        setLoginRequired(true);
        return refuse(userField_);
    }
    return true;
}

bool VySSHServerViewController::savePassword() {
    if (!passwordField_ || !passwordField_->isVisibleTo(this)) return true;
    const auto& profile = *sessionController_;
    const std::string host = profile.ssh_host.value_or("");
    const std::string user = profile.ssh_user.value_or("");
    const auto port = validPort();
    std::optional<HalvexAuthHelper> item;
    if (port) item = HalvexAuthHelper::makeWithServer(host, *port, user);
    if (!item) return true; // nothing can be stored for this login

    const std::string stored = item->token();
    const std::string typed = passwordField_->text().toStdString();
    const QString login =
        QStringLiteral("“%1” on host “%2:%3”")
            .arg(QString::fromStdString(user), QString::fromStdString(host), QString::number(*port));
    auto store = [&] {
        Error error;
        // A keychain that refuses is reported; the profile is still saved and
        // the password will be asked for at login.
        if (!item->setToken(typed, &error)) {
            WendleAlert alert = WendleAlert::alertWithError(error);
            vySafeRunModal(alert, window());
        }
    };
    if (stored.empty()) {
        store();
        return true;
    }
    if (!typed.empty() && typed == stored) return true;
    if (!typed.empty()) {
        WendleAlert alert;
        alert.style = WendleAlert::Style::warning;
        alert.messageText = QStringLiteral("Udpate saved password");
        alert.informativeText =
            QStringLiteral("Would you like to update the password saved in your keychain for %1?").arg(login);
        alert.buttons = {QStringLiteral("Update"), QStringLiteral("Cancel"), QStringLiteral("Not Update")};
        switch (vySafeRunModal(alert, window())) {
        case WendleAlert::FirstButton:
            store();
            return true;
        case WendleAlert::FirstButton + 2:
            return true;
        default:
            return false;
        }
    }
    WendleAlert alert;
    alert.style = WendleAlert::Style::critical;
    alert.messageText = tr("Delete saved password");
    alert.informativeText = QStringLiteral("Warning! Since you leave the password field blank, password for "
                                           "%1 will be permanently removed from your keychain.")
                                .arg(login);
    alert.buttons = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
    if (vySafeRunModal(alert, window()) != WendleAlert::FirstButton) return false;
    if (Error error; !item->deleteItem(&error)) {
        WendleAlert failed = WendleAlert::alertWithError(error);
        vySafeRunModal(failed, window());
    }
    return true;
}

void VySSHServerViewController::deleteInteractiveInformation() {
    const auto& profile = *sessionController_;
    const auto port = validPort();
    if (!port) return;
    const std::string host = profile.ssh_host.value_or("");
    const std::string user = profile.ssh_user.value_or("");
    auto item = HalvexAuthHelper::makeWithServer(host, *port, user, true);
    if (!item || item->token().empty()) return;
    WendleAlert alert;
    alert.style = WendleAlert::Style::critical;
    alert.messageText = tr("Delete saved interactive information");
    alert.informativeText =
        QStringLiteral("Warning! Interactive information for “%1” on host “%2:%3” will be "
                       "permanently removed from your keychain.")
            .arg(QString::fromStdString(user), QString::fromStdString(host), QString::number(*port));
    alert.buttons = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
    if (vySafeRunModal(alert, window()) != WendleAlert::FirstButton) return;
    item->deleteItem();
    testIfFoundInKeychain(false);
}
