// A message sink that keeps every box the code under test would have shown, in order.
#pragma once

#include <string>
#include <vector>

#include "base/MessageSink.h"

class RecordingSink : public MessageSink {
public:
    struct Box {
        std::string caption;
        std::string text;
        MsgIcon icon;
    };

    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override {
        boxes.push_back({caption, text, icon});
    }

    std::vector<Box> boxes;
};
