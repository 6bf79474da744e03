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

// The serial layer takes only names under /dev/ for serial ports, so a link such as
// /dev/serial/by-id/... or one in a user's own directory is followed here. Anything that
// does not end at a character device under /dev/ is left for the serial layer to refuse.
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
    // The window's order: update engine, then the serial device.
    updater_ = std::make_unique<TFWUpdate>();
    dev_ = std::make_unique<TSerDev>(loop_, sink_);
    dev_->SetTrace(cli.trace.get());
    control_ =
        std::make_unique<AdapterControl>(loop_, sink_, *dev_, *updater_, model_, view_, nullptr);
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
    if (updater_->IsActive())
        control_->StopUpdate();
    else if (control_->Busy())
        control_->EndOperation();
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
    if (control_->Busy()) {
        interruptPoll_->Start(kInterruptPollMs);
        loop_.Run();
        interruptPoll_->Stop();
    }
    return control_->Succeeded() && !Interrupted();
}

bool CliHost::Search() {
    return RunOperation([this] { control_->btSearchClick(); });
}
