// One adapter's core, assembled in the order its parts need each other: the update engine,
// the serial device, the model and the adapter control. Every host and rig constructs one per
// adapter; cores share nothing but the process's port lists, so N of them are N independent
// adapters in one process.
#pragma once

#include <functional>
#include <memory>

#include "base/MessageSink.h"
#include "base/Timer.h"
#include "control/AdapterControl.h"
#include "control/AdapterModel.h"
#include "control/OperationView.h"
#include "control/SettingsWriter.h"
#include "platform/SerialPort.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

// What a host may choose of a core; the defaults are a real port's.
struct CoreOptions {
    SettingsWriter* settings = nullptr;  // null: nothing is remembered (command line)
    serial::Column comColumn = platform::NativeSerialColumn();
    std::shared_ptr<PortLists> lists;  // null: the process's own
};

class AdapterCore {
public:
    using Options = CoreOptions;
    // A view that renders the model is made once the model exists, before the control.
    using ViewMaker = std::function<OperationView&(AdapterModel&)>;

    AdapterCore(TimerFactory& owner, MessageSink& sink, OperationView& view, Options options = {});
    AdapterCore(TimerFactory& owner, MessageSink& sink, const ViewMaker& makeView,
                Options options = {});
    AdapterCore(const AdapterCore&) = delete;
    AdapterCore& operator=(const AdapterCore&) = delete;

    TFWUpdate& Updater() { return updater_; }
    TSerDev& Device() { return device_; }
    AdapterModel& Model() { return model_; }
    AdapterControl& Control() { return control_; }
    const TFWUpdate& Updater() const { return updater_; }
    const AdapterModel& Model() const { return model_; }
    const AdapterControl& Control() const { return control_; }

private:
    // In this order: each is made after, and ends before, what it uses.
    TFWUpdate updater_;
    TSerDev device_;
    AdapterModel model_;
    OperationView& view_;
    AdapterControl control_;
};
