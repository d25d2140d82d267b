#pragma once

#include "Foundation/KeyValueObservable.h"
#include "Rellum/RellumTerminal.h"
#include "Wendle/Views/WendleSidebarItemRepresentedObject.h"

#include <QImage>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class OrvikController;

// The terminal of one page: knows the page's identity (uid, a new UUID) and
// the controller it was made for, which it owns. Made on the main thread with
// its Qt view.
class OrvikTerminal : public RellumTerminal,
                      public WendleSidebarItemRepresentedObject,
                      public KeyValueObservable {
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

    // The title the host set last; empty until then. Any thread.
    std::string displayTitle() const override;
    void setDisplayTitle(const std::string& title) override;
    // The server's name, then " - " and the display title when there is one.
    std::string titleNotation() const;

    // The font the page was last given (main thread); the terminal takes it
    // on its render queue a moment later.
    std::shared_ptr<const RellumFont> pageFont() const { return pageFont_ ? pageFont_ : font(); }
    void setPageFont(std::shared_ptr<const RellumFont> font);

    // A picture of the terminal's page (main thread); null without a view.
    QImage snapshot() const override;
    // Tells observers of "snapshot", later on the main thread, that the
    // picture changed; nothing when the terminal is gone by then.
    void updateSnapshot();

private:
    std::string uid_;
    const std::shared_ptr<OrvikController> shellController_;
    mutable std::mutex mutex_;
    std::string displayTitle_;
    std::shared_ptr<const RellumFont> pageFont_;
};
