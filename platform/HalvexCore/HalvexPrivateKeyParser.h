#pragma once

#include "Foundation/Error.h"

#include <functional>
#include <memory>
#include <string>

struct ssh_key_struct;

using HalvexPassphraseHandler = std::function<std::string()>;

// A private key read by libssh's own reader: PEM (traditional or PKCS#8,
// encrypted or not) and the OpenSSH key format.
class HalvexPrivateKeyParser {
public:
    // The handler is asked for the passphrase only when the key is encrypted.
    // A missing, unreadable or undecryptable file gives nullptr and an error of
    // code 1008.
    static std::shared_ptr<HalvexPrivateKeyParser>
    parserFromFilePath(const std::string& path, const HalvexPassphraseHandler& handler, Error* error);
    ~HalvexPrivateKeyParser();
    HalvexPrivateKeyParser(const HalvexPrivateKeyParser&) = delete;
    HalvexPrivateKeyParser& operator=(const HalvexPrivateKeyParser&) = delete;

    // The libssh key, owned by the parser.
    ssh_key_struct* key() const { return key_; }

private:
    HalvexPrivateKeyParser() = default;
    ssh_key_struct* key_ = nullptr;
};
