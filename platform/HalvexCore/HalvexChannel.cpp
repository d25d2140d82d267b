#include "HalvexCore/HalvexChannel.h"

#include "HalvexCore/HalvexSessionCore.h"
#include "HalvexCore/HalvexShellChannel.h"

HalvexChannel::HalvexChannel(std::shared_ptr<HalvexSessionCore> core, std::weak_ptr<HalvexSession> session,
                             std::weak_ptr<HalvexChannelDelegate> delegate)
    : core_(std::move(core)), session_(std::move(session)), delegate_(std::move(delegate)),
      io_(std::make_unique<HalvexChannelIO>()) {}

HalvexChannel::~HalvexChannel() = default;

void HalvexChannel::writeData(std::string_view data) {
    if (data.empty() || closeRequested_.load() || eofRequested_.load() || finished_.load()) return;
    {
        std::lock_guard lock(mutex_);
        pendingWrites_.append(data);
        queued_.fetch_add(data.size(), std::memory_order_release);
        if (writeWakePosted_) return;
        writeWakePosted_ = true;
    }
    core_->wake();
}

void HalvexChannel::close() {
    if (closeRequested_.exchange(true)) return;
    open_.store(false);
    HalvexSessionCore::Command command(HalvexSessionCore::Command::Type::Close);
    command.channel = shared_from_this();
    core_->post(std::move(command));
}

void HalvexChannel::sendEOF() {
    if (closeRequested_.load() || eofRequested_.exchange(true)) return;
    core_->wake();
}

void HalvexChannel::pauseReading() {
    readingPaused_.store(true);
}

void HalvexChannel::resumeReading() {
    if (!readingPaused_.exchange(false)) return;
    // What was kept meanwhile is delivered from the I/O thread.
    HalvexSessionCore::Command command(HalvexSessionCore::Command::Type::Deliver);
    command.channel = shared_from_this();
    core_->post(std::move(command));
}

void HalvexChannel::setDelegate(std::weak_ptr<HalvexChannelDelegate> delegate) {
    {
        std::lock_guard lock(mutex_);
        delegate_ = std::move(delegate);
    }
    // Bytes that came while there was no delegate go to the new one.
    HalvexSessionCore::Command command(HalvexSessionCore::Command::Type::Deliver);
    command.channel = shared_from_this();
    core_->post(std::move(command));
}

std::shared_ptr<HalvexChannelDelegate> HalvexChannel::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::shared_ptr<HalvexSession> HalvexChannel::session() const {
    return session_.lock();
}

void HalvexShellChannel::changePtySize(long columns, long rows) {
    HalvexSessionCore::Command command(HalvexSessionCore::Command::Type::Resize);
    command.channel = shared_from_this();
    command.columns = columns;
    command.rows = rows;
    core_->post(std::move(command));
}
