#include <gtest/gtest.h>

#include <openssl/bn.h>

#include "Foundation/Error.h"
#include "Pemvin/Pemvin.h"
#include "Pemvin/PemvinData.h"
#include "Pemvin/PemvinECDSAPublicKeyParser.h"
#include "Pemvin/PemvinPKI.h"
#include "Pemvin/PemvinPublicKeyParserFactory.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

struct BN {
    BIGNUM* p = BN_new();
    ~BN() { BN_free(p); }
};

TEST(PemvinData, MpintsFollowTheWireRules) {
    BN e;
    BN_set_word(e.p, 65537);
    std::string data;
    ASSERT_TRUE(appendBigNum(data, e.p));
    EXPECT_EQ(data, bytes({0, 0, 0, 3, 1, 0, 1}));

    BN top;
    BN_set_word(top.p, 0x80ff);
    data.clear();
    ASSERT_TRUE(appendBigNum(data, top.p));
    EXPECT_EQ(data, bytes({0, 0, 0, 3, 0, 0x80, 0xff})) << "a set top bit gets a 0 byte in front";

    BN zero;
    data.clear();
    ASSERT_TRUE(appendBigNum(data, zero.p));
    EXPECT_EQ(data, bytes({0, 0, 0, 0}));

    BN biggest, tooBig;
    BN_set_bit(biggest.p, PemvinMaxBigNumBits - 1);
    BN_set_bit(tooBig.p, PemvinMaxBigNumBits);
    data = "x";
    ASSERT_TRUE(appendBigNum(data, biggest.p));
    EXPECT_EQ(data.size(), 1u + 4 + PemvinMaxBigNumBits / 8 + 1);
    data = "x";
    EXPECT_FALSE(appendBigNum(data, tooBig.p));
    EXPECT_EQ(data, "x") << "a refused number leaves the data unchanged";
}

TEST(PemvinData, BlockReadsStopAtTheEndOfTheData) {
    std::string data;
    appendBlockData(data, "ssh-rsa");
    appendBlockData(data, "");
    data += bytes({0, 0, 0, 9, 'a', 'b'});
    std::size_t cursor = 0;
    EXPECT_EQ(readBlockData(data, cursor), "ssh-rsa");
    EXPECT_EQ(cursor, 11u);
    EXPECT_EQ(readBlockData(data, cursor), "");
    EXPECT_EQ(cursor, 15u);
    EXPECT_FALSE(readBlockData(data, cursor)) << "length runs past the data";
    EXPECT_EQ(cursor, 15u);
    std::size_t far = 100;
    EXPECT_FALSE(readBlockData(data, far));
    std::string huge = bytes({0xff, 0xff, 0xff, 0xff, 'a'});
    cursor = 0;
    EXPECT_FALSE(readBlockData(huge, cursor));
    EXPECT_EQ(cursor, 0u);
}

