#pragma once

#include "Foundation/Error.h"

#include <optional>
#include <string>

// SHA-1 of a file's bytes: a private key's identity in the key store.
class FileHash {
public:
    // Forty lowercase hex digits, or nullopt with an error (domain
    // "NSPOSIXErrorDomain", code the errno) when the file cannot be read.
    // Only regular files are hashed: a FIFO, device or folder is refused at
    // once, so a hostile path can never block the caller or read forever.
    static std::optional<std::string> sha1HashOfFileAtPath(const std::string& path, Error* error = nullptr);
};
