// Windows: the multimedia timer library's period calls, bound at run time so that a system
// without the library still runs, only with the default period.
#include "platform/TimerResolution.h"

#include <windows.h>

#include "platform/DynLib.h"

namespace platform {

namespace {
constexpr UINT kPeriodMs = 1;
using PeriodFn = UINT(WINAPI*)(UINT);

PeriodFn Bind(void* library, const char* name) {
    return reinterpret_cast<PeriodFn>(LibSymbol(library, name));
}
}  // namespace

TimerResolution::TimerResolution() : library_(LoadLib(LibraryFileName("winmm"))) {
    if (const PeriodFn begin = Bind(library_, "timeBeginPeriod")) begin(kPeriodMs);
}

TimerResolution::~TimerResolution() {
    if (!library_) return;
    if (const PeriodFn end = Bind(library_, "timeEndPeriod")) end(kPeriodMs);
    FreeLib(library_);
}

}  // namespace platform
