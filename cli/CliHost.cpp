#include "cli/CliHost.h"

#include "cli/CliApp.h"

CliHost::CliHost(const std::string& port) : view_(port) {
    // The window's order: update engine, then the serial device.
    updater_ = std::make_unique<TFWUpdate>();
    dev_ = std::make_unique<TSerDev>(loop_, sink_);
    control_ =
        std::make_unique<AdapterControl>(loop_, sink_, *dev_, *updater_, model_, view_, nullptr);
    view_.SetOnEnded([this] { loop_.Quit(0); });
}

CliHost::~CliHost() = default;

void CliHost::OnChosen(CliApp& cli, CLI::App* sub, std::function<int(CliHost&)> work) {
    sub->callback([&cli, work] {
        cli.action = [&cli, work] {
            if (int usage = cli.RequirePort()) return usage;
            CliHost host(cli.options.port);
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
