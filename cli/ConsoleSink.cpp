#include "cli/ConsoleSink.h"

#include <iostream>

void ConsoleSink::ShowMessage(const std::string& caption, const std::string& text, MsgIcon) {
    ++count_;
    // The window's own error box says everything in its text; the device's boxes name the
    // port in their caption, so that is kept.
    if (caption == "Error...")
        Error(text);
    else if (text.empty())
        Error(caption);
    else
        Error(caption + ' ' + text);
}

void ConsoleSink::Error(const std::string& text) {
    said_.push_back(text);
    std::cerr << text << '\n';
    std::cerr.flush();
}

std::string ConsoleSink::Said() const {
    std::string all;
    for (std::size_t i = 0; i < said_.size(); ++i)
        all += (i == 0 ? "" : "\n") + said_[i];
    return all;
}
