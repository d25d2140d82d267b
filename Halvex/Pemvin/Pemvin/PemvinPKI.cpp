#include "Pemvin/PemvinPKI.h"

long PemvinPKI::keyTypeFromName(const std::optional<std::string>& name) {
    if (!name) return Unknown;
    const std::string& n = *name;
    if (n == "rsa1" || n == "ssh-rsa1") return RSA1;
    if (n == "rsa" || n == "ssh-rsa") return RSA;
    if (n == "dsa" || n == "ssh-dss") return DSA;
    if (n == "ssh-ecdsa" || n == "ecdsa" || n == "ecdsa-sha2-nistp256" || n == "ecdsa-sha2-nistp384" ||
        n == "ecdsa-sha2-nistp521")
        return ECDSA;
    return Unknown;
}

std::optional<std::string> PemvinPKI::nameFromKeyType(long type) {
    switch (type) {
    case DSA:
        return "ssh-dss";
    case RSA:
        return "ssh-rsa";
    case RSA1:
        return "ssh-rsa1";
    case ECDSA:
        return "ssh-ecdsa";
    default:
        return std::nullopt;
    }
}
