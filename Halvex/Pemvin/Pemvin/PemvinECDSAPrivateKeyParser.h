#pragma once

#include "Pemvin/PemvinPrivateKeyParser.h"

// An ECDSA private key on one of the supported curves; it keeps its own copy of
// the key.
class PemvinECDSAPrivateKeyParser : public PemvinPrivateKeyParser {
public:
    // Fails, with an error, for a key of another kind or one whose public
    // half cannot be written as an SSH blob.
    static std::shared_ptr<PemvinECDSAPrivateKeyParser> make(EVP_PKEY* key, Error* error);

    // The curve identifier (415, 715 or 716).
    int nid() const { return nid_; }

private:
    PemvinECDSAPrivateKeyParser() = default;
    int nid_ = -1;
};
