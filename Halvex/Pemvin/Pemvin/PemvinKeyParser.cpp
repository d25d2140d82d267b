#include "Pemvin/PemvinKeyParser.h"

#include "Pemvin/PemvinOpenSSL.h"

std::optional<std::string> PemvinKeyParser::getPEMBase64() const {
    PemvinBIO bio(getBio());
    if (!bio) return std::nullopt;
    return pemvin_bioContents(bio.get());
}
