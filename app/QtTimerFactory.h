// The core's timers on the window's event loop (precise Qt timers, so the 10 ms operation
// ticks keep their period), and its watches on ports (socket notifiers, so input is taken
// the moment it arrives).
#pragma once

#include <QObject>
#include <functional>
#include <map>

#include "base/Timer.h"

class QtTimerFactory : public QObject, public TimerFactory {
public:
    explicit QtTimerFactory(QObject* parent = nullptr) : QObject(parent) {}
    std::unique_ptr<Timer> CreateTimer() override;
    std::int64_t NowMs() const override { return SteadyMs(); }
    std::unique_ptr<ReadyWatch> WatchReadable(std::intptr_t descriptor,
                                              std::function<void()> onReady) override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    class QtTimer;
    friend class QtTimer;
    // Qt's timer id → the core timer it belongs to; a timer leaves the map when it stops.
    std::map<int, QtTimer*> running_;
};
