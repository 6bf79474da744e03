#include "cli/CliApp.h"

#include <iostream>

#include "control/AppTexts.h"
#include "platform/VersionInfo.h"

CliApp::CliApp()
    : app("Finds the " + AppProductName() +
              " adapter on a serial port and talks to it: identity, modes, external power, "
              "self-test, firmware update and repair.",
          "configurator-cli") {
    // The same command line on every platform: Windows-style "/name" options would take a
    // file path that starts with a slash for an option there.
    app.allow_windows_style_options(false);
    app.add_option("--port", options.port,
                   "Serial port: a device path such as /dev/ttyUSB0 (COM3 on Windows), or "
                   "USB:<serial number> for an FTDI device")
        ->envname("CONFIGURATOR_PORT");
    app.add_flag("--json", options.json, "Print the result as one JSON object");
    app.set_version_flag("--version", AppProductName() + " " +
                                          platform::GetVersionValue("InternalName") + " " +
                                          platform::GetVersionValue("FileVersion"));
    app.require_subcommand(1);
    app.fallthrough();
}

int CliApp::RequirePort() const {
    if (!options.port.empty()) return kExitOk;
    std::cerr << "--port is required for this command (or set CONFIGURATOR_PORT)\n";
    return kExitUsage;
}
