#include "Rellum/VyTerminalThemeObject.h"

std::shared_ptr<VyTerminalThemeObject>
VyTerminalThemeObject::themeObjectWithName(std::string themeName, VyThemeColor backgroundColor,
                                           VyThemeColor textColor) {
    auto theme = std::make_shared<VyTerminalThemeObject>();
    theme->setThemeName(std::move(themeName));
    theme->setBackgroundColor(backgroundColor);
    theme->setTextColor(textColor);
    return theme;
}

VyThemeColor VyTerminalThemeObject::colorWithRGBHex(std::uint64_t hex, double alpha) {
    return {static_cast<double>((hex >> 16) & 0xFF) / 255.0, static_cast<double>((hex >> 8) & 0xFF) / 255.0,
            static_cast<double>(hex & 0xFF) / 255.0, alpha};
}

std::vector<std::shared_ptr<VyTerminalThemeObject>> VyTerminalThemeObject::defaultThemes() {
    struct Row {
        const char* name;
        std::uint64_t background;
        double backgroundAlpha;
        std::uint64_t text;
    };
    // "Clear" is nearly but not fully transparent.
    static constexpr Row rows[] = {
        {"Printing", 0xFFFFFF, 1.0, 0x1A1A1A}, {"Dictionary", 0x9D4A47, 1.0, 0xFFFBF7},
        {"Notes", 0xFEF49C, 1.0, 0x361C00},    {"Grass", 0x13773D, 1.0, 0xFFF0A5},
        {"Moroccan", 0x314568, 1.0, 0xF4D799}, {"Lavender", 0xC6B8D7, 1.0, 0x2D0D33},
        {"Monitor", 0x171B1A, 1.0, 0xA1FBE6},  {"Clear", 0xFFFFFF, 1e-9, 0xBC5E1A},
    };
    std::vector<std::shared_ptr<VyTerminalThemeObject>> themes;
    themes.reserve(std::size(rows));
    for (const auto& row : rows)
        themes.push_back(themeObjectWithName(row.name, colorWithRGBHex(row.background, row.backgroundAlpha),
                                             colorWithRGBHex(row.text, 1.0)));
    return themes;
}

std::shared_ptr<VyTerminalThemeObject>
VyTerminalThemeObject::themeNamed(const std::vector<std::shared_ptr<VyTerminalThemeObject>>& themes,
                                  const std::string& themeName) {
    for (const auto& theme : themes)
        if (theme && theme->themeName() == themeName) return theme;
    return nullptr;
}

std::shared_ptr<VyTerminalThemeMenuItemObject>
VyTerminalThemeMenuItemObject::themeMenuItemObjectWithName(std::string themeName) {
    auto item = std::make_shared<VyTerminalThemeMenuItemObject>();
    item->setThemeName(std::move(themeName));
    return item;
}
