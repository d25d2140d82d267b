#pragma once

// Small models written the way the application's models are: defaults in the
// constructor, properties declared once in classDescription().

#include "Mantle/MTLModel.h"
#include "Mantle/MTLValueTransformer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class TestTunnelType : std::int64_t { local, remote, dynamic };

class TestTunnel : public MTLModel {
    MTL_MODEL_DECLARE(TestTunnel)
public:
    TestTunnelType type() const { return type_; }
    void setType(TestTunnelType t) { type_ = t; }
    std::optional<std::string> bind_address;
    std::optional<std::uint16_t> port;
    bool enabled = true;

private:
    TestTunnelType type_ = TestTunnelType::local;
};

// A subclass that adds nothing of its own but a live counter.
class TestLiveTunnel : public TestTunnel {
    MTL_MODEL_DECLARE(TestLiveTunnel)
public:
    int connections = 0;
};

class TestServer : public MTLModel {
    MTL_MODEL_DECLARE(TestServer)
public:
    TestServer();
    std::string uid;
    std::optional<std::string> name;
    std::optional<std::string> ssh_host;
    std::optional<std::int64_t> ssh_port = 22;
    std::optional<bool> compression = false;
    std::optional<bool> auto_connect;
    std::optional<std::int64_t> address_familly = 2;
    std::vector<std::shared_ptr<TestTunnel>> forwardings;
    std::vector<std::string> methods{"PASSWORD"};
    nlohmann::json session_name; // legacy key: text or number

    // Setter with a derived value and change notices, as real models have.
    const std::optional<std::string>& comment() const { return comment_; }
    void setComment(std::optional<std::string> c);
    std::size_t commentLength() const { return commentLength_; }

protected:
    bool didInitWithDictionary(const nlohmann::json& dictionary, Error* error) override;

private:
    std::optional<std::string> comment_;
    std::size_t commentLength_ = 0;
};

// Refuses values for keys it does not have (the model base's default).
class TestStrict : public MTLModel {
    MTL_MODEL_DECLARE(TestStrict)
public:
    std::string method_name = "password";
    std::shared_ptr<TestTunnel> tunnel;

protected:
    bool didInitWithDictionary(const nlohmann::json& dictionary, Error* error) override;
};

void registerTestModels();
