// termios2 rather than <termios.h>: the simulator reads the speed its host set, and speeds such
// as 125000 have no B-constant.
#include "bench/FaultProxy.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {
constexpr int kTurnMs = 2;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void MakeRaw(termios2& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void SetSpeed(termios2& t, unsigned baud) {
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
}
}  // namespace

std::int64_t WallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool FaultPlan::Empty() const {
    return flips[0].empty() && flips[1].empty() && noise[0].empty() && noise[1].empty() &&
           naks.empty() && trickle[0].count == 0 && trickle[1].count == 0 && slowMs == 0 &&
           silenceAfterMs < 0 && disconnectAt < 0 && muteAt < 0 && talk == Chatter::Kind::Nothing;
}

std::string FaultPlan::Describe() const {
    std::ostringstream s;
    const char* dir[2] = {"to-sim", "to-host"};
    s << (armOnUpdate ? "armed at the update command;" : "armed at once;");
    for (int d = 0; d < 2; ++d) {
        for (const auto& f : flips[d])
            s << " flip " << dir[d] << "@" << f.at << "^0x" << std::hex << int{f.mask} << std::dec
              << ";";
        for (const auto& n : noise[d])
            s << " noise " << dir[d] << "@" << n.at << "x" << n.bytes.size() << ";";
        if (trickle[d].count > 0)
            s << " trickle " << dir[d] << " " << trickle[d].count << " bytes from "
              << trickle[d].from << " every " << trickle[d].pauseMs << " ms;";
    }
    for (const auto& n : naks)
        s << " NAK x" << n.count << " before read " << n.chunk << ";";
    if (slowMs > 0) s << " replies held " << slowMs << " ms;";
    if (silenceAfterMs >= 0)
        s << " silence " << silenceMs << " ms after " << silenceAfterMs << " ms;";
    if (disconnectAt >= 0) s << " hang-up at byte " << disconnectAt << ";";
    if (muteAt >= 0) s << " simulator unheard from byte " << muteAt << ";";
    if (talk != Chatter::Kind::Nothing) {
        static const char* const kKinds[] = {"nothing", "bytes", "started replies", "sentences"};
        s << " another device talks (" << kKinds[static_cast<int>(talk)] << " every " << talkEveryMs
          << " ms) from " << talkAfterMs << " ms;";
    }
    return s.str();
}

FaultProxy::FaultProxy(FaultPlan plan, Bytes updateCommand)
    : plan_(std::move(plan)),
      updateCommand_(std::move(updateCommand)),
      chatter_(plan_.talk, plan_.talkEveryMs) {}

FaultProxy::~FaultProxy() {
    Stop();
}

