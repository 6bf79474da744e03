// What the tests use to talk to the simulator as a host would: feed bytes, let time pass,
// collect what came back, and cut framed replies out of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "sim/AdapterSim.h"

class SimClient {
public:
    explicit SimClient(AdapterSim& sim, LineSettings line = {115200, 'N', 8}) : sim_(sim) {
        sim_.SetLine(line);
    }

    // Sends bytes, then lets ms pass in 1 ms steps; returns what the adapter sent meanwhile.
    Bytes Exchange(const Bytes& out, int ms = 20) {
        sim_.OnBytes(out, now_);
        return Wait(ms);
    }
    Bytes Wait(int ms) {
        Bytes in;
        for (int i = 0; i < ms; ++i) {
            ++now_;
            in += sim_.Poll(now_);
        }
        return in;
    }
    std::int64_t Now() const { return now_; }

    // The body of every complete reply in `in` (between the start CR LF and the CR LF CR LF).
    static std::vector<std::string> Replies(const Bytes& in) {
        std::vector<std::string> out;
        std::size_t pos = 0;
        while (true) {
            const std::size_t start = in.find("\r\n", pos);
            if (start == Bytes::npos) break;
            const std::size_t end = in.find("\r\n\r\n", start + 2);
            if (end == Bytes::npos) break;
            out.push_back(in.substr(start + 2, end - start - 2));
            pos = end + 4;
        }
        return out;
    }
    static std::vector<std::string> Lines(const std::string& body) {
        std::vector<std::string> lines;
        std::size_t pos = 0;
        while (true) {
            const std::size_t e = body.find("\r\n", pos);
            lines.push_back(body.substr(pos, e == std::string::npos ? std::string::npos : e - pos));
            if (e == std::string::npos) break;
            pos = e + 2;
        }
        return lines;
    }

private:
    AdapterSim& sim_;
    std::int64_t now_ = 0;
};
