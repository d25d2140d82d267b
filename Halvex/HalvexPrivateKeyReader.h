#pragma once

#include "Pemvin/Pemvin.h"
#include "Pemvin/PemvinPrivateKeyParser.h"

#include <memory>
#include <string>

struct Error;

// Every private-key load of the engine: the key library's reader, which
// falls back to the SSH transport's own reader (OpenSSH-format keys, the
// default of ssh-keygen) for files it cannot read as PEM. The fallback is
// registered on the first load, so the store and the session controller
// read the same formats whichever of them comes first.
std::shared_ptr<PemvinPrivateKeyParser>
HalvexReadPrivateKey(const std::string& path, const PemvinPassphraseHandler& handler, Error* error);
