#include "update/ModeFile.h"

#include "platform/WholeFile.h"

bool LoadModeFile(const std::string& fileName, MessageSink& sink, Bytes& data) {
    Bytes content;
    const std::string quoted = "Change Mode file \"" + fileName + "\"";
    std::string reason;
    bool tooLarge = false;
    // A file of another size is refused alike, however large: it is never read whole.
    const bool read = platform::ReadWholeFile(fileName, content, kModeFileSize, reason, tooLarge);
    if (!read && !tooLarge) {
        sink.ShowMessage("Error...",
                         reason.empty() ? quoted + " is not found."
                                        : quoted + " cannot be read: " + reason + ".",
                         MsgIcon::Error);
        return false;
    }
    if (!read || content.size() != kModeFileSize) {
        sink.ShowMessage("Error...", quoted + "corrupted.", MsgIcon::Error);
        return false;
    }
    data = std::move(content);
    return true;
}
