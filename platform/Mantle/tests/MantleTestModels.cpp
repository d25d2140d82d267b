#include "MantleTestModels.h"

#include <atomic>

const MTLModelClass& TestTunnel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<TestTunnel>(
        "TestTunnel", nullptr,
        {
            MTLProperty::make("type", &TestTunnel::type, &TestTunnel::setType)
                .transformedBy(MTLValueTransformer::valueMappingTransformer(
                    {{"local", 0}, {"remote", 1}, {"dynamic", 2}})),
            MTLProperty::field("bind_address", &TestTunnel::bind_address),
            MTLProperty::field("port", &TestTunnel::port).JSONKeyPath("listen_port"),
            MTLProperty::field("enabled", &TestTunnel::enabled),
        },
        {.ignoresUnknownKeys = true});
    return c;
}

const MTLModelClass& TestLiveTunnel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<TestLiveTunnel>(
        "TestLiveTunnel", &TestTunnel::classDescription(), {}, {.ignoresUnknownKeys = true});
    return c;
}

TestServer::TestServer() {
    static std::atomic<int> next{0};
    uid = "uid-" + std::to_string(++next);
}

void TestServer::setComment(std::optional<std::string> c) {
    willChangeValueForKey("commentLength");
    comment_ = std::move(c);
    commentLength_ = comment_ ? comment_->size() : 0;
    didChangeValueForKey("commentLength");
}

const MTLModelClass& TestServer::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<TestServer>(
        "TestServer", nullptr,
        {
            MTLProperty::field("uid", &TestServer::uid).notInJSON(),
            MTLProperty::field("name", &TestServer::name),
            MTLProperty::field("ssh_host", &TestServer::ssh_host),
            MTLProperty::field("ssh_port", &TestServer::ssh_port),
            MTLProperty::field("compression", &TestServer::compression),
            MTLProperty::field("auto_connect", &TestServer::auto_connect),
            MTLProperty::field("address_familly", &TestServer::address_familly)
                .transformedBy(
                    MTLValueTransformer::valueMappingTransformer({{"ipv4", 0}, {"ipv6", 1}, {"any", 2}})),
            MTLProperty::field("forwardings", &TestServer::forwardings),
            MTLProperty::field("methods", &TestServer::methods).transformedBy("TestUpperCaseArray"),
            MTLProperty::make("comment", &TestServer::comment, &TestServer::setComment),
            MTLProperty::field("session_name", &TestServer::session_name),
        },
        {.modelVersion = 150300, .ignoresUnknownKeys = true});
    return c;
}

bool TestServer::didInitWithDictionary(const nlohmann::json&, Error*) {
    // An older version kept the name under another key.
    if (!session_name.is_null()) {
        if (session_name.is_string()) name = session_name.get<std::string>();
        session_name = nullptr;
    }
    return true;
}

const MTLModelClass& TestStrict::classDescription() {
    static const MTLModelClass c =
        MTLModelClass::make<TestStrict>("TestStrict", nullptr,
                                        {MTLProperty::field("method_name", &TestStrict::method_name),
                                         MTLProperty::field("tunnel", &TestStrict::tunnel)});
    return c;
}

bool TestStrict::didInitWithDictionary(const nlohmann::json&, Error* error) {
    for (auto& ch : method_name)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (method_name == "password" || method_name == "publickey") return true;
    if (error) *error = Error(MTLModel::ErrorDomain, MTLModel::ErrorValidationFailed, "unknown method");
    return false;
}

void registerTestModels() {
    MTLRegisterModelClass<TestTunnel>({"KvTestTunnel"});
    MTLRegisterModelClass<TestLiveTunnel>();
    MTLRegisterModelClass<TestServer>();
    MTLRegisterModelClass<TestStrict>();
    // Names in JSON are lower case, in the model upper case; one name is refused.
    auto upper = [](const nlohmann::json& in, bool up) -> nlohmann::json {
        if (!in.is_array()) return nullptr;
        nlohmann::json out = nlohmann::json::array();
        for (const auto& e : in) {
            if (!e.is_string() || e == "junk") continue;
            std::string s = e.get<std::string>();
            for (auto& ch : s)
                ch = static_cast<char>(up ? std::toupper(ch) : std::tolower(ch));
            out.push_back(s);
        }
        return out;
    };
    MTLValueTransformer::setValueTransformer(
        "TestUpperCaseArray", MTLValueTransformer::transformerUsingForwardBlock(
                                  [upper](const nlohmann::json& v) { return upper(v, true); },
                                  [upper](const nlohmann::json& v) { return upper(v, false); }));
}
