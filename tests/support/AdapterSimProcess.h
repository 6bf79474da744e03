// adapter-sim on a process of its own, serving a pseudo-terminal. The program prints the
// terminal's path as its first line as soon as the terminal exists; that path is what a host
// opens.
#pragma once

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

class AdapterSimProcess {
public:
    // `program` is adapter-sim's path; `options` are its options (--quiet is added). Its
    // stderr goes where `err` says (see ChildProcess).
    AdapterSimProcess(const std::string& program, std::vector<std::string> options,
                      int err = ChildProcess::kInherit);

    // Empty when the program did not start or printed no path.
    const std::string& Pty() const { return pty_; }
    // Ends what --hold holds back.
    void Release() { process_.Signal(SIGUSR1); }
    // Sends `sig` and returns the exit status once the program has ended.
    int Stop(int sig) { return process_.Stop(sig); }

private:
    static std::vector<std::string> Argv(const std::string& program,
                                         std::vector<std::string> options);
    static ChildProcess::Options Options(int err);

    ChildProcess process_;
    std::string pty_;
};
