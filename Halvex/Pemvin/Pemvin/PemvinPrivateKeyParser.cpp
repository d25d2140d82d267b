#include "Pemvin/PemvinPrivateKeyParser.h"

#include <openssl/pem.h>

#include "Pemvin/PemvinDSAPrivateKeyParser.h"
#include "Pemvin/PemvinECDSAPrivateKeyParser.h"
#include "Pemvin/PemvinOpenSSL.h"
#include "Pemvin/PemvinRSAPrivateKeyParser.h"

PemvinPrivateKeyParser::~PemvinPrivateKeyParser() {
    EVP_PKEY_free(key_);
}

std::shared_ptr<PemvinPrivateKeyParser> PemvinPrivateKeyParser::parserFromEVPPkey(EVP_PKEY* key,
                                                                                  Error* error) {
    switch (key ? EVP_PKEY_get_base_id(key) : EVP_PKEY_NONE) {
    case EVP_PKEY_RSA:
        return PemvinRSAPrivateKeyParser::make(key, error);
    case EVP_PKEY_DSA:
    case EVP_PKEY_DSA1:
    case EVP_PKEY_DSA2:
    case EVP_PKEY_DSA3:
    case EVP_PKEY_DSA4:
        return PemvinDSAPrivateKeyParser::make(key, error);
    case EVP_PKEY_EC:
        return PemvinECDSAPrivateKeyParser::make(key, error);
    default:
        return nullptr;
    }
}

void PemvinPrivateKeyParser::adopt(EVP_PKEY* key, std::shared_ptr<PemvinPublicKeyParser> publicKey) {
    key_ = key;
    publicKeyParser_ = std::move(publicKey);
    base64_ = getBase64().value_or(std::string());
    keySize_ = publicKeyParser_->keySize();
    fingerprint_ = publicKeyParser_->fingerprint();
}

std::optional<std::string> PemvinPrivateKeyParser::dataValue(std::string_view passphrase) const {
    if (!key_) return std::nullopt;
    if (!passphrase.empty() && passphrase.size() < 5) return std::nullopt;
    PemvinBIO bio(BIO_new(BIO_s_mem()));
    if (!bio) return std::nullopt;
    int ok;
    if (passphrase.empty()) {
        ok = PEM_write_bio_PrivateKey_traditional(bio.get(), key_, nullptr, nullptr, 0, nullptr, nullptr);
    } else {
        std::string pass(passphrase);
        ok = PEM_write_bio_PrivateKey_traditional(bio.get(), key_, EVP_aes_128_cbc(),
                                                  reinterpret_cast<unsigned char*>(pass.data()),
                                                  static_cast<int>(pass.size()), nullptr, nullptr);
        OPENSSL_cleanse(pass.data(), pass.size());
    }
    std::string pem = ok == 1 ? pemvin_bioContents(bio.get()) : std::string();
    if (pem.empty()) return std::nullopt;
    return pem;
}

BIO* PemvinPrivateKeyParser::getBio() const {
    if (!key_) return nullptr;
    PemvinBIO bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PrivateKey_traditional(bio.get(), key_, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return nullptr;
    return bio.release();
}
