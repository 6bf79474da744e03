// The receive side of every operation: random bytes cut into random reads through the reply
// framing, then the replies through line splitting, the parser, the selected-mode mark, the
// supply voltage and the mode list's order.
#include <charconv>
#include <cstdio>

#include "FuzzRig.h"
#include "control/ModeList.h"
#include "control/ReplyFraming.h"
#include "control/ReplyParser.h"
#include "control/SupplyVoltage.h"

namespace {

const Bytes kCrMarker = "\r\nCR:";
const Bytes kUsbMarker = "\r\nUSB-";
const Bytes kEndMarker = "\r\n\r\n";
// What TakeReply may keep of a buffer with no start marker: the tail that may begin one.
constexpr std::size_t kMaxMarkerTail = 5;

class NullSettings : public SettingsWriter {
public:
    void WriteRegStr(const std::string&, const Bytes& value) override { lastMode = value; }
    Bytes lastMode;
};

bool IsStartAt(const Bytes& b, std::size_t i) {
    return b.compare(i, kCrMarker.size(), kCrMarker) == 0 ||
           b.compare(i, kUsbMarker.size(), kUsbMarker) == 0;
}

// One call of TakeReply checked against the buffer it was given.
void CheckTake(const Bytes& before, bool startedBefore, bool took, const Bytes& after,
               bool startedAfter, const Bytes& reply) {
    // Only ever bytes at the front go: what stays is a suffix of what was there.
    FUZZ_CHECK(after.size() <= before.size() &&
                   before.compare(before.size() - after.size(), after.size(), after) == 0,
               "buffer is no suffix: " + fuzz::Escaped(after));
    if (took) {
        FUZZ_CHECK(!startedAfter, "still started after a whole reply");
        // before = <dropped> CR LF <reply> CR LF CR LF <after>
        const std::size_t body = before.size() - after.size() - kEndMarker.size() - reply.size();
        FUZZ_CHECK(before.size() >= after.size() + kEndMarker.size() + reply.size() + 2,
                   "reply longer than the buffer it came from");
        FUZZ_CHECK(before.compare(body, reply.size(), reply) == 0 &&
                       before.compare(body + reply.size(), kEndMarker.size(), kEndMarker) == 0,
                   "reply is not the slice before the end marker: " + fuzz::Escaped(reply));
        FUZZ_CHECK(IsStartAt(before, body - 2), "reply does not follow a start marker");
        FUZZ_CHECK(reply.find(kEndMarker) == Bytes::npos, "reply runs past an end marker");
        // Within the reply, the end marker is the first one after the start marker.
        const Bytes marked = before.substr(body - 2);
        FUZZ_CHECK(marked.find(kEndMarker) == reply.size() + 2, "an earlier end marker skipped");
        if (!startedBefore) {
            // "CR:" wins over "USB-": no "CR:" marker may be dropped ahead of the chosen one.
            const Bytes dropped = before.substr(0, body - 2);
            FUZZ_CHECK(dropped.find(kCrMarker) == Bytes::npos ||
                           before.compare(body - 2, kUsbMarker.size(), kUsbMarker) == 0,
                       "a CR: marker was dropped");
            if (before.compare(body - 2, kCrMarker.size(), kCrMarker) != 0)
                FUZZ_CHECK(before.find(kCrMarker) == Bytes::npos, "USB- taken over CR:");
        } else {
            FUZZ_CHECK(body == 2, "a started reply lost its start");
        }
        return;
    }
    if (!startedAfter) {
        // Chatter without a marker must not pile up, and no marker may be cut away whole.
        FUZZ_CHECK(after.size() <= kMaxMarkerTail,
                   "buffer grows without a marker: " + std::to_string(after.size()));
        for (std::size_t i = 0; i + after.size() < before.size(); ++i)
            FUZZ_CHECK(!IsStartAt(before, i), "a start marker was dropped");
    } else {
        FUZZ_CHECK(IsStartAt(after, 0), "started buffer does not begin with its marker");
        FUZZ_CHECK(after.find(kEndMarker) == Bytes::npos, "complete reply left in the buffer");
    }
}

void CheckPending(const Bytes& buffer) {
    const std::size_t n = PendingEndMarker(buffer);
    FUZZ_CHECK(n < kEndMarker.size() && n <= buffer.size(), "pending count out of range");
    FUZZ_CHECK(buffer.compare(buffer.size() - n, n, kEndMarker, 0, n) == 0,
               "pending tail is no start of the end marker");
    for (std::size_t m = n + 1; m < kEndMarker.size() && m <= buffer.size(); ++m)
        FUZZ_CHECK(buffer.compare(buffer.size() - m, m, kEndMarker, 0, m) != 0,
                   "a longer pending tail was missed");
}

void CheckLines(const Bytes& text, const std::vector<Bytes>& lines) {
    FUZZ_CHECK(!lines.empty(), "no lines at all");
    Bytes joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].find("\r\n") == Bytes::npos, "line holds CR LF");
        if (i != 0) joined += "\r\n";
        joined += lines[i];
    }
    FUZZ_CHECK(joined == text, "lines do not make up the text again");
}

bool WellFormedVoltage(const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 2 != text.size()) return false;
    if (text.size() > 12) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != dot && (text[i] < '0' || text[i] > '9')) return false;
    return text.size() == 3 || text[0] != '0';  // no leading zero before more digits
}

