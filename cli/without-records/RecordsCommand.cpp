// `records` where the program was built without the records library (the Windows build: Debian
// ships SQLite and libpq for Linux only). The command is still listed, and says why it cannot
// run rather than being an unknown word.
#include "cli/CliApp.h"

void RegisterRecordsCommand(CliApp& cli) {
    CLI::App* sub = cli.app.add_subcommand("records", "List the units the stations worked");
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
