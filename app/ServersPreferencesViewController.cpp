#include "app/ServersPreferencesViewController.h"

#include "Halvex/Views/HalvexQtBackupWindow.h"
#include "Halvex/VySSHBackupModule.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleQtObservers.h"
#include "Wendle/Views/WendleWidgets.h"
#include "Wendle/WendleDispatch.h"
#include "app/OrvikController.h"
#include "app/OrvikImages.h"
#include "app/OrvikPreferences.h"
#include "app/SettingsPanelController.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString qs(const std::optional<std::string>& text) {
    return QString::fromStdString(text.value_or(""));
}

} // namespace

// --- the array controller

void ServersArrayController::setContent(Profiles profiles) {
    beginResetModel();
    arranged_ = std::move(profiles);
    endResetModel();
}

void ServersArrayController::insertObject(std::shared_ptr<OrvikController> profile, int index) {
    index = std::clamp(index, 0, rowCount());
    beginInsertRows({}, index, index);
    arranged_.insert(arranged_.begin() + index, std::move(profile));
    endInsertRows();
}

void ServersArrayController::removeObjectAtIndex(int index) {
    if (index < 0 || index >= rowCount()) return;
    beginRemoveRows({}, index, index);
    arranged_.erase(arranged_.begin() + index);
    endRemoveRows();
}

int ServersArrayController::indexOfUID(const std::optional<std::string>& uid) const {
    if (!uid) return -1;
    for (std::size_t i = 0; i < arranged_.size(); ++i)
        if (arranged_[i]->uid == uid) return static_cast<int>(i);
    return -1;
}

int ServersArrayController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(arranged_.size());
}

int ServersArrayController::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ServersArrayController::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const auto& profile = *arranged_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case 0:
        return qs(profile.name());
    case 1:
        return QString::fromStdString(profile.sshHostNotation());
    case 2:
        return qs(profile.ssh_user);
    }
    return {};
}

QVariant ServersArrayController::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0:
        return tr("Name");
    case 1:
        return tr("Host");
    case 2:
        return tr("User");
    }
    return {};
}

Qt::ItemFlags ServersArrayController::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == 0) f |= Qt::ItemIsEditable;
    return f;
}

bool ServersArrayController::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != 0 || index.row() >= rowCount()) return false;
    arranged_[static_cast<std::size_t>(index.row())]->setName(value.toString().toStdString());
    emit dataChanged(index, index);
    emit nameEdited();
    return true;
}

// --- the pane

ServersPreferencesViewController::ServersPreferencesViewController(
    std::shared_ptr<OrvikPreferences> preferences, QObject* parent)
    : MASPreferencesViewController(parent),
      preferences_(preferences ? std::move(preferences) : OrvikPreferences::sharedPreferencesPointer()) {}

ServersPreferencesViewController::~ServersPreferencesViewController() {
    delete settingsPanelController_.data();
    // The view's observation calls into this pane: it goes with the pane,
    // wherever the view is hosted.
    delete view_.data();
}

QString ServersPreferencesViewController::toolbarItemLabel() const {
    return tr("Servers");
}

QIcon ServersPreferencesViewController::toolbarItemImage() const {
    return OrvikImageNamed(QStringLiteral("preference-servers"));
}

QWidget* ServersPreferencesViewController::view() {
    if (!view_) buildView();
    return view_;
}

