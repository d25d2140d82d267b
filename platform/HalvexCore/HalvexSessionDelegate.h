#pragma once

#include "Foundation/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HalvexSession;
class HalvexHostKeyParser;
class HalvexForwardChannel;

// One prompt of a keyboard-interactive round: its text and whether the answer
// may be shown while typed.
struct HalvexInteractivePrompt {
    std::string prompt;
    bool echo = false;
    friend bool operator==(const HalvexInteractivePrompt&, const HalvexInteractivePrompt&) = default;
};

// One keyboard-interactive round as the server sent it. `index` counts the
// rounds that carry prompts, from 0.
struct HalvexInteractiveRequest {
    long index = 0;
    std::string name;
    std::string instruction;
    std::vector<HalvexInteractivePrompt> prompts;
};

// Receives a session's events. Every operation is optional and is called on the
// session's own I/O thread, which waits for it to return; an implementation may
// block on the main thread, because no public call of the session waits for the
// I/O thread. Calls come in this order: didConnectToHost, didReceiveIssueBanner,
// authenticateWithAllowedMethods (again after each partial success),
// keyboardInteractiveRequest (per round), didAuthenticateUser,
// didOpenForwardChannel; didDisconnectWithError ends every attempt, exactly once.
class HalvexSessionDelegate {
public:
    virtual ~HalvexSessionDelegate() = default;

    // A keyboard-interactive round with prompts arrived; the interactive handler
    // is asked for its answers right after.
    virtual void keyboardInteractiveRequest(HalvexSession&, const HalvexInteractiveRequest&) {}
    // The SSH transport is up and the host key was accepted.
    virtual void didConnectToHost(HalvexSession&, const std::string& /*host*/, uint16_t /*port*/) {}
    // The attempt is over; no error when the client asked for the disconnect.
    virtual void didDisconnectWithError(HalvexSession&, const std::optional<Error>&) {}
    virtual void didReceiveIssueBanner(HalvexSession&, const std::string& /*banner*/) {}
    // Answer false to refuse the key, which ends the attempt with code 1.
    virtual bool shouldConnectWithHostKey(HalvexSession&, const std::shared_ptr<HalvexHostKeyParser>&) {
        return true;
    }
    // Choose a method by calling one of the session's authenticateBy... calls,
    // or return an error to end the attempt with it.
    virtual std::optional<Error> authenticateWithAllowedMethods(HalvexSession&,
                                                                const std::vector<std::string>& /*methods*/,
                                                                bool /*partialSuccess*/) {
        return std::nullopt;
    }
    virtual void didAuthenticateUser(HalvexSession&, const std::string& /*user*/) {}
    // A connection arrived on a remote forward. Data that comes before a
    // channel delegate is set is kept and delivered to it.
    virtual void didOpenForwardChannel(HalvexSession&, const std::shared_ptr<HalvexForwardChannel>&) {}
};
