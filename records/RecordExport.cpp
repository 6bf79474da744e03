#include "records/RecordExport.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "records/RecordTime.h"

namespace {

// Column name and value of every field, in the order of the CSV's columns and JSON's keys.
struct Field {
    const char* csv;
    const char* json;
};
constexpr Field kFields[] = {
    {"id", "id"},
    {"started", "started"},
    {"ended", "ended"},
    {"station", "station"},
    {"port", "port"},
    {"slot", "slot"},
    {"serial", "serial"},
    {"signature", "signature"},
    {"hardware", "hardware"},
    {"firmware_before", "firmwareBefore"},
    {"firmware_after", "firmwareAfter"},
    {"bootware_before", "bootwareBefore"},
    {"bootware_after", "bootwareAfter"},
    {"mode_before", "modeBefore"},
    {"mode_after", "modeAfter"},
    {"job", "job"},
    {"note", "note"},
    {"file_name", "fileName"},
    {"file_sha256", "fileSha256"},
    {"result", "result"},
    {"result_text", "resultText"},
    {"seconds", "seconds"},
    {"verdict", "verdict"},
};

std::string Seconds(double seconds) {
    char text[400];
    const auto end =
        std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3).ptr;
    return std::string(text, end);
}

std::vector<std::string> Texts(const UnitRecord& r) {
    return {r.id,
            FormatIsoTime(r.startedMs),
            r.endedMs ? FormatIsoTime(r.endedMs) : "",
            r.station,
            r.port,
            r.slot,
            r.serial,
            r.signature,
            r.hardware,
            r.firmwareBefore,
            r.firmwareAfter,
            r.bootwareBefore,
            r.bootwareAfter,
            r.modeBefore,
            r.modeAfter,
            r.job,
            r.note,
            r.fileName,
            r.fileSha256,
            r.result,
            r.resultText,
            r.endedMs ? Seconds(r.seconds) : "",
            VerdictToken(r.verdict)};
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::string RecordsCsv(const std::vector<UnitRecord>& rows) {
    std::string out;
    for (const Field& f : kFields)
        out += std::string(out.empty() ? "" : ",") + f.csv;
    out += "\r\n";
    for (const UnitRecord& row : rows) {
        const auto texts = Texts(row);
        for (std::size_t i = 0; i < texts.size(); ++i)
            out.append(i ? "," : "").append(CsvField(texts[i]));
        out += "\r\n";
    }
    return out;
}

std::string RecordsJson(const std::vector<UnitRecord>& rows) {
    // Ordered: the keys in the order of the CSV's columns, not sorted.
    auto list = nlohmann::ordered_json::array();
    for (const UnitRecord& row : rows) {
        const auto texts = Texts(row);
        nlohmann::ordered_json object;
        for (std::size_t i = 0; i < texts.size(); ++i)
            object[kFields[i].json] = texts[i];
        // Numbers as JSON has them, not as text; a row without an end time (still worked, or
        // interrupted by a kill) took no known time, not 0 s.
        if (row.endedMs) {
            object["seconds"] = row.seconds;
        } else {
            object["ended"] = nullptr;
            object["seconds"] = nullptr;
        }
        list.push_back(std::move(object));
    }
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
