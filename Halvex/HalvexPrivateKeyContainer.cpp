#include "Halvex/HalvexPrivateKeyContainer.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPrivateKeyReader.h"
#include "Keychain/KeychainBackend.h"
#include "Wendle/FileHash.h"
#include "Wendle/WendleFunctions.h"

namespace {

// Key files are a few kilobytes; anything far larger is not one and is not
// read into memory.
constexpr off_t kMaxKeyFileSize = 1 << 20;

Error fileError(int err, const std::string& description) {
    return Error(HalvexPrivateKeyFileErrorDomain, err, description, std::strerror(err));
}

std::string curlyQuoted(const std::string& name) {
    return "\u201c" + name + "\u201d";
}

std::string lastComponent(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The bytes of a regular file. FIFOs, devices, folders and sockets are refused
// at once, without waiting on them.
std::optional<std::string> readRegularFile(const std::string& path, bool followLinks, Error* error) {
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW);
    int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        int err = errno;
        if (error)
            *error = fileError(err, "The file " + curlyQuoted(lastComponent(path)) + " couldn't be opened.");
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = fileError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                               curlyQuoted(lastComponent(path)) + " is not a regular file.");
        return std::nullopt;
    }
    if (st.st_size > kMaxKeyFileSize) {
        ::close(fd);
        if (error)
            *error =
                fileError(EFBIG, curlyQuoted(lastComponent(path)) + " is too large to be a private key.");
        return std::nullopt;
    }
    std::string data;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            data.append(buf, static_cast<std::size_t>(n));
            if (data.size() > static_cast<std::size_t>(kMaxKeyFileSize)) break;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0) {
            int err = errno;
            ::close(fd);
            if (error)
                *error =
                    fileError(err, "The file " + curlyQuoted(lastComponent(path)) + " couldn't be read.");
            return std::nullopt;
        } else {
            break;
        }
    }
    ::close(fd);
    OPENSSL_cleanse(buf, sizeof buf);
    return data;
}

std::string sha1Hex(const std::string& data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(data.data(), data.size(), md, &len, EVP_sha1(), nullptr) != 1) return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex.push_back(digits[md[i] >> 4]);
        hex.push_back(digits[md[i] & 0xf]);
    }
    return hex;
}

std::string homeFolder() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    const char* home = std::getenv("HOME");
    return home ? home : "/";
}

std::string dataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : homeFolder().c_str()) + "/.local/share";
}

// A plain file name: not empty, no "/", no "..", no NUL.
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
}

