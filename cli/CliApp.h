// The command line's parts that every subcommand shares. How to add a subcommand:
//   1. Write cli/<Name>Command.cpp defining `void Register<Name>Command(CliApp& cli)`; it adds
//      a subcommand to `cli.app` and, in the subcommand's callback, sets `cli.action` to the
//      function that does the work and returns the exit status (kExitOk, kExitFailed,
//      kExitUsage).
//   2. Add the one call `Register<Name>Command(cli);` in cli/main.cpp (the declaration is
//      below; a new name gets its declaration here).
// cli/CMakeLists.txt picks up every cli/*.cpp. Talk to the adapter through CliHost
// (cli/CliHost.h): a subcommand gives it a plan (the steps on each port and how a port's
// result is told) and it runs the plan on every port the command line names, at once.
// Errors go through `cli.sink` (ShowMessage or Error) and, with --json, a command puts its
// object in `cli.result` rather than printing it: Run prints one object either way.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/ConsoleSink.h"
#include "transport/LineTrace.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Options every subcommand may use; they are given before or after the subcommand.
struct GlobalOptions {
    // --port/-p, repeated (or CONFIGURATOR_PORT): device paths or "USB:<serial>", or one of
    // "all[:PATTERN]" and "auto[:PATTERN]" for the listed ports.
    std::vector<std::string> ports;
    bool json = false;  // --json: one JSON object on stdout instead of text
    std::string trace;  // --trace: file the line trace is appended to
};

struct CliApp {
    CLI::App app;
    GlobalOptions options;
    std::function<int()> action;  // set by the chosen subcommand
    ConsoleSink sink;
    std::unique_ptr<LineTrace> trace;  // open while the action runs, when asked for
    // With --json: the command's object; Run adds "ok" (and "error" on failure). Left
    // empty by a command that prints its objects as it goes (ports --watch).
    std::optional<nlohmann::json> result;

    // `name` is what the program calls itself in its help and --version: the name it was
    // started by (korvanta-configurator-cli where installed).
    explicit CliApp(const std::string& name = "configurator-cli");
    // Opens the trace, runs the action and prints the JSON object; the exit status.
    int Run();
    // kExitUsage with a message on stderr when no port was given.
    int RequirePort();
};

// The one check of every number the command line takes: a finite number (a whole one for an
// integer option) from `min` to `max`, refused with a plain message that CLI11 puts after the
// option's name: "--settle: -5 is below 0", "--units: abc is not a number", "--idle-timeout:
// inf is not a finite number", "--units: 1.5 is not a whole number". The text is handed on in
// the form the option's conversion reads exactly ("1e3" for an integer becomes "1000", and "010"
// stays ten rather than being read as octal), so that no number that passes can fail to convert
// or convert to another. It rewrites, so it is given with transform, not check:
// ->transform(NumberFrom(0)) on an int, ->transform(NumberFrom(0.0)) on a double.
CLI::Validator NumberCheck(double min, double max, bool whole);
template <typename T>
CLI::Validator NumberFrom(T min, T max = std::numeric_limits<T>::max()) {
    // Every int is a double exactly; wider integers are not.
    static_assert(std::is_floating_point_v<T> || sizeof(T) <= sizeof(int));
    return NumberCheck(static_cast<double>(min), static_cast<double>(max), std::is_integral_v<T>);
}

// The status after checking that everything printed reached stdout (a full disk, a closed
// file): such a loss is reported on stderr and fails a run that had succeeded.
int CheckOutput(int status);

void RegisterSearchCommand(CliApp& cli);
void RegisterModeCommand(CliApp& cli);
void RegisterPowerCommand(CliApp& cli);
void RegisterTestCommand(CliApp& cli);
void RegisterRepairCommand(CliApp& cli);
void RegisterUpdateCommand(CliApp& cli);
void RegisterPortsCommand(CliApp& cli);
void RegisterRecordsCommand(CliApp& cli);
void RegisterStationCommand(CliApp& cli);
