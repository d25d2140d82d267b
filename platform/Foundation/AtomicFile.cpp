#include "Foundation/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

int writeFileAtomically(const std::string& path, std::string_view data, mode_t mode,
                        const char** failedStep) {
    auto fail = [&](int err, const char* step) {
        if (failedStep) *failedStep = step;
        return err;
    };
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return fail(errno, "create a temporary file beside");
    int err = 0;
    const char* step = nullptr;
    // The mode is set before any byte is written, so a secret never sits in a
    // file that others may read.
    if (::fchmod(fd, mode) != 0) err = errno, step = "set the mode of";
    std::size_t done = 0;
    while (err == 0 && done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno != EINTR) err = errno, step = "write";
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno, step = "flush";
    if (::close(fd) != 0 && err == 0) err = errno, step = "close";
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno, step = "replace";
    if (err != 0) {
        ::unlink(tmp.c_str());
        return fail(err, step);
    }
    // The rename is only durable once the folder is on disk too.
    std::string dir = std::filesystem::path(path).parent_path().string();
    int dirfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return 0;
}
