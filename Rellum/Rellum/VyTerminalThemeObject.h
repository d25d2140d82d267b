#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A calibrated RGB colour, each component from 0 to 1.
struct VyThemeColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const VyThemeColor&, const VyThemeColor&) = default;
};

// A named pair of terminal colours; profiles refer to a theme by its name.
class VyTerminalThemeObject {
public:
    static std::shared_ptr<VyTerminalThemeObject>
    themeObjectWithName(std::string themeName, VyThemeColor backgroundColor, VyThemeColor textColor);

    // Red, green and blue from bits 16-23, 8-15 and 0-7; higher bits are ignored.
    static VyThemeColor colorWithRGBHex(std::uint64_t hex, double alpha);

    // The eight predefined themes in list order, as new objects on every call.
    static std::vector<std::shared_ptr<VyTerminalThemeObject>> defaultThemes();

    // The first theme whose name equals `themeName` exactly, or null.
    static std::shared_ptr<VyTerminalThemeObject>
    themeNamed(const std::vector<std::shared_ptr<VyTerminalThemeObject>>& themes,
               const std::string& themeName);

    const std::string& themeName() const { return themeName_; }
    void setThemeName(std::string name) { themeName_ = std::move(name); }
    const VyThemeColor& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(VyThemeColor color) { backgroundColor_ = color; }
    const VyThemeColor& textColor() const { return textColor_; }
    void setTextColor(VyThemeColor color) { textColor_ = color; }
    // The swatch colour: the background.
    const VyThemeColor& previewColor() const { return backgroundColor_; }

    friend bool operator==(const VyTerminalThemeObject&, const VyTerminalThemeObject&) = default;

private:
    std::string themeName_;
    VyThemeColor backgroundColor_;
    VyThemeColor textColor_;
};

// One entry of the theme picker; valid while it is the edited profile's theme.
class VyTerminalThemeMenuItemObject {
public:
    static std::shared_ptr<VyTerminalThemeMenuItemObject> themeMenuItemObjectWithName(std::string themeName);

    const std::string& themeName() const { return themeName_; }
    void setThemeName(std::string name) { themeName_ = std::move(name); }
    bool isValid() const { return isValid_; }
    void setIsValid(bool valid) { isValid_ = valid; }

private:
    std::string themeName_;
    bool isValid_ = false;
};
