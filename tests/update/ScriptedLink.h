// A serial line scripted by the test: it records every write as one frame, hands out the
// bytes the test feeds, and reports whatever transmit-queue count the test sets. It stands in
// for column 0 of the serial table while a test runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "platform/SerialApi.h"

class ScriptedLink {
public:
    ScriptedLink() : saved_(serial::TableColumn(0)) {
        current_ = this;
        serial::TableColumn(0) = Column();
    }
    ~ScriptedLink() {
        serial::TableColumn(0) = saved_;
        current_ = nullptr;
    }
    ScriptedLink(const ScriptedLink&) = delete;
    ScriptedLink& operator=(const ScriptedLink&) = delete;

    Bytes input;                 // bytes the driver holds for the reader
    std::vector<Bytes> writes;   // one entry per accepted write call
    serial::DWORD outQueue = 0;  // what the driver says is still to be sent
    bool failOpen = false;
    bool failWrites = false;
    bool lost = false;  // unplugged: writes and, once the input is read, status queries fail
    int opens = 0;
    int closes = 0;
    // Called after each accepted write, so a test can play the boot loader.
    std::function<void(const Bytes&)> onWrite;
    // Settings and line calls in order: "SetCommState 115200,0,8 stop=2 rts=1 dtr=1",
    // "Escape 3", "Close". The line reports 9600 baud, two stop bits and both lines off.
    std::vector<std::string> lineCalls;

    void Feed(const Bytes& bytes) { input += bytes; }
    Bytes AllWritten() const {
        Bytes all;
        for (const Bytes& w : writes)
            all += w;
        return all;
    }

private:
    static ScriptedLink& Cur() { return *current_; }
    static serial::HANDLE Handle() { return reinterpret_cast<serial::HANDLE>(0x100); }

    static serial::Column Column() {
        serial::Column c;
        c.CreateFile = [](const char*, serial::DWORD, serial::DWORD, void*, serial::DWORD,
                          serial::DWORD, serial::HANDLE) {
            if (Cur().failOpen) return serial::InvalidHandle();
            ++Cur().opens;
            return Handle();
        };
        c.CloseHandle = [](serial::HANDLE) {
            ++Cur().closes;
            Cur().lineCalls.push_back("Close");
            return 1;
        };
        c.ReadFile = [](serial::HANDLE, void* buf, serial::DWORD n, serial::DWORD* read, void*) {
            Bytes& in = Cur().input;
            const std::size_t k = std::min<std::size_t>(n, in.size());
            in.copy(static_cast<char*>(buf), k);
            in.erase(0, k);
            *read = static_cast<serial::DWORD>(k);
            return 1;
        };
        c.WriteFile = [](serial::HANDLE, const void* buf, serial::DWORD n, serial::DWORD* written,
                         void*) {
            *written = 0;
            if (Cur().failWrites || Cur().lost) return 0;
            *written = n;
            Bytes frame(static_cast<const char*>(buf), n);
            Cur().writes.push_back(frame);
            if (Cur().onWrite) Cur().onWrite(frame);
            return 1;
        };
        c.GetLastError = [](serial::HANDLE) -> serial::DWORD { return Cur().failWrites ? 5 : 0; };
        c.ClearCommError = [](serial::HANDLE, serial::DWORD* errors, serial::COMSTAT* st) {
            if (Cur().lost && Cur().input.empty()) return 0;
            if (errors) *errors = 0;
            if (st) {
                st->Flags = 0;
                st->cbInQue = static_cast<serial::DWORD>(Cur().input.size());
                st->cbOutQue = Cur().outQueue;
            }
            return 1;
        };
        c.EscapeCommFunction = [](serial::HANDLE, serial::DWORD func) {
            Cur().lineCalls.push_back("Escape " + std::to_string(func));
            return 1;
        };
        c.PurgeComm = [](serial::HANDLE, serial::DWORD flags) {
            if (flags & serial::PURGE_RXCLEAR) Cur().input.clear();
            return 1;
        };
        c.SetCommState = [](serial::HANDLE, serial::DCB* d) {
            Cur().lineCalls.push_back(
                "SetCommState " + std::to_string(d->BaudRate) + "," + std::to_string(d->Parity) +
                "," + std::to_string(d->ByteSize) + " stop=" + std::to_string(d->StopBits) +
                " rts=" + std::to_string(d->fRtsControl) +
                " dtr=" + std::to_string(d->fDtrControl));
            return 1;
        };
        c.GetCommState = [](serial::HANDLE, serial::DCB* d) {
            d->BaudRate = 9600;
            d->ByteSize = 7;
            d->Parity = serial::EVENPARITY;
            d->StopBits = serial::TWOSTOPBITS;
            d->fRtsControl = serial::RTS_CONTROL_DISABLE;
            d->fDtrControl = serial::DTR_CONTROL_DISABLE;
            return 1;
        };
        c.SetupComm = [](serial::HANDLE, serial::DWORD, serial::DWORD) { return 1; };
        return c;
    }

    static inline ScriptedLink* current_ = nullptr;
    serial::Column saved_;
};
