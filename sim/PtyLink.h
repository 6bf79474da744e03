// The simulated adapter behind a pseudo-terminal: real I/O through the kernel's terminal
// layer, for end-to-end runs of the configurator's own serial code. The host opens the slave
// path; the link reads the speed the host set on it and feeds the adapter.
//
// A pseudo-terminal carries no parity and always eight data bits (the kernel forces them), so
// only the speed decides whether the line matches. The link keeps a descriptor of the slave
// open itself, so the host may open and close the port as often as it likes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "base/Bytes.h"
#include "sim/AdapterSim.h"
#include "sim/LineSettings.h"
#include "sim/WirePacer.h"

class PtyLink {
public:
    explicit PtyLink(AdapterSim& sim);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Creates the pseudo-terminal (raw, at the adapter's speed); false with Error() set.
    bool Open();
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& Error() const { return error_; }
    // Bytes taken from and given to the line at its speed (10 bits a byte).
    void SetPaced(bool on);

    // Serves until stop() holds (asked at least every 20 ms) or a disconnect closed the line.
    void Serve(const std::function<bool()>& stop);
    // One turn: waits at most maxWaitMs for the line, then moves bytes both ways.
    void ServeOnce(int maxWaitMs);
    bool Closed() const { return master_ < 0; }
    // The speed the host has set on the slave, as the adapter sees it.
    LineSettings HostLine() const;
    // The link's own clock, the one it hands the adapter.
    std::int64_t NowMs() const { return NowUs() / 1000; }

private:
    std::int64_t NowUs() const;
    void ReadHost(std::int64_t nowUs);
    void WriteHost(std::int64_t nowUs);
    std::size_t ReadAllowance(std::int64_t nowUs);
    void CloseLine();

    AdapterSim& sim_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string error_;
    bool paced_ = false;
    std::int64_t readClockUs_ = 0;
    WirePacer out_;
    Bytes unwritten_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
