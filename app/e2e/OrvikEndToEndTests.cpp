// The real program, started on a store seeded with one server (or on an
// empty one), under an Xvfb of its own with no window manager, driven through
// the X server with xdotool as a user would: open a page with the keyboard
// shortcut, answer the new-host question, log in, type, resize the window,
// reorder two pages, close one; add a server in the sheet from the connect
// control and connect to it; import a key file in the preferences window and
// log in with it; give an open page's server another theme. Controls without
// a keyboard path are found on the screen by their outlines, ink or colour.
// What happened is read on the server side: files the remote shells wrote,
// their processes, their terminal sizes.
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

#include <algorithm>
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
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

int brightness(const unsigned char* p) {
    return p[0] + p[1] + p[2];
}

// A frame line: darker than the light window background, lighter than text.
bool frameInk(const unsigned char* p) {
    return brightness(p) < 600;
}

// The framed controls (buttons' outlines) whose top edges lie wholly inside
// `area`, top to bottom and left to right: a dark run at least `minimum`
// wide that touches neither side of the area (a line across the window is no
// button), and a run below it at the same columns.
std::vector<QRectLike> framedControls(const Image& image, const QRectLike& area, int minimum = 24) {
    const int right = std::min(area.x + area.width, image.width);
    const int bottom = std::min(area.y + area.height, image.height);
    const auto runs = [&](int y) {
        std::vector<std::pair<int, int>> out;
        for (int x = std::max(area.x, 0); x < right; ++x) {
            if (!frameInk(image.at(x, y))) continue;
            const int start = x;
            while (x + 1 < right && frameInk(image.at(x + 1, y)))
                ++x;
            out.push_back({start, x});
        }
        return out;
    };
    std::vector<QRectLike> found;
    const auto inside = [&](int x, int y) {
        for (const auto& r : found)
            if (x >= r.x - 3 && x < r.x + r.width + 3 && y >= r.y && y < r.y + r.height) return true;
        return false;
    };
    for (int y = std::max(area.y, 0); y < bottom; ++y) {
        for (const auto& [start, end] : runs(y)) {
            if (end - start + 1 < minimum || start <= area.x || end >= right - 1 || inside(start, y))
                continue;
            // The bottom edge, give or take the rounded corners.
            bool closed = false;
            for (int below = y + 8; below < bottom && !closed; ++below)
                for (const auto& [s2, e2] : runs(below))
                    if (!closed && std::abs(s2 - start) <= 3 && std::abs(e2 - end) <= 3) {
                        found.push_back({start, y, end - start + 1, below - y + 1});
                        closed = true;
                    }
        }
    }
    return found;
}

std::optional<QRectLike> framedControl(const Image& image, const QRectLike& area) {
    auto found = framedControls(image, area);
    if (found.empty()) return std::nullopt;
    return found.front();
}

// The first row below `top` dark across nearly the whole width: the line
// under a window's toolbar.
int lineAcross(const Image& image, const QRectLike& window, int top) {
    for (int y = top; y < std::min(window.y + window.height, image.height); ++y) {
        int dark = 0;
        for (int x = window.x; x < std::min(window.x + window.width, image.width); ++x)
            dark += frameInk(image.at(x, y));
        if (dark > window.width * 9 / 10) return y;
    }
    return -1;
}

// Columns with text or icon ink in `area`, grouped where less than `gap`
// blank columns part them: one group per labelled toolbar item.
std::vector<std::pair<int, int>> inkGroups(const Image& image, const QRectLike& area, int gap) {
    std::vector<std::pair<int, int>> groups;
    for (int x = std::max(area.x, 0); x < std::min(area.x + area.width, image.width); ++x) {
        bool inked = false;
        for (int y = std::max(area.y, 0); y < std::min(area.y + area.height, image.height) && !inked; ++y)
            inked = brightness(image.at(x, y)) < 300;
        if (!inked) continue;
        if (groups.empty() || x - groups.back().second > gap)
            groups.push_back({x, x});
        else
            groups.back().second = x;
    }
    return groups;
}

