// Lines a terminal shows in place, one per port or slot, redrawn as their runs go: the command
// line's several ports and the station's bench. Each line is a head of fixed fields and a
// text (what the unit does, why it failed) that is never cut: it wraps onto lines of its own
// below the head, so that no line is wider than the terminal and the redraw's count holds.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class LiveLines {
public:
    // `out` is a terminal; its width is read at every draw (a window may be resized).
    explicit LiveLines(std::FILE* out) : out_(out) {}

    struct Line {
        std::string head;  // fixed fields, padded; cut to the width if it must be
        std::string text;  // wrapped at spaces, never cut
    };
    // Draws `lines` over the ones drawn last; lines left over from a longer drawing are cleared.
    void Draw(const std::vector<Line>& lines);

    // The screen lines of one line at `width` columns (at least 20).
    static std::vector<std::string> Wrap(const Line& line, int width);

private:
    std::FILE* out_;
    int drawn_ = 0;
};

// `text` in a field of `width` columns: padded, or cut with "~" at its end.
std::string Field(const std::string& text, std::size_t width);
// The same, cut at its start where it must be: the end of a path tells ports apart.
std::string TailField(const std::string& text, std::size_t width);
