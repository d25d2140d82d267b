#include "Pemvin/PemvinPublicKeyParserFactory.h"

#include <fstream>
#include <sstream>

#include <openssl/err.h>
#include <openssl/pem.h>

#include "Pemvin/PemvinDSAPublicKeyParser.h"
#include "Pemvin/PemvinData.h"
#include "Pemvin/PemvinECDSAPublicKeyParser.h"
#include "Pemvin/PemvinOpenSSL.h"
#include "Pemvin/PemvinPKI.h"
#include "Pemvin/PemvinRSAPublicKeyParser.h"

namespace {
void setParseError(Error* error) {
    pemvin_setError(error, 1007, "Could not parse public key",
                    "Please try again or import another public key.");
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}
} // namespace

std::shared_ptr<PemvinPublicKeyParser>
PemvinPublicKeyParserFactory::parserFromBase64(std::string_view base64, long type, Error* error) {
    switch (type) {
    case PemvinPKI::RSA:
        return PemvinRSAPublicKeyParser::parserSSHBase64(base64, error);
    case PemvinPKI::DSA:
        return PemvinDSAPublicKeyParser::parserSSHBase64(base64, error);
    case PemvinPKI::ECDSA:
        return PemvinECDSAPublicKeyParser::parserSSHBase64(base64, error);
    default:
        setParseError(error);
        return nullptr;
    }
}

std::shared_ptr<PemvinPublicKeyParser>
PemvinPublicKeyParserFactory::parserFromFilePath(const std::string& path, Error* error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    std::size_t space = content.find(' ');
    if (space == std::string::npos) {
        setParseError(error);
        return nullptr;
    }
    std::string_view rest = std::string_view(content).substr(space + 1);
    std::size_t end = rest.find_first_of(" \r\n");
    std::string_view blob64 = rest.substr(0, end);
    auto name = keyNameFromBase64(blob64, error);
    if (!name) return nullptr;
    return parserFromBase64(blob64, PemvinPKI::keyTypeFromName(name), error);
}

std::optional<std::string> PemvinPublicKeyParserFactory::keyNameFromBase64(std::string_view base64,
                                                                           Error* error) {
    return keyNameFromBlob(pemvin_base64Decode(base64), error);
}

std::optional<std::string> PemvinPublicKeyParserFactory::keyNameFromBlob(std::string_view blob,
                                                                         Error* error) {
    std::size_t cursor = 0;
    auto name = readBlockData(blob, cursor);
    if (!name) {
        setParseError(error);
        return std::nullopt;
    }
    return std::string(*name);
}

EVP_PKEY* PemvinPublicKeyParserFactory::getEVPPKey(std::string_view text, Error* error) {
    PemvinInitiate();
    std::string pem = data2PEMBase64(text);
    PemvinBIO bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    EVP_PKEY* key = bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    ERR_clear_error();
    if (!key) setParseError(error);
    return key;
}

std::string PemvinPublicKeyParserFactory::toPEMBase64(std::string_view text) {
    std::string out = "-----BEGIN PUBLIC KEY-----\n";
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t nl = text.find('\n', start);
        std::string_view line =
            text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        start = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        line = trimmed(line);
        if (line.empty() || line.starts_with("----") || line.find(':') != std::string_view::npos) continue;
        std::size_t space = line.find(' ');
        if (space != std::string_view::npos) line = line.substr(space + 1);
        out += base64WithWrapWidth(line, 64);
        out += '\n';
    }
    out += "-----END PUBLIC KEY-----";
    return out;
}

std::string PemvinPublicKeyParserFactory::base64WithWrapWidth(std::string_view text, std::size_t width) {
    width -= width % 4;
    if (width == 0 || text.size() <= width) return std::string(text);
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += width) {
        if (i) out += '\n';
        out += text.substr(i, width);
    }
    return out;
}
