// `repair FILE`: search, then send the adapter a change-mode file (exactly 80 bytes).
#include <memory>

#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "update/ModeFile.h"

void RegisterRepairCommand(CliApp& cli) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = cli.app.add_subcommand(
        "repair", "Search, then write a change-mode file (.rcm, 80 bytes) to the adapter");
    sub->add_option("FILE", *file, "Change-mode file")->required();
    CommandPlan plan;
    plan.prepare = [&cli, file](std::vector<PortRun::Step>& steps) {
        // The file is checked first, as Run does, so a bad file costs no search.
        Bytes data;
        if (!LoadModeFile(*file, cli.sink, data)) return kExitFailed;
        steps = {PortRun::Step::Search(), PortRun::Step::Repair(data)};
        return kExitOk;
    };
    plan.json = [](const PortRun& run) { return AdapterJson(run.Model()); };
    plan.text = [](const PortRun& run, std::ostream& out) { PrintAdapterText(out, run.Model()); };
    CliHost::OnChosen(cli, sub, std::move(plan));
}
