#pragma once

#include "Pemvin/PemvinPublicKeyParser.h"

// An ECDSA public key on one of the supported curves: blob type name, curve
// name, uncompressed point.
class PemvinECDSAPublicKeyParser : public PemvinPublicKeyParser {
public:
    // Keeps its own copy of `key`; fails for a key that is not EC or whose
    // curve is not supported.
    static std::shared_ptr<PemvinECDSAPublicKeyParser> make(EVP_PKEY* key, Error* error);
    // Reads a base64 "ecdsa-sha2-..." blob.
    static std::shared_ptr<PemvinECDSAPublicKeyParser> parserSSHBase64(std::string_view base64, Error* error);

    // The curve identifier (415, 715 or 716).
    int nid() const { return nid_; }

private:
    PemvinECDSAPublicKeyParser() = default;
    int nid_ = -1;
};

// The uncompressed public point of an EC key on curve `nid` (at most 133
// bytes); nullopt when there is none.
std::optional<std::string> pemvin_ecdsa_public_point(const EVP_PKEY* key, int nid);
// The SSH blob of an EC key whose curve is `nid`; nullopt with a
// 5000 error when the curve is not supported or the point is unusable.
std::optional<std::string> pemvin_ecdsa_blob(const EVP_PKEY* key, int nid, Error* error);
