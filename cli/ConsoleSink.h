// Message boxes on the command line: the box's text on stderr, counted so that a command
// knows its operation failed.
#pragma once

#include <string>

#include "base/MessageSink.h"

class ConsoleSink : public MessageSink {
public:
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override;
    int Count() const { return count_; }

private:
    int count_ = 0;
};
