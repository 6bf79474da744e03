// Whether the window comes up quickly (its port list filled and Search enabled within 100 ms
// of the window shown), never stops answering for long and costs next to nothing while it
// waits: measured on the real window, offscreen, against adapter-sim.
//
//     bench/window [--idle-seconds N] [path/to/adapter-sim]
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "app/ConfiguratorApp.h"
#include "app/TfrmMain.h"
#include "base/SettingsStore.h"
#include "control/AdapterControl.h"
#include "tests/support/AdapterSimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kListGoalMs = 100.0;
constexpr double kIdleCpuGoalPercent = 0.5;
constexpr double kStallGoalMs = 50.0;
constexpr int kListLimitMs = 10000;
constexpr int kSearchLimitMs = 20000;
constexpr int kAfterRefreshMs = 2000;
constexpr int kSettleMs = 1000;

double MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The user's real settings must stay untouched, and a file store would add disk time that a
// user's first start may or may not pay.
class MemorySettings : public SettingsStore {
public:
    using Value = std::variant<std::int32_t, std::string>;
    explicit MemorySettings(std::map<std::string, Value> values) : v_(std::move(values)) {}
    bool Exists(const std::string& name) override { return v_.count(name) > 0; }
    std::optional<std::int32_t> ReadInt(const std::string& name) override {
        auto it = v_.find(name);
        if (it == v_.end() || !std::holds_alternative<std::int32_t>(it->second)) return {};
        return std::get<std::int32_t>(it->second);
    }
    std::optional<std::string> ReadStr(const std::string& name) override {
        auto it = v_.find(name);
        if (it == v_.end() || !std::holds_alternative<std::string>(it->second)) return {};
        return std::get<std::string>(it->second);
    }
    bool WriteInt(const std::string& name, std::int32_t value) override {
        v_[name] = value;
        return true;
    }
    bool WriteStr(const std::string& name, const std::string& value) override {
        v_[name] = value;
        return true;
    }

private:
    std::map<std::string, Value> v_;
};

// A timer due every millisecond fires late by exactly as long as the loop was held up, so the
// widest gap between its firings is the longest the window did not answer.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        last_ = Clock::now();
        BeginPhase();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    void BeginPhase() {
        worst_ = 0;
        phaseStart_ = Clock::now();
        worstEnd_ = phaseStart_;
    }
    double WorstMs() const { return worst_; }
    // When the worst gap began, in ms from `origin`: tells which step held the loop.
    double WorstBeganMs(Clock::time_point origin) const {
        return MsBetween(origin, worstEnd_) - worst_;
    }

private:
    void Tick() {
        const auto now = Clock::now();
        const double gap = MsBetween(last_, now);
        if (gap > worst_) {
            worst_ = gap;
            worstEnd_ = now;
        }
        last_ = now;
    }

    QTimer timer_;
    Clock::time_point last_, phaseStart_, worstEnd_;
    double worst_ = 0;
};

// Calls `then(true)` once `done` holds, `then(false)` after `limitMs`. Any message box that
// opens meanwhile is recorded and closed: the run would otherwise wait on it for ever.
void When(int everyMs, int limitMs, std::function<bool()> done, std::function<void(bool)> then,
          std::vector<QString>& boxes) {
    auto* timer = new QTimer;
    timer->setTimerType(Qt::PreciseTimer);
    const auto start = Clock::now();
    QObject::connect(timer, &QTimer::timeout, [=, &boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back(box->windowTitle() + ": " + box->text());
            box->accept();
            return;
        }
        const bool ok = done();
        if (!ok && MsBetween(start, Clock::now()) < limitMs) return;
        timer->stop();
        timer->deleteLater();
        then(ok);
    });
    timer->start(everyMs);
}

struct CpuSample {
    double cpuSeconds = 0;
    long switches = 0;
    Clock::time_point wall;
};

CpuSample SampleCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(u.ru_utime) + seconds(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw, Clock::now()};
}

