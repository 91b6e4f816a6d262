#include "codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>

namespace pulpex::engine {

char32_t unicodeUpper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 0) ? c - 1 : c;
        return (c % 2 == 1) ? c - 1 : c;
    }
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

char32_t nextUtf8(std::string_view s, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char b = byte(pos);
    if (b < 0x80) {
        ++pos;
        return b;
    }
    int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || pos + len > s.size()) {
        ++pos;
        return 0xFFFD;
    }
    char32_t c = b & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        unsigned char t = byte(pos + i);
        if ((t & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        c = (c << 6) | (t & 0x3F);
    }
    pos += len;
    return c;
}

std::string describeChar(char32_t c) {
    std::string s = "„";
    appendUtf8(s, c);
    char buf[16];
    std::snprintf(buf, sizeof buf, "” (U+%04X)", static_cast<unsigned>(c));
    return s + buf;
}

CodePage::CodePage(int number) : number_(number) {
    std::string name = "CP" + std::to_string(number);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    for (int i = 0; i < 256; ++i) {
        toUnicode_[i] = static_cast<char32_t>(i);
        if (i >= 0x80 && cd != reinterpret_cast<iconv_t>(-1)) {
            char in = static_cast<char>(i);
            char32_t outc = 0;
            char* inp = &in;
            size_t inleft = 1;
            char* outp = reinterpret_cast<char*>(&outc);
            size_t outleft = sizeof outc;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1) ||
                outleft != 0)
                toUnicode_[i] = 0xFFFD;
            else
                toUnicode_[i] = outc;
        }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    for (int i = 0x80; i < 256; ++i) {
        if (toUnicode_[i] == 0xFFFD) continue;
        fromUnicode_[fromUnicodeCount_++] = {toUnicode_[i], static_cast<unsigned char>(i)};
    }
    std::sort(fromUnicode_, fromUnicode_ + fromUnicodeCount_,
              [](const Pair& a, const Pair& b) { return a.cp < b.cp; });
    for (int i = 0; i < 256; ++i) {
        upper_[i] = static_cast<unsigned char>(i);
        char32_t u = unicodeUpper(toUnicode_[i]);
        if (u == toUnicode_[i]) continue;
        if (u < 0x80) {
            upper_[i] = static_cast<unsigned char>(u);
            continue;
        }
        auto it = std::lower_bound(fromUnicode_, fromUnicode_ + fromUnicodeCount_, u,
                                   [](const Pair& p, char32_t v) { return p.cp < v; });
        if (it != fromUnicode_ + fromUnicodeCount_ && it->cp == u) upper_[i] = it->byte;
    }
}

const CodePage& CodePage::forNumber(int number) {
    static const CodePage cp1250(1250);
    static const CodePage cp852(852);
    static const CodePage cp1252(1252);
    if (number == 852) return cp852;
    if (number == 1252) return cp1252;
    return cp1250;
}

const CodePage& CodePage::forLanguageDriver(std::uint8_t driver) {
    switch (driver) {
        case 0x64:
        case 0x23: return forNumber(852);
        case 0x57:
        case 0x58:
        case 0x03: return forNumber(1252);
        default: return forNumber(1250);
    }
}

std::uint8_t CodePage::languageDriver() const {
    switch (number_) {
        case 852: return 0x64;
        case 1252: return 0x57;
        default: return 0xC8;
    }
}

void CodePage::decodeAppend(std::string_view bytes, std::string& out) const {
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out.push_back(ch);
        else
            appendUtf8(out, toUnicode_[b]);
    }
}

std::string CodePage::decode(std::string_view bytes) const {
    std::string out;
    out.reserve(bytes.size());
    decodeAppend(bytes, out);
    return out;
}

std::string CodePage::decode(std::span<const std::byte> bytes) const {
    return decode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool CodePage::encode(std::string_view utf8, std::string& out, char32_t* bad) const {
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[pos]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++pos;
            continue;
        }
        std::size_t start = pos;
        char32_t c = nextUtf8(utf8, pos);
        bool malformed = c == 0xFFFD && !(utf8.substr(start, 3) == "\xEF\xBF\xBD");
        auto it = std::lower_bound(fromUnicode_, fromUnicode_ + fromUnicodeCount_, c,
                                   [](const Pair& p, char32_t v) { return p.cp < v; });
        if (malformed || it == fromUnicode_ + fromUnicodeCount_ || it->cp != c) {
            if (bad) *bad = c;
            return false;
        }
        out.push_back(static_cast<char>(it->byte));
    }
    return true;
}

}  // namespace pulpex::engine
