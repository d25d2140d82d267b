#pragma once

#include "Rellum/RellumEscapeToken.h"
#include "Rellum/RellumKeyMapModel.h"
#include "Rellum/View/RellumKeyMappingsArrayController.h"
#include "Rellum/View/RellumTokenField.h"
#include "Wendle/Views/MASPreferencesViewController.h"
#include "Wendle/Views/WendlePopover.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QTableView;
class QWidget;

// One row of the escape help.
struct RellumEscapeHelpRow {
    std::string character;
    std::string hex;
    std::string represents;
    friend bool operator==(const RellumEscapeHelpRow&, const RellumEscapeHelpRow&) = default;
};

// The preference pane for key mappings: a list of mappings, and a sheet to add
// or edit one, whose send text shows backslash escapes as tokens. Storage is a
// subclass's business (keyMappings, setKeyMappings). Main thread only.
class RellumKeyboardPreferencesViewController : public MASPreferencesViewController,
                                                public RellumTokenFieldDelegate {
    Q_OBJECT

public:
    explicit RellumKeyboardPreferencesViewController(QObject* parent = nullptr);
    ~RellumKeyboardPreferencesViewController() override;

    // The mappings the pane edits; every change made in the pane is stored
    // through setKeyMappings.
    virtual RellumKeyMappings keyMappings() const = 0;
    virtual void setKeyMappings(const RellumKeyMappings& mappings) = 0;

    // The pane's view, built on first use (which reads keyMappings).
    QWidget* view() override;
    bool isViewLoaded() const { return view_ != nullptr; }
    // Reads keyMappings again into the list.
    void reloadKeyMappings();

    // Preferences-window pane.
    QString identifier() const override { return QStringLiteral("KeyboardPreferences"); }
    QIcon toolbarItemImage() const override;
    QString toolbarItemLabel() const override;

    // Actions.
    void addKeyMap(QObject* sender = nullptr);
    void editKeyMap(QObject* sender = nullptr);
    void ok(QObject* sender = nullptr);
    void cancel(QObject* sender = nullptr);
    void showEscapeHelpPopover(QWidget* sender);

    // The state of the open sheet.
    std::uint64_t editingKeycode() const { return editingKeycode_; }
    void setEditingKeycode(std::uint64_t keycode);
    std::uint64_t editingModifier() const { return editingModifier_; }
    void setEditingModifier(std::uint64_t modifier);
    const std::vector<RellumEscapeToken::Element>& editingTextTokens() const { return editingTextTokens_; }
    // Keeps the tokens normalised (through their text and back) and shows them.
    void setEditingTextTokens(const std::vector<RellumEscapeToken::Element>& tokens);

    const std::vector<RellumSortDescriptor>& sortDescriptors() const { return sortDescriptors_; }
    const std::vector<RellumEscapeHelpRow>& escapeCharacterHelpArray() const {
        return escapeCharacterHelpArray_;
    }
    static const std::vector<RellumKeyCodeEntry>& keyCodeList() { return RellumKeyMapModel::allKeyCodes(); }
    static const std::vector<RellumModifierEntry>& modifierList() {
        return RellumKeyMapModel::allModifiers();
    }

    // Outlets (null until the view is loaded).
    QCheckBox* optionAsMetaCheckButton() const { return optionAsMetaCheckButton_; }
    RellumKeyMappingsArrayController* keyMappingsArrayController() const {
        return keyMappingsArrayController_;
    }
    QDialog* mappingPanel() const { return mappingPanel_; }
    QComboBox* keycodePopUpButton() const { return keycodePopUpButton_; }
    QComboBox* modifierPopUpButton() const { return modifierPopUpButton_; }
    RellumTokenField* sendTextTokenField() const { return sendTextTokenField_; }
    QTableView* keyMappingTableView() const { return keyMappingTableView_; }
    WendlePopover* escapeHelpPopover() const { return escapeHelpPopover_; }

    // Token field delegate.
    RellumTokenStyle styleForRepresentedObject(const RellumEscapeToken::Element& element) const override;
    std::string displayStringForRepresentedObject(const RellumEscapeToken::Element& element) const override;
    bool doCommandBySelector(QWidget* control, std::string_view selector) override;

signals:
    // The sheet ended with this code (1 OK, 0 Cancel), after any commit.
    void sheetDidEnd(int returnCode);

private:
    void loadView();
    void viewDidLoad();
    void buildMappingPanel();
    void buildEscapeHelpPopover();
    void newOrReplaceKeyMap();
    void sheetEnded(int returnCode);
    void commitEditingMapping();
    RellumKeyMappings selectedObjects() const;
    void showEditingKeycode();
    void showEditingModifier();

    std::uint64_t editingKeycode_ = 0;
    std::uint64_t editingModifier_ = 0;
    std::vector<RellumEscapeToken::Element> editingTextTokens_;
    std::vector<RellumSortDescriptor> sortDescriptors_;
    std::vector<RellumEscapeHelpRow> escapeCharacterHelpArray_;

    QPointer<QWidget> view_;
    QCheckBox* optionAsMetaCheckButton_ = nullptr;
    RellumKeyMappingsArrayController* keyMappingsArrayController_ = nullptr;
    QDialog* mappingPanel_ = nullptr;
    QComboBox* keycodePopUpButton_ = nullptr;
    QComboBox* modifierPopUpButton_ = nullptr;
    RellumTokenField* sendTextTokenField_ = nullptr;
    QTableView* keyMappingTableView_ = nullptr;
    WendlePopover* escapeHelpPopover_ = nullptr;
};
