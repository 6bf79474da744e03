#include "platform/SerialApi.h"

namespace serial {

const std::array<const char*, kRowCount> kRowNames = {
    "CreateFile",   "CloseHandle",    "ReadFile",           "WriteFile",
    "GetLastError", "ClearCommError", "EscapeCommFunction", "PurgeComm",
    "SetCommState", "GetCommState",   "SetupComm",
};

namespace {
template <typename Fn>
bool BindRow(std::function<Fn>& slot, int row, const std::function<void*(const char*)>& lookup) {
    const auto fn = reinterpret_cast<Fn*>(lookup(kRowNames[row]));
    if (fn == nullptr) return false;
    slot = fn;
    return true;
}
}  // namespace

bool BindColumn(Column& c, const std::function<void*(const char*)>& lookup) {
    const bool ok = BindRow(c.CreateFile, 0, lookup) & BindRow(c.CloseHandle, 1, lookup) &
                    BindRow(c.ReadFile, 2, lookup) & BindRow(c.WriteFile, 3, lookup) &
                    BindRow(c.GetLastError, 4, lookup) & BindRow(c.ClearCommError, 5, lookup) &
                    BindRow(c.EscapeCommFunction, 6, lookup) & BindRow(c.PurgeComm, 7, lookup) &
                    BindRow(c.SetCommState, 8, lookup) & BindRow(c.GetCommState, 9, lookup) &
                    BindRow(c.SetupComm, 10, lookup);
    if (!ok) c = Column{};
    return ok;
}

Column Backend::AsColumn() {
    // Each row holds the object only while it lives; a gone object fails like a gone device.
    const std::weak_ptr<Backend*> weak = alive_;
    auto at = [weak]() -> Backend* {
        const auto held = weak.lock();
        return held ? *held : nullptr;
    };
    Column c;
    c.CreateFile = [at](const char* name, DWORD access, DWORD share, void* security, DWORD creation,
                        DWORD flags, HANDLE templateFile) {
        Backend* b = at();
        return b ? b->Open(name, access, share, security, creation, flags, templateFile)
                 : InvalidHandle();
    };
    c.CloseHandle = [at](HANDLE h) -> BOOL {
        Backend* b = at();
        return b ? b->Close(h) : 0;
    };
    c.ReadFile = [at](HANDLE h, void* buffer, DWORD n, DWORD* read, void*) -> BOOL {
        Backend* b = at();
        if (b) return b->Read(h, buffer, n, read);
        if (read) *read = 0;
        return 0;
    };
    c.WriteFile = [at](HANDLE h, const void* buffer, DWORD n, DWORD* written, void*) -> BOOL {
        Backend* b = at();
        if (b) return b->Write(h, buffer, n, written);
        if (written) *written = 0;
        return 0;
    };
    c.GetLastError = [at](HANDLE h) -> DWORD {
        Backend* b = at();
        return b ? b->LastError(h) : 0;
    };
    c.ClearCommError = [at](HANDLE h, DWORD* errors, COMSTAT* status) -> BOOL {
        Backend* b = at();
        return b ? b->Status(h, errors, status) : 0;
    };
    c.EscapeCommFunction = [at](HANDLE h, DWORD func) -> BOOL {
        Backend* b = at();
        return b ? b->Escape(h, func) : 0;
    };
    c.PurgeComm = [at](HANDLE h, DWORD flags) -> BOOL {
        Backend* b = at();
        return b ? b->Purge(h, flags) : 0;
    };
    c.SetCommState = [at](HANDLE h, DCB* dcb) -> BOOL {
        Backend* b = at();
        return b ? b->SetState(h, dcb) : 0;
    };
    c.GetCommState = [at](HANDLE h, DCB* dcb) -> BOOL {
        Backend* b = at();
        return b ? b->GetState(h, dcb) : 0;
    };
    c.SetupComm = [at](HANDLE h, DWORD in, DWORD out) -> BOOL {
        Backend* b = at();
        return b ? b->Setup(h, in, out) : 0;
    };
    return c;
}

}  // namespace serial
