#include "Halvex/Views/PrivateKeysPreferencesViewController.h"

#include "Foundation/NotificationCenter.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/Views/HalvexQtPrivateKeyWindow.h"
#include "Halvex/Views/KvPrivateKeysTableView.h"
#include "Mantle/MTLValueTransformer.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleQtObservers.h"
#include "Wendle/WendleDispatch.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

// ORVIK_PRIVATE_KEYS_HELP_URL: a build setting (Halvex/CMakeLists.txt).

namespace {

// The status images the value transformers name, drawn here: a padlock for
// an encrypted key, a check mark for a passphrase in the keychain.
QIcon statusImage(const nlohmann::json& name, const QColor& color) {
    if (!name.is_string()) return {};
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 1.6);
    painter.setPen(pen);
    if (name.get<std::string>() == "NSImageNameLockLockedTemplate") {
        QPainterPath shackle;
        shackle.moveTo(5, 8);
        shackle.lineTo(5, 5.5);
        shackle.arcTo(QRectF(5, 2, 6, 7), 180, -180);
        shackle.lineTo(11, 8);
        painter.drawPath(shackle);
        painter.setBrush(color);
        painter.drawRoundedRect(QRectF(3.5, 7.5, 9, 7), 1.5, 1.5);
    } else {
        QPainterPath check;
        check.moveTo(3, 8.5);
        check.lineTo(6.5, 12);
        check.lineTo(13, 4);
        painter.drawPath(check);
    }
    return QIcon(pixmap);
}

nlohmann::json transformed(const char* transformer, bool value) {
    auto t = MTLValueTransformer::valueTransformerForName(transformer);
    return t ? t->transformedValue(value ? 1 : 0) : nlohmann::json();
}

QString curlyQuoted(const std::string& name) {
    return QStringLiteral("“%1”").arg(QString::fromStdString(name));
}

} // namespace

// --- the array controller

PrivateKeysArrayController::PrivateKeysArrayController(HalvexPrivateKeyContainer& container, QObject* parent)
    : QAbstractTableModel(parent), container_(container) {
    observeKey(this, container_, "privateKeys", [this](const std::string&) { reload(); });
    reload();
}

void PrivateKeysArrayController::reload() {
    beginResetModel();
    delete keyObservers_;
    keyObservers_ = new QObject(this);
    arranged_.clear();
    for (const auto& [id, key] : container_.privateKeys())
        arranged_.push_back(key);
    std::sort(arranged_.begin(), arranged_.end(), [](const auto& a, const auto& b) {
        return QString::fromStdString(a->key_name())
                   .compare(QString::fromStdString(b->key_name()), Qt::CaseInsensitive) < 0;
    });
    // A key's flags change in place (passphrase stored or forgotten).
    for (std::size_t row = 0; row < arranged_.size(); ++row) {
        std::weak_ptr<HalvexPrivateKeyModel> weak = arranged_[row];
        observeKey(keyObservers_, *arranged_[row], "", [this, weak](const std::string&) {
            auto key = weak.lock();
            if (!key) return;
            for (std::size_t r = 0; r < arranged_.size(); ++r)
                if (arranged_[r] == key)
                    emit dataChanged(index(static_cast<int>(r), 0), index(static_cast<int>(r), 2));
        });
    }
    endResetModel();
}

int PrivateKeysArrayController::rowOfKey(const std::string& keyId) const {
    for (std::size_t row = 0; row < arranged_.size(); ++row)
        if (arranged_[row]->key_id() == keyId) return static_cast<int>(row);
    return -1;
}

int PrivateKeysArrayController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(arranged_.size());
}

int PrivateKeysArrayController::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant PrivateKeysArrayController::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto& key = *arranged_[static_cast<std::size_t>(index.row())];
    const QColor ink = QPalette().color(QPalette::Text);
    switch (index.column()) {
    case 0:
        if (role == Qt::DisplayRole || role == Qt::EditRole) return QString::fromStdString(key.key_name());
        if (role == Qt::ToolTipRole) return QString::fromStdString(key.key_id());
        break;
    case 1:
        if (role == Qt::DecorationRole)
            return statusImage(transformed("HalvexPrivateKeyEncryptedStatusImage", key.encrypted()), ink);
        if (role == Qt::ToolTipRole)
            return key.encrypted() ? tr("Encrypted with a passphrase") : tr("Not encrypted");
        break;
    case 2:
        if (role == Qt::DecorationRole)
            return statusImage(transformed("HalvexPrivateKeyKeychainStatusImage", key.in_keychain()), ink);
        if (role == Qt::ToolTipRole)
            return key.in_keychain() ? tr("Passphrase remembered in keychain") : QVariant();
        break;
    }
    return {};
}

