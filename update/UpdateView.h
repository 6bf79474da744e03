// What an update run shows its host: a progress bar (maximum and position) and a one-line
// status field that each step replaces.
#pragma once

#include <string>

class UpdateView {
public:
    virtual ~UpdateView() = default;
    virtual void SetProgressMax(int max) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    // Something the user should know beside the status, such as bytes that were not written.
    virtual void AddNote(const std::string& /*text*/) {}
};
