#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Pemvin/Pemvin.h"
#include "Pemvin/PemvinPrivateKeyParser.h"

// A private key that only the SSH transport's own reader could read (an
// OpenSSH-format key, for instance): `libsshParser` is set, every other
// property stays empty.
//
// The key library does not link the transport; the engine registers the
// transport's reader with setFallbackReader at start-up.
class PemvinLibsshPrivateKeyParser : public PemvinPrivateKeyParser {
public:
    // Reads the key at `path`, asking `handler` for its passphrase; nullptr
    // with `error` filled when it cannot.
    using FallbackReader = std::function<std::shared_ptr<HalvexPrivateKeyParser>(
        const std::string& path, const PemvinPassphraseHandler& handler, Error* error)>;

    static void setFallbackReader(FallbackReader reader);
    static bool hasFallbackReader();

    // A parser around the fallback reader's object, or nullptr (the reader's
    // error stands; without a registered reader, nullptr and no change).
    static std::shared_ptr<PemvinLibsshPrivateKeyParser>
    parserFromFilePath(const std::string& path, const PemvinPassphraseHandler& handler, Error* error);

private:
    PemvinLibsshPrivateKeyParser() = default;
};
