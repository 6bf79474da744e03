#include "records/UnitRecord.h"

#include <openssl/rand.h>

#include <array>
#include <cstdio>
#include <random>

namespace {
constexpr std::array<const char*, 4> kVerdictTokens = {"started", "passed", "failed",
                                                       "interrupted"};
}  // namespace

const char* VerdictToken(Verdict verdict) {
    return kVerdictTokens[static_cast<std::size_t>(verdict)];
}

bool ParseVerdict(const std::string& token, Verdict& verdict) {
    for (std::size_t i = 0; i < kVerdictTokens.size(); ++i) {
        if (token == kVerdictTokens[i]) {
            verdict = static_cast<Verdict>(i);
            return true;
        }
    }
    return false;
}

const std::vector<std::string>& UpdateResultTokens() {
    static const std::vector<std::string> tokens = {"ok",         "header-only",   "canceled",
                                                    "port-lost",  "connect-error", "header-error",
                                                    "page-error", "end-error"};
    return tokens;
}

std::string NewRowId() {
    std::array<unsigned char, 16> b{};
    // OpenSSL's generator is seeded from the system; should it ever fail, the standard
    // library's device still gives ids that two stations will not share.
    if (RAND_bytes(b.data(), static_cast<int>(b.size())) != 1) {
        std::random_device device;
        for (auto& byte : b)
            byte = static_cast<unsigned char>(device());
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4: random
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}
