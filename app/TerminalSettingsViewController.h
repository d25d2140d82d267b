#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class OrvikController;
class QAbstractButton;
class QGroupBox;
class VyTerminalThemeMenuItemObject;

// The theme picker of the server sheet: one swatch per predefined theme, in
// the background colour of its theme. The swatch of the edited server's theme
// shows its selection image; the others keep it as their alternate image.
// Choosing a swatch sets the server's theme at once (in the sheet's copy).
// GUI thread only.
//
// Object names: "themeColorsMenuContainer", its swatches "themeSwatch0",
// "themeSwatch1", ... (the swatch of entry i has the property "tag" = i).
class TerminalSettingsViewController : public QWidget {
    Q_OBJECT

public:
    explicit TerminalSettingsViewController(std::shared_ptr<OrvikController> shellController,
                                            QWidget* parent = nullptr);

    std::shared_ptr<OrvikController> shellController() const { return shellController_.lock(); }
    const std::vector<std::shared_ptr<VyTerminalThemeMenuItemObject>>& themeMenuItemsArray() const {
        return items_;
    }
    QGroupBox* themeColorsMenuContainer() const { return container_; }
    // The swatch of entry i.
    QAbstractButton* swatch(int tag) const;

    // A swatch was chosen.
    void themeColorSelected(QAbstractButton* sender);
    // Marks the entry of that theme valid and shows its selection image.
    void validateMenuItemWithThemeName(const std::string& name);

private:
    std::weak_ptr<OrvikController> shellController_;
    std::vector<std::shared_ptr<VyTerminalThemeMenuItemObject>> items_;
    QGroupBox* container_ = nullptr;
    std::vector<QAbstractButton*> swatches_;
};