Error badName(const std::string& name) {
    return Error(HalvexPrivateKeyFileErrorDomain, EINVAL,
                 "The name " + curlyQuoted(name) + " can't be used for a private key.",
                 "Choose a name without \u201c/\u201d or \u201c..\u201d.");
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

HalvexPrivateKeyContainer& HalvexPrivateKeyContainer::sharedPrivateKeyContainer() {
    static HalvexPrivateKeyContainer shared(dataHome() + "/orvik/identities",
                                            dataHome() + "/orvik/.ssh/identities");
    return shared;
}

HalvexPrivateKeyContainer::HalvexPrivateKeyContainer(std::string containerPath,
                                                     std::string obsoletedContainerPath,
                                                     std::shared_ptr<KeychainBackend> backend)
    : containerPath_(std::filesystem::absolute(containerPath).lexically_normal().string()),
      obsoletedPath_(std::filesystem::absolute(obsoletedContainerPath).lexically_normal().string()),
      backend_(std::move(backend)) {
    HalvexPrivateKeyModel::registerClasses();
    while (containerPath_.size() > 1 && containerPath_.back() == '/')
        containerPath_.pop_back();
    while (obsoletedPath_.size() > 1 && obsoletedPath_.back() == '/')
        obsoletedPath_.pop_back();
    ensureFolder();
}

void HalvexPrivateKeyContainer::ensureFolder() const {
    // Intermediate folders are private too; failures show up later as an
    // empty store and failed imports.
    std::filesystem::path path(containerPath_);
    std::filesystem::path partial;
    for (const auto& part : path) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
    struct stat st {};
    if (::lstat(containerPath_.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 07777) != 0700)
        ::chmod(containerPath_.c_str(), 0700);
}

std::string HalvexPrivateKeyContainer::pathForKeyName(const std::string& name) const {
    return containerPath_ + "/" + name;
}

HalvexPrivateKeyContainer::Keys HalvexPrivateKeyContainer::privateKeys() const {
    std::lock_guard lock(keysMutex_);
    return privateKeys_;
}

std::shared_ptr<HalvexPrivateKeyModel>
HalvexPrivateKeyContainer::privateKeyWithId(const std::string& keyId) const {
    std::lock_guard lock(keysMutex_);
    auto it = privateKeys_.find(keyId);
    return it == privateKeys_.end() ? nullptr : it->second;
}

std::optional<std::string> HalvexPrivateKeyContainer::importAtPath(const std::string& path, Error* error) {
    std::string source = std::filesystem::absolute(path).lexically_normal().string();
    std::string name = lastComponent(source);
    if (!isPlainName(name)) {
        if (error) *error = badName(name);
        return std::nullopt;
    }
    Error local;
    auto bytes = readRegularFile(source, true, &local);
    if (!bytes) {
        if (error) *error = local;
        return std::nullopt;
    }
    std::string keyId = sha1Hex(*bytes);
    if (keyId.empty()) {
        if (error) *error = fileError(EIO, "The file " + curlyQuoted(name) + " couldn't be read.");
        return std::nullopt;
    }
    if (auto existing = privateKeyWithId(keyId)) {
        if (error)
            *error = Error(HalvexPrivateKeyImporterErrorDomain, -1, "Failed to import private key",
                           "A identical private key " + curlyQuoted(existing->key_name()) +
                               " has been found during importing.");
        return std::nullopt;
    }

    // Created exclusively and private from the first moment: never over
    // another file, never readable by others.
    ensureFolder();
    std::string destName = name;
    int fd = -1;
    for (long n = 1;; ++n) {
        fd = ::open(pathForKeyName(destName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
        if (fd >= 0 || errno != EEXIST) break;
        destName = name + " (" + std::to_string(n) + ")";
    }
    if (fd < 0) {
        int err = errno;
        if (error)
            *error = fileError(err, curlyQuoted(name) + " couldn't be copied into the private key store.");
        return std::nullopt;
    }
    std::string destPath = pathForKeyName(destName);
    auto fail = [&](Error e) {
        ::close(fd);
        ::unlink(destPath.c_str());
        if (error) *error = std::move(e);
        return std::nullopt;
    };
    if (::fchmod(fd, 0600) != 0)
        return fail(fileError(errno, "The permissions of " + curlyQuoted(destName) + " couldn't be set."));
    bool written = writeAll(fd, *bytes) && ::fsync(fd) == 0;
    int err = errno;
    OPENSSL_cleanse(bytes->data(), bytes->size());
    if (!written)
        return fail(fileError(err, curlyQuoted(name) + " couldn't be copied into the private key store."));
    ::close(fd);

    HalvexPrivateKeyModel model(keyId, destName);
    Error invalid;
    if (!validatePrivateKey(model, &invalid)) {
        ::unlink(destPath.c_str());
        if (invalid.domain.empty())
            invalid = Error(PemvinErrorDomain, 1007, "Could not parse private key",
                            "Please try again or import another private key.");
        if (error) *error = invalid;
        return std::nullopt;
    }
    return keyId;
}

std::optional<std::string> HalvexPrivateKeyContainer::importAtURL(const std::string& fileURL, Error* error) {
    std::string_view rest(fileURL);
    std::string path;
    if (rest.starts_with("file://")) {
        rest.remove_prefix(7);
        // An empty authority or "localhost" names this machine.
        if (rest.starts_with("localhost/")) rest.remove_prefix(9);
        for (std::size_t i = 0; i < rest.size(); ++i) {
            auto hex = [](char c) {
                return c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
            };
            if (rest[i] == '%' && i + 2 < rest.size() && hex(rest[i + 1]) >= 0 && hex(rest[i + 2]) >= 0) {
                path.push_back(static_cast<char>(hex(rest[i + 1]) * 16 + hex(rest[i + 2])));
                i += 2;
            } else {
                path.push_back(rest[i]);
            }
        }
    }
    if (!path.starts_with("/") || path.find('\0') != std::string::npos) {
        if (error) *error = fileError(EINVAL, curlyQuoted(fileURL) + " is not a file URL.");
        return std::nullopt;
    }
    return importAtPath(path, error);
}

bool HalvexPrivateKeyContainer::validatePrivateKey(HalvexPrivateKeyModel& model, Error* error) {
    if (model.key_id().empty()) return false;
    model.setEncrypted(false);
    model.setIn_keychain(false);
    auto helper = HalvexAuthHelper::makeWithPrivateKey(model, backend_);
    PemvinPassphraseHandler handler = [&] {
        model.setEncrypted(true);
        std::string passphrase = helper ? helper->token() : std::string();
        if (!passphrase.empty()) model.setIn_keychain(true);
        return passphrase;
    };
    Error parseError;
    auto parser = HalvexReadPrivateKey(pathForKeyName(model.key_name()), handler, &parseError);
    bool valid = parser || model.encrypted();
    if (error) *error = valid ? Error() : parseError;
    return valid;
}

std::vector<std::string> HalvexPrivateKeyContainer::regularFilesIn(const std::string& folder) const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    int dfd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::faccessat(dfd, name.c_str(), R_OK, 0) != 0) continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void HalvexPrivateKeyContainer::refreshCache() {
    willChangeValueForKey("privateKeys");
    Keys fresh;
    for (const std::string& name : regularFilesIn(containerPath_)) {
        std::string keyId = FileHash::sha1HashOfFileAtPath(pathForKeyName(name)).value_or(std::string());
        if (keyId.empty()) continue;
        auto model = std::make_shared<HalvexPrivateKeyModel>(keyId, name);
        if (validatePrivateKey(*model, nullptr)) fresh[keyId] = model;
    }
    {
        std::lock_guard lock(keysMutex_);
        privateKeys_.swap(fresh);
    }
    didChangeValueForKey("privateKeys");
}

std::optional<Error> HalvexPrivateKeyContainer::renamePrivateKey(const std::string& currentName,
                                                                 const std::string& newName) {
    if (!isPlainName(newName)) return badName(newName);
    if (!isPlainName(currentName)) return badName(currentName);
    if (currentName == newName) return std::nullopt;
    std::string from = pathForKeyName(currentName);
    std::string to = pathForKeyName(newName);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return std::nullopt;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // A file system without no-replace renames: a hard link also
        // refuses to replace.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return std::nullopt;
        }
        err = errno;
    }
    if (err == EEXIST)
        return Error(HalvexPrivateKeyFileErrorDomain, EEXIST,
                     "A private key named " + curlyQuoted(newName) + " already exists.",
                     "Choose another name.");
    return fileError(err, curlyQuoted(currentName) + " couldn't be renamed.");
}

