#include "control/Control.h"

const char* ControlName(Control c) {
    static constexpr std::array<const char*, kControlCount> kNames = {
        "gbOptions", "lvModes",   "btModeSelect", "btCopy",      "btSearch",
        "cbCOM",     "btRefresh", "btPortProp",   "btUpdateRun", "cbPower",
        "edPower",   "lbPower",   "pcOptions",    "tsTest",      "btRunTest",
    };
    const auto i = static_cast<std::size_t>(c);
    return i < kNames.size() ? kNames[i] : "";
}