// How long the kernel had the process before main ran: its start time from /proc (in clock
// ticks since boot) against the time since boot now, both to 10 ms. None when they disagree.
std::optional<double> MsSinceExec() {
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');  // the command name may hold spaces
    if (close == std::string::npos) return {};
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // After the name, the state is field 3; the start time is field 22.
    for (int i = 3; i < 22 && (fields >> field); ++i) {
    }
    unsigned long long ticks = 0;
    if (!(fields >> ticks)) return {};
    double upSeconds = 0;
    if (!(std::ifstream("/proc/uptime") >> upSeconds)) return {};
    const double ms = upSeconds * 1e3 - double(ticks) * 1e3 / double(sysconf(_SC_CLK_TCK));
    if (ms < 0 || ms > 60000) return {};
    return ms;
}

struct Row {
    std::string name, measured, goal, verdict;
};

std::string Fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void PrintTable(const std::vector<Row>& rows) {
    std::printf("%-46s %-22s %-10s %s\n", "figure", "measured", "goal", "");
    for (const Row& r : rows)
        std::printf("%-46s %-22s %-10s %s\n", r.name.c_str(), r.measured.c_str(), r.goal.c_str(),
                    r.verdict.c_str());
}

Row StallRow(const std::string& name, double ms, double beganMs) {
    return {name, Fmt("%.1f ms", ms) + Fmt(" (at %.0f ms)", beganMs),
            Fmt("< %.0f ms", kStallGoalMs), ms < kStallGoalMs ? "PASS" : "ABOVE GOAL"};
}

}  // namespace

