#include "Pemvin/PemvinECDSAPrivateKeyParser.h"

#include "Pemvin/PemvinECDSAPublicKeyParser.h"
#include "Pemvin/PemvinOpenSSL.h"

std::shared_ptr<PemvinECDSAPrivateKeyParser> PemvinECDSAPrivateKeyParser::make(EVP_PKEY* key, Error* error) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) {
        pemvin_setError(error, 5000, "It's not a valid ECDSA public key.");
        return nullptr;
    }
    PemvinPKey copy(EVP_PKEY_dup(key));
    if (!copy) {
        pemvin_setError(error, 5000, "Init ECDSA public key fail.");
        return nullptr;
    }
    EVP_PKEY* raw = copy.release();
    int nid = pemvin_ecdsa_key_to_nid(raw);
    copy.reset(raw);
    auto publicKey = PemvinECDSAPublicKeyParser::make(copy.get(), error);
    if (!publicKey) return nullptr;
    std::shared_ptr<PemvinECDSAPrivateKeyParser> parser(new PemvinECDSAPrivateKeyParser);
    parser->nid_ = nid;
    parser->adopt(copy.release(), std::move(publicKey));
    return parser;
}
