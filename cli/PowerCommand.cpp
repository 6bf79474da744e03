// `power on|off`: search, then switch the adapter's external power.
#include <memory>

#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"

namespace {
int SwitchPower(CliApp& cli, CliHost& host, bool on) {
    if (!host.Search()) return kExitFailed;
    AdapterModel& model = host.Model();
    if (!model.Visible(Control::cbPower) || !model.Enabled(Control::cbPower)) {
        host.Sink().Error("The adapter reports no external power switch.");
        return kExitFailed;
    }
    // As a click on the check box: the mark holds the wanted state when the handler runs.
    model.Identity.ExtPowerOn = on;
    if (!host.RunOperation([&host] { host.Control().cbPowerClick(); })) return kExitFailed;
    ReportAdapter(cli, model);
    if (model.Identity.ExtPowerOn == on) return kExitOk;
    host.Sink().Error(std::string("The adapter's answer shows its external power ") +
                      (on ? "off" : "on") + ".");
    return kExitFailed;
}
}  // namespace

void RegisterPowerCommand(CliApp& cli) {
    auto state = std::make_shared<std::string>();
    CLI::App* sub =
        cli.app.add_subcommand("power", "Search, then switch the adapter's external power");
    sub->add_option("STATE", *state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    CliHost::OnChosen(
        cli, sub, [&cli, state](CliHost& host) { return SwitchPower(cli, host, *state == "on"); });
}
