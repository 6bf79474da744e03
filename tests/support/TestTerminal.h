// A terminal of a given width for a program under test: its stdout is the slave side of a
// pseudo-terminal of ours; what it draws is read on a thread of its own (a full terminal would
// hold the program up) and played back on a screen of lines, as a terminal shows it after the
// redraws (cursor up, carriage return, clear to the end of the line).
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TestTerminal {
public:
    explicit TestTerminal(int columns) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = 50;
        ioctl(master_, TIOCSWINSZ, &size);
        reader_ = std::thread([this] {
            char buf[4096];
            ssize_t n;
            while ((n = read(master_, buf, sizeof buf)) > 0) {
                const std::lock_guard<std::mutex> lock(mutex_);
                raw_.append(buf, static_cast<std::size_t>(n));
            }
        });
    }
    ~TestTerminal() {
        CloseSlave();
        // The reader ends when the last slave side closes (the program has gone).
        if (reader_.joinable()) reader_.join();
        if (master_ >= 0) close(master_);
    }
    TestTerminal(const TestTerminal&) = delete;
    TestTerminal& operator=(const TestTerminal&) = delete;

    // For the program's stdout; ours is closed once the program has it.
    int Slave() const { return slave_; }
    void CloseSlave() {
        if (slave_ >= 0) close(slave_);
        slave_ = -1;
    }

    // The lines the terminal shows now.
    std::vector<std::string> Screen() const {
        std::string raw;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            raw = raw_;
        }
        std::vector<std::string> lines(1);
        std::size_t row = 0, col = 0;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (c == '\033' && i + 1 < raw.size() && raw[i + 1] == '[') {
                std::size_t j = i + 2;
                while (j < raw.size() && raw[j] >= '0' && raw[j] <= '9')
                    ++j;
                if (j >= raw.size()) break;
                const int n = j > i + 2 ? std::atoi(raw.substr(i + 2, j - i - 2).c_str()) : 1;
                if (raw[j] == 'A') row = row >= static_cast<std::size_t>(n) ? row - n : 0;
                if (raw[j] == 'K' && col < lines[row].size()) lines[row].resize(col);
                i = j;
            } else if (c == '\r') {
                col = 0;
            } else if (c == '\n') {
                if (++row == lines.size()) lines.emplace_back();
            } else {
                std::string& line = lines[row];
                if (line.size() < col) line.resize(col, ' ');
                if (col < line.size())
                    line[col] = c;
                else
                    line += c;
                ++col;
            }
        }
        return lines;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string raw_;
};
