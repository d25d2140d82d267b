// The real program, started on a store seeded with one server (or on an
// empty one), under an Xvfb of its own with no window manager, driven through
// the X server with xdotool as a user would: open a page with the keyboard
// shortcut, answer the new-host question, log in, type, resize the window,
// reorder two pages, close one; add a server in the sheet from the connect
// control and connect to it. What happened is read on the server side: files
// the remote shells wrote, their processes, their terminal sizes.
//
// Needs root (sshd's pseudo-terminals and the throwaway login user), Xvfb,
// xdotool and imagemagick's import, and runs inside with-keyring.sh, whose
// throwaway HOME and XDG folders hold the program's store.

#include "TestPeers.h"

#include "Foundation/KeyedArchiver.h"
#include "Foundation/UserDefaults.h"
#include "Halvex/HalvexAuthMethodModel.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "app/OrvikController.h"
#include "app/OrvikPreferences.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Polls `done` every 100 ms until it holds or `limit` has passed.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

std::string trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

// A child process with its output in a log file, stopped by its PID.
class Child {
public:
    ~Child() { stop(); }
    bool start(const std::vector<std::string>& args, const std::string& logPath,
               const std::vector<std::string>& env = {}) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t parent = getpid();
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(127);
            int in = ::open("/dev/null", O_RDONLY);
            int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (in < 0 || out < 0) _exit(127);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            for (const auto& e : env)
                putenv(const_cast<char*>(e.c_str()));
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return true;
    }
    bool running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return false;
        }
        return true;
    }
    // The exit code once it ended within `limit`, else nullopt.
    std::optional<int> waitForExit(std::chrono::milliseconds limit) {
        if (!waitUntil([&] { return !running(); }, limit)) return std::nullopt;
        return exitCode_;
    }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (!waitUntil([&] { return !running(); }, 5s)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

// Xvfb on a display number of its own.
class VirtualDisplay {
public:
    bool start(const std::string& logPath) {
        for (int n = 90 + getpid() % 100, tries = 0; tries < 100; ++tries, n = 90 + (n - 89) % 200) {
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                continue;
            name = ":";
            name += std::to_string(n);
            if (!xvfb_.start({"Xvfb", name, "-screen", "0", "1440x900x24", "-nolisten", "tcp"}, logPath))
                return false;
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (waitUntil([&] { return std::filesystem::exists(socket) || !xvfb_.running(); }, 10s) &&
                xvfb_.running())
                return true;
            xvfb_.stop();
        }
        return false;
    }
    std::string name;

private:
    Child xvfb_;
};

// A process's name and parent, from /proc.
struct ProcessInfo {
    std::string name;
    pid_t parent = -1;
    uid_t uid = static_cast<uid_t>(-1);
};

std::optional<ProcessInfo> processInfo(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    if (!status) return std::nullopt;
    ProcessInfo info;
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line.substr(line.find(':') + 1));
        if (line.rfind("Name:", 0) == 0) fields >> info.name;
        if (line.rfind("PPid:", 0) == 0) fields >> info.parent;
        if (line.rfind("Uid:", 0) == 0) fields >> info.uid;
    }
    return info;
}

// The login shells of a user: the user's "sh" processes that sshd started
// (not the shells those start in turn).
std::set<pid_t> loginShellsOf(uid_t uid) {
    std::set<pid_t> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (dirent* entry = readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        auto info = processInfo(pid);
        if (!info || info->uid != uid || info->name != "sh") continue;
        auto parent = processInfo(info->parent);
        if (parent && parent->name == "sshd") out.insert(pid);
    }
    closedir(proc);
    return out;
}

bool processExists(pid_t pid) {
    return pid > 0 && std::filesystem::exists("/proc/" + std::to_string(pid));
}

