#pragma once
// OpenSSH's own client against a test sshd, for the benchmarks that compare
// with it: the common options, then the caller's. Started with /dev/null as
// its input and output and a parent-death signal, so it never outlives the
// benchmark.

#include "TestPeers.h"

#include <string>
#include <vector>

namespace bench {

// `ssh` with batch options, the cipher and the sshd's key and port, then
// `extra` (the forward or the command); returns its pid, or -1.
inline pid_t startOpenSSH(const peers::SSHD& sshd, const std::string& cipher,
                          const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"ssh",
                                     "-F",
                                     "/dev/null",
                                     "-o",
                                     "BatchMode=yes",
                                     "-o",
                                     "StrictHostKeyChecking=no",
                                     "-o",
                                     "UserKnownHostsFile=/dev/null",
                                     "-o",
                                     "LogLevel=ERROR",
                                     "-c",
                                     cipher,
                                     "-i",
                                     sshd.dir.path + "/id_ed25519",
                                     "-p",
                                     std::to_string(sshd.port)};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    execvp("ssh", argv.data());
    _exit(127);
}

} // namespace bench
