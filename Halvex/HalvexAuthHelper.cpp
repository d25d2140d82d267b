#include "Halvex/HalvexAuthHelper.h"

#include "Foundation/Error.h"
#include "Halvex/HalvexPrivateKeyModel.h"

HalvexAuthHelper::HalvexAuthHelper(Keychain keychain, std::string account, AuthMethod method,
                                   const std::string& kind, const std::string& label)
    : keychain_(keychain.attributes(kind).label(label)), account_(std::move(account)), authMethod_(method) {}

std::optional<HalvexAuthHelper> HalvexAuthHelper::makeWithServer(const std::string& server,
                                                                 std::uint16_t port, const std::string& user,
                                                                 bool interactive,
                                                                 std::shared_ptr<KeychainBackend> backend) {
    std::string hostPort = KeychainURL::hostForURL(server) + ":" + std::to_string(port);
    auto keychain = Keychain::forServer("ssh://" + hostPort, Keychain::ProtocolType::SSH, std::move(backend));
    if (!keychain) return std::nullopt;
    std::optional<HalvexAuthHelper> helper;
    if (interactive) {
        std::string account = "[" + user + "](" + interactiveAccountSuffix + ")";
        helper.emplace(
            HalvexAuthHelper(*keychain, account, Interactive, interactiveKind, hostPort + " " + account));
    } else {
        helper.emplace(
            HalvexAuthHelper(*keychain, user, Password, passwordKind, hostPort + " (" + user + ")"));
    }
    helper->user_ = user;
    return helper;
}

std::optional<HalvexAuthHelper>
HalvexAuthHelper::makeWithPrivateKey(const HalvexPrivateKeyModel& key,
                                     std::shared_ptr<KeychainBackend> backend) {
    if (key.key_id().empty()) return std::nullopt;
    return HalvexAuthHelper(Keychain::forService(identityService, std::move(backend)), key.key_id(),
                            PublicKey, identityKind, key.key_name() + " (" + key.key_id() + ")");
}

std::string HalvexAuthHelper::token() const {
    return keychain_.get(account_).value_or(std::string());
}

bool HalvexAuthHelper::setToken(const std::string& value, Error* error) const {
    if (value.empty()) return true;
    return keychain_.set(value, account_, error);
}

std::optional<std::string> HalvexAuthHelper::persistentRef() const {
    auto attributes = keychain_.itemAttributes(account_);
    if (!attributes) return std::nullopt;
    return attributes->persistentRef;
}

namespace {
// The stored rounds, or an empty array when the token is not a JSON array.
nlohmann::json storedRounds(const std::string& token) {
    if (token.empty()) return nlohmann::json::array();
    nlohmann::json parsed = nlohmann::json::parse(token, nullptr, false);
    return parsed.is_array() ? parsed : nlohmann::json::array();
}
} // namespace

std::optional<std::vector<std::string>> HalvexAuthHelper::answersAtIndex(std::size_t index) const {
    std::string stored = token();
    if (stored.empty()) return std::nullopt;
    nlohmann::json rounds = nlohmann::json::parse(stored, nullptr, false);
    if (!rounds.is_array() || index >= rounds.size() || !rounds[index].is_array()) return std::nullopt;
    std::vector<std::string> answers;
    for (const nlohmann::json& answer : rounds[index]) {
        // Only text can be typed back into a prompt.
        if (!answer.is_string()) return std::nullopt;
        answers.push_back(answer.get<std::string>());
    }
    return answers;
}

bool HalvexAuthHelper::addAnswers(const std::vector<std::string>& answers, std::size_t index,
                                  Error* error) const {
    nlohmann::json rounds = storedRounds(token());
    while (rounds.size() < index)
        rounds.push_back(nlohmann::json::array());
    if (rounds.size() == index)
        rounds.push_back(answers);
    else
        rounds[index] = answers;
    std::string text;
    try {
        text = rounds.dump();
    } catch (const nlohmann::json::exception& e) {
        // Answers that are not UTF-8 cannot be written as JSON.
        if (error) *error = Error("Orvik.Keychain", 2, "The answers could not be stored.", e.what());
        return false;
    }
    return setToken(text, error);
}

bool HalvexAuthHelper::deleteItem(Error* error) const {
    return keychain_.remove(account_, error);
}

nlohmann::json HalvexAuthHelper::dictionaryValue() const {
    nlohmann::json record = nlohmann::json::object();
    switch (authMethod_) {
    case Password:
    case Interactive:
        record["type"] = authMethod_ == Password ? "password" : "interactive";
        record["server"] = keychain_.server() ? keychain_.server()->host() : std::string();
        record["port"] = keychain_.server() ? keychain_.server()->port().value_or(0) : 0;
        record["user"] = user_.value_or(std::string());
        record["token"] = token();
        break;
    case PublicKey:
        record["type"] = "publickey";
        record["service"] = keychain_.service();
        record["account"] = account_;
        record["token"] = token();
        break;
    }
    return record;
}

bool HalvexAuthHelper::tryUpdateKeychainWithDictionary(const nlohmann::json& record, Error* error,
                                                       std::shared_ptr<KeychainBackend> backend) {
    return restoreKeychainItemWithDictionary(record, error, std::move(backend)) != RestoreResult::failed;
}

HalvexAuthHelper::RestoreResult
HalvexAuthHelper::restoreKeychainItemWithDictionary(const nlohmann::json& record, Error* error,
                                                    std::shared_ptr<KeychainBackend> backend) {
    if (!record.is_object()) return RestoreResult::skipped;
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = record.find(key);
        if (it == record.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    auto type = text("type");
    // Key passphrases are never restored from a backup.
    if (!type || (*type != "password" && *type != "interactive")) return RestoreResult::skipped;
    auto port = record.find("port");
    auto server = text("server");
    auto user = text("user");
    auto token = text("token");
    if (port == record.end() || !port->is_number_integer() || port->get<long long>() < 0 ||
        port->get<long long>() > 65535 || !server || !user || !token)
        return RestoreResult::skipped;
    auto helper = makeWithServer(*server, static_cast<std::uint16_t>(port->get<long long>()), *user,
                                 *type == "interactive", std::move(backend));
    if (!helper || token->empty()) return RestoreResult::skipped;
    return helper->setToken(*token, error) ? RestoreResult::stored : RestoreResult::failed;
}