TEST(PemvinData, Base64RoundTripsAndSkipsForeignCharacters) {
    for (std::string s :
         std::initializer_list<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xff\x10", 3)})
        EXPECT_EQ(pemvin_base64Decode(pemvin_base64Encode(s)), s);
    EXPECT_EQ(pemvin_base64Encode("ssh"), "c3No");
    EXPECT_EQ(pemvin_base64Decode("c3\n N o"), "ssh");
}

TEST(Pemvin, HexaAndCurveTables) {
    unsigned char md[16];
    for (int i = 0; i < 16; ++i)
        md[i] = static_cast<unsigned char>(i * 17);
    auto hex = getHexa(md, 16);
    ASSERT_TRUE(hex);
    EXPECT_EQ(hex->size(), 47u);
    EXPECT_EQ(*hex, "00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff");
    EXPECT_EQ(getHexa(md, 0), "");
    EXPECT_FALSE(getHexa(md, 1431655765u));

    EXPECT_EQ(pemvin_curve_name_to_nid("nistp384"), 715);
    EXPECT_EQ(pemvin_curve_name_to_nid("nistp999"), -1);
    EXPECT_EQ(pemvin_curve_nid_to_name(716), "nistp521");
    EXPECT_EQ(pemvin_curve_nid_to_name(714), std::nullopt);
    EXPECT_EQ(pemvin_curve_nid_to_bits(415), 256);
    EXPECT_EQ(pemvin_curve_nid_to_bits(714), 0);
    EXPECT_EQ(pemvin_ssh_name_from_type_nid(715), "ecdsa-sha2-nistp384");
    EXPECT_EQ(pemvin_ssh_name_from_type_nid(714), "ssh-unknown");

    EXPECT_EQ(PemvinPKI::keyTypeFromName(std::nullopt), 0);
    EXPECT_EQ(PemvinPKI::keyTypeFromName("ssh-rsa1"), 3);
    EXPECT_EQ(PemvinPKI::keyTypeFromName("rsa"), 2);
    EXPECT_EQ(PemvinPKI::keyTypeFromName("ssh-dss"), 1);
    EXPECT_EQ(PemvinPKI::keyTypeFromName("ecdsa-sha2-nistp521"), 4);
    EXPECT_EQ(PemvinPKI::keyTypeFromName("ssh-ed25519"), 0);
    EXPECT_EQ(PemvinPKI::nameFromKeyType(4), "ssh-ecdsa");
    EXPECT_EQ(PemvinPKI::nameFromKeyType(0), std::nullopt);
}

TEST(Pemvin, PassphraseCallbackCopiesAtMostTheBuffer) {
    char buf[8] = {};
    PemvinPassphraseHandler handler = [] { return std::string("0123456789"); };
    EXPECT_EQ(pem_get_password(buf, 4, 0, &handler), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    PemvinPassphraseHandler empty = [] { return std::string(); };
    EXPECT_EQ(pem_get_password(buf, 8, 0, &empty), 0);
    EXPECT_EQ(pem_get_password(buf, 8, 0, nullptr), 0);
}

TEST(PemvinPublicKeys, BadBlobsGiveTheirErrors) {
    Error error;
    // "ssh-rsa" and e, but no n.
    std::string rsa;
    appendBlockData(rsa, "ssh-rsa");
    appendBlockData(rsa, bytes({1, 0, 1}));
    EXPECT_FALSE(
        PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(rsa), PemvinPKI::RSA, &error));
    EXPECT_EQ(error, Error("Pemvin", 5000, "It's not a valid RSA public key."));

    std::string dsa;
    appendBlockData(dsa, "ssh-dss");
    appendBlockData(dsa, bytes({1}));
    error = Error();
    EXPECT_FALSE(
        PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(dsa), PemvinPKI::DSA, &error));
    EXPECT_EQ(error, Error("Pemvin", 5000, "It's not a valid DSA public key."));

    std::string ec;
    appendBlockData(ec, "ecdsa-sha2-nistp999");
    appendBlockData(ec, "nistp999");
    appendBlockData(ec, bytes({4, 1, 2}));
    error = Error();
    EXPECT_FALSE(
        PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(ec), PemvinPKI::ECDSA, &error));
    EXPECT_EQ(error, Error("Pemvin", 5000, "This ECDSA format nistp999 not support."));

    std::string offCurve;
    appendBlockData(offCurve, "ecdsa-sha2-nistp256");
    appendBlockData(offCurve, "nistp256");
    appendBlockData(offCurve, bytes({4}) + std::string(64, '\x01'));
    error = Error();
    EXPECT_FALSE(PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(offCurve),
                                                                PemvinPKI::ECDSA, &error));
    EXPECT_EQ(error, Error("Pemvin", 5000, "It's not a valid ECDSA public key."));

    error = Error();
    EXPECT_FALSE(PemvinPublicKeyParserFactory::parserFromBase64("AAAA", PemvinPKI::RSA1, &error));
    EXPECT_EQ(error, Error("Pemvin", 1007, "Could not parse public key",
                           "Please try again or import another public key."));

    error = Error();
    EXPECT_FALSE(PemvinPublicKeyParserFactory::keyNameFromBlob(bytes({0, 0, 1, 0, 's'}), &error));
    EXPECT_EQ(error.code, 1007);
}

TEST(PemvinPublicKeys, NumbersTooLargeForABlobAreRefused) {
    // An RSA public key with a 16392-bit modulus: no blob can carry it.
    std::string n(2049, '\xff');
    std::string blob;
    appendBlockData(blob, "ssh-rsa");
    appendBlockData(blob, bytes({1, 0, 1}));
    appendBlockData(blob, n);
    Error error;
    auto parser =
        PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(blob), PemvinPKI::RSA, &error);
    EXPECT_FALSE(parser);
    EXPECT_EQ(error.domain, "Pemvin");
    EXPECT_EQ(error.code, 5000);
    EXPECT_FALSE(error.localizedDescription.empty());
}

