#pragma once

#include <optional>
#include <string>

// Key type numbers and their names.
class PemvinPKI {
public:
    enum KeyType : long { Unknown = 0, DSA = 1, RSA = 2, RSA1 = 3, ECDSA = 4 };

    static long keyTypeFromName(const std::optional<std::string>& name);
    static std::optional<std::string> nameFromKeyType(long type);
};
