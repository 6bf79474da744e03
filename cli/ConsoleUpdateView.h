// The Update page's progress bar and status field on a console: every new status text on a
// line of its own, and a progress line that a terminal redraws in place below them.
#pragma once

#include <cstdio>
#include <string>

#include "update/UpdateView.h"

class ConsoleUpdateView : public UpdateView {
public:
    // `inPlace`: the stream is a terminal, so the progress line is rewritten with "\r"
    // instead of printed anew at each change. A null `out` prints nothing and only keeps
    // the values (for hosts that report once at the end).
    ConsoleUpdateView(std::FILE* out, bool inPlace) : out_(out), inPlace_(inPlace) {}
    ~ConsoleUpdateView() override;

    void SetProgressMax(int max) override;
    void SetProgressPos(int pos) override;
    void SetStatus(const std::string& text) override;
    // A warning of the run's, on stderr.
    void AddNote(const std::string& text) override { Note("warning: " + text, stderr); }
    // A line of text on `stream` (the view's own by default), kept apart from the progress
    // line: the command line's own words, such as why it gave up.
    void Note(const std::string& text, std::FILE* stream = nullptr);
    // Ends a progress line left open on a terminal.
    void Finish();

    const std::string& Status() const { return status_; }
    int Max() const { return max_; }
    int Pos() const { return pos_; }

private:
    void ClearProgressLine();
    void DrawProgress();

    std::FILE* out_;
    bool inPlace_;
    std::string status_;
    int max_ = 0;
    int pos_ = 0;
    bool progressShown_ = false;  // an unfinished progress line stands on the terminal
};
