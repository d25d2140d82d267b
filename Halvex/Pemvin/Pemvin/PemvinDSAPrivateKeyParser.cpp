#include "Pemvin/PemvinDSAPrivateKeyParser.h"

#include "Pemvin/PemvinDSAPublicKeyParser.h"
#include "Pemvin/PemvinOpenSSL.h"

std::shared_ptr<PemvinDSAPrivateKeyParser> PemvinDSAPrivateKeyParser::make(EVP_PKEY* key, Error* error) {
    auto publicKey = PemvinDSAPublicKeyParser::make(key, error);
    if (!publicKey) return nullptr;
    std::shared_ptr<PemvinDSAPrivateKeyParser> parser(new PemvinDSAPrivateKeyParser);
    EVP_PKEY_up_ref(key);
    parser->adopt(key, std::move(publicKey));
    return parser;
}
