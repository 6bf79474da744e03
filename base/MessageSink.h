// Every message box of the core reaches its host through here: the window shows a modal box,
// the command line prints to stderr, tests record.
#pragma once

#include <string>

enum class MsgIcon { Information, Error, Warning };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Modal: the caller goes on only after this returns.
    virtual void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) = 0;
};
