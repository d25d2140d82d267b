#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Keychain/Keychain.h"

struct Error;
class HalvexPrivateKeyModel;

// One keychain item of the framework: a server login's password, a server
// login's keyboard-interactive answers, or an imported private key's
// passphrase. Holds no cache: every read and write goes to the keychain.
class HalvexAuthHelper {
public:
    // The item's kind, numbered as the authentication method types.
    enum AuthMethod : long { Password = 0, PublicKey = 1, Interactive = 2 };

    // The password item of user@server:port (interactive: the item of its
    // keyboard-interactive answers). nullopt when no well-formed server URL
    // can be made of `server`. An IPv6 literal is written in brackets.
    static std::optional<HalvexAuthHelper> makeWithServer(const std::string& server, std::uint16_t port,
                                                          const std::string& user, bool interactive = false,
                                                          std::shared_ptr<KeychainBackend> backend = nullptr);
    // The passphrase item of a stored private key; nullopt without a key_id.
    static std::optional<HalvexAuthHelper>
    makeWithPrivateKey(const HalvexPrivateKeyModel& key, std::shared_ptr<KeychainBackend> backend = nullptr);

    // The stored value; empty when there is none or it cannot be read.
    std::string token() const;
    // Stores a non-empty value (added or replaced); an empty one changes
    // nothing and succeeds. False, with `error`, when the keychain did not
    // store it.
    bool setToken(const std::string& value, Error* error = nullptr) const;
    // The item's persistent reference; nullopt when the item does not exist.
    std::optional<std::string> persistentRef() const;

    // The answers of keyboard-interactive round `index` (from 0); nullopt
    // when the item holds no such round.
    std::optional<std::vector<std::string>> answersAtIndex(std::size_t index) const;
    // Stores the answers of round `index`, padding missing earlier rounds
    // with empty arrays. False when the JSON cannot be made or the keychain
    // did not store it.
    bool addAnswers(const std::vector<std::string>& answers, std::size_t index, Error* error = nullptr) const;

    // Removes the item; true also when there was none.
    bool deleteItem(Error* error = nullptr) const;

    // The backup record: {"type":"password"|"interactive", "server", "port",
    // "user", "token"} or {"type":"publickey", "service", "account", "token"}.
    nlohmann::json dictionaryValue() const;
    // Writes one backup record of type "password" or "interactive" into the
    // keychain; other records and empty tokens are skipped. False, with
    // `error`, only when a write was attempted and failed.
    static bool tryUpdateKeychainWithDictionary(const nlohmann::json& record, Error* error = nullptr,
                                                std::shared_ptr<KeychainBackend> backend = nullptr);
    // The same, telling whether the record was stored, skipped (another type,
    // missing or malformed fields, an empty token) or refused by the keychain.
    enum class RestoreResult { stored, skipped, failed };
    static RestoreResult
    restoreKeychainItemWithDictionary(const nlohmann::json& record, Error* error = nullptr,
                                      std::shared_ptr<KeychainBackend> backend = nullptr);

    const std::string& account() const { return account_; }
    AuthMethod authMethod() const { return authMethod_; }
    const std::optional<std::string>& user() const { return user_; }
    const Keychain& keychain() const { return keychain_; }

    // Item texts.
    static constexpr const char* interactiveAccountSuffix = "com.brimble.ssh.interactive";
    static constexpr const char* identityService = "com.brimble.ssh.identity";
    static constexpr const char* passwordKind = "SSH password";
    static constexpr const char* interactiveKind = "SSH interactive information";
    static constexpr const char* identityKind = "SSH identity passhrase";

private:
    HalvexAuthHelper(Keychain keychain, std::string account, AuthMethod method, const std::string& kind,
                     const std::string& label);

    Keychain keychain_;
    std::string account_;
    AuthMethod authMethod_;
    std::optional<std::string> user_;
};
