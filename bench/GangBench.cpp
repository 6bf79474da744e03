// Many adapters at once, measured:
//   - a gang update of N adapter-sims on N pseudo-terminals that move bytes at the line's
//     speed, N = 1, 2, 4, 8, 16, run in this process as configurator-cli runs it (one core per
//     port, one loop): wall time against one update's, CPU of the process, threads, memory;
//   - configurator-cli --port auto over 16 listed ports (one adapter, one port with another
//     device talking on it, the rest silent): the time until the adapter is reported found,
//     against a search of that port alone; and over 16 ports with no adapter, against a
//     search of one silent port.
//
//     bench/gang [--max N] [--pages N] [--runs N]
#include <sys/resource.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "station/PortRun.h"
#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Threads() {
    int n = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++n;
    }
    return n;
}

// The most memory this process has held, in MiB.
double PeakMiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            break;
        }
    }
    return static_cast<double>(kb) / 1024.0;
}

struct GangRow {
    int n = 0;
    double seconds = 0, cpu = 0, mib = 0;
    int threads = 0;
    int ok = 0;
};

class Counter : public PortRun::Observer {
public:
    explicit Counter(EventLoop& loop) : loop_(loop) {}
    void Finished(PortRun&) override {
        if (--running == 0) loop_.Quit(0);
    }
    int running = 0;

private:
    EventLoop& loop_;
};

GangRow Gang(int n, const fs::path& dir, int pages) {
    GangRow row;
    row.n = n;
    const fs::path file = dir / "fw.rfw";
    {
        std::string content(80 + static_cast<std::size_t>(pages) * 128, '\0');
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
        std::ofstream(file, std::ios::binary) << content;
    }
    std::vector<std::unique_ptr<AdapterSimProcess>> sims;
    for (int i = 0; i < n; ++i)
        sims.push_back(std::make_unique<AdapterSimProcess>(
            ADAPTER_SIM_PATH,
            std::vector<std::string>{"--start-in-bootloader", "--pace", "--image",
                                     (dir / ("image" + std::to_string(i))).string()},
            ChildProcess::kDiscard));
    EventLoop loop;
    Counter counter(loop);
    std::vector<std::unique_ptr<PortRun>> runs;
    for (const auto& sim : sims)
        runs.push_back(std::make_unique<PortRun>(loop, sim->Pty(), sim->Pty(), counter));
    auto sample = loop.CreateTimer();
    sample->SetCallback([&] { row.threads = std::max(row.threads, Threads()); });
    sample->Start(100);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    counter.running = n;
    for (auto& run : runs)
        run->Start({PortRun::Step::Update(file.string(), true, false, 30)});
    loop.Run();
    row.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    row.cpu = CpuSeconds() - cpu0;
    row.mib = PeakMiB();
    for (const auto& run : runs)
        row.ok += run->GetResult() == PortRun::Result::Ok ? 1 : 0;
    return row;
}

