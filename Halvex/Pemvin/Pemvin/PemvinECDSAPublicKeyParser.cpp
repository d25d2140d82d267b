#include "Pemvin/PemvinECDSAPublicKeyParser.h"

#include <openssl/core_names.h>
#include <openssl/objects.h>

#include "Pemvin/PemvinData.h"
#include "Pemvin/PemvinOpenSSL.h"

namespace {
const char* kInvalid = "It's not a valid ECDSA public key.";
// An uncompressed P-521 point.
constexpr std::size_t kMaxPoint = 133;

std::string unsupported(std::string_view curve) {
    return "This ECDSA format " + std::string(curve) + " not support.";
}

std::string curveText(int nid) {
    const char* sn = nid > 0 ? OBJ_nid2sn(nid) : nullptr;
    return sn ? sn : "unknown";
}
} // namespace

std::optional<std::string> pemvin_ecdsa_public_point(const EVP_PKEY* key, int nid) {
    unsigned char raw[256];
    std::size_t rawLen = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, raw, sizeof raw, &rawLen) != 1)
        return std::nullopt;
    PemvinGroup group(EC_GROUP_new_by_curve_name(nid));
    PemvinPoint point(group ? EC_POINT_new(group.get()) : nullptr);
    if (!point || EC_POINT_oct2point(group.get(), point.get(), raw, rawLen, nullptr) != 1)
        return std::nullopt;
    unsigned char out[kMaxPoint];
    std::size_t n =
        EC_POINT_point2oct(group.get(), point.get(), POINT_CONVERSION_UNCOMPRESSED, nullptr, 0, nullptr);
    if (n == 0 || n > kMaxPoint) return std::nullopt;
    n = EC_POINT_point2oct(group.get(), point.get(), POINT_CONVERSION_UNCOMPRESSED, out, sizeof out, nullptr);
    if (n == 0) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(out), n);
}

std::optional<std::string> pemvin_ecdsa_blob(const EVP_PKEY* key, int nid, Error* error) {
    auto curve = pemvin_curve_nid_to_name(nid);
    if (!curve) {
        pemvin_setError(error, 5000, unsupported(curveText(nid)));
        return std::nullopt;
    }
    auto point = pemvin_ecdsa_public_point(key, nid);
    if (!point) {
        pemvin_setError(error, 5000, kInvalid);
        return std::nullopt;
    }
    std::string blob;
    appendBlockData(blob, pemvin_ssh_name_from_type_nid(nid));
    appendBlockData(blob, *curve);
    appendBlockData(blob, *point);
    return blob;
}

std::shared_ptr<PemvinECDSAPublicKeyParser> PemvinECDSAPublicKeyParser::make(EVP_PKEY* key, Error* error) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    EVP_PKEY* copy = EVP_PKEY_dup(key);
    if (!copy) {
        pemvin_setError(error, 5000, "Init ECDSA public key fail.");
        return nullptr;
    }
    int nid = pemvin_ecdsa_key_to_nid(copy);
    auto blob = pemvin_ecdsa_blob(copy, nid, error);
    if (!blob) {
        EVP_PKEY_free(copy);
        return nullptr;
    }
    std::shared_ptr<PemvinECDSAPublicKeyParser> parser(new PemvinECDSAPublicKeyParser);
    parser->nid_ = nid;
    parser->adopt(copy, std::move(*blob), pemvin_curve_nid_to_bits(nid));
    return parser;
}

std::shared_ptr<PemvinECDSAPublicKeyParser>
PemvinECDSAPublicKeyParser::parserSSHBase64(std::string_view base64, Error* error) {
    std::string data = pemvin_base64Decode(base64);
    std::size_t cursor = 0;
    auto type = readBlockData(data, cursor);
    auto curve = type ? readBlockData(data, cursor) : std::nullopt;
    if (!curve) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    int nid = pemvin_curve_name_to_nid(*curve);
    if (nid < 0) {
        pemvin_setError(error, 5000, unsupported(*curve));
        return nullptr;
    }
    auto point = readBlockData(data, cursor);
    if (!point) {
        // A failure always says why.
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    PemvinGroup group(EC_GROUP_new_by_curve_name(nid));
    if (!group) {
        pemvin_setError(error, 5000, "Init ECDSA public key fail.");
        return nullptr;
    }
    PemvinPoint p(EC_POINT_new(group.get()));
    if (!p || point->size() > kMaxPoint ||
        EC_POINT_oct2point(group.get(), p.get(), reinterpret_cast<const unsigned char*>(point->data()),
                           point->size(), nullptr) != 1) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    PemvinParamBld bld(OSSL_PARAM_BLD_new());
    PemvinPKey key;
    if (bld &&
        OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, OBJ_nid2sn(nid), 0) == 1 &&
        OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, point->data(), point->size()) ==
            1)
        key = pemvin_keyFromParams("EC", bld.get(), EVP_PKEY_PUBLIC_KEY);
    if (!key) {
        pemvin_setError(error, 5000, "Init ECDSA public key fail.");
        return nullptr;
    }
    return make(key.get(), error);
}
