#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>

#include <sys/stat.h>

#include <openssl/evp.h>

#include "Foundation/Error.h"
#include "Pemvin/Pemvin.h"
#include "Pemvin/PemvinECDSAPrivateKeyParser.h"
#include "Pemvin/PemvinLibsshPrivateKeyParser.h"
#include "Pemvin/PemvinPrivateKeyParserFactory.h"
#include "Pemvin/PemvinPublicKeyParserFactory.h"
#include "PemvinTestSupport.h"

// The key library never defines the transport's reader type; this stand-in
// lets the tests register a fallback reader.
class HalvexPrivateKeyParser {
public:
    std::string path;
};

namespace {

struct KeySpec {
    std::string name;
    std::vector<std::string> keygenArgs;
    long bits;
};

const std::vector<KeySpec> kKinds = {
    {"rsa", {"-t", "rsa", "-b", "2048"}, 2048},  {"dsa", {"-t", "dsa"}, 1024},
    {"p256", {"-t", "ecdsa", "-b", "256"}, 256}, {"p384", {"-t", "ecdsa", "-b", "384"}, 384},
    {"p521", {"-t", "ecdsa", "-b", "521"}, 521},
};

const std::string kPassphrase = "correct horse";

// What ssh-keygen says about one key.
struct Reference {
    std::string path;
    std::string blob64; // second field of `ssh-keygen -y`
    std::string md5;    // `ssh-keygen -l -E md5`, without "MD5:"
    long bits = 0;
};

class PemvinKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<PemvinTempDir>();
        for (const KeySpec& kind : kKinds) {
            for (bool encrypted : {false, true}) {
                std::string path = dir->file(kind.name + (encrypted ? "_enc" : ""));
                std::vector<std::string> argv = {
                    "ssh-keygen", "-q",   "-m", "PEM", "-N", encrypted ? kPassphrase : "",
                    "-C",         "test", "-f", path};
                argv.insert(argv.begin() + 1, kind.keygenArgs.begin(), kind.keygenArgs.end());
                int status = 0;
                pemvinTestRun(argv, &status);
                ASSERT_EQ(status, 0) << "ssh-keygen failed for " << path;
                refs[path] = reference(path, encrypted ? kPassphrase : "");
            }
        }
    }
    static void TearDownTestSuite() {
        PemvinLibsshPrivateKeyParser::setFallbackReader(nullptr);
        dir.reset();
    }

    static Reference reference(const std::string& path, const std::string& passphrase) {
        Reference r;
        r.path = path;
        std::string pub = pemvinTestRun({"ssh-keygen", "-y", "-P", passphrase, "-f", path});
        std::istringstream y(pub);
        std::string type;
        y >> type >> r.blob64;
        pemvinWriteFile(path + ".y.pub", pub);
        std::istringstream l(pemvinTestRun({"ssh-keygen", "-l", "-E", "md5", "-f", path + ".y.pub"}));
        std::string md5;
        l >> r.bits >> md5;
        EXPECT_TRUE(md5.starts_with("MD5:")) << path;
        if (md5.starts_with("MD5:")) r.md5 = md5.substr(4);
        return r;
    }

    static std::unique_ptr<PemvinTempDir> dir;
    static std::map<std::string, Reference> refs;
};
std::unique_ptr<PemvinTempDir> PemvinKeys::dir;
std::map<std::string, Reference> PemvinKeys::refs;

PemvinPassphraseHandler answering(std::string passphrase, int* asked = nullptr) {
    return [passphrase, asked] {
        if (asked) ++*asked;
        return passphrase;
    };
}

void expectParseError(const Error& error) {
    EXPECT_EQ(error.domain, "Pemvin");
    EXPECT_EQ(error.code, 1007);
    EXPECT_EQ(error.localizedDescription, "Could not parse private key");
    EXPECT_EQ(error.recoverySuggestion, "Please try again or import another private key.");
}

