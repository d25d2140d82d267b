#pragma once

#include "Halvex/HalvexSessionController.h"
#include "HalvexCore/HalvexShellChannel.h"
#include "HalvexCore/HalvexShellChannelDelegate.h"
#include "Rellum/RellumGeometry.h"
#include "Rellum/RellumProfileModel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class OrvikPreferences;
class OrvikTerminal;

// The application's server: a server profile with its live connection, plus
// the terminal profile (type, theme, options) it opens its shell with. The
// stored servers are never connected themselves; each page connects a copy,
// which keeps the stored one's uid.
//
// While a page is open the controller joins its connection to the page's
// terminal: once authenticated it opens a shell channel at the terminal's page
// size, passes the channel's output unchanged to the terminal, and the
// terminal's keys and page sizes to the channel.
//
// copy() (the model base's) gives a controller of this class with every
// persisted value, uid included, its own copy of the terminal profile, and a
// connection state and log of its own: no terminal, no shell channel.
//
// Threads: the transport calls the callbacks on the session's I/O thread;
// writeData and changePageSize come from the main thread. profile, terminal
// and shellChannel may be read on any thread.
class OrvikController : public HalvexSessionController, public HalvexShellChannelDelegate {
    MTL_MODEL_DECLARE(OrvikController)
public:
    static constexpr const char* DefaultName = "New Server";
    static constexpr const char* DefaultThemeName = "Grass";

    // Named "New Server", with the terminal profile "New Server" on "Grass".
    OrvikController();

    std::shared_ptr<RellumProfileModel> profile() const;
    void setProfile(std::shared_ptr<RellumProfileModel> profile);

    std::shared_ptr<OrvikTerminal> terminal() const;
    void setTerminal(const std::shared_ptr<OrvikTerminal>& terminal);

    // Null until the first authentication; the closed channel stays after a
    // disconnect until the next authentication replaces it.
    std::shared_ptr<HalvexShellChannel> shellChannel() const;
    // The shell channel exists and is open.
    bool isInteractive() const;

    // Whether the shell channel was open when the log line of this index was
    // written. Lines reach their readers later; a line written while the
    // shell was still opening is not counted as written in the shell's time.
    // Any thread.
    bool isInteractiveAtLogLine(std::size_t index) const { return index >= interactiveSinceLine_.load(); }

    // "Host: h    Port: p    Login: u", empty fields for missing values.
    std::string sshServerNotation() const;
    // The application's preferences: those given with setPreferences when
    // they are the application's, else the shared ones.
    OrvikPreferences& preferences() const;

    // Typed bytes for the shell; dropped while there is no shell channel.
    void writeData(std::string_view data);
    // Asks the server to resize the pseudo-terminal; the terminal takes the
    // size when the server has it. Nothing without a shell channel.
    void changePageSize(RellumPageSize size);

    // HalvexSessionTransportDelegate: the base's handling first.
    void didAuthenticateUser(HalvexSessionTransport& session, const std::string& user) override;
    void didDisconnectWithError(HalvexSessionTransport& session, const std::optional<Error>& error) override;

    // HalvexShellChannelDelegate.
    void didReadStdoutData(HalvexChannel& channel, std::string_view data) override;
    void didReadStderrData(HalvexChannel& channel, std::string_view data) override;
    void channelDidOpen(HalvexChannel& channel) override;
    void channelDidClose(HalvexChannel& channel, const std::optional<Error>& error) override;
    void didChangePtySize(HalvexShellChannel& channel, long columns, long rows,
                          const std::optional<Error>& error) override;

private:
    // Output of a channel that is not the current one is not rendered.
    bool isCurrentChannel(const HalvexChannel& channel) const;
    void render(const HalvexChannel& channel, std::string_view data);

    mutable std::mutex mutex_; // profile_, terminal_, shellChannel_
    std::shared_ptr<RellumProfileModel> profile_;
    std::weak_ptr<OrvikTerminal> terminal_;
    std::shared_ptr<HalvexShellChannel> shellChannel_;
    // The first log line written while the shell channel is open; none
    // (the largest value) while it is not.
    std::atomic<std::size_t> interactiveSinceLine_{SIZE_MAX};
};
