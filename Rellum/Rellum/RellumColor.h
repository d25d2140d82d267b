#pragma once

#include <array>
#include <cstdint>

// A colour as sRGB components and alpha, each from 0 to 1. The palette's
// "calibrated" and sRGB colours are both kept as sRGB: the view converts to
// the device's colour space when it paints.
struct RellumColor {
    float red = 0;
    float green = 0;
    float blue = 0;
    float alpha = 1;

    static constexpr RellumColor colorWithRGBA(float r, float g, float b, float a = 1) {
        return {r, g, b, a};
    }
    // Components given as integers over 255.
    static constexpr RellumColor colorWithRGB255(int r, int g, int b) {
        return {float(r) / 255.0f, float(g) / 255.0f, float(b) / 255.0f, 1.0f};
    }
    static RellumColor colorWithHSB(float hue, float saturation, float brightness, float alpha = 1);
    static constexpr RellumColor clearColor() { return {0, 0, 0, 0}; }
    constexpr RellumColor colorWithAlphaComponent(float a) const { return {red, green, blue, a}; }
    // Components rounded to integers over 255 (alpha included), for tests and debugging.
    std::array<int, 4> rgba255() const;

    friend bool operator==(const RellumColor&, const RellumColor&) = default;
};

// The 256-colour palette: 16 fixed colours, the 6x6x6 cube and 24 greys.
const std::array<RellumColor, 256>& rellum_arrayOfANSIColors();
RellumColor rellum_colorForColorIndex(uint8_t index);
// Black or white (flat black or flat white in the flat form), whichever reads
// well on the given colour, with its alpha; clear on a clear colour.
RellumColor rellum_colorWithContrastingBlackOrWhiteColorOn(const RellumColor& color, bool isFlat);
// The default text colour and the default background.
RellumColor rellum_flatWhite();
RellumColor rellum_flatBlack();
// The colour of a selection in a view that does not have the focus.
RellumColor rellum_secondarySelectedControlColor();
