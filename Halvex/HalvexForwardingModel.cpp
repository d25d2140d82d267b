#include "Halvex/HalvexForwardingModel.h"

#include "Mantle/MTLValueTransformer.h"
#include "Wendle/KvServicePorts.h"
#include "Wendle/WendleFunctions.h"

namespace {
const bool gRegistered = (HalvexForwardingModel::classDescription(), true);

std::uint16_t asPort(const std::optional<std::int64_t>& value) {
    return static_cast<std::uint16_t>(value.value_or(0));
}

std::string numberText(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string();
}
} // namespace

const MTLModelClass& HalvexForwardingModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<HalvexForwardingModel>(
        "HalvexForwardingModel", nullptr,
        {
            MTLProperty::make("type", &HalvexForwardingModel::type, &HalvexForwardingModel::setType)
                .transformedBy(MTLValueTransformer::valueMappingTransformer(
                    {{"local", 0}, {"remote", 1}, {"dynamic", 2}})),
            MTLProperty::field("bind_address", &HalvexForwardingModel::bind_address),
            MTLProperty::field("port", &HalvexForwardingModel::port),
            MTLProperty::field("host", &HalvexForwardingModel::host),
            MTLProperty::field("hostport", &HalvexForwardingModel::hostport),
            MTLProperty::field("enabled", &HalvexForwardingModel::enabled),
        },
        {.ignoresUnknownKeys = true});
    static const bool registered = [] {
        MTLModelClass::registerClass(c);
        MTLModelClass::registerLegacyClassName("HalvexPortForwarding", c);
        MTLModelClass::registerLegacyClassName("KvPortForwarding", c);
        return true;
    }();
    (void)registered;
    return c;
}

void HalvexForwardingModel::setType(std::optional<std::int64_t> type) {
    willChangeValueForKey("typeName");
    type_ = type;
    didChangeValueForKey("typeName");
}

std::string HalvexForwardingModel::typeName() const {
    if (type_ == 0) return "Local";
    if (type_ == 1) return "Remote";
    if (type_ == 2) return "Dynamic";
    return "Unknown";
}

std::string HalvexForwardingModel::description() const {
    std::string listen = bind_address && !bind_address->empty()
                             ? WendleGetHostNotation(*bind_address, asPort(port))
                             : numberText(port);
    if (type_ == 2) return std::string("-D ").append(listen);
    if (type_ == 0 || type_ == 1) {
        std::string text(type_ == 1 ? "-R " : "-L ");
        return text.append(listen).append(":").append(
            WendleGetHostNotation(host.value_or(""), asPort(hostport)));
    }
    return listen;
}

std::string HalvexForwardingModel::cmdString() const {
    std::string text;
    if (type_ == 2)
        text = "D\t";
    else if (type_ == 1)
        text = "R\t";
    else if (type_ == 0)
        text = "L\t";
    text += bind_address && !bind_address->empty() ? WendleGetHostNotation(*bind_address, asPort(port))
                                                   : numberText(port);
    if (port) {
        if (auto service = KvServicePorts::serviceNameWithPortNumber(asPort(port)))
            text.append(" (").append(*service).append(")");
    }
    if (type_ == 0 || type_ == 1) {
        text.append(" → ").append(WendleGetHostNotation(host.value_or(""), asPort(hostport)));
        if (hostport) {
            if (auto service = KvServicePorts::serviceNameWithPortNumber(asPort(hostport)))
                text.append(" (").append(*service).append(")");
        }
    }
    return text;
}
