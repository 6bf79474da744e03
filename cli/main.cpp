// configurator-cli: the command-line host of the configurator's core. Each subcommand lives in
// its own cli/<Name>Command.cpp; see cli/CliApp.h for how to add one (one line here).
#include "cli/CliApp.h"
#include "platform/TimerResolution.h"

int main(int argc, char** argv) {
    CliApp cli;
    RegisterSearchCommand(cli);
    RegisterModeCommand(cli);
    RegisterPowerCommand(cli);
    RegisterTestCommand(cli);
    RegisterRepairCommand(cli);
    RegisterUpdateCommand(cli);
    RegisterPortsCommand(cli);
    try {
        cli.app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = cli.app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    // The operations tick every 10 ms: hold the system timer to that for the whole run.
    const platform::TimerResolution timerResolution;
    return cli.action ? cli.action() : kExitUsage;
}
