#pragma once

#include "HalvexCore/HalvexChannel.h"
#include "HalvexCore/HalvexSession.h"
#include "HalvexCore/HalvexSocketConnector.h"

#include <libssh/callbacks.h>
#include <libssh/libssh.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The I/O-thread side of one channel.
struct HalvexChannelIO {
    enum class Kind { Direct, Shell, Forward };
    enum class Phase { Pending, Opening, PtyRequest, ShellRequest, Open, Closed };
    Kind kind = Kind::Direct;
    Phase phase = Phase::Pending;
    ssh_channel channel = nullptr;
    ssh_channel_callbacks_struct callbacks{};
    std::string host;
    uint16_t port = 0;
    std::string terminalType;
    long columns = 80, rows = 24;
    std::optional<std::pair<long, long>> pendingResize;
    std::string writeBuffer;
    size_t writeOffset = 0;
    bool closing = false;
    bool remoteClosed = false;
    bool remoteEOF = false;
    bool eofReported = false; // the delegate heard of the remote EOF
    bool halfOpen = false;    // ... and keeps the channel open for writing
    bool eofSent = false;
    // Bytes left in libssh's stdout and stderr buffers while there was no
    // delegate or reading was paused; their window is given back when read.
    uint32_t held[2] = {0, 0};
};

// Everything behind a HalvexSession: the settings, the command queue, and the
// I/O thread that owns the libssh session. Public calls touch only the
// mutex-guarded part and post commands; the thread does the rest.
class HalvexSessionCore : public std::enable_shared_from_this<HalvexSessionCore> {
public:
    struct Config {
        bool proxyEnabled = false;
        long proxyType = 0;
        std::string proxyHost;
        uint16_t proxyPort = 0;
        bool proxyAuth = false;
        std::string proxyUser, proxyPassword;
        bool compression = false;
        bool ipv4 = true, ipv6 = true;
        std::string ciphers, hostKeyAlgorithms, keyExchangeAlgorithms;
        long serverAliveCountMax = 3;
        HalvexLogSink logDebug, logInfo, logWarn, logError, logFatal;
        std::string host, interfaceName, user;
        uint16_t port = 22;
        double timeout = 0;
    };
    struct AuthChoice {
        enum class Kind { None, Password, KeyText, KeyParser, Interactive } kind = Kind::None;
        HalvexPasswordHandler password;
        std::string keyText;
        std::shared_ptr<HalvexPrivateKeyParser> keyParser;
        HalvexInteractiveHandler interactive;
    };
    struct Command {
        enum class Type { Open, Close, Resize, Deliver, Forward, CancelForward };
        explicit Command(Type t) : type(t) {}
        Type type;
        std::shared_ptr<HalvexChannel> channel;
        long columns = 0, rows = 0;
        std::optional<std::string> listenHost;
        uint16_t listenPort = 0;
        HalvexForwardCompletion completion;
        uint16_t candidatePort = 0; // listen requests for port 0: the port being asked for
        int attempts = 0;
    };

    HalvexSessionCore();
    ~HalvexSessionCore();

    mutable std::mutex mutex;
    Config config;                                 // guarded by mutex
    std::weak_ptr<HalvexSessionDelegate> delegate; // guarded by mutex
    std::weak_ptr<HalvexSession> owner;            // set once by make()
    AuthChoice authChoice;                         // guarded by mutex
    std::string hostIP;                            // guarded by mutex
    bool started = false;                          // guarded by mutex

    void start(); // called with the settings in place; spawns the I/O thread
    void post(Command command);
    void wake();
    void requestDisconnect();

private:
    void run();
    std::optional<Error> attempt();
    void teardown(const std::optional<Error>& error);
    bool pollOnce(int timeoutMs);
    bool waitStep(std::optional<std::chrono::steady_clock::time_point> deadline, std::optional<Error>& error,
                  const char* what);
    Error handshakeFailure(const std::string& reason);
    std::string closedReason();
    std::optional<Error> authenticate();
    std::optional<Error> runAuthChoice(AuthChoice& choice, int& result);
    std::optional<Error> mainLoop();
    void execute(Command& command);
    void reject(Command& command, bool ended);
    void serviceChannel(const std::shared_ptr<HalvexChannel>& channel);
    void failChannel(const std::shared_ptr<HalvexChannel>& channel, const std::optional<Error>& error);
    void markOpen(const std::shared_ptr<HalvexChannel>& channel);
    void attachCallbacks(HalvexChannel* channel);
    static bool canDeliver(HalvexChannel& channel);
    void drainHeld(const std::shared_ptr<HalvexChannel>& channel);
    void reportEOF(const std::shared_ptr<HalvexChannel>& channel);
    void serviceForwards();
    void acceptForwardChannels();
    void reportBanner();
    void log(int level, const std::string& message); // 0 debug .. 4 fatal

    template <class F>
    void withDelegate(F&& f);
    template <class F>
    void withChannelDelegate(HalvexChannel& channel, F&& f);

    static int onWake(socket_t fd, int revents, void* userdata);
    static int onChannelData(ssh_session, ssh_channel, void* data, uint32_t len, int isStderr,
                             void* userdata);
    static void onChannelClose(ssh_session, ssh_channel, void* userdata);
    static void onChannelEOF(ssh_session, ssh_channel, void* userdata);
    static void onLibsshLog(int priority, const char* function, const char* message, void* userdata);

    int wakeFd_ = -1;
    std::atomic<bool> disconnectRequested_{false};
    std::deque<Command> commands_; // guarded by mutex
    bool ended_ = false;           // guarded by mutex

    // I/O thread only.
    Config cfg_;
    ssh_session session_ = nullptr;
    ssh_event event_ = nullptr;
    bool sessionInEvent_ = false;
    bool fdGivenToLibssh_ = false;
    HalvexConnectResult socket_;
    bool authenticated_ = false;
    bool bannerReported_ = false;
    bool forwardsActive_ = false;
    std::vector<std::shared_ptr<HalvexChannel>> channels_;
    std::deque<Command> forwards_;
    bool forwardInFlight_ = false;
    std::string readBuffer_;
    std::string lastReason_; // why the socket closed, read once (reading it again loses it)
};
