// Pure translation between the serial table's DCB and termios2; no device is touched here.
#include "platform/posix/DcbTermios.h"

namespace platform {

namespace {
bool Describable(const serial::DCB& dcb) {
    return dcb.BaudRate != 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= serial::SPACEPARITY && dcb.StopBits <= serial::TWOSTOPBITS;
}

tcflag_t SizeFlag(serial::BYTE bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

serial::BYTE SizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t ParityFlags(serial::BYTE parity) {
    switch (parity) {
        case serial::ODDPARITY:
            return PARENB | PARODD;
        case serial::EVENPARITY:
            return PARENB;
        case serial::MARKPARITY:
            return PARENB | CMSPAR | PARODD;
        case serial::SPACEPARITY:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

serial::BYTE ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) return serial::NOPARITY;
    const bool odd = (cflag & PARODD) != 0;
    if (cflag & CMSPAR) return odd ? serial::MARKPARITY : serial::SPACEPARITY;
    return odd ? serial::ODDPARITY : serial::EVENPARITY;
}

void SetFlag(tcflag_t& flags, tcflag_t flag, bool on) {
    if (on)
        flags |= flag;
    else
        flags &= ~flag;
}
}  // namespace

void MakeRaw(termios2& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                   IXANY | IXOFF | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // Flow control left behind by another program would stall our writes or eat the XON and
    // XOFF bytes of a firmware image; the adapter uses none.
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool DcbToTermios(const serial::DCB& dcb, termios2& t) {
    if (!Describable(dcb)) return false;
    MakeRaw(t);
    // BOTHER with the rate in the speed fields reaches any rate the driver can divide down
    // to, 125000 included; CIBAUD cleared makes the input speed follow the output speed.
    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= BOTHER | SizeFlag(dcb.ByteSize) | ParityFlags(dcb.Parity);
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    // One and a half stop bits exist only with five data bits, where CSTOPB means just that.
    if (dcb.StopBits != serial::ONESTOPBIT) t.c_cflag |= CSTOPB;
    SetFlag(t.c_iflag, INPCK, dcb.fParity != 0);
    SetFlag(t.c_cflag, CRTSCTS, dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == kRtsControlHandshake);
    SetFlag(t.c_iflag, IXON, dcb.fOutX != 0);
    SetFlag(t.c_iflag, IXOFF, dcb.fInX != 0);
    if (dcb.fOutX || dcb.fInX) {
        t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
    return true;
}

void TermiosToDcb(const termios2& t, serial::DCB& dcb) {
    dcb.DCBlength = sizeof(serial::DCB);
    dcb.BaudRate = t.c_ospeed;
    dcb.fBinary = 1;
    dcb.fParity = (t.c_iflag & INPCK) ? 1 : 0;
    dcb.fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? 1 : 0;
    dcb.fOutX = (t.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    dcb.ByteSize = SizeOf(t.c_cflag);
    dcb.Parity = ParityOf(t.c_cflag);
    if ((t.c_cflag & CSTOPB) == 0)
        dcb.StopBits = serial::ONESTOPBIT;
    else
        dcb.StopBits = dcb.ByteSize == 5 ? serial::ONE5STOPBITS : serial::TWOSTOPBITS;
}

}  // namespace platform
