#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Pemvin/PemvinKeyParser.h"
#include "Pemvin/PemvinPublicKeyParser.h"

struct Error;
// The SSH transport's own private-key reader, used for keys the PEM reader
// rejects (see PemvinLibsshPrivateKeyParser).
class HalvexPrivateKeyParser;

// A private key. RSA, DSA and ECDSA parsers hold the key object and its public
// parser; the fallback parser holds only the transport reader's object.
class PemvinPrivateKeyParser : public PemvinKeyParser {
public:
    ~PemvinPrivateKeyParser() override;

    // A parser for an RSA, DSA or EC key object (the parser keeps its own
    // reference or copy); nullptr without an error for other kinds.
    static std::shared_ptr<PemvinPrivateKeyParser> parserFromEVPPkey(EVP_PKEY* key, Error* error);

    const std::shared_ptr<PemvinPublicKeyParser>& publicKeyParser() const { return publicKeyParser_; }
    const std::shared_ptr<HalvexPrivateKeyParser>& libsshParser() const { return libsshParser_; }

    // The key as unencrypted traditional PEM.
    std::optional<std::string> dataValue() const override { return dataValue(std::string_view()); }
    // The key as traditional PEM, encrypted with AES-128-CBC under a non-empty
    // passphrase; nullopt for a passphrase of 1 to 4 bytes or a failed write.
    std::optional<std::string> dataValue(std::string_view passphrase) const;
    // A new memory stream with the unencrypted traditional PEM; caller frees.
    BIO* getBio() const override;
    std::optional<std::string> getBase64() const override { return getPEMBase64(); }

    // The key object, owned by the parser (null for the fallback parser).
    EVP_PKEY* key() const { return key_; }

protected:
    PemvinPrivateKeyParser() = default;
    // Takes over one reference to `key`, keeps `publicKey` and fills the
    // properties.
    void adopt(EVP_PKEY* key, std::shared_ptr<PemvinPublicKeyParser> publicKey);

    EVP_PKEY* key_ = nullptr;
    std::shared_ptr<PemvinPublicKeyParser> publicKeyParser_;
    std::shared_ptr<HalvexPrivateKeyParser> libsshParser_;
};
