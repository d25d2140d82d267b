#pragma once
// A libssh server inside the test binary that scripts the logins sshd cannot:
// a partial success from password to keyboard-interactive, a round of two
// prompts with different echo flags followed by an empty round, an issue
// banner, and denial. It serves one connection; stop() or the destructor ends
// it and its thread.

// The server side uses libssh's message API, deprecated in 0.10 but the one
// that scripts these exchanges.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "TestPeers.h"

#include <libssh/libssh.h>
#include <libssh/server.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A server bind on 127.0.0.1 with a new ed25519 host key, listening on a free
// port (three tries); whether it listens.
inline bool listenOnLoopback(ssh_bind bind, uint16_t& port) {
    ssh_key key = nullptr;
    ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &key);
    ssh_bind_options_set(bind, SSH_BIND_OPTIONS_IMPORT_KEY, key);
    ssh_bind_options_set(bind, SSH_BIND_OPTIONS_BINDADDR, "127.0.0.1");
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = peers::freePort();
        int p = port;
        ssh_bind_options_set(bind, SSH_BIND_OPTIONS_BINDPORT, &p);
        if (ssh_bind_listen(bind) == SSH_OK) return true;
    }
    return false;
}

class ScriptedServer {
public:
    enum class Script { PasswordThenInteractive, DenyAll };

    explicit ScriptedServer(Script script) : script_(script) {
        pipe2(stop_, O_CLOEXEC);
        bind_ = ssh_bind_new();
        listening_ = listenOnLoopback(bind_, port);
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

#pragma GCC diagnostic pop