bool near(const unsigned char* p, const VyThemeColor& c, int tolerance = 10) {
    const auto channel = [](double v) { return static_cast<int>(v * 255.0 + 0.5); };
    return std::abs(p[0] - channel(c.red)) <= tolerance && std::abs(p[1] - channel(c.green)) <= tolerance &&
           std::abs(p[2] - channel(c.blue)) <= tolerance;
}

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

    void click(int x, int y, int times = 1) {
        xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y)});
        xdotool({"click", "--repeat", std::to_string(times), "--delay", "80", "1"});
    }
    // Waits for `find` to locate something on the screen (a window may not
    // have painted yet).
    std::optional<QRectLike> onScreen(const std::function<std::optional<QRectLike>(const Image&)>& find,
                                      std::chrono::seconds limit = 15s) {
        std::optional<QRectLike> found;
        waitUntil(
            [&] {
                const Image image = screen();
                if (image.width > 0) found = find(image);
                return found.has_value();
            },
            limit);
        return found;
    }
    // The connect control: the first button outline in the main window's
    // toolbar, which stands between the menu bar and the line under it.
    std::optional<QRectLike> connectControl() {
        return onScreen([&](const Image& image) -> std::optional<QRectLike> {
            const QRectLike window = geometry(mainWindow_);
            const int line = lineAcross(image, window, window.y + 1);
            if (line < 0) return std::nullopt;
            return framedControl(image, {window.x, window.y, std::min(window.width, 400), line - window.y});
        });
    }
    void clickConnectControl() {
        const auto control = connectControl();
        ASSERT_TRUE(control) << "no connect control in the toolbar";
        click(control->centreX(), control->centreY());
    }

    // Preferences… from the Shell menu: a click on the menu's title (the
    // first in the menu bar above the toolbar; a terminal page keeps Alt for
    // its shell), then the keyboard: Up wraps to Quit, then Preferences…
    // above it. Answers the preferences window.
    std::string openPreferences() {
        std::string window;
        for (int attempt = 0; attempt < 3 && window.empty(); ++attempt) {
            const auto control = connectControl();
            if (!control) continue;
            const QRectLike frame = geometry(mainWindow_);
            const auto titles = inkGroups(
                screen(), {frame.x, frame.y, std::min(frame.width, 400), control->y - 2 - frame.y}, 8);
            if (titles.empty()) continue;
            click((titles[0].first + titles[0].second) / 2, frame.y + (control->y - frame.y) / 3);
            std::this_thread::sleep_for(500ms);
            xdotool({"key", "Up", "Up", "Return"});
            window = findWindow("^(General|Servers|Private Keys|About)$", 10s);
            if (window.empty()) xdotool({"key", "Escape", "Escape"});
        }
        return window;
    }
    // Clicks the preferences toolbar's item `index` (General, Servers, Private
    // Keys, then About at the far end) and waits for its pane's title.
    void selectPreferencesPane(const std::string& window, int index, const std::string& title) {
        const auto item = onScreen([&](const Image& image) -> std::optional<QRectLike> {
            const QRectLike frame = geometry(window);
            const int line = lineAcross(image, frame, frame.y + 1);
            if (line < 0) return std::nullopt;
            const auto groups = inkGroups(image, {frame.x, frame.y, frame.width, line - frame.y}, 8);
            if (groups.size() != 4) return std::nullopt;
            const auto& [left, right] = groups[static_cast<std::size_t>(index)];
            return QRectLike{left, frame.y, right - left + 1, line - frame.y};
        });
        ASSERT_TRUE(item) << "no toolbar with four items in the preferences window";
        click(item->centreX(), item->centreY());
        ASSERT_TRUE(waitUntil(
            [&] {
                return trimmed(xdotool({"getwindowname", window})) == title;
            },
            10s))
            << "the " << title << " pane did not show";
    }
    // The button outlines in a band at the bottom of a window, left to right.
    std::vector<QRectLike> bottomButtons(const std::string& window) {
        std::vector<QRectLike> buttons;
        waitUntil(
            [&] {
                const QRectLike frame = geometry(window);
                buttons = framedControls(screen(), {frame.x, frame.y + frame.height - 50, frame.width, 50});
                std::sort(buttons.begin(), buttons.end(),
                          [](const QRectLike& a, const QRectLike& b) { return a.x < b.x; });
                return buttons.size() >= 2;
            },
            10s);
        return buttons;
    }

    // Fills a new server's sheet with the keyboard: it starts at the host;
    // Tab goes down the editor.
    void typeHostPortAndUser(const std::string& sheet) {
        focus(sheet);
        xdotool({"type", "--delay", "15", "127.0.0.1"});
        xdotool({"key", "Tab", "ctrl+a"});
        xdotool({"type", "--delay", "15", std::to_string(sshd_.port)});
        xdotool({"key", "Tab"});
        xdotool({"type", "--delay", "15", user_.name});
    }
    // A new server's sheet filled with the password method, "Save and
    // Connect", the new host trusted: the new shell, or -1.
    pid_t saveAndConnectWithPassword(const std::string& sheet) {
        typeHostPortAndUser(sheet);
        // The method pop-up, its help, the multi-factor switch, then the password.
        xdotool({"key", "Tab", "Tab", "Tab", "Tab"});
        xdotool({"type", "--delay", "15", user_.password});
        xdotool({"key", "Return"}); // "Save and Connect"
        if (!waitUntil([&] { return findWindow("^Server$", 0s).empty(); }, 10s)) {
            ADD_FAILURE() << "the sheet stayed";
            return -1;
        }
        trustNewHost();
        return newShell({});
    }
    // The program's store as it is on disk now: read from a copy of its own,
    // as this process keeps the files it read.
    std::shared_ptr<UserDefaults> storedDefaults() {
        const std::string copy = work_.path + "/defaults-" + std::to_string(++reads_) + ".json";
        std::filesystem::copy_file(UserDefaults::defaultPathForApplication("orvik"), copy);
        return UserDefaults::userDefaultsWithPath(copy);
    }
    std::vector<std::shared_ptr<OrvikController>> storedServers() {
        return OrvikPreferences(storedDefaults()).shellProfiles();
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
    int reads_ = 0;
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
    clickConnectControl();
    const std::string sheet = findWindow("^Server$");
    ASSERT_FALSE(sheet.empty()) << "no server sheet";

    // The password was kept: no prompt after the new host.
    const pid_t shell = saveAndConnectWithPassword(sheet);
    ASSERT_GT(shell, 0) << "no shell";
    EXPECT_TRUE(findWindow("Authentication$", 0s).empty());
    EXPECT_EQ(runForFile("touch " + dir + "/saved-and-connected && id -un > " + dir + "/who", "who"),
              user_.name);
    struct stat made {};
    ASSERT_EQ(stat((dir + "/saved-and-connected").c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, uid_);

    // Stored under its user and host.
    auto stored = storedServers();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->name(), user_.name + "@127.0.0.1");
    EXPECT_EQ(stored[0]->ssh_port, sshd_.port);
    key(mainWindow_, "ctrl+shift+w");
    EXPECT_TRUE(waitUntil([&] { return !processExists(shell); }, 15s));
}