int main(int argc, char** argv) {
    const auto t0 = Clock::now();
    const std::optional<double> execToMain = MsSinceExec();

#ifdef ADAPTER_SIM_PATH
    std::string simPath = ADAPTER_SIM_PATH;
#else
    std::string simPath = "adapter-sim";
#endif
    int idleSeconds = 30;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--idle-seconds" && i + 1 < argc) {
            idleSeconds = std::atoi(argv[++i]);
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "usage: window [--idle-seconds N] [path/to/adapter-sim]\n");
            return 2;
        } else {
            simPath = arg;
        }
    }
    if (idleSeconds <= 0) {
        std::fprintf(stderr, "--idle-seconds wants a positive number\n");
        return 2;
    }
    // Runs anywhere, also without a display; a caller who wants a real one says so.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    // The real program does not start a simulator: its cost is kept out of the start figures.
    const auto simBegan = Clock::now();
    AdapterSimProcess sim(simPath, {});
    const double simMs = MsBetween(simBegan, Clock::now());
    if (sim.Pty().empty()) {
        std::fprintf(stderr, "adapter-sim did not start (%s)\n", simPath.c_str());
        return 1;
    }
    qputenv("CONFIGURATOR_PORTS", QByteArray::fromStdString(sim.Pty()));
    auto sinceMain = [&](Clock::time_point t) { return MsBetween(t0, t) - simMs; };

    int qtArgc = 1;
    ConfiguratorApp app(qtArgc, argv);
    StallMeter stalls;
    stalls.Start();

    WindowSeams seams = WindowSeams::Defaults();
    seams.settings = std::make_unique<MemorySettings>(
        std::map<std::string, MemorySettings::Value>{{"Port", sim.Pty()}});
    seams.openUrl = [](const QString&) {};
    TfrmMain window(std::move(seams));
    window.show();
    const auto shownAt = Clock::now();

    std::vector<Row> rows;
    std::vector<QString> boxes;
    int status = 0;
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "run failed: %s\n", what);
        for (const QString& b : boxes)
            std::fprintf(stderr, "  message box: %s\n", qPrintable(b));
        status = 1;
        app.quit();
    };
    auto execRow = [&](const char* name, double ms) {
        if (execToMain) rows.push_back({name, Fmt("%.0f ms", *execToMain + ms), "", ""});
    };
    if (execToMain)
        rows.push_back(
            {"process start to main (10 ms ticks)", Fmt("%.0f ms", *execToMain), "", ""});
    rows.push_back({"adapter-sim start (left out of all times)", Fmt("%.1f ms", simMs), "", ""});

    Clock::time_point searchBegan;
    auto idle = [&] {
        // The meter wakes the loop a thousand times a second: it must not count as idle cost.
        QTimer::singleShot(kSettleMs, [&] {
            stalls.Stop();
            const CpuSample a = SampleCpu();
            QTimer::singleShot(idleSeconds * 1000, Qt::PreciseTimer, [&, a] {
                const CpuSample b = SampleCpu();
                const double wall = MsBetween(a.wall, b.wall) / 1e3;
                const double percent = 100.0 * (b.cpuSeconds - a.cpuSeconds) / wall;
                rows.push_back({Fmt("idle CPU over %.1f s, one core", wall),
                                Fmt("%.3f %%", percent), Fmt("< %.1f %%", kIdleCpuGoalPercent),
                                percent < kIdleCpuGoalPercent ? "PASS" : "ABOVE GOAL"});
                rows.push_back({"idle context switches",
                                Fmt("%.1f /s", double(b.switches - a.switches) / wall), "", ""});
                PrintTable(rows);
                app.quit();
            });
        });
    };

    auto search = [&] {
        const QString port = QString::fromStdString(sim.Pty());
        if (!window.Ui().cbCOM->currentText().startsWith(port))
            return fail("the remembered port is not the one chosen in the list");
        stalls.BeginPhase();
        searchBegan = Clock::now();
        window.Ui().btSearch->click();
        When(
            20, kSearchLimitMs, [&] { return !window.Control().Busy(); },
            [&](bool ended) {
                const double worst = stalls.WorstMs();
                if (!ended) return fail("the search did not end within 20 s");
                if (!boxes.empty() || window.Model().Modes.empty())
                    return fail("the search did not find the adapter");
                rows.push_back({"Search click until not busy",
                                Fmt("%.0f ms", MsBetween(searchBegan, Clock::now())), "", ""});
                rows.push_back(StallRow("longest stall, Search until not busy", worst,
                                        stalls.WorstBeganMs(searchBegan)));
                idle();
            },
            boxes);
    };

    auto refresh = [&] {
        stalls.BeginPhase();
        const auto clicked = Clock::now();
        window.Ui().btRefresh->click();
        QTimer::singleShot(kAfterRefreshMs, Qt::PreciseTimer, [&, clicked] {
            rows.push_back(StallRow("longest stall, Refresh click and 2 s", stalls.WorstMs(),
                                    stalls.WorstBeganMs(clicked)));
            search();
        });
    };

    QTimer::singleShot(0, [&] {
        const auto shown = Clock::now();
        if (!window.isVisible()) return fail("the window is not visible after show()");
        rows.push_back({"main to window shown", Fmt("%.1f ms", sinceMain(shown)), "", ""});
        execRow("process start to window shown", sinceMain(shown));
    });
    When(
        1, kListLimitMs,
        [&] {
            return window.PortListFilled() && window.Ui().cbCOM->count() > 0 &&
                   window.Ui().btSearch->isEnabled();
        },
        [&](bool filled) {
            const auto at = Clock::now();
            if (!filled || !boxes.empty()) return fail("the port list was not filled");
            const double listMs = MsBetween(shownAt, at);
            rows.push_back({"window shown to port list filled, Search on", Fmt("%.1f ms", listMs),
                            Fmt("< %.0f ms", kListGoalMs),
                            listMs < kListGoalMs ? "PASS" : "ABOVE GOAL"});
            rows.push_back({"main to port list filled", Fmt("%.1f ms", sinceMain(at)), "", ""});
            execRow("process start to port list filled", sinceMain(at));
            // Times in the stall rows count from main (start-up) or from the click.
            rows.push_back(StallRow("longest stall, start-up until list filled", stalls.WorstMs(),
                                    stalls.WorstBeganMs(t0) - simMs));
            refresh();
        },
        boxes);

    app.exec();
    sim.Stop(SIGTERM);
    return status;
}
