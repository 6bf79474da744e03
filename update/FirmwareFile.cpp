#include "update/FirmwareFile.h"

#include "platform/WholeFile.h"

bool LoadFirmwareFile(const std::string& fileName, MessageSink& sink, Bytes& data) {
    static const char kCaption[] = "Open Firware file...";
    Bytes content;
    if (!platform::ReadWholeFile(fileName, content)) {
        sink.ShowMessage(kCaption, "File \"" + fileName + "\" is not found.", MsgIcon::Error);
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