void ServersPreferencesViewController::buildView() {
    view_ = new QWidget;
    view_->setObjectName(QStringLiteral("ServersPreferences"));
    serversArrayController_ = new ServersArrayController(view_);
    serversArrayController_->setContent(preferences_->shellProfiles());
    connect(serversArrayController_, &ServersArrayController::nameEdited, this,
            &ServersPreferencesViewController::profileNameDidChanged);

    serversTableView_ = new QTableView(view_);
    serversTableView_->setObjectName(QStringLiteral("serversTableView"));
    serversTableView_->setModel(serversArrayController_);
    serversTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    serversTableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    serversTableView_->setEditTriggers(QAbstractItemView::EditKeyPressed);
    serversTableView_->verticalHeader()->hide();
    serversTableView_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    serversTableView_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    serversTableView_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    serversTableView_->setMinimumSize(520, 260);
    serversTableView_->setContextMenuPolicy(Qt::CustomContextMenu);
    wendle_trackClickedRow(serversTableView_);
    connect(serversTableView_, &QTableView::doubleClicked, this, [this] { editProfile(); });
    connect(serversTableView_, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(serversTableView_);
        menu.addAction(tr("Edit..."), this, &ServersPreferencesViewController::editProfile);
        menu.addAction(tr("Duplicate"), this, &ServersPreferencesViewController::duplicateProfile);
        menu.addAction(tr("Rename"), this, &ServersPreferencesViewController::renameProfile);
        menu.addSeparator();
        menu.addAction(tr("Remove..."), this, &ServersPreferencesViewController::removeProfile);
        menu.exec(serversTableView_->viewport()->mapToGlobal(at));
    });

    addRemoveButton_ = new QWidget(view_);
    addRemoveButton_->setObjectName(QStringLiteral("addRemoveButton"));
    auto* segments = new QHBoxLayout(addRemoveButton_);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    auto segment = [this, segments](const QString& title, const char* name, int index) {
        auto* b = new QToolButton(addRemoveButton_);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(title);
        b->setFixedWidth(32);
        connect(b, &QToolButton::clicked, this, [this, index] { addOrRemoveProfile(index); });
        segments->addWidget(b);
        return b;
    };
    segment(QStringLiteral("+"), "addSegment", 0)->setToolTip(tr("Add a server"));
    removeSegment_ = segment(QStringLiteral("\u2212"), "removeSegment", 1);
    removeSegment_->setToolTip(tr("Remove the server"));

    auto button = [this](const QString& title, const char* name,
                         void (ServersPreferencesViewController::*action)()) {
        auto* b = new QPushButton(title, view_);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    auto* row = new QHBoxLayout;
    row->addWidget(addRemoveButton_);
    row->addSpacing(8);
    row->addWidget(
        button(tr("Duplicate"), "duplicateButton", &ServersPreferencesViewController::duplicateProfile));
    row->addWidget(button(tr("Edit..."), "editButton", &ServersPreferencesViewController::editProfile));
    row->addStretch(1);
    row->addWidget(button(tr("Import..."), "importButton", &ServersPreferencesViewController::importServers));
    row->addWidget(
        button(tr("Export..."), "exportButton", &ServersPreferencesViewController::exportAllServers));
    auto* column = new QVBoxLayout(view_);
    column->addWidget(serversTableView_);
    column->addLayout(row);

    // The table follows the stored list (the main window adds servers too).
    observeKey(view_, *preferences_, "shellProfiles", [this](const std::string&) {
        auto stored = preferences_->shellProfiles();
        if (stored != serversArrayController_->arrangedObjects()) serversArrayController_->setContent(stored);
        updateRemoveButtonEnableState();
    });
    updateRemoveButtonEnableState();
}

bool ServersPreferencesViewController::isSegmentEnabled(int segment) const {
    if (!addRemoveButton_) return false;
    auto buttons = addRemoveButton_->findChildren<QToolButton*>();
    return segment == 1 ? removeSegment_->isEnabled() : !buttons.isEmpty() && buttons.front()->isEnabled();
}

void ServersPreferencesViewController::updateRemoveButtonEnableState() {
    removeSegment_->setEnabled(!preferences_->shellProfiles().empty());
}

int ServersPreferencesViewController::focusedIndex() const {
    if (!serversTableView_) return -1;
    const auto rows = focusedRowIndexes(serversTableView_);
    return rows.empty() ? -1 : rows.front();
}

