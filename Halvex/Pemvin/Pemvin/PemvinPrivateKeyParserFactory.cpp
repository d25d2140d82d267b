#include "Pemvin/PemvinPrivateKeyParserFactory.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>

#include "Pemvin/PemvinLibsshPrivateKeyParser.h"
#include "Pemvin/PemvinOpenSSL.h"

namespace {
void setParseError(Error* error) {
    pemvin_setError(error, 1007, "Could not parse private key",
                    "Please try again or import another private key.");
}

// The bytes of a regular file; empty for anything else, without blocking on
// a FIFO or device.
std::string readRegularFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    std::string data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buf[16384];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                data.append(buf, static_cast<std::size_t>(n));
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
    }
    ::close(fd);
    return data;
}
} // namespace

EVP_PKEY* PemvinPrivateKeyParserFactory::getEVPPKey(std::string_view bytes,
                                                    const PemvinPassphraseHandler& handler, Error* error) {
    PemvinInitiate();
    PemvinBIO bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, pem_get_password,
                                                  const_cast<PemvinPassphraseHandler*>(&handler))
                        : nullptr;
    // Leave no failure behind in the thread's error queue for unrelated calls.
    ERR_clear_error();
    if (!key) setParseError(error);
    return key;
}

std::shared_ptr<PemvinPrivateKeyParser>
PemvinPrivateKeyParserFactory::parserFromBlob(std::string_view bytes, const PemvinPassphraseHandler& handler,
                                              Error* error) {
    PemvinPKey key(getEVPPKey(bytes, handler, error));
    if (!key) return nullptr;
    return PemvinPrivateKeyParser::parserFromEVPPkey(key.get(), error);
}

std::shared_ptr<PemvinPrivateKeyParser>
PemvinPrivateKeyParserFactory::parserFromFilePath(const std::string& path,
                                                  const PemvinPassphraseHandler& handler, Error* error) {
    Error pemError;
    {
        std::string bytes = readRegularFile(path);
        auto parser = parserFromBlob(bytes, handler, &pemError);
        OPENSSL_cleanse(bytes.data(), bytes.size());
        if (parser) return parser;
        // A key of a kind the PEM side does not handle fails without an error.
        if (pemError.domain.empty())
            pemError = Error(PemvinErrorDomain, 1007, "Could not parse private key",
                             "Please try again or import another private key.");
    }
    if (PemvinLibsshPrivateKeyParser::hasFallbackReader()) {
        Error fallbackError;
        auto parser = PemvinLibsshPrivateKeyParser::parserFromFilePath(path, handler, &fallbackError);
        if (error) *error = parser ? Error() : fallbackError.domain.empty() ? pemError : fallbackError;
        return parser;
    }
    // Without the transport's reader the PEM reader's failure is the answer.
    if (error) *error = pemError;
    return nullptr;
}
