// `records` and `station` where the program was built without the records library (the Windows
// build: Debian ships SQLite and libpq for Linux only). The commands are still listed, and say
// why they cannot run rather than being unknown words.
#include "cli/CliApp.h"

namespace {
void Unavailable(CliApp& cli, const char* name, const char* description) {
    CLI::App* sub = cli.app.add_subcommand(name, description);
    sub->allow_extras();
    sub->callback([&cli] {
        cli.action = [&cli] {
            cli.sink.Error(
                "This build of configurator-cli keeps no records: it was made "
                "without SQLite and PostgreSQL's client library.");
            return kExitFailed;
        };
    });
}
}  // namespace

void RegisterRecordsCommand(CliApp& cli) {
    Unavailable(cli, "records", "List the units the stations worked");
}

void RegisterStationCommand(CliApp& cli) {
    Unavailable(cli, "station", "Work every adapter plugged in and keep a record of each");
}
