// The station's cost: 8 adapter-sims plugged in one after another (each makes its link in the
// bench's folder), worked by a station in this process (search, update, search again, judge,
// records in SQLite), against the same 8 updated as a gang. Per unit: from plug-in to its
// record completed, against the gang's search and update of the unit; and units per hour.
//
//     bench/station [--units N] [--pages N] [--stagger MS] [--settle MS]
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "records/RecordStore.h"
#include "station/PortRun.h"
#include "station/Station.h"
#include "tests/support/AdapterSimProcess.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

class GangCounter : public PortRun::Observer {
public:
    explicit GangCounter(EventLoop& loop) : loop_(loop) {}
    void Finished(PortRun&) override {
        if (--running == 0) loop_.Quit(0);
    }
    int running = 0;

private:
    EventLoop& loop_;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"A station's cost against a gang update of the same adapters"};
    int units = 8, pages = 1024, staggerMs = 1000, settleMs = 250;
    app.add_option("--units", units, "Adapters plugged in")->capture_default_str();
    app.add_option("--pages", pages, "Pages of 128 bytes in the image")->capture_default_str();
    app.add_option("--stagger", staggerMs, "Between two plug-ins, ms")->capture_default_str();
    app.add_option("--settle", settleMs, "The station's settle time, ms")->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    const fs::path dir = fs::temp_directory_path() / ("bench-station-" + std::to_string(getpid()));
    fs::create_directories(dir / "bench");
    const std::string file = (dir / "fw.rfw").string();
    {
        std::string content(80 + static_cast<std::size_t>(pages) * 128, '\0');
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>((i * 71 + i / 256) & 0xFF);
        std::ofstream(file, std::ios::binary) << content;
    }
    setenv("CONFIGURATOR_PORTS", (dir / "bench").c_str(), 1);
    auto sim = [&](int i, bool link) {
        std::vector<std::string> o = {"--pace", "--serial", "0004" + std::to_string(10 + i)};
        if (link) o.insert(o.end(), {"--link", (dir / "bench" / ("a" + std::to_string(i))).string()});
        return std::make_unique<AdapterSimProcess>(ADAPTER_SIM_PATH, o, ChildProcess::kDiscard);
    };

    // The gang: the same steps a station runs before its judgement, all at once.
    double gangUnit = 0, gangAll = 0;
    {
        std::vector<std::unique_ptr<AdapterSimProcess>> sims;
        for (int i = 0; i < units; ++i)
            sims.push_back(sim(i, false));
        EventLoop loop;
        GangCounter counter(loop);
        std::vector<std::unique_ptr<PortRun>> runs;
        for (const auto& s : sims)
            runs.push_back(std::make_unique<PortRun>(loop, s->Pty(), s->Pty(), counter));
        const auto t0 = Clock::now();
        counter.running = units;
        for (auto& run : runs)
            run->Start({PortRun::Step::Search(), PortRun::Step::Update(file, false, false, 30)});
        loop.Run();
        gangAll = Since(t0);
        for (const auto& run : runs)
            gangUnit += run->Seconds() / units;
    }

    // The station: plugged in one after another.
    std::string error;
    auto store = OpenRecordStore((dir / "records.sqlite").string(), error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    EventLoop loop;
    StationJob job;
    job.updateFile = file;
    Station::Options options;
    options.stationName = "bench";
    options.settleMs = settleMs;
    options.units = units;
    Station station(loop, job, *store, options);
    std::map<std::string, Clock::time_point> plugged;
    std::map<std::string, double> unitSeconds;
    std::vector<std::unique_ptr<AdapterSimProcess>> sims;
    const auto t0 = Clock::now();
    int next = 0;
    auto plug = loop.CreateTimer();
    plug->SetCallback([&] {
        if (next >= units) return plug->Stop();
        const std::string link = (dir / "bench" / ("a" + std::to_string(next))).string();
        plugged[link] = Clock::now();
        sims.push_back(sim(next++, true));
    });
    plug->Start(staggerMs);
    plugged[(dir / "bench" / "a0").string()] = Clock::now();
    sims.push_back(sim(next++, true));
    station.Start(
        [&](const Station::Slot& slot, const std::string& text) {
            if (text == "passed" || text.rfind("failed", 0) == 0)
                unitSeconds[slot.port] =
                    std::chrono::duration<double>(Clock::now() - plugged[slot.port]).count();
        },
        nullptr, [&] { loop.Quit(0); });
    loop.Run();
    const double stationAll = Since(t0);
    double stationUnit = 0;
    for (const auto& [port, s] : unitSeconds)
        stationUnit += s / units;
    const Station::Counts c = station.GetCounts();

    std::printf("%d adapters, %d pages of 128 bytes at 115200 baud (paced); station: settle %d ms, "
                "plugged in every %d ms, records in SQLite\n\n",
                units, pages, settleMs, staggerMs);
    std::printf("%-44s %10s %12s\n", "", "s per unit", "units/hour");
    std::printf("%-44s %10.2f %12.0f\n", "gang: search and update, all at once", gangUnit,
                units * 3600.0 / gangAll);
    std::printf("%-44s %10.2f %12.0f\n", "station: plug-in to record, one by one", stationUnit,
                c.unitsPerHour.value_or(0));
    std::printf("\nstation overhead per unit: %.1f %% (goal: at most 5 %%); passed %d of %d\n",
                100 * (stationUnit / gangUnit - 1), c.passed, units);
    std::printf("(units per hour: the station's passed units over its run; the gang's over "
                "its %.1f s)\n",
                gangAll);
    (void)stationAll;
    store.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return c.passed == units ? 0 : 1;
}
