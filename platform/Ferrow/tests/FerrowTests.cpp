#include "Ferrow/Ferrow.h"

#include <gtest/gtest.h>

namespace {

Ferrow block(const char* text) {
    Error error;
    auto b = Ferrow::makeWithNotation(text, &error);
    EXPECT_TRUE(b) << text << ": " << error.localizedDescription;
    return b.value_or(*Ferrow::makeWithNotation("0.0.0.0/32"));
}

TEST(FerrowTest, ParsesIPv4AndIPv6NotationsAndNormalisesTheNetwork) {
    struct Case {
        const char* text;
        const char* notation;
        Ferrow::Family family;
    };
    const Case cases[] = {
        {"10.0.0.0/8", "10.0.0.0/8", Ferrow::Family::IPv4},
        {"10.1.2.3/8", "10.0.0.0/8", Ferrow::Family::IPv4},
        {"192.168.1.77/26", "192.168.1.64/26", Ferrow::Family::IPv4},
        {"192.168.1.1", "192.168.1.1/32", Ferrow::Family::IPv4},
        {"255.255.255.255/32", "255.255.255.255/32", Ferrow::Family::IPv4},
        {"1.2.3.4/0", "0.0.0.0/0", Ferrow::Family::IPv4},
        {"2001:db8::1/32", "2001:db8::/32", Ferrow::Family::IPv6},
        {"2001:DB8:0:0:8:800:200C:417A/127", "2001:db8::8:800:200c:417a/127", Ferrow::Family::IPv6},
        {"::1", "::1/128", Ferrow::Family::IPv6},
        {"::/0", "::/0", Ferrow::Family::IPv6},
        {"fe80::1:2/65", "fe80::/65", Ferrow::Family::IPv6},
        {"::ffff:10.9.8.7/104", "::ffff:10.0.0.0/104", Ferrow::Family::IPv6},
    };
    for (const auto& c : cases) {
        Ferrow b = block(c.text);
        EXPECT_EQ(b.notation(), c.notation) << c.text;
        EXPECT_EQ(b.family(), c.family) << c.text;
    }
    EXPECT_EQ(block("10.0.0.0/8").prefixLength(), 8u);
    EXPECT_EQ(block("::1").prefixLength(), 128u);
    EXPECT_EQ(block("192.168.1.77/26").networkAddress(), "192.168.1.64");
}

TEST(FerrowTest, RejectsJunkWithAClearError) {
    const char* bad[] = {"",
                         "/",
                         "/8",
                         "10.0.0.0/",
                         "10.0.0.0/33",
                         "10.0.0.0/-1",
                         "10.0.0.0/+8",
                         "10.0.0.0/8/8",
                         "10.0.0.0/1000",
                         "10.0.0.0/ 8",
                         " 10.0.0.0/8",
                         "10.0.0.0/8 ",
                         "10.0.0/8",
                         "10.0.0.256",
                         "10.0.0.1.2",
                         "010.0.0.1",
                         "1e1.0.0.1",
                         "example.com",
                         "http://10.0.0.1/",
                         "::/129",
                         "2001:db8::g/64",
                         "fe80::1%eth0/64",
                         "1:2:3:4:5:6:7:8:9",
                         ":::",
                         "10.0.0.0/0x8"};
    for (const char* text : bad) {
        Error error;
        EXPECT_FALSE(Ferrow::makeWithNotation(text, &error)) << "accepted \"" << text << "\"";
        EXPECT_EQ(error.domain, Ferrow::ErrorDomain) << text;
        EXPECT_EQ(error.code, Ferrow::ErrorInvalidNotation) << text;
        EXPECT_FALSE(error.localizedDescription.empty());
    }
    EXPECT_FALSE(Ferrow::makeWithNotation(std::string_view("10.0.0.1\0junk", 13)));
}

TEST(FerrowTest, ContainmentHoldsExactlyInsideTheBlock) {
    Ferrow net = block("192.168.1.64/26");
    EXPECT_TRUE(net.containsAddress("192.168.1.64"));   // first
    EXPECT_TRUE(net.containsAddress("192.168.1.127"));  // last
    EXPECT_FALSE(net.containsAddress("192.168.1.63"));  // just below
    EXPECT_FALSE(net.containsAddress("192.168.1.128")); // just above
    EXPECT_TRUE(net.contains(block("192.168.1.96/27")));
    EXPECT_TRUE(net.contains(net));
    EXPECT_FALSE(net.contains(block("192.168.1.0/24"))) << "a wider block is not inside";
    EXPECT_FALSE(block("192.168.1.0/24").contains(block("192.168.2.0/24")));

    Ferrow all = block("0.0.0.0/0");
    EXPECT_TRUE(all.containsAddress("255.255.255.255"));
    EXPECT_TRUE(all.containsAddress("0.0.0.0"));
    Ferrow one = block("10.0.0.5/32");
    EXPECT_TRUE(one.containsAddress("10.0.0.5"));
    EXPECT_FALSE(one.containsAddress("10.0.0.4"));
    EXPECT_FALSE(one.containsAddress("10.0.0.6"));
    EXPECT_TRUE(block("128.0.0.0/1").containsAddress("255.0.0.1"));
    EXPECT_FALSE(block("128.0.0.0/1").containsAddress("127.255.255.255"));

    Ferrow v6 = block("2001:db8::/32");
    EXPECT_TRUE(v6.containsAddress("2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"));
    EXPECT_FALSE(v6.containsAddress("2001:db9::"));
    EXPECT_TRUE(block("::/0").containsAddress("ffff::1"));
    EXPECT_TRUE(block("fe80::/65").containsAddress("fe80::7fff:ffff:ffff:ffff"));
    EXPECT_FALSE(block("fe80::/65").containsAddress("fe80::8000:0:0:0"));
    EXPECT_TRUE(block("::1").containsAddress("::1"));
    EXPECT_FALSE(block("::1").containsAddress("::2"));

    // Families are never mixed, and junk is an error, not a "no".
    Error error;
    EXPECT_FALSE(all.containsAddress("::1", &error));
    EXPECT_EQ(error.code, Ferrow::ErrorFamilyMismatch);
    EXPECT_FALSE(block("::/0").contains(one, &error));
    EXPECT_EQ(error.code, Ferrow::ErrorFamilyMismatch);
    EXPECT_FALSE(all.containsAddress("example.com", &error));
    EXPECT_EQ(error.code, Ferrow::ErrorInvalidNotation);
}

} // namespace
