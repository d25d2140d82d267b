#pragma once

#include "Wendle/Views/MASPreferencesViewController.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class HalvexPrivateKeyContainer;
class HalvexPrivateKeyModel;
class KvPrivateKeysTableView;
class QPushButton;

// The name of the notice posted once for each deleted key; its user info is
// {"key_id": the key's id}, its object the pane.
inline constexpr const char* HalvexPrivateKeyDeletedNotification =
    "com.brimble.halvex.extras.privatekey.deleted.notification";

// The table's content: the store's keys, by name. It follows the store's
// cache and each key's flags; the selection is the table's. Column 0 is the
// name (editable), 1 the lock of an encrypted key, 2 the check mark of a
// passphrase in the keychain.
class PrivateKeysArrayController : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit PrivateKeysArrayController(HalvexPrivateKeyContainer& container, QObject* parent = nullptr);

    const std::vector<std::shared_ptr<HalvexPrivateKeyModel>>& arrangedObjects() const { return arranged_; }
    // The row of the key with this id, or -1.
    int rowOfKey(const std::string& keyId) const;
    // Rebuilds the rows from the store's cache.
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    HalvexPrivateKeyContainer& container_;
    std::vector<std::shared_ptr<HalvexPrivateKeyModel>> arranged_;
    QObject* keyObservers_ = nullptr;
};

// The "Private Keys" pane of the preferences window: the store's keys in a
// table, and actions to import keys, delete them, store a key's passphrase
// in the keychain or forget it, rename a key in place, and open the help page
// about keys. It keeps no data of its own. GUI thread only.
//
// Object names: "keysTableView", "importButton", "deleteButton",
// "rememberButton", "forgetButton", "helpButton".
class PrivateKeysPreferencesViewController : public MASPreferencesViewController {
    Q_OBJECT

public:
    explicit PrivateKeysPreferencesViewController(QObject* parent = nullptr);
    ~PrivateKeysPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("PrivateKeysPreferences"); }
    QString toolbarItemLabel() const override;
    QIcon toolbarItemImage() const override;
    QWidget* view() override;
    void viewWillAppear() override;
    bool hasResizableWidth() const override { return false; }
    bool hasResizableHeight() const override { return false; }

    HalvexPrivateKeyContainer& privateKeyContainer() const;
    PrivateKeysArrayController* keysArrayController() const { return keysArrayController_; }
    KvPrivateKeysTableView* keysTableView() const { return keysTableView_; }
    // The selected keys, in table order.
    std::vector<std::shared_ptr<HalvexPrivateKeyModel>> selectedObjects() const;

    // The address the help button opens.
    static QString helpURL();

public slots:
    void importPrivateKey();
    void deletePrivateKeys();
    void rememberToKeychain();
    void forgetFromKeychain();
    void openHelpURL();

private:
    void buildView();
    void updateButtons();
    void selectRows(const std::vector<int>& rows);

    QPointer<QWidget> view_;
    PrivateKeysArrayController* keysArrayController_ = nullptr;
    KvPrivateKeysTableView* keysTableView_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* rememberButton_ = nullptr;
    QPushButton* forgetButton_ = nullptr;
};