// A key file imported through the Private Keys pane's open panel, given to a
// new server in its sheet, logs in with no prompt.
TEST_F(EndToEnd, ImportedKeyFromTheKeysPaneLogsIn) {
    const std::string keyFile = work_.path + "/e2e-login-key";
    std::filesystem::copy_file(sshd_.dir.path + "/id_rsa", keyFile);
    chmod(keyFile.c_str(), 0600);
    startOrvik();

    const std::string preferences = openPreferences();
    ASSERT_FALSE(preferences.empty()) << "Preferences… did not open the preferences window";
    selectPreferencesPane(preferences, 2, "Private Keys");
    const auto buttons = bottomButtons(preferences);
    ASSERT_GE(buttons.size(), 2u) << "no buttons under the keys table";
    click(buttons.front().centreX(), buttons.front().centreY()); // "Import..."
    const std::string panel = findWindow("^Import Private Key files$");
    ASSERT_FALSE(panel.empty()) << "no open panel";
    // The file name field has the focus.
    focus(panel);
    xdotool({"type", "--delay", "15", keyFile});
    xdotool({"key", "Return"});
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Import Private Key files$", 0s).empty(); }, 10s))
        << "the open panel stayed";

    // In the key store, under the file's name.
    auto& keys = HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
    std::string keyId;
    ASSERT_TRUE(waitUntil(
        [&] {
            keys.refreshCache();
            for (const auto& [id, key] : keys.privateKeys())
                if (key->key_name() == "e2e-login-key") keyId = id;
            return !keyId.empty();
        },
        10s))
        << "the key is not in the store";
    screenshot(logPrefix_ + ".keys.png");
    key(preferences, "ctrl+shift+w");
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Private Keys$", 0s).empty(); }, 10s));

    // A new server with the public-key method and that key.
    clickConnectControl();
    const std::string sheet = findWindow("^Server$");
    ASSERT_FALSE(sheet.empty()) << "no server sheet";
    typeHostPortAndUser(sheet);
    // The method pop-up: Public-key stands above Password.
    xdotool({"key", "Tab", "Up"});
    // Its help, the multi-factor switch, then the key pop-up: the key below "None".
    xdotool({"key", "Tab", "Tab", "Tab", "Down"});
    xdotool({"key", "Return"}); // "Save and Connect"
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Server$", 0s).empty(); }, 10s)) << "the sheet stayed";

    trustNewHost();
    const pid_t shell = newShell({});
    ASSERT_GT(shell, 0) << "no shell";
    EXPECT_TRUE(findWindow("Authentication$", 0s).empty()) << "the key did not log in alone";
    EXPECT_EQ(runForFile("touch " + work_.path + "/by-key && id -un > " + work_.path + "/who", "who"),
              user_.name);
    struct stat made {};
    ASSERT_EQ(stat((work_.path + "/by-key").c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, uid_);
    EXPECT_NE(sshd_.log().find("Accepted publickey for " + user_.name), std::string::npos);

    auto stored = storedServers();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->private_key, keyId);
    key(mainWindow_, "ctrl+shift+w");
    EXPECT_TRUE(waitUntil([&] { return !processExists(shell); }, 15s));
}

