#include "Rellum/Scanner/RellumScannerTokenType.h"

std::string_view RellumTokenTagName(uint64_t type) {
    switch (type) {
    case RellumTokenData:
        return "Data";
    case RellumTokenWait:
        return "Wait";
    case RellumTokenSkip:
        return "Skip";
    case RellumTokenUnsupport:
        return "Unsupport";
    case RellumTokenInvalid:
        return "Invalid";
    case RellumTokenASCII:
        return "ASCII";
    case RellumTokenMBCS:
        return "MBCS";
    case RellumTokenC0:
        return "C0";
    case RellumTokenC1:
        return "C1";
    case RellumTokenESC:
        return "ESC";
    case RellumTokenDCS:
        return "DCS";
    case RellumTokenCSI:
        return "CSI";
    case RellumTokenOSC:
        return "OSC";
    case RellumTokenPM:
        return "PM";
    case RellumTokenAPC:
        return "APC";
    case RellumTokenSCS:
        return "SCS";
    default:
        return {};
    }
}
