#include "Foundation/UserDefaults.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Log.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::mutex gRegistryMutex;
std::map<std::string, std::shared_ptr<UserDefaults>>& registry() {
    static std::map<std::string, std::shared_ptr<UserDefaults>> stores;
    return stores;
}
std::string gStandardPath;
std::string gApplication = "orvik";

std::string normalisedPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    return p.lexically_normal().string();
}

Error ioError(int err, const std::string& what, const std::string& path) {
    return Error(UserDefaults::ErrorDomain, err, what + " " + path + ": " + std::strerror(err),
                 "Check that the folder exists, is writable and that the disk is not full.");
}

} // namespace

std::string UserDefaults::defaultPathForApplication(const std::string& application) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return base + "/" + application + "/defaults.json";
}

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults() {
    std::string path;
    {
        std::lock_guard lock(gRegistryMutex);
        path = gStandardPath.empty() ? defaultPathForApplication(gApplication) : gStandardPath;
    }
    return userDefaultsWithPath(path);
}

void UserDefaults::setStandardApplicationName(const std::string& application) {
    std::lock_guard lock(gRegistryMutex);
    gApplication = application.empty() ? "orvik" : application;
}

void UserDefaults::setStandardUserDefaultsPath(const std::string& path) {
    std::lock_guard lock(gRegistryMutex);
    gStandardPath = path;
}

std::shared_ptr<UserDefaults> UserDefaults::userDefaultsWithPath(const std::string& path) {
    const std::string key = normalisedPath(path);
    std::lock_guard lock(gRegistryMutex);
    auto& store = registry()[key];
    if (!store) {
        store.reset(new UserDefaults(key));
        store->load();
    }
    return store;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

void UserDefaults::load() {
    std::error_code ec;
    if (!fs::exists(path_, ec)) return;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        Log::warning("Couldn't read preferences {}", path_);
        return;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    auto parsed = nlohmann::json::parse(buffer.str(), nullptr, false);
    if (!parsed.is_discarded() && parsed.is_object()) {
        values_ = std::move(parsed);
        return;
    }
    // Never let the next write replace a damaged file unseen: keep it aside.
    auto stamp =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::string aside = path_ + ".damaged-" + std::to_string(stamp);
    if (::rename(path_.c_str(), aside.c_str()) == 0) {
        Log::warning("Preferences {} are not a JSON object; kept aside as {}", path_, aside);
    } else {
        Log::warning("Preferences {} are not a JSON object and couldn't be kept aside: {}", path_,
                     std::strerror(errno));
    }
}

bool UserDefaults::writeLocked(Error* error) {
    const fs::path target(path_);
    const fs::path dir = target.parent_path();
    std::error_code ec;
    if (!dir.empty() && !fs::exists(dir, ec)) {
        fs::create_directories(dir, ec);
        if (!ec) ::chmod(dir.c_str(), 0700);
    }
    const std::string data = values_.dump(2) + "\n";
    const char* step = nullptr;
    if (int err = writeFileAtomically(path_, data, 0600, &step); err != 0) {
        Error e = ioError(err, std::string("Couldn't ") + step + " preferences", path_);
        Log::warning("{}", e.localizedDescription);
        if (error) *error = std::move(e);
        return false;
    }
    return true;
}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

bool UserDefaults::setObject(const std::string& key, const nlohmann::json& value, Error* error) {
    std::lock_guard lock(mutex_);
    if (value.is_null()) {
        values_.erase(key);
    } else {
        values_[key] = value;
    }
    return writeLocked(error);
}

bool UserDefaults::removeObjectForKey(const std::string& key, Error* error) {
    return setObject(key, nullptr, error);
}

bool UserDefaults::boolForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v) return false;
    if (v->is_boolean()) return v->get<bool>();
    if (v->is_number_integer()) return v->get<std::int64_t>() != 0;
    if (v->is_number()) return v->get<double>() != 0.0;
    return false;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v) return 0;
    if (v->is_boolean()) return v->get<bool>() ? 1 : 0;
    if (v->is_number_unsigned()) {
        auto u = v->get<std::uint64_t>();
        return std::in_range<std::int64_t>(u) ? static_cast<std::int64_t>(u) : 0;
    }
    if (v->is_number_integer()) return v->get<std::int64_t>();
    if (v->is_number()) {
        double d = v->get<double>();
        return d >= -9.2e18 && d <= 9.2e18 ? static_cast<std::int64_t>(d) : 0;
    }
    return 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v) return 0.0;
    if (v->is_boolean()) return v->get<bool>() ? 1.0 : 0.0;
    if (v->is_number()) return v->get<double>();
    return 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

bool UserDefaults::setBool(const std::string& key, bool value, Error* error) {
    return setObject(key, value, error);
}
bool UserDefaults::setInteger(const std::string& key, std::int64_t value, Error* error) {
    return setObject(key, value, error);
}
bool UserDefaults::setDouble(const std::string& key, double value, Error* error) {
    return setObject(key, value, error);
}
bool UserDefaults::setString(const std::string& key, const std::string& value, Error* error) {
    return setObject(key, value, error);
}

nlohmann::json UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return values_;
}