// From an empty store: the launch view's button adds a server whose shell
// opens; another theme picked for it in the Servers pane recolours the open
// page; closed, the window comes back with its page when Orvik is started
// again.
TEST_F(EndToEnd, ThemeFromTheServersPaneRecoloursTheOpenPage) {
    startOrvik();
    const auto launchButton = onScreen([&](const Image& image) -> std::optional<QRectLike> {
        const QRectLike window = geometry(mainWindow_);
        const int line = lineAcross(image, window, window.y + 1);
        if (line < 0) return std::nullopt;
        // The page pane, right of the sidebar.
        return framedControl(image,
                             {window.x + 200, line + 2, window.width - 210, window.height - line - 12});
    });
    ASSERT_TRUE(launchButton) << "no launch view";
    click(launchButton->centreX(), launchButton->centreY());
    const std::string sheet = findWindow("^Server$");
    ASSERT_FALSE(sheet.empty()) << "the launch view's button opened no sheet";
    const pid_t shell = saveAndConnectWithPassword(sheet);
    ASSERT_GT(shell, 0) << "no shell";
    EXPECT_EQ(runForFile("echo $$ > " + work_.path + "/pid", "pid"), std::to_string(shell));

    // The page shows the server's theme; another one, far from it, is picked.
    auto stored = storedServers();
    ASSERT_EQ(stored.size(), 1u);
    OrvikPreferences themes(storedDefaults());
    const auto before = themes.themeWithName(stored[0]->profile()->theme_name());
    ASSERT_TRUE(before);
    // Spots of the page along its right edge, away from the prompt: most of
    // them show the background whatever lines the shell printed.
    const auto pageShows = [&](const VyThemeColor& colour) {
        return waitUntil(
            [&] {
                const Image image = screen();
                const QRectLike window = geometry(mainWindow_);
                const int x = window.x + window.width - 12;
                if (image.width <= x || image.height < window.y + window.height) return false;
                int matching = 0;
                for (int i = 0; i < 5; ++i)
                    matching += near(image.at(x, window.y + window.height - 12 - i * 60), colour);
                return matching >= 4;
            },
            15s);
    };
    EXPECT_TRUE(pageShows(before->backgroundColor())) << "the page does not show its theme";
    const auto distance = [](const VyThemeColor& a, const VyThemeColor& b) {
        return std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
    };
    std::shared_ptr<VyTerminalThemeObject> chosen;
    for (const auto& item : OrvikPreferences::newThemeMenuItems()) {
        auto theme = themes.themeWithName(item->themeName());
        if (!theme) continue;
        // Unlike the page, the sheet's grey and white, and every other swatch.
        const VyThemeColor grey{0.93, 0.93, 0.93, 1}, white{1, 1, 1, 1};
        bool alike = distance(theme->backgroundColor(), before->backgroundColor()) < 0.6 ||
                     distance(theme->backgroundColor(), grey) < 0.6 ||
                     distance(theme->backgroundColor(), white) < 0.6;
        for (const auto& other : OrvikPreferences::newThemeMenuItems())
            if (auto o = themes.themeWithName(other->themeName());
                o && other->themeName() != item->themeName())
                alike = alike || distance(o->backgroundColor(), theme->backgroundColor()) < 0.1;
        if (!alike) {
            chosen = theme;
            break;
        }
    }
    ASSERT_TRUE(chosen) << "no theme far enough from the page's";

    // Preferences → Servers → Edit…
    const std::string preferences = openPreferences();
    ASSERT_FALSE(preferences.empty()) << "Preferences… did not open the preferences window";
    selectPreferencesPane(preferences, 1, "Servers");
    // The server's row: the first below the table's header.
    const auto table = onScreen([&](const Image& image) -> std::optional<QRectLike> {
        const QRectLike frame = geometry(preferences);
        const int line = lineAcross(image, frame, frame.y + 1);
        if (line < 0) return std::nullopt;
        return framedControl(image, {frame.x, line + 2, frame.width, frame.height - (line - frame.y) - 2});
    });
    ASSERT_TRUE(table) << "no servers table";
    const Image pane = screen();
    int headerLine = -1;
    for (int y = table->y + 4; y < table->y + 60 && headerLine < 0; ++y)
        if (frameInk(pane.at(table->x + 4, y))) headerLine = y;
    ASSERT_GT(headerLine, 0) << "no header in the servers table";
    click(table->x + 40, headerLine + 10);
    const auto buttons = bottomButtons(preferences);
    // "+", "−" (perhaps as one outline), "Duplicate", "Edit...", then "Import..." and "Export...".
    ASSERT_GE(buttons.size(), 5u) << "not the Servers pane's buttons";
    const QRectLike edit = buttons[buttons.size() - 3];
    click(edit.centreX(), edit.centreY());
    const std::string editor = findWindow("^Server$");
    ASSERT_FALSE(editor.empty()) << "Edit… opened no sheet";

    // The chosen theme's swatch, found by its colour in the sheet.
    const auto swatch = onScreen([&](const Image& image) -> std::optional<QRectLike> {
        const QRectLike frame = geometry(editor);
        for (int y = frame.y; y + 12 < std::min(frame.y + frame.height, image.height); ++y)
            for (int x = frame.x; x + 12 < std::min(frame.x + frame.width, image.width); ++x) {
                bool block = true;
                for (int dy = 0; dy < 12 && block; dy += 3)
                    for (int dx = 0; dx < 12 && block; dx += 3)
                        block = near(image.at(x + dx, y + dy), chosen->backgroundColor(), 4);
                if (block) return QRectLike{x, y, 12, 12};
            }
        return std::nullopt;
    });
    ASSERT_TRUE(swatch) << "no swatch of " << chosen->themeName();
    click(swatch->centreX(), swatch->centreY());
    key(editor, "Return"); // OK
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Server$", 0s).empty(); }, 10s)) << "the sheet stayed";
    key(preferences, "ctrl+shift+w");
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Servers$", 0s).empty(); }, 10s));

    EXPECT_TRUE(pageShows(chosen->backgroundColor())) << "the open page kept its colours";
    screenshot(logPrefix_ + ".recoloured.png");
    stored = storedServers();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->profile()->theme_name(), chosen->themeName());

    // Closed, then Orvik started again: the same window, its page and shell.
    key(mainWindow_, "ctrl+alt+shift+w");
    ASSERT_TRUE(waitUntil([&] { return findWindow("^Orvik$", 0s).empty(); }, 10s)) << "the window stayed";
    Child second;
    ASSERT_TRUE(second.start({program_}, logPrefix_ + ".second.log", orvikEnvironment()));
    const auto exitCode = second.waitForExit(20s);
    ASSERT_TRUE(exitCode.has_value()) << "the second launch kept running";
    EXPECT_EQ(*exitCode, 0);
    mainWindow_ = findWindow("^Orvik$", 10s);
    ASSERT_FALSE(mainWindow_.empty()) << "the main window did not come back";
    EXPECT_EQ(trimmed(xdotool({"getwindowpid", mainWindow_})), std::to_string(orvik_.pid()));
    EXPECT_TRUE(pageShows(chosen->backgroundColor()));
    EXPECT_EQ(runForFile("echo $$ > " + work_.path + "/again", "again"), std::to_string(shell));
    screenshot(logPrefix_ + ".back.png");
    key(mainWindow_, "ctrl+shift+q");
    EXPECT_TRUE(orvik_.waitForExit(15s).has_value()) << "Quit did not end the program";
}

} // namespace
