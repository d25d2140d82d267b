#include "Halvex/VySSHBackupModule.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/PropertyList.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexJSONAdapter.h"
#include "Halvex/HalvexSessionController.h"
#include "Wendle/WendleDates.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kJSONErrorDomain = "OrvikJSONErrorDomain";

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

Error fileError(int err, const std::string& description) {
    return Error(VySSHBackupModule::FileErrorDomain, err, description, std::strerror(err));
}

// The whole file, or nullopt with the reason.
std::optional<std::string> readFile(const std::string& path, Error* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        *error = fileError(EISDIR, "The file “" + fileName(path) + "” couldn’t be opened.");
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = fileError(errno ? errno : EIO, "The file “" + fileName(path) + "” couldn’t be opened.");
        return std::nullopt;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        *error = fileError(EIO, "The file “" + fileName(path) + "” couldn’t be read.");
        return std::nullopt;
    }
    return buffer.str();
}

// Both backups may hold secrets (the keychain records, a proxy password in an
// entry), so only their owner may read them.
bool writeFile(const std::string& path, const std::string& data, Error* error) {
    const char* step = nullptr;
    if (int err = writeFileAtomically(path, data, 0600, &step); err != 0) {
        *error = fileError(err, "The file “" + fileName(path) + "” couldn’t be saved.");
        return false;
    }
    return true;
}

std::string count(long n, const char* what) {
    return std::to_string(n) + " " + what;
}

// "%ld %@ imported", then ", %ld %@ already exist" and ", %ld %@ malformed"
// for non-zero counts, then ".".
HalvexAlert importSummary(long imported, long existing, long malformed) {
    HalvexAlert alert;
    alert.style = HalvexAlert::Style::informational;
    alert.messageText = imported > 0 ? "Imported successfully." : "Failed to import!";
    std::string text = count(imported, imported <= 1 ? "entry is" : "entries are") + " imported";
    if (existing != 0)
        text += ", " + count(existing, existing == 1 ? "entry is" : "entries are") + " already exist";
    if (malformed != 0)
        text += ", " + count(malformed, malformed == 1 ? "entry is" : "entries are") + " malformed";
    alert.informativeText = text + ".";
    alert.buttons = {"OK"};
    return alert;
}

} // namespace

VySSHBackupModule& VySSHBackupModule::sharedBackupModule() {
    static VySSHBackupModule shared;
    return shared;
}

std::string VySSHBackupModule::defaultFileName(const std::string& stem) const {
    return stem + "-" + stringFromDate(now_(), "yyyy-MM-dd");
}

bool VySSHBackupModule::exportJSON(const std::function<std::optional<nlohmann::json>(Error*)>& convert,
                                   VySSHBackupWindow& window, const std::string& stem) {
    VySSHBackupWindow::Panel panel;
    panel.allowedFileTypes = {"json"};
    panel.nameFieldLabel = "Export As:";
    panel.nameFieldStringValue = defaultFileName(stem);
    auto path = window.runSavePanel(panel);
    if (!path) return false;

    Error error;
    auto converted = convert(&error);
    if (!converted) {
        window.showError(error);
        return false;
    }
    if (!writeFile(*path, converted->dump(2) + "\n", &error)) {
        window.showError(error);
        return false;
    }
    return true;
}

bool VySSHBackupModule::exportEntries(const Entries& entries, VySSHBackupWindow& window,
                                      const std::string& fileName) {
    return exportJSON([&](Error* error) { return HalvexJSONAdapter().JSONArrayFromModels(entries, error); },
                      window, fileName);
}

bool VySSHBackupModule::exportEntries(const Entries& entries, VySSHBackupWindow& window) {
    return exportEntries(entries, window, "Tunnel-Entries");
}

bool VySSHBackupModule::exportEntries(const std::map<std::string, std::shared_ptr<MTLModel>>& entries,
                                      VySSHBackupWindow& window, const std::string& fileName) {
    return exportJSON(
        [&](Error* error) -> std::optional<nlohmann::json> {
            nlohmann::json encoded = nlohmann::json::object();
            for (const auto& [key, model] : entries)
                encoded[key] = model ? model->encodeWithCoder() : nlohmann::json();
            Error conversionError;
            conversionError.code = -1; // stays -1 unless a model fails to convert
            auto dictionary = HalvexJSONAdapter::JSONDictionaryFromDictionary(encoded, &conversionError);
            if (conversionError.code != -1) {
                *error = conversionError;
                return std::nullopt;
            }
            return dictionary;
        },
        window, fileName);
}

std::optional<nlohmann::json> VySSHBackupModule::readImportFile(VySSHBackupWindow& window) {
    VySSHBackupWindow::Panel panel;
    panel.allowedFileTypes = {"json", "txt"};
    panel.nameFieldLabel = "Import From:";
    auto path = window.runOpenPanel(panel);
    if (!path) return std::nullopt;

    Error error;
    auto data = readFile(*path, &error);
    if (!data) {
        window.showError(error);
        return std::nullopt;
    }
    try {
        return nlohmann::json::parse(*data);
    } catch (const nlohmann::json::parse_error& e) {
        window.showError(Error(kJSONErrorDomain, e.id,
                               "The data couldn’t be read because it isn’t in the correct format.",
                               e.what()));
        return std::nullopt;
    }
}

