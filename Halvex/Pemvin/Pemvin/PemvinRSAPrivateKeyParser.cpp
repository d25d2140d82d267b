#include "Pemvin/PemvinRSAPrivateKeyParser.h"

#include "Pemvin/PemvinOpenSSL.h"
#include "Pemvin/PemvinRSAPublicKeyParser.h"

std::shared_ptr<PemvinRSAPrivateKeyParser> PemvinRSAPrivateKeyParser::make(EVP_PKEY* key, Error* error) {
    auto publicKey = PemvinRSAPublicKeyParser::make(key, error);
    if (!publicKey) return nullptr;
    std::shared_ptr<PemvinRSAPrivateKeyParser> parser(new PemvinRSAPrivateKeyParser);
    EVP_PKEY_up_ref(key);
    parser->adopt(key, std::move(publicKey));
    return parser;
}
