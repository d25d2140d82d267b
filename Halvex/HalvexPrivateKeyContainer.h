#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/Error.h"
#include "Foundation/KeyValueObservable.h"
#include "Halvex/HalvexPrivateKeyModel.h"
#include "Halvex/HalvexPrivateKeyWindow.h"

class KeychainBackend;

// Error domain of a refused import.
inline constexpr const char* HalvexPrivateKeyImporterErrorDomain = "Halvex.PrivateKey.Importer";
// Error domain of the store's file operations (codes are errno values).
inline constexpr const char* HalvexPrivateKeyFileErrorDomain = "Orvik.FileSystem";

// The user's private keys: copies of key files in one private folder
// (0700, files 0600 from the moment they exist), listed by key_id, their
// passphrases in the keychain. Meant for the main thread; privateKeys() may
// be read from any thread. Observers of "privateKeys" are told before and
// after each rebuild of the cache.
class HalvexPrivateKeyContainer : public KeyValueObservable {
public:
    using Keys = std::map<std::string, std::shared_ptr<HalvexPrivateKeyModel>>;

    // The process's store in "$XDG_DATA_HOME/orvik/identities"; keys of
    // earlier versions are taken from "$XDG_DATA_HOME/orvik/.ssh/identities".
    static HalvexPrivateKeyContainer& sharedPrivateKeyContainer();

    // A store in `containerPath` (created 0700 when missing) that migrates
    // from `obsoletedContainerPath`; `backend` keeps the passphrases (the
    // process's keychain when null).
    HalvexPrivateKeyContainer(std::string containerPath, std::string obsoletedContainerPath,
                              std::shared_ptr<KeychainBackend> backend = nullptr);

    const std::string& containerURL() const { return containerPath_; }
    const std::string& obsoletedContainerURL() const { return obsoletedPath_; }
    // containerURL + "/" + name.
    std::string pathForKeyName(const std::string& name) const;

    // The cache of valid keys by key_id, as of the last refreshCache().
    Keys privateKeys() const;
    std::shared_ptr<HalvexPrivateKeyModel> privateKeyWithId(const std::string& keyId) const;

    // Copies one key file into the store and answers its key_id; nullopt
    // with `error` when it is refused (not a regular file, identical to a
    // cached key, unreadable, not a key). Nothing is left behind on failure.
    std::optional<std::string> importAtPath(const std::string& path, Error* error);
    // The same for a "file://" URL (percent-escapes decoded); other URLs are
    // refused.
    std::optional<std::string> importAtURL(const std::string& fileURL, Error* error);
    // Whether the model's file is a usable key; sets `encrypted` and
    // `in_keychain`.
    bool validatePrivateKey(HalvexPrivateKeyModel& model, Error* error);
    // Rebuilds privateKeys() from the folder.
    void refreshCache();
    // Renames a key file; nullopt on success or when the names are equal. A
    // name with "/" or "..", or one that is taken, is refused.
    std::optional<Error> renamePrivateKey(const std::string& currentName, const std::string& newName);
    // Removes the file of a cached key; nullopt also when the id is unknown.
    std::optional<Error> deletePrivateKeyWithId(const std::string& keyId);
    // Forgets a key's stored passphrase; false when the id is not cached or
    // the keychain refused.
    bool removePassphraseFromKeychainForPrivateKeyId(const std::string& keyId);
    // Asks for (through `window`), checks and stores a key's passphrase.
    bool storePassphraseToKeychainForPrivateKeyId(const std::string& keyId, HalvexPrivateKeyWindow& window);
    // Moves the keys of earlier versions into the store.
    void migratePrivateKeyContainer();

    // Lets the user pick key files and imports them; `completion` gets the
    // panel's response and the imported models in order. Import errors are
    // shown on the window after the completion has run.
    void importPrivateKeys(
        HalvexPrivateKeyWindow& window,
        std::function<void(long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>>)> completion);
    static void importPrivateKeyWithSheetModalForWindow(
        HalvexPrivateKeyWindow& window,
        std::function<void(long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>>)> completion);

private:
    void ensureFolder() const;
    std::vector<std::string> regularFilesIn(const std::string& folder) const;

    std::string containerPath_;
    std::string obsoletedPath_;
    std::shared_ptr<KeychainBackend> backend_;

    mutable std::mutex keysMutex_;
    Keys privateKeys_;
};
