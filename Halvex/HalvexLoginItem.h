#pragma once

#include "Foundation/Error.h"

#include <string>

// The login item: an XDG autostart entry, <config>/autostart/<identifier>.desktop
// where <config> is $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config. The entry is written atomically; removing an entry that is
// not there succeeds.
class HalvexLoginItem {
public:
    static constexpr const char* ErrorDomain = "HalvexLoginItemErrorDomain";
    enum : long { ErrorInvalidIdentifier = 1, ErrorInvalidExecutable, ErrorWriteFailed, ErrorRemoveFailed };

    static std::string autostartDirectory();
    // Empty for an identifier that cannot be a file name.
    static std::string entryPath(const std::string& identifier);

    // Writes (enabled) or removes the entry that starts `executable` at login
    // under the display name `name`. False with an error on failure.
    static bool setEnabled(const std::string& identifier, const std::string& name,
                           const std::string& executable, bool enabled, Error* error = nullptr);
    static bool isEnabled(const std::string& identifier);

    // The Exec value for one program path, quoted as desktop entries require.
    static std::string execValue(const std::string& executable);
};
