#pragma once

#include "Pemvin/PemvinPrivateKeyParser.h"

// A DSA private key.
class PemvinDSAPrivateKeyParser : public PemvinPrivateKeyParser {
public:
    // Fails, with an error, for a key of another kind or one whose public
    // half cannot be written as an SSH blob.
    static std::shared_ptr<PemvinDSAPrivateKeyParser> make(EVP_PKEY* key, Error* error);

private:
    PemvinDSAPrivateKeyParser() = default;
};
