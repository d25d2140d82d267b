#include <gtest/gtest.h>

#include "Foundation/Error.h"
#include "Keychain/Keychain.h"
#include "Keychain/KeychainURL.h"
#include "Keychain/MemoryKeychainBackend.h"

namespace {

TEST(KeychainURL, AcceptsServerUrlsAndKeepsTheirParts) {
    auto plain = KeychainURL::parse("ssh://alpha.example:22");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->scheme(), "ssh");
    EXPECT_EQ(plain->host(), "alpha.example");
    EXPECT_EQ(plain->port(), 22);

    auto v6 = KeychainURL::parse("ssh://[2001:db8::7]:65535");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host(), "2001:db8::7");
    EXPECT_EQ(v6->port(), 65535);

    auto zone = KeychainURL::parse("ssh://[fe80::1%25eth0]:0");
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->host(), "fe80::1%eth0");
    EXPECT_EQ(zone->port(), 0);

    auto noPort = KeychainURL::parse("ssh://10.0.0.1");
    ASSERT_TRUE(noPort);
    EXPECT_FALSE(noPort->port());
}

TEST(KeychainURL, RefusesMalformedAddresses) {
    for (const char* bad :
         {"ssh://al pha:22", "ssh://::1:22", "ssh://[::1:22", "ssh://[not-v6]:22", "ssh://host:65536",
          "ssh://host:", "ssh://host:2x", "ssh://", "ssh://:22", "ssh://user@host:22", "ssh://host/path",
          "ssh://a%zz:22", "alpha:22", "://alpha", "ssh://host:-1", "ssh://ho\tst"})
        EXPECT_FALSE(KeychainURL::parse(bad)) << bad;
}

TEST(KeychainURL, HostForURLBracketsOnlyIPv6) {
    EXPECT_EQ(KeychainURL::hostForURL("alpha"), "alpha");
    EXPECT_EQ(KeychainURL::hostForURL("192.0.2.1"), "192.0.2.1");
    EXPECT_EQ(KeychainURL::hostForURL("::1"), "[::1]");
    EXPECT_EQ(KeychainURL::hostForURL("[::1]"), "[::1]");
    EXPECT_EQ(KeychainURL::hostForURL("fe80::1%eth0"), "[fe80::1%25eth0]");
}

TEST(Keychain, ItemsAreFoundByTheirWholeAddress) {
    auto backend = std::make_shared<MemoryKeychainBackend>();
    auto alpha = Keychain::forServer("ssh://alpha:22", Keychain::ProtocolType::SSH, backend);
    auto alpha2222 = Keychain::forServer("ssh://alpha:2222", Keychain::ProtocolType::SSH, backend);
    auto beta = Keychain::forServer("ssh://beta:22", Keychain::ProtocolType::SSH, backend);
    ASSERT_TRUE(alpha && alpha2222 && beta);
    auto service = Keychain::forService("svc", backend);

    ASSERT_TRUE(alpha->attributes("kind").label("alpha label").set("s1", "root"));
    EXPECT_EQ(alpha->get("root"), "s1");
    EXPECT_FALSE(alpha->get("admin"));
    EXPECT_FALSE(alpha2222->get("root"));
    EXPECT_FALSE(beta->get("root"));
    EXPECT_FALSE(service.get("root"));

    auto attributes = alpha->itemAttributes("root");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->label, "alpha label");
    EXPECT_EQ(attributes->description, "kind");
    EXPECT_FALSE(attributes->persistentRef.empty());

    // The server's port is the protocol's when the URL leaves it out.
    auto implicit = Keychain::forServer("ssh://alpha", Keychain::ProtocolType::SSH, backend);
    ASSERT_TRUE(implicit);
    EXPECT_EQ(implicit->get("root"), "s1");

    EXPECT_TRUE(alpha->remove("root"));
    EXPECT_FALSE(alpha->get("root"));
    EXPECT_TRUE(alpha->remove("root"));
    EXPECT_FALSE(Keychain::forServer("ssh://al pha:22", Keychain::ProtocolType::SSH, backend));
}

TEST(Keychain, RefusedWritesAreFailures) {
    auto backend = std::make_shared<MemoryKeychainBackend>();
    auto service = Keychain::forService("svc", backend);
    ASSERT_TRUE(service.set("kept", "a"));
    backend->setFailWrites(true);
    Error error;
    EXPECT_FALSE(service.set("new", "a", &error));
    EXPECT_EQ(error.domain, "Orvik.Keychain");
    EXPECT_FALSE(service.remove("a"));
    EXPECT_EQ(service.get("a"), "kept");
}

TEST(Keychain, SharedBackendCanBeReplaced) {
    auto backend = std::make_shared<MemoryKeychainBackend>();
    KeychainBackend::setShared(backend);
    EXPECT_EQ(KeychainBackend::shared(), backend);
    ASSERT_TRUE(Keychain::forService("svc").set("v", "acct"));
    EXPECT_EQ(backend->items().size(), 1u);
    KeychainBackend::setShared(nullptr);
}

} // namespace
