#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Error.h"
#include "Halvex/HalvexKnownHostModel.h"
#include "Halvex/HalvexPrivateKeyModel.h"
#include "Halvex/HalvexSessionModel.h"
#include "Halvex/HalvexSessionTransport.h"
#include "Wendle/VyMMLogger.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HalvexPreferences;
class HalvexSecretPrompter;

// The states of a session controller.
enum HalvexSessionStatus : std::int64_t {
    HalvexSessionStatusIdle = 0,
    HalvexSessionStatusScheduled = 1,
    HalvexSessionStatusConnecting = 2,
    HalvexSessionStatusConnected = 3, // the transport is up
    HalvexSessionStatusAuthenticating = 4,
    HalvexSessionStatusAuthenticated = 5,
    HalvexSessionStatusConnectedReserved = 6, // never set here; treated like 5
    HalvexSessionStatusDisconnecting = 7,
    HalvexSessionStatusWaitingToRetry = 8,
    HalvexSessionStatusIdleReserved = 9, // never set here; treated like 0
};

// A server profile together with its live connection: the status that views
// observe, the last error, the retry counter and the connection's session log.
// It connects with the profile's options, checks the host key against the
// known hosts, chooses the authentication methods in the profile's order,
// answers the server's questions from the keychain or by asking the user, and
// retries a failed connection 3 seconds later while retries remain.
//
// Make it with std::make_shared (the transports, log sinks and secret handlers
// hold it weakly). Subclasses override the transport callbacks and call this
// class's versions first.
//
// Threads: turnOn, turnOff, turnOffWithError, reactivate, schedule, the
// setters and the profile's fields belong to the main thread. The transport
// calls the callbacks on its own I/O thread; every change of the status and
// of lastError they make runs synchronously on the main queue, and so do the
// prompts and host-key questions while the I/O thread waits. Retries and
// reconnects run on the main queue after a delay on the main queue's clock.
// The log may be written from any thread. An attempt works on a copy of the
// profile taken when it starts.
class HalvexSessionController : public HalvexSessionModel,
                                public HalvexSessionTransportDelegate,
                                public std::enable_shared_from_this<HalvexSessionController> {
public:
    using TransportFactory = std::function<std::shared_ptr<HalvexSessionTransport>(
        std::weak_ptr<HalvexSessionTransportDelegate> delegate)>;

    // Error codes of the domain HalvexCoreErrorDomain made here.
    static constexpr long NoMatchAuthenticationMethodError = 1007;
    static constexpr long InvalidSettingsError = 1008;
    // A disconnect with one of these codes is not retried.
    static bool isStopCode(long code);
    static constexpr std::chrono::seconds RetryDelay{3};

    // The profile's defaults, status 0 and a new session log with its header.
    HalvexSessionController();
    ~HalvexSessionController() override;
    HalvexSessionController(const HalvexSessionController&) = delete;
    HalvexSessionController& operator=(const HalvexSessionController&) = delete;

    // --- status
    std::int64_t statusCode() const { return statusCode_.load(); }
    // Sends will/did change notices for "canTurnOn" and "canTurnOff" (and
    // "statusCode") around the change. Main thread.
    void setStatusCode(std::int64_t status);
    static bool canTurnOn(std::int64_t status);
    static bool canTurnOff(std::int64_t status);
    bool canTurnOn() const { return canTurnOn(statusCode()); }
    bool canTurnOff() const { return canTurnOff(statusCode()); }
    std::optional<Error> lastError() const;
    std::int64_t retryRemains() const { return retryRemains_.load(); }
    // The current attempt's transport; null when idle.
    std::shared_ptr<HalvexSessionTransport> session() const { return session_; }
    bool reconectAfterDisconnected() const { return reconectAfterDisconnected_; }

    // --- actions (main thread)
    // Starts a connection; false (with a warning in the log) when the status
    // forbids it, or when the profile cannot be connected (then lastError
    // says why).
    bool turnOn();
    // Stops connecting, retrying or the connection; whether anything was done.
    bool turnOff();
    // Unless disconnecting, records the error and turns off. Any thread.
    bool turnOffWithError(const Error& error);
    // Reconnects now: connects when idle; disconnects and reconnects at once
    // when connecting or connected.
    void reactivate();
    // Idle to scheduled (clearing lastError); false in other states.
    bool schedule();
    void resetRetryRemains();
    bool decreaseRetryRemains();

    // --- profile helpers
    // A copy of the known host stored for ssh_host and ssh_port, or null
    // (also for a port outside 1 to 65535).
    std::shared_ptr<HalvexKnownHostModel> knownHost() const;
    // "host:port", with " (address)" when the known host was last seen at
    // another address.
    std::string sshHostNotation() const;
    std::string sshHostNotationWithoutPort() const;
    // Setters with change notices for "knownHost" and "sshHostNotation".
    void setSsh_host(std::optional<std::string> host);
    void setSsh_port(std::optional<std::int64_t> port);
    // The stored key named by private_key, or null.
    std::shared_ptr<HalvexPrivateKeyModel> privateKey() const;

    // --- session log (any thread)
    VyMMLogger& logger() { return *logger_; }
    const std::string& logId() const { return logger_->logId(); }
    std::vector<VyMMLogLine> logsAttributedString() const { return logger_->logsAttributeString(); }
    static const char* newLogRisedNotificationName() { return VyMMLoggerNewLogNotifacation; }
    void logDebug(std::string_view message) { logger_->logWithLevel(VyMMLogLevelDebug, message); }
    void logInfo(std::string_view message) { logger_->logWithLevel(VyMMLogLevelInfo, message); }
    void logSuccess(std::string_view message) { logger_->logWithLevel(VyMMLogLevelSuccess, message); }
    void logWarn(std::string_view message) { logger_->logWithLevel(VyMMLogLevelWarn, message); }
    void logError(std::string_view message) { logger_->logWithLevel(VyMMLogLevelError, message); }
    void logFatal(std::string_view message) { logger_->logWithLevel(VyMMLogLevelFatal, message); }

    // --- collaborators (main thread, before turnOn)
    // Makes each attempt's transport; the default wraps a HalvexSession.
    void setTransportFactory(TransportFactory factory);
    // Where known hosts are looked up and stored; the framework's shared
    // preferences by default.
    void setPreferences(std::shared_ptr<HalvexPreferences> preferences);
    HalvexPreferences& preferences() const;
    // Who asks the user for secrets; without one every prompt is cancelled.
    void setSecretPrompter(std::shared_ptr<HalvexSecretPrompter> prompter);
    std::shared_ptr<HalvexSecretPrompter> secretPrompter() const;

    // --- transport callbacks (the attempt's I/O thread)
    bool shouldConnectWithHostKey(HalvexSessionTransport& session,
                                  const std::shared_ptr<HalvexHostKeyParser>& key) override;
    void didConnectToHost(HalvexSessionTransport& session, const std::string& host, uint16_t port) override;
    void didReceiveIssueBanner(HalvexSessionTransport& session, const std::string& banner) override;
    std::optional<Error> authenticateWithAllowedMethods(HalvexSessionTransport& session,
                                                        const std::vector<std::string>& methods,
                                                        bool partialSuccess) override;
    void didAuthenticateUser(HalvexSessionTransport& session, const std::string& user) override;
    void didOpenForwardChannel(HalvexSessionTransport&,
                               const std::shared_ptr<HalvexForwardChannel>&) override {}
    void didDisconnectWithError(HalvexSessionTransport& session, const std::optional<Error>& error) override;

protected:
    // Whether `session` is the attempt this controller runs now; callbacks
    // of a replaced attempt are ignored.
    bool isCurrentSession(const HalvexSessionTransport& session) const;

private:
    struct Attempt;

    // The log lines that open every session log.
    void writeHeader();
    void setLastError(std::optional<Error> error);
    std::shared_ptr<Attempt> attemptFor(const HalvexSessionTransport& session) const;
    bool syncOnMain(const std::function<void()>& block);
    bool doTurnOn();
    void doTurnOff();
    void scheduleRetry();
    void cancelRetry();

    std::string askPassword(Attempt& attempt);
    std::string askPassphrase(Attempt& attempt);
    std::vector<std::string> askInfo(Attempt& attempt, long index, const std::string& name,
                                     const std::string& instruction,
                                     const std::vector<HalvexInteractivePrompt>& prompts);
    void commitPendingSecrets(Attempt& attempt);

    std::unique_ptr<VyMMLogger> logger_;
    std::atomic<std::int64_t> statusCode_{HalvexSessionStatusIdle};
    std::atomic<std::int64_t> retryRemains_{0};
    mutable std::mutex mutex_; // lastError_, attempt_, prompter_, preferences_
    std::optional<Error> lastError_;
    std::shared_ptr<Attempt> attempt_;
    std::shared_ptr<HalvexSecretPrompter> prompter_;
    std::shared_ptr<HalvexPreferences> preferences_;
    std::shared_ptr<HalvexSessionTransport> session_; // main thread
    bool reconectAfterDisconnected_ = false;          // main thread
    int promptsOpen_ = 0;                             // main thread: this controller's open prompts
    DelayedWork retry_;                               // main thread
    TransportFactory transportFactory_;
};
