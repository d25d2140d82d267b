#pragma once

#include "Foundation/KeyValueObservable.h"
#include "Rellum/RellumTerminal.h"

#include <QImage>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class OrvikController;

// The terminal of one page: knows the page's identity (uid, a new UUID) and
// the controller it was made for, which it owns. Made on the main thread with
// its Qt view.
class OrvikTerminal : public RellumTerminal, public KeyValueObservable {
public:
    // A terminal with its Qt view; `delegate` is the main window's.
    static std::shared_ptr<OrvikTerminal> make(std::shared_ptr<OrvikController> shellController,
                                               std::weak_ptr<RellumTerminalDelegate> delegate,
                                               Options options = {});

    OrvikTerminal(std::shared_ptr<OrvikController> shellController,
                  std::weak_ptr<RellumTerminalDelegate> delegate, Options options);
    ~OrvikTerminal() override;

    const std::string& uid() const { return uid_; }
    void setUid(std::string uid) { uid_ = std::move(uid); }
    const std::shared_ptr<OrvikController>& shellController() const { return shellController_; }

    // The title the host set last; nullopt until then. Any thread.
    std::optional<std::string> displayTitle() const;
    void setDisplayTitle(std::optional<std::string> title);
    // The server's name, then " - " and the display title when there is one.
    std::string titleNotation() const;

    // A picture of the terminal's page (main thread); null without a view.
    QImage snapshot() const;
    // Tells observers of "snapshot", later on the main thread, that the
    // picture changed; nothing when the terminal is gone by then.
    void updateSnapshot();

private:
    std::string uid_;
    const std::shared_ptr<OrvikController> shellController_;
    mutable std::mutex mutex_;
    std::optional<std::string> displayTitle_;
};
