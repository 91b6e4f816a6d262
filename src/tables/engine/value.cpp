#include "value.h"

#include <charconv>
#include <cstdio>

namespace pulpex::engine {

namespace {
bool parseInt(std::string_view s, int& out) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc();
}
}  // namespace

bool Date::isValid(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int dim = days[m - 1];
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) dim = 29;
    return d <= dim;
}

// Gregorian calendar conversion (Fliegel & Van Flandern).
std::int64_t Date::julianDay() const {
    std::int64_t a = (14 - month) / 12;
    std::int64_t y = year + 4800 - a;
    std::int64_t m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

Date Date::fromJulianDay(std::int64_t jd) {
    std::int64_t a = jd + 32044;
    std::int64_t b = (4 * a + 3) / 146097;
    std::int64_t c = a - 146097 * b / 4;
    std::int64_t d = (4 * c + 3) / 1461;
    std::int64_t e = c - 1461 * d / 4;
    std::int64_t m = (5 * e + 2) / 153;
    Date r;
    r.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    r.month = static_cast<int>(m + 3 - 12 * (m / 10));
    r.year = static_cast<int>(100 * b + d - 4800 + m / 10);
    if (!isValid(r.year, r.month, r.day)) return {};
    return r;
}

std::string Date::iso() const {
    if (isNull()) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

Date Date::parse(std::string_view t) {
    int y, m, d;
    if (t.size() == 10 && t[4] == '-' && t[7] == '-') {
        if (parseInt(t.substr(0, 4), y) && parseInt(t.substr(5, 2), m) &&
            parseInt(t.substr(8, 2), d) && isValid(y, m, d))
            return {y, m, d};
    } else if (t.size() == 8) {
        if (parseInt(t.substr(0, 4), y) && parseInt(t.substr(4, 2), m) &&
            parseInt(t.substr(6, 2), d) && isValid(y, m, d))
            return {y, m, d};
    }
    return {};
}

std::string DateTime::iso() const {
    if (isNull()) return {};
    char buf[40];
    if (msec != 0)
        std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d.%03d", date.iso().c_str(), hour, minute,
                      second, msec);
    else
        std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d", date.iso().c_str(), hour, minute,
                      second);
    return buf;
}

DateTime DateTime::parse(std::string_view t) {
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    DateTime r;
    if (t.size() < 10) return {};
    r.date = Date::parse(t.substr(0, 10));
    if (r.date.isNull()) return {};
    if (t.size() == 10) return r;
    if (t[10] != ' ' && t[10] != 'T') return {};
    std::string_view tm = t.substr(11);
    int h, mi, s = 0, ms = 0;
    if (tm.size() < 5 || tm[2] != ':' || !parseInt(tm.substr(0, 2), h) ||
        !parseInt(tm.substr(3, 2), mi))
        return {};
    if (tm.size() > 5) {
        if (tm.size() < 8 || tm[5] != ':' || !parseInt(tm.substr(6, 2), s)) return {};
        if (tm.size() > 8) {
            if (tm[8] != '.' && tm[8] != ',') return {};
            std::string_view frac = tm.substr(9);
            if (frac.empty() || frac.size() > 3 || !parseInt(frac, ms)) return {};
            for (std::size_t i = frac.size(); i < 3; ++i) ms *= 10;
        }
    }
    if (h > 23 || mi > 59 || s > 59) return {};
    r.hour = h;
    r.minute = mi;
    r.second = s;
    r.msec = ms;
    return r;
}

}  // namespace pulpex::engine
