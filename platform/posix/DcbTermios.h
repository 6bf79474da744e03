// The device control block of the serial table and the kernel's termios2 describe the same
// line; this is the one place that translates between them, kept pure so it can be tested.
// It speaks the kernel's own <asm/termbits.h> (for arbitrary baud rates through BOTHER), which
// must never meet the C library's <termios.h> in one translation unit.
#pragma once

#include <asm/termbits.h>

#include "platform/SerialApi.h"

namespace platform {

// fRtsControl: RTS follows the receiver's room, which termios calls CRTSCTS.
constexpr serial::DWORD kRtsControlHandshake = 2;

// Raw mode as a serial line needs it: no line editing, echo, signals, translation or output
// processing; the receiver on; the modem status ignored; reads never wait.
void MakeRaw(termios2& t);

// Writes the DCB's line settings into `t` (raw mode, baud, parity, data bits, stop bits, flow
// control), keeping whatever the DCB does not describe. False, with `t` untouched, when the
// DCB asks for something a line cannot do (no baud rate, data bits outside 5 to 8, an unknown
// parity or stop-bit code).
bool DcbToTermios(const serial::DCB& dcb, termios2& t);

// Fills the DCB's line settings from `t`. The modem lines are not in termios: fRtsControl and
// fDtrControl are left for the caller.
void TermiosToDcb(const termios2& t, serial::DCB& dcb);

}  // namespace platform
