#pragma once

#include "Foundation/Error.h"
#include "Halvex/HalvexAlertPresenter.h"
#include "Mantle/MTLModel.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

class HalvexSessionController;

// The panels and alerts that the backup module runs on the window it was
// given, each modally (as a sheet where the platform has them). The Qt layer
// implements it; tests script it.
class VySSHBackupWindow {
public:
    virtual ~VySSHBackupWindow() = default;

    struct Panel {
        std::vector<std::string> allowedFileTypes; // extensions without the dot
        std::string nameFieldLabel;                // "Export As:", "Import From:", ...
        std::string nameFieldStringValue;          // save panels: the proposed file name
        bool showsHiddenFiles = true;
        bool extensionHidden = false;
        bool canSelectHiddenExtension = true;
    };
    // The path the user chose, nullopt on Cancel.
    virtual std::optional<std::string> runSavePanel(const Panel& panel) = 0;
    virtual std::optional<std::string> runOpenPanel(const Panel& panel) = 0;
    // The button chosen: 1000 for the first, 1001 for the second, ...
    virtual long runAlert(const HalvexAlert& alert) = 0;
    // Shows an error as an alert made from it.
    virtual void showError(const Error& error) = 0;
};

// Writes server entries to a JSON file and reads them back, and does the same
// for the keychain items that belong to server entries. It runs the panels and
// alerts of these operations; what an imported entry means is the caller's
// verdict. Main thread only; no state beyond the clock it reads.
//
// Server-entry file: pretty-printed UTF-8 JSON, an array with the JSON form of
// each entry in order (or an object of converted entries). Default name: the
// stem, "-", the date as "yyyy-MM-dd", ".json".
//
// Keychain-item file ("SSH-Passwords-yyyy-MM-dd.encrypted"): an XML property
// list whose root array holds, as data items, the pretty-printed JSON records
// of the items (HalvexAuthHelper::dictionaryValue). Despite its extension it
// is not encrypted: the secrets are readable text, so it is written 0600.
class VySSHBackupModule {
public:
    // What an import's verdict handler answers for each entry.
    enum Verdict : long { Imported = 0, AlreadyExists = 1, Malformed = 2 };
    using Entries = std::vector<std::shared_ptr<MTLModel>>;
    using VerdictHandler = std::function<long(const std::shared_ptr<MTLModel>& model)>;

    // Domain of the keychain-item export's errors (code 0).
    static constexpr const char* ExtrasErrorDomain = "Halvex.Extras";
    // Domain of file errors (codes are errno values).
    static constexpr const char* FileErrorDomain = "Orvik.FileSystem";

    static VySSHBackupModule& sharedBackupModule();

    // Exports entries to the file the user picks; true when it was written.
    // Failures (conversion, writing) are shown on the window.
    bool exportEntries(const Entries& entries, VySSHBackupWindow& window, const std::string& fileName);
    // The same with the stem "Tunnel-Entries".
    bool exportEntries(const Entries& entries, VySSHBackupWindow& window);
    // A dictionary of entries: the file holds an object of their JSON forms.
    bool exportEntries(const std::map<std::string, std::shared_ptr<MTLModel>>& entries,
                       VySSHBackupWindow& window, const std::string& fileName);

    // Lets the user pick a JSON file and hands the parsed value to `handler`;
    // nullopt when cancelled or when the file cannot be read or parsed (the
    // error is then shown).
    template <class R>
    std::optional<R> import(VySSHBackupWindow& window,
                            const std::function<R(const nlohmann::json&)>& handler) {
        auto parsed = readImportFile(window);
        if (!parsed) return std::nullopt;
        return handler(*parsed);
    }

    // Imports entries of `modelClass` from the file the user picks, asking
    // `verdict` about each in file order, and shows a summary. Answers every
    // model read (whatever its verdict); empty when cancelled, unreadable or
    // not convertible.
    Entries importWithClass(const MTLModelClass& modelClass, VySSHBackupWindow& window,
                            const VerdictHandler& verdict);

    // Exports the password, interactive answers and key passphrase record of
    // each entry; true when the file was written. Entries without any stored
    // secret and without keys give the error "No saved keychain data".
    bool exportPasswordsAndInteractiveInfoForEntries(
        const std::vector<std::shared_ptr<HalvexSessionController>>& entries, VySSHBackupWindow& window);
    // Restores the password and interactive records of a keychain-item file
    // (key passphrases are never restored) and tells the user how many were
    // restored. False when cancelled, when the file cannot be read, or when
    // a record could not be stored.
    bool importPasswordsWithWindow(VySSHBackupWindow& window);

    // The clock that dates the proposed file names (tests fix it).
    void setClock(std::function<std::chrono::system_clock::time_point()> now) { now_ = std::move(now); }

private:
    std::string defaultFileName(const std::string& stem) const;
    std::optional<nlohmann::json> readImportFile(VySSHBackupWindow& window);
    // Asks for the file, then converts and writes.
    bool exportJSON(const std::function<std::optional<nlohmann::json>(Error*)>& convert,
                    VySSHBackupWindow& window, const std::string& stem);

    std::function<std::chrono::system_clock::time_point()> now_ = [] {
        return std::chrono::system_clock::now();
    };
};
