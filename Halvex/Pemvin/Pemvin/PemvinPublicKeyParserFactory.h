#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Pemvin/PemvinKeyParserFactory.h"
#include "Pemvin/PemvinPublicKeyParser.h"

struct Error;

class PemvinPublicKeyParserFactory : public PemvinKeyParserFactory {
public:
    // A base64 SSH blob of key type `type` (PemvinPKI numbers): RSA 2, DSA 1,
    // ECDSA 4; other types fail with 1007.
    static std::shared_ptr<PemvinPublicKeyParser> parserFromBase64(std::string_view base64, long type,
                                                                   Error* error);
    // A one-line public key file: type word, space, base64 blob, optional
    // comment. The key type is taken from the blob itself.
    static std::shared_ptr<PemvinPublicKeyParser> parserFromFilePath(const std::string& path, Error* error);

    // The key type name inside a blob (its first string); nullopt with 1007
    // when the blob is too short.
    static std::optional<std::string> keyNameFromBase64(std::string_view base64, Error* error);
    static std::optional<std::string> keyNameFromBlob(std::string_view blob, Error* error);

    // PEM "PUBLIC KEY" text (or bare base64 lines) as a key object, caller
    // frees; nullptr with 1007.
    static EVP_PKEY* getEVPPKey(std::string_view text, Error* error);

    // PEM wrapping.
    static std::string toPEMBase64(std::string_view text);
    static std::string data2PEMBase64(std::string_view data) { return toPEMBase64(data); }
    static std::string base64WithWrapWidth(std::string_view text, std::size_t width);
};
