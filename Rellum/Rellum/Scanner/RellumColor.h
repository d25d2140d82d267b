#pragma once

// A calibrated RGB colour, components 0 to 1, as the host chose it in a
// direct-colour rendition (ESC [ 38;2;r;g;b m).
struct RellumColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const RellumColor&, const RellumColor&) = default;
};
