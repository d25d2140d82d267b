#pragma once
// A transport that never reaches a server, for pages that must not connect:
// the application's tests and the screenshot tour.

#include "Halvex/HalvexSessionController.h"
#include "Halvex/HalvexSessionTransport.h"
#include "Wendle/WendleDispatch.h"

#include <memory>
#include <string>
#include <utility>

// A transport that never reaches a server: a connection attempt stays
// "connecting" until it is ended, and ending it reports the disconnect later
// on the main queue, as a real transport's I/O thread would.
class QuietTransport : public HalvexSessionTransport, public std::enable_shared_from_this<QuietTransport> {
public:
    explicit QuietTransport(std::weak_ptr<HalvexSessionTransportDelegate> delegate)
        : delegate_(std::move(delegate)) {}

    static HalvexSessionController::TransportFactory factory() {
        return [](std::weak_ptr<HalvexSessionTransportDelegate> delegate) {
            return std::static_pointer_cast<HalvexSessionTransport>(
                std::make_shared<QuietTransport>(std::move(delegate)));
        };
    }

    void enableProxy(long, const std::string&, uint16_t) override {}
    void enableProxy(long, const std::string&, uint16_t, const std::string&, const std::string&) override {}
    void setEnableCompression(bool) override {}
    void setEnableIPv4(bool) override {}
    void setEnableIPv6(bool) override {}
    void setCiphers(const std::string&) override {}
    void setHostKeyAlgorithms(const std::string&) override {}
    void setKeyExchangeAlgorithms(const std::string&) override {}
    void setServerAliveCountMax(long) override {}
    void setLogDebug(HalvexLogSink) override {}
    void setLogInfo(HalvexLogSink) override {}
    void setLogWarn(HalvexLogSink) override {}
    void setLogError(HalvexLogSink) override {}
    void setLogFatal(HalvexLogSink) override {}
    void connectToHost(const std::string& host, uint16_t port, const std::string&, const std::string&,
                       double) override {
        host_ = host;
        port_ = port;
    }
    void disconnect() override {
        if (std::exchange(ended_, true)) return;
        std::weak_ptr<QuietTransport> weak = weak_from_this();
        WendleDispatchAsyncOnMainQueue([weak] {
            auto self = weak.lock();
            if (!self) return;
            if (auto delegate = self->delegate_.lock()) delegate->didDisconnectWithError(*self, std::nullopt);
        });
    }
    std::string host() const override { return host_; }
    uint16_t port() const override { return port_; }
    std::string hostIP() const override { return host_; }
    void authenticateByPasswordHandler(HalvexPasswordHandler) override {}
    void authenticateByPrivateKeyBase64(const std::string&) override {}
    void authenticateByPrivateKeyParser(std::shared_ptr<HalvexPrivateKeyParser>) override {}
    void authenticateByInteractiveHandler(HalvexInteractiveHandler) override {}

private:
    std::weak_ptr<HalvexSessionTransportDelegate> delegate_;
    std::string host_;
    uint16_t port_ = 0;
    bool ended_ = false;
};
