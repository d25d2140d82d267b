#pragma once

#include "Foundation/KeyValueObservable.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QLineEdit;
class QPushButton;
class WendlePopover;

class VySmartGroupEditingPanelControllerDelegate {
public:
    virtual ~VySmartGroupEditingPanelControllerDelegate() = default;
    // The keywords changed (also once when the sheet's window loads).
    virtual void actionKeywordsDidChange(const QString&) {}
};

// The sheet that adds, edits or deletes one smart group: a name and the
// keywords (the search text). It ends with 0 for Save, 1 for Cancel (also
// Escape and closing the window) and 2 for Delete, which only the editing
// mode offers. Save stays disabled while the name or the keywords have no
// words.
//
// Object names: "smartGroupEditingPanel" (the window), "nameTextField",
// "keywordsTextField", "saveButton", "cancelButton", "deleteButton",
// "helpButton", "helpPopover".
class VySmartGroupEditingPanelController : public QObject, public KeyValueObservable {
    Q_OBJECT

public:
    static constexpr int SaveCode = 0;
    static constexpr int CancelCode = 1;
    static constexpr int DeleteCode = 2;

    VySmartGroupEditingPanelController(const QString& smartGroupName, const QString& searchingText,
                                       bool editingMode, QObject* parent = nullptr);
    ~VySmartGroupEditingPanelController() override;

    const QString& smartGroupName() const { return smartGroupName_; }
    void setSmartGroupName(const QString& name);
    const QString& keywords() const { return keywords_; }
    void setKeywords(const QString& keywords);
    bool isEditingMode() const { return isEditingMode_; }

    VySmartGroupEditingPanelControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(VySmartGroupEditingPanelControllerDelegate* delegate) { delegate_ = delegate; }

    // The sheet's window, made on first use.
    QDialog* window();
    // Opens the sheet on `parentWindow` (window-modal, returns at once);
    // `completion` hears the code when it ends.
    void beginSheet(QWidget* parentWindow, std::function<void(int code)> completion);

    // Actions.
    void save();
    void cancel();
    void deleteSmartGroup();
    void showHelpPopover(QPushButton* sender);

    // Outlets (null until the window loads).
    QLineEdit* nameTextField() const { return nameTextField_; }
    QLineEdit* keywordsTextField() const { return keywordsTextField_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    WendlePopover* helpPopover() const { return helpPopover_; }

private:
    void loadWindow();
    void windowDidLoad();
    void observedValueDidChange(const std::string& key);
    void endSheet(int code);

    QString smartGroupName_;
    QString keywords_;
    bool isEditingMode_;
    VySmartGroupEditingPanelControllerDelegate* delegate_ = nullptr;
    std::function<void(int)> completion_;

    QPointer<QDialog> window_;
    QLineEdit* nameTextField_ = nullptr;
    QLineEdit* keywordsTextField_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    WendlePopover* helpPopover_ = nullptr;
    ObservationToken nameObservation_;
    ObservationToken keywordsObservation_;
};
