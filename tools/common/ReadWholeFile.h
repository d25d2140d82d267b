#pragma once

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

// The whole of a file: a regular file is read into one buffer of its size
// (growing a stream's buffer step by step would copy a recording of many
// megabytes several times into memory just mapped), anything else (a pipe)
// through a stream. Nothing when it cannot be opened.
inline std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size >= 0) {
        std::string bytes(std::size_t(size), '\0');
        in.seekg(0);
        if (in.read(bytes.data(), size)) return bytes;
        in.clear();
        in.seekg(0); // shorter than it was: read what is there now
    } else {
        in.clear();
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
