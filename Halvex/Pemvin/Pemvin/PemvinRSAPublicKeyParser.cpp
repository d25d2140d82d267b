#include "Pemvin/PemvinRSAPublicKeyParser.h"

#include <openssl/core_names.h>
#include <openssl/encoder.h>

#include "Pemvin/PemvinData.h"
#include "Pemvin/PemvinOpenSSL.h"

namespace {
const char* kInvalid = "It's not a valid RSA public key.";
}

std::shared_ptr<PemvinRSAPublicKeyParser> PemvinRSAPublicKeyParser::make(EVP_PKEY* key, Error* error) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    PemvinBN e = pemvin_bnParam(key, OSSL_PKEY_PARAM_RSA_E);
    PemvinBN n = pemvin_bnParam(key, OSSL_PKEY_PARAM_RSA_N);
    if (!e || !n) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    std::string blob;
    appendBlockData(blob, "ssh-rsa");
    if (!appendBigNum(blob, e.get()) || !appendBigNum(blob, n.get())) {
        pemvin_setError(error, 5000, "The RSA key is too large for an SSH public key.");
        return nullptr;
    }
    std::shared_ptr<PemvinRSAPublicKeyParser> parser(new PemvinRSAPublicKeyParser);
    EVP_PKEY_up_ref(key);
    parser->adopt(key, std::move(blob), BN_num_bits(n.get()));
    return parser;
}

std::shared_ptr<PemvinRSAPublicKeyParser> PemvinRSAPublicKeyParser::parserSSHBase64(std::string_view base64,
                                                                                    Error* error) {
    std::string data = pemvin_base64Decode(base64);
    std::size_t cursor = 0;
    auto type = readBlockData(data, cursor);
    auto e = type ? readBlockData(data, cursor) : std::nullopt;
    auto n = e ? readBlockData(data, cursor) : std::nullopt;
    PemvinBN bnE(
        e ? BN_bin2bn(reinterpret_cast<const unsigned char*>(e->data()), static_cast<int>(e->size()), nullptr)
          : nullptr);
    PemvinBN bnN(
        n ? BN_bin2bn(reinterpret_cast<const unsigned char*>(n->data()), static_cast<int>(n->size()), nullptr)
          : nullptr);
    PemvinParamBld bld(OSSL_PARAM_BLD_new());
    if (!bnE || !bnN || !bld || OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, bnN.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, bnE.get()) != 1) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    PemvinParams params(OSSL_PARAM_BLD_to_param(bld.get()));
    PemvinPKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    PemvinPKey key(raw);
    return make(key.get(), error);
}

BIO* PemvinRSAPublicKeyParser::getBio() const {
    PemvinBIO bio(BIO_new(BIO_s_mem()));
    OSSL_ENCODER_CTX* ctx =
        OSSL_ENCODER_CTX_new_for_pkey(key_, OSSL_KEYMGMT_SELECT_PUBLIC_KEY, "PEM", "type-specific", nullptr);
    bool ok = bio && ctx && OSSL_ENCODER_to_bio(ctx, bio.get()) == 1;
    OSSL_ENCODER_CTX_free(ctx);
    return ok ? bio.release() : nullptr;
}
