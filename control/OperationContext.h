// The fields of one operation: where the state machine stands, what it waits for and what it
// has received. The search's settings and prefix indexes outlive the operation on purpose:
// later operations reuse them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/Bytes.h"
#include "control/AdapterModel.h"
#include "control/Control.h"
#include "control/TOperationState.h"

class UpdateView;

struct OperationContext {
    TOperationState OpState = osPrepare;
    TOperationState NextOnReply = osPrepare;
    TOperationState NextOnTimeout = osPrepare;
    std::int32_t SettingsIndex = -1;
    std::int32_t PrefixIndex = 0;
    std::int32_t ReplyCountdown = 0;
    Bytes ReplyBuffer;
    bool ReplyStarted = false;
    Bytes LastReply;
    std::int32_t ShownPos = 3;
    std::optional<LogId> LogTarget;
    bool Receiving = false;
    Bytes ModeFileData;
    std::optional<Control> FocusAfterOp;
    // The current command on the owner's clock: when it was written, when it had left the
    // port, and how long after that its reply may take in all.
    std::int64_t SentAtMs = 0;
    std::int64_t LeftAtMs = 0;
    std::int64_t ReplyLimitMs = 0;
    // The longest reply the current command may draw (0: a self-test's stream).
    std::size_t LongestReply = 0;
    // What the Update page hands the update engine.
    std::string UpdateFileName;
    // The bytes to write in the file's place (null: the file is read when the engine starts).
    std::shared_ptr<const Bytes> UpdateImage;
    bool UpdateWait = true;
    UpdateView* UpdateTarget = nullptr;
};
