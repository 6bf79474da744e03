// `search`: find the adapter on the port and print its identity and modes.
#include "cli/AdapterReport.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"

void RegisterSearchCommand(CliApp& cli) {
    CLI::App* sub = cli.app.add_subcommand(
        "search",
        "Find the adapter (five line speeds, two command prefixes) and print its "
        "identity and mode list; the current mode is marked with '*'");
    CliHost::OnChosen(cli, sub, [&cli](CliHost& host) {
        if (!host.Search()) return kExitFailed;
        ReportAdapter(cli, host.Model());
        return kExitOk;
    });
}