// Seconds from the start of `args` until `marker` is on its stderr; without a marker, until
// the program has ended.
double TimeTo(const std::vector<std::string>& args, const std::string& ports,
              const std::string& marker = "") {
    ChildProcess::Options o;
    o.env = {{"CONFIGURATOR_PORTS", ports}};
    o.out = ChildProcess::kDiscard;
    const fs::path err = fs::temp_directory_path() / ("gang-err-" + std::to_string(getpid()));
    std::FILE* errFile = std::fopen(err.c_str(), "w+");
    o.err = fileno(errFile);
    const auto t0 = Clock::now();
    auto since = [&] { return std::chrono::duration<double>(Clock::now() - t0).count(); };
    ChildProcess child(args, o);
    double at = -1;
    while (!marker.empty() && since() < 30) {
        std::ifstream in(err);
        const std::string said((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        if (said.find(marker) != std::string::npos) {
            at = since();
            break;
        }
        usleep(500);
    }
    child.Wait();
    if (at < 0) at = since();
    std::fclose(errFile);
    fs::remove(err);
    return at;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Many adapters at once: a gang update and --port auto"};
    int max = 16, pages = 256, runs = 3;
    app.add_option("--max", max, "Most adapters in the gang")->capture_default_str();
    app.add_option("--pages", pages, "Pages of 128 bytes in the image")->capture_default_str();
    app.add_option("--runs", runs, "Runs of each --port auto case")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("bench-gang-" + std::to_string(getpid()));
    fs::create_directories(dir);

    std::printf("gang update, --no-search, %d pages of 128 bytes at 115200 baud (paced)\n", pages);
    std::printf("%4s %9s %7s %9s %13s %8s %8s %6s\n", "N", "seconds", "ratio", "cpu %",
                "cpu/adapter %", "threads", "peak MiB", "ok");
    double one = 0;
    bool gangOk = true;
    for (int n = 1; n <= max; n *= 2) {
        const GangRow r = Gang(n, dir, pages);
        if (n == 1) one = r.seconds;
        const double cpuPct = 100 * r.cpu / r.seconds;
        std::printf("%4d %9.2f %7.3f %9.1f %13.2f %8d %8.1f %3d/%d\n", r.n, r.seconds,
                    r.seconds / one, cpuPct, cpuPct / r.n, r.threads, r.mib, r.ok, r.n);
        gangOk = gangOk && r.ok == r.n;
    }
    std::printf("goal: N=8 at most 1.10x, N=16 at most 1.25x; under 3%% of a core per adapter\n\n");

    // --port auto over 16 listed ports.
    auto sims = [&](bool withAdapter) {
        std::vector<std::unique_ptr<AdapterSimProcess>> s;
        if (withAdapter)
            s.push_back(std::make_unique<AdapterSimProcess>(
                ADAPTER_SIM_PATH, std::vector<std::string>{"--pace"}, ChildProcess::kDiscard));
        s.push_back(std::make_unique<AdapterSimProcess>(
            ADAPTER_SIM_PATH, std::vector<std::string>{"--talk", "bytes"},
            ChildProcess::kDiscard));
        while (s.size() < 16)
            s.push_back(std::make_unique<AdapterSimProcess>(
                ADAPTER_SIM_PATH, std::vector<std::string>{"--speed", "57600"},
                ChildProcess::kDiscard));
        return s;
    };
    auto listing = [](const std::vector<std::unique_ptr<AdapterSimProcess>>& s) {
        std::string l;
        for (const auto& p : s)
            l += (l.empty() ? "" : ":") + p->Pty();
        return l;
    };
    const std::string cli = CONFIGURATOR_CLI_PATH;
    std::vector<double> autoFound, single, autoNone, silent;
    for (int i = 0; i < runs; ++i) {
        const auto with = sims(true);
        autoFound.push_back(TimeTo({cli, "--port", "auto:/dev/pts/*", "search"}, listing(with),
                                   "Adapter found on " + with[0]->Pty()));
        single.push_back(TimeTo({cli, "--port", with[0]->Pty(), "search"}, ""));
        const auto without = sims(false);
        autoNone.push_back(TimeTo({cli, "--port", "auto:/dev/pts/*", "search"}, listing(without)));
        silent.push_back(TimeTo({cli, "--port", without[1]->Pty(), "search"}, ""));
    }
    std::printf("--port auto over 16 listed ports (one with another device talking), %d runs\n",
                runs);
    std::printf("%-52s %9s %7s\n", "case", "median s", "ratio");
    std::printf("%-52s %9.3f\n", "search of the adapter's port alone", Median(single));
    std::printf("%-52s %9.3f %7.3f\n", "auto, one adapter: until it is reported found",
                Median(autoFound), Median(autoFound) / Median(single));
    std::printf("%-52s %9.3f\n", "search of one silent port", Median(silent));
    std::printf("%-52s %9.3f %7.3f\n", "auto, no adapter: until it says so", Median(autoNone),
                Median(autoNone) / Median(silent));
    std::printf("goal: each at most 1.10x\n");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return gangOk ? 0 : 1;
}
