// Winsock and the system's headers stay in here: their macros clash with the serial table's
// own names.
// Winsock first: it must come before windows.h, which the C++ library's threads bring in.
#include <winsock2.h>

#include "tests/transport/wine/FarEnd.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

FarEnd::FarEnd() : socket_(INVALID_SOCKET) {
    const char* port = std::getenv("WINE_TEST_FAR_END");
    if (port == nullptr) throw std::runtime_error("WINE_TEST_FAR_END is not set");
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    if (socket_ == INVALID_SOCKET ||
        connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("pty-far-end does not answer");
    // The pty's path comes once the port points at it.
    for (std::string c; (c = Receive(1)) != "\n";) {
        if (c.empty()) throw std::runtime_error("pty-far-end made no pty");
        ptyPath_ += c;
    }
}

FarEnd::~FarEnd() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    WSACleanup();
}

bool FarEnd::Send(const std::string& bytes) {
    return send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0) ==
           static_cast<int>(bytes.size());
}

std::string FarEnd::Receive(std::size_t count, int limitMs) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait{0, 20000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        char buffer[4096];
        const int n =
            recv(socket_, buffer, static_cast<int>(std::min(sizeof buffer, count - got.size())), 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void FarEnd::Vanish() {
    shutdown(socket_, SD_SEND);
    while (!Receive(4096).empty()) {
    }
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