// A PPM screenshot as RGB rows.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    bool load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::string magic;
        int maxValue = 0;
        in >> magic >> width >> height >> maxValue;
        in.get();
        if (magic != "P6" || width <= 0 || height <= 0 || maxValue != 255) return false;
        rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
        return static_cast<bool>(in);
    }
    const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

struct QRectLike {
    int x = 0, y = 0, width = 0, height = 0;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = std::getenv("ORVIK_PROGRAM") ? std::getenv("ORVIK_PROGRAM") : "";
        ASSERT_FALSE(program_.empty()) << "ORVIK_PROGRAM names the program to test";
        ASSERT_TRUE(std::getenv("ORVIK_KEYRING_READY")) << "runs inside with-keyring.sh";
        ASSERT_EQ(getuid(), 0u) << "sshd needs root for pseudo-terminals and password logins";
        artifacts_ = std::getenv("ORVIK_E2E_ARTIFACTS") ? std::getenv("ORVIK_E2E_ARTIFACTS") : work_.path;
        std::filesystem::create_directories(artifacts_);
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        logPrefix_ = artifacts_ + "/" + test;
        std::filesystem::remove(logPrefix_ + ".orvik.log");
        // Where the remote shells write: open to the login user.
        chmod(work_.path.c_str(), 0777);

