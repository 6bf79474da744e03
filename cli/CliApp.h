// The command line's parts that every subcommand shares. How to add a subcommand:
//   1. Write cli/<Name>Command.cpp defining `void Register<Name>Command(CliApp& cli)`; it adds
//      a subcommand to `cli.app` and, in the subcommand's callback, sets `cli.action` to the
//      function that does the work and returns the exit status (kExitOk, kExitFailed,
//      kExitUsage).
//   2. Add the one call `Register<Name>Command(cli);` in cli/main.cpp (the declaration is
//      below; a new name gets its declaration here).
// cli/CMakeLists.txt picks up every cli/*.cpp. Talk to the adapter through CliHost
// (cli/CliHost.h): it owns the loop, the device, the update engine and the adapter control.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Options every subcommand may use; they are given before or after the subcommand.
struct GlobalOptions {
    std::string port;   // --port (or CONFIGURATOR_PORT): a device path or "USB:<serial>"
    bool json = false;  // --json: one JSON object on stdout instead of text
};

struct CliApp {
    CLI::App app;
    GlobalOptions options;
    std::function<int()> action;  // set by the chosen subcommand

    CliApp();
    // kExitUsage with a message on stderr when no port was given.
    int RequirePort() const;
};

void RegisterSearchCommand(CliApp& cli);
void RegisterModeCommand(CliApp& cli);
void RegisterPowerCommand(CliApp& cli);
void RegisterTestCommand(CliApp& cli);
void RegisterRepairCommand(CliApp& cli);
void RegisterUpdateCommand(CliApp& cli);
void RegisterPortsCommand(CliApp& cli);
