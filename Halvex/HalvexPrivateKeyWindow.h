#pragma once

#include <functional>
#include <string>
#include <vector>

struct Error;

// What the private-key store asks of the user, through the window it was
// given. The Qt layer implements it; tests script it.
class HalvexPrivateKeyWindow {
public:
    virtual ~HalvexPrivateKeyWindow() = default;

    struct OpenPanel {
        std::string title;     // "Import Private Key files"
        std::string prompt;    // "Import"
        std::string message;   // "Please choose private key (aka identity) files:"
        std::string directory; // the user's ~/.ssh
        // Files only, hidden files shown, several at once.
    };
    // Lets the user pick key files; `completion` gets the response (1 OK,
    // 0 Cancel) and the chosen paths in order.
    virtual void
    chooseFiles(const OpenPanel& panel,
                std::function<void(long response, std::vector<std::string> paths)> completion) = 0;

    struct PassphraseSheet {
        std::string message;     // "Enter the passphrase for private key “<key_name>”"
        std::string informative; // why it is asked and where it is kept
        std::string placeholder; // "Leave blank for runtime prompt"
        // Buttons "OK" (response 1000) and "Cancel".
    };
    // Runs the passphrase sheet and waits for it; on 1000 `passphrase` holds
    // what the user typed (possibly empty).
    virtual long askPassphrase(const PassphraseSheet& sheet, std::string& passphrase) = 0;

    // Shows an error as an alert sheet on the window.
    virtual void showError(const Error& error) = 0;
};
