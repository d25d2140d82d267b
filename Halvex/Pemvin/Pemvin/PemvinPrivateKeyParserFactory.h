#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Pemvin/Pemvin.h"
#include "Pemvin/PemvinKeyParserFactory.h"
#include "Pemvin/PemvinPrivateKeyParser.h"

struct Error;

class PemvinPrivateKeyParserFactory : public PemvinKeyParserFactory {
public:
    // Reads the private key file at `path`: PEM (RSA, DSA, ECDSA; traditional
    // or PKCS#8, encrypted or not) first, then the registered fallback reader.
    // Only a regular file is read; anything else reads as empty. The handler
    // may be asked twice for one load.
    static std::shared_ptr<PemvinPrivateKeyParser>
    parserFromFilePath(const std::string& path, const PemvinPassphraseHandler& handler, Error* error);

    // The PEM key in `bytes` as an RSA, DSA or ECDSA parser, or nullptr.
    static std::shared_ptr<PemvinPrivateKeyParser>
    parserFromBlob(std::string_view bytes, const PemvinPassphraseHandler& handler, Error* error);

    // The PEM key in `bytes` as a key object (the caller frees it), or nullptr
    // with error 1007.
    static EVP_PKEY* getEVPPKey(std::string_view bytes, const PemvinPassphraseHandler& handler, Error* error);
};
