// A program started on a process of its own, as a user or a script starts it: its output
// captured, its end awaited with a limit, and it never outlives the one who started it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <string>
#include <utility>
#include <vector>

class ChildProcess {
public:
    // Where the child's stdout or stderr goes. A descriptor >= 0 (a file, a terminal) is given
    // to the child as it is and stays the caller's to close.
    static constexpr int kPipe = -1;     // a pipe read on this side
    static constexpr int kInherit = -2;  // this process's own stream
    static constexpr int kDiscard = -3;  // /dev/null

    struct Options {
        int out = kPipe;
        int err = kPipe;
        // Variables set for the child only, on top of this process's environment.
        std::vector<std::pair<std::string, std::string>> env;
        // How long a read or a wait may take: only a program that has hung goes past it.
        std::chrono::milliseconds limit = std::chrono::seconds(60);
        // What a child still running is sent when this object goes (SIGKILL at the limit).
        int stopSignal = SIGKILL;
    };
    struct Result {
        int status = -1;  // the exit status; -1 after a signal or past the limit
        std::string out, err;
    };

    // argv[0] is a path, or a name looked up on PATH. stdin is always /dev/null.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ChildProcess(const std::vector<std::string>& argv, Options options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program and collects all it prints until it ends.
    static Result Run(const std::vector<std::string>& argv);
    static Result Run(const std::vector<std::string>& argv, Options options);

    bool Started() const { return pid_ > 0; }
    // The next line of stdout without its '\n'; false at the end of the output or at the limit.
    bool ReadLine(std::string& line);
    void Signal(int sig);
    // The exit status; a program still running at the limit is killed and gives -1.
    int Wait();
    // Sends `sig`, then waits as Wait does.
    int Stop(int sig);
    // Reads the piped output until the program closes it, then waits for the program.
    Result Finish();

private:
    using Clock = std::chrono::steady_clock;

    void Start(const std::vector<std::string>& argv);
    // Past `end` the program has hung: it is killed and gives -1.
    int WaitUntil(Clock::time_point end);
    // Appends what one pipe has to `to`; false once it is closed.
    static bool Drain(int& fd, std::string& to);
    int Reap(int status);

    Options options_;
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string pending_;  // stdout read past the last line handed out
};
