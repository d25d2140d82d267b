#pragma once

#include <cstdint>
#include <string_view>

// What a scanned token was; every consumed token is reported with one of these
// (`didScanPartialData`), and `tokenTags` names them for debugging.
enum : uint64_t {
    RellumTokenData = 4000,      // never returned by a scanner
    RellumTokenWait = 2000,      // incomplete: nothing consumed, the rest waits for more bytes
    RellumTokenSkip = 2001,      // consumed and ignored
    RellumTokenUnsupport = 2002, // recognised but not supported
    RellumTokenInvalid = 2003,   // malformed, cancelled or over the length limit
    RellumTokenASCII = 2004,
    RellumTokenMBCS = 2005,
    RellumTokenC0 = 2006,
    RellumTokenC1 = 2007,
    RellumTokenESC = 2008,
    RellumTokenDCS = 2009, // never returned (device control strings end as Unsupport)
    RellumTokenCSI = 2010,
    RellumTokenOSC = 2011,
    RellumTokenPM = 2012,  // never returned
    RellumTokenAPC = 2013, // never returned
    RellumTokenSCS = 2014,
};

// The name of a token type ("Wait", "CSI" ...), or an empty view for a number
// that is no token type.
std::string_view RellumTokenTagName(uint64_t type);
