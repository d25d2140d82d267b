#include "Halvex/HalvexPrivateKeyReader.h"

#include "HalvexCore/HalvexPrivateKeyParser.h"
#include "Pemvin/PemvinLibsshPrivateKeyParser.h"
#include "Pemvin/PemvinPrivateKeyParserFactory.h"

#include <mutex>

std::shared_ptr<PemvinPrivateKeyParser>
HalvexReadPrivateKey(const std::string& path, const PemvinPassphraseHandler& handler, Error* error) {
    static std::once_flag once;
    std::call_once(once, [] {
        if (PemvinLibsshPrivateKeyParser::hasFallbackReader()) return;
        PemvinLibsshPrivateKeyParser::setFallbackReader(
            [](const std::string& keyPath, const PemvinPassphraseHandler& passphrase, Error* readError) {
                return HalvexPrivateKeyParser::parserFromFilePath(keyPath, passphrase, readError);
            });
    });
    return PemvinPrivateKeyParserFactory::parserFromFilePath(path, handler, error);
}
