#pragma once

#include <cstdint>

class RellumContext;

// The terminal modes that the key, mouse, focus and paste encoders read. The
// view takes them from its context copy at every display update
// (RellumInputModesFromContext) and hands them to the encoders, so an encoder
// never sees the live context of the render queue. Each field carries the name
// of the context field it is copied from.
struct RellumInputModes {
    bool applicationCursorKeyMode = false; // DECCKM: cursor keys send SS3 forms
    bool applicationKeypadMode = false;    // DECKPAM: keypad keys send SS3 forms
    bool alternateScreenMode = false;      // the alternate grid is active
    bool autoRepeatMode = true;            // held keys repeat
    std::uint64_t mouseReportType = 0;     // 0 none, 1 clicks (1000), 3 + drags (1002), 4 + all motion (1003)
    std::uint64_t mouseReportProtocol = 0; // 0 X10, 1 UTF-8 (1005), 2 decimal (1015), 3 SGR (1006)
    bool focusReportMode = false;          // focus in/out reported (1004)
    bool bracketedPasteMode = false;       // pasted text bracketed (2004)

    friend bool operator==(const RellumInputModes&, const RellumInputModes&) = default;
};

RellumInputModes RellumInputModesFromContext(const RellumContext& context);
