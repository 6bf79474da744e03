// Linux timers already fire with sub-millisecond resolution: nothing to raise.
#include "platform/TimerResolution.h"

namespace platform {

TimerResolution::TimerResolution() = default;
TimerResolution::~TimerResolution() = default;

}  // namespace platform
