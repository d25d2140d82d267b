#include "Halvex/HalvexKnownHostModel.h"

#include "Halvex/HalvexAlertPresenter.h"

namespace {
const bool gRegistered = (HalvexKnownHostModel::classDescription(), true);
using K = HalvexKnownHostModel;
} // namespace

const MTLModelClass& HalvexKnownHostModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<HalvexKnownHostModel>(
        "HalvexKnownHostModel", nullptr,
        {
            MTLProperty::field("host_name", &K::host_name),
            MTLProperty::field("host_ip", &K::host_ip),
            MTLProperty::field("host_port", &K::host_port),
            MTLProperty::make("host_key", &K::host_key, &K::setHost_key),
            MTLProperty::make("host_key_type", &K::host_key_type, &K::setHost_key_type),
        },
        {.ignoresUnknownKeys = true});
    static const bool registered = [] {
        MTLModelClass::registerClass(c);
        MTLModelClass::registerLegacyClassName("KvKnownHost", c);
        return true;
    }();
    (void)registered;
    return c;
}

HalvexKnownHostModel::HalvexKnownHostModel(std::string hostName, std::uint16_t port,
                                           std::optional<std::string> ip)
    : host_name(std::move(hostName)), host_ip(std::move(ip)), host_port(port) {}

void HalvexKnownHostModel::setHost_key(std::optional<std::string> key) {
    host_key_ = std::move(key);
    rebuildParser();
}

void HalvexKnownHostModel::setHost_key_type(std::optional<std::int64_t> type) {
    host_key_type_ = type;
    rebuildParser();
}

void HalvexKnownHostModel::rebuildParser() {
    willChangeValueForKey("hostKeyParser");
    hostKeyParser_ =
        host_key_ && host_key_type_
            ? HalvexHostKeyParser::parserFromBase64(*host_key_, static_cast<long>(*host_key_type_), nullptr)
            : nullptr;
    didChangeValueForKey("hostKeyParser");
}

std::string HalvexKnownHostModel::description() const {
    std::string name = host_name.value_or("");
    if (host_ip && *host_ip != name)
        return name.append(" (").append(*host_ip).append(") port ").append(
            std::to_string(host_port.value_or(0)));
    return name;
}

bool HalvexKnownHostModel::shouldAcceptHostKey(const HalvexHostKeyParser& key) {
    HalvexAlert alert;
    alert.style = HalvexAlert::Style::warning;
    alert.messageText =
        std::string("Please verify the host key fingerprint for '").append(description()).append("'");
    alert.informativeText = std::string("The fingerprint of host key is\n")
                                .append(key.fingerprint())
                                .append(" [")
                                .append(key.typeName())
                                .append("]\n\nDo you trust the host with this fingerprint?");
    alert.buttons = {"No", "Trust"};
    if (HalvexAlertPresenter::run(alert) != HalvexAlertPresenter::SecondButton) return false;
    host_key_ = key.base64();
    setHost_key_type(key.keyType());
    return true;
}

bool HalvexKnownHostModel::tryUpdateHostIP(const std::string& ip, bool strictCheck) {
    if (host_ip == ip) return true;
    if (strictCheck) {
        HalvexAlert alert;
        alert.style = HalvexAlert::Style::critical;
        alert.messageText = "POSSIBLE DNS SPOOFING DETECTED!";
        alert.informativeText = std::string("The IP address for ")
                                    .append(host_name.value_or(""))
                                    .append(" is resolved to ")
                                    .append(ip)
                                    .append(", which differs from the last connected IP address (")
                                    .append(host_ip.value_or(""))
                                    .append(").\n\nAre you sure you want to continue connecting?");
        alert.buttons = {"No", "I'm sure"};
        if (HalvexAlertPresenter::run(alert) != HalvexAlertPresenter::SecondButton) return false;
    }
    host_ip = ip;
    return true;
}

bool HalvexKnownHostModel::tryUpdateHostKey(const HalvexHostKeyParser& key, bool strictCheck) {
    if (host_key_ == key.base64()) return true;
    if (strictCheck) {
        HalvexAlert alert;
        alert.style = HalvexAlert::Style::critical;
        alert.messageText = "REMOTE HOST KEY HAS CHANGED!";
        alert.informativeText =
            std::string("WARNING: IT IS POSSIBLE THAT SOMEONE IS DOING SOMETHING NASTY!\n"
                        "Someone could be eavesdropping on you right now (man-in-the-middle attack)!\n"
                        "It is also possible that a host key has just been changed.\n"
                        "The fingerprint of the host key sent by the remote host is\n")
                .append(key.fingerprint())
                .append(" [")
                .append(key.typeName())
                .append("]\n\nAre you sure you want to accept this changed host key?");
        alert.buttons = {"No", "Accept"};
        if (HalvexAlertPresenter::run(alert) != HalvexAlertPresenter::SecondButton) return false;
    }
    host_key_ = key.base64();
    setHost_key_type(key.keyType());
    return true;
}
