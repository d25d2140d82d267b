#pragma once

#include "Foundation/Error.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The user-defaults store: one JSON object per application in one file. There
// is one store per file in the process, so every preferences object that asks
// for the same file shares every value and sees every write at once. Each
// change rewrites the whole file atomically (temporary file, fsync, rename),
// mode 0600; a write that fails leaves the previous file whole, keeps the value
// in memory, logs a warning and returns false with an error. Thread-safe.
class UserDefaults {
public:
    static constexpr const char* ErrorDomain = "OrvikUserDefaultsErrorDomain";

    // $XDG_CONFIG_HOME/<application>/defaults.json ($HOME/.config when unset).
    static std::string defaultPathForApplication(const std::string& application);
    // The application's store: the path set by setStandardUserDefaultsPath, else
    // that of the application named by setStandardApplicationName ("orvik").
    static std::shared_ptr<UserDefaults> standardUserDefaults();
    static void setStandardApplicationName(const std::string& application);
    // Redirects standardUserDefaults (tests, a portable profile). Empty resets.
    static void setStandardUserDefaultsPath(const std::string& path);
    // The shared store of one file.
    static std::shared_ptr<UserDefaults> userDefaultsWithPath(const std::string& path);

    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::string& path() const { return path_; }

    // nullopt when the key has no value.
    std::optional<nlohmann::json> objectForKey(const std::string& key) const;
    // A null value removes the key.
    bool setObject(const std::string& key, const nlohmann::json& value, Error* error = nullptr);
    bool removeObjectForKey(const std::string& key, Error* error = nullptr);

    // Absent or unsuitable values read as false, 0, 0.0 and nullopt; numbers and
    // booleans read as each other (true is 1).
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    bool setBool(const std::string& key, bool value, Error* error = nullptr);
    bool setInteger(const std::string& key, std::int64_t value, Error* error = nullptr);
    bool setDouble(const std::string& key, double value, Error* error = nullptr);
    bool setString(const std::string& key, const std::string& value, Error* error = nullptr);

    // Every stored value, as one object.
    nlohmann::json dictionaryRepresentation() const;

private:
    explicit UserDefaults(std::string path);
    void load();
    bool writeLocked(Error* error);

    const std::string path_;
    mutable std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
};