        for (const char* tool : {"xdotool", "Xvfb", "import"})
            ASSERT_EQ(peers::runProgram({"sh", "-c", "command -v \"$0\"", tool}), 0) << tool << " is missing";
        ASSERT_TRUE(sshd_.start()) << sshd_.log();
        ASSERT_TRUE(user_.ok);
        uid_ = getpwnam(user_.name.c_str())->pw_uid;
        ASSERT_TRUE(display_.start(logPrefix_ + ".xvfb.log")) << "Xvfb did not start";
        setenv("DISPLAY", display_.name.c_str(), 1);
    }

    void TearDown() override {
        if (HasFailure()) screenshot(logPrefix_ + ".failure.png");
        orvik_.stop();
        // No shell of the login user outlives the program.
        if (uid_ != 0) {
            EXPECT_TRUE(waitUntil([&] { return loginShellsOf(uid_).empty(); }, 15s));
        }
    }

    // One stored server for the program's store, in its user defaults.
    void seedServer(std::vector<std::shared_ptr<HalvexAuthMethodModel>> methods,
                    std::optional<std::string> keyId = std::nullopt) {
        auto server = std::make_shared<OrvikController>();
        server->setName(std::string("e2e server"));
        server->setSsh_host("127.0.0.1");
        server->setSsh_port(sshd_.port);
        server->ssh_user = user_.name;
        server->connection_timeout = 10;
        server->setAuth_methods(std::move(methods));
        server->private_key = keyId;
        auto defaults = UserDefaults::userDefaultsWithPath(UserDefaults::defaultPathForApplication("orvik"));
        OrvikPreferences(defaults).setShellProfiles({server});
    }

    void startOrvik() {
        ASSERT_TRUE(orvik_.start({program_}, logPrefix_ + ".orvik.log", orvikEnvironment()));
        mainWindow_ = findWindow("^Orvik$");
        ASSERT_FALSE(mainWindow_.empty()) << "the main window did not show";
    }

    std::vector<std::string> orvikEnvironment() const {
        return {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display_.name};
    }

    std::string xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        std::string out;
        peers::runProgram(args, {}, &out);
        return out;
    }
    // The first visible window whose name matches, waiting for it.
    std::string findWindow(const std::string& pattern, std::chrono::seconds limit = 20s) {
        std::string id;
        waitUntil(
            [&] {
                id = trimmed(xdotool({"search", "--onlyvisible", "--name", pattern}));
                if (auto eol = id.find('\n'); eol != std::string::npos) id = id.substr(0, eol);
                return !id.empty();
            },
            limit);
        return id;
    }
    void focus(const std::string& window) { xdotool({"windowfocus", "--sync", window}); }
    void key(const std::string& window, const std::string& keys) {
        focus(window);
        xdotool({"key", "--clearmodifiers", keys});
    }
    // Types a command line into the main window's page.
    // Ctrl+U first: what a shell that was still starting kept of an
    // earlier try is thrown away.
    void typeLine(const std::string& text) {
        focus(mainWindow_);
        xdotool({"key", "ctrl+u"});
        xdotool({"type", "--delay", "15", text});
        xdotool({"key", "Return"});
    }
    void screenshot(const std::string& path) { peers::runProgram({"import", "-window", "root", path}); }
    // The screen as RGB rows.
    Image screen() {
        const std::string shot = artifacts_ + "/screen.ppm";
        peers::runProgram({"import", "-window", "root", "-depth", "8", "ppm:" + shot});
        Image image;
        image.load(shot);
        return image;
    }
    // Where a window stands on the screen and its size.
    QRectLike geometry(const std::string& window) {
        QRectLike r;
        std::istringstream shell(xdotool({"getwindowgeometry", "--shell", window}));
        for (std::string line; std::getline(shell, line);) {
            const auto value = [&] { return std::stoi(line.substr(line.find('=') + 1)); };
            if (line.rfind("X=", 0) == 0) r.x = value();
            if (line.rfind("Y=", 0) == 0) r.y = value();
            if (line.rfind("WIDTH=", 0) == 0) r.width = value();
            if (line.rfind("HEIGHT=", 0) == 0) r.height = value();
        }
        return r;
    }

    std::string file(const std::string& name) { return trimmed(peers::readFile(work_.path + "/" + name)); }
    // Types the command until the file it writes appears (typing before the
    // shell is ready is lost).
    std::string runForFile(const std::string& command, const std::string& name, int tries = 3) {
        std::filesystem::remove(work_.path + "/" + name);
        for (int i = 0; i < tries; ++i) {
            typeLine(command);
            if (waitUntil([&] { return !file(name).empty(); }, 8s)) return file(name);
        }
        return {};
    }

    // Answers the new-host question with "Trust".
    void trustNewHost() {
        const std::string alert = findWindow("^Please verify the host key fingerprint");
        ASSERT_FALSE(alert.empty()) << "no new-host question";
        key(alert, "Tab");
        key(alert, "space");
        ASSERT_TRUE(waitUntil([&] { return findWindow("^Please verify the host key", 0s).empty(); }, 10s));
    }
    void typePassword() {
        const std::string prompt = findWindow("^Password Authentication$");
        ASSERT_FALSE(prompt.empty()) << "no password prompt";
        focus(prompt);
        xdotool({"type", "--delay", "15", user_.password});
        xdotool({"key", "Return"});
    }
    // The login user's shell that appears next.
    pid_t newShell(const std::set<pid_t>& before) {
        pid_t found = -1;
        waitUntil(
            [&] {
                for (pid_t pid : loginShellsOf(uid_))
                    if (!before.count(pid)) found = pid;
                return found > 0;
            },
            30s);
        return found;
    }
    // "rows cols" as the remote shell's terminal has it.
    std::pair<int, int> sttySize(const std::string& name) {
        std::istringstream in(runForFile("stty size > " + work_.path + "/" + name, name));
        int rows = 0, cols = 0;
        in >> rows >> cols;
        return {rows, cols};
    }

    // The sidebar's selected row in the main window: its top and bottom, in
    // window coordinates, found by its highlight colour.
    std::pair<int, int> selectedSidebarRow() {
        const std::string shot = artifacts_ + "/sidebar.ppm";
        peers::runProgram({"import", "-window", "root", "-depth", "8", "ppm:" + shot});
        Image image;
        if (!image.load(shot)) return {-1, -1};
        // Where the window stands on the screen.
        int left = 0, upper = 0;
        std::istringstream geometry(xdotool({"getwindowgeometry", "--shell", mainWindow_}));
        for (std::string line; std::getline(geometry, line);) {
            if (line.rfind("X=", 0) == 0) left = std::stoi(line.substr(2));
            if (line.rfind("Y=", 0) == 0) upper = std::stoi(line.substr(2));
        }
        const int x = left + 3; // left of the row's text
        int top = -1, bottom = -1;
        for (int y = upper; y < image.height; ++y) {
            const unsigned char* p = image.at(x, y);
            const bool highlight = p[2] > 120 && p[2] > p[0] + 40;
            if (highlight && top < 0) top = y;
            if (highlight) bottom = y;
            if (!highlight && top >= 0) break;
        }
        if (top < 0) return {-1, -1};
        return {top - upper, bottom - upper};
    }

    peers::SSHD sshd_;
    peers::TestUser user_;
    peers::TempDir work_;
    uid_t uid_ = 0;
    VirtualDisplay display_;
    Child orvik_;
    std::string program_, artifacts_, logPrefix_, mainWindow_;
};

