// What configurator-cli's search makes of a port with another device on it, against a port
// where nothing answers: adapter-sim plays the far end (silent, or talking in one of its
// ways), the command line searches it as a user would, and the table gives each far end's time
// to "not found", its exit status and its ratio to the silent port's time.
//
//     bench/talkers [--runs N]
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"

namespace {

struct FarEnd {
    const char* name;
    std::vector<std::string> sim;
};

struct Row {
    double medianS = 0, worstS = 0;
    int status = 0;
    bool notFound = true;
};

Row Measure(const FarEnd& far, int runs) {
    Row row;
    std::vector<double> times;
    AdapterSimProcess sim(ADAPTER_SIM_PATH, far.sim, ChildProcess::kDiscard);
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const ChildProcess::Result r =
            ChildProcess::Run({CONFIGURATOR_CLI_PATH, "--port", sim.Pty(), "search"});
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        row.status = std::max(row.status, r.status);
        row.notFound = row.notFound && r.err.find("is not found") != std::string::npos;
    }
    std::sort(times.begin(), times.end());
    row.medianS = times[times.size() / 2];
    row.worstS = times.back();
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Time of a search on a port with another device on it"};
    int runs = 5;
    app.add_option("--runs", runs, "Searches per far end")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    runs = std::max(runs, 1);

    const std::vector<FarEnd> ends = {
        {"silent (no adapter)", {"--speed", "57600"}},
        {"a byte every 5 ms, never a start marker", {"--talk", "bytes", "--talk-every", "5"}},
        {"a start marker, then a byte every 5 ms",
         {"--talk", "started-reply", "--talk-every", "5"}},
        {"a position receiver: a sentence every 50 ms",
         {"--talk", "sentences", "--talk-every", "50"}},
    };
    std::printf("configurator-cli --port P search, %d runs each\n\n", runs);
    std::printf("%-46s %9s %9s %6s %11s %8s\n", "far end of the port", "median s", "worst s",
                "exit", "not found", "ratio");
    double silent = 0;
    bool allWithin = true;
    for (const FarEnd& far : ends) {
        const Row row = Measure(far, runs);
        if (silent == 0) silent = row.medianS;
        const double ratio = row.worstS / silent;
        if (&far != &ends.front()) allWithin = allWithin && ratio <= 1.5 && row.notFound;
        std::printf("%-46s %9.2f %9.2f %6d %11s %7.2fx\n", far.name, row.medianS, row.worstS,
                    row.status, row.notFound ? "yes" : "NO", ratio);
    }
    std::printf("\nratio: the worst run's time over the silent port's median; goal at most 1.5x\n");
    return allWithin ? 0 : 1;
}
