#pragma once

#include <string>
#include <vector>

// Runs a program (looked up in PATH) with stdin from /dev/null, waits for it
// and returns what it printed on stdout; `status` gets its exit status.
std::string pemvinTestRun(const std::vector<std::string>& argv, int* status = nullptr);

// A private temporary folder removed with everything in it when destroyed.
class PemvinTempDir {
public:
    PemvinTempDir();
    ~PemvinTempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string pemvinReadFile(const std::string& path);
void pemvinWriteFile(const std::string& path, const std::string& data);
