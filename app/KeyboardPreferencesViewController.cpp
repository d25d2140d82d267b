#include "app/KeyboardPreferencesViewController.h"

#include "app/OrvikImages.h"
#include "app/OrvikPreferences.h"

KeyboardPreferencesViewController::KeyboardPreferencesViewController(
    std::shared_ptr<OrvikPreferences> preferences, QObject* parent)
    : RellumKeyboardPreferencesViewController(parent),
      preferences_(preferences ? std::move(preferences) : OrvikPreferences::sharedPreferencesPointer()) {}

QIcon KeyboardPreferencesViewController::toolbarItemImage() const {
    return OrvikImageNamed(QStringLiteral("preference-keyboard"));
}

RellumKeyMappings KeyboardPreferencesViewController::keyMappings() const {
    return preferences_->keyMappings();
}

void KeyboardPreferencesViewController::setKeyMappings(const RellumKeyMappings& mappings) {
    preferences_->setKeyMappings(mappings);
}
