#include "Pemvin/PemvinPublicKeyParser.h"

#include <openssl/pem.h>

#include "Pemvin/PemvinDSAPublicKeyParser.h"
#include "Pemvin/PemvinData.h"
#include "Pemvin/PemvinECDSAPublicKeyParser.h"
#include "Pemvin/PemvinOpenSSL.h"
#include "Pemvin/PemvinRSAPublicKeyParser.h"

PemvinPublicKeyParser::~PemvinPublicKeyParser() {
    EVP_PKEY_free(key_);
}

std::shared_ptr<PemvinPublicKeyParser> PemvinPublicKeyParser::parserFromEVPPkey(EVP_PKEY* key, Error* error) {
    switch (key ? EVP_PKEY_get_base_id(key) : EVP_PKEY_NONE) {
    case EVP_PKEY_RSA:
        return PemvinRSAPublicKeyParser::make(key, error);
    case EVP_PKEY_DSA:
    case EVP_PKEY_DSA1:
    case EVP_PKEY_DSA2:
    case EVP_PKEY_DSA3:
    case EVP_PKEY_DSA4:
        return PemvinDSAPublicKeyParser::make(key, error);
    case EVP_PKEY_EC:
        return PemvinECDSAPublicKeyParser::make(key, error);
    default:
        pemvin_setError(error, 1007, "Could not parse public key",
                        "Please try again or import another public key.");
        return nullptr;
    }
}

void PemvinPublicKeyParser::adopt(EVP_PKEY* key, std::string blob, long bits) {
    key_ = key;
    blob_ = std::move(blob);
    keySize_ = bits;
    base64_ = getSSHBase64();
    fingerprint_ = getFingerprint();
}

std::string PemvinPublicKeyParser::getSSHBase64() const {
    return pemvin_base64Encode(blob_);
}

std::string PemvinPublicKeyParser::getFingerprint() const {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(blob_.data(), blob_.size(), md, &len, EVP_md5(), nullptr) != 1) return {};
    return getHexa(md, len).value_or(std::string());
}

BIO* PemvinPublicKeyParser::getBio() const {
    PemvinBIO bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), key_) != 1) return nullptr;
    return bio.release();
}
