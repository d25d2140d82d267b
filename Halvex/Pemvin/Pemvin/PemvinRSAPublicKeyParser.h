#pragma once

#include "Pemvin/PemvinPublicKeyParser.h"

// An RSA public key: blob "ssh-rsa", e, n.
class PemvinRSAPublicKeyParser : public PemvinPublicKeyParser {
public:
    // Shares `key` (one more reference); fails for a key that is not RSA or
    // whose numbers do not fit a blob.
    static std::shared_ptr<PemvinRSAPublicKeyParser> make(EVP_PKEY* key, Error* error);
    // Reads a base64 "ssh-rsa" blob.
    static std::shared_ptr<PemvinRSAPublicKeyParser> parserSSHBase64(std::string_view base64, Error* error);

    BIO* getBio() const override;

private:
    PemvinRSAPublicKeyParser() = default;
};
