#pragma once

#include <memory>
#include <string>
#include <vector>

// A modal alert that the engine needs answered: the host-key questions and
// the login-item failure. Message texts are the English texts; the presenter
// looks up their translations.
struct HalvexAlert {
    enum class Style { informational, warning, critical };
    Style style = Style::warning;
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons; // first is 1000, second 1001, ...
};

// Runs alerts for the engine. The Qt layer installs one at launch; tests
// install a scripted one.
//
// Threads: the engine asks through run(), on the thread that needs the answer
// (the SSH session's thread for host keys, the caller of setAutoLaunch for the
// login item); run() blocks that thread and hops synchronously to the main
// queue (MainQueue::main()), where runModalAlert is called. On the main thread
// itself it calls runModalAlert at once. With no main queue bound (tools,
// tests without one) runModalAlert is called on the asking thread.
class HalvexAlertPresenter {
public:
    static constexpr long FirstButton = 1000;
    static constexpr long SecondButton = 1001;

    virtual ~HalvexAlertPresenter() = default;
    // The button chosen: 1000 for the first, 1001 for the second, ... Called
    // on the main thread whenever a main queue is bound.
    virtual long runModalAlert(const HalvexAlert& alert) = 0;

    // The process's presenter (thread-safe). Without one, every alert is
    // answered with its first button ("No"): nothing is accepted unasked.
    static std::shared_ptr<HalvexAlertPresenter> sharedPresenter();
    static void setSharedPresenter(std::shared_ptr<HalvexAlertPresenter> presenter);
    // Runs the alert through the shared presenter on the main queue. Answers
    // 1000 when there is no presenter or the main queue went away.
    static long run(const HalvexAlert& alert);
};
