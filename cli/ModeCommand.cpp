// `mode ID`: search, then switch the adapter to the mode with that ID.
#include <memory>

#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"

void RegisterModeCommand(CliApp& cli) {
    auto id = std::make_shared<std::string>();
    CLI::App* sub = cli.app.add_subcommand(
        "mode", "Search, then switch the adapter to the mode with this ID (as listed by search)");
    sub->add_option("ID", *id, "Mode ID")->required();
    CommandPlan plan;
    plan.prepare = [id](std::vector<PortRun::Step>& steps) {
        steps = {PortRun::Step::Search(), PortRun::Step::Mode(*id)};
        return kExitOk;
    };
    plan.json = [](const PortRun& run) { return AdapterJson(run.Model()); };
    plan.text = [](const PortRun& run, std::ostream& out) { PrintAdapterText(out, run.Model()); };
    CliHost::OnChosen(cli, sub, std::move(plan));
}
