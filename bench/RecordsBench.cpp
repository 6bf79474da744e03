// What keeping a record costs a station: the time to record one unit (begin the row before the
// job, complete it after), median and worst of many, for
//   - SQLite, the default store (WAL, each commit synced to the disk);
//   - PostgreSQL through the local file and the forwarder: the caller's time, and the time
//     until the row is on the server (the local acknowledgement included);
//   - the same while the server is stopped (the caller's time must not care), and how long the
//     rows written meanwhile take to reach the server once it is started again.
// The server is a private cluster started with the tests' script unless one is named.
//
//     bench/records [--units N] [--records postgresql://...]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "records/RecordStore.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kForwardLimit = 120s;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

UnitRecord Unit(int n) {
    UnitRecord r;
    r.station = "bench";
    r.port = std::string("/dev/pts/") + std::to_string(n % 8);
    r.serial = std::to_string(100000 + n);
    r.signature = "KV-2";
    r.hardware = "2.1";
    r.firmwareBefore = "1.07";
    r.bootwareBefore = "0.9";
    r.modeBefore = "01";
    r.job = "update+mode 02";
    r.fileName = "fw-1.08.rfw";
    r.fileSha256 = std::string(64, 'c');
    return r;
}

bool Record(RecordStore& store, int n) {
    UnitRecord r = Unit(n);
    std::string error;
    if (!store.Begin(r, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    r.firmwareAfter = "1.08";
    r.bootwareAfter = r.bootwareBefore;
    r.modeAfter = "02";
    r.result = "ok";
    r.resultText = "Updating firmware : Ok";
    r.verdict = Verdict::Passed;
    if (!store.Complete(r, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

struct Times {
    std::vector<double> ms;
    void Print(const char* what) {
        std::sort(ms.begin(), ms.end());
        std::printf("%-44s %9.3f ms %9.3f ms\n", what, ms[ms.size() / 2], ms.back());
    }
};

// Times `units` units; with `untilServer`, also until each row is on the server.
bool Run(RecordStore& store, int units, int first, Times& caller, Times* untilServer) {
    for (int n = 0; n < units; ++n) {
        const auto start = Clock::now();
        if (!Record(store, first + n)) return false;
        caller.ms.push_back(Ms(Clock::now() - start));
        if (untilServer) {
            if (!store.WaitForwarded(kForwardLimit)) {
                std::fprintf(stderr, "not forwarded: %s\n", store.Forwarding().lastError.c_str());
                return false;
            }
            untilServer->ms.push_back(Ms(Clock::now() - start));
        }
    }
    return true;
}

class Cluster {
public:
    Cluster() {
        std::string pattern = "/tmp/records-bench-XXXXXX";
        dir_ = mkdtemp(pattern.data());
        ok_ = Do("start");
    }
    ~Cluster() { Do("remove"); }
    bool Ok() const { return ok_; }
    bool Do(const char* command) {
        const std::string line = std::string(PG_CLUSTER_SCRIPT) + " " + command + " " + dir_;
        return std::system(line.c_str()) == 0;
    }
    std::string Uri() const { return "postgresql://configurator@/postgres?host=" + dir_; }

private:
    std::string dir_;
    bool ok_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    int units = 1000;
    std::string where;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--units") units = std::max(1, std::atoi(argv[i + 1]));
        if (option == "--records") where = argv[i + 1];
    }
    std::string pattern = (fs::temp_directory_path() / "records-bench-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    std::string error;
    std::printf("time to record one unit (begin + complete), %d units each\n", units);
    std::printf("%-44s %12s %12s\n", "", "median", "worst");

    auto sqlite = OpenRecordStore((dir / "records.sqlite").string(), error);
    Times local;
    if (!sqlite || !Run(*sqlite, units, 0, local, nullptr)) return 1;
    local.Print("SQLite (WAL, synchronous FULL)");
    sqlite.reset();

    std::unique_ptr<Cluster> cluster;
    if (where.empty()) {
        cluster = std::make_unique<Cluster>();
        if (!cluster->Ok()) return 1;
        where = cluster->Uri();
    }
    RecordStoreOptions options;
    options.localFile = (dir / "forwarded.sqlite").string();
    options.retryFirst = 100ms;
    options.retryLast = 1s;
    auto shared = OpenRecordStore(where, error, options);
    if (!shared) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Times caller, onServer;
    if (!Run(*shared, units, units, caller, &onServer)) return 1;
    caller.Print("PostgreSQL, the caller's time");
    onServer.Print("PostgreSQL, until the row is on the server");

    int code = 0;
    if (cluster) {
        // The server goes away: stations record at the same pace, the rows wait locally.
        Times away;
        if (!cluster->Do("stop") || !Run(*shared, units, 2 * units, away, nullptr)) return 1;
        away.Print("PostgreSQL stopped, the caller's time");
        const int pending = shared->Forwarding().pending;
        const auto restart = Clock::now();
        if (!cluster->Do("start") || !shared->WaitForwarded(kForwardLimit)) return 1;
        std::vector<UnitRecord> rows;
        if (!shared->List({}, rows, error)) return 1;
        std::printf(
            "server restarted: %d rows waiting reached it in %.2f s (forwarder's pause up to "
            "%.1f s included); rows on the server %zu of %d written, lost %d\n",
            pending, Ms(Clock::now() - restart) / 1000.0,
            std::chrono::duration<double>(options.retryLast).count(), rows.size(), 2 * units,
            2 * units - static_cast<int>(rows.size()));
        code = static_cast<int>(rows.size()) == 2 * units ? 0 : 1;
    }
    shared.reset();
    fs::remove_all(dir);
    return code;
}
