#include "transport/LineTrace.h"

#include <cerrno>
#include <cstring>

std::unique_ptr<LineTrace> LineTrace::OpenFile(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<LineTrace>(f, true);
}

LineTrace::LineTrace(std::FILE* out, bool owned) : out_(out), owned_(owned) {}

LineTrace::~LineTrace() {
    if (owned_ && out_ != nullptr) std::fclose(out_);
}

double LineTrace::Ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
}

void LineTrace::Line(const std::string& text) {
    if (out_ == nullptr) return;
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    // A trace is read when something went wrong, perhaps after a crash: every line counts.
    std::fflush(out_);
}

void LineTrace::Opened(const std::string& port) {
    start_ = std::chrono::steady_clock::now();
    settings_.clear();
    char head[32];
    std::snprintf(head, sizeof head, "%10.3f ", 0.0);
    Line(head + std::string("open ") + port);
}

void LineTrace::Closed() {
    char head[32];
    std::snprintf(head, sizeof head, "%10.3f ", Ms());
    Line(head + std::string("close"));
}

void LineTrace::Settings(const std::string& text) {
    if (text == settings_) return;
    settings_ = text;
    char head[32];
    std::snprintf(head, sizeof head, "%10.3f ", Ms());
    Line(head + std::string("line ") + text);
}

void LineTrace::Sent(const Bytes& data) {
    if (!data.empty()) Line(DataLine(Ms(), "TX", data));
}

void LineTrace::Received(const Bytes& data) {
    if (!data.empty()) Line(DataLine(Ms(), "RX", data));
}

std::string LineTrace::DataLine(double ms, const char* direction, const Bytes& data) {
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f %s", ms, direction);
    std::string hex;
    std::string text;
    for (const char c : data) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", static_cast<unsigned char>(c));
        hex += byte;
        const auto u = static_cast<unsigned char>(c);
        text += u >= 0x20 && u < 0x7F ? c : '.';
    }
    return head + hex + " |" + text + "|";
}
