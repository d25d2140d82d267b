#pragma once

#include "Rellum/View/RellumKeyboardPreferencesViewController.h"

#include <memory>

class OrvikPreferences;

// The application's key-mapping pane: the terminal library's pane over the
// mappings in the application preferences ("key_mappings"); every change is
// written at once. The preferences window does not list it.
class KeyboardPreferencesViewController : public RellumKeyboardPreferencesViewController {
    Q_OBJECT

public:
    // Over the application's shared preferences unless others are given.
    explicit KeyboardPreferencesViewController(std::shared_ptr<OrvikPreferences> preferences = nullptr,
                                               QObject* parent = nullptr);

    QIcon toolbarItemImage() const override;
    RellumKeyMappings keyMappings() const override;
    void setKeyMappings(const RellumKeyMappings& mappings) override;

private:
    std::shared_ptr<OrvikPreferences> preferences_;
};