void CheckVoltage(const Bytes& reading) {
    const std::string text = SupplyVoltageText(reading);
    FUZZ_CHECK(WellFormedVoltage(text), "voltage text: " + fuzz::Escaped(text));
    std::uint64_t whole = 0;
    std::from_chars(text.data(), text.data() + text.find('.'), whole);
    const std::uint64_t tenths = SupplyVoltageTenths(ParseHexReading(reading));
    FUZZ_CHECK(whole * 10 + static_cast<std::uint64_t>(text.back() - '0') == tenths,
               "voltage text does not say the tenths");
}

// A reading the adapter writes ("%X", with or without "0x", signed) reads back exactly.
void CheckHexRoundTrip(std::uint32_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%X", v);
    FUZZ_CHECK(ParseHexReading(buf) == v, buf);
    std::snprintf(buf, sizeof buf, " 0x%x", v);
    FUZZ_CHECK(ParseHexReading(buf) == v, buf);
    std::snprintf(buf, sizeof buf, "-%X", v);
    FUZZ_CHECK(ParseHexReading(buf) == 0u - v, buf);
    FUZZ_CHECK(SupplyVoltageTenths(v) <= SupplyVoltageTenths(v == 0xFFFFFFFFu ? v : v + 1),
               "voltage not monotonic");
}

void CheckModel(const AdapterModel& model, const ReplyParser& parser,
                const std::vector<Bytes>& selectedIds) {
    for (const ModeRow& row : model.Modes) {
        FUZZ_CHECK(!row.Id.empty() && row.Id.size() <= 3, "mode ID length " + row.Id);
        for (char c : row.Id)
            FUZZ_CHECK(ReplyParser::IsModeIdChar(c), "mode ID char in " + fuzz::Escaped(row.Id));
        if (row.StateIcon == 0) {
            FUZZ_CHECK(row.Checked, "marked row not checked");
            bool named = false;
            for (const Bytes& id : selectedIds)
                named = named || id == row.Id;
            FUZZ_CHECK(named, "marked row " + row.Id + " was never the selected mode");
        }
    }
    if (model.SelectedRow) FUZZ_CHECK(*model.SelectedRow < model.Modes.size(), "selected row");
    if (parser.MarkedRow()) {
        FUZZ_CHECK(*parser.MarkedRow() < model.Modes.size(), "marked row out of the list");
        FUZZ_CHECK(model.Modes[*parser.MarkedRow()].StateIcon == 0, "marked row carries no mark");
    }
}

void CheckOrder(std::vector<ModeRow> rows, int col, int dir) {
    SortModeRows(rows, col, dir);
    for (std::size_t i = 0; i + 1 < rows.size(); ++i)
        FUZZ_CHECK(CompareModeRows(rows[i], rows[i + 1], col, dir) <= 0, "rows out of order");
    for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
        const int ab = CompareModeText(rows[i].Description, rows[i + 1].Description);
        const int ba = CompareModeText(rows[i + 1].Description, rows[i].Description);
        FUZZ_CHECK((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0), "comparison not symmetric");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    // The first bytes choose how the stream is cut into reads; the cuts repeat over it.
    std::vector<std::size_t> cuts(in.Byte() % 9);
    for (std::size_t& c : cuts)
        c = 1 + in.Byte() % 64;
    const std::uint8_t flags = in.Byte();
    CheckHexRoundTrip(static_cast<std::uint32_t>(in.Le16()) << 16 |
                      static_cast<std::uint32_t>(in.Le16()));
    const Bytes stream = in.Rest();

    AdapterModel model;
    NullSettings settings;
    std::vector<Bytes> selectedIds;
    Bytes buffer;
    bool started = false;
    Bytes reply;
    std::size_t at = 0;
    for (std::size_t n = 0; at < stream.size(); ++n) {
        const std::size_t len = cuts.empty() ? stream.size() : cuts[n % cuts.size()];
        buffer += stream.substr(at, len);
        at += len;
        // A read may complete several replies: each call takes one.
        for (;;) {
            const Bytes before = buffer;
            const bool startedBefore = started;
            const bool took = TakeReply(buffer, started, reply);
            CheckTake(before, startedBefore, took, buffer, started, reply);
            CheckPending(buffer);
            if (!took) break;

            const std::vector<Bytes> lines = SplitReplyLines(reply);
            CheckLines(reply, lines);
            // One reply is one operation's Settings log; rows pile up as over repeated
            // searches that never clear the list.
            model.SettingsLog = lines;
            for (const Bytes& line : lines)
                if (line.rfind("UP:", 0) == 0) CheckVoltage(line.substr(3));
            // Each operation parses its log with a parser of its own.
            ReplyParser parser(model, &settings);
            parser.ParseLog((flags & 1) != 0);
            // The marks compare with the ID length of the last mode line parsed.
            for (const Bytes& line : lines)
                if (line.rfind("Selected Mode: ", 0) == 0)
                    selectedIds.push_back(
                        line.substr(15, static_cast<std::size_t>(std::max(model.ModeIdLen, 0))));
            CheckModel(model, parser, selectedIds);
            if (model.Modes.size() > 256) model.ClearModes();
        }
    }
    CheckOrder(model.Modes, (flags >> 1) % 3, (flags >> 3) & 1);
    return 0;
}