VySSHBackupModule::Entries VySSHBackupModule::importWithClass(const MTLModelClass& modelClass,
                                                              VySSHBackupWindow& window,
                                                              const VerdictHandler& verdict) {
    auto models = import <Entries>(window, [&](const nlohmann::json& parsed) -> Entries {
        Entries read;
        if (parsed.is_array()) {
            HalvexJSONAdapter adapter;
            for (const auto& element : parsed) {
                Error error;
                auto model = adapter.modelOfClass(modelClass, element, &error);
                if (!model) {
                    window.showError(error);
                    return {};
                }
                read.push_back(std::move(model));
            }
        }
        long imported = 0, existing = 0, malformed = 0;
        for (const auto& model : read) {
            switch (verdict(model)) {
            case Imported:
                ++imported;
                break;
            case AlreadyExists:
                ++existing;
                break;
            case Malformed:
                ++malformed;
                break;
            default:
                break;
            }
        }
        window.runAlert(importSummary(imported, existing, malformed));
        return read;
    });
    return models.value_or(Entries{});
}

bool VySSHBackupModule::exportPasswordsAndInteractiveInfoForEntries(
    const std::vector<std::shared_ptr<HalvexSessionController>>& entries, VySSHBackupWindow& window) {
    VySSHBackupWindow::Panel panel;
    panel.allowedFileTypes = {"encrypted"};
    panel.nameFieldLabel = "Export As:";
    panel.nameFieldStringValue = defaultFileName("SSH-Passwords");
    auto path = window.runSavePanel(panel);
    if (!path) return false;

    std::vector<std::string> records;
    auto append = [&](const HalvexAuthHelper& item) {
        std::string data = item.dictionaryValue().dump(2);
        if (!data.empty()) records.push_back(std::move(data));
    };
    for (const auto& entry : entries) {
        if (!entry) continue;
        const std::string host = entry->ssh_host.value_or("");
        const std::string user = entry->ssh_user.value_or("");
        const std::int64_t port = entry->ssh_port.value_or(0);
        if (port >= 0 && port <= 65535) {
            auto p = static_cast<std::uint16_t>(port);
            if (auto password = HalvexAuthHelper::makeWithServer(host, p, user);
                password && password->persistentRef())
                append(*password);
            if (auto interactive = HalvexAuthHelper::makeWithServer(host, p, user, true)) {
                auto ref = interactive->persistentRef();
                if (ref && !ref->empty()) append(*interactive);
            }
        }
        if (auto key = entry->privateKey(); key && !key->key_id().empty())
            if (auto passphrase = HalvexAuthHelper::makeWithPrivateKey(*key)) append(*passphrase);
    }
    if (records.empty()) {
        window.showError(Error(ExtrasErrorDomain, 0, "No saved keychain data"));
        return false;
    }
    Error writeError;
    if (!writeFile(*path, PropertyListSerialization::dataWithDataArray(records), &writeError)) {
        window.showError(Error(ExtrasErrorDomain, 0,
                               "Failed to export saved passwords and keyboard interactive information",
                               writeError.localizedDescription + " " + writeError.recoverySuggestion));
        return false;
    }
    return true;
}

bool VySSHBackupModule::importPasswordsWithWindow(VySSHBackupWindow& window) {
    VySSHBackupWindow::Panel panel;
    panel.allowedFileTypes = {"encrypted"};
    panel.nameFieldLabel = "Import Passwords from:";
    auto path = window.runOpenPanel(panel);
    if (!path) return false;

    Error error;
    auto data = readFile(*path, &error);
    std::optional<std::vector<std::optional<std::string>>> elements;
    if (data) elements = PropertyListSerialization::dataArrayWithData(*data, &error);
    if (!elements) {
        window.showError(error);
        return false;
    }
    long restored = 0, failed = 0;
    Error storeError;
    for (const auto& element : *elements) {
        if (!element || element->empty()) continue;
        auto record = nlohmann::json::parse(*element, nullptr, false);
        if (record.is_discarded() || record.empty()) continue;
        switch (HalvexAuthHelper::restoreKeychainItemWithDictionary(record, &storeError)) {
        case HalvexAuthHelper::RestoreResult::stored:
            ++restored;
            break;
        case HalvexAuthHelper::RestoreResult::failed:
            ++failed;
            break;
        case HalvexAuthHelper::RestoreResult::skipped:
            break;
        }
    }
    HalvexAlert alert;
    alert.style = failed == 0 ? HalvexAlert::Style::informational : HalvexAlert::Style::warning;
    alert.messageText = restored > 0 ? "Imported successfully." : "Failed to import!";
    alert.informativeText = count(restored, restored == 1 ? "keychain item" : "keychain items") + " restored";
    if (failed > 0)
        alert.informativeText +=
            ", " + std::to_string(failed) + " could not be stored (" + storeError.localizedDescription + ")";
    alert.informativeText += ".";
    alert.buttons = {"OK"};
    window.runAlert(alert);
    return failed == 0;
}
