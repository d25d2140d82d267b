#include "Halvex/HalvexPreferences.h"

#include "Foundation/Assert.h"
#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Foundation/Log.h"
#include "Halvex/HalvexAlertPresenter.h"
#include "Halvex/HalvexLoginItem.h"
#include "Halvex/HalvexPrivateKeyContainer.h"

#include <filesystem>
#include <map>

// One per user-defaults file: the cached list of known hosts and the map from
// "name:port" to the host, both touched only under the lock.
struct HalvexKnownHostStore {
    using Hosts = std::vector<std::shared_ptr<HalvexKnownHostModel>>;

    std::mutex mutex;
    bool loaded = false;
    Hosts hosts;
    std::map<std::string, std::shared_ptr<HalvexKnownHostModel>> byKey;

    static std::string keyFor(const HalvexKnownHostModel& host) {
        std::string key = host.host_name.value_or("");
        return key.append(":").append(host.host_port ? std::to_string(*host.host_port) : std::string());
    }

    void rebuildMap() {
        byKey.clear();
        for (const auto& h : hosts)
            byKey[keyFor(*h)] = h;
    }

    void loadLocked(UserDefaults& defaults) {
        if (loaded) return;
        loaded = true;
        hosts.clear();
        auto stored = defaults.objectForKey(HalvexPreferences::KnownHostsKey);
        if (stored) {
            Error error;
            auto decoded = KeyedUnarchiver::unarchiveArrayOfClass<HalvexKnownHostModel>(*stored, &error);
            if (decoded) {
                for (auto& h : *decoded)
                    if (h) hosts.push_back(std::move(h));
            } else {
                HalvexPreferences::keepUndecodableValueAside(defaults, HalvexPreferences::KnownHostsKey,
                                                             *stored, error, "Stored known hosts");
            }
        }
        rebuildMap();
    }

    void writeLocked(UserDefaults& defaults) {
        Error error;
        if (!defaults.setObject(HalvexPreferences::KnownHostsKey, KeyedArchiver::archivedDataWithArray(hosts),
                                &error))
            Log::warning("Couldn't store the known hosts: {}", error.localizedDescription);
    }

    static Hosts copies(const Hosts& hosts) {
        Hosts result;
        result.reserve(hosts.size());
        for (const auto& h : hosts)
            if (h) result.push_back(h->copyAs<HalvexKnownHostModel>());
        return result;
    }
};

namespace {
std::shared_ptr<HalvexKnownHostStore> storeFor(const UserDefaults& defaults) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<HalvexKnownHostStore>> stores;
    std::lock_guard lock(mutex);
    auto& store = stores[defaults.path()];
    if (!store) store = std::make_shared<HalvexKnownHostStore>();
    return store;
}

std::string currentExecutable() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}
} // namespace

void HalvexPreferences::keepUndecodableValueAside(UserDefaults& defaults, const std::string& key,
                                                  const nlohmann::json& value, const Error& error,
                                                  std::string_view what) {
    const std::string base = std::string(key).append(".undecodable");
    std::string asideKey = base;
    for (int n = 2;; ++n) {
        auto existing = defaults.objectForKey(asideKey);
        if (!existing) break;
        if (*existing == value) {
            Log::warning("{} don't decode ({}); they are kept under \"{}\"", what, error.localizedDescription,
                         asideKey);
            return;
        }
        asideKey = base + "." + std::to_string(n);
    }
    defaults.setObject(asideKey, value);
    Log::warning("{} don't decode ({}); kept aside under \"{}\"", what, error.localizedDescription, asideKey);
}

HalvexPreferences& HalvexPreferences::sharedPreferences() {
    static HalvexPreferences shared;
    return shared;
}

HalvexPreferences::HalvexPreferences() : HalvexPreferences(UserDefaults::standardUserDefaults()) {}

HalvexPreferences::HalvexPreferences(std::shared_ptr<UserDefaults> userDefaults)
    : userDefaults_(std::move(userDefaults)) {
    ORVIK_ASSERT(userDefaults_ != nullptr);
    // Archives of known hosts name these classes; make sure they decode.
    (void)HalvexKnownHostModel::classDescription();
    store_ = storeFor(*userDefaults_);
}

HalvexPreferences::~HalvexPreferences() = default;

#define HALVEX_TEXT_PROPERTY(getter, setter, member)                                                         \
    std::string HalvexPreferences::getter() const {                                                          \
        std::lock_guard lock(mutex_);                                                                        \
        return member;                                                                                       \
    }                                                                                                        \
    void HalvexPreferences::setter(std::string value) {                                                      \
        std::lock_guard lock(mutex_);                                                                        \
        member = std::move(value);                                                                           \
    }
