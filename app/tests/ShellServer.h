#pragma once
// A libssh server inside the test binary that offers an interactive shell:
// password login, a pseudo-terminal whose requested sizes it records, a shell
// that writes a greeting to standard output and standard error and echoes
// what it is sent. It serves connections one after another until stop(); a
// test can send more output, end the shell or drop the connection. Everything
// runs on one thread of its own, with bounded waits.

#include "ScriptedServer.h"
#include "TestPeers.h"

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/server.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class ShellServer {
public:
    struct Size {
        int columns = 0;
        int rows = 0;
        friend bool operator==(const Size&, const Size&) = default;
    };
    struct Seen {
        std::string termType;
        // The pty request's size first, then every window change.
        std::vector<Size> sizes;
        std::string input;
        int shells = 0;
        int connections = 0;
        bool connected = false; // a client is connected now
    };

    // `greeting` goes to standard output and `warning` to standard error as
    // soon as the shell starts.
    explicit ShellServer(std::string greeting = "ready\r\n", std::string warning = "")
        : greeting_(std::move(greeting)), warning_(std::move(warning)) {
        pipe2(stop_, O_CLOEXEC);
        bind_ = ssh_bind_new();
        listening_ = listenOnLoopback(bind_, port);
        thread_ = std::thread([this] { run(); });
    }
    ~ShellServer() { stop(); }
    ShellServer(const ShellServer&) = delete;
    ShellServer& operator=(const ShellServer&) = delete;

    void stop() {
        if (!thread_.joinable()) return;
        stopping_.store(true);
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        ssh_bind_free(bind_);
        bind_ = nullptr;
        ::close(stop_[0]);
        ::close(stop_[1]);
    }

    Seen seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    // Output for the client's shell, sent by the server thread.
    void send(std::string text, bool toStderr = false) {
        std::lock_guard lock(mutex_);
        commands_.push_back({toStderr ? Command::Stderr : Command::Stdout, std::move(text)});
    }
    // Ends the shell channel (the connection stays).
    void closeShell() {
        std::lock_guard lock(mutex_);
        commands_.push_back({Command::CloseShell, {}});
    }
    // Ends the connection.
    void dropConnection() {
        std::lock_guard lock(mutex_);
        commands_.push_back({Command::Drop, {}});
    }

    uint16_t port = 0;
    std::string password = "shell-secret";
    bool echo = true;

private:
    struct Command {
        enum Kind { Stdout, Stderr, CloseShell, Drop } kind;
        std::string text;
    };
    struct Connection {
        ShellServer* server = nullptr;
        ssh_session session = nullptr;
        ssh_channel channel = nullptr;
        bool shellStarted = false;
        bool ended = false;
        ssh_channel_callbacks_struct channelCallbacks{};
    };

    void run() {
        if (!listening_) return;
        // Bounded: a test makes a handful of connections.
        for (int served = 0; served < 64 && !stopping_.load(); ++served) {
            pollfd fds[2] = {{stop_[0], POLLIN, 0}, {ssh_bind_get_fd(bind_), POLLIN, 0}};
            bool incoming = false;
            while (!stopping_.load()) {
                if (::poll(fds, 2, 200) < 0 && errno != EINTR) return;
                if (fds[0].revents) return;
                if (fds[1].revents & POLLIN) {
                    incoming = true;
                    break;
                }
            }
            if (!incoming) return;
            serveOne();
        }
    }

    void serveOne() {
        ssh_session s = ssh_new();
        long timeout = 10;
        ssh_options_set(s, SSH_OPTIONS_TIMEOUT, &timeout);
        if (ssh_bind_accept(bind_, s) != SSH_OK) {
            ssh_free(s);
            return;
        }
        Connection c;
        c.server = this;
        c.session = s;
        ssh_server_callbacks_struct callbacks{};
        callbacks.userdata = &c;
        callbacks.auth_password_function = [](ssh_session, const char*, const char* pw, void* u) -> int {
            auto* conn = static_cast<Connection*>(u);
            return pw && conn->server->password == pw ? SSH_AUTH_SUCCESS : SSH_AUTH_DENIED;
        };
        callbacks.channel_open_request_session_function = [](ssh_session session, void* u) -> ssh_channel {
            auto* conn = static_cast<Connection*>(u);
            if (conn->channel) return nullptr;
            conn->channel = ssh_channel_new(session);
            conn->server->attachChannel(*conn);
            return conn->channel;
        };
        ssh_callbacks_init(&callbacks);
        ssh_set_server_callbacks(s, &callbacks);
        ssh_set_auth_methods(s, SSH_AUTH_METHOD_PASSWORD);
        if (ssh_handle_key_exchange(s) == SSH_OK) {
            {
                std::lock_guard lock(mutex_);
                ++seen_.connections;
                seen_.connected = true;
            }
            ssh_event event = ssh_event_new();
            ssh_event_add_session(event, s);
            while (!stopping_.load() && !c.ended) {
                if (ssh_event_dopoll(event, 50) == SSH_ERROR) break;
                if (!runCommands(c)) break;
                if (c.channel && (ssh_channel_is_closed(c.channel) || ssh_channel_is_eof(c.channel))) {
                    ssh_channel_close(c.channel);
                    ssh_channel_free(c.channel);
                    c.channel = nullptr;
                }
                if (ssh_get_status(s) & (SSH_CLOSED | SSH_CLOSED_ERROR)) break;
            }
            ssh_event_remove_session(event, s);
            ssh_event_free(event);
        }
        {
            std::lock_guard lock(mutex_);
            seen_.connected = false;
        }
        if (c.channel) ssh_channel_free(c.channel);
        ssh_disconnect(s);
        ssh_free(s);
    }

    void attachChannel(Connection& c) {
        auto& cb = c.channelCallbacks;
        cb = {};
        cb.userdata = &c;
        cb.channel_pty_request_function = [](ssh_session, ssh_channel, const char* term, int w, int h, int,
                                             int, void* u) {
            auto* conn = static_cast<Connection*>(u);
            std::lock_guard lock(conn->server->mutex_);
            conn->server->seen_.termType = term ? term : "";
            conn->server->seen_.sizes.push_back({w, h});
            return 0;
        };
        cb.channel_pty_window_change_function = [](ssh_session, ssh_channel, int w, int h, int, int,
                                                   void* u) {
            auto* conn = static_cast<Connection*>(u);
            std::lock_guard lock(conn->server->mutex_);
            conn->server->seen_.sizes.push_back({w, h});
            return 0;
        };
        cb.channel_shell_request_function = [](ssh_session, ssh_channel channel, void* u) {
            auto* conn = static_cast<Connection*>(u);
            {
                std::lock_guard lock(conn->server->mutex_);
                ++conn->server->seen_.shells;
            }
            conn->shellStarted = true;
            auto& g = conn->server->greeting_;
            auto& w = conn->server->warning_;
            if (!g.empty()) ssh_channel_write(channel, g.data(), static_cast<uint32_t>(g.size()));
            if (!w.empty()) ssh_channel_write_stderr(channel, w.data(), static_cast<uint32_t>(w.size()));
            return 0;
        };
        cb.channel_data_function = [](ssh_session, ssh_channel channel, void* data, uint32_t len, int,
                                      void* u) -> int {
            auto* conn = static_cast<Connection*>(u);
            {
                std::lock_guard lock(conn->server->mutex_);
                conn->server->seen_.input.append(static_cast<const char*>(data), len);
            }
            if (conn->server->echo) ssh_channel_write(channel, data, len);
            return static_cast<int>(len);
        };
        ssh_callbacks_init(&cb);
        ssh_set_channel_callbacks(c.channel, &cb);
    }

    // False when the connection is to end.
    bool runCommands(Connection& c) {
        std::deque<Command> commands;
        {
            std::lock_guard lock(mutex_);
            commands.swap(commands_);
        }
        for (auto& command : commands) {
            switch (command.kind) {
            case Command::Stdout:
            case Command::Stderr:
                if (c.channel && c.shellStarted) {
                    if (command.kind == Command::Stdout)
                        ssh_channel_write(c.channel, command.text.data(),
                                          static_cast<uint32_t>(command.text.size()));
                    else
                        ssh_channel_write_stderr(c.channel, command.text.data(),
                                                 static_cast<uint32_t>(command.text.size()));
                }
                break;
            case Command::CloseShell:
                if (c.channel) {
                    ssh_channel_send_eof(c.channel);
                    ssh_channel_close(c.channel);
                }
                break;
            case Command::Drop:
                return false;
            }
        }
        return true;
    }

    std::string greeting_, warning_;
    ssh_bind bind_ = nullptr;
    bool listening_ = false;
    int stop_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    Seen seen_;
    std::deque<Command> commands_;
};