TEST_F(PemvinKeys, BlobsFingerprintsAndSizesEqualSshKeygen) {
    for (const auto& [path, ref] : refs) {
        SCOPED_TRACE(path);
        bool encrypted = path.ends_with("_enc");
        int asked = 0;
        Error error;
        auto parser = PemvinPrivateKeyParserFactory::parserFromFilePath(
            path, answering(encrypted ? kPassphrase : "", &asked), &error);
        ASSERT_TRUE(parser) << error.localizedDescription;
        EXPECT_EQ(asked > 0, encrypted);
        ASSERT_TRUE(parser->publicKeyParser());
        EXPECT_EQ(parser->publicKeyParser()->base64(), ref.blob64);
        EXPECT_EQ(parser->fingerprint(), ref.md5);
        EXPECT_EQ(parser->fingerprint().size(), 47u);
        EXPECT_EQ(parser->keySize(), ref.bits);
        EXPECT_TRUE(parser->base64().starts_with("-----BEGIN "));
        EXPECT_EQ(parser->base64().find("ENCRYPTED"), std::string::npos);
        EXPECT_FALSE(parser->libsshParser());
    }
}

TEST_F(PemvinKeys, Pkcs8KeysFromOpensslReadWithPassphrase) {
    std::string path = dir->file("pkcs8_p256");
    int status = 0;
    pemvinTestRun({"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                   "-aes-128-cbc", "-pass", "pass:" + kPassphrase, "-out", path},
                  &status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(pemvinReadFile(path).find("BEGIN ENCRYPTED PRIVATE KEY"), std::string::npos);
    Error error;
    auto parser = PemvinPrivateKeyParserFactory::parserFromFilePath(path, answering(kPassphrase), &error);
    ASSERT_TRUE(parser);
    Reference ref = reference(path, kPassphrase);
    EXPECT_EQ(parser->publicKeyParser()->base64(), ref.blob64);
    EXPECT_EQ(parser->fingerprint(), ref.md5);
    EXPECT_EQ(parser->keySize(), 256);
}

TEST_F(PemvinKeys, ExportedPemReadsBackToTheSameKey) {
    for (const auto& [path, ref] : refs) {
        SCOPED_TRACE(path);
        auto parser =
            PemvinPrivateKeyParserFactory::parserFromFilePath(path, answering(kPassphrase), nullptr);
        ASSERT_TRUE(parser);

        auto plain = parser->dataValue();
        ASSERT_TRUE(plain);
        EXPECT_EQ(*plain, parser->base64());
        auto again = PemvinPrivateKeyParserFactory::parserFromBlob(*plain, nullptr, nullptr);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->fingerprint(), ref.md5);

        EXPECT_FALSE(parser->dataValue("abcd")) << "passphrases of 1 to 4 bytes are refused";
        auto locked = parser->dataValue("abcde");
        ASSERT_TRUE(locked);
        EXPECT_NE(locked->find("DEK-Info: AES-128-CBC,"), std::string::npos);
        EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromBlob(*locked, answering("wrong"), nullptr));
        auto reopened = PemvinPrivateKeyParserFactory::parserFromBlob(*locked, answering("abcde"), nullptr);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(reopened->fingerprint(), ref.md5);

        // ssh-keygen itself opens the exported key.
        std::string out = path + ".exported";
        pemvinWriteFile(out, *locked);
        chmod(out.c_str(), 0600);
        std::istringstream y(pemvinTestRun({"ssh-keygen", "-y", "-P", "abcde", "-f", out}));
        std::string type, blob64;
        y >> type >> blob64;
        EXPECT_EQ(blob64, ref.blob64);
    }
}

