#include "app/OrvikController.h"

#include "Mantle/MTLProperty.h"
#include "Wendle/WendleDispatch.h"
#include "app/OrvikPreferences.h"
#include "app/OrvikTerminal.h"

#include <spdlog/fmt/fmt.h>

namespace {
const bool gRegistered = (MTLRegisterModelClass<OrvikController>(), true);
} // namespace

const MTLModelClass& OrvikController::classDescription() {
    // The terminal profile is archived with the server list but is no part of
    // the server's JSON form: an imported server gets the default profile, and
    // two servers that differ only in it are the same server.
    static const MTLModelClass c = MTLModelClass::make<OrvikController>(
        "OrvikController", &HalvexSessionModel::classDescription(),
        {MTLProperty::make("profile", &OrvikController::profile, &OrvikController::setProfile).notInJSON()},
        {.modelVersion = HalvexSessionModel::ModelVersion, .ignoresUnknownKeys = true});
    return c;
}

OrvikController::OrvikController()
    : profile_(RellumProfileModel::profileWithName(DefaultName, DefaultThemeName)) {
    setName(std::string(DefaultName));
}

std::shared_ptr<RellumProfileModel> OrvikController::profile() const {
    std::lock_guard lock(mutex_);
    return profile_;
}

void OrvikController::setProfile(std::shared_ptr<RellumProfileModel> profile) {
    willChangeValueForKey("profile");
    {
        std::lock_guard lock(mutex_);
        profile_ = std::move(profile);
    }
    didChangeValueForKey("profile");
}

std::shared_ptr<OrvikTerminal> OrvikController::terminal() const {
    std::lock_guard lock(mutex_);
    return terminal_.lock();
}

void OrvikController::setTerminal(const std::shared_ptr<OrvikTerminal>& terminal) {
    std::lock_guard lock(mutex_);
    terminal_ = terminal;
}

std::shared_ptr<HalvexShellChannel> OrvikController::shellChannel() const {
    std::lock_guard lock(mutex_);
    return shellChannel_;
}

bool OrvikController::isInteractive() const {
    auto channel = shellChannel();
    return channel && channel->isOpen();
}

std::string OrvikController::sshServerNotation() const {
    return fmt::format("Host: {}    Port: {}    Login: {}", sshHostNotationWithoutPort(),
                       ssh_port ? std::to_string(*ssh_port) : std::string(), ssh_user.value_or(""));
}

OrvikPreferences& OrvikController::preferences() const {
    if (auto* mine = dynamic_cast<OrvikPreferences*>(&HalvexSessionController::preferences())) return *mine;
    return OrvikPreferences::sharedPreferences();
}

void OrvikController::writeData(std::string_view data) {
    if (auto channel = shellChannel()) channel->writeData(data);
}

void OrvikController::changePageSize(RellumPageSize size) {
    if (auto channel = shellChannel())
        channel->changePtySize(static_cast<long>(size.width), static_cast<long>(size.height));
}

// --- session

void OrvikController::didAuthenticateUser(HalvexSessionTransport& session, const std::string& user) {
    HalvexSessionController::didAuthenticateUser(session, user);
    if (!isCurrentSession(session)) return;
    auto ssh = session.halvexSession();
    if (!ssh) return;
    // The page size the terminal has committed, not the view's: a resize
    // asked for before the channel existed was dropped and is asked again
    // once the channel is open.
    RellumPageSize size{80, 24};
    if (auto page = terminal()) size = page->pageSize();
    auto termProfile = profile();
    std::string termType = termProfile ? termProfile->term_type() : std::string();
    if (termType.empty()) termType = "xterm-256color";
    auto self = std::static_pointer_cast<OrvikController>(shared_from_this());
    auto channel =
        ssh->openShellChannel(termType, static_cast<long>(size.width), static_cast<long>(size.height),
                              std::weak_ptr<HalvexShellChannelDelegate>(self));
    std::lock_guard lock(mutex_);
    shellChannel_ = std::move(channel);
}

void OrvikController::didDisconnectWithError(HalvexSessionTransport& session,
                                             const std::optional<Error>& error) {
    // The lines of the disconnect and of the retries are written outside the shell.
    if (isCurrentSession(session)) interactiveSinceLine_.store(SIZE_MAX);
    HalvexSessionController::didDisconnectWithError(session, error);
    // The channel object stays: isInteractive reads it as closed.
    if (auto channel = shellChannel()) channel->close();
}

// --- shell channel

bool OrvikController::isCurrentChannel(const HalvexChannel& channel) const {
    std::lock_guard lock(mutex_);
    return shellChannel_.get() == &channel;
}

void OrvikController::render(const HalvexChannel& channel, std::string_view data) {
    // A replaced channel's late output is dropped. (The channel is stored
    // before it can deliver: it opens on the I/O thread after
    // didAuthenticateUser returns.)
    if (!isCurrentChannel(channel)) return;
    if (auto page = terminal()) page->renderData(std::string(data));
}

void OrvikController::didReadStdoutData(HalvexChannel& channel, std::string_view data) {
    render(channel, data);
}

void OrvikController::didReadStderrData(HalvexChannel& channel, std::string_view data) {
    render(channel, data);
}

void OrvikController::channelDidOpen(HalvexChannel& channel) {
    if (!isCurrentChannel(channel)) return;
    interactiveSinceLine_.store(logger().lineCount());
    // The view may have changed size while the channel was opening; the
    // remote pseudo-terminal must not keep the size it was opened with.
    std::weak_ptr<OrvikTerminal> weak = terminal();
    WendleDispatchAsyncOnMainQueue([weak] {
        auto page = weak.lock();
        if (page && page->screenController()) page->willChangePageSize(page->maxAllowedPageSize());
    });
}

void OrvikController::channelDidClose(HalvexChannel& channel, const std::optional<Error>&) {
    if (isCurrentChannel(channel)) interactiveSinceLine_.store(SIZE_MAX);
}

void OrvikController::didChangePtySize(HalvexShellChannel& channel, long columns, long rows,
                                       const std::optional<Error>& error) {
    if (error || !isCurrentChannel(channel)) return;
    if (auto page = terminal()) page->didChangePageSize({columns, rows});
}
