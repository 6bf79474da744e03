// Message boxes on the command line: the box's text on stderr, counted so that a command
// knows its operation failed, and kept so that a JSON result can carry it.
#pragma once

#include <string>
#include <vector>

#include "base/MessageSink.h"

class ConsoleSink : public MessageSink {
public:
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override;
    // The command line's own words on why it fails; not a box, so not counted.
    void Error(const std::string& text);
    // Kept for the JSON result only: the text was already shown elsewhere (stdout, the
    // progress view) or would only repeat what stderr said.
    void Record(const std::string& text) { said_.push_back(text); }

    int Count() const { return count_; }
    // Everything said so far, one line each; empty when nothing was.
    std::string Said() const;

private:
    int count_ = 0;
    std::vector<std::string> said_;
};