TEST(PemvinPublicKeys, Nistp384BlobRoundTrips) {
    // A known P-384 public key (the generator point).
    const char* gx =
        "aa87ca22be8b05378eb1c71ef320ad746e1d3b628ba79b9859f741e082542a385502f25dbf55296c3a545e3872760ab7";
    const char* gy =
        "3617de4a96262c6f5d9e98bf9292dc29f8f41dbd289a147ce9da3113b5f0b8c00a60b1ce1d7e819d7a431d7c90ea0e5f";
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    BN_hex2bn(&x, gx);
    BN_hex2bn(&y, gy);
    unsigned char point[97] = {4};
    BN_bn2binpad(x, point + 1, 48);
    BN_bn2binpad(y, point + 49, 48);
    BN_free(x);
    BN_free(y);
    std::string blob;
    appendBlockData(blob, "ecdsa-sha2-nistp384");
    appendBlockData(blob, "nistp384");
    appendBlockData(blob, std::string(reinterpret_cast<char*>(point), sizeof point));
    std::string b64 = pemvin_base64Encode(blob);

    auto name = PemvinPublicKeyParserFactory::keyNameFromBase64(b64, nullptr);
    ASSERT_TRUE(name);
    EXPECT_EQ(*name, "ecdsa-sha2-nistp384");
    Error error;
    auto parser =
        PemvinPublicKeyParserFactory::parserFromBase64(b64, PemvinPKI::keyTypeFromName(name), &error);
    ASSERT_TRUE(parser) << error.localizedDescription;
    EXPECT_EQ(parser->base64(), b64);
    EXPECT_EQ(parser->keySize(), 384);
    auto ec = std::dynamic_pointer_cast<PemvinECDSAPublicKeyParser>(parser);
    ASSERT_TRUE(ec);
    EXPECT_EQ(ec->nid(), 715);
}

TEST(PemvinPublicKeys, TruncatedOrDamagedBlobsNeverGiveAWrongKey) {
    std::string blob;
    appendBlockData(blob, "ecdsa-sha2-nistp256");
    appendBlockData(blob, "nistp256");
    // The P-256 generator point.
    std::string point = bytes({4});
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    BN_hex2bn(&x, "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296");
    BN_hex2bn(&y, "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5");
    unsigned char xy[64];
    BN_bn2binpad(x, xy, 32);
    BN_bn2binpad(y, xy + 32, 32);
    BN_free(x);
    BN_free(y);
    point.append(reinterpret_cast<char*>(xy), sizeof xy);
    appendBlockData(blob, point);
    auto whole =
        PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(blob), PemvinPKI::ECDSA, nullptr);
    ASSERT_TRUE(whole);

    for (std::size_t len = 0; len < blob.size(); ++len) {
        std::string cut = pemvin_base64Encode(blob.substr(0, len));
        EXPECT_FALSE(PemvinPublicKeyParserFactory::parserFromBase64(cut, PemvinPKI::ECDSA, nullptr)) << len;
        EXPECT_FALSE(PemvinPublicKeyParserFactory::parserFromBase64(cut, PemvinPKI::RSA, nullptr)) << len;
        EXPECT_FALSE(PemvinPublicKeyParserFactory::parserFromBase64(cut, PemvinPKI::DSA, nullptr)) << len;
    }
    for (std::size_t i = 0; i < blob.size(); ++i) {
        std::string damaged = blob;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
        Error error;
        auto parser = PemvinPublicKeyParserFactory::parserFromBase64(pemvin_base64Encode(damaged),
                                                                     PemvinPKI::ECDSA, &error);
        // Either refused, or (damage in the unchecked type name) the same key.
        if (parser)
            EXPECT_EQ(parser->blob(), blob) << i;
        else
            EXPECT_EQ(error.domain, "Pemvin") << i;
    }
}

TEST(PemvinPublicKeys, PemWrapping) {
    EXPECT_EQ(PemvinPublicKeyParserFactory::base64WithWrapWidth("abcdefghij", 6), "abcd\nefgh\nij");
    EXPECT_EQ(PemvinPublicKeyParserFactory::base64WithWrapWidth("abcd", 4), "abcd");
    EXPECT_EQ(PemvinPublicKeyParserFactory::toPEMBase64("-----BEGIN X-----\n Comment: hi\n\nssh-rsa AAAA\n"),
              "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----");
    std::string line(100, 'A');
    EXPECT_EQ(PemvinPublicKeyParserFactory::toPEMBase64(line),
              "-----BEGIN PUBLIC KEY-----\n" + line.substr(0, 64) + "\n" + line.substr(64) +
                  "\n-----END PUBLIC KEY-----");
}

} // namespace
