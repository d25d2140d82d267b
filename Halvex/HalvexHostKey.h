#pragma once

#include <string>

// A server's host key as the known-host checks need it: the key blob in
// base64, the SSH library's key-type number, the fingerprint and the type name
// shown to the user. The SSH layer's host-key parser converts with
// HalvexHostKey::of(parser).
struct HalvexHostKey {
    std::string base64;
    long keyType = 0;
    std::string fingerprint;
    std::string typeName;

    // Any parser offering base64(), keyType(), fingerprint() and typeName().
    template <class Parser>
    static HalvexHostKey of(const Parser& parser) {
        return {parser.base64(), static_cast<long>(parser.keyType()), parser.fingerprint(),
                parser.typeName()};
    }

    friend bool operator==(const HalvexHostKey&, const HalvexHostKey&) = default;
};
