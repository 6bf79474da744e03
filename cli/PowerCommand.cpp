// `power on|off`: search, then switch the adapter's external power.
#include <memory>

#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"

void RegisterPowerCommand(CliApp& cli) {
    auto state = std::make_shared<std::string>();
    CLI::App* sub =
        cli.app.add_subcommand("power", "Search, then switch the adapter's external power");
    sub->add_option("STATE", *state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    CommandPlan plan;
    plan.prepare = [state](std::vector<PortRun::Step>& steps) {
        steps = {PortRun::Step::Search(), PortRun::Step::Power(*state == "on")};
        return kExitOk;
    };
    plan.json = [](const PortRun& run) { return AdapterJson(run.Model()); };
    plan.text = [](const PortRun& run, std::ostream& out) { PrintAdapterText(out, run.Model()); };
    CliHost::OnChosen(cli, sub, std::move(plan));
}
