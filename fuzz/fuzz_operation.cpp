// A search and one more operation (mode select, power, self-test or repair) with the fuzz
// input in the adapter's place: every host write is answered by the input's next piece.
#include <string>

#include "OperationRig.h"
#include "control/AdapterProtocol.h"
#include "control/AppTexts.h"
#include "control/ReplyParser.h"

namespace {

// Far above what an operation may take: every command waits at most kMaxSendWaitMs for the
// line and, at the very longest (a self-test), kMaxSelfTestMs for its reply, and a search
// sends eleven commands.
constexpr std::int64_t kLimitMs =
    16 * (kMaxSendWaitMs + kMaxSelfTestMs + 2 * kReplyTimeout * AdapterControl::kTickMs);
constexpr std::size_t kMaxWrites = 13;

bool IsModeId(const Bytes& id) {
    if (id.empty() || id.size() > 3) return false;
    for (char c : id)
        if (!ReplyParser::IsModeIdChar(c)) return false;
    return true;
}

// Every write is a command (a known prefix and letter) or the payload that follows its
// command at once.
void CheckWrites(const std::vector<Bytes>& writes, const Bytes& modeFile) {
    const Bytes prefixes[] = {kFirstCommandPrefix, SpecialCommandText()};
    const Bytes letters = "ISMPTUE";
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const Bytes& w = writes[i];
        bool command = false;
        for (const Bytes& p : prefixes)
            command = command || (w.size() == p.size() + 1 && w.compare(0, p.size(), p) == 0 &&
                                  letters.find(w.back()) != Bytes::npos);
        FUZZ_CHECK(command, "not a command: " + fuzz::Escaped(w));
        const char letter = w.back();
        if (letter != 'M' && letter != 'P' && letter != 'E') continue;
        if (i + 1 == writes.size()) break;  // the operation ended before its payload
        const Bytes& payload = writes[++i];
        if (letter == 'M') FUZZ_CHECK(IsModeId(payload), "mode ID " + fuzz::Escaped(payload));
        if (letter == 'P') FUZZ_CHECK(payload == "0" || payload == "1", fuzz::Escaped(payload));
        if (letter == 'E') FUZZ_CHECK(payload == modeFile, "mode file " + fuzz::Escaped(payload));
    }
}

void CheckAfter(fuzz::OperationRig& rig, std::size_t writesBefore, const Bytes& modeFile,
                bool ended) {
    FUZZ_CHECK(ended, "operation still running after " + std::to_string(kLimitMs) + " ms");
    FUZZ_CHECK(!rig.control.Busy(), "busy after the end");
    FUZZ_CHECK(!rig.line.open && rig.line.opens == rig.line.closes, "port left open");
    const std::vector<Bytes> writes(rig.line.writes.begin() + static_cast<long>(writesBefore),
                                    rig.line.writes.end());
    FUZZ_CHECK(writes.size() <= kMaxWrites, std::to_string(writes.size()) + " writes");
    CheckWrites(writes, modeFile);

    const AdapterModel& m = rig.model;
    for (Control c : {Control::gbOptions, Control::lvModes, Control::btSearch, Control::cbCOM,
                      Control::btRefresh, Control::pcOptions})
        FUZZ_CHECK(m.Enabled(c), std::string("control left disabled: ") + ControlName(c));
    if (m.SelectedRow) FUZZ_CHECK(*m.SelectedRow < m.Modes.size(), "selected row out of list");
    for (const ModeRow& row : m.Modes) {
        FUZZ_CHECK(IsModeId(row.Id), "mode ID " + fuzz::Escaped(row.Id));
        if (row.StateIcon != 0) continue;
        // The mark names the mode the adapter reported, and that is the one remembered.
        FUZZ_CHECK(rig.settings.mode && rig.settings.mode->compare(0, row.Id.size(), row.Id) == 0,
                   "marked row " + row.Id + " is not the remembered mode");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    const std::uint8_t op = in.Byte();
    const std::uint8_t pick = in.Byte();
    const Bytes modeFile = (op % 4 == 3) ? in.Take(80) + Bytes(80, '\0') : Bytes();

    fuzz::OperationRig rig;
    // Half the inputs are taken the moment they arrive, as the window and the command line
    // take them; the other half at the ticks alone. No bound may depend on which.
    rig.line.SetArrivals((op & 0x80) != 0);
    rig.line.onWrite = [&](const Bytes&) { fuzz::PlayPiece(in, rig.line); };

    bool ended = rig.Run([&] { rig.control.btSearchClick(); }, kLimitMs);
    CheckAfter(rig, 0, Bytes(), ended);

    const std::size_t before = rig.line.writes.size();
    const Bytes file = modeFile.substr(0, 80);
    switch (op % 4) {
        case 0:
            if (!rig.model.Modes.empty())
                rig.control.Modes().lvModesSelectItem(pick % rig.model.Modes.size());
            ended = rig.Run([&] { rig.control.btModeSelectClick(); }, kLimitMs);
            break;
        case 1:
            rig.model.Identity.ExtPowerOn = !rig.model.Identity.ExtPowerOn;
            ended = rig.Run([&] { rig.control.cbPowerClick(); }, kLimitMs);
            break;
        case 2:
            ended = rig.Run([&] { rig.control.btRunTestClick(); }, kLimitMs);
            break;
        default:
            ended = rig.Run([&] { rig.control.StartRepair(file); }, kLimitMs);
            break;
    }
    CheckAfter(rig, before, file, ended);
    return 0;
}
