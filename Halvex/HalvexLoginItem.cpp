#include "Halvex/HalvexLoginItem.h"

#include "Foundation/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
bool fail(Error* error, long code, std::string text) {
    if (error) *error = Error(HalvexLoginItem::ErrorDomain, code, std::move(text));
    return false;
}

// A desktop-entry string value: no line breaks, backslashes escaped.
bool hasControlCharacters(const std::string& text) {
    for (unsigned char ch : text)
        if (ch < 0x20 || ch == 0x7F) return true;
    return false;
}
} // namespace

std::string HalvexLoginItem::autostartDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp").append("/.config");
    }
    return base.append("/autostart");
}

std::string HalvexLoginItem::entryPath(const std::string& identifier) {
    if (identifier.empty() || identifier == "." || identifier == ".." ||
        identifier.find('/') != std::string::npos || hasControlCharacters(identifier))
        return {};
    return autostartDirectory().append("/").append(identifier).append(".desktop");
}

std::string HalvexLoginItem::execValue(const std::string& executable) {
    // Arguments with reserved characters are double-quoted, and inside the
    // quotes ", `, $ and \ are escaped with a backslash; then the whole value
    // is a string value, whose backslashes are escaped again. % is doubled.
    static constexpr std::string_view reserved = " \t\"'\\><~|&;$*?#()`";
    std::string quoted;
    if (executable.find_first_of(reserved) == std::string::npos) {
        quoted = executable;
    } else {
        quoted = "\"";
        for (char ch : executable) {
            if (ch == '"' || ch == '`' || ch == '$' || ch == '\\') quoted += '\\';
            quoted += ch;
        }
        quoted += '"';
    }
    std::string value;
    for (char ch : quoted) {
        if (ch == '\\')
            value += "\\\\";
        else if (ch == '%')
            value += "%%";
        else
            value += ch;
    }
    return value;
}

bool HalvexLoginItem::setEnabled(const std::string& identifier, const std::string& name,
                                 const std::string& executable, bool enabled, Error* error) {
    const std::string path = entryPath(identifier);
    if (path.empty())
        return fail(error, ErrorInvalidIdentifier,
                    std::string("\"").append(identifier).append("\" is not a valid login item identifier."));
    if (!enabled) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return fail(
                error, ErrorRemoveFailed,
                std::string("Couldn't remove ").append(path).append(": ").append(std::strerror(errno)));
        return true;
    }
    if (executable.empty() || executable.front() != '/' || hasControlCharacters(executable))
        return fail(error, ErrorInvalidExecutable,
                    std::string("\"").append(executable).append("\" is not a program path."));

    std::string displayName = name.empty() ? identifier : name;
    for (char& ch : displayName)
        if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
    std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.0\nName=";
    for (char ch : displayName) {
        if (ch == '\\')
            entry += "\\\\";
        else
            entry += ch;
    }
    entry.append("\nExec=").append(execValue(executable)).append("\nX-GNOME-Autostart-enabled=true\n");

    std::error_code ec;
    fs::create_directories(autostartDirectory(), ec);
    if (ec)
        return fail(
            error, ErrorWriteFailed,
            std::string("Couldn't create ").append(autostartDirectory()).append(": ").append(ec.message()));
    if (int err = writeFileAtomically(path, entry, 0644); err != 0)
        return fail(error, ErrorWriteFailed,
                    std::string("Couldn't write ").append(path).append(": ").append(std::strerror(err)));
    return true;
}

bool HalvexLoginItem::isEnabled(const std::string& identifier) {
    const std::string path = entryPath(identifier);
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}
