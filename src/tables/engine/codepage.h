// Single-byte code pages of dBase files (CP1250, CP852, CP1252) and their mapping to UTF-8.
// Tables are built once from iconv, so that conversion of a field is a table lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pulpex::engine {

class CodePage {
public:
    // The code page of a dBase language driver byte: 0xC8 CP1250, 0x64/0x23 CP852,
    // 0x57/0x58/0x03 CP1252, 0 (or unknown) CP1250.
    static const CodePage& forLanguageDriver(std::uint8_t driver);
    // 1250, 852 or 1252; anything else gives CP1250.
    static const CodePage& forNumber(int number);

    int number() const { return number_; }
    // The language driver byte written for this code page in new files.
    std::uint8_t languageDriver() const;

    // Bytes of this code page to UTF-8. Bytes with no character decode to U+FFFD.
    std::string decode(std::span<const std::byte> bytes) const;
    std::string decode(std::string_view bytes) const;
    void decodeAppend(std::string_view bytes, std::string& out) const;

    // UTF-8 to bytes of this code page, appended to `out`. Returns false when a character has no
    // byte here (or the UTF-8 is malformed); `bad` then holds that character (U+FFFD for
    // malformed input) and `out` holds what was converted before it.
    bool encode(std::string_view utf8, std::string& out, char32_t* bad = nullptr) const;

    // Upper case of a byte within this code page (Polish letters included); bytes without an
    // upper-case form in the page stay as they are.
    unsigned char upper(unsigned char c) const { return upper_[c]; }
    char32_t toUnicode(unsigned char c) const { return toUnicode_[c]; }

private:
    explicit CodePage(int number);
    int number_;
    char32_t toUnicode_[256];
    unsigned char upper_[256];
    // Sorted pairs for the non-ASCII half.
    struct Pair {
        char32_t cp;
        unsigned char byte;
    };
    Pair fromUnicode_[128];
    int fromUnicodeCount_ = 0;
};

// Unicode simple upper case for Latin scripts (ASCII, Latin-1, Latin Extended-A); other
// characters are returned unchanged.
char32_t unicodeUpper(char32_t c);
// Appends the UTF-8 form of c.
void appendUtf8(std::string& out, char32_t c);
// Decodes one UTF-8 character at text[pos], advancing pos; U+FFFD on malformed input.
char32_t nextUtf8(std::string_view text, std::size_t& pos);
// Formats a character for a message: „x” (U+XXXX).
std::string describeChar(char32_t c);

}  // namespace pulpex::engine
