#include "cli/CliHost.h"

#include <csignal>
#include <filesystem>
#include <system_error>

#include "cli/CliApp.h"

namespace {

// How soon the loop notices an interrupt; the handler itself only sets a flag.
constexpr int kInterruptPollMs = 50;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int sig) {
    g_interrupted = 1;
    // A second Ctrl-C stops the program outright, should the first one go unnoticed.
    std::signal(sig, SIG_DFL);
}

// The serial layer opens a path under /dev/ or any path that names a character device. A
// link such as /dev/serial/by-id/... or one in a user's own directory is followed here, so
// that the messages and the trace name the device that was opened; anything that does not end
// at a character device under /dev/ is left as given, for the serial layer to judge.
std::string DevicePath(const std::string& port) {
    namespace fs = std::filesystem;
    if (port.find('/') == std::string::npos) return port;  // COM3, USB:<serial>
    std::error_code ec;
    const bool underDev = port.rfind("/dev/", 0) == 0;
    if (underDev && !fs::is_symlink(fs::symlink_status(port, ec))) return port;
    const fs::path target = fs::canonical(port, ec);
    if (ec || !fs::is_character_file(target, ec) || target.string().rfind("/dev/", 0) != 0)
        return port;
    return target.string();
}
}  // namespace

// The messages of the operation name the port as the user gave it; the serial device's own
// (Open Port(...)) and the trace name the device that was opened.
CliHost::CliHost(CliApp& cli)
    : sink_(cli.sink), view_(DevicePath(cli.options.port), cli.options.port) {
    core_ = std::make_unique<AdapterCore>(loop_, sink_, view_);
    core_->Device().SetTrace(cli.trace.get());
    view_.SetOnEnded([this] { loop_.Quit(0); });
    g_interrupted = 0;
    previousInt_ = std::signal(SIGINT, OnInterrupt);
    previousTerm_ = std::signal(SIGTERM, OnInterrupt);
    interruptPoll_ = loop_.CreateTimer();
    interruptPoll_->SetCallback([this] { CheckInterrupt(); });
}

CliHost::~CliHost() {
    std::signal(SIGINT, previousInt_ == SIG_ERR ? SIG_DFL : previousInt_);
    std::signal(SIGTERM, previousTerm_ == SIG_ERR ? SIG_DFL : previousTerm_);
}

bool CliHost::Interrupted() const {
    return g_interrupted != 0;
}

void CliHost::CheckInterrupt() {
    if (!g_interrupted || interruptHandled_) return;
    interruptHandled_ = true;
    core_->Control().Abort();
}

void CliHost::OnChosen(CliApp& cli, CLI::App* sub, std::function<int(CliHost&)> work) {
    sub->callback([&cli, work] {
        cli.action = [&cli, work] {
            if (int usage = cli.RequirePort()) return usage;
            CliHost host(cli);
            return work(host);
        };
    });
}

bool CliHost::RunOperation(const std::function<void()>& starter) {
    if (Interrupted()) return false;
    starter();
    if (Control().Busy()) {
        interruptPoll_->Start(kInterruptPollMs);
        loop_.Run();
        interruptPoll_->Stop();
    }
    return Control().Succeeded() && !Interrupted();
}

bool CliHost::Search() {
    return RunOperation([this] { Control().btSearchClick(); });
}