TEST_F(EndToEnd, PasswordLoginTypingResizeReorderAndClose) {
    seedServer({HalvexAuthMethodModel::sharedPasswordAutheMethod()});
    startOrvik();
    const std::string dir = work_.path;

    // The first page: the shortcut, the new host, the password.
    key(mainWindow_, "ctrl+shift+n");
    trustNewHost();
    typePassword();
    const pid_t first = newShell({});
    ASSERT_GT(first, 0) << "no shell for the first page";
    EXPECT_EQ(runForFile("echo $$ > " + dir + "/first", "first"), std::to_string(first));
    EXPECT_EQ(runForFile("touch " + dir + "/made-by-orvik && id -un > " + dir + "/who", "who"), user_.name);
    struct stat made {};
    ASSERT_EQ(stat((dir + "/made-by-orvik").c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, uid_);

    // The remote terminal follows the window's size.
    const auto before = sttySize("size-before");
    ASSERT_GT(before.first, 5);
    ASSERT_GT(before.second, 20);
    xdotool({"windowsize", "--sync", mainWindow_, "860", "520"});
    std::pair<int, int> after;
    EXPECT_TRUE(waitUntil(
        [&] {
            after = sttySize("size-after");
            return after != before && after.first > 0;
        },
        20s));
    EXPECT_LT(after.first, before.first);
    EXPECT_LT(after.second, before.second);

    // A second page goes after the first and is selected.
    key(mainWindow_, "ctrl+shift+n");
    typePassword();
    const pid_t second = newShell({first});
    ASSERT_GT(second, 0) << "no shell for the second page";
    EXPECT_EQ(runForFile("echo $$ > " + dir + "/second", "second"), std::to_string(second));

    // Drag the selected row (the second page) above the first.
    auto [top, bottom] = selectedSidebarRow();
    ASSERT_GT(top, 0) << "no selected row in the sidebar";
    const int rowHeight = bottom - top + 1;
    ASSERT_GT(top, rowHeight / 2) << "the second page's row should be below the first";
    const std::string x = "40";
    xdotool({"mousemove", "--window", mainWindow_, x, std::to_string(top + rowHeight / 2)});
    xdotool({"mousedown", "1"});
    const int target = top - rowHeight + 6; // the upper part of row 0: the gap above it
    for (int y = top + rowHeight / 2 - 4; y >= target; y -= 6) {
        xdotool({"mousemove", "--window", mainWindow_, x, std::to_string(y)});
        std::this_thread::sleep_for(30ms);
    }
    // The drag follows the pointer a little behind it: rest on the target.
    for (int i = 0; i < 6; ++i) {
        xdotool({"mousemove", "--window", mainWindow_, x, std::to_string(target + i % 2)});
        std::this_thread::sleep_for(100ms);
    }
    xdotool({"mouseup", "1"});
    std::this_thread::sleep_for(500ms);

    // Row 1 is now the first page, row 0 the second.
    xdotool({"mousemove", "--window", mainWindow_, x, std::to_string(top + rowHeight / 2)});
    xdotool({"click", "1"});
    EXPECT_EQ(runForFile("echo $$ > " + dir + "/row1", "row1"), std::to_string(first));
    xdotool({"mousemove", "--window", mainWindow_, x, std::to_string(top - rowHeight / 2)});
    xdotool({"click", "1"});
    EXPECT_EQ(runForFile("echo $$ > " + dir + "/row0", "row0"), std::to_string(second));

    // Closing the selected page ends its session on the server; the other stays.
    key(mainWindow_, "ctrl+shift+w");
    EXPECT_TRUE(waitUntil([&] { return !processExists(second); }, 15s))
        << "the closed page's shell is still there";
    EXPECT_TRUE(processExists(first));
    EXPECT_EQ(runForFile("echo $$ > " + dir + "/left", "left"), std::to_string(first));
}

TEST_F(EndToEnd, PublicKeyLogin) {
    Error error;
    auto keyId = HalvexPrivateKeyContainer::sharedPrivateKeyContainer().importAtPath(
        sshd_.dir.path + "/id_rsa", &error);
    ASSERT_TRUE(keyId) << error.localizedDescription;
    seedServer({HalvexAuthMethodModel::sharedPublickeyAutheMethod()}, *keyId);
    startOrvik();

    key(mainWindow_, "ctrl+shift+n");
    trustNewHost();
    // No prompt: the key from the store logs in.
    const pid_t shell = newShell({});
    ASSERT_GT(shell, 0) << "no shell";
    EXPECT_TRUE(findWindow("Authentication$", 0s).empty());
    EXPECT_EQ(runForFile("echo $$ > " + work_.path + "/pid", "pid"), std::to_string(shell));
    key(mainWindow_, "ctrl+shift+w");
    EXPECT_TRUE(waitUntil([&] { return !processExists(shell); }, 15s));
}

// A fresh, empty store: the main window shows the launch view, whose button
// asks for a first server.
TEST_F(EndToEnd, LaunchViewOfAnEmptyStore) {
    startOrvik();
    ASSERT_TRUE(waitUntil([&] { return geometry(mainWindow_).width > 400; }, 10s));
    std::this_thread::sleep_for(1s);
    const QRectLike window = geometry(mainWindow_);
    const Image image = screen();
    ASSERT_GT(image.width, 0);
    // The page pane: right of the sidebar, below the menu bar and toolbar.
    const int left = window.x + 200, right = window.x + window.width - 10;
    const int top = window.y + 80, bottom = window.y + window.height - 10;
    const unsigned char* background = image.at(right - 5, bottom - 5);
    auto inked = [&](int y) {
        int count = 0;
        for (int x = left; x < right; ++x) {
            const unsigned char* p = image.at(x, y);
            if (std::abs(p[0] - background[0]) + std::abs(p[1] - background[1]) +
                    std::abs(p[2] - background[2]) >
                90)
                ++count;
        }
        return count > 0;
    };
    // Its three blocks, centred: the title, the line below it, the button.
    std::vector<std::pair<int, int>> blocks;
    for (int y = top; y < bottom; ++y) {
        if (!inked(y)) continue;
        if (blocks.empty() || y > blocks.back().second + 1)
            blocks.push_back({y, y});
        else
            blocks.back().second = y;
    }
    screenshot(logPrefix_ + ".launch.png");
    ASSERT_GE(blocks.size(), 3u) << "no launch view in the page pane";
    const auto& button = blocks.back();
    EXPECT_GT(button.first, window.y + window.height / 3);
    EXPECT_LT(button.second, window.y + window.height * 2 / 3 + 40);

    // Its button asks for a server.
    xdotool({"mousemove", std::to_string(left + (right - left) / 2),
             std::to_string((button.first + button.second) / 2)});
    xdotool({"click", "1"});
    const std::string sheet = findWindow("^Server$", 10s);
    ASSERT_FALSE(sheet.empty()) << "the launch view's button opened no server sheet";
    key(sheet, "Escape");
    EXPECT_TRUE(waitUntil([&] { return findWindow("^Server$", 0s).empty(); }, 10s));
}

// Closing the main window hides it; a second launch hands over to the
// running program, which shows the same window again, and ends. Quit ends
// the first.
TEST_F(EndToEnd, SecondLaunchShowsTheHiddenWindow) {
    startOrvik();
    key(mainWindow_, "ctrl+alt+shift+w");
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Orvik$", 0s).empty(); }, 10s))
        << "the window did not close";
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(orvik_.running()) << "closing the window ended the program";

    Child second;
    ASSERT_TRUE(second.start({program_}, logPrefix_ + ".second.log", orvikEnvironment()));
    const auto exitCode = second.waitForExit(20s);
    ASSERT_TRUE(exitCode.has_value()) << "the second launch kept running";
    EXPECT_EQ(*exitCode, 0);
    // Shown again, by the first program (a hidden window gets a new X
    // window when it shows).
    const std::string back = findWindow("^Orvik$", 10s);
    ASSERT_FALSE(back.empty()) << "the main window did not come back";
    EXPECT_EQ(trimmed(xdotool({"getwindowpid", back})), std::to_string(orvik_.pid()));
    EXPECT_TRUE(orvik_.running());

    key(back, "ctrl+shift+q");
    const auto quit = orvik_.waitForExit(15s);
    ASSERT_TRUE(quit.has_value()) << "Quit did not end the program";
    EXPECT_EQ(*quit, 0);
}

TEST_F(EndToEnd, SaveAndConnectFromTheConnectControl) {
    // An empty store: the connect control offers "Add Server…".
    startOrvik();
    const std::string dir = work_.path;
    // The control stands in the toolbar right of the sidebar button.
    xdotool({"mousemove", "--window", mainWindow_, "90", "17"});
    xdotool({"click", "1"});
    const std::string sheet = findWindow("^Server$");
    ASSERT_FALSE(sheet.empty()) << "no server sheet";

    // The sheet starts at the host; Tab goes down the editor.
    focus(sheet);
    xdotool({"type", "--delay", "15", "127.0.0.1"});
    xdotool({"key", "Tab", "ctrl+a"});
    xdotool({"type", "--delay", "15", std::to_string(sshd_.port)});
    xdotool({"key", "Tab"});
    xdotool({"type", "--delay", "15", user_.name});
    // The method pop-up, its help, the multi-factor switch, then the password.
    xdotool({"key", "Tab", "Tab", "Tab", "Tab"});
    xdotool({"type", "--delay", "15", user_.password});
    xdotool({"key", "Return"}); // "Save and Connect"
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Server$", 0s).empty(); }, 10s)) << "the sheet stayed";

    // The password was kept: no prompt after the new host.
    trustNewHost();
    const pid_t shell = newShell({});
    ASSERT_GT(shell, 0) << "no shell";
    EXPECT_TRUE(findWindow("Authentication$", 0s).empty());
    EXPECT_EQ(runForFile("touch " + dir + "/saved-and-connected && id -un > " + dir + "/who", "who"),
              user_.name);
    struct stat made {};
    ASSERT_EQ(stat((dir + "/saved-and-connected").c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, uid_);

    // Stored under its user and host.
    auto defaults = UserDefaults::userDefaultsWithPath(UserDefaults::defaultPathForApplication("orvik"));
    auto stored = OrvikPreferences(defaults).shellProfiles();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->name(), user_.name + "@127.0.0.1");
    EXPECT_EQ(stored[0]->ssh_port, sshd_.port);
    key(mainWindow_, "ctrl+shift+w");
    EXPECT_TRUE(waitUntil([&] { return !processExists(shell); }, 15s));
}

} // namespace
