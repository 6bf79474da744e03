#include "cli/LiveLines.h"

#include <algorithm>

#include "platform/Terminal.h"

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kMinColumns = 20;
// A wrapped text keeps at least this much room; with less, it continues under a small indent.
constexpr int kMinTextColumns = 24;
constexpr int kContinuationIndent = 4;

// Columns a UTF-8 text takes (one per character; what an adapter sends is plain letters).
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The first `columns` characters of `text` (whole UTF-8 characters).
std::string Prefix(const std::string& text, std::size_t columns) {
    std::size_t seen = 0, i = 0;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (seen++ == columns) break;
    }
    return text.substr(0, i);
}

// `text` cut into pieces of at most `width` columns, at spaces where it can be.
std::vector<std::string> Pieces(const std::string& text, std::size_t width) {
    std::vector<std::string> pieces;
    std::string rest = text;
    while (Columns(rest) > width) {
        const std::string room = Prefix(rest, width + 1);
        std::size_t cut = room.rfind(' ');
        std::size_t skip = 1;
        if (cut == std::string::npos || cut == 0) {
            cut = Prefix(rest, width).size();
            skip = 0;
        }
        pieces.push_back(rest.substr(0, cut));
        rest = rest.substr(cut + skip);
    }
    pieces.push_back(rest);
    return pieces;
}

}  // namespace

std::string Field(const std::string& text, std::size_t width) {
    const std::size_t columns = Columns(text);
    if (columns <= width) return text + std::string(width - columns, ' ');
    return width == 0 ? std::string() : Prefix(text, width - 1) + "~";
}

std::string TailField(const std::string& text, std::size_t width) {
    const std::size_t columns = Columns(text);
    if (columns <= width) return text + std::string(width - columns, ' ');
    if (width == 0) return {};
    // Whole characters from the end: skip what the first `columns - width + 1` take.
    const std::string cut = text.substr(Prefix(text, columns - width + 1).size());
    return "~" + cut;
}

std::vector<std::string> LiveLines::Wrap(const Line& line, int width) {
    const auto w = static_cast<std::size_t>(std::max(width, kMinColumns));
    std::string head = line.head;
    if (Columns(head) > w) head = Prefix(head, w);
    std::size_t indent = Columns(head);
    std::vector<std::string> screen;
    if (w - indent < static_cast<std::size_t>(kMinTextColumns) && Columns(line.text) > w - indent) {
        // No room beside the head: the text goes below it.
        screen.push_back(head);
        head.clear();
        indent = kContinuationIndent;
    }
    const std::vector<std::string> pieces = Pieces(line.text, w - indent);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        screen.push_back((i == 0 && !head.empty() ? head : std::string(indent, ' ')) + pieces[i]);
    if (screen.empty()) screen.push_back(head);
    return screen;
}

void LiveLines::Draw(const std::vector<Line>& lines) {
    int width = platform::TerminalColumns(out_);
    if (width <= 0) width = kDefaultColumns;
    std::string out;
    if (drawn_ > 0) out += "\033[" + std::to_string(drawn_) + "A";
    int count = 0;
    for (const Line& line : lines)
        for (const std::string& screen : Wrap(line, width)) {
            out += "\r\033[K" + screen + "\n";
            ++count;
        }
    // Lines left over from a longer drawing (a reason that no longer wraps) are cleared.
    for (int i = count; i < drawn_; ++i)
        out += "\r\033[K\n";
    if (drawn_ > count) out += "\033[" + std::to_string(drawn_ - count) + "A";
    drawn_ = count;
    std::fputs(out.c_str(), out_);
    std::fflush(out_);
}
