// The states of one exchange with the adapter. The numbers are part of the design: a state
// value outside 1..24 is a no-op step that keeps the timer running.
#pragma once

#include <cstdint>

enum TOperationState : std::uint8_t {
    osPrepare = 1,
    osClearIdentity = 2,
    osProbe = 3,
    osAwaitSent = 4,
    osLogProbeReply = 5,
    osQuery = 6,
    osFinishSearch = 7,
    osModeCommand = 8,
    osSendModeId = 9,
    osFinishModeChange = 10,
    osPowerCommand = 11,
    osSendPowerState = 12,
    osFinishPower = 13,
    osTestCommand = 14,
    osFinishTest = 15,
    osUpdateCommand = 16,
    osStartUpdate = 17,
    osStartUpdateDirect = 18,
    osAwaitUpdate = 19,
    osRepairCommand = 20,
    osSendModeFile = 21,
    osFinishRepair = 22,
    osNotFound = 23,
    osAwaitReply = 24,
};
