#pragma once
// Real peers for the transport's tests and benchmark: OpenSSH's sshd on
// loopback with its own config, keys and folder; a throwaway login user; an
// echo server; small SOCKS4/4A/5 and HTTP(S) CONNECT proxies. Every process
// and thread started here is stopped by its owner's destructor.

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace peers {

using namespace std::chrono_literals;

// The base of the tests' delegates: what they heard, kept under one lock,
// with bounded waits for it.
class Recorder {
public:
    template <class Pred>
    bool waitFor(Pred pred, std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, limit, [&] { return pred(); });
    }

    std::mutex mutex;
    std::condition_variable cv;

protected:
    template <class F>
    void change(F f) {
        {
            std::lock_guard lock(mutex);
            f();
        }
        cv.notify_all();
    }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& text, mode_t mode = 0600) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/orvik-halvex-XXXXXX";
        char* p = mkdtemp(tmpl);
        path = p ? p : "";
        chmod(path.c_str(), 0755);
    }
    ~TempDir() {
        if (path.empty()) return;
        nftw(
            path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    std::string path;
};

// Runs a program by absolute path or PATH lookup, no shell; returns its exit
// status (-1 when it could not start). stdin gets `input`; output is dropped
// unless `output` is given.
inline int runProgram(const std::vector<std::string>& args, const std::string& input = {},
                      std::string* output = nullptr) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    if (pipe2(out, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return -1;
    }
    if (!input.empty()) {
        [[maybe_unused]] ssize_t n = ::write(in[1], input.data(), input.size());
    }
    ::close(in[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        if (output) output->append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline uint16_t freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

// A blocking TCP connection to 127.0.0.1:port, or -1.
inline int connectLoopback(uint16_t port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

inline int listenLoopback(uint16_t& port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 16) != 0) {
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

// OpenSSH's sshd on 127.0.0.1 with keys and config in a folder of its own.
class SSHD {
public:
    SSHD() = default;
    ~SSHD() { stop(); }

    // Host key, client keys (OpenSSH-format ed25519, PEM RSA, encrypted PEM
    // RSA), authorized keys, config; then start, retrying once on a new port.
    bool start(const std::string& extraConfig = {}) {
        mkdir("/run/sshd", 0755);
        const std::string d = dir.path;
        if (runProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", d + "/host_ed25519"}) != 0)
            return false;
        if (runProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "orvik-test", "-f",
                        d + "/id_ed25519"}) != 0)
            return false;
        if (runProgram({"ssh-keygen", "-q", "-t", "rsa", "-b", "2048", "-m", "PEM", "-N", "", "-f",
                        d + "/id_rsa"}) != 0)
            return false;
        if (runProgram({"ssh-keygen", "-q", "-t", "rsa", "-b", "2048", "-m", "PEM", "-N", passphrase, "-f",
                        d + "/id_rsa_enc"}) != 0)
            return false;
        writeFile(d + "/authorized_keys",
                  readFile(d + "/id_ed25519.pub") + readFile(d + "/id_rsa.pub") +
                      readFile(d + "/id_rsa_enc.pub"),
                  0644);
        for (int attempt = 0; attempt < 2; ++attempt) {
            port = freePort();
            writeFile(d + "/sshd_config",
                      "Port " + std::to_string(port) + "\nListenAddress 127.0.0.1\nHostKey " + d +
                          "/host_ed25519\nPidFile " + d + "/sshd.pid\nAuthorizedKeysFile " + d +
                          "/authorized_keys\nStrictModes no\nUsePAM yes\nPubkeyAuthentication yes\n"
                          "PasswordAuthentication yes\nKbdInteractiveAuthentication yes\n"
                          "PermitRootLogin prohibit-password\nAllowTcpForwarding yes\nPrintMotd no\n"
                          "UseDNS no\nMaxStartups 100\nMaxSessions 100\nLogLevel VERBOSE\n" +
                          extraConfig,
                      0644);
            if (runProgram({"/usr/sbin/sshd", "-t", "-f", d + "/sshd_config"}) != 0) return false;
            if (spawn() && waitListening()) return true;
            stop();
        }
        return false;
    }

    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return;
            }
            std::this_thread::sleep_for(20ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::string hostKeyFingerprint() {
        std::string out;
        runProgram({"ssh-keygen", "-l", "-E", "sha256", "-f", dir.path + "/host_ed25519.pub"}, {}, &out);
        // "256 SHA256:xxxx comment (ED25519)"
        std::istringstream s(out);
        std::string bits, fp;
        s >> bits >> fp;
        return fp;
    }
    std::string log() { return readFile(dir.path + "/sshd.log"); }

    TempDir dir;
    uint16_t port = 0;
    pid_t pid = -1;
    std::string passphrase = "orvik pass phrase";

private:
    // sshd gets a parent-death signal, so a test process that dies midway
    // does not leave it running.
    bool spawn() {
        std::string logPath = dir.path + "/sshd.log";
        std::string config = dir.path + "/sshd_config";
        const char* argv[] = {"/usr/sbin/sshd", "-D", "-e", "-f", config.c_str(), nullptr};
        pid_t parent = getpid();
        pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(127);
            int in = ::open("/dev/null", O_RDONLY);
            int out = ::open("/dev/null", O_WRONLY);
            int err = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (in < 0 || out < 0 || err < 0) _exit(127);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            execv(argv[0], const_cast<char**>(argv));
            _exit(127);
        }
        return true;
    }
    bool waitListening() {
        for (int i = 0; i < 250; ++i) { // 5 s
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return false;
            }
            int s = connectLoopback(port);
            if (s >= 0) {
                ::close(s);
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

// A login user with a password, for password and keyboard-interactive logins
// against sshd; named after this process and removed by the destructor. Users
// left behind by test processes that died are removed first.
class TestUser {
public:
    TestUser() {
        name = "orviktest" + std::to_string(getpid());
        removeStale();
        for (int i = 0; i < 20 && !ok; ++i) {
            ok = runProgram({"useradd", "-M", "-N", "-d", "/tmp", "-s", "/bin/sh", name}) == 0;
            if (!ok) std::this_thread::sleep_for(200ms);
        }
        if (ok) {
            bool set = false;
            for (int i = 0; i < 20 && !set; ++i) {
                set = runProgram({"chpasswd"}, name + ":" + password + "\n") == 0;
                if (!set) std::this_thread::sleep_for(200ms);
            }
            ok = set;
        }
    }
    ~TestUser() { removeUser(name); }

    std::string name;
    std::string password = "Orvik-test-pw-7";
    bool ok = false;

private:
    static void removeUser(const std::string& user) {
        for (int i = 0; i < 20; ++i) {
            if (!getpwnam(user.c_str())) return;
            if (runProgram({"userdel", "-f", user}) == 0) return;
            std::this_thread::sleep_for(200ms);
        }
    }
    static void removeStale() {
        std::vector<std::string> stale;
        std::istringstream passwd(readFile("/etc/passwd"));
        std::string line;
        while (std::getline(passwd, line)) {
            std::string user = line.substr(0, line.find(':'));
            if (user.rfind("orviktest", 0) != 0) continue;
            std::string pidText = user.substr(9);
            if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
            pid_t p = static_cast<pid_t>(std::stol(pidText));
            if (kill(p, 0) != 0 && errno == ESRCH) stale.push_back(user);
        }
        for (auto& u : stale)
            removeUser(u);
    }
};

// Echoes every connection's bytes back until the peer closes.
class EchoServer {
public:
    EchoServer() {
        listenFd_ = listenLoopback(port);
        pipe2(stop_, O_CLOEXEC);
        thread_ = std::thread([this] { run(); });
    }
    ~EchoServer() {
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        ::close(listenFd_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    uint16_t port = 0;

private:
    void run() {
        std::vector<int> conns;
        std::vector<std::string> pending;
        char buf[65536];
        while (true) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
            for (size_t i = 0; i < conns.size(); ++i)
                fds.push_back({conns[i], short(pending[i].empty() ? POLLIN : POLLOUT), 0});
            if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
            if (fds[0].revents) break;
            if (fds[1].revents & POLLIN) {
                int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    conns.push_back(c);
                    pending.emplace_back();
                }
            }
            for (size_t i = 0; i + 2 < fds.size(); ++i) { // connections polled this round
                short re = fds[i + 2].revents;
                if (!re) continue;
                if (!pending[i].empty()) {
                    ssize_t n = ::send(conns[i], pending[i].data(), pending[i].size(), MSG_NOSIGNAL);
                    if (n > 0)
                        pending[i].erase(0, static_cast<size_t>(n));
                    else if (n < 0 && errno != EAGAIN)
                        pending[i].clear(), ::shutdown(conns[i], SHUT_RDWR);
                    continue;
                }
                ssize_t n = ::recv(conns[i], buf, sizeof buf, 0);
                if (n > 0)
                    pending[i].assign(buf, static_cast<size_t>(n));
                else {
                    ::close(conns[i]);
                    conns[i] = -1;
                }
            }
            for (size_t i = conns.size(); i-- > 0;)
                if (conns[i] < 0) {
                    conns.erase(conns.begin() + static_cast<long>(i));
                    pending.erase(pending.begin() + static_cast<long>(i));
                }
        }
        for (int c : conns)
            ::close(c);
    }
    int listenFd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// OpenSSH's own client logged in to `sshd` as root with its key: batch
// options, the cipher, then `extra` (options, destination, command). Its
// input and output are /dev/null and it dies with this process; returns its
// pid, or -1.
inline pid_t startOpenSSH(const SSHD& sshd, const std::string& cipher,
                          const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"ssh",
                                     "-F",
                                     "/dev/null",
                                     "-o",
                                     "BatchMode=yes",
                                     "-o",
                                     "StrictHostKeyChecking=no",
                                     "-o",
                                     "UserKnownHostsFile=/dev/null",
                                     "-o",
                                     "LogLevel=ERROR",
                                     "-c",
                                     cipher,
                                     "-i",
                                     sshd.dir.path + "/id_ed25519",
                                     "-p",
                                     std::to_string(sshd.port)};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    execvp("ssh", argv.data());
    _exit(127);
}

} // namespace peers
