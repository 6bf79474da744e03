// A line that misbehaves on purpose, between the configurator and adapter-sim: a pseudo-terminal
// of its own that the configurator opens, and a thread that moves bytes between it and the
// simulator's terminal, damaging them as a plan says. Every byte position in a plan counts the
// bytes of one direction from the moment the faults arm; the plan is drawn by the caller, so a
// run is repeated by drawing the same plan again.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/Bytes.h"
#include "sim/Chatter.h"

enum Direction { kToSim = 0, kToHost = 1 };

struct FaultPlan {
    struct Flip {
        std::uint64_t at;
        unsigned char mask;
    };
    struct Noise {
        std::uint64_t at;  // inserted before this byte
        Bytes bytes;
    };
    struct NakBurst {
        std::uint64_t chunk;  // before this read of the simulator's output
        int count;
    };
    struct Trickle {
        std::uint64_t from = 0;
        std::uint64_t count = 0;  // 0: none
        int pauseMs = 0;
    };

    std::vector<Flip> flips[2];
    std::vector<Noise> noise[2];
    std::vector<NakBurst> naks;
    Trickle trickle[2];
    int slowMs = 0;           // every read of the simulator's output is held this long
    int silenceAfterMs = -1;  // from arming; nothing passes either way for silenceMs
    int silenceMs = 0;
    std::int64_t disconnectAt = -1;  // bytes of both directions: the configurator's line hangs up
    std::int64_t muteAt = -1;        // from this byte on the simulator is never heard again
    // From talkAfterMs after arming, another device talks to the configurator in the
    // adapter's place, and the simulator is never heard again.
    Chatter::Kind talk = Chatter::Kind::Nothing;
    int talkEveryMs = 5;
    int talkAfterMs = 0;
    // Faults start once the update command has gone out: the search before it stays clean,
    // so the run reaches the boot loader and the faults meet its protocol.
    bool armOnUpdate = false;

    bool Empty() const;
    std::string Describe() const;
};

class FaultProxy {
public:
    // `updateCommand` is the byte sequence that arms a plan with armOnUpdate.
    FaultProxy(FaultPlan plan, Bytes updateCommand);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    // Opens the simulator's terminal and a new pair, and starts the thread; false with Error().
    bool Start(const std::string& simPty);
    // The path the configurator opens.
    const std::string& HostPath() const { return hostPath_; }
    const std::string& Error() const { return error_; }
    // Ends the thread and closes everything; the records below are then final.
    void Stop();

    // Wall-clock milliseconds of the last byte that moved (or was dropped) either way; the
    // campaign's watchdog tells an idle line from a slow one with it.
    void SetActivity(std::atomic<std::int64_t>* activity) { activity_ = activity; }

    // What went in from the configurator after arming, undamaged, and what left for the
    // simulator; the original positions that a flip or noise touched.
    const Bytes& OriginalToSim() const { return original_; }
    const Bytes& ForwardedToSim() const { return forwarded_; }
    const std::vector<std::uint64_t>& Damaged(Direction d) const { return damaged_[d]; }
    // Bytes that silence or a mute swallowed, either way.
    std::uint64_t Dropped() const { return dropped_; }
    bool Disconnected() const { return disconnected_; }
    bool SimHungUp() const { return simHungUp_; }

private:
    struct Pending {
        std::int64_t dueMs;
        Bytes bytes;
    };

    void Run();
    void MirrorSpeed();
    void Take(Direction d, const Bytes& chunk, std::int64_t nowMs);
    void Emit(Direction d, const Bytes& bytes, std::int64_t dueMs);
    void Flush(std::int64_t nowMs);
    void HangUp();
    void Touch();
    void Chat(std::int64_t nowMs);

    FaultPlan plan_;
    Bytes updateCommand_;
    Bytes window_;
    bool armed_ = false;
    std::int64_t armedMs_ = 0;
    std::uint64_t count_[2] = {0, 0};
    std::uint64_t total_ = 0;
    std::uint64_t simReads_ = 0;
    std::int64_t lastDue_[2] = {0, 0};
    std::vector<Pending> queue_[2];
    Bytes unwritten_[2];
    unsigned currentSpeed_ = 0;
    Chatter chatter_;
    bool chatting_ = false;

    int master_ = -1;     // the configurator's pair, our end
    int hostSlave_ = -1;  // held so the pair outlives the configurator's closes
    int sim_ = -1;        // the simulator's terminal, opened as its host would
    std::string hostPath_;
    std::string error_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t>* activity_ = nullptr;

    Bytes original_;
    Bytes forwarded_;
    std::vector<std::uint64_t> damaged_[2];
    std::uint64_t dropped_ = 0;
    bool disconnected_ = false;
    bool simHungUp_ = false;
};

std::int64_t WallMs();
