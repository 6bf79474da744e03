// A scripted device in place of column 0 of the serial table: it records every call the code
// under test makes and plays a line whose behaviour the test sets (queued input, accepted and
// refused writes, failures with a chosen last error). The real column is restored when the
// recorder goes out of scope. One recorder at a time; the table holds plain function pointers,
// so the recorder is reached through a static.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "platform/SerialApi.h"

class RecordingColumn {
public:
    struct Call {
        std::string row;
        serial::DWORD arg = 0;   // EscapeCommFunction code, PurgeComm flags, sizes asked
        serial::DWORD arg2 = 0;  // SetupComm's output queue
        serial::DCB dcb{};       // SetCommState's block
    };

    RecordingColumn() : saved_(serial::TableColumn(0)) {
        current_ = this;
        serial::Column& c = serial::TableColumn(0);
        c.CreateFile = &CreateFile;
        c.CloseHandle = &CloseHandle;
        c.ReadFile = &ReadFile;
        c.WriteFile = &WriteFile;
        c.GetLastError = &GetLastError;
        c.ClearCommError = &ClearCommError;
        c.EscapeCommFunction = &EscapeCommFunction;
        c.PurgeComm = &PurgeComm;
        c.SetCommState = &SetCommState;
        c.GetCommState = &GetCommState;
        c.SetupComm = &SetupComm;
        device.DCBlength = sizeof(serial::DCB);
        device.BaudRate = 9600;
        device.ByteSize = 8;
        device.StopBits = serial::TWOSTOPBITS;
    }
    ~RecordingColumn() {
        serial::TableColumn(0) = saved_;
        current_ = nullptr;
    }
    RecordingColumn(const RecordingColumn&) = delete;
    RecordingColumn& operator=(const RecordingColumn&) = delete;

    // The line as the test scripts it.
    serial::DCB device{};  // what GetCommState reports; SetCommState overwrites it
    Bytes input;           // bytes queued in the driver for ReadFile
    Bytes sent;            // bytes WriteFile accepted
    bool failCreate = false;
    bool failWrite = false;
    bool failStatus = false;            // ClearCommError fails, as on a vanished device
    serial::DWORD writeChunk = 0xFFFF;  // most bytes one WriteFile accepts (0: none)
    serial::DWORD lastError = 0;        // what GetLastError reports
    serial::DWORD outQueue = 0;

    std::vector<Call> calls;

    // The arguments of the last CreateFile.
    struct CreateArgs {
        std::string name;
        serial::DWORD access = 0;
        serial::DWORD share = 0;
        bool security = false;
        serial::DWORD creation = 0;
        serial::DWORD flags = 0;
        bool templateFile = false;
    };
    CreateArgs created;

    std::vector<Call> CallsOf(const std::string& row) const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.row == row) out.push_back(c);
        return out;
    }
    void ClearCalls() { calls.clear(); }

    static serial::HANDLE FakeHandle() { return reinterpret_cast<serial::HANDLE>(0x5eda); }

private:
    static RecordingColumn& R() { return *current_; }
    static void Record(const char* row, serial::DWORD arg = 0, serial::DWORD arg2 = 0,
                       const serial::DCB* dcb = nullptr) {
        Call c{row, arg, arg2, {}};
        if (dcb) c.dcb = *dcb;
        R().calls.push_back(c);
    }

    static serial::HANDLE CreateFile(const char* name, serial::DWORD access, serial::DWORD share,
                                     void* security, serial::DWORD creation, serial::DWORD flags,
                                     serial::HANDLE templateFile) {
        Record("CreateFile");
        R().created = {
            name, access, share, security != nullptr, creation, flags, templateFile != nullptr};
        return R().failCreate ? serial::InvalidHandle() : FakeHandle();
    }
    static serial::BOOL CloseHandle(serial::HANDLE) {
        Record("CloseHandle");
        return 1;
    }
    static serial::BOOL ReadFile(serial::HANDLE, void* buf, serial::DWORD n, serial::DWORD* got,
                                 void*) {
        Record("ReadFile", n);
        *got = static_cast<serial::DWORD>(std::min<std::size_t>(n, R().input.size()));
        std::copy_n(R().input.data(), *got, static_cast<char*>(buf));
        R().input.erase(0, *got);
        return 1;
    }
    static serial::BOOL WriteFile(serial::HANDLE, const void* buf, serial::DWORD n,
                                  serial::DWORD* put, void*) {
        Record("WriteFile", n);
        *put = 0;
        if (R().failWrite) return 0;
        *put = std::min(n, R().writeChunk);
        R().sent.append(static_cast<const char*>(buf), *put);
        return 1;
    }
    static serial::DWORD GetLastError(serial::HANDLE) { return R().lastError; }
    static serial::BOOL ClearCommError(serial::HANDLE, serial::DWORD* errors, serial::COMSTAT* st) {
        Record("ClearCommError");
        if (R().failStatus) return 0;
        *errors = 0;
        *st = serial::COMSTAT{0, static_cast<serial::DWORD>(R().input.size()), R().outQueue};
        return 1;
    }
    static serial::BOOL EscapeCommFunction(serial::HANDLE, serial::DWORD func) {
        Record("EscapeCommFunction", func);
        return 1;
    }
    static serial::BOOL PurgeComm(serial::HANDLE, serial::DWORD flags) {
        Record("PurgeComm", flags);
        return 1;
    }
    static serial::BOOL SetCommState(serial::HANDLE, serial::DCB* dcb) {
        Record("SetCommState", 0, 0, dcb);
        R().device = *dcb;
        return 1;
    }
    static serial::BOOL GetCommState(serial::HANDLE, serial::DCB* dcb) {
        Record("GetCommState");
        *dcb = R().device;
        return 1;
    }
    static serial::BOOL SetupComm(serial::HANDLE, serial::DWORD in, serial::DWORD out) {
        Record("SetupComm", in, out);
        return 1;
    }

    inline static RecordingColumn* current_ = nullptr;
    serial::Column saved_;
};
