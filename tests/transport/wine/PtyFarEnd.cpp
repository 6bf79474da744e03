// A Windows test cannot make a pseudo-terminal, so this Linux program is the far end of a COM
// port under Wine for it: one fresh pty per TCP connection, with the connection's bytes.
//   pty-far-end LINK   prints the TCP port it listens on (127.0.0.1), then serves for ever
// For each connection it points LINK (the path Wine maps the port to) at a new pty, sends the
// pty's path and a line feed, then carries bytes both ways; when the connection closes, the
// pty's master goes with it: the port's far end vanishes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A raw line from the start: Wine sets only what the program's line settings name, and an
// echoing or translating terminal would garble the bytes before any were sent.
int NewPty(std::string& path) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    termios t{};
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    path = ptsname(master);
    return master;
}

// Wine opens the link's target when the port is opened, so the link moves in one step.
bool PointLink(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    return symlink(target.c_str(), temporary.c_str()) == 0 &&
           rename(temporary.c_str(), link.c_str()) == 0;
}

void Carry(int connection, int master) {
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{connection, POLLIN, 0}, {master, POLLIN, 0}};
        if (poll(fds, 2, 10) < 0 && errno != EINTR) return;
        if (fds[0].revents != 0) {
            const ssize_t n = read(connection, buffer, sizeof buffer);
            if (n <= 0 || !WriteAll(master, buffer, static_cast<std::size_t>(n))) return;
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0 && !WriteAll(connection, buffer, static_cast<std::size_t>(n))) return;
        } else if (fds[1].revents & POLLHUP) {
            // Nobody holds the port open yet (or any more): the master reports a hang-up
            // until someone does, which must not turn this loop into a spin.
            usleep(5000);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LINK\n", argv[0]);
        return 2;
    }
    const std::string link = argv[1];
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("pty-far-end: listen");
        return 1;
    }
    std::printf("%u\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        std::string path;
        const int master = NewPty(path);
        const std::string greeting = path + "\n";
        if (master >= 0 && PointLink(link, path) &&
            WriteAll(connection, greeting.data(), greeting.size()))
            Carry(connection, master);
        if (master >= 0) close(master);
        close(connection);
    }
}
