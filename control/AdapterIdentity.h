// What the status strip shows of the adapter. Texts stay the adapter's bytes (code page
// 1251); hosts convert them for display.
#pragma once

#include "base/Bytes.h"

// Which of its three widths the Copyright field has.
enum class CopyrightWidth { Full, Design, ToHardware };

struct AdapterIdentity {
    Bytes Signature;
    Bytes SerialNumber;
    Bytes Hardware;
    Bytes Firmware;
    Bytes Bootware;
    Bytes Copyright;
    bool ExtPowerOn = false;  // shown while cbPower is visible
    Bytes SupplyVoltage;      // "12.9"; shown while edPower is visible
    CopyrightWidth CopyrightSize = CopyrightWidth::Full;

    bool operator==(const AdapterIdentity&) const = default;
};