TEST_F(PemvinKeys, WrongOrMissingPassphraseAndCorruptFilesGiveTheParseError) {
    std::string encrypted = dir->file("rsa_enc");
    Error error;
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(encrypted, answering("not it"), &error));
    expectParseError(error);

    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(encrypted, answering(""), &error));
    expectParseError(error);

    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(encrypted, nullptr, &error));
    expectParseError(error);

    std::string corrupt = pemvinReadFile(dir->file("p256"));
    corrupt[corrupt.size() / 2] ^= 0x15;
    corrupt.erase(40, 30);
    std::string corruptPath = dir->file("corrupt");
    pemvinWriteFile(corruptPath, corrupt);
    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(corruptPath, nullptr, &error));
    expectParseError(error);

    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(dir->file("missing"), nullptr, &error));
    expectParseError(error);

    // A public key is not a private key.
    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(dir->file("rsa.pub"), nullptr, &error));
    expectParseError(error);
}

TEST_F(PemvinKeys, NonRegularFilesReadAsEmptyWithoutBlocking) {
    std::string fifo = dir->file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Error error;
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(fifo, nullptr, &error));
    expectParseError(error);
    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(dir->path(), nullptr, &error));
    expectParseError(error);
}

TEST_F(PemvinKeys, UnsupportedCurveIsAClearErrorNotAWrongBlob) {
    std::string path = dir->file("k256");
    int status = 0;
    pemvinTestRun(
        {"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:secp256k1", "-out", path},
        &status);
    ASSERT_EQ(status, 0);
    Error error;
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(path, nullptr, &error));
    EXPECT_EQ(error.domain, "Pemvin");
    EXPECT_EQ(error.code, 5000);
    EXPECT_EQ(error.localizedDescription, "This ECDSA format secp256k1 not support.");
}

TEST_F(PemvinKeys, ExplicitCurveParametersAreRecognisedAsTheNamedCurve) {
    std::string path = dir->file("explicit");
    int status = 0;
    pemvinTestRun({"openssl", "ec", "-in", dir->file("p256"), "-param_enc", "explicit", "-out", path},
                  &status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(pemvinReadFile(path).find("BEGIN EC PRIVATE KEY"), std::string::npos);
    auto parser = PemvinPrivateKeyParserFactory::parserFromFilePath(path, nullptr, nullptr);
    ASSERT_TRUE(parser);
    auto ec = std::dynamic_pointer_cast<PemvinECDSAPrivateKeyParser>(parser);
    ASSERT_TRUE(ec);
    EXPECT_EQ(ec->nid(), 415);
    EXPECT_EQ(parser->fingerprint(), refs[dir->file("p256")].md5);
}

TEST_F(PemvinKeys, OpenSshFormatKeysGoToTheFallbackReader) {
    std::string path = dir->file("openssh_rsa");
    int status = 0;
    pemvinTestRun({"ssh-keygen", "-q", "-t", "rsa", "-b", "2048", "-N", kPassphrase, "-f", path}, &status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(pemvinReadFile(path).find("BEGIN OPENSSH PRIVATE KEY"), std::string::npos);

    // Without the transport's reader, the PEM reader's failure stands.
    PemvinLibsshPrivateKeyParser::setFallbackReader(nullptr);
    Error error;
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(path, answering(kPassphrase), &error));
    expectParseError(error);

    int readerAsked = 0;
    PemvinLibsshPrivateKeyParser::setFallbackReader(
        [&](const std::string& p, const PemvinPassphraseHandler& handler, Error* err) {
            ++readerAsked;
            if (handler() != kPassphrase) {
                if (err) *err = Error("Halvex.Core", 3, "wrong passphrase");
                return std::shared_ptr<HalvexPrivateKeyParser>();
            }
            auto inner = std::make_shared<HalvexPrivateKeyParser>();
            inner->path = p;
            return inner;
        });
    int asked = 0;
    error = Error();
    auto parser =
        PemvinPrivateKeyParserFactory::parserFromFilePath(path, answering(kPassphrase, &asked), &error);
    ASSERT_TRUE(parser);
    EXPECT_EQ(error, Error()) << "the PEM reader's error is cleared";
    ASSERT_TRUE(parser->libsshParser());
    EXPECT_EQ(parser->libsshParser()->path, path);
    EXPECT_TRUE(parser->base64().empty());
    EXPECT_FALSE(parser->publicKeyParser());
    EXPECT_EQ(readerAsked, 1);
    EXPECT_GE(asked, 1);

    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(path, answering("nope"), &error));
    EXPECT_EQ(error.domain, "Halvex.Core") << "the fallback reader's error stands";

    // A reader that fails silently still leaves the caller an error.
    PemvinLibsshPrivateKeyParser::setFallbackReader(
        [](const std::string&, const PemvinPassphraseHandler&, Error*) { return nullptr; });
    error = Error();
    EXPECT_FALSE(PemvinPrivateKeyParserFactory::parserFromFilePath(path, answering(kPassphrase), &error));
    expectParseError(error);
    PemvinLibsshPrivateKeyParser::setFallbackReader(nullptr);
}

