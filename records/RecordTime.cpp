#include "records/RecordTime.h"

#include <chrono>
#include <cstdio>

namespace {
using namespace std::chrono;

// Reads exactly `digits` decimal digits at `pos`.
bool Digits(const std::string& s, std::size_t& pos, int digits, int& value) {
    value = 0;
    for (int i = 0; i < digits; ++i, ++pos) {
        if (pos >= s.size() || s[pos] < '0' || s[pos] > '9') return false;
        value = value * 10 + (s[pos] - '0');
    }
    return true;
}

bool Expect(const std::string& s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

// "Z", "+hh:mm", "-hh:mm", "+hhmm" or nothing, to the end of the text: the offset east of UTC.
bool Zone(const std::string& s, std::size_t pos, int& offsetMinutes) {
    offsetMinutes = 0;
    if (pos == s.size()) return true;
    if (s[pos] == 'Z' || s[pos] == 'z') return pos + 1 == s.size();
    if (s[pos] != '+' && s[pos] != '-') return false;
    const int sign = s[pos++] == '-' ? -1 : 1;
    int h = 0, m = 0;
    if (!Digits(s, pos, 2, h)) return false;
    if (pos < s.size() && s[pos] == ':') ++pos;
    if (!Digits(s, pos, 2, m) || pos != s.size() || h > 23 || m > 59) return false;
    offsetMinutes = sign * (h * 60 + m);
    return true;
}
}  // namespace

std::int64_t RecordNowMs() {
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string FormatIsoTime(std::int64_t ms) {
    const sys_time<milliseconds> t{milliseconds{ms}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> hms{t - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(hms.hours().count()),
                  int(hms.minutes().count()), int(hms.seconds().count()),
                  int(hms.subseconds().count()));
    return text;
}

bool ParseIsoTime(const std::string& s, std::int64_t& ms) {
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, frac = 0;
    if (!Digits(s, pos, 4, y) || !Expect(s, pos, '-') || !Digits(s, pos, 2, mo) ||
        !Expect(s, pos, '-') || !Digits(s, pos, 2, d))
        return false;
    const year_month_day ymd{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if (!ymd.ok()) return false;
    if (pos < s.size() && (s[pos] == 'T' || s[pos] == 't' || s[pos] == ' ')) {
        ++pos;
        if (!Digits(s, pos, 2, h) || !Expect(s, pos, ':') || !Digits(s, pos, 2, mi)) return false;
        if (pos < s.size() && s[pos] == ':') {
            ++pos;
            if (!Digits(s, pos, 2, sec)) return false;
            if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
                ++pos;
                // Milliseconds from the first three digits; more are allowed and dropped.
                int scale = 100;
                const std::size_t first = pos;
                for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, scale /= 10)
                    frac += (s[pos] - '0') * scale;
                if (pos == first) return false;
            }
        }
        if (h > 23 || mi > 59 || sec > 59) return false;
    }
    int offset = 0;
    if (!Zone(s, pos, offset)) return false;
    const auto t = sys_days{ymd} + hours{h} + minutes{mi - offset} + seconds{sec};
    ms = duration_cast<milliseconds>(t.time_since_epoch()).count() + frac;
    return true;
}
