// `records`: what the stations recorded, one row per unit worked, as a table to read or as CSV
// or JSON to export; from the local file or from the shared server. It needs no port.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "records/RecordExport.h"
#include "records/RecordStore.h"
#include "records/RecordTime.h"

namespace {

struct RecordsOptions {
    std::string where;
    std::string serial;
    std::string since;
    std::string result;
    std::string verdict;
    std::string trace;
    bool csv = false;
};

// "1.07" when a value stayed, "1.07 > 1.08" when the job changed it, "1.07 > ?" when the
// unit could not be asked afterwards: it was lost, did not answer, or the run was interrupted
// (by Ctrl-C, which ends the row, or by a kill, which leaves it without an end). Only a row
// still being worked has no after-values yet.
// "? > 1.08": a unit finished from its boot loader, whose firmware before did not run.
std::string Change(const UnitRecord& r, const std::string& before, const std::string& after) {
    if (after.empty() && before.empty()) return "";
    if (before.empty()) return "? > " + after;
    if (after.empty()) return r.verdict == Verdict::Started ? before : before + " > ?";
    return after == before ? before : before + " > " + after;
}

// "2026-11-01 09:15:02": the ISO time to the second, easier on the eye in a table.
std::string TableTime(std::int64_t ms) {
    std::string text = FormatIsoTime(ms).substr(0, 19);
    text[10] = ' ';
    return text;
}

void PrintTable(const std::vector<UnitRecord>& rows) {
    if (rows.empty()) {
        std::cout << "0 records\n";
        return;
    }
    // The slot only when some station named its places (or had places to name).
    const bool slots = std::any_of(rows.begin(), rows.end(), [](const UnitRecord& r) {
        return !r.slot.empty() && r.slot != r.port;
    });
    // The id's first characters: enough to name a row to --trace.
    std::vector<std::vector<std::string>> table = {{"id", "started (UTC)", "station", "port",
                                                    "serial", "job", "firmware", "mode", "verdict",
                                                    "result", "seconds"}};
    if (slots) table[0].insert(table[0].begin() + 3, "slot");
    for (const UnitRecord& r : rows) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
        table.push_back({r.id.substr(0, 8), TableTime(r.startedMs), r.station, r.port, r.serial,
                         r.job, Change(r, r.firmwareBefore, r.firmwareAfter),
                         Change(r, r.modeBefore, r.modeAfter), VerdictToken(r.verdict),
                         r.note.empty() ? r.result : r.result + " (" + r.note + ")",
                         r.endedMs ? seconds : ""});
        if (slots) table.back().insert(table.back().begin() + 3, r.slot);
    }
    std::vector<std::size_t> widths(table[0].size(), 0);
    for (const auto& line : table)
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    for (const auto& line : table) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            // Seconds are a number: aligned right, the last column, so no trailing spaces.
            if (c + 1 == line.size())
                text += std::string(widths[c] - line[c].size(), ' ') + line[c];
            else
                text += line[c] + std::string(widths[c] - line[c].size() + 2, ' ');
        }
        std::cout << text << '\n';
    }
    std::cout << rows.size() << (rows.size() == 1 ? " record" : " records") << '\n';
}

// A unit's line trace, as its station kept it: in the station's own file (a server has none).
int PrintTrace(CliApp& cli, const RecordsOptions& o) {
    std::string error;
    const std::string where = IsPostgresLocation(o.where) ? std::string() : o.where;
    const auto store = OpenRecordReader(where, error);
    std::string id, text;
    if (!store || !store->Trace(o.trace, id, text, error)) {
        cli.sink.Error(error);
        return kExitFailed;
    }
    if (id.empty()) {
        cli.sink.Error("No line trace is kept for a record whose id begins with " + o.trace +
                       " in " + store->Describe() +
                       " (a station keeps those of units that did not pass, all with "
                       "--keep-traces).");
        return kExitFailed;
    }
    if (cli.options.json)
        cli.result = nlohmann::json{{"id", id}, {"trace", text}};
    else
        std::cout << text;
    return kExitOk;
}

