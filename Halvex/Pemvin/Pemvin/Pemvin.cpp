#include "Pemvin/Pemvin.h"

#include <cstring>
#include <limits>
#include <mutex>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/objects.h>

#include "Pemvin/PemvinOpenSSL.h"

void PemvinInitiate() {
    static std::once_flag once;
    std::call_once(once, [] {
        OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
    });
}

void PemvinFinalize() {
    // The crypto library has freed its tables itself at exit since 1.1 (its
    // EVP_cleanup is empty); nothing is left to release here.
    static std::once_flag once;
    std::call_once(once, [] {});
}

int pem_get_password(char* buf, int size, int /*rwflag*/, void* userdata) {
    auto* handler = static_cast<const PemvinPassphraseHandler*>(userdata);
    if (!handler || !*handler || !buf || size <= 0) return 0;
    std::string passphrase = (*handler)();
    if (passphrase.empty()) return 0;
    std::size_t n = std::min(passphrase.size(), static_cast<std::size_t>(size));
    std::memcpy(buf, passphrase.data(), n);
    OPENSSL_cleanse(passphrase.data(), passphrase.size());
    return static_cast<int>(n);
}

std::optional<std::string> getHexa(const unsigned char* bytes, std::size_t count) {
    if (count > 1431655764u) return std::nullopt;
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count ? count * 3 - 1 : 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out.push_back(':');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xf]);
    }
    return out;
}

namespace {
struct Curve {
    const char* name;
    int nid;
    int bits;
    const char* sshName;
};
constexpr Curve kCurves[] = {
    {"nistp256", NID_X9_62_prime256v1, 256, "ecdsa-sha2-nistp256"},
    {"nistp384", NID_secp384r1, 384, "ecdsa-sha2-nistp384"},
    {"nistp521", NID_secp521r1, 521, "ecdsa-sha2-nistp521"},
};
const Curve* curveForNid(int nid) {
    for (const Curve& c : kCurves)
        if (c.nid == nid) return &c;
    return nullptr;
}
} // namespace

int pemvin_curve_name_to_nid(std::string_view name) {
    for (const Curve& c : kCurves)
        if (name == c.name) return c.nid;
    return -1;
}

std::optional<std::string> pemvin_curve_nid_to_name(int nid) {
    if (const Curve* c = curveForNid(nid)) return std::string(c->name);
    return std::nullopt;
}

int pemvin_curve_nid_to_bits(int nid) {
    const Curve* c = curveForNid(nid);
    return c ? c->bits : 0;
}

std::string pemvin_ssh_name_from_type_nid(int nid) {
    const Curve* c = curveForNid(nid);
    return c ? c->sshName : "ssh-unknown";
}

namespace {
// The same key, its curve given by name.
PemvinPKey rebuildWithNamedCurve(const EVP_PKEY* key, int nid) {
    unsigned char pub[256];
    std::size_t pubLen = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, pub, sizeof pub, &pubLen) != 1)
        return nullptr;
    PemvinBN priv = pemvin_bnParam(key, OSSL_PKEY_PARAM_PRIV_KEY);
    PemvinParamBld bld(OSSL_PARAM_BLD_new());
    if (!bld ||
        OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, OBJ_nid2sn(nid), 0) != 1 ||
        OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, pub, pubLen) != 1 ||
        (priv && OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_PRIV_KEY, priv.get()) != 1))
        return nullptr;
    PemvinParams params(OSSL_PARAM_BLD_to_param(bld.get()));
    PemvinPKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* out = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &out, priv ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
        return nullptr;
    return PemvinPKey(out);
}
} // namespace

int pemvin_ecdsa_key_to_nid(EVP_PKEY*& key) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return -1;
    char name[80];
    std::size_t len = 0;
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name, &len) == 1) {
        int nid = OBJ_txt2nid(name);
        if (nid > 0) return nid;
    }
    // Explicit curve parameters: compare with the supported curves in order.
    OSSL_PARAM* raw = nullptr;
    if (EVP_PKEY_todata(key, EVP_PKEY_KEY_PARAMETERS, &raw) != 1) return -1;
    PemvinParams params(raw);
    PemvinGroup group(EC_GROUP_new_from_params(params.get(), nullptr, nullptr));
    if (!group) return -1;
    for (const Curve& c : kCurves) {
        PemvinGroup named(EC_GROUP_new_by_curve_name(c.nid));
        if (named && EC_GROUP_cmp(group.get(), named.get(), nullptr) == 0) {
            PemvinPKey rebuilt = rebuildWithNamedCurve(key, c.nid);
            if (!rebuilt) return -1;
            EVP_PKEY_free(key);
            key = rebuilt.release();
            return c.nid;
        }
    }
    return -1;
}
