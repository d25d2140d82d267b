// The transport against a libssh server inside this binary that scripts the
// logins sshd cannot: a partial success from password to keyboard-interactive,
// a round of two prompts with different echo flags followed by an empty round,
// an issue banner, and denial.

// The server side uses libssh's message API, deprecated in 0.10 but the one
// that scripts these exchanges.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "SessionRecorder.h"
#include "TestPeers.h"

#include <libssh/libssh.h>
#include <libssh/server.h>

#include <gtest/gtest.h>

#include <future>

using namespace std::chrono_literals;

namespace {

class ScriptedServer {
public:
    enum class Script { PasswordThenInteractive, DenyAll };

    explicit ScriptedServer(Script script) : script_(script) {
        pipe2(stop_, O_CLOEXEC);
        bind_ = ssh_bind_new();
        ssh_key key = nullptr;
        ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &key);
        ssh_bind_options_set(bind_, SSH_BIND_OPTIONS_IMPORT_KEY, key);
        ssh_bind_options_set(bind_, SSH_BIND_OPTIONS_BINDADDR, "127.0.0.1");
        for (int attempt = 0; attempt < 3 && !listening_; ++attempt) {
            port = peers::freePort();
            int p = port;
            ssh_bind_options_set(bind_, SSH_BIND_OPTIONS_BINDPORT, &p);
            listening_ = ssh_bind_listen(bind_) == SSH_OK;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedServer() { stop(); }

    // Ends the server at once, dropping a connected client.
    void stop() {
        if (!thread_.joinable()) return;
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        if (int fd = sessionFd_.load(); fd >= 0) ::shutdown(fd, SHUT_RDWR);
        thread_.join();
        ssh_bind_free(bind_);
        bind_ = nullptr;
        ::close(stop_[0]);
        ::close(stop_[1]);
    }

    struct Seen {
        std::vector<std::string> passwords;
        std::vector<std::vector<std::string>> answers;
        bool authenticated = false;
    };
    Seen seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    uint16_t port = 0;
    static constexpr const char* kBanner = "Authorized use only.\nThis is the scripted server.\n";

private:
    void run() {
        if (!listening_) return;
        pollfd fds[2] = {{stop_[0], POLLIN, 0}, {ssh_bind_get_fd(bind_), POLLIN, 0}};
        while (true) {
            if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            if (fds[1].revents & POLLIN) break;
        }
        ssh_session s = ssh_new();
        long timeout = 10;
        ssh_options_set(s, SSH_OPTIONS_TIMEOUT, &timeout);
        if (ssh_bind_accept(bind_, s) == SSH_OK) {
            sessionFd_.store(ssh_get_fd(s));
            if (!stopping() && ssh_handle_key_exchange(s) == SSH_OK) serve(s);
        }
        sessionFd_.store(-1);
        ssh_disconnect(s);
        ssh_free(s);
    }

    bool stopping() {
        pollfd p{stop_[0], POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

    void serve(ssh_session s) {
        int base = script_ == Script::DenyAll ? SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE
                                              : SSH_AUTH_METHOD_PASSWORD;
        ssh_set_auth_methods(s, base);
        bool bannerSent = false;
        int round = 0;
        // Bounded: the client ends the session, or the stop pipe / time-out does.
        for (int i = 0; i < 200; ++i) {
            ssh_message msg = ssh_message_get(s);
            if (!msg || stopping()) {
                if (msg) ssh_message_free(msg);
                return;
            }
            if (ssh_message_type(msg) != SSH_REQUEST_AUTH) {
                ssh_message_reply_default(msg);
                ssh_message_free(msg);
                continue;
            }
            if (!bannerSent) {
                ssh_string banner = ssh_string_from_char(kBanner);
                ssh_send_issue_banner(s, banner);
                ssh_string_free(banner);
                bannerSent = true;
            }
            int method = ssh_message_subtype(msg);
            if (script_ == Script::DenyAll) {
                if (method == SSH_AUTH_METHOD_PASSWORD) record(ssh_message_auth_password(msg), {});
                ssh_message_reply_default(msg);
            } else if (method == SSH_AUTH_METHOD_PASSWORD) {
                std::string pw = ssh_message_auth_password(msg);
                record(pw.c_str(), {});
                if (pw == "first-factor") {
                    ssh_set_auth_methods(s, SSH_AUTH_METHOD_INTERACTIVE);
                    ssh_message_auth_reply_success(msg, 1);
                } else {
                    ssh_message_reply_default(msg);
                }
            } else if (method == SSH_AUTH_METHOD_INTERACTIVE && !ssh_message_auth_kbdint_is_response(msg)) {
                const char* prompts[] = {"One-time code: ", "Favourite colour: "};
                char echo[] = {0, 1};
                ssh_message_auth_interactive_request(msg, "Second factor", "Answer both questions.", 2,
                                                     prompts, echo);
                round = 1;
            } else if (method == SSH_AUTH_METHOD_INTERACTIVE) {
                std::vector<std::string> answers;
                int n = ssh_userauth_kbdint_getnanswers(s);
                for (int k = 0; k < n; ++k)
                    answers.emplace_back(ssh_userauth_kbdint_getanswer(s, static_cast<unsigned>(k)));
                record({}, answers);
                if (round == 1 && answers == std::vector<std::string>{"424242", "blue"}) {
                    ssh_message_auth_interactive_request(msg, "", "", 0, nullptr, nullptr);
                    round = 2;
                } else if (round == 2 && answers.empty()) {
                    {
                        std::lock_guard lock(mutex_); // before the client can hear of it
                        seen_.authenticated = true;
                    }
                    ssh_message_auth_reply_success(msg, 0);
                } else {
                    ssh_message_reply_default(msg);
                }
            } else {
                ssh_message_reply_default(msg);
            }
            ssh_message_free(msg);
        }
    }

    void record(const char* password, std::vector<std::string> answers) {
        std::lock_guard lock(mutex_);
        if (password)
            seen_.passwords.emplace_back(password);
        else
            seen_.answers.push_back(std::move(answers));
    }

    Script script_;
    ssh_bind bind_ = nullptr;
    bool listening_ = false;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<int> sessionFd_{-1};
    std::mutex mutex_;
    Seen seen_;
};

// Password first, then keyboard-interactive, as the methods allow.
SessionRecorder::Chooser twoFactor(std::string password, std::vector<std::string> answers,
                                   std::vector<HalvexInteractiveRequest>* asked, std::mutex* m) {
    return [=](HalvexSession& s, const std::vector<std::string>& methods, bool) -> std::optional<Error> {
        if (std::find(methods.begin(), methods.end(), "password") != methods.end()) {
            s.authenticateByPasswordHandler([=] { return password; });
        } else if (std::find(methods.begin(), methods.end(), "keyboard-interactive") != methods.end()) {
            s.authenticateByInteractiveHandler([=](long index, const std::string& name,
                                                   const std::string& instruction,
                                                   const std::vector<HalvexInteractivePrompt>& prompts) {
                std::lock_guard lock(*m);
                asked->push_back({index, name, instruction, prompts});
                return answers;
            });
        } else {
            return Error("Halvex.Core", 1007, "No match authentication method found");
        }
        return std::nullopt;
    };
}

TEST(HalvexSessionScripted, PartialSuccessLeadsFromPasswordToTwoPromptsAndAnEmptyRound) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    auto rec = std::make_shared<SessionRecorder>();
    std::mutex m;
    std::vector<HalvexInteractiveRequest> asked;
    rec->chooser = twoFactor("first-factor", {"424242", "blue"}, &asked, &m);
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_TRUE(rec->waitAuthenticated()) << (rec->lastError() ? rec->lastError()->localizedDescription : "");

    auto events = rec->events();
    std::vector<std::string> expected = {"hostkey",
                                         "connect:127.0.0.1:" + std::to_string(server.port),
                                         "banner",
                                         "methods:password",
                                         "partial:keyboard-interactive",
                                         "kbdint:0",
                                         "authenticated:tester"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(rec->banner, ScriptedServer::kBanner);
    {
        std::lock_guard lock(m);
        ASSERT_EQ(asked.size(), 1u) << "the empty round is answered without asking";
        EXPECT_EQ(asked[0].index, 0);
        EXPECT_EQ(asked[0].name, "Second factor");
        EXPECT_EQ(asked[0].instruction, "Answer both questions.");
        ASSERT_EQ(asked[0].prompts.size(), 2u);
        EXPECT_EQ(asked[0].prompts[0], (HalvexInteractivePrompt{"One-time code: ", false}));
        EXPECT_EQ(asked[0].prompts[1], (HalvexInteractivePrompt{"Favourite colour: ", true}));
    }
    {
        std::lock_guard lock(rec->mutex);
        ASSERT_EQ(rec->requests.size(), 1u);
        EXPECT_EQ(rec->requests[0].prompts.size(), 2u);
    }
    auto seen = server.seen();
    EXPECT_EQ(seen.passwords, std::vector<std::string>{"first-factor"});
    ASSERT_EQ(seen.answers.size(), 2u);
    EXPECT_EQ(seen.answers[0], (std::vector<std::string>{"424242", "blue"}));
    EXPECT_TRUE(seen.answers[1].empty());
    EXPECT_TRUE(seen.authenticated);

    session->disconnect();
    ASSERT_TRUE(rec->waitDisconnect());
    EXPECT_FALSE(rec->lastError());
}

TEST(HalvexSessionScripted, WrongAnswersAndDenialEndWithAuthenticationFailure) {
    {
        ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
        auto rec = std::make_shared<SessionRecorder>();
        std::mutex m;
        std::vector<HalvexInteractiveRequest> asked;
        rec->chooser = twoFactor("first-factor", {"000000", "red"}, &asked, &m);
        auto session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        ASSERT_TRUE(rec->lastError());
        EXPECT_EQ(rec->lastError()->domain, "Halvex.Core");
        EXPECT_EQ(rec->lastError()->code, HalvexCoreErrorAuthentication);
        EXPECT_FALSE(rec->authenticated);
    }
    {
        ScriptedServer server(ScriptedServer::Script::DenyAll);
        auto rec = std::make_shared<SessionRecorder>();
        std::mutex m;
        std::vector<HalvexInteractiveRequest> asked;
        rec->chooser = twoFactor("anything", {}, &asked, &m);
        auto session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        EXPECT_EQ(rec->lastError() ? rec->lastError()->code : 0, HalvexCoreErrorAuthentication);
        EXPECT_EQ(server.seen().passwords, std::vector<std::string>{"anything"});
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(rec->disconnectCount(), 1);
    }
}

TEST(HalvexSessionScripted, TheDelegatesErrorOrNoChoiceEndsTheAttempt) {
    {
        ScriptedServer server(ScriptedServer::Script::DenyAll);
        auto rec = std::make_shared<SessionRecorder>();
        rec->chooser = [](HalvexSession&, const std::vector<std::string>&, bool) -> std::optional<Error> {
            return Error("Halvex.Core", 1007, "No match authentication method found");
        };
        auto session = HalvexSession::make(rec);

        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        ASSERT_TRUE(rec->lastError());
        EXPECT_EQ(rec->lastError()->code, 1007);
        EXPECT_EQ(rec->lastError()->localizedDescription, "No match authentication method found");
        EXPECT_TRUE(server.seen().passwords.empty());
    }
    {
        ScriptedServer server(ScriptedServer::Script::DenyAll);
        auto rec = std::make_shared<SessionRecorder>(); // chooses nothing
        auto session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", server.port, "tester", 10);
        ASSERT_TRUE(rec->waitDisconnect());
        EXPECT_EQ(rec->lastError() ? rec->lastError()->code : 0, HalvexCoreErrorAuthentication);
    }
}

TEST(HalvexSessionScripted, DisconnectWhileTheInteractivePromptWaitsEndsOnce) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    auto rec = std::make_shared<SessionRecorder>();
    std::promise<void> prompting;
    std::promise<void> release;
    auto released = release.get_future().share();
    rec->chooser = [&](HalvexSession& s, const std::vector<std::string>& methods,
                       bool) -> std::optional<Error> {
        if (methods == std::vector<std::string>{"password"}) {
            s.authenticateByPasswordHandler([] { return std::string("first-factor"); });
        } else {
            s.authenticateByInteractiveHandler([&, released](long, const std::string&, const std::string&,
                                                             const std::vector<HalvexInteractivePrompt>&) {
                prompting.set_value();
                released.wait();
                return std::vector<std::string>{"424242", "blue"};
            });
        }
        return std::nullopt;
    };
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_EQ(prompting.get_future().wait_for(20s), std::future_status::ready);
    session->disconnect();
    session->disconnect(); // twice: still one end
    release.set_value();
    ASSERT_TRUE(rec->waitDisconnect());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(rec->disconnectCount(), 1);
    EXPECT_FALSE(rec->lastError());
    EXPECT_FALSE(rec->authenticated);
    EXPECT_TRUE(server.seen().answers.empty()) << "answers given after the disconnect are not sent";
}

TEST(HalvexSessionScripted, AServerThatGoesAwayEndsTheSessionWithAnError) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    auto rec = std::make_shared<SessionRecorder>();
    std::mutex m;
    std::vector<HalvexInteractiveRequest> asked;
    rec->chooser = twoFactor("first-factor", {"424242", "blue"}, &asked, &m);
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_TRUE(rec->waitAuthenticated());
    server.stop();
    ASSERT_TRUE(rec->waitDisconnect());
    ASSERT_TRUE(rec->lastError());
    EXPECT_EQ(rec->lastError()->code, HalvexCoreErrorProtocol) << rec->lastError()->localizedDescription;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rec->disconnectCount(), 1);
}

TEST(HalvexSessionScripted, ReleasingTheSessionEndsTheAttemptWithoutCallbacks) {
    ScriptedServer server(ScriptedServer::Script::DenyAll);
    auto rec = std::make_shared<SessionRecorder>();
    std::promise<void> asked;
    std::atomic<bool> once{false};
    rec->chooser = [&](HalvexSession&, const std::vector<std::string>&, bool) -> std::optional<Error> {
        if (!once.exchange(true)) asked.set_value();
        std::this_thread::sleep_for(100ms);
        return std::nullopt;
    };
    auto session = HalvexSession::make(rec);
    session->connectToHost("127.0.0.1", server.port, "tester", 10);
    ASSERT_EQ(asked.get_future().wait_for(20s), std::future_status::ready);
    session.reset();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(rec->disconnectCount(), 0) << "no session is left to report on";
}

} // namespace
