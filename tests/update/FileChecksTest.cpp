// The size and readability checks of firmware and change-mode files, with their exact boxes.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "UpdateRig.h"
#include "update/FirmwareFile.h"
#include "update/ModeFile.h"

namespace {

class FileChecks : public UpdateRig {};

TEST_F(FileChecks, FirmwareOf79BytesIsShortAndStartsNothing) {
    const std::string path = WriteFile(Pattern(79));
    EXPECT_FALSE(engine_.Start(clock_, sink_, *dev_, path, view_, false));
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, "Open Firware file...");
    EXPECT_EQ(sink_.boxes[0].text, "Error! Firmware file \"" + path + "\" is short.");
    EXPECT_EQ(sink_.boxes[0].icon, MsgIcon::Error);
    EXPECT_FALSE(engine_.IsActive());
    EXPECT_EQ(link_.opens, 0);
    EXPECT_TRUE(view_.statuses.empty());
}

TEST_F(FileChecks, FirmwareOf80BytesIsAccepted) {
    EXPECT_TRUE(StartWith(Pattern(80)));
    EXPECT_TRUE(sink_.boxes.empty());
    EXPECT_TRUE(engine_.IsActive());
    EXPECT_EQ(link_.opens, 1);
}

// Files no adapter takes, each refused with what is wrong with it and nothing sent: a folder,
// a device, a file another program holds, and one larger than any firmware (sparse: the bound
// is checked before anything is read).
TEST_F(FileChecks, HostileFirmwareFilesAreRefusedWithTheirReason) {
    const std::string locked = WriteFile(Pattern(500), "locked.rfw");
    const std::string folder = (dir_ / "folder.rfw").string();
    std::filesystem::create_directory(folder);
    const std::string huge = (dir_ / "huge.rfw").string();
    { std::ofstream(huge, std::ios::binary).put('x'); }
    std::filesystem::resize_file(huge, kMaxFirmwareFileSize + 1);
    const int holder = ::open(locked.c_str(), O_RDWR);  // a writer: open for writing, locked
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir_ / "none.rfw").string(), " is not found."},
        {locked, " cannot be read: another program is using it."},
        {folder, " cannot be read: it is a folder."},
        {huge, " cannot be read: it holds more than 16777216 bytes."},
#ifndef _WIN32
        {"/dev/null", " cannot be read: it is not a regular file."},
#endif
    };
    for (const auto& [name, text] : cases) {
        sink_.boxes.clear();
        EXPECT_FALSE(engine_.Start(clock_, sink_, *dev_, name, view_, false)) << name;
        ASSERT_EQ(sink_.boxes.size(), 1u) << name;
        EXPECT_EQ(sink_.boxes[0].caption, "Open Firware file...");
        EXPECT_EQ(sink_.boxes[0].text, "File \"" + name + "\"" + text);
        EXPECT_EQ(sink_.boxes[0].icon, MsgIcon::Error);
    }
    EXPECT_EQ(link_.opens, 0);
    ::close(holder);
    // Once the writer lets go, the same file is read, also while other readers hold it (a
    // second station, a command line beside the window).
    const int reader = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    sink_.boxes.clear();
    EXPECT_TRUE(engine_.Start(clock_, sink_, *dev_, locked, view_, false));
    EXPECT_TRUE(sink_.boxes.empty());
    EXPECT_EQ(link_.opens, 1);
    ::close(reader);
}

TEST_F(FileChecks, ModeFileMustBeExactly80Bytes) {
    struct Case {
        std::size_t size;
        bool ok;
    };
    for (const Case c : {Case{79, false}, Case{80, true}, Case{81, false}, Case{0, false}}) {
        sink_.boxes.clear();
        const std::string path = WriteFile(Pattern(c.size), "m" + std::to_string(c.size) + ".rcm");
        Bytes data = "kept";
        EXPECT_EQ(LoadModeFile(path, sink_, data), c.ok) << c.size;
        if (c.ok) {
            EXPECT_EQ(data, Pattern(80));
            EXPECT_TRUE(sink_.boxes.empty());
            continue;
        }
        EXPECT_EQ(data, "kept") << "a refused file leaves nothing behind";
        ASSERT_EQ(sink_.boxes.size(), 1u);
        EXPECT_EQ(sink_.boxes[0].caption, "Error...");
        EXPECT_EQ(sink_.boxes[0].text, "Change Mode file \"" + path + "\"corrupted.");
        EXPECT_EQ(sink_.boxes[0].icon, MsgIcon::Error);
    }
}

// A mode file that cannot be read says why; one of any other size, however large, is
// corrupted and never read whole (this one is sparse).
TEST_F(FileChecks, HostileModeFilesAreRefusedWithTheirReason) {
    const std::string locked = WriteFile(Pattern(80), "locked.rcm");
    const std::string huge = (dir_ / "huge.rcm").string();
    { std::ofstream(huge, std::ios::binary).put('x'); }
    std::filesystem::resize_file(huge, kMaxFirmwareFileSize);
    const int holder = ::open(locked.c_str(), O_RDWR);  // a writer: open for writing, locked
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir_ / "none.rcm").string(), " is not found."},
        {locked, " cannot be read: another program is using it."},
        {dir_.string(), " cannot be read: it is a folder."},
        {huge, "corrupted."},
    };
    for (const auto& [name, text] : cases) {
        sink_.boxes.clear();
        Bytes data;
        EXPECT_FALSE(LoadModeFile(name, sink_, data)) << name;
        ASSERT_EQ(sink_.boxes.size(), 1u);
        EXPECT_EQ(sink_.boxes[0].caption, "Error...");
        EXPECT_EQ(sink_.boxes[0].text, "Change Mode file \"" + name + "\"" + text);
    }
    ::close(holder);
}

TEST_F(FileChecks, FileNameIsShownAsPassed) {
    const std::string relative = "./does/not/exist.rfw";
    EXPECT_FALSE(engine_.Start(clock_, sink_, *dev_, relative, view_, false));
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].text, "File \"./does/not/exist.rfw\" is not found.");
}

TEST_F(FileChecks, DeviceThatWillNotOpenStartsNothingWithoutAMessageOfItsOwn) {
    link_.failCreate = true;
    EXPECT_FALSE(StartWith(Pattern(300)));
    EXPECT_FALSE(engine_.IsActive());
    for (const RecordingSink::Box& b : sink_.boxes)
        EXPECT_EQ(b.caption.rfind("Open Port(", 0), 0u) << b.text;
    clock_.Advance(1000);
    EXPECT_TRUE(link_.writes.empty());
}

}  // namespace
