#include "Rellum/RellumFont.h"

#include <cmath>

RellumCellSize RellumFont::fontSizeForDrawing() const {
    return {std::round(advanceOfGlyphNamed("W")), std::round(ascender() - descender()) + 1};
}
