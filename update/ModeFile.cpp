#include "update/ModeFile.h"

#include "platform/WholeFile.h"

bool LoadModeFile(const std::string& fileName, MessageSink& sink, Bytes& data) {
    Bytes content;
    const std::string quoted = "Change Mode file \"" + fileName + "\"";
    if (!platform::ReadWholeFile(fileName, content)) {
        sink.ShowMessage("Error...", quoted + " is not found.", MsgIcon::Error);
        return false;
    }
    if (content.size() != kModeFileSize) {
        sink.ShowMessage("Error...", quoted + "corrupted.", MsgIcon::Error);
        return false;
    }
    data = std::move(content);
    return true;
}
