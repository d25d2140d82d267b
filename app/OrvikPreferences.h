#pragma once

#include "Foundation/KeyValueObservable.h"
#include "Halvex/HalvexPreferences.h"
#include "Rellum/RellumKeyMapModel.h"
#include "Rellum/VyTerminalThemeObject.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class OrvikController;

// The application's preferences: the stored servers, the key mappings, the
// default terminal font, the fixed-pitch families and the predefined themes,
// on top of the framework's (known hosts, login item, identity). Everything
// lives in the user defaults.
//
// The two lists are read once and cached; every change goes through their
// setters, which write the whole list at once. A stored list that does not
// decode, or holds elements that do not, is kept aside under
// "<key>.undecodable" before anything is written over it; the elements that
// do decode are used.
//
// Threads: any thread; the lists are locked. Observers of "shellProfiles"
// hear the change on the thread that set it (the main thread in the
// application).
class OrvikPreferences : public HalvexPreferences, public KeyValueObservable {
public:
    static constexpr const char* ShellProfilesKey = "orvik_profiles";
    static constexpr const char* KeyMappingsKey = "key_mappings";
    static constexpr const char* DefaultTextSizeKey = "default_text_size";
    static constexpr const char* DefaultFontNameKey = "default_font_name";
    static constexpr const char* ApplicationExecutedEverKey = "is_application_executed_ever";
    static constexpr double DefaultTextSize = 16.0;
    static constexpr const char* DefaultFontName = "Menlo";

    // The application's own instance over the standard user defaults, made
    // once; not the framework's HalvexPreferences::sharedPreferences().
    static OrvikPreferences& sharedPreferences();
    static std::shared_ptr<OrvikPreferences> sharedPreferencesPointer();

    OrvikPreferences();
    explicit OrvikPreferences(std::shared_ptr<UserDefaults> userDefaults);

    // The stored servers (profiles that are never connected themselves).
    std::vector<std::shared_ptr<OrvikController>> shellProfiles() const;
    // Caches a copy of the list and writes it at once.
    void setShellProfiles(std::vector<std::shared_ptr<OrvikController>> profiles);
    // The stored server with this uid (the last one when several have it), or null.
    std::shared_ptr<OrvikController> shellControllerWithUID(const std::string& uid) const;

    std::vector<std::shared_ptr<RellumKeyMapModel>> keyMappings() const;
    void setKeyMappings(std::vector<std::shared_ptr<RellumKeyMapModel>> mappings);

    // 16 and "Menlo" when absent; the default is stored on first read.
    double defaultFontSize() const;
    void setDefaultFontSize(double size);
    std::string defaultFontFamily() const;
    void setDefaultFontFamily(const std::string& family);

    // The installed fixed-pitch families, sorted case-insensitively; computed
    // once per process. Needs a Qt GUI application.
    static const std::vector<std::string>& builtinFontNames();

    const std::vector<std::shared_ptr<VyTerminalThemeObject>>& preDefineThemesArray() const {
        return themes_;
    }
    // The first predefined theme of that name, or null.
    std::shared_ptr<VyTerminalThemeObject> themeWithName(const std::string& name) const;
    // One menu item object per predefined theme, in order.
    static std::vector<std::shared_ptr<VyTerminalThemeMenuItemObject>> newThemeMenuItems();

    // True when the application ran before; the first call stores that it has.
    bool isApplicationExecutedEver() const;
    std::shared_ptr<VyTerminalThemeObject> defaultTheme() const;
    // A new server per predefined theme, its terminal profile named after it.
    std::vector<std::shared_ptr<OrvikController>> preDefineShellProfiles() const;
    std::optional<std::string> startupCommand() const { return std::nullopt; }
    std::string initialPWD() const;
    std::string loginProg() const { return "login"; }
    std::vector<std::string> loginArgs() const;
    std::map<std::string, std::string> defaultEnv() const;
    std::optional<std::string> termName() const { return std::nullopt; }

private:
    // One stored list: its user-defaults key, what it holds (for warnings),
    // and its items once read.
    template <class T>
    struct StoredList {
        const char* key;
        const char* what;
        std::optional<std::vector<std::shared_ptr<T>>> cache;
    };

    template <class T>
    std::vector<std::shared_ptr<T>> loadList(const char* key, const char* what) const;
    // Under listMutex_.
    template <class T>
    const std::vector<std::shared_ptr<T>>& cachedList(StoredList<T>& list) const;
    template <class T>
    void storeList(StoredList<T>& list, std::vector<std::shared_ptr<T>> items, const char* observedKey);

    std::vector<std::shared_ptr<VyTerminalThemeObject>> themes_;
    mutable std::mutex listMutex_;
    mutable StoredList<OrvikController> profiles_{ShellProfilesKey, "servers", std::nullopt};
    mutable StoredList<RellumKeyMapModel> keyMappings_{KeyMappingsKey, "key mappings", std::nullopt};
};
