#pragma once
// What the application's tests share: a drivable Qt event loop, scratch
// preferences, and waits bounded in time.

#include "Dispatch/ManualClock.h"
#include "Halvex/HalvexSessionController.h"
#include "QuietTransport.h"
#include "Wendle/Views/WendleQtMainQueue.h"
#include "app/OrvikPreferences.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace app_test {

// Runs Qt's events until `done` holds or the time is up; whether it holds.
inline bool pumpUntil(const std::function<bool()>& done, int milliseconds = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the events that are due now, twice over (work queued by work).
inline void pumpEvents() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A folder removed at the end.
class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/orvik-app-XXXXXX";
        const char* dir = mkdtemp(pattern);
        path = dir ? dir : "";
    }
    ~Scratch() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// Preferences over a user-defaults file of their own.
inline std::shared_ptr<OrvikPreferences> scratchPreferences(const Scratch& dir,
                                                            const std::string& name = "defaults") {
    return std::make_shared<OrvikPreferences>(
        UserDefaults::userDefaultsWithPath(dir.path + "/" + name + ".json"));
}

// The Qt main queue on a manual clock, so retries happen when a test says.
struct QtMain {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<WendleQtMainQueue> queue = std::make_shared<WendleQtMainQueue>(clock);
    QtMain() { MainQueue::setMain(queue); }
    ~QtMain() {
        pumpEvents();
        MainQueue::setMain(nullptr);
    }
};

} // namespace app_test
