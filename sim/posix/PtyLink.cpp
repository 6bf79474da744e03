// The pseudo-terminal attachment on Linux: posix_openpt for the pair, termios2 for speeds
// such as 125000 that have no B-constant.
#include "sim/PtyLink.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
constexpr std::size_t kReadChunk = 4096;
constexpr int kMaxTurnMs = 5;  // waiting states of the adapter want a look this often

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Standard rates get their B-constant, so tools that know only those (stty) read them.
tcflag_t SpeedBits(std::uint32_t baud) {
    struct Rate {
        std::uint32_t baud;
        tcflag_t bits;
    };
    static const Rate kRates[] = {{9600, B9600},     {19200, B19200},   {38400, B38400},
                                  {57600, B57600},   {115200, B115200}, {230400, B230400},
                                  {460800, B460800}, {921600, B921600}};
    for (const auto& r : kRates)
        if (r.baud == baud) return r.bits;
    return BOTHER;
}

void MakeRaw(termios2& t, std::uint32_t baud) {
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CS8 | CREAD | CLOCAL | SpeedBits(baud) | (SpeedBits(baud) << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}
}  // namespace

PtyLink::PtyLink(AdapterSim& sim) : sim_(sim) {}

PtyLink::~PtyLink() {
    CloseLine();
}

bool PtyLink::Open() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        error_ = ErrnoText("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error_ = ErrnoText("unlockpt");
        CloseLine();
        return false;
    }
    const char* name = ptsname(master_);
    slavePath_ = name ? name : "";
    // Our own hold on the slave keeps the pair alive between the host's opens.
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios2 t{};
    if (slave_ < 0 || ioctl(slave_, TCGETS2, &t) != 0) {
        error_ = ErrnoText("open slave");
        CloseLine();
        return false;
    }
    MakeRaw(t, sim_.Config().line.baud);
    ioctl(slave_, TCSETS2, &t);
    readClockUs_ = NowUs();
    return true;
}

void PtyLink::SetPaced(bool on) {
    paced_ = on;
    out_.SetEnabled(on);
}

std::int64_t PtyLink::NowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

LineSettings PtyLink::HostLine() const {
    termios2 t{};
    // On the master, the terminal ioctls answer for the slave.
    if (master_ < 0 || ioctl(master_, TCGETS2, &t) != 0) return LineSettings{0, 'N', 8};
    return LineSettings{t.c_ospeed, 'N', 8};
}

void PtyLink::Serve(const std::function<bool()>& stop) {
    while (!Closed() && !stop())
        ServeOnce(20);
}

void PtyLink::ServeOnce(int maxWaitMs) {
    if (Closed()) return;
    const std::int64_t nowUs = NowUs();
    const bool mayRead = ReadAllowance(nowUs) > 0;
    std::int64_t waitMs = std::min(maxWaitMs, kMaxTurnMs);
    const std::int64_t due = sim_.NextDueMs();
    if (due != OutputQueue::kNever)
        waitMs = std::clamp<std::int64_t>(due - nowUs / 1000, 0, waitMs);
    if (out_.Pending() > 0 || !mayRead) waitMs = std::min<std::int64_t>(waitMs, 1);
    pollfd p{master_,
             static_cast<short>((mayRead ? POLLIN : 0) | (unwritten_.empty() ? 0 : POLLOUT)), 0};
    poll(&p, 1, static_cast<int>(waitMs));
    if (p.revents & POLLIN) ReadHost(NowUs());
    WriteHost(NowUs());
    if (sim_.TakeDisconnect()) CloseLine();
}

std::size_t PtyLink::ReadAllowance(std::int64_t nowUs) {
    if (!paced_) return kReadChunk;
    const std::int64_t byteUs = WirePacer::ByteTimeUs(HostLine().baud);
    if (byteUs == 0) return kReadChunk;
    // A line idle for a while has not saved up time: at most a short burst is owed.
    readClockUs_ = std::max(readClockUs_, nowUs - 16 * byteUs);
    return static_cast<std::size_t>(std::clamp<std::int64_t>(
        (nowUs - readClockUs_) / byteUs, 0, static_cast<std::int64_t>(kReadChunk)));
}

void PtyLink::ReadHost(std::int64_t nowUs) {
    char buf[kReadChunk];
    const std::size_t allowed = ReadAllowance(nowUs);
    const ssize_t n = ::read(master_, buf, std::min(allowed, sizeof buf));
    if (n <= 0) return;
    if (paced_) readClockUs_ += n * WirePacer::ByteTimeUs(HostLine().baud);
    sim_.SetLine(HostLine());
    sim_.OnBytes(Bytes(buf, static_cast<std::size_t>(n)), nowUs / 1000);
}

void PtyLink::WriteHost(std::int64_t nowUs) {
    const Bytes out = sim_.Poll(nowUs / 1000);
    if (!out.empty()) out_.Push(out, sim_.WireLine(), nowUs);
    for (const auto& chunk : out_.Take(nowUs))
        unwritten_ += chunk.data;
    if (unwritten_.empty()) return;
    const ssize_t n = ::write(master_, unwritten_.data(), unwritten_.size());
    if (n > 0) unwritten_.erase(0, static_cast<std::size_t>(n));
}

void PtyLink::CloseLine() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = -1;
    master_ = -1;
}