std::optional<Error> HalvexPrivateKeyContainer::deletePrivateKeyWithId(const std::string& keyId) {
    auto model = privateKeyWithId(keyId);
    if (!model) return std::nullopt;
    if (!isPlainName(model->key_name())) return badName(model->key_name());
    if (::unlink(pathForKeyName(model->key_name()).c_str()) != 0)
        return fileError(errno, curlyQuoted(model->key_name()) + " couldn't be removed.");
    return std::nullopt;
}

bool HalvexPrivateKeyContainer::removePassphraseFromKeychainForPrivateKeyId(const std::string& keyId) {
    auto model = privateKeyWithId(keyId);
    if (!model) return false;
    auto helper = HalvexAuthHelper::makeWithPrivateKey(*model, backend_);
    return helper && helper->deleteItem();
}

bool HalvexPrivateKeyContainer::storePassphraseToKeychainForPrivateKeyId(const std::string& keyId,
                                                                         HalvexPrivateKeyWindow& window) {
    auto model = privateKeyWithId(keyId);
    if (!model) return false;
    auto helper = HalvexAuthHelper::makeWithPrivateKey(*model, backend_);
    if (!helper) return false;
    std::string passphrase = helper->token();
    bool cancelled = false;
    PemvinPassphraseHandler handler = [&] {
        // One cancel answers every later question of the same load.
        if (!passphrase.empty() || cancelled) return passphrase;
        HalvexPrivateKeyWindow::PassphraseSheet sheet;
        sheet.message = "Enter the passphrase for private key " + curlyQuoted(model->key_name());
        sheet.informative =
            "The passhrase will be remembered to keychain, Brimble SSH keeps your passphrase secure.";
        sheet.placeholder = "Leave blank for runtime prompt";
        std::string typed;
        if (window.askPassphrase(sheet, typed) == 1000) {
            passphrase = typed;
            cancelled = false;
        } else {
            cancelled = true;
        }
        return passphrase;
    };
    Error parseError;
    auto parser = HalvexReadPrivateKey(pathForKeyName(model->key_name()), handler, &parseError);
    if (parser) {
        if (!passphrase.empty()) {
            Error writeError;
            if (!helper->setToken(passphrase, &writeError)) {
                // Nothing was stored: say so rather than claim the key is kept.
                model->setEncrypted(true);
                model->setIn_keychain(false);
                window.showError(writeError);
                return false;
            }
        }
        model->setEncrypted(!passphrase.empty());
        model->setIn_keychain(!passphrase.empty());
        return true;
    }
    if (cancelled) {
        model->setEncrypted(true);
        model->setIn_keychain(false);
        return true;
    }
    window.showError(parseError);
    return false;
}

