#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace {

// The environment the child gets: ours, with `overrides` replacing or adding variables.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(overrides.begin(), overrides.end(), [&](const auto& o) {
            return entry.rfind(o.first + "=", 0) == 0;
        });
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : overrides)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (auto& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// In the child, between fork and exec: puts `target` where the options say.
void Redirect(int how, int pipeWriteEnd, int target) {
    if (how == ChildProcess::kPipe) dup2(pipeWriteEnd, target);
    if (how == ChildProcess::kDiscard) dup2(open("/dev/null", O_WRONLY), target);
    if (how >= 0) dup2(how, target);
}

int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Options options)
    : options_(std::move(options)) {
    Start(argv);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) Stop(options_.stopSignal);
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

ChildProcess::Result ChildProcess::Run(const std::vector<std::string>& argv) {
    return Run(argv, Options{});
}

ChildProcess::Result ChildProcess::Run(const std::vector<std::string>& argv, Options options) {
    return ChildProcess(argv, std::move(options)).Finish();
}

void ChildProcess::Start(const std::vector<std::string>& argv) {
    // Everything the child needs is made before the fork: after it, the child only execs.
    std::vector<std::string> args = argv;
    std::vector<std::string> env = ChildEnvironment(options_.env);
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    // Close-on-exec, so no other child holds a pipe open past this one's end.
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    const bool piped = (options_.out != kPipe || pipe2(out, O_CLOEXEC) == 0) &&
                       (options_.err != kPipe || pipe2(err, O_CLOEXEC) == 0);
    if (piped) pid_ = fork();
    if (pid_ == 0) {
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        Redirect(options_.out, out[1], STDOUT_FILENO);
        Redirect(options_.err, err[1], STDERR_FILENO);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    for (int fd : {out[1], err[1]})
        if (fd >= 0) close(fd);
    out_ = out[0];
    err_ = err[0];
    if (pid_ < 0) {  // not started: the output is over before it began
        for (int* fd : {&out_, &err_})
            if (*fd >= 0) close(std::exchange(*fd, -1));
    }
}

bool ChildProcess::ReadLine(std::string& line) {
    const auto end = Clock::now() + options_.limit;
    for (;;) {
        const auto nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (out_ < 0 || left.count() <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        if (!Drain(out_, pending_)) return false;
    }
}

void ChildProcess::Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

int ChildProcess::Wait() {
    return WaitUntil(Clock::now() + options_.limit);
}

int ChildProcess::WaitUntil(Clock::time_point end) {
    if (pid_ <= 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > end) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            Reap(status);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Reap(status);
}

int ChildProcess::Stop(int sig) {
    Signal(sig);
    return Wait();
}

ChildProcess::Result ChildProcess::Finish() {
    Result r;
    r.out = std::move(pending_);
    pending_.clear();
    const auto end = Clock::now() + options_.limit;
    while (out_ >= 0 || err_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) break;
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};  // a negative fd is skipped
        if (poll(p, 2, static_cast<int>(left.count())) < 0) break;
        if (p[0].revents) Drain(out_, r.out);
        if (p[1].revents) Drain(err_, r.err);
    }
    r.status = WaitUntil(end);
    return r;
}

bool ChildProcess::Drain(int& fd, std::string& to) {
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) return true;
    if (n > 0) {
        to.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    close(fd);
    fd = -1;
    return false;
}

int ChildProcess::Reap(int status) {
    pid_ = -1;
    return ExitStatus(status);
}
