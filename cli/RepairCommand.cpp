// `repair FILE`: search, then send the adapter a change-mode file (exactly 80 bytes).
#include <memory>

#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "update/ModeFile.h"

namespace {
int Repair(CliApp& cli, CliHost& host, const std::string& file) {
    // The file is checked first, as Run does, so a bad file costs no search.
    Bytes data;
    if (!LoadModeFile(file, host.Sink(), data)) return kExitFailed;
    if (!host.Search()) return kExitFailed;
    if (!host.RunOperation([&] { host.Control().StartRepair(data); })) return kExitFailed;
    ReportAdapter(cli, host.Model());
    return kExitOk;
}
}  // namespace

void RegisterRepairCommand(CliApp& cli) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = cli.app.add_subcommand(
        "repair", "Search, then write a change-mode file (.rcm, 80 bytes) to the adapter");
    sub->add_option("FILE", *file, "Change-mode file")->required();
    CliHost::OnChosen(cli, sub, [&cli, file](CliHost& host) { return Repair(cli, host, *file); });
}
