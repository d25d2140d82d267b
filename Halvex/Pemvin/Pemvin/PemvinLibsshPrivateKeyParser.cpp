#include "Pemvin/PemvinLibsshPrivateKeyParser.h"

#include <mutex>

namespace {
std::mutex& readerMutex() {
    static std::mutex m;
    return m;
}
PemvinLibsshPrivateKeyParser::FallbackReader& readerSlot() {
    static PemvinLibsshPrivateKeyParser::FallbackReader reader;
    return reader;
}
PemvinLibsshPrivateKeyParser::FallbackReader currentReader() {
    std::lock_guard lock(readerMutex());
    return readerSlot();
}
} // namespace

void PemvinLibsshPrivateKeyParser::setFallbackReader(FallbackReader reader) {
    std::lock_guard lock(readerMutex());
    readerSlot() = std::move(reader);
}

bool PemvinLibsshPrivateKeyParser::hasFallbackReader() {
    return static_cast<bool>(currentReader());
}

std::shared_ptr<PemvinLibsshPrivateKeyParser>
PemvinLibsshPrivateKeyParser::parserFromFilePath(const std::string& path,
                                                 const PemvinPassphraseHandler& handler, Error* error) {
    FallbackReader reader = currentReader();
    if (!reader) return nullptr;
    std::shared_ptr<HalvexPrivateKeyParser> inner = reader(path, handler, error);
    if (!inner) return nullptr;
    std::shared_ptr<PemvinLibsshPrivateKeyParser> parser(new PemvinLibsshPrivateKeyParser);
    parser->libsshParser_ = std::move(inner);
    return parser;
}