QVariant PrivateKeysArrayController::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0:
        return tr("Name");
    case 1:
        return tr("Encrypted");
    case 2:
        return tr("Keychain");
    }
    return {};
}

Qt::ItemFlags PrivateKeysArrayController::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == 0) f |= Qt::ItemIsEditable;
    return f;
}

bool PrivateKeysArrayController::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != 0 || index.row() >= rowCount()) return false;
    // The file was renamed by the table; the key keeps its id.
    arranged_[static_cast<std::size_t>(index.row())]->setKey_name(value.toString().toStdString());
    emit dataChanged(index, index);
    return true;
}

// --- the pane

PrivateKeysPreferencesViewController::PrivateKeysPreferencesViewController(QObject* parent)
    : MASPreferencesViewController(parent) {}

PrivateKeysPreferencesViewController::~PrivateKeysPreferencesViewController() {
    // A view no window took is the pane's.
    if (view_ && !view_->parent()) delete view_.data();
}

QString PrivateKeysPreferencesViewController::toolbarItemLabel() const {
    return tr("Private Keys");
}

QIcon PrivateKeysPreferencesViewController::toolbarItemImage() const {
    return statusImage("NSImageNameLockLockedTemplate", QPalette().color(QPalette::WindowText));
}

HalvexPrivateKeyContainer& PrivateKeysPreferencesViewController::privateKeyContainer() const {
    return HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
}

QString PrivateKeysPreferencesViewController::helpURL() {
    return QStringLiteral(ORVIK_PRIVATE_KEYS_HELP_URL);
}

QWidget* PrivateKeysPreferencesViewController::view() {
    if (!view_) buildView();
    return view_;
}

void PrivateKeysPreferencesViewController::viewWillAppear() {
    privateKeyContainer().refreshCache();
}

void PrivateKeysPreferencesViewController::buildView() {
    view_ = new QWidget;
    view_->setObjectName(QStringLiteral("PrivateKeysPreferences"));
    keysArrayController_ = new PrivateKeysArrayController(privateKeyContainer(), view_);
    keysTableView_ = new KvPrivateKeysTableView(view_);
    keysTableView_->setModel(keysArrayController_);
    keysTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    keysTableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    keysTableView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    keysTableView_->verticalHeader()->hide();
    keysTableView_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    keysTableView_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    keysTableView_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    keysTableView_->setMinimumSize(460, 220);

    auto button = [this](const QString& title, const char* name,
                         void (PrivateKeysPreferencesViewController::*action)()) {
        auto* b = new QPushButton(title, view_);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    auto* importButton =
        button(tr("Import..."), "importButton", &PrivateKeysPreferencesViewController::importPrivateKey);
    deleteButton_ =
        button(tr("Delete"), "deleteButton", &PrivateKeysPreferencesViewController::deletePrivateKeys);
    rememberButton_ = button(tr("Remember Passphrase..."), "rememberButton",
                             &PrivateKeysPreferencesViewController::rememberToKeychain);
    forgetButton_ = button(tr("Forget Passphrase"), "forgetButton",
                           &PrivateKeysPreferencesViewController::forgetFromKeychain);
    auto* helpButton =
        button(QStringLiteral("?"), "helpButton", &PrivateKeysPreferencesViewController::openHelpURL);
    helpButton->setToolTip(tr("Help about private keys"));
    helpButton->setFixedWidth(helpButton->sizeHint().height());

    auto* row = new QHBoxLayout;
    row->addWidget(importButton);
    row->addWidget(deleteButton_);
    row->addSpacing(12);
    row->addWidget(rememberButton_);
    row->addWidget(forgetButton_);
    row->addStretch(1);
    row->addWidget(helpButton);
    auto* column = new QVBoxLayout(view_);
    column->addWidget(keysTableView_);
    column->addLayout(row);

    connect(keysTableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateButtons(); });
    connect(keysArrayController_, &QAbstractItemModel::modelReset, this, [this] { updateButtons(); });
    connect(keysArrayController_, &QAbstractItemModel::dataChanged, this, [this] { updateButtons(); });
    updateButtons();
}

std::vector<std::shared_ptr<HalvexPrivateKeyModel>>
PrivateKeysPreferencesViewController::selectedObjects() const {
    std::vector<std::shared_ptr<HalvexPrivateKeyModel>> selected;
    if (!keysTableView_) return selected;
    auto rows = keysTableView_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        selected.push_back(keysArrayController_->arrangedObjects()[static_cast<std::size_t>(index.row())]);
    return selected;
}

