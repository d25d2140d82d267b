#pragma once

#include "Wendle/Views/MASPreferencesViewController.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class OrvikController;
class OrvikPreferences;
class QTableView;
class QToolButton;
class SettingsPanelController;

// The stored servers as the Servers pane's table shows them: the arranged
// objects in stored order. Column 0 is the name (editable), 1 the address,
// 2 the user.
class ServersArrayController : public QAbstractTableModel {
    Q_OBJECT

public:
    using Profiles = std::vector<std::shared_ptr<OrvikController>>;

    explicit ServersArrayController(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    const Profiles& arrangedObjects() const { return arranged_; }
    void setContent(Profiles profiles);
    void insertObject(std::shared_ptr<OrvikController> profile, int index);
    void removeObjectAtIndex(int index);
    // The row of the server with this uid, or -1.
    int indexOfUID(const std::optional<std::string>& uid) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // A name was edited in the table.
    void nameEdited();

private:
    Profiles arranged_;
};

// The "Servers" pane of the preferences window: the stored servers, with
// add, remove, duplicate, edit, rename, import and export. Adding and
// duplicating store the new row at once and take it back when the sheet is
// cancelled; editing changes the stored server only on OK. The row acted on
// is the first focused row of the table. GUI thread only.
//
// Object names: "serversTableView", "addRemoveButton" (its segments
// "addSegment" and "removeSegment"), "duplicateButton", "editButton",
// "importButton", "exportButton".
class ServersPreferencesViewController : public MASPreferencesViewController {
    Q_OBJECT

public:
    enum Operation { Add = 0, Duplicate = 1, Edit = 2 };

    // On the application's shared preferences unless others are given.
    explicit ServersPreferencesViewController(std::shared_ptr<OrvikPreferences> preferences = nullptr,
                                              QObject* parent = nullptr);
    ~ServersPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("ServersPreferences"); }
    QString toolbarItemLabel() const override;
    QIcon toolbarItemImage() const override;
    QWidget* view() override;
    bool hasResizableWidth() const override { return false; }
    bool hasResizableHeight() const override { return false; }

    OrvikPreferences& preferences() const { return *preferences_; }
    ServersArrayController* serversArrayController() const { return serversArrayController_; }
    QTableView* serversTableView() const { return serversTableView_; }
    QWidget* addRemoveButton() const { return addRemoveButton_; }
    bool isSegmentEnabled(int segment) const;
    // The sheet while it is up.
    SettingsPanelController* settingsPanelController() const { return settingsPanelController_; }

public slots:
    void addOrRemoveProfile(int selectedSegment);
    void addProfile();
    void removeProfile();
    void duplicateProfile();
    void editProfile();
    void renameProfile();
    void profileNameDidChanged();
    void importServers();
    void exportAllServers();

private:
    void buildView();
    void removeProfileAtIndex(int index);
    void popupSettingsPanelWithProfile(const std::shared_ptr<OrvikController>& profile, int index,
                                       Operation operation);
    void updateRemoveButtonEnableState();
    // Stores `profile` at `index` at once and opens the sheet on it.
    void insertAndOpenSheet(const std::shared_ptr<OrvikController>& profile, int index, Operation operation);
    // Whether a sheet is up (it is brought to the front).
    bool sheetIsUp() const;
    // The first focused row, or -1.
    int focusedIndex() const;
    void saveList();
    void selectRow(int row);
    void scrollToSelectedRow();

    std::shared_ptr<OrvikPreferences> preferences_;
    QPointer<QWidget> view_;
    ServersArrayController* serversArrayController_ = nullptr;
    QTableView* serversTableView_ = nullptr;
    QWidget* addRemoveButton_ = nullptr;
    QToolButton* removeSegment_ = nullptr;
    QPointer<SettingsPanelController> settingsPanelController_;
};
