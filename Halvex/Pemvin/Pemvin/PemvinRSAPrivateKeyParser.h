#pragma once

#include "Pemvin/PemvinPrivateKeyParser.h"

// An RSA private key.
class PemvinRSAPrivateKeyParser : public PemvinPrivateKeyParser {
public:
    // Fails, with an error, for a key of another kind or one whose public
    // half cannot be written as an SSH blob.
    static std::shared_ptr<PemvinRSAPrivateKeyParser> make(EVP_PKEY* key, Error* error);

private:
    PemvinRSAPrivateKeyParser() = default;
};
