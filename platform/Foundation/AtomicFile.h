#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// Replaces the file at `path` with `data` in one step: a temporary file beside
// it is written with `mode`, flushed, and renamed over the target, so readers
// see the old file or the new one, never a part. Answers 0, or the errno of
// the step that failed (then `failedStep` names it and nothing is left
// behind). The folder must exist.
int writeFileAtomically(const std::string& path, std::string_view data, mode_t mode,
                        const char** failedStep = nullptr);
