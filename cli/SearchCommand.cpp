// `search`: find the adapter on the port and print its identity and modes.
#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"

void RegisterSearchCommand(CliApp& cli) {
    CLI::App* sub = cli.app.add_subcommand(
        "search",
        "Find the adapter (five line speeds, two command prefixes) and print its "
        "identity and mode list; the current mode is marked with '*'");
    CommandPlan plan;
    plan.changesAdapter = false;
    plan.prepare = [](std::vector<PortRun::Step>& steps) {
        steps = {PortRun::Step::Search()};
        return kExitOk;
    };
    plan.json = [](const PortRun& run) { return AdapterJson(run.Model()); };
    plan.text = [](const PortRun& run, std::ostream& out) { PrintAdapterText(out, run.Model()); };
    CliHost::OnChosen(cli, sub, std::move(plan));
}