void HalvexPrivateKeyContainer::migratePrivateKeyContainer() {
    for (const std::string& name : regularFilesIn(obsoletedPath_)) {
        std::string path = obsoletedPath_ + "/" + name;
        Error error;
        auto keyId = importAtPath(path, &error);
        if (keyId && !keyId->empty()) {
            ::unlink(path.c_str());
            refreshCache();
        }
    }
}

void HalvexPrivateKeyContainer::importPrivateKeys(
    HalvexPrivateKeyWindow& window,
    std::function<void(long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>>)> completion) {
    HalvexPrivateKeyWindow::OpenPanel panel;
    panel.title = "Import Private Key files";
    panel.prompt = "Import";
    panel.message = "Please choose private key (aka identity) files:";
    std::string home = WendleGetUserRealHomePath();
    panel.directory = (home.empty() ? homeFolder() : home) + "/.ssh";
    window.chooseFiles(panel, [this, &window, completion = std::move(completion)](
                                  long response, std::vector<std::string> paths) {
        std::vector<std::shared_ptr<HalvexPrivateKeyModel>> models;
        std::vector<Error> errors;
        if (response == 1) {
            std::vector<std::string> ids;
            for (const std::string& path : paths) {
                Error error;
                if (auto id = importAtPath(path, &error))
                    ids.push_back(*id);
                else
                    errors.push_back(error);
            }
            refreshCache();
            for (const std::string& id : ids)
                if (auto model = privateKeyWithId(id)) models.push_back(model);
        }
        if (completion) completion(response, models);
        // The alerts come after the panel's completion has run.
        for (const Error& error : errors)
            window.showError(error);
    });
}

void HalvexPrivateKeyContainer::importPrivateKeyWithSheetModalForWindow(
    HalvexPrivateKeyWindow& window,
    std::function<void(long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>>)> completion) {
    sharedPrivateKeyContainer().importPrivateKeys(window, std::move(completion));
}
