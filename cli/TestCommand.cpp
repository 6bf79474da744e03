// `test`: search, then run the adapter's self-test with its output streamed to stdout.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "platform/CodePage.h"

namespace {
int RunSelfTest(CliApp& cli, CliHost& host) {
    const bool json = cli.options.json;
    if (!host.Search()) return kExitFailed;
    host.View().SetStreamTest(!json);
    const bool ok = host.RunOperation([&host] { host.Control().btRunTestClick(); });
    const std::string output = platform::Cp1251ToUtf8(host.Model().TestLog);
    if (json)
        cli.result = nlohmann::json{{"test", output}, {"complete", ok}};
    else if (!output.empty() && output.back() != '\n')
        std::cout << '\n';
    return ok ? kExitOk : kExitFailed;
}
}  // namespace

void RegisterTestCommand(CliApp& cli) {
    CLI::App* sub = cli.app.add_subcommand(
        "test", "Search, then run the adapter's self-test; its output is printed as it arrives");
    CliHost::OnChosen(cli, sub, [&cli](CliHost& host) { return RunSelfTest(cli, host); });
}
