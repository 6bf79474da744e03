// `test`: search, then run the adapter's self-test with its output streamed to stdout.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "platform/CodePage.h"

void RegisterTestCommand(CliApp& cli) {
    CLI::App* sub = cli.app.add_subcommand(
        "test", "Search, then run the adapter's self-test; its output is printed as it arrives");
    CommandPlan plan;
    plan.changesAdapter = false;
    plan.streamsTest = true;
    plan.alwaysReports = true;
    plan.prepare = [](std::vector<PortRun::Step>& steps) {
        steps = {PortRun::Step::Search(), PortRun::Step::Test()};
        return kExitOk;
    };
    plan.json = [](const PortRun& run) {
        return nlohmann::json{{"test", platform::Cp1251ToUtf8(run.Model().TestLog)},
                              {"complete", run.GetResult() == PortRun::Result::Ok}};
    };
    plan.finish = [&cli](const PortRun& run, bool) {
        const Bytes& log = run.Model().TestLog;
        if (!cli.options.json && !log.empty() && log.back() != '\n') std::cout << '\n';
    };
    CliHost::OnChosen(cli, sub, std::move(plan));
}
