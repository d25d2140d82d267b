#pragma once

#include "HalvexCore/HalvexSessionDelegate.h"

#include <string>
#include <string_view>
#include <vector>

// The engine asks the user for secrets (server password, key passphrase,
// keyboard-interactive answers) only through HalvexSecretPrompter, which the Qt
// layer implements with modal dialogs and tests script. The engine builds what
// the prompt shows (HalvexSecretPromptRequest) and turns what the user did
// (HalvexSecretPromptResponse) into the answer, so the texts and the meaning of
// Cancel are the same whatever draws the prompt.

enum class HalvexSecretPromptKind { Password, Passphrase, Interactive };

// One input field of a prompt.
struct HalvexSecretPromptField {
    std::string placeholder;
    std::string toolTip; // empty: none
    bool echo = false;   // false: a secure field that hides what is typed

    friend bool operator==(const HalvexSecretPromptField&, const HalvexSecretPromptField&) = default;
};

// What a prompt shows: a message, an informative text, the fields in order, and
// a "remember" box that starts unticked; its buttons are "OK" and "Cancel".
// Texts that come from the server or the profile are plain text, never markup.
struct HalvexSecretPromptRequest {
    HalvexSecretPromptKind kind = HalvexSecretPromptKind::Password;
    std::string messageText;
    std::string informativeText;
    std::string rememberTitle;
    std::vector<HalvexSecretPromptField> fields;

    static HalvexSecretPromptRequest password(std::string_view user, std::string_view host, long port);
    static HalvexSecretPromptRequest passphrase(std::string_view keyName);
    static HalvexSecretPromptRequest interactive(std::string_view host, long port, std::string_view user,
                                                 std::string_view name, std::string_view instruction,
                                                 const std::vector<HalvexInteractivePrompt>& prompts);

    friend bool operator==(const HalvexSecretPromptRequest&, const HalvexSecretPromptRequest&) = default;
};

// What the user did: OK (accepted) or Cancel, the fields' texts in order, and
// whether the remember box was ticked.
struct HalvexSecretPromptResponse {
    bool accepted = false;
    std::vector<std::string> answers;
    bool remember = false;
};

class HalvexSecretPrompter {
public:
    virtual ~HalvexSecretPrompter() = default;

    // Shows the request modally and returns once the user has answered. Called
    // on the main thread (an SSH thread may be waiting for the answer).
    virtual HalvexSecretPromptResponse runPrompt(const HalvexSecretPromptRequest& request) = 0;

    // Ends every prompt of this prompter that is open, as Cancel would (the
    // session that asked is going away). Main thread. Default: nothing open.
    virtual void cancelPrompt() {}

    // The server password for `user` on `host`:`port`. Cancel gives the empty
    // text; *saving (may be null) tells whether the user asked to remember the
    // answer, and is false after Cancel.
    std::string promptForPasswordWithSaving(std::string_view user, std::string_view host, long port,
                                            bool* saving);

    // The passphrase of the private key named `keyName`; as above.
    std::string promptForPassphraseWithSaving(std::string_view keyName, bool* saving);

    // The answers to one keyboard-interactive request, one per prompt and in
    // prompt order; Cancel gives no answers at all and *saveAnswers false.
    std::vector<std::string> promptForInteractiveName(std::string_view host, long port, std::string_view user,
                                                      std::string_view name, std::string_view instruction,
                                                      const std::vector<HalvexInteractivePrompt>& prompts,
                                                      bool* saveAnswers);

private:
    // Runs the request; on OK returns exactly one answer per field.
    std::vector<std::string> ask(const HalvexSecretPromptRequest& request, bool* saving);
};
