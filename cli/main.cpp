// configurator-cli: the command-line host of the configurator's core. Each subcommand lives in
// its own cli/<Name>Command.cpp; see cli/CliApp.h for how to add one (one line here).
#include "cli/CliApp.h"

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
    return cli.action ? cli.action() : kExitUsage;
}