bool FaultProxy::Start(const std::string& simPty) {
    sim_ = open(simPty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (sim_ < 0) {
        error_ = ErrnoText("open simulator");
        return false;
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error_ = ErrnoText("posix_openpt");
        return false;
    }
    const char* name = ptsname(master_);
    hostPath_ = name ? name : "";
    hostSlave_ = open(hostPath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios2 t{};
    if (hostSlave_ < 0 || ioctl(hostSlave_, TCGETS2, &t) != 0) {
        error_ = ErrnoText("open proxy slave");
        return false;
    }
    MakeRaw(t);
    SetSpeed(t, 115200);
    ioctl(hostSlave_, TCSETS2, &t);
    armed_ = !plan_.armOnUpdate;
    armedMs_ = WallMs();
    Touch();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void FaultProxy::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int* fd : {&master_, &hostSlave_, &sim_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void FaultProxy::Touch() {
    if (activity_) activity_->store(WallMs());
}

void FaultProxy::Run() {
    char buf[4096];
    while (!stop_) {
        pollfd p[2] = {{master_, POLLIN, 0}, {sim_, POLLIN, 0}};
        const int n = poll(p, 2, kTurnMs);
        const std::int64_t now = WallMs();
        if (n > 0 && master_ >= 0 && (p[0].revents & POLLIN)) {
            const ssize_t got = read(master_, buf, sizeof buf);
            // The configurator's speed must be the simulator's before its bytes reach it.
            MirrorSpeed();
            if (got > 0) Take(kToSim, Bytes(buf, static_cast<std::size_t>(got)), now);
        }
        if (n > 0 && sim_ >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t got = read(sim_, buf, sizeof buf);
            if (got > 0) {
                Take(kToHost, Bytes(buf, static_cast<std::size_t>(got)), now);
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The simulator closed its line (its own disconnect fault): the configurator's
                // port goes with it, as an unplugged adapter takes its port.
                simHungUp_ = true;
                close(sim_);
                sim_ = -1;
                HangUp();
            }
        }
        Chat(WallMs());
        Flush(WallMs());
    }
}

// The other device talks on its own schedule once its time has come; the adapter behind it
// is not heard any more.
void FaultProxy::Chat(std::int64_t nowMs) {
    if (!chatter_.Talks() || !armed_ || master_ < 0) return;
    if (!chatting_ && nowMs - armedMs_ < plan_.talkAfterMs) return;
    chatting_ = true;
    const Bytes said = chatter_.Talk(nowMs);
    if (said.empty()) return;
    Emit(kToHost, said, nowMs);
    Touch();
}

void FaultProxy::MirrorSpeed() {
    termios2 host{};
    if (master_ < 0 || sim_ < 0 || ioctl(master_, TCGETS2, &host) != 0) return;
    if (host.c_ospeed == currentSpeed_) return;
    termios2 t{};
    if (ioctl(sim_, TCGETS2, &t) != 0) return;
    MakeRaw(t);
    SetSpeed(t, host.c_ospeed);
    if (ioctl(sim_, TCSETS2, &t) == 0) currentSpeed_ = host.c_ospeed;
}

void FaultProxy::Take(Direction d, const Bytes& chunk, std::int64_t nowMs) {
    Touch();
    Bytes out;
    if (d == kToHost && armed_) {
        for (const auto& burst : plan_.naks)
            if (burst.chunk == simReads_) out += Bytes(static_cast<std::size_t>(burst.count), '-');
        ++simReads_;
    }
    const std::int64_t baseDue = nowMs + (d == kToHost && armed_ ? plan_.slowMs : 0);
    for (char c : chunk) {
        if (master_ < 0) return;  // hung up: nothing goes anywhere any more
        if (!armed_) {
            out += c;
            if (d != kToSim) continue;
            window_ += c;
            if (window_.size() > updateCommand_.size()) window_.erase(0, 1);
            if (window_ == updateCommand_) {
                armed_ = true;
                armedMs_ = nowMs;
            }
            continue;
        }
        const std::uint64_t at = count_[d]++;
        if (d == kToSim) original_ += c;
        const std::int64_t sinceArm = nowMs - armedMs_;
        if (plan_.silenceAfterMs >= 0 && sinceArm >= plan_.silenceAfterMs &&
            sinceArm < plan_.silenceAfterMs + plan_.silenceMs) {
            ++dropped_;
            continue;
        }
        if (d == kToHost && plan_.muteAt >= 0 && at >= static_cast<std::uint64_t>(plan_.muteAt)) {
            ++dropped_;
            continue;
        }
        if (chatting_) {
            if (d == kToSim) chatter_.Heard();
            if (d == kToHost) {
                ++dropped_;
                continue;
            }
        }
        Bytes piece;
        for (const auto& n : plan_.noise[d])
            if (n.at == at) {
                piece += n.bytes;
                damaged_[d].push_back(at);
            }
        for (const auto& f : plan_.flips[d])
            if (f.at == at) {
                c = static_cast<char>(c ^ static_cast<char>(f.mask));
                damaged_[d].push_back(at);
            }
        piece += c;
        if (d == kToSim) forwarded_ += piece;
        const auto& tr = plan_.trickle[d];
        if (tr.count > 0 && at >= tr.from && at < tr.from + tr.count) {
            Emit(d, out, baseDue);
            out.clear();
            for (char b : piece)
                Emit(d, Bytes(1, b), std::max(lastDue_[d], nowMs) + tr.pauseMs);
        } else {
            out += piece;
        }
        ++total_;
        if (plan_.disconnectAt >= 0 && total_ >= static_cast<std::uint64_t>(plan_.disconnectAt)) {
            Emit(d, out, baseDue);
            Flush(nowMs);
            HangUp();
            return;
        }
    }
    Emit(d, out, baseDue);
}

void FaultProxy::Emit(Direction d, const Bytes& bytes, std::int64_t dueMs) {
    if (bytes.empty()) return;
    dueMs = std::max(dueMs, lastDue_[d]);
    lastDue_[d] = dueMs;
    queue_[d].push_back({dueMs, bytes});
}

void FaultProxy::Flush(std::int64_t nowMs) {
    for (int d = 0; d < 2; ++d) {
        auto& q = queue_[d];
        std::size_t taken = 0;
        while (taken < q.size() && q[taken].dueMs <= nowMs)
            unwritten_[d] += q[taken++].bytes;
        q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(taken));
        const int fd = d == kToSim ? sim_ : master_;
        if (fd < 0) {
            unwritten_[d].clear();
            continue;
        }
        if (unwritten_[d].empty()) continue;
        const ssize_t n = write(fd, unwritten_[d].data(), unwritten_[d].size());
        if (n > 0) {
            unwritten_[d].erase(0, static_cast<std::size_t>(n));
            Touch();
        }
    }
}

void FaultProxy::HangUp() {
    disconnected_ = true;
    for (int* fd : {&master_, &hostSlave_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    Touch();
}
