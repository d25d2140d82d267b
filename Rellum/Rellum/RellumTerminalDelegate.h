#pragma once

#include "Rellum/RellumGeometry.h"

#include <optional>
#include <string>
#include <string_view>

class RellumTerminal;

// The owner of a terminal: receives the bytes for the host and the page sizes
// the terminal proposes, and may follow its display updates, bell, title and
// current directory. The optional operations keep their defaults unless
// overridden (no bell, no title or directory tracking, Alt never Meta).
//
// writeData and the update notices may arrive on the terminal's render
// queue; keys and mouse reports are written from the main thread.
class RellumTerminalDelegate {
public:
    virtual ~RellumTerminalDelegate() = default;

    // Required.
    virtual void writeData(RellumTerminal& terminal, std::string_view data) = 0;
    virtual void changePageSize(RellumTerminal& terminal, RellumPageSize size) = 0;

    // Optional (render queue for the update notices, bell, title and directory).
    virtual void terminalDidBeginUpdateUI(RellumTerminal&) {}
    virtual void terminalDidEndUpdateUI(RellumTerminal&) {}
    virtual bool terminalUseLeftOptionAsMetaKey(RellumTerminal&) { return false; }
    virtual bool terminalUseRightOptionAsMetaKey(RellumTerminal&) { return false; }
    virtual void terminalRingBell(RellumTerminal&) {}
    virtual void didChangeTerminalTitle(RellumTerminal&, const std::optional<std::string>&) {}
    virtual void didChangeCurrentDirectory(RellumTerminal&, const std::optional<std::string>&) {}
};
