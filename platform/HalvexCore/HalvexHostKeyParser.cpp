#include "HalvexCore/HalvexHostKeyParser.h"

#include "HalvexCore/HalvexCoreErrors.h"

#include <libssh/libssh.h>
#include <openssl/evp.h>

#include <cctype>
#include <cstring>

namespace {

void fail(Error* error, const std::string& text) {
    if (error) *error = Error(HalvexCoreErrorDomain, HalvexCoreErrorConfiguration, text);
}

std::string base64Encode(const unsigned char* data, size_t len) {
    std::string out(4 * ((len + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(len));
    out.resize(static_cast<size_t>(n));
    return out;
}

// Strict base64: whitespace is skipped, anything else must be the alphabet.
bool base64Decode(const std::string& text, std::string& out) {
    std::string clean;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=')) return false;
        clean += c;
    }
    if (clean.empty() || clean.size() % 4 != 0) return false;
    out.assign(clean.size() / 4 * 3, '\0');
    int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
    if (n < 0) return false;
    size_t pad = 0;
    if (clean.back() == '=') ++pad;
    if (clean.size() > 1 && clean[clean.size() - 2] == '=') ++pad;
    out.resize(static_cast<size_t>(n) - pad);
    return true;
}

bool sameFamily(long a, long b) {
    auto isEcdsa = [](long t) {
        return t == SSH_KEYTYPE_ECDSA || t == SSH_KEYTYPE_ECDSA_P256 || t == SSH_KEYTYPE_ECDSA_P384 ||
               t == SSH_KEYTYPE_ECDSA_P521;
    };
    if (a == b) return true;
    return (a == SSH_KEYTYPE_ECDSA && isEcdsa(b)) || (b == SSH_KEYTYPE_ECDSA && isEcdsa(a));
}

} // namespace

HalvexHostKeyParser::~HalvexHostKeyParser() {
    if (key_) ssh_key_free(key_);
}

std::shared_ptr<HalvexHostKeyParser> HalvexHostKeyParser::parserFromKey(ssh_key_struct* key, Error* error) {
    if (!key) {
        fail(error, "There is no host key");
        return nullptr;
    }
    char* b64 = nullptr;
    if (ssh_pki_export_pubkey_base64(key, &b64) != SSH_OK || !b64) {
        fail(error, "The host key cannot be encoded");
        return nullptr;
    }
    std::shared_ptr<HalvexHostKeyParser> parser(new HalvexHostKeyParser());
    parser->base64_ = b64;
    ssh_string_free_char(b64);

    unsigned char* hash = nullptr;
    size_t hlen = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hlen) != 0) {
        fail(error, "The host key fingerprint cannot be computed");
        return nullptr;
    }
    std::string fp = base64Encode(hash, hlen);
    ssh_clean_pubkey_hash(&hash);
    while (!fp.empty() && fp.back() == '=')
        fp.pop_back();
    parser->fingerprint_ = "SHA256:" + fp;

    ssh_key copy = nullptr;
    if (ssh_pki_import_pubkey_base64(parser->base64_.c_str(), ssh_key_type(key), &copy) != SSH_OK) {
        fail(error, "The host key cannot be read");
        return nullptr;
    }
    parser->key_ = copy;
    parser->keyType_ = ssh_key_type(copy);
    const char* name = ssh_key_type_to_char(ssh_key_type(copy));
    parser->typeName_ = name ? name : "";
    return parser;
}

std::shared_ptr<HalvexHostKeyParser> HalvexHostKeyParser::parserFromBase64(const std::string& base64,
                                                                           long type, Error* error) {
    std::string blob;
    if (!base64Decode(base64, blob) || blob.size() < 4) {
        fail(error, "The host key is not valid base64 text");
        return nullptr;
    }
    // The blob starts with the key's type name; libssh would accept a blob
    // under the wrong type and make a bogus key, so the name decides.
    uint32_t nameLen = (uint32_t(uint8_t(blob[0])) << 24) | (uint32_t(uint8_t(blob[1])) << 16) |
                       (uint32_t(uint8_t(blob[2])) << 8) | uint32_t(uint8_t(blob[3]));
    if (nameLen == 0 || nameLen > 64 || nameLen > blob.size() - 4) {
        fail(error, "The host key blob has no key type");
        return nullptr;
    }
    std::string name = blob.substr(4, nameLen);
    enum ssh_keytypes_e blobType = ssh_key_type_from_name(name.c_str());
    if (blobType == SSH_KEYTYPE_UNKNOWN) {
        fail(error, "Unsupported host key type “" + name + "”");
        return nullptr;
    }
    if (type != 0 && !sameFamily(type, blobType)) {
        fail(error, "The host key is of type “" + name + "”, not of the type recorded for it");
        return nullptr;
    }
    ssh_key key = nullptr;
    if (ssh_pki_import_pubkey_base64(base64.c_str(), blobType, &key) != SSH_OK || !key) {
        fail(error, "The host key of type “" + name + "” is not valid");
        return nullptr;
    }
    auto parser = parserFromKey(key, error);
    ssh_key_free(key);
    return parser;
}
