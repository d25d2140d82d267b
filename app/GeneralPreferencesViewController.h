#pragma once

#include "Wendle/Views/MASPreferencesViewController.h"

#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>

class OrvikPreferences;
class QComboBox;
class QDialog;
class QLabel;
class QSpinBox;

// The "General" pane of the preferences window: the default terminal font,
// chosen in a sheet (`fontPanel`) and stored in the application preferences.
// Confirming the sheet stores the family, then the size, and posts
// "OrvikFontDidChange" once with the font (a std::shared_ptr<const RellumFont>,
// null when the family is not installed, which every observer ignores).
// Cancelling changes and posts nothing. The sheet reloads its values from the
// preferences each time it opens. GUI thread only.
//
// Object names: "GeneralPreferencesView", "fontDescription", "openFontPanel",
// "fontPanel" with "fontFamily" (an editable family chooser), "fontSize",
// "fontPanelOK", "fontPanelCancel".
class GeneralPreferencesViewController : public MASPreferencesViewController {
    Q_OBJECT

public:
    static constexpr int MinimumSheetFontSize = 1;
    static constexpr int MaximumSheetFontSize = 288;

    // Over the application's shared preferences unless others are given.
    explicit GeneralPreferencesViewController(std::shared_ptr<OrvikPreferences> preferences = nullptr,
                                              QObject* parent = nullptr);
    ~GeneralPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("GeneralPreferences"); }
    QString toolbarItemLabel() const override;
    QIcon toolbarItemImage() const override;
    QWidget* view() override;
    void viewWillAppear() override { showStoredFont(); }
    bool hasResizableWidth() const override { return false; }
    bool hasResizableHeight() const override { return false; }

    OrvikPreferences& preferences() const { return *preferences_; }
    QDialog* fontPanel() const { return fontPanel_; }

    // The values the sheet shows and edits.
    const std::string& fontFamily() const { return fontFamily_; }
    void setFontFamily(const std::string& family);
    std::uint64_t fontSize() const { return fontSize_; }
    void setFontSize(std::uint64_t size);

    // A stored size in whole points: the fraction dropped (12.5 gives 12),
    // anything not a number or below 0 gives 0, and huge sizes stop at the
    // largest the type holds.
    static std::uint64_t wholePoints(double size);

    // Loads the sheet's values from the preferences and opens it on the
    // pane's window.
    void openFontPanel();
    // End the sheet with code 1 / 0.
    void fontPanelOK();
    void fontPanelCancel();

signals:
    // The sheet ended with this code, after any change was stored and posted.
    void fontPanelDidEnd(int returnCode);

private:
    void buildView();
    void buildFontPanel();
    void fontPanelDidEndWithCode(int returnCode);
    void showStoredFont();

    std::shared_ptr<OrvikPreferences> preferences_;
    std::string fontFamily_;
    std::uint64_t fontSize_ = 0;
    QPointer<QWidget> view_;
    QLabel* fontDescription_ = nullptr;
    QDialog* fontPanel_ = nullptr;
    QComboBox* familyChooser_ = nullptr;
    QSpinBox* sizeField_ = nullptr;
};
