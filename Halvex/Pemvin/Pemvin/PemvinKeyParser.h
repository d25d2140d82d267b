#pragma once

#include <optional>
#include <string>

#include <openssl/types.h>

// A key read by the key library. Its properties are set while it is made and
// never change afterwards, so a parser may be read from any thread.
class PemvinKeyParser {
public:
    virtual ~PemvinKeyParser() = default;
    PemvinKeyParser(const PemvinKeyParser&) = delete;
    PemvinKeyParser& operator=(const PemvinKeyParser&) = delete;

    // Private parsers: the key's unencrypted PEM text; public parsers: base64
    // of the SSH public-key blob. Empty when there is none.
    const std::string& base64() const { return base64_; }
    // MD5 of the SSH public-key blob, 16 lower-case hex pairs joined by ":".
    const std::string& fingerprint() const { return fingerprint_; }
    // RSA modulus bits, DSA prime bits, ECDSA 256, 384 or 521.
    long keySize() const { return keySize_; }
    bool isPrivateKey() const { return isPrivateKey_; }
    void setIsPrivateKey(bool value) { isPrivateKey_ = value; }
    long encryptionType() const { return 0; }

    virtual std::optional<std::string> dataValue() const { return std::nullopt; }
    // A new memory stream holding the key in PEM; the caller frees it.
    virtual BIO* getBio() const { return nullptr; }
    virtual std::optional<std::string> getBase64() const { return std::nullopt; }
    // The whole PEM text of getBio().
    std::optional<std::string> getPEMBase64() const;

protected:
    PemvinKeyParser() = default;

    std::string base64_;
    std::string fingerprint_;
    long keySize_ = 0;
    bool isPrivateKey_ = false;
};
