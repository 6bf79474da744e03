// The window controls an operation touches, by the names the window gives them. The model
// keeps their enabled and visible flags; hosts mirror the ones they have.
#pragma once

#include <array>
#include <cstdint>

enum class Control : std::uint8_t {
    gbOptions,
    lvModes,
    btModeSelect,
    btCopy,
    btSearch,
    cbCOM,
    btRefresh,
    btPortProp,
    btUpdateRun,
    cbPower,
    edPower,
    lbPower,
    pcOptions,
    tsTest,
    btRunTest,
    Count,
};

inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::Count);

const char* ControlName(Control c);