int ListRecords(CliApp& cli, const RecordsOptions& o) {
    if (!o.trace.empty()) return PrintTrace(cli, o);
    if (o.csv && cli.options.json) {
        cli.sink.Error("--csv and --json exclude each other");
        return kExitUsage;
    }
    RecordFilter filter;
    filter.serial = o.serial;
    if (!o.since.empty()) ParseIsoTime(o.since, filter.sinceMs);  // checked by its validator
    // --result takes a verdict as well as an update's outcome: the two never share a word.
    Verdict verdict{};
    if (!o.verdict.empty() && ParseVerdict(o.verdict, verdict)) filter.verdict = verdict;
    if (ParseVerdict(o.result, verdict))
        filter.verdict = verdict;
    else
        filter.result = o.result;

    std::string error;
    const auto store = OpenRecordReader(o.where, error);
    std::vector<UnitRecord> rows;
    if (!store || !store->List(filter, rows, error)) {
        cli.sink.Error(error);
        return kExitFailed;
    }
    if (cli.options.json)
        std::cout << RecordsJson(rows) << '\n';
    else if (o.csv)
        std::cout << RecordsCsv(rows);
    else
        PrintTable(rows);
    return kExitOk;
}

std::vector<std::string> Verdicts() {
    std::vector<std::string> tokens;
    for (const Verdict v :
         {Verdict::Started, Verdict::Passed, Verdict::Failed, Verdict::Interrupted})
        tokens.emplace_back(VerdictToken(v));
    return tokens;
}

std::string Listed(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words)
        text.append(text.empty() ? "" : ", ").append(w);
    return text;
}

// A result that no row can hold would list nothing, as if no unit had it: refused instead.
CLI::Validator KnownResult() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto& outcomes = UpdateResultTokens();
            const auto verdicts = Verdicts();
            if (std::find(outcomes.begin(), outcomes.end(), text) != outcomes.end() ||
                std::find(verdicts.begin(), verdicts.end(), text) != verdicts.end())
                return "";
            return text + " is not a result; a result is an update's outcome (" + Listed(outcomes) +
                   ") or a verdict (" + Listed(verdicts) + ")";
        },
        "", "RESULT");
}

CLI::Validator IsoTime() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::int64_t ms = 0;
            return ParseIsoTime(text, ms) ? "" : "Not a date or time: " + text;
        },
        "", "ISO-TIME");
}

}  // namespace

void RegisterRecordsCommand(CliApp& cli) {
    static RecordsOptions o;
    CLI::App* sub = cli.app.add_subcommand(
        "records",
        "List the units the stations worked (one row each: when, where, which unit, which "
        "firmware and mode before and after, the job, its file and result); --csv or --json "
        "export them");
    sub->add_option("--records", o.where,
                    "Where the records are: an SQLite file (default "
                    "$XDG_DATA_HOME/korvanta-configurator/records.sqlite), read and never "
                    "created, or a PostgreSQL server shared by stations, "
                    "postgresql://USER@HOST/DB or 'host=HOST dbname=DB user=USER', or "
                    "postgresql: alone for the PG* environment variables and ~/.pgpass")
        ->type_name("FILE|URI");
    sub->add_option("--serial", o.serial, "Only this unit (its serial number)");
    sub->add_option("--since", o.since,
                    "Only units started at or after this time, UTC unless an offset is given "
                    "(2026-11-01, 2026-11-01T09:30, 2026-11-01T09:30+02:00)")
        ->type_name("DATE[THH:MM[:SS]]")
        ->check(IsoTime());
    sub->add_option("--result", o.result,
                    "Only this result: an update's outcome (" + Listed(UpdateResultTokens()) +
                        ") or a verdict")
        ->type_name("RESULT")
        ->check(KnownResult());
    sub->add_option("--verdict", o.verdict, "Only this verdict")->check(CLI::IsMember(Verdicts()));
    sub->add_option("--trace", o.trace,
                    "Print the line trace kept with this record (its id, or the id's first "
                    "characters): every byte of the unit's job, as --trace writes it")
        ->type_name("ID");
    sub->add_flag("--csv", o.csv,
                  "Print CSV (a header row, then one row per unit); --json prints a JSON array");
    sub->callback([&cli] { cli.action = [&cli] { return ListRecords(cli, o); }; });
}
