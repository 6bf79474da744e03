// The firmware update engine: writes a firmware file into the adapter's boot loader page by
// page over the open serial device, driven by its own timer on the owner's thread.
#pragma once

#include <string>

#include "base/MessageSink.h"
#include "base/Timer.h"
#include "update/UpdateView.h"

class TSerDev;

class TFWUpdate {
public:
    TFWUpdate();
    virtual ~TFWUpdate();

    // True when a run began; false after a file error (shown through `sink`) or when the
    // device would not open (the device has reported it).
    bool Start(TimerFactory& owner, MessageSink& sink, TSerDev& dev, const std::string& fileName,
               UpdateView& view, bool wait);
    bool IsActive() const;
    // Stop pressed: "Firmware Update canceled..." and the device closed.
    void Cancel();
};
