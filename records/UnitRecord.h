// One row of the records: what a station did to one unit, so the maker can later answer "which
// firmware did unit 000123 get, when, on which station, and did it pass?". A row is written
// when the job starts and completed when it ends, so a crash leaves it "started" (then
// "interrupted"), never absent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Verdict {
    Started,      // written before the job touched the unit; not ended yet
    Passed,       // the identity read after the job shows what the job asked
    Failed,       // the job or the check after it did not
    Interrupted,  // left "started" by a station that stopped (crash, kill, power)
};

// The stable token stored and shown for a verdict ("started", "passed", ...).
const char* VerdictToken(Verdict verdict);
// False for an unknown token.
bool ParseVerdict(const std::string& token, Verdict& verdict);

struct UnitRecord {
    // A UUID made when the row is begun: rows stay unique when several stations share one
    // database, and forwarding can upsert by it.
    std::string id;
    std::int64_t startedMs = 0;  // UTC, ms since the epoch
    std::int64_t endedMs = 0;    // 0 while the row is started or when it was interrupted
    std::string station;         // host name
    std::string port;
    // Where the unit was plugged in: the place's name from the station's slot file, else the
    // place itself (the USB topology path, a link's name); "" where the port has no place.
    std::string slot;
    std::string serial;
    std::string signature;
    std::string hardware;
    std::string firmwareBefore, firmwareAfter;
    std::string bootwareBefore, bootwareAfter;
    std::string modeBefore, modeAfter;
    std::string job;   // what the station was asked, e.g. "update+mode 02"
    std::string note;  // how the job went about it, e.g. "from boot loader"
    std::string fileName;
    std::string fileSha256;  // hex, lower case; "" when the job has no file
    // The update's outcome as a short stable token, one of UpdateResultTokens() ("ok",
    // "port-lost", ...); "" when no update ran.
    std::string result;
    std::string resultText;  // what the user saw, e.g. "Updating firmware : Ok"
    double seconds = 0;
    Verdict verdict = Verdict::Started;
};

// The update outcomes as the records name them (UnitRecord::result), every one there is.
const std::vector<std::string>& UpdateResultTokens();

// A new row id: a random (version 4) UUID in its usual text form.
std::string NewRowId();
