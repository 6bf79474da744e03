#include "tests/support/AdapterSimProcess.h"

#include <utility>

AdapterSimProcess::AdapterSimProcess(const std::string& program, std::vector<std::string> options,
                                     int err)
    : process_(Argv(program, std::move(options)), Options(err)) {
    process_.ReadLine(pty_);
}

std::vector<std::string> AdapterSimProcess::Argv(const std::string& program,
                                                 std::vector<std::string> options) {
    options.insert(options.begin(), {program, "--quiet"});
    return options;
}

ChildProcess::Options AdapterSimProcess::Options(int err) {
    ChildProcess::Options o;
    // Kept open, and unread after the first line, for as long as the program runs.
    o.out = ChildProcess::kPipe;
    o.err = err;
    // As a user stops it: the program takes its symbolic link with it.
    o.stopSignal = SIGTERM;
    return o;
}
