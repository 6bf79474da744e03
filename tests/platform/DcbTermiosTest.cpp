#include "platform/posix/DcbTermios.h"

#include <gtest/gtest.h>

namespace {
serial::DCB Dcb(serial::DWORD baud, serial::BYTE parity, serial::BYTE bits,
                serial::BYTE stop = serial::ONESTOPBIT) {
    serial::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.Parity = parity;
    dcb.ByteSize = bits;
    dcb.StopBits = stop;
    dcb.fRtsControl = serial::RTS_CONTROL_ENABLE;
    dcb.fDtrControl = serial::DTR_CONTROL_ENABLE;
    return dcb;
}

// What a terminal looks like before anyone made it raw: a login line at 38400.
termios2 CookedTerminal() {
    termios2 t{};
    t.c_iflag = ICRNL | IXON | IXANY | IMAXBEL | BRKINT | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B38400 | CS8 | CREAD | HUPCL | CRTSCTS;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    t.c_cc[VINTR] = 3;
    t.c_ispeed = t.c_ospeed = 38400;
    return t;
}
}  // namespace

TEST(DcbTermios, GivesARawLineThatPassesEveryByteUntouched) {
    termios2 t = CookedTerminal();
    ASSERT_TRUE(platform::DcbToTermios(Dcb(115200, serial::NOPARITY, 8), t));
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXANY | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    // What raw mode does not concern is kept.
    EXPECT_NE(t.c_cflag & HUPCL, 0u);
    EXPECT_EQ(t.c_cc[VINTR], 3);
}

TEST(DcbTermios, CarriesAnyBaudRateAsTheSpeedItself) {
    for (serial::DWORD baud : {9600u, 19200u, 38400u, 115200u, 125000u, 250000u, 300u}) {
        termios2 t = CookedTerminal();
        ASSERT_TRUE(platform::DcbToTermios(Dcb(baud, serial::NOPARITY, 8), t)) << baud;
        EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER)) << baud;
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input speed must follow output: " << baud;
        EXPECT_EQ(t.c_ospeed, baud);
        EXPECT_EQ(t.c_ispeed, baud);
        serial::DCB back{};
        platform::TermiosToDcb(t, back);
        EXPECT_EQ(back.BaudRate, baud);
    }
}

TEST(DcbTermios, ParityCodesMapBothWaysIncludingMarkAndSpace) {
    struct Row {
        serial::BYTE parity;
        tcflag_t flags;
    };
    const Row rows[] = {
        {serial::NOPARITY, 0},
        {serial::ODDPARITY, PARENB | PARODD},
        {serial::EVENPARITY, PARENB},
        {serial::MARKPARITY, PARENB | PARODD | CMSPAR},
        {serial::SPACEPARITY, PARENB | CMSPAR},
    };
    for (const Row& row : rows) {
        termios2 t = CookedTerminal();
        t.c_cflag |= PARODD | CMSPAR;  // leftovers must not leak into the new setting
        ASSERT_TRUE(platform::DcbToTermios(Dcb(9600, row.parity, 8), t));
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), row.flags) << int(row.parity);
        serial::DCB back{};
        platform::TermiosToDcb(t, back);
        EXPECT_EQ(back.Parity, row.parity);
    }
}

TEST(DcbTermios, ParityCheckingFollowsFParity) {
    termios2 t = CookedTerminal();
    serial::DCB dcb = Dcb(9600, serial::EVENPARITY, 7);
    dcb.fParity = 1;
    ASSERT_TRUE(platform::DcbToTermios(dcb, t));
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    dcb.fParity = 0;
    ASSERT_TRUE(platform::DcbToTermios(dcb, t));
    EXPECT_EQ(t.c_iflag & INPCK, 0u);
}

TEST(DcbTermios, DataBitsFiveToEightMapBothWays) {
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (serial::BYTE bits = 5; bits <= 8; ++bits) {
        termios2 t = CookedTerminal();
        ASSERT_TRUE(platform::DcbToTermios(Dcb(9600, serial::NOPARITY, bits), t));
        EXPECT_EQ(t.c_cflag & CSIZE, sizes[bits - 5]);
        serial::DCB back{};
        platform::TermiosToDcb(t, back);
        EXPECT_EQ(back.ByteSize, bits);
    }
}

TEST(DcbTermios, StopBitsMapBothWays) {
    struct Row {
        serial::BYTE stop;
        serial::BYTE bits;
        bool cstopb;
    };
    const Row rows[] = {
        {serial::ONESTOPBIT, 8, false},
        {serial::TWOSTOPBITS, 8, true},
        {serial::ONE5STOPBITS, 5, true},  // the only size where 1.5 exists
    };
    for (const Row& row : rows) {
        termios2 t = CookedTerminal();
        t.c_cflag |= CSTOPB;
        ASSERT_TRUE(platform::DcbToTermios(Dcb(9600, serial::NOPARITY, row.bits, row.stop), t));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, row.cstopb) << int(row.stop);
        serial::DCB back{};
        platform::TermiosToDcb(t, back);
        EXPECT_EQ(back.StopBits, row.stop);
    }
}

TEST(DcbTermios, RefusesWhatNoLineCanDoAndLeavesTheTerminalAlone) {
    const serial::DCB bad[] = {
        Dcb(0, serial::NOPARITY, 8),       Dcb(9600, serial::NOPARITY, 4),
        Dcb(9600, serial::NOPARITY, 9),    Dcb(9600, 5, 8),
        Dcb(9600, serial::NOPARITY, 8, 3),
    };
    for (const serial::DCB& dcb : bad) {
        termios2 t = CookedTerminal();
        EXPECT_FALSE(platform::DcbToTermios(dcb, t));
        EXPECT_EQ(t.c_cflag, CookedTerminal().c_cflag);
        EXPECT_EQ(t.c_lflag, CookedTerminal().c_lflag);
    }
}

TEST(DcbTermios, FlowControlOnlyWhenTheDcbAsksForIt) {
    termios2 t = CookedTerminal();
    serial::DCB dcb = Dcb(9600, serial::NOPARITY, 8);
    dcb.fOutxCtsFlow = 1;
    dcb.fOutX = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ASSERT_TRUE(platform::DcbToTermios(dcb, t));
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_iflag & IXOFF, 0u);
    serial::DCB back{};
    platform::TermiosToDcb(t, back);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fOutX, 1u);
    EXPECT_EQ(back.fInX, 0u);
    EXPECT_EQ(back.XonChar, 0x11);
    EXPECT_EQ(back.XoffChar, 0x13);
    EXPECT_EQ(back.DCBlength, sizeof(serial::DCB));
    EXPECT_EQ(back.fBinary, 1u);
}
