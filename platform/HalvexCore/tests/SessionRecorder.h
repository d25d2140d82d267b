#pragma once
// Delegates that record what a session and its channels report, with bounded
// waits for the tests.

#include "HalvexCore/HalvexChannel.h"
#include "HalvexCore/HalvexForwardChannel.h"
#include "HalvexCore/HalvexHostKeyParser.h"
#include "HalvexCore/HalvexPrivateKeyParser.h"
#include "HalvexCore/HalvexSession.h"
#include "HalvexCore/HalvexShellChannel.h"
#include "TestPeers.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class SessionRecorder : public HalvexSessionDelegate, public peers::Recorder {
public:
    using Chooser =
        std::function<std::optional<Error>(HalvexSession&, const std::vector<std::string>&, bool)>;

    // Logs in with the private key in a file.
    static Chooser keyFile(std::string path) {
        return [path](HalvexSession& s, const std::vector<std::string>&, bool) -> std::optional<Error> {
            Error e;
            auto parser = HalvexPrivateKeyParser::parserFromFilePath(path, {}, &e);
            if (!parser) return e;
            s.authenticateByPrivateKeyParser(parser);
            return std::nullopt;
        };
    }

    bool waitDisconnect(std::chrono::seconds limit = std::chrono::seconds(30)) {
        return waitFor([&] { return disconnects > 0; }, limit);
    }
    bool waitAuthenticated(std::chrono::seconds limit = std::chrono::seconds(30)) {
        return waitFor([&] { return authenticated || disconnects > 0; }, limit) && authenticated;
    }

    void keyboardInteractiveRequest(HalvexSession&, const HalvexInteractiveRequest& r) override {
        add("kbdint:" + std::to_string(r.index), [&] { requests.push_back(r); });
    }
    void didConnectToHost(HalvexSession&, const std::string& host, uint16_t port) override {
        add("connect:" + host + ":" + std::to_string(port));
    }
    void didDisconnectWithError(HalvexSession&, const std::optional<Error>& e) override {
        add("disconnect", [&] {
            ++disconnects;
            error = e;
        });
    }
    void didReceiveIssueBanner(HalvexSession&, const std::string& b) override {
        add("banner", [&] { banner = b; });
    }
    bool shouldConnectWithHostKey(HalvexSession&, const std::shared_ptr<HalvexHostKeyParser>& key) override {
        add("hostkey", [&] { hostKey = key; });
        return acceptHostKey;
    }
    std::optional<Error> authenticateWithAllowedMethods(HalvexSession& s,
                                                        const std::vector<std::string>& methods,
                                                        bool partial) override {
        std::string joined;
        for (auto& m : methods)
            joined += (joined.empty() ? "" : ",") + m;
        add(std::string(partial ? "partial:" : "methods:") + joined);
        if (chooser) return chooser(s, methods, partial);
        return std::nullopt;
    }
    void didAuthenticateUser(HalvexSession& s, const std::string& user) override {
        add("authenticated:" + user, [&] { authenticated = true; });
        if (onAuthenticated) onAuthenticated(s);
    }
    void didOpenForwardChannel(HalvexSession&,
                               const std::shared_ptr<HalvexForwardChannel>& channel) override {
        add("forward", [&] { forwards.push_back(channel); });
        if (onForward) onForward(channel);
    }

    std::vector<std::string> events() {
        std::lock_guard lock(mutex);
        return log;
    }
    int disconnectCount() {
        std::lock_guard lock(mutex);
        return disconnects;
    }
    std::optional<Error> lastError() {
        std::lock_guard lock(mutex);
        return error;
    }

    // Set before connecting.
    bool acceptHostKey = true;
    Chooser chooser;
    std::function<void(HalvexSession&)> onAuthenticated;
    std::function<void(const std::shared_ptr<HalvexForwardChannel>&)> onForward;

    std::vector<std::string> log;
    int disconnects = 0;
    bool authenticated = false;
    std::optional<Error> error;
    std::string banner;
    std::shared_ptr<HalvexHostKeyParser> hostKey;
    std::vector<HalvexInteractiveRequest> requests;
    std::vector<std::shared_ptr<HalvexForwardChannel>> forwards;

private:
    void add(const std::string& event, const std::function<void()>& more = {}) {
        change([&] {
            log.push_back(event);
            if (more) more();
        });
    }
};

class ChannelRecorder : public HalvexShellChannelDelegate, public peers::Recorder {
public:
    void didReadStdoutData(HalvexChannel& c, std::string_view data) override {
        change([&] { out.append(data); });
        if (echo) c.writeData(data);
    }
    void didReadStderrData(HalvexChannel&, std::string_view data) override {
        change([&] { err.append(data); });
    }
    void channelDidWriteData(HalvexChannel&) override {
        change([&] { ++writesDone; });
    }
    void channelDidClose(HalvexChannel&, const std::optional<Error>& e) override {
        change([&] {
            ++closes;
            closeError = e;
        });
    }
    void channelDidOpen(HalvexChannel& c) override {
        change([&] { ++opens; });
        if (pauseOnOpen) c.pauseReading();
    }
    bool channelDidReceiveEOF(HalvexChannel&) override {
        change([&] {
            ++eofs;
            outAtEOF = out.size();
        });
        return keepOpenOnEOF;
    }
    void didChangePtySize(HalvexShellChannel&, long columns, long rows,
                          const std::optional<Error>& e) override {
        change([&] { resizes.push_back({columns, rows, e.has_value()}); });
    }

    struct Resize {
        long columns, rows;
        bool failed;
    };
    bool echo = false;          // write every byte read back to the channel
    bool keepOpenOnEOF = false; // the answer to channelDidReceiveEOF
    bool pauseOnOpen = false;
    int eofs = 0;
    size_t outAtEOF = 0;
    std::string out, err;
    int opens = 0, closes = 0, writesDone = 0;
    std::optional<Error> closeError;
    std::vector<Resize> resizes;
};
