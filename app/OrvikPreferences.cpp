#include "app/OrvikPreferences.h"

#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Foundation/Log.h"
#include "Wendle/WendleFunctions.h"
#include "Wendle/WendleStrings.h"
#include "app/OrvikController.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

OrvikPreferences& OrvikPreferences::sharedPreferences() {
    return *sharedPreferencesPointer();
}

std::shared_ptr<OrvikPreferences> OrvikPreferences::sharedPreferencesPointer() {
    static const std::shared_ptr<OrvikPreferences> shared = std::make_shared<OrvikPreferences>();
    return shared;
}

OrvikPreferences::OrvikPreferences() : OrvikPreferences(UserDefaults::standardUserDefaults()) {}

OrvikPreferences::OrvikPreferences(std::shared_ptr<UserDefaults> userDefaults)
    : HalvexPreferences(std::move(userDefaults)), themes_(VyTerminalThemeObject::defaultThemes()) {
    // Archives of the server list name these classes.
    (void)OrvikController::classDescription();
    (void)RellumKeyMapModel::classDescription();
}

template <class T>
std::vector<std::shared_ptr<T>> OrvikPreferences::loadList(const char* key, const char* what) const {
    auto stored = userDefaults()->objectForKey(key);
    if (!stored) return {};
    Error error;
    std::size_t failures = 0;
    auto decoded = KeyedUnarchiver::unarchiveDecodableElementsOfClass<T>(*stored, &failures, &error);
    // What does not decode now may with a later version: it is never written over.
    if (!decoded || failures > 0)
        keepUndecodableValueAside(*userDefaults(), key, *stored, error, std::string("Stored ") + what);
    if (!decoded) return {};
    return std::move(*decoded);
}

template <class T>
const std::vector<std::shared_ptr<T>>& OrvikPreferences::cachedList(StoredList<T>& list) const {
    if (!list.cache) list.cache = loadList<T>(list.key, list.what);
    return *list.cache;
}

template <class T>
void OrvikPreferences::storeList(StoredList<T>& list, std::vector<std::shared_ptr<T>> items,
                                 const char* observedKey) {
    std::erase(items, nullptr);
    willChangeValueForKey(observedKey);
    {
        std::lock_guard lock(listMutex_);
        // Read first, so that a stored value that does not decode is put aside before it is replaced.
        (void)cachedList(list);
        Error error;
        if (!userDefaults()->setObject(list.key, KeyedArchiver::archivedDataWithArray(items), &error))
            Log::warning("Couldn't store the {}: {}", list.what, error.localizedDescription);
        list.cache = std::move(items);
    }
    didChangeValueForKey(observedKey);
}

std::vector<std::shared_ptr<OrvikController>> OrvikPreferences::shellProfiles() const {
    std::lock_guard lock(listMutex_);
    return cachedList(profiles_);
}

void OrvikPreferences::setShellProfiles(std::vector<std::shared_ptr<OrvikController>> profiles) {
    storeList(profiles_, std::move(profiles), "shellProfiles");
}

std::shared_ptr<OrvikController> OrvikPreferences::shellControllerWithUID(const std::string& uid) const {
    std::shared_ptr<OrvikController> found;
    for (auto& profile : shellProfiles())
        if (profile->uid == uid) found = profile;
    return found;
}

std::vector<std::shared_ptr<RellumKeyMapModel>> OrvikPreferences::keyMappings() const {
    std::lock_guard lock(listMutex_);
    return cachedList(keyMappings_);
}

void OrvikPreferences::setKeyMappings(std::vector<std::shared_ptr<RellumKeyMapModel>> mappings) {
    storeList(keyMappings_, std::move(mappings), "keyMappings");
}

double OrvikPreferences::defaultFontSize() const {
    auto stored = userDefaults()->objectForKey(DefaultTextSizeKey);
    if (!stored || !stored->is_number()) {
        userDefaults()->setDouble(DefaultTextSizeKey, DefaultTextSize);
        return DefaultTextSize;
    }
    // Kept at single precision, as the value was always read.
    return static_cast<double>(static_cast<float>(stored->get<double>()));
}

void OrvikPreferences::setDefaultFontSize(double size) {
    userDefaults()->setDouble(DefaultTextSizeKey, size);
}

std::string OrvikPreferences::defaultFontFamily() const {
    if (auto stored = userDefaults()->stringForKey(DefaultFontNameKey)) return *stored;
    userDefaults()->setString(DefaultFontNameKey, DefaultFontName);
    return DefaultFontName;
}

void OrvikPreferences::setDefaultFontFamily(const std::string& family) {
    userDefaults()->setString(DefaultFontNameKey, family);
}

const std::vector<std::string>& OrvikPreferences::builtinFontNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return out;
        const int systemSize = QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSize();
        for (const QString& family : QFontDatabase::families()) {
            if (!QFontDatabase::isFixedPitch(family)) continue;
            // Only a family that really gives a font of its own counts.
            QFontInfo info(QFont(family, systemSize > 0 ? systemSize : 12));
            if (info.family().compare(family, Qt::CaseInsensitive) != 0) continue;
            std::string name = family.toStdString();
            if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(std::move(name));
        }
        std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
            return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
        });
        return out;
    }();
    return names;
}

std::shared_ptr<VyTerminalThemeObject> OrvikPreferences::themeWithName(const std::string& name) const {
    return VyTerminalThemeObject::themeNamed(themes_, name);
}

std::vector<std::shared_ptr<VyTerminalThemeMenuItemObject>> OrvikPreferences::newThemeMenuItems() {
    std::vector<std::shared_ptr<VyTerminalThemeMenuItemObject>> items;
    for (const auto& theme : sharedPreferences().preDefineThemesArray())
        items.push_back(VyTerminalThemeMenuItemObject::themeMenuItemObjectWithName(theme->themeName()));
    return items;
}

bool OrvikPreferences::isApplicationExecutedEver() const {
    if (userDefaults()->boolForKey(ApplicationExecutedEverKey)) return true;
    userDefaults()->setBool(ApplicationExecutedEverKey, true);
    return false;
}

std::shared_ptr<VyTerminalThemeObject> OrvikPreferences::defaultTheme() const {
    return themes_.empty() ? nullptr : themes_.front();
}

std::vector<std::shared_ptr<OrvikController>> OrvikPreferences::preDefineShellProfiles() const {
    std::vector<std::shared_ptr<OrvikController>> profiles;
    for (const auto& theme : themes_) {
        auto controller = std::make_shared<OrvikController>();
        auto profile = controller->profile();
        profile->setProfile_name(theme->themeName());
        profile->setTheme_name(theme->themeName());
        profiles.push_back(std::move(controller));
    }
    return profiles;
}

std::string OrvikPreferences::initialPWD() const {
    return WendleGetUserRealHomePath();
}

namespace {
std::string loginName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
    return {};
}
} // namespace

std::vector<std::string> OrvikPreferences::loginArgs() const {
    std::string args = std::string("-fp \"").append(loginName()).append("\"");
    if (auto command = startupCommand(); command && !command->empty()) args.append(" ").append(*command);
    return componentsInShellCommand(args);
}

std::map<std::string, std::string> OrvikPreferences::defaultEnv() const {
    // A host program must never take Orvik for another terminal program.
    return {{"PWD", initialPWD()}, {"TERM_PROGRAM", "Orvik"}, {"TERM", "xterm"}};
}
