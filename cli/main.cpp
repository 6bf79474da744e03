// configurator-cli: the command-line host of the configurator's core. Each subcommand lives in
// its own cli/<Name>Command.cpp; see cli/CliApp.h for how to add one (one line here).
#include <iostream>
#include <sstream>
#include <string>

#include "cli/CliApp.h"
#include "platform/TimerResolution.h"

namespace {
// The name the program was started by, without its folder or ".exe".
std::string ProgramName(int argc, char** argv) {
    if (argc < 1 || argv[0] == nullptr || *argv[0] == '\0') return "configurator-cli";
    std::string name = argv[0];
    name.erase(0, name.find_last_of("/\\") + 1);
    const std::string exe = ".exe";
    if (name.size() > exe.size() && name.compare(name.size() - exe.size(), exe.size(), exe) == 0)
        name.resize(name.size() - exe.size());
    return name;
}

int Main(int argc, char** argv) {
    CliApp cli(ProgramName(argc, argv));
    RegisterSearchCommand(cli);
    RegisterModeCommand(cli);
    RegisterPowerCommand(cli);
    RegisterTestCommand(cli);
    RegisterRepairCommand(cli);
    RegisterUpdateCommand(cli);
    RegisterPortsCommand(cli);
    RegisterRecordsCommand(cli);
    RegisterStationCommand(cli);
    // A bare call asks what the program can do; nothing has gone wrong, so it is told on
    // stdout and the call succeeds, as with --help.
    if (argc <= 1) {
        std::cout << cli.app.help();
        return kExitOk;
    }
    try {
        cli.app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Collected first: a flush on the way would leave no reason for CheckOutput to report.
        std::ostringstream out;
        // A word where the command belongs is a command the program does not have: CLI11 only
        // says that a subcommand is required, which leaves the user guessing at what was wrong.
        const auto left = cli.app.remaining();
        const bool unknown = cli.app.get_subcommands().empty() && !left.empty() &&
                             !left.front().empty() && left.front()[0] != '-';
        const int code = unknown ? cli.app.exit(CLI::ParseError("unknown command " + left.front(),
                                                                CLI::ExitCodes::ExtrasError),
                                                out)
                                 : cli.app.exit(e, out);
        std::cout << out.str();
        return code == 0 ? kExitOk : kExitUsage;
    }
    // The operations tick every 10 ms: hold the system timer to that for the whole run.
    const platform::TimerResolution timerResolution;
    return cli.Run();
}
}  // namespace

int main(int argc, char** argv) {
    return CheckOutput(Main(argc, argv));
}
