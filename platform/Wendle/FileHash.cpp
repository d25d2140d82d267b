#include "Wendle/FileHash.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::nullopt_t fail(Error* error, int code, const std::string& path, const std::string& what) {
    if (error)
        *error =
            Error("NSPOSIXErrorDomain", code, "The file \"" + path + "\" could not be read: " + what + ".");
    return std::nullopt;
}

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

} // namespace

std::optional<std::string> FileHash::sha1HashOfFileAtPath(const std::string& path, Error* error) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        int code = errno;
        return fail(error, code, path, std::strerror(code));
    }
    FdCloser closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int code = errno;
        return fail(error, code, path, std::strerror(code));
    }
    if (S_ISDIR(info.st_mode)) return fail(error, EISDIR, path, "it is a folder");
    if (!S_ISREG(info.st_mode)) return fail(error, EINVAL, path, "it is not a regular file");

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1)
        return fail(error, ENOMEM, path, "no digest available");
    char buffer[64 * 1024];
    while (true) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            return fail(error, code, path, std::strerror(code));
        }
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), buffer, static_cast<std::size_t>(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0xF];
    }
    return text;
}
