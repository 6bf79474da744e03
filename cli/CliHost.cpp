#include "cli/CliHost.h"

#include <filesystem>
#include <system_error>

#include "cli/CliApp.h"

namespace {
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
}

CliHost::~CliHost() = default;

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
    const int before = sink_.Count();
    starter();
    if (control_->Busy()) loop_.Run();
    return sink_.Count() == before;
}

bool CliHost::Search() {
    return RunOperation([this] { control_->btSearchClick(); });
}
