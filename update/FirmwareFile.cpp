#include "update/FirmwareFile.h"

#include "platform/WholeFile.h"

bool LoadFirmwareFile(const std::string& fileName, MessageSink& sink, Bytes& data) {
    static const char kCaption[] = "Open Firware file...";
    Bytes content;
    std::string reason;
    bool tooLarge = false;
    if (!platform::ReadWholeFile(fileName, content, kMaxFirmwareFileSize, reason, tooLarge)) {
        const std::string quoted = "File \"" + fileName + "\"";
        sink.ShowMessage(kCaption,
                         reason.empty() ? quoted + " is not found."
                                        : quoted + " cannot be read: " + reason + ".",
                         MsgIcon::Error);
        return false;
    }
    if (content.size() < kFirmwareHeaderSize) {
        sink.ShowMessage(kCaption, "Error! Firmware file \"" + fileName + "\" is short.",
                         MsgIcon::Error);
        return false;
    }
    data = std::move(content);
    return true;
}
