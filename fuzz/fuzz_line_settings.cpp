// The line-settings strings ("115200,N,8,1") as the serial device reads them into its DCB,
// and the DCB's translation to the kernel's termios2 and back.
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "FuzzRig.h"
#include "platform/posix/DcbTermios.h"
#include "transport/TSerDev.h"

namespace {

// "<baud>,<parity letter>,<bits>" in plain decimal, as the search and the engine write them.
struct Canonical {
    serial::DWORD baud = 0;
    char parity = 0;
    int bits = 0;
};

std::optional<Canonical> ReadCanonical(const std::string& s) {
    Canonical c;
    const char* p = s.data();
    const char* end = s.data() + s.size();
    auto r = std::from_chars(p, end, c.baud);
    if (r.ec != std::errc() || r.ptr == p || r.ptr + 3 > end || r.ptr[0] != ',' || r.ptr[2] != ',')
        return std::nullopt;
    c.parity = r.ptr[1];
    const char* bits = r.ptr + 3;
    r = std::from_chars(bits, end, c.bits);
    if (r.ec != std::errc() || r.ptr == bits || c.bits < 5 || c.bits > 8) return std::nullopt;
    if (r.ptr != end && *r.ptr != ',') return std::nullopt;
    if (std::string("NOEM").find(c.parity) == std::string::npos) return std::nullopt;
    return c;
}

serial::BYTE ParityCode(char letter) {
    switch (letter) {
        case 'O':
            return serial::ODDPARITY;
        case 'E':
            return serial::EVENPARITY;
        case 'M':
            return serial::MARKPARITY;
        default:
            return serial::NOPARITY;
    }
}

// A DCB the kernel can take round-trips; one it cannot leaves termios untouched.
void CheckTermios(const serial::DCB& dcb, const termios2& start) {
    termios2 t = start;
    const bool ok = platform::DcbToTermios(dcb, t);
    const bool describable = dcb.BaudRate != 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
                             dcb.Parity <= serial::SPACEPARITY &&
                             dcb.StopBits <= serial::TWOSTOPBITS;
    FUZZ_CHECK(ok == describable, "accepted " + std::to_string(ok));
    if (!ok) {
        FUZZ_CHECK(std::memcmp(&t, &start, sizeof t) == 0, "refused DCB changed termios");
        return;
    }
    FUZZ_CHECK((t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (t.c_oflag & OPOST) == 0,
               "line not raw");
    serial::DCB back{};
    platform::TermiosToDcb(t, back);
    FUZZ_CHECK(back.BaudRate == dcb.BaudRate, "baud " + std::to_string(back.BaudRate));
    FUZZ_CHECK(back.ByteSize == dcb.ByteSize, "bits " + std::to_string(back.ByteSize));
    FUZZ_CHECK(back.Parity == dcb.Parity, "parity " + std::to_string(back.Parity));
    // A Linux line knows one stop bit or "more": one and a half with five data bits, two
    // with more.
    const serial::BYTE stop = dcb.StopBits == serial::ONESTOPBIT ? serial::ONESTOPBIT
                              : dcb.ByteSize == 5                ? serial::ONE5STOPBITS
                                                                 : serial::TWOSTOPBITS;
    FUZZ_CHECK(back.StopBits == stop, "stop bits " + std::to_string(back.StopBits));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    const std::uint8_t mode = in.Byte();
    termios2 start{};
    const Bytes raw = in.Take(sizeof start);
    std::memcpy(&start, raw.data(), raw.size());

    if (mode & 1) {
        // Any DCB, as another program may have left the port, through the translation.
        serial::DCB dcb{};
        const Bytes bytes = in.Take(sizeof dcb);
        std::memcpy(&dcb, bytes.data(), bytes.size());
        CheckTermios(dcb, start);
        serial::DCB read{};
        platform::TermiosToDcb(start, read);
        FUZZ_CHECK(read.ByteSize >= 5 && read.ByteSize <= 8 && read.Parity <= 4 &&
                       read.StopBits <= serial::TWOSTOPBITS,
                   "termios read into an impossible DCB");
        return 0;
    }

    static VirtualClock clock;
    static RecordingSink sink;
    static fuzz::FuzzLine line(&clock);
    static const std::unique_ptr<TSerDev> device = fuzz::MakeDevice(clock, sink, line);
    TSerDev& dev = *device;
    const std::string settings = in.Rest();
    line.device = serial::DCB{};
    line.device.DCBlength = sizeof line.device;
    line.device.BaudRate = 4800;
    line.device.ByteSize = 7;
    line.device.StopBits = serial::TWOSTOPBITS;
    FUZZ_CHECK(dev.Open(), "open");
    dev.SetParams(settings);
    const serial::DCB dcb = line.device;
    dev.Close();

    FUZZ_CHECK(dcb.Parity <= serial::MARKPARITY, "parity code " + std::to_string(dcb.Parity));
    FUZZ_CHECK(dcb.fParity == (dcb.Parity != serial::NOPARITY ? 1u : 0u), "parity flag");
    FUZZ_CHECK(dcb.StopBits == serial::TWOSTOPBITS, "stop bits changed");
    if (const auto c = ReadCanonical(settings)) {
        FUZZ_CHECK(dcb.BaudRate == c->baud && dcb.ByteSize == c->bits &&
                       dcb.Parity == ParityCode(c->parity),
                   "\"" + fuzz::Escaped(settings) + "\" read wrongly");
    }
    CheckTermios(dcb, start);
    return 0;
}
