#include "csv.h"

#include <cstdint>

namespace pulpex::tools {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

CsvReader::CsvReader(std::string_view text) : text_(text) {
    // Spreadsheets put a byte-order mark before UTF-8 text.
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
}

bool CsvReader::next(CsvRecord& record) {
    const std::size_t n = text_.size();
    record.fields.clear();
    // Blank lines carry no record.
    while (pos_ < n && isLineEnd(text_[pos_])) {
        if (text_[pos_] == '\r' && pos_ + 1 < n && text_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
    }
    if (pos_ >= n) return false;
    record.line = line_;
    std::string field;
    for (;;) {
        if (pos_ < n && text_[pos_] == '"') {
            const std::size_t openedAt = line_;
            ++pos_;
            for (;;) {
                if (pos_ >= n)
                    throw CsvError(openedAt == record.line
                                       ? "niezamknięty cudzysłów"
                                       : "niezamknięty cudzysłów pola zaczętego w wierszu " +
                                             std::to_string(openedAt),
                                   record.line);
                const char c = text_[pos_];
                if (c == '"') {
                    if (pos_ + 1 < n && text_[pos_ + 1] == '"') {
                        field += '"';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                if (c == '\n' || (c == '\r' && !(pos_ + 1 < n && text_[pos_ + 1] == '\n'))) ++line_;
                field += c;
                ++pos_;
            }
            if (pos_ < n && text_[pos_] != ',' && !isLineEnd(text_[pos_]))
                throw CsvError(
                    "po cudzysłowie zamykającym pole oczekiwano przecinka lub końca "
                    "wiersza (wiersz " +
                        std::to_string(line_) + ")",
                    record.line);
        } else {
            const std::size_t start = pos_;
            while (pos_ < n && text_[pos_] != ',' && !isLineEnd(text_[pos_]))
                ++pos_;
            field.assign(text_.substr(start, pos_ - start));
        }
        record.fields.push_back(std::move(field));
        field.clear();
        if (pos_ >= n) return true;
        if (text_[pos_] == ',') {
            ++pos_;
            continue;
        }
        if (text_[pos_] == '\r' && pos_ + 1 < n && text_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
        return true;
    }
}

std::string csvField(std::string_view value) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
    std::string r;
    r.reserve(value.size() + 2);
    r += '"';
    for (char c : value) {
        if (c == '"') r += '"';
        r += c;
    }
    r += '"';
    return r;
}

void writeCsvRecord(std::ostream& out, const std::vector<std::string>& fields) {
    // A lone empty field would make a blank line, which readers skip.
    if (fields.size() == 1 && fields[0].empty()) {
        out << "\"\"\r\n";
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out << ',';
        out << csvField(fields[i]);
    }
    out << "\r\n";
}

std::string base64Encode(std::span<const std::byte> bytes) {
    std::string r;
    r.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = std::to_integer<std::uint32_t>(bytes[i]) << 16 |
                                std::to_integer<std::uint32_t>(bytes[i + 1]) << 8 |
                                std::to_integer<std::uint32_t>(bytes[i + 2]);
        r += kAlphabet[v >> 18 & 63];
        r += kAlphabet[v >> 12 & 63];
        r += kAlphabet[v >> 6 & 63];
        r += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t v = std::to_integer<std::uint32_t>(bytes[i]) << 16;
        if (rest == 2) v |= std::to_integer<std::uint32_t>(bytes[i + 1]) << 8;
        r += kAlphabet[v >> 18 & 63];
        r += kAlphabet[v >> 12 & 63];
        r += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        r += '=';
    }
    return r;
}

std::optional<std::vector<std::byte>> base64Decode(std::string_view text) {
    std::vector<std::byte> r;
    r.reserve(text.size() / 4 * 3);
    std::uint32_t acc = 0;
    int digits = 0;  // in the current group of four
    int padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            // Padding only closes a group that already has two or three digits.
            if (digits + padding < 2) return std::nullopt;
            if (++padding + digits > 4) return std::nullopt;
            continue;
        }
        const int v = base64Digit(c);
        if (v < 0 || padding > 0) return std::nullopt;
        acc = acc << 6 | static_cast<std::uint32_t>(v);
        if (++digits == 4) {
            r.push_back(std::byte(acc >> 16 & 0xFF));
            r.push_back(std::byte(acc >> 8 & 0xFF));
            r.push_back(std::byte(acc & 0xFF));
            acc = 0;
            digits = 0;
        }
    }
    if (padding > 0 && digits + padding != 4) return std::nullopt;
    switch (digits) {
        case 0:
            break;
        case 1:
            return std::nullopt;
        case 2:
            r.push_back(std::byte(acc >> 4 & 0xFF));
            break;
        case 3:
            r.push_back(std::byte(acc >> 10 & 0xFF));
            r.push_back(std::byte(acc >> 2 & 0xFF));
            break;
    }
    return r;
}

}  // namespace pulpex::tools