void ServersPreferencesViewController::saveList() {
    preferences_->setShellProfiles(serversArrayController_->arrangedObjects());
}

void ServersPreferencesViewController::selectRow(int row) {
    if (row < 0 || row >= serversArrayController_->rowCount()) {
        serversTableView_->clearSelection();
        return;
    }
    serversTableView_->selectionModel()->select(serversArrayController_->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
    serversTableView_->selectionModel()->setCurrentIndex(serversArrayController_->index(row, 0),
                                                         QItemSelectionModel::NoUpdate);
}

void ServersPreferencesViewController::scrollToSelectedRow() {
    const auto rows = serversTableView_->selectionModel()->selectedRows();
    if (!rows.isEmpty()) serversTableView_->scrollTo(rows.front());
}

void ServersPreferencesViewController::addOrRemoveProfile(int selectedSegment) {
    if (selectedSegment == 0)
        addProfile();
    else
        removeProfile();
}

bool ServersPreferencesViewController::sheetIsUp() const {
    if (!settingsPanelController_) return false;
    settingsPanelController_->raise();
    return true;
}

void ServersPreferencesViewController::addProfile() {
    view();
    // One sheet at a time: a second add would leave its row behind.
    if (sheetIsUp()) return;
    insertAndOpenSheet(std::make_shared<OrvikController>(), std::max(0, focusedIndex()), Add);
}

void ServersPreferencesViewController::duplicateProfile() {
    if (sheetIsUp()) return;
    const int index = focusedIndex();
    if (index < 0) return;
    const auto profile = serversArrayController_->arrangedObjects()[static_cast<std::size_t>(index)];
    auto copy = std::dynamic_pointer_cast<OrvikController>(profile->duplicate());
    if (!copy) return;
    copy->setName(profile->name().value_or("") + " copy");
    insertAndOpenSheet(copy, index, Duplicate);
}

void ServersPreferencesViewController::insertAndOpenSheet(const std::shared_ptr<OrvikController>& profile,
                                                          int index, Operation operation) {
    serversArrayController_->insertObject(profile, index);
    selectRow(index);
    saveList();
    scrollToSelectedRow();
    popupSettingsPanelWithProfile(profile, index, operation);
}

void ServersPreferencesViewController::editProfile() {
    if (sheetIsUp()) return;
    const int index = focusedIndex();
    if (index < 0) return;
    selectRow(index);
    scrollToSelectedRow();
    popupSettingsPanelWithProfile(serversArrayController_->arrangedObjects()[static_cast<std::size_t>(index)],
                                  index, Edit);
}

void ServersPreferencesViewController::renameProfile() {
    const int index = focusedIndex();
    if (index < 0) return;
    selectRow(index);
    scrollToSelectedRow();
    const QModelIndex cell = serversArrayController_->index(index, 0);
    serversTableView_->setCurrentIndex(cell);
    serversTableView_->edit(cell);
    if (auto* editor = serversTableView_->indexWidget(cell)) editor->setFocus();
}

void ServersPreferencesViewController::profileNameDidChanged() {
    saveList();
}

void ServersPreferencesViewController::popupSettingsPanelWithProfile(
    const std::shared_ptr<OrvikController>& profile, int index, Operation operation) {
    (void)index; // the row is found again by its uid when the sheet ends
    QWidget* window = view()->window();
    auto* sheet =
        operation > Duplicate
            ? new SettingsPanelController(VySSHSettingsPanelController::initInEditModeWithSessionController,
                                          profile, window)
            : new SettingsPanelController(
                  VySSHSettingsPanelController::initInDuplicateModeWithSessionController, profile, window);
    settingsPanelController_ = sheet;
    QPointer<ServersPreferencesViewController> self(this);
    sheet->beginSheet(window, [self, sheet, profile, operation](int returnCode) {
        WendleDispatchAsyncOnMainQueue([self, sheet, profile, operation, returnCode] {
            if (!self) return;
            auto edited = sheet->sessionController();
            if (returnCode == 1) {
                // The stored object keeps its identity and uid and takes every edited value.
                auto values = std::make_shared<OrvikController>();
                values->mergeValuesForKeysFromModel(*edited);
                values->uid = profile->uid;
                for (const std::string& key : profile->propertyKeys())
                    profile->setValueForKey(key, values->valueForKey(key));
                if (operation == Add)
                    profile->setName(profile->ssh_user.value_or("") + "@" + profile->ssh_host.value_or(""));
                self->saveList();
                self->serversArrayController_->setContent(self->serversArrayController_->arrangedObjects());
                self->selectRow(self->serversArrayController_->indexOfUID(profile->uid));
            } else if (operation != Edit) {
                // The row the sheet was opened for, wherever it is now.
                const int row = self->serversArrayController_->indexOfUID(profile->uid);
                if (row >= 0) self->removeProfileAtIndex(row);
            }
            self->settingsPanelController_ = nullptr;
            sheet->deleteLater();
        });
    });
}

void ServersPreferencesViewController::removeProfile() {
    const int index = focusedIndex();
    if (index < 0) return;
    const auto profile = serversArrayController_->arrangedObjects()[static_cast<std::size_t>(index)];
    WendleAlert alert;
    alert.style = WendleAlert::Style::warning;
    alert.messageText =
        tr("Are you sure you want to permanently delete server “%1”?").arg(qs(profile->name()));
    alert.informativeText = QStringLiteral("You can’t undo this action.");
    alert.buttons = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
    if (vySafeRunModal(alert, view()->window()) == WendleAlert::FirstButton + 1) return;

    removeProfileAtIndex(index);
    // The last server on a host and port takes the host's key with it.
    bool shared = false;
    for (const auto& other : preferences_->shellProfiles())
        if (other->ssh_host == profile->ssh_host && other->ssh_port == profile->ssh_port) shared = true;
    // Looked up in the pane's own preferences, where the host was remembered.
    const std::int64_t port = profile->ssh_port.value_or(22);
    if (!shared && port >= 1 && port <= 65535)
        preferences_->removeKnownHost(
            preferences_->getKnownHost(profile->ssh_host.value_or(""), static_cast<std::uint16_t>(port))
                .get());
}

void ServersPreferencesViewController::removeProfileAtIndex(int index) {
    serversArrayController_->removeObjectAtIndex(index);
    saveList();
    scrollToSelectedRow();
}

void ServersPreferencesViewController::importServers() {
    view();
    const auto before = preferences_->shellProfiles();
    HalvexQtBackupWindow window(view_->window());
    VySSHBackupModule::sharedBackupModule().importWithClass(
        OrvikController::classDescription(), window,
        [this, &before](const std::shared_ptr<MTLModel>& model) -> long {
            auto profile = std::dynamic_pointer_cast<OrvikController>(model);
            if (!profile) return VySSHBackupModule::Malformed;
            for (const auto& known : before)
                if (profile->isIdentical(*known)) return VySSHBackupModule::AlreadyExists;
            const auto name = profile->name();
            if (!name || name->empty() || !profile->ssh_host || profile->ssh_host->empty())
                return VySSHBackupModule::Malformed;
            serversArrayController_->insertObject(profile, serversArrayController_->rowCount());
            saveList();
            selectRow(serversArrayController_->rowCount() - 1);
            scrollToSelectedRow();
            return VySSHBackupModule::Imported;
        });
}

void ServersPreferencesViewController::exportAllServers() {
    view();
    HalvexQtBackupWindow window(view_->window());
    VySSHBackupModule::Entries entries(serversArrayController_->arrangedObjects().begin(),
                                       serversArrayController_->arrangedObjects().end());
    VySSHBackupModule::sharedBackupModule().exportEntries(entries, window, "Server-Entries");
}
