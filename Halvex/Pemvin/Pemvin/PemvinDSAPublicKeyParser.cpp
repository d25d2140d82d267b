#include "Pemvin/PemvinDSAPublicKeyParser.h"

#include <openssl/core_names.h>

#include "Pemvin/PemvinData.h"
#include "Pemvin/PemvinOpenSSL.h"

namespace {
const char* kInvalid = "It's not a valid DSA public key.";
const char* kParams[] = {OSSL_PKEY_PARAM_FFC_P, OSSL_PKEY_PARAM_FFC_Q, OSSL_PKEY_PARAM_FFC_G,
                         OSSL_PKEY_PARAM_PUB_KEY};
} // namespace

std::shared_ptr<PemvinDSAPublicKeyParser> PemvinDSAPublicKeyParser::make(EVP_PKEY* key, Error* error) {
    if (!key || !EVP_PKEY_is_a(key, "DSA")) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    std::string blob;
    appendBlockData(blob, "ssh-dss");
    long bits = 0;
    for (const char* name : kParams) {
        PemvinBN bn = pemvin_bnParam(key, name);
        if (!bn) {
            pemvin_setError(error, 5000, kInvalid);
            return nullptr;
        }
        if (name == kParams[0]) bits = BN_num_bits(bn.get());
        if (!appendBigNum(blob, bn.get())) {
            pemvin_setError(error, 5000, "The DSA key is too large for an SSH public key.");
            return nullptr;
        }
    }
    std::shared_ptr<PemvinDSAPublicKeyParser> parser(new PemvinDSAPublicKeyParser);
    EVP_PKEY_up_ref(key);
    parser->adopt(key, std::move(blob), bits);
    return parser;
}

std::shared_ptr<PemvinDSAPublicKeyParser> PemvinDSAPublicKeyParser::parserSSHBase64(std::string_view base64,
                                                                                    Error* error) {
    std::string data = pemvin_base64Decode(base64);
    std::size_t cursor = 0;
    PemvinParamBld bld(OSSL_PARAM_BLD_new());
    PemvinBN numbers[4];
    bool ok = bld && readBlockData(data, cursor);
    for (int i = 0; ok && i < 4; ++i) {
        auto block = readBlockData(data, cursor);
        if (block) numbers[i] = pemvin_bnFromBytes(*block);
        ok = numbers[i] && OSSL_PARAM_BLD_push_BN(bld.get(), kParams[i], numbers[i].get()) == 1;
    }
    PemvinPKey key = ok ? pemvin_keyFromParams("DSA", bld.get(), EVP_PKEY_PUBLIC_KEY) : nullptr;
    if (!key) {
        pemvin_setError(error, 5000, kInvalid);
        return nullptr;
    }
    return make(key.get(), error);
}
