#pragma once

#include "Foundation/UserDefaults.h"
#include "Halvex/HalvexKnownHostModel.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct HalvexKnownHostStore;

// The framework's preferences over the standard user defaults: the identity of
// the application and of its login item, the launch-at-login switch, the
// upgrade-notes and model-version markers, and the known hosts.
//
// Every preferences object over the same user defaults (the framework's shared
// instance, the application's subclass) shares one known-hosts store, so a
// change made through one is seen by the other's next lookup and never undone
// by its next write.
//
// Threads: every member may be called on any thread. The known-hosts store is
// locked; it hands out copies, so a known host being checked on the SSH
// session's thread is never an object the main thread reads. setAutoLaunch may
// show an alert (see HalvexAlertPresenter) and is meant for the main thread.
class HalvexPreferences {
public:
    static constexpr const char* KnownHostsKey = "known_hosts";
    static constexpr const char* AutoLaunchKey = "auto_launch";
    static constexpr const char* UpgradeNotesKey = "upgrade_notes";
    static constexpr const char* ModelVersionKey = "model_version";
    static constexpr std::int64_t CurrentModelVersion = 150300;

    // The framework's instance over the standard user defaults, made once.
    static HalvexPreferences& sharedPreferences();

    // Over the standard user defaults, or over the given ones.
    HalvexPreferences();
    explicit HalvexPreferences(std::shared_ptr<UserDefaults> userDefaults);
    virtual ~HalvexPreferences();
    HalvexPreferences(const HalvexPreferences&) = delete;
    HalvexPreferences& operator=(const HalvexPreferences&) = delete;

    const std::shared_ptr<UserDefaults>& userDefaults() const { return userDefaults_; }

    // Set by the application at launch.
    std::string appID() const;
    void setAppID(std::string value);
    std::string appName() const;
    void setAppName(std::string value);
    std::string helperAppID() const;
    void setHelperAppID(std::string value);
    std::string helperAppName() const;
    void setHelperAppName(std::string value);
    // The program the login item starts; empty means this process's program.
    std::string helperAppExecutable() const;
    void setHelperAppExecutable(std::string value);

    // The stored switch (false when absent).
    bool autoLaunch() const;
    // Writes or removes the login item (an XDG autostart entry named after
    // helperAppID); a failure is shown in an alert. The switch is stored
    // either way.
    void setAutoLaunch(bool autoLaunch);

    bool showUpgradeNotes() const;
    void setShowUpgradeNotes(bool show);
    std::int64_t modelVersionNumber() const;
    void updateModelVersionNumber();
    // For data of version 150200 or older: migrates the private keys, then
    // records the current version. Otherwise does nothing.
    void upgrade();

    // Copies of the stored known hosts, in order. A stored value that does not
    // decode reads as none; its bytes are kept aside under
    // "known_hosts.undecodable" (".2", ".3"... when taken) with a warning, so
    // the next write does not lose them.
    std::vector<std::shared_ptr<HalvexKnownHostModel>> knownHosts() const;
    // Replaces the list (copies are kept) and writes it.
    void setKnownHosts(const std::vector<std::shared_ptr<HalvexKnownHostModel>>& hosts);
    // Appends a copy and writes.
    void addKnownHost(const HalvexKnownHostModel& host);
    // Copies the address and key of `host` into every stored host of the same
    // name and port that differs from it; writes when one changed.
    void updateKnownHost(const HalvexKnownHostModel& host);
    // Removes every stored host of the same name and port (null: nothing) and
    // writes.
    void removeKnownHost(const HalvexKnownHostModel* host);
    // A copy of the host stored for "name:port" (the later of two), or null.
    std::shared_ptr<HalvexKnownHostModel> getKnownHost(const std::string& host, std::uint16_t port) const;

    // Copies a stored value that does not decode to "<key>.undecodable"
    // (".2", ".3"... when taken by another value), once, with a warning naming
    // `what`, so that the next write of `key` cannot lose it.
    static void keepUndecodableValueAside(UserDefaults& defaults, const std::string& key,
                                          const nlohmann::json& value, const Error& error,
                                          std::string_view what);

protected:
    // Run by upgrade(): the shared private-key store's migration.
    virtual void migratePrivateKeyContainer();

private:
    std::shared_ptr<UserDefaults> userDefaults_;
    std::shared_ptr<HalvexKnownHostStore> store_;
    mutable std::mutex mutex_;
    std::string appID_, appName_, helperAppID_, helperAppName_, helperAppExecutable_;
};
