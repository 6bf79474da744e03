#include "cli/ConsoleSink.h"

#include <iostream>

void ConsoleSink::ShowMessage(const std::string& caption, const std::string& text, MsgIcon) {
    ++count_;
    // The window's own error box says everything in its text; the device's boxes name the
    // port in their caption, so that is kept.
    if (caption == "Error...")
        std::cerr << text << '\n';
    else if (text.empty())
        std::cerr << caption << '\n';
    else
        std::cerr << caption << ' ' << text << '\n';
    std::cerr.flush();
}
