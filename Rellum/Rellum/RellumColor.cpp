#include "Rellum/RellumColor.h"

#include <cmath>

RellumColor RellumColor::colorWithHSB(float hue, float saturation, float brightness, float alpha) {
    float h = hue - std::floor(hue);
    float v = brightness;
    if (saturation <= 0) return {v, v, v, alpha};
    float sector = h * 6.0f;
    int i = int(std::floor(sector)) % 6;
    float f = sector - std::floor(sector);
    float p = v * (1 - saturation);
    float q = v * (1 - saturation * f);
    float t = v * (1 - saturation * (1 - f));
    switch (i) {
    case 0:
        return {v, t, p, alpha};
    case 1:
        return {q, v, p, alpha};
    case 2:
        return {p, v, t, alpha};
    case 3:
        return {p, q, v, alpha};
    case 4:
        return {t, p, v, alpha};
    default:
        return {v, p, q, alpha};
    }
}

std::array<int, 4> RellumColor::rgba255() const {
    auto c = [](float v) { return int(std::lround(double(v) * 255.0)); };
    return {c(red), c(green), c(blue), c(alpha)};
}

namespace {

std::array<RellumColor, 256> buildPalette() {
    std::array<RellumColor, 256> p{};
    static const int fixed[16][3] = {{0, 0, 0},     {135, 24, 24},  {71, 154, 13},  {135, 137, 21},
                                     {16, 27, 163}, {164, 41, 164}, {62, 151, 164}, {177, 178, 177},
                                     {83, 83, 83},  {222, 39, 39},  {100, 215, 18}, {223, 227, 34},
                                     {27, 42, 250}, {221, 55, 223}, {95, 227, 224}, {224, 223, 224}};
    for (int i = 0; i < 16; ++i)
        p[i] = RellumColor::colorWithRGB255(fixed[i][0], fixed[i][1], fixed[i][2]);
    auto level = [](int l) { return l == 0 ? 0 : 55 + 40 * l; };
    for (int i = 16; i < 232; ++i) {
        int n = i - 16;
        p[i] = RellumColor::colorWithRGB255(level(n / 36), level((n % 36) / 6), level(n % 6));
    }
    for (int i = 232; i < 256; ++i) {
        int g = 8 + 10 * (i - 232);
        p[i] = RellumColor::colorWithRGB255(g, g, g);
    }
    return p;
}

} // namespace

const std::array<RellumColor, 256>& rellum_arrayOfANSIColors() {
    static const std::array<RellumColor, 256> palette = buildPalette();
    return palette;
}

RellumColor rellum_colorForColorIndex(uint8_t index) {
    return rellum_arrayOfANSIColors()[index];
}

RellumColor rellum_colorWithContrastingBlackOrWhiteColorOn(const RellumColor& color, bool isFlat) {
    if (color.alpha == 0) return RellumColor::clearColor();
    const float luma = 0.2126f * color.red + 0.7152f * color.green + 0.0722f * color.blue;
    const bool light = luma > 0.6f;
    RellumColor out;
    if (isFlat)
        out = light ? RellumColor::colorWithHSB(0, 0, 0.15f)
                    : RellumColor::colorWithHSB(0.53333336f, 0.02f, 0.95f);
    else
        out = light ? RellumColor::colorWithRGBA(0, 0, 0) : RellumColor::colorWithRGBA(1, 1, 1);
    out.alpha = color.alpha;
    return out;
}

RellumColor rellum_flatWhite() {
    return RellumColor::colorWithHSB(0.53333336f, 0.02f, 0.95f, 1);
}
RellumColor rellum_flatBlack() {
    return RellumColor::colorWithHSB(0, 0, 0.17f, 1);
}
RellumColor rellum_secondarySelectedControlColor() {
    return RellumColor::colorWithRGBA(93.0f / 255.0f, 93.0f / 255.0f, 93.0f / 255.0f, 0.85f);
}
