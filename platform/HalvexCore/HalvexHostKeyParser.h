#pragma once

#include "Foundation/Error.h"

#include <memory>
#include <string>

struct ssh_key_struct;

// A server's public host key. keyType is libssh's key type number
// (enum ssh_keytypes_e), which known hosts store beside the key.
class HalvexHostKeyParser {
public:
    // base64: the SSH public-key blob. The key type is read from the blob; a
    // `type` other than 0 must agree with it. Bad input gives nullptr and an
    // error (code 1008).
    static std::shared_ptr<HalvexHostKeyParser> parserFromBase64(const std::string& base64, long type,
                                                                 Error* error);
    // Takes a copy of a libssh public key (the server's, during the handshake).
    static std::shared_ptr<HalvexHostKeyParser> parserFromKey(ssh_key_struct* key, Error* error);
    ~HalvexHostKeyParser();
    HalvexHostKeyParser(const HalvexHostKeyParser&) = delete;
    HalvexHostKeyParser& operator=(const HalvexHostKeyParser&) = delete;

    const std::string& base64() const { return base64_; }
    long keyType() const { return keyType_; }
    // "SHA256:" and the unpadded base64 of the blob's SHA-256 digest.
    const std::string& fingerprint() const { return fingerprint_; }
    // The key's SSH name, e.g. "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa".
    const std::string& typeName() const { return typeName_; }

private:
    HalvexHostKeyParser() = default;
    ssh_key_struct* key_ = nullptr;
    std::string base64_;
    long keyType_ = 0;
    std::string fingerprint_;
    std::string typeName_;
};
