#pragma once

#include "Pemvin/PemvinPublicKeyParser.h"

// A DSA public key: blob "ssh-dss", p, q, g, y.
class PemvinDSAPublicKeyParser : public PemvinPublicKeyParser {
public:
    // Shares `key` (one more reference); fails for a key that is not DSA or
    // whose numbers do not fit a blob.
    static std::shared_ptr<PemvinDSAPublicKeyParser> make(EVP_PKEY* key, Error* error);
    // Reads a base64 "ssh-dss" blob.
    static std::shared_ptr<PemvinDSAPublicKeyParser> parserSSHBase64(std::string_view base64, Error* error);

private:
    PemvinDSAPublicKeyParser() = default;
};