TEST_F(PemvinKeys, PublicKeyFilesAndPemPublicKeysParse) {
    for (const auto& [path, ref] : refs) {
        SCOPED_TRACE(path);
        Error error;
        auto pub = PemvinPublicKeyParserFactory::parserFromFilePath(path + ".pub", &error);
        ASSERT_TRUE(pub) << error.localizedDescription;
        EXPECT_EQ(pub->base64(), ref.blob64);
        EXPECT_EQ(pub->fingerprint(), ref.md5);
        EXPECT_EQ(pub->keySize(), ref.bits);

        // Its PEM form reads back through the PEM public-key reader.
        auto pem = pub->getPEMBase64();
        ASSERT_TRUE(pem);
        bool rsa = path.substr(path.rfind('/')).find("rsa") != std::string::npos;
        EXPECT_NE(pem->find(rsa ? "-----BEGIN RSA PUBLIC KEY-----" : "-----BEGIN PUBLIC KEY-----"),
                  std::string::npos);
        if (!rsa) {
            EVP_PKEY* key = PemvinPublicKeyParserFactory::getEVPPKey(*pem, &error);
            ASSERT_TRUE(key);
            auto back = PemvinPublicKeyParser::parserFromEVPPkey(key, &error);
            EVP_PKEY_free(key);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->fingerprint(), ref.md5);
        }
    }
    std::string noSpace = dir->file("nospace.pub");
    pemvinWriteFile(noSpace, "AAAAB3NzaC1yc2EAAAADAQABAAABAQ");
    Error error;
    EXPECT_FALSE(PemvinPublicKeyParserFactory::parserFromFilePath(noSpace, &error));
    EXPECT_EQ(error.code, 1007);
    EXPECT_EQ(error.localizedDescription, "Could not parse public key");
}

TEST_F(PemvinKeys, PemPublicKeyWithoutArmourReads) {
    // An RSA key's SubjectPublicKeyInfo, given as bare base64 lines.
    std::string pem = pemvinTestRun({"openssl", "pkey", "-in", dir->file("rsa"), "-pubout"});
    ASSERT_NE(pem.find("BEGIN PUBLIC KEY"), std::string::npos);
    std::string bare;
    std::istringstream lines(pem);
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("-----")) bare += line;
    Error error;
    EVP_PKEY* key = PemvinPublicKeyParserFactory::getEVPPKey(bare, &error);
    ASSERT_TRUE(key) << error.localizedDescription;
    auto parser = PemvinPublicKeyParser::parserFromEVPPkey(key, &error);
    EVP_PKEY_free(key);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->fingerprint(), refs[dir->file("rsa")].md5);

    error = Error();
    EXPECT_FALSE(PemvinPublicKeyParserFactory::getEVPPKey("not a key", &error));
    EXPECT_EQ(error.code, 1007);
    EXPECT_EQ(error.localizedDescription, "Could not parse public key");
}

} // namespace
