// The far end of the COM port that the test script maps under Wine, played by the test through
// a connection to pty-far-end, which makes a fresh pseudo-terminal for it and maps the port there.
#pragma once

#include <cstdint>
#include <string>

class FarEnd {
public:
    // WINE_TEST_FAR_END names the TCP port on 127.0.0.1 where pty-far-end listens.
    FarEnd();
    ~FarEnd();
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    const std::string& PtyPath() const { return ptyPath_; }
    bool Send(const std::string& bytes);
    // Whatever the port sent, up to `count` bytes, waiting at most `limitMs` for them.
    std::string Receive(std::size_t count, int limitMs = 5000);
    // The far end goes away, as an unplugged adapter does: once pty-far-end has closed its
    // side of the connection, the pty's master is closed too.
    void Vanish();

private:
    std::uintptr_t socket_;
    std::string ptyPath_;
};

// Whether the program runs on Wine rather than on Windows.
bool UnderWine();