HALVEX_TEXT_PROPERTY(appID, setAppID, appID_)
HALVEX_TEXT_PROPERTY(appName, setAppName, appName_)
HALVEX_TEXT_PROPERTY(helperAppID, setHelperAppID, helperAppID_)
HALVEX_TEXT_PROPERTY(helperAppName, setHelperAppName, helperAppName_)
HALVEX_TEXT_PROPERTY(helperAppExecutable, setHelperAppExecutable, helperAppExecutable_)
#undef HALVEX_TEXT_PROPERTY

bool HalvexPreferences::autoLaunch() const {
    return userDefaults_->boolForKey(AutoLaunchKey);
}

void HalvexPreferences::setAutoLaunch(bool autoLaunch) {
    std::string executable = helperAppExecutable();
    if (executable.empty()) executable = currentExecutable();
    Error error;
    if (!HalvexLoginItem::setEnabled(helperAppID(), helperAppName(), executable, autoLaunch, &error)) {
        Log::warning("Login item: {}", error.localizedDescription);
        HalvexAlert alert;
        alert.style = HalvexAlert::Style::warning;
        alert.messageText = "An error ocurred";
        alert.informativeText =
            std::string(autoLaunch ? "Couldn't add " : "Couldn't remove ")
                .append(helperAppName())
                .append(autoLaunch ? " to launch at login item list." : " from launch at login item list.");
        alert.buttons = {"OK"};
        HalvexAlertPresenter::run(alert);
    }
    userDefaults_->setBool(AutoLaunchKey, autoLaunch);
}

bool HalvexPreferences::showUpgradeNotes() const {
    return userDefaults_->integerForKey(UpgradeNotesKey) < 1502;
}

void HalvexPreferences::setShowUpgradeNotes(bool show) {
    userDefaults_->setInteger(UpgradeNotesKey, show ? 0 : CurrentModelVersion);
}

std::int64_t HalvexPreferences::modelVersionNumber() const {
    return userDefaults_->integerForKey(ModelVersionKey);
}

void HalvexPreferences::updateModelVersionNumber() {
    userDefaults_->setInteger(ModelVersionKey, CurrentModelVersion);
}

void HalvexPreferences::upgrade() {
    if (modelVersionNumber() > 150200) return;
    migratePrivateKeyContainer();
    updateModelVersionNumber();
}

void HalvexPreferences::migratePrivateKeyContainer() {
    HalvexPrivateKeyContainer::sharedPrivateKeyContainer().migratePrivateKeyContainer();
}

std::vector<std::shared_ptr<HalvexKnownHostModel>> HalvexPreferences::knownHosts() const {
    std::lock_guard lock(store_->mutex);
    store_->loadLocked(*userDefaults_);
    return HalvexKnownHostStore::copies(store_->hosts);
}

void HalvexPreferences::setKnownHosts(const std::vector<std::shared_ptr<HalvexKnownHostModel>>& hosts) {
    auto copies = HalvexKnownHostStore::copies(hosts);
    std::lock_guard lock(store_->mutex);
    store_->loaded = true;
    store_->hosts = std::move(copies);
    store_->rebuildMap();
    store_->writeLocked(*userDefaults_);
}

void HalvexPreferences::addKnownHost(const HalvexKnownHostModel& host) {
    auto copy = host.copyAs<HalvexKnownHostModel>();
    std::lock_guard lock(store_->mutex);
    store_->loadLocked(*userDefaults_);
    store_->hosts.push_back(std::move(copy));
    store_->rebuildMap();
    store_->writeLocked(*userDefaults_);
}

void HalvexPreferences::updateKnownHost(const HalvexKnownHostModel& host) {
    std::lock_guard lock(store_->mutex);
    store_->loadLocked(*userDefaults_);
    bool changed = false;
    for (auto& stored : store_->hosts) {
        if (stored->host_name != host.host_name || stored->host_port != host.host_port) continue;
        if (stored->isEqual(host)) continue;
        stored->host_ip = host.host_ip;
        stored->setHost_key(host.host_key());
        stored->setHost_key_type(host.host_key_type());
        changed = true;
    }
    if (changed) store_->writeLocked(*userDefaults_);
}

void HalvexPreferences::removeKnownHost(const HalvexKnownHostModel* host) {
    if (!host) return;
    const std::uint16_t port = host->port();
    std::lock_guard lock(store_->mutex);
    store_->loadLocked(*userDefaults_);
    std::erase_if(store_->hosts, [&](const std::shared_ptr<HalvexKnownHostModel>& stored) {
        return stored->host_name == host->host_name && stored->host_port == std::int64_t{port};
    });
    store_->rebuildMap();
    store_->writeLocked(*userDefaults_);
}

std::shared_ptr<HalvexKnownHostModel> HalvexPreferences::getKnownHost(const std::string& host,
                                                                      std::uint16_t port) const {
    std::string key = host;
    key.append(":").append(std::to_string(port));
    std::lock_guard lock(store_->mutex);
    store_->loadLocked(*userDefaults_);
    auto it = store_->byKey.find(key);
    return it == store_->byKey.end() ? nullptr : it->second->copyAs<HalvexKnownHostModel>();
}
