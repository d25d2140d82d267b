// A second launch of the program: it hands over to the running one through
// the single-instance channel, which asks the delegate to show the hidden
// main window. The second launch runs on a thread of its own, as the second
// process would run beside the first; the first keeps its event loop going.
// Also the application logger.

#include "MainWindowTestSupport.h"

#include "Foundation/UserDefaults.h"
#include "app/AppDelegate.h"
#include "app/OrvikApplicationLogger.h"
#include "app/OrvikInstanceChannel.h"

#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/sinks/syslog_sink.h>
#include <spdlog/spdlog.h>

#include <QFile>
#include <QLocalSocket>

#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace app_test;

namespace {

// What a second program's launch decides, run beside this event loop.
OrvikInstanceChannel::Role launchBeside(const QString& path) {
    auto second = std::async(std::launch::async, [path] { return OrvikInstanceChannel(path).claim(); });
    pumpUntil([&] { return second.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
              10000);
    return second.get();
}

// A socket file nobody listens on, as a program that died leaves it.
bool leaveDeadSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

TEST(SecondLaunch, HandsOverToTheRunningProgramWhichShowsItsHiddenWindow) {
    QtMain main;
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    AppDelegate delegate(prefs);
    delegate.setLaunchSteps({});
    delegate.applicationDidFinishLaunching();
    MainWindowController& window = *delegate.mainWindowController();

    const QString path = QString::fromStdString(dir.path) + "/orvik.socket";
    OrvikInstanceChannel first(path);
    ASSERT_EQ(first.claim(), OrvikInstanceChannel::Role::primary);
    EXPECT_TRUE(first.isListening());
    int reopens = 0;
    QObject::connect(&first, &OrvikInstanceChannel::reopenRequested, &delegate, [&] {
        ++reopens;
        delegate.applicationShouldHandleReopen(window.isVisible());
    });

    window.close();
    pumpEvents();
    ASSERT_FALSE(window.isVisible());
    EXPECT_EQ(launchBeside(path), OrvikInstanceChannel::Role::handedOver);
    ASSERT_TRUE(pumpUntil([&] { return reopens == 1; }, 5000));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(delegate.mainWindowController(), &window);

    // Again while it is visible: still one program, one window.
    EXPECT_EQ(launchBeside(path), OrvikInstanceChannel::Role::handedOver);
    ASSERT_TRUE(pumpUntil([&] { return reopens == 2; }, 5000));
    EXPECT_TRUE(window.isVisible());
}

TEST(SecondLaunch, ASocketLeftByADeadProgramIsReplacedAndAClosedChannelFreesThePlace) {
    Scratch dir;
    const std::string path = dir.path + "/orvik.socket";
    ASSERT_TRUE(leaveDeadSocket(path));
    {
        OrvikInstanceChannel channel(QString::fromStdString(path));
        EXPECT_EQ(channel.claim(), OrvikInstanceChannel::Role::primary);
        EXPECT_TRUE(channel.isListening());
    }
    // The program ended: the next launch is the running one.
    OrvikInstanceChannel next(QString::fromStdString(path));
    EXPECT_EQ(next.claim(), OrvikInstanceChannel::Role::primary);
}

TEST(SecondLaunch, AnythingButTheRequestIsIgnored) {
    Scratch dir;
    const QString path = QString::fromStdString(dir.path) + "/orvik.socket";
    OrvikInstanceChannel channel(path);
    ASSERT_EQ(channel.claim(), OrvikInstanceChannel::Role::primary);
    int reopens = 0;
    QObject::connect(&channel, &OrvikInstanceChannel::reopenRequested, [&] { ++reopens; });
    auto sent = std::async(std::launch::async, [path] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(2000)) return false;
        socket.write(QByteArray(200, 'x') + "\nreopen\n");
        return socket.waitForBytesWritten(2000);
    });
    pumpUntil([&] { return sent.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }, 5000);
    ASSERT_TRUE(sent.get());
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(reopens, 0);
}

TEST(SecondLaunch, EachStoreHasAChannelOfItsOwn) {
    Scratch dir;
    const std::string before = UserDefaults::standardUserDefaults()->path();
    UserDefaults::setStandardUserDefaultsPath(dir.path + "/one.json");
    const QString one = OrvikInstanceChannel::defaultSocketPath();
    UserDefaults::setStandardUserDefaultsPath(dir.path + "/two.json");
    const QString two = OrvikInstanceChannel::defaultSocketPath();
    UserDefaults::setStandardUserDefaultsPath(before);
    EXPECT_NE(one, two);
    EXPECT_TRUE(one.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/"));
    EXPECT_TRUE(one.contains(QString::number(getuid())));
}

TEST(ApplicationLogger, PassesWarningsAndErrorsToTheSystemLogOrStderr) {
    auto fallback = OrvikMakeApplicationLogger("/nonexistent/log");
    EXPECT_FALSE(fallback->should_log(spdlog::level::info));
    EXPECT_FALSE(fallback->should_log(spdlog::level::debug));
    EXPECT_TRUE(fallback->should_log(spdlog::level::warn));
    EXPECT_TRUE(fallback->should_log(spdlog::level::err));
    ASSERT_EQ(fallback->sinks().size(), 1u);
    EXPECT_NE(std::dynamic_pointer_cast<spdlog::sinks::stderr_sink_mt>(fallback->sinks()[0]), nullptr);

    Scratch dir;
    const std::string socket = dir.path + "/log";
    ASSERT_TRUE(leaveDeadSocket(socket));
    auto system = OrvikMakeApplicationLogger(socket);
    ASSERT_EQ(system->sinks().size(), 1u);
    EXPECT_NE(std::dynamic_pointer_cast<spdlog::sinks::syslog_sink_mt>(system->sinks()[0]), nullptr);
    EXPECT_TRUE(system->should_log(spdlog::level::warn));
    EXPECT_FALSE(system->should_log(spdlog::level::info));
}
