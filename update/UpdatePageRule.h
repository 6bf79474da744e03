// When the Update page's Run button may be pressed. Kept out of the window so the rule can
// be checked without one.
#pragma once

struct UpdatePageInputs {
    bool uploadSelected = true;  // "Upload New Firmware", not "Repair"
    bool doNotSearch = false;
    bool fileChosen = false;
    bool adapterIdentified = false;  // a search filled the serial number
    bool operationRunning = false;
    bool engineRunning = false;  // the update engine's run, the only thing Stop can cancel
};

// An upload or a repair needs an identified adapter, except an upload with "Do not Search".
// While an operation runs the button is Stop, and it is offered only when there is a run
// for it to cancel: a Stop that does nothing is never shown.
inline bool RunEnabled(const UpdatePageInputs& in) {
    if (in.operationRunning) return in.engineRunning;
    if (!in.fileChosen) return false;
    return (in.uploadSelected && in.doNotSearch) || in.adapterIdentified;
}
