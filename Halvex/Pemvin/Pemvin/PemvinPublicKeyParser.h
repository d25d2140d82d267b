#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Pemvin/PemvinKeyParser.h"

struct Error;

// A public key with its SSH public-key blob. Made only through the factories
// and the subclasses' make functions, which fail rather than give a wrong blob.
class PemvinPublicKeyParser : public PemvinKeyParser {
public:
    ~PemvinPublicKeyParser() override;

    // The base class reads no blob; the subclasses do.
    static std::shared_ptr<PemvinPublicKeyParser> parserSSHBase64(std::string_view, Error*) {
        return nullptr;
    }
    // A parser for an RSA, DSA or EC key object (the parser takes its own
    // reference); nullptr with an error for other kinds.
    static std::shared_ptr<PemvinPublicKeyParser> parserFromEVPPkey(EVP_PKEY* key, Error* error);

    // The SSH public-key blob.
    std::optional<std::string> dataValue() const override { return blob_; }
    const std::string& blob() const { return blob_; }
    // Base64 of the blob without line breaks.
    std::string getSSHBase64() const;
    std::optional<std::string> getBase64() const override { return getSSHBase64(); }
    // MD5 of the blob, "xx:xx:...".
    std::string getFingerprint() const;
    // A new memory stream with the key in PEM: RSA as "RSA PUBLIC KEY",
    // DSA and EC as "PUBLIC KEY". The caller frees it.
    BIO* getBio() const override;

    // The key object, owned by the parser.
    EVP_PKEY* key() const { return key_; }

protected:
    PemvinPublicKeyParser() = default;
    // Takes over one reference to `key` and fills the properties from `blob`.
    void adopt(EVP_PKEY* key, std::string blob, long bits);

    EVP_PKEY* key_ = nullptr;
    std::string blob_;
};
