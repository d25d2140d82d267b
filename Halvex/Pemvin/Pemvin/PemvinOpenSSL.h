#pragma once

// Owning handles for the crypto library's objects, used inside the key library.

#include <memory>
#include <string>
#include <string_view>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>

struct PemvinFreeBIO {
    void operator()(BIO* b) const { BIO_free_all(b); }
};
struct PemvinFreeBN {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
struct PemvinFreePKey {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct PemvinFreePKeyCtx {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct PemvinFreeGroup {
    void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};
struct PemvinFreePoint {
    void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
struct PemvinFreeParamBld {
    void operator()(OSSL_PARAM_BLD* b) const { OSSL_PARAM_BLD_free(b); }
};
struct PemvinFreeParams {
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};

using PemvinBIO = std::unique_ptr<BIO, PemvinFreeBIO>;
using PemvinBN = std::unique_ptr<BIGNUM, PemvinFreeBN>;
using PemvinPKey = std::unique_ptr<EVP_PKEY, PemvinFreePKey>;
using PemvinPKeyCtx = std::unique_ptr<EVP_PKEY_CTX, PemvinFreePKeyCtx>;
using PemvinGroup = std::unique_ptr<EC_GROUP, PemvinFreeGroup>;
using PemvinPoint = std::unique_ptr<EC_POINT, PemvinFreePoint>;
using PemvinParamBld = std::unique_ptr<OSSL_PARAM_BLD, PemvinFreeParamBld>;
using PemvinParams = std::unique_ptr<OSSL_PARAM, PemvinFreeParams>;

// Everything written into a memory stream so far.
inline std::string pemvin_bioContents(BIO* bio) {
    char* bytes = nullptr;
    long n = BIO_get_mem_data(bio, &bytes);
    return n > 0 && bytes ? std::string(bytes, static_cast<std::size_t>(n)) : std::string();
}

// A big-number parameter of a key, null when the key lacks it.
inline PemvinBN pemvin_bnParam(const EVP_PKEY* key, const char* name) {
    BIGNUM* bn = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &bn) != 1) return nullptr;
    return PemvinBN(bn);
}

#include "Foundation/Error.h"
#include "Pemvin/Pemvin.h"

// Fills the caller's error out-parameter, when there is one.
inline void pemvin_setError(Error* error, long code, std::string description, std::string suggestion = {}) {
    if (error) *error = Error(PemvinErrorDomain, code, std::move(description), std::move(suggestion));
}

// A key object of the named kind made from the parameters in `bld`.
inline PemvinPKey pemvin_keyFromParams(const char* type, OSSL_PARAM_BLD* bld, int selection) {
    PemvinParams params(OSSL_PARAM_BLD_to_param(bld));
    PemvinPKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
    EVP_PKEY* raw = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &raw, selection, params.get()) != 1)
        return nullptr;
    return PemvinPKey(raw);
}

inline PemvinBN pemvin_bnFromBytes(std::string_view bytes) {
    return PemvinBN(BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()),
                              static_cast<int>(bytes.size()), nullptr));
}
