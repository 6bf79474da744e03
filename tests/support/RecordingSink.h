// Message boxes in tests, benchmarks and fuzz targets: recorded, never shown.
#pragma once

#include <string>
#include <vector>

#include "base/MessageSink.h"

class RecordingSink : public MessageSink {
public:
    struct Box {
        std::string caption, text;
        MsgIcon icon;
    };
    std::vector<Box> boxes;
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override {
        boxes.push_back({caption, text, icon});
    }
    // The first box's text; empty when none was shown.
    std::string FirstText() const { return boxes.empty() ? std::string() : boxes.front().text; }
};
