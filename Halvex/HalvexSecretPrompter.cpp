#include "Halvex/HalvexSecretPrompter.h"

namespace {

std::string quoted(std::string_view text) {
    std::string out("\u201C");
    out += text;
    out += "\u201D";
    return out;
}

std::string hostAndPort(std::string_view host, long port) {
    std::string out(host);
    out += ':';
    out += std::to_string(port);
    return out;
}

} // namespace

HalvexSecretPromptRequest HalvexSecretPromptRequest::password(std::string_view user, std::string_view host,
                                                              long port) {
    HalvexSecretPromptRequest request;
    request.kind = HalvexSecretPromptKind::Password;
    request.messageText = "Password Authentication";
    request.informativeText = std::string("Enter the password for user ");
    request.informativeText += quoted(user);
    request.informativeText += " on ";
    request.informativeText += quoted(hostAndPort(host, port));
    request.rememberTitle = "Remember this password in my keychain";
    request.fields.push_back({"Password", {}, false});
    return request;
}

HalvexSecretPromptRequest HalvexSecretPromptRequest::passphrase(std::string_view keyName) {
    HalvexSecretPromptRequest request;
    request.kind = HalvexSecretPromptKind::Passphrase;
    request.messageText = "Public-key Authentication";
    request.informativeText = std::string("Enter the passphrase for private key ");
    request.informativeText += quoted(keyName);
    request.informativeText += '.';
    request.rememberTitle = "Remember this passphrase in my keychain";
    request.fields.push_back({"Passphrase for private key", {}, false});
    return request;
}

HalvexSecretPromptRequest
HalvexSecretPromptRequest::interactive(std::string_view host, long port, std::string_view user,
                                       std::string_view name, std::string_view instruction,
                                       const std::vector<HalvexInteractivePrompt>& prompts) {
    HalvexSecretPromptRequest request;
    request.kind = HalvexSecretPromptKind::Interactive;
    request.messageText = "Interactive Authentication";
    request.informativeText = std::string("Remote host ");
    request.informativeText += quoted(hostAndPort(host, port));
    request.informativeText += " requests following information for user ";
    request.informativeText += quoted(user);
    request.informativeText += '.';
    if (!name.empty()) (request.informativeText += '\n') += name;
    if (!instruction.empty()) (request.informativeText += '\n') += instruction;
    request.rememberTitle = "Remember interactive information in my keychain";
    for (const auto& prompt : prompts)
        request.fields.push_back({prompt.prompt, prompt.prompt, prompt.echo});
    return request;
}

std::vector<std::string> HalvexSecretPrompter::ask(const HalvexSecretPromptRequest& request, bool* saving) {
    HalvexSecretPromptResponse response = runPrompt(request);
    if (!response.accepted) {
        // Cancel answers nothing and stores nothing, whatever was typed or ticked.
        if (saving) *saving = false;
        return {};
    }
    if (saving) *saving = response.remember;
    response.answers.resize(request.fields.size());
    return std::move(response.answers);
}

std::string HalvexSecretPrompter::promptForPasswordWithSaving(std::string_view user, std::string_view host,
                                                              long port, bool* saving) {
    auto answers = ask(HalvexSecretPromptRequest::password(user, host, port), saving);
    return answers.empty() ? std::string() : std::move(answers.front());
}

std::string HalvexSecretPrompter::promptForPassphraseWithSaving(std::string_view keyName, bool* saving) {
    auto answers = ask(HalvexSecretPromptRequest::passphrase(keyName), saving);
    return answers.empty() ? std::string() : std::move(answers.front());
}

std::vector<std::string> HalvexSecretPrompter::promptForInteractiveName(
    std::string_view host, long port, std::string_view user, std::string_view name,
    std::string_view instruction, const std::vector<HalvexInteractivePrompt>& prompts, bool* saveAnswers) {
    return ask(HalvexSecretPromptRequest::interactive(host, port, user, name, instruction, prompts),
               saveAnswers);
}
