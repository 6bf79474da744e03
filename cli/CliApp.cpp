#include "cli/CliApp.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "control/AppTexts.h"
#include "platform/VersionInfo.h"

namespace {
// Built from the constants, so the list cannot drift from what the program returns.
std::string ExitStatusFooter() {
    return "Exit status:\n"
           "  " +
           std::to_string(kExitOk) +
           "  done (also after --help, --version and a call without arguments)\n"
           "  " +
           std::to_string(kExitFailed) +
           "  failed: the adapter was not found or refused, a file was refused, an update\n"
           "     did not end with Ok, or the output could not be written\n"
           "  " +
           std::to_string(kExitUsage) +
           "  usage error: an unknown or malformed option or argument, no port, or a trace\n"
           "     file that cannot be opened\n";
}
}  // namespace

CliApp::CliApp(const std::string& name)
    : app("Finds the " + AppProductName() +
              " adapter on a serial port and talks to it: identity, modes, external power, "
              "self-test, firmware update and repair.",
          name) {
    // The same command line on every platform: Windows-style "/name" options would take a
    // file path that starts with a slash for an option there.
    app.allow_windows_style_options(false);
    app.add_option("-p,--port", options.ports,
                   "Serial port: a device path such as /dev/ttyUSB0 (COM3 on Windows), a link "
                   "to one such as /dev/serial/by-id/..., or USB:<serial number> for an FTDI "
                   "device. Repeat it to work on several adapters at once. 'all' works on "
                   "every listed port where an adapter answers, 'auto' on the one port where "
                   "it does; either may narrow the ports with a pattern, as in "
                   "auto:/dev/ttyUSB* or all:COM*")
        ->envname("CONFIGURATOR_PORT")
        ->type_name("PORT");
    app.add_flag("--json", options.json,
                 "Print the result as one JSON object, with \"ok\" and, on failure, \"error\"");
    app.add_option("--trace", options.trace,
                   "Append every byte sent to and received from the adapter, with times and "
                   "line settings, to this file")
        ->type_name("FILE");
    app.set_version_flag("--version",
                         app.get_name() + " " + platform::GetVersionValue("FileVersion"));
    // Before the subcommands are added: they take the footer over, so each one's help has it.
    app.footer(ExitStatusFooter());
    app.require_subcommand(1);
    app.fallthrough();
}

int CliApp::Run() {
    int status = kExitUsage;
    // Several ports trace to FILE.1, FILE.2, ...: FILE itself is not made.
    const bool perPort = options.ports.size() > 1 ||
                         (options.ports.size() == 1 &&
                          (options.ports[0] == "all" || options.ports[0].rfind("all:", 0) == 0));
    if (!options.trace.empty() && !perPort) {
        std::string reason;
        trace = LineTrace::OpenFile(options.trace, reason);
        if (!trace) sink.Error("Cannot open the trace file " + options.trace + ": " + reason);
    }
    if (options.trace.empty() || trace || perPort) status = action ? action() : kExitUsage;
    if (options.json && (result || status != kExitOk)) {
        nlohmann::json out = result && result->is_object() ? *result : nlohmann::json::object();
        out["ok"] = status == kExitOk;
        if (status != kExitOk) {
            const std::string said = sink.Said();
            out["error"] = said.empty() ? "The command failed." : said;
        }
        // File names come from the user and need not be UTF-8: JSON must still be printed.
        std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }
    trace.reset();
    return status;
}

int CliApp::RequirePort() {
    if (!options.ports.empty()) return kExitOk;
    sink.Error("--port is required for this command (or set CONFIGURATOR_PORT)");
    return kExitUsage;
}

CLI::Validator NumberCheck(double min, double max, bool whole) {
    // The shortest text that reads back as the value: "0", "0.5", "2147483647".
    auto shown = [](double value) {
        char text[64];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        return std::string(text, end);
    };
    const bool unbounded = max == std::numeric_limits<double>::max() ||
                           (whole && max == std::numeric_limits<int>::max());
    const std::string description =
        unbounded ? (min == 0 ? std::string("NONNEGATIVE") : "NOT BELOW " + shown(min))
                  : shown(min) + " TO " + shown(max);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            // from_chars, not strtod: the locale's decimal point and hexadecimal do not count.
            const char* first = text.data() + (text.size() > 1 && text[0] == '+' ? 1 : 0);
            const char* last = text.data() + text.size();
            double value = 0;
            const auto [end, ec] = std::from_chars(first, last, value);
            // NaN would pass every comparison, and an infinite time is a typo, not a wish.
            if (ec == std::errc::result_out_of_range) return text + " is out of range";
            if (ec == std::errc() && end == last && !std::isfinite(value))
                return text + " is not a finite number";
            if (ec != std::errc() || end != last) return text + " is not a number";
            if (whole && value != std::floor(value)) return text + " is not a whole number";
            if (value < min) return text + " is below " + shown(min);
            if (value > max) return text + " is above " + shown(max);
            text = whole ? std::to_string(static_cast<long long>(value)) : shown(value);
            return "";
        },
        description, "NUMBER");
}

int CheckOutput(int status) {
    // stdio's own error first: it holds the system's reason, which std::cout does not keep.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = errno;
    std::cout.flush();
    if (flushed && std::cout && !std::ferror(stdout)) return status;
    std::cerr << "configurator-cli: the output could not be written: "
              << (reason != 0 ? std::strerror(reason) : "write error") << '\n';
    return status == kExitOk ? kExitFailed : status;
}
