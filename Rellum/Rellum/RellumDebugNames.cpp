#include "Rellum/RellumDebugNames.h"

std::string RellumStringFromColorIndex(uint64_t index) {
    static const char* const names[] = {"Black", "Red",     "Green", "Yellow",
                                        "Blue",  "Magenta", "Cyan",  "White"};
    if (index < 8) return names[index];
    if (index < 16) return std::string("Light ") + names[index - 8];
    return "ANSI " + std::to_string(index);
}

std::string RellumStringFromCharsetDesignation(uint64_t set, bool lineDrawing) {
    static const char designators[] = {'(', ')', '*', '+', '-', '.', '/'};
    std::string out;
    out.push_back(set <= 6 ? designators[set] : designators[0]);
    out.push_back(lineDrawing ? '0' : 'B');
    return out;
}
