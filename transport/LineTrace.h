// What crossed the line, for diagnosing a conversation with an adapter: every byte sent and
// received with the time since the operation began (each operation opens the port), the
// direction, and the line settings whenever they change; hex and printable text, one write
// or one read per line. Nothing is written unless a user asks for a trace.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "base/Bytes.h"

class LineTrace {
public:
    // Appends to `path`; null with the system's reason in `error` when it cannot be opened.
    static std::unique_ptr<LineTrace> OpenFile(const std::string& path, std::string& error);
    explicit LineTrace(std::FILE* out, bool owned = false);
    ~LineTrace();
    LineTrace(const LineTrace&) = delete;
    LineTrace& operator=(const LineTrace&) = delete;

    // The port was opened: times count from here.
    void Opened(const std::string& port);
    void Closed();
    // "115200,N,8,1 RTS=0 DTR=1": written only when it differs from the last one.
    void Settings(const std::string& text);
    void Sent(const Bytes& data);
    void Received(const Bytes& data);

    // One line as the trace writes it, for tests and tools that read traces back:
    // "<ms> <TX|RX> <hex bytes> |<printable>|".
    static std::string DataLine(double ms, const char* direction, const Bytes& data);

private:
    double Ms() const;
    void Line(const std::string& text);

    std::FILE* out_;
    bool owned_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::string settings_;
};