void PrivateKeysPreferencesViewController::updateButtons() {
    const auto selected = selectedObjects();
    deleteButton_->setEnabled(!selected.empty());
    rememberButton_->setEnabled(selected.size() == 1 && !selected[0]->in_keychain());
    forgetButton_->setEnabled(!selected.empty() && selected[0]->in_keychain());
}

void PrivateKeysPreferencesViewController::selectRows(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows)
        if (row >= 0)
            selection.select(keysArrayController_->index(row, 0), keysArrayController_->index(row, 2));
    keysTableView_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void PrivateKeysPreferencesViewController::importPrivateKey() {
    view();
    HalvexQtPrivateKeyWindow window(view_->window());
    QPointer<PrivateKeysPreferencesViewController> self(this);
    HalvexPrivateKeyContainer::importPrivateKeyWithSheetModalForWindow(
        window, [self](long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>> models) {
            if (response != 1 || models.empty()) return;
            // After the panel (and its error alerts) have finished.
            WendleDispatchAsyncOnMainQueue([self, models] {
                if (!self || !self->keysTableView_) return;
                std::vector<int> rows;
                for (const auto& model : models)
                    rows.push_back(self->keysArrayController_->rowOfKey(model->key_id()));
                self->selectRows(rows);
                auto selected = self->keysTableView_->selectionModel()->selectedRows();
                int index = selected.isEmpty() ? 0 : selected.front().row();
                for (const QModelIndex& i : selected)
                    index = std::min(index, i.row());
                if (index >= self->keysArrayController_->rowCount()) index = 0;
                self->selectRows({index});
                self->keysTableView_->scrollTo(self->keysArrayController_->index(index, 0));
            });
        });
}

void PrivateKeysPreferencesViewController::deletePrivateKeys() {
    const auto selected = selectedObjects(); // taken once, before anything changes
    if (selected.empty()) return;
    WendleAlert alert;
    alert.style = WendleAlert::Style::warning;
    if (selected.size() == 1) {
        alert.messageText = tr("Are you sure you want to delete private key “%1”?")
                                .arg(QString::fromStdString(selected[0]->key_name()));
        alert.buttons = {tr("Delete"), tr("Cancel")};
        alert.informativeText = tr("Warning! Both private key file and passphrase remembered in keychain "
                                   "will be permanently deleted.");
    } else {
        QStringList names;
        for (const auto& key : selected)
            names << curlyQuoted(key->key_name());
        alert.messageText =
            tr("Are you sure you want to delete private keys %1?").arg(names.join(QStringLiteral(", ")));
        alert.buttons = {tr("Delete (%1)").arg(selected.size()), tr("Cancel")};
        alert.informativeText = tr("Warning! Both private key files and passphrases remembered in keychain "
                                   "will be permanently deleted.");
    }
    if (vySafeRunModal(alert, view_->window()) != WendleAlert::FirstButton) return;

    auto& store = privateKeyContainer();
    for (const auto& key : selected) {
        // The file goes first: a key whose file stays keeps its passphrase,
        // and no open sheet is told to forget it.
        if (auto error = store.deletePrivateKeyWithId(key->key_id())) {
            WendleAlert failed = WendleAlert::alertWithError(*error);
            vySafeRunModal(failed, view_->window());
            continue;
        }
        store.removePassphraseFromKeychainForPrivateKeyId(key->key_id());
        store.refreshCache();
        NotificationCenter::defaultCenter().postNotification(HalvexPrivateKeyDeletedNotification, this,
                                                             nlohmann::json{{"key_id", key->key_id()}});
    }
}

void PrivateKeysPreferencesViewController::rememberToKeychain() {
    const auto selected = selectedObjects();
    if (selected.empty()) return;
    HalvexQtPrivateKeyWindow window(view_->window());
    privateKeyContainer().storePassphraseToKeychainForPrivateKeyId(selected[0]->key_id(), window);
}

void PrivateKeysPreferencesViewController::forgetFromKeychain() {
    const auto selected = selectedObjects();
    if (selected.empty()) return;
    const auto& key = selected[0];
    WendleAlert alert;
    alert.style = WendleAlert::Style::warning;
    alert.messageText = tr("Are you sure you want to forget passphrase for private key “%1” from keychain?")
                            .arg(QString::fromStdString(key->key_name()));
    alert.buttons = {tr("Forget"), tr("Cancel")};
    alert.informativeText = tr("Warning! Passphrases remembered in keychain will be permanently deleted.");
    if (vySafeRunModal(alert, view_->window()) != WendleAlert::FirstButton) return;
    privateKeyContainer().removePassphraseFromKeychainForPrivateKeyId(key->key_id());
    key->setIn_keychain(false);
}

void PrivateKeysPreferencesViewController::openHelpURL() {
    QDesktopServices::openUrl(QUrl(helpURL()));
}
