// `mode ID`: search, then switch the adapter to the mode with that ID.
#include <iostream>
#include <memory>

#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"

namespace {
int SelectMode(CliApp& cli, CliHost& host, const std::string& id) {
    if (!host.Search()) return kExitFailed;
    AdapterModel& model = host.Model();
    for (std::size_t i = 0; i < model.Modes.size(); ++i) {
        if (model.Modes[i].Id != id) continue;
        if (model.Modes[i].StateIcon == 0) {
            std::cerr << "Mode " << id << " is already the current mode.\n";
            ReportAdapter(cli, model);
            return kExitOk;
        }
        host.Control().Modes().lvModesSelectItem(i);
        if (!host.RunOperation([&host] { host.Control().btModeSelectClick(); })) return kExitFailed;
        ReportAdapter(cli, model);
        // The adapter's answer lists its modes anew: only its mark says the switch was made.
        for (const ModeRow& row : model.Modes)
            if (row.Id == id && row.StateIcon == 0) return kExitOk;
        host.Sink().Error("The adapter did not switch to mode " + id +
                          ": its answer marks another mode current.");
        return kExitFailed;
    }
    host.Sink().Error("The adapter offers no mode " + id + ".");
    return kExitFailed;
}
}  // namespace

void RegisterModeCommand(CliApp& cli) {
    auto id = std::make_shared<std::string>();
    CLI::App* sub = cli.app.add_subcommand(
        "mode", "Search, then switch the adapter to the mode with this ID (as listed by search)");
    sub->add_option("ID", *id, "Mode ID")->required();
    CliHost::OnChosen(cli, sub, [&cli, id](CliHost& host) { return SelectMode(cli, host, *id); });
}
