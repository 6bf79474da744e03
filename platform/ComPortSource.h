// Where the COM worker learns which serial ports are present: the registry's device
// enumeration on Windows, sysfs and the virtual-port list here. One pass per call.
#pragma once

#include <memory>

#include "platform/PortEntries.h"

class ComPortSource {
public:
    enum class Outcome {
        Unchanged,         // the lists were left alone
        Rebuilt,           // the lists were rebuilt: the USB worker should rescan
        RebuiltThenPause,  // rebuilt from freshly arrived devices: settle 673 ms first
        Failed,            // a read failed: "Error reading COM-List"; lists as far as built
    };
    virtual ~ComPortSource() = default;
    // Runs one pass under the worker's exclusion; may rewrite `entries`.
    virtual Outcome Pass(PortEntries& entries) = 0;
};

// The platform's source (one implementation per platform).
std::unique_ptr<ComPortSource> MakePlatformComPortSource();
