#include "cli/ConsoleUpdateView.h"

ConsoleUpdateView::~ConsoleUpdateView() {
    Finish();
}

void ConsoleUpdateView::SetProgressMax(int max) {
    if (max == max_) return;
    max_ = max;
    DrawProgress();
}

void ConsoleUpdateView::SetProgressPos(int pos) {
    if (pos == pos_) return;
    pos_ = pos;
    DrawProgress();
}

void ConsoleUpdateView::SetStatus(const std::string& text) {
    if (text == status_) return;
    status_ = text;
    // The empty text between a step and the text that ends a run shows nothing.
    if (!text.empty()) Note(text);
}

void ConsoleUpdateView::Note(const std::string& text, std::FILE* stream) {
    if (stream == nullptr) stream = out_;
    if (stream == nullptr) return;
    ClearProgressLine();
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
    // Keep the progress line below the newest text on a terminal.
    if (inPlace_ && max_ > 0) DrawProgress();
}

void ConsoleUpdateView::Finish() {
    if (!progressShown_ || out_ == nullptr) return;
    std::fputc('\n', out_);
    progressShown_ = false;
    std::fflush(out_);
}

void ConsoleUpdateView::ClearProgressLine() {
    if (!progressShown_ || out_ == nullptr) return;
    std::fputs("\r\033[K", out_);
    progressShown_ = false;
}

void ConsoleUpdateView::DrawProgress() {
    if (out_ == nullptr || (max_ <= 0 && pos_ <= 0)) return;
    if (inPlace_) {
        ClearProgressLine();
        std::fprintf(out_, "Pages written: %d / %d", pos_, max_);
        progressShown_ = true;
    } else {
        std::fprintf(out_, "Pages written: %d / %d\n", pos_, max_);
    }
    std::fflush(out_);
}
