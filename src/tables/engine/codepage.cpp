#include "codepage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "error.h"

namespace pulpex::engine {

char32_t unicodeUpper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;  // Greek
    if (c >= 0x3AC && c <= 0x3AF) return c == 0x3AC ? 0x386 : c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c == 0x491) return 0x490;
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

struct CodePage::Table {
    int number;
    const char* name;
    char16_t high[128];
};

namespace {

using PageTable = CodePage::Table;
#include "codepage_tables.inc"

// The pages built from their tables once, in the order of kPageTables.
const std::vector<std::unique_ptr<CodePage>>& allPages() {
    static const std::vector<std::unique_ptr<CodePage>> pages = [] {
        std::vector<std::unique_ptr<CodePage>> v;
        for (const auto& t : kPageTables)
            v.push_back(std::make_unique<CodePage>(t));
        return v;
    }();
    return pages;
}

std::string hexByte(std::uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
}

std::string ofTable(std::string_view table) {
    return table.empty() ? std::string("Tabela") : "Tabela " + std::string(table);
}

// A code page number written in a level 7 driver name ("DB852PL0", "DB437US0"); 0 when none.
int pageInDriverName(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) continue;
        std::size_t j = i;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j])))
            ++j;
        const int n = std::atoi(std::string(name.substr(i, j - i)).c_str());
        if (CodePage::find(n)) return n;
        i = j;
    }
    // dBase's Windows ANSI drivers for the United States and Western Europe.
    for (std::string_view w : {"ANSI", "DBWINUS", "DBWINWE"})
        if (name.find(w) != std::string_view::npos) return 1252;
    return 0;
}

}  // namespace

std::span<const LanguageDriver> languageDrivers() {
    return kDrivers;
}

const LanguageDriver* findLanguageDriver(std::uint8_t id) {
    for (const auto& d : kDrivers)
        if (d.id == id) return &d;
    return nullptr;
}

CodePage::CodePage(const Table& table) : number_(table.number), name_(table.name) {
    for (int i = 0; i < 256; ++i)
        toUnicode_[i] = i < 0x80 ? static_cast<char32_t>(i) : char32_t{table.high[i - 0x80]};
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

const CodePage* CodePage::find(int number) {
    for (const auto& p : allPages())
        if (p->number() == number) return p.get();
    return nullptr;
}

const CodePage& CodePage::forNumber(int number) {
    if (const CodePage* p = find(number)) return *p;
    throw EDatabaseError("Nieobsługiwana strona kodowa " + std::to_string(number));
}

const CodePage& CodePage::forLanguageDriver(std::uint8_t driver, std::string_view table) {
    // Files without a driver come from programs that wrote the system's code page: for the
    // Polish offices this program serves, CP1250 (and ASCII text reads the same in it).
    if (driver == 0) return forNumber(1250);
    const LanguageDriver* d = findLanguageDriver(driver);
    if (!d)
        throw EDatabaseError(ofTable(table) + " ma nieznany sterownik języka " + hexByte(driver) +
                             " (bajt 29 nagłówka): nie wiadomo, w jakiej stronie kodowej zapisano "
                             "jej teksty, więc nie zostanie otwarta");
    if (d->codePage == 0)
        throw EDatabaseError(ofTable(table) + " ma sterownik języka " + hexByte(driver) + " (" +
                             d->name +
                             "), dla którego nie opublikowano strony kodowej; tabela nie "
                             "zostanie otwarta, aby nie przekłamać jej tekstów");
    if (const CodePage* p = find(d->codePage)) return *p;
    throw EDatabaseError(ofTable(table) + " ma sterownik języka " + hexByte(driver) + " (" +
                         d->name + ") ze stroną kodową " + d->codePageName +
                         ", której program nie obsługuje; tabela nie zostanie otwarta, aby nie "
                         "przekłamać jej tekstów");
}

const CodePage& CodePage::forHeader(std::uint8_t driver, std::string_view driverName,
                                    std::string_view table) {
    if (const int n = pageInDriverName(driverName)) return forNumber(n);
    return forLanguageDriver(driver, table);
}

std::uint8_t CodePage::languageDriver() const {
    switch (number_) {
        case 1250:
            return 0xC8;
        case 852:
            return 0x64;
        case 1252:
            return 0x57;
        default:
            for (const auto& d : kDrivers)
                if (d.codePage == number_) return d.id;
            return 0xC8;  // not reached: every compiled-in page comes from the driver table
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
