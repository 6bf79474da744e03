#include "platform/SerialApi.h"

#include "platform/SerialPort.h"

namespace serial {

const std::array<const char*, kRowCount> kRowNames = {
    "CreateFile",     "CloseHandle",        "ReadFile",  "WriteFile",
    "GetLastError",   "ClearCommError",     "EscapeCommFunction",
    "PurgeComm",      "SetCommState",       "GetCommState",
    "SetupComm",
};

namespace {
template <typename Fn>
bool BindRow(Fn& slot, int row, const std::function<void*(const char*)>& lookup) {
    slot = reinterpret_cast<Fn>(lookup(kRowNames[row]));
    return slot != nullptr;
}

std::array<Column, 2>& Table() {
    static std::array<Column, 2> table{platform::NativeSerialColumn(), Column{}};
    return table;
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

Column& TableColumn(int kind) { return Table()[kind == 1 ? 1 : 0]; }

}  // namespace serial
