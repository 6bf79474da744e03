// The platform's serial column on its own, over a pseudo-terminal: the Win32 meaning of each
// row that TSerDev relies on without checking (non-blocking reads, queue counts, purges, and
// modem control on a line that has no modem lines).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/SerialPort.h"
#include "tests/transport/PtyPair.h"

namespace {
class SerDevColumnTest : public ::testing::Test {
protected:
    SerDevColumnTest() {
        h = api.CreateFile(pty.SlavePath().c_str(), serial::GENERIC_READ | serial::GENERIC_WRITE, 0,
                           nullptr, serial::OPEN_EXISTING, 0, nullptr);
    }
    ~SerDevColumnTest() override {
        if (h != serial::InvalidHandle()) api.CloseHandle(h);
    }

    serial::DWORD Queued() {
        serial::DWORD errors = 1;
        serial::COMSTAT st{};
        EXPECT_TRUE(api.ClearCommError(h, &errors, &st));
        EXPECT_EQ(errors, 0u);
        return st.cbInQue;
    }
    bool WaitQueued(serial::DWORD n) {
        for (int i = 0; i < 5000 && Queued() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Queued() == n;
    }

    const serial::Column& api = platform::NativeSerialColumn();
    PtyPair pty;
    serial::HANDLE h = serial::InvalidHandle();
};
}  // namespace

TEST_F(SerDevColumnTest, ReadsTakeOnlyWhatIsQueuedAndNeverWait) {
    ASSERT_NE(h, serial::InvalidHandle());
    char buf[16];
    serial::DWORD got = 99;
    EXPECT_TRUE(api.ReadFile(h, buf, sizeof buf, &got, nullptr)) << "an empty line is no error";
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(pty.Send(std::string("x\0y", 3)));
    ASSERT_TRUE(WaitQueued(3));
    ASSERT_TRUE(api.ReadFile(h, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), std::string("x\0y", 3));
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(SerDevColumnTest, PurgeDropsQueuedInput) {
    ASSERT_TRUE(pty.Send("abc"));
    ASSERT_TRUE(WaitQueued(3));
    EXPECT_TRUE(api.PurgeComm(h, serial::PURGE_RXCLEAR | serial::PURGE_TXCLEAR));
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(SerDevColumnTest, WritesReportWhatTheLineTook) {
    serial::DWORD put = 99;
    EXPECT_TRUE(api.WriteFile(h, "", 0, &put, nullptr));
    EXPECT_EQ(put, 0u);
    EXPECT_TRUE(api.WriteFile(h, "hello\n", 6, &put, nullptr));
    EXPECT_EQ(put, 6u);
    EXPECT_EQ(pty.Receive(6), "hello\n");
}

TEST_F(SerDevColumnTest, ALineWithoutModemLinesStillTakesModemControl) {
    for (serial::DWORD func : {serial::SETRTS, serial::CLRRTS, serial::SETDTR, serial::CLRDTR})
        EXPECT_TRUE(api.EscapeCommFunction(h, func)) << func;
    serial::DCB dcb{};
    ASSERT_TRUE(api.GetCommState(h, &dcb));
    EXPECT_EQ(dcb.fRtsControl, serial::RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fDtrControl, serial::DTR_CONTROL_ENABLE);
    dcb.fRtsControl = serial::RTS_CONTROL_DISABLE;
    dcb.fDtrControl = serial::DTR_CONTROL_ENABLE;
    EXPECT_TRUE(api.SetCommState(h, &dcb));
}

TEST_F(SerDevColumnTest, RefusalsLeaveTheirReasonAsTheLastError) {
    serial::DCB dcb{};
    ASSERT_TRUE(api.GetCommState(h, &dcb));
    dcb.ByteSize = 9;
    EXPECT_FALSE(api.SetCommState(h, &dcb));
    EXPECT_EQ(api.GetLastError(h), static_cast<serial::DWORD>(EINVAL));

    const serial::HANDLE second =
        api.CreateFile(pty.SlavePath().c_str(), serial::GENERIC_READ | serial::GENERIC_WRITE, 0,
                       nullptr, serial::OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, serial::InvalidHandle());
    EXPECT_EQ(api.GetLastError(nullptr), static_cast<serial::DWORD>(EBUSY));

    EXPECT_FALSE(api.EscapeCommFunction(h, 42));
    EXPECT_EQ(api.GetLastError(h), static_cast<serial::DWORD>(EINVAL));
}
