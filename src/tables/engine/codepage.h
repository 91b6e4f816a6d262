// Single-byte code pages of dBase files and their mapping to UTF-8, and the published table of
// dBase language drivers (header byte 29) that names the code page of a file.
//
// Every single-byte code page of the published table is compiled in (codepage_tables.inc), so
// that conversion never depends on what the system's iconv happens to have. A driver byte that
// is not in the table, or whose code page is not single-byte, is refused with a message naming
// it: reading such a file as some other page would garble every text written back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pulpex::engine {

// One entry of the published language-driver table.
struct LanguageDriver {
    std::uint8_t id;
    int codePage;              // code page number; 0 when none was published for the driver
    const char* codePageName;  // "CP852", "Mac Roman", "UTF-8"; empty when none
    const char* name;          // "Czech OEM", "Eastern European Windows"
};

// The published entry of a driver byte, or nullptr.
const LanguageDriver* findLanguageDriver(std::uint8_t id);
std::span<const LanguageDriver> languageDrivers();

class CodePage {
  public:
    // The code page of a language driver byte. 0 (no driver) is CP1250, as for the tables of
    // this program. Throws EDatabaseError naming the driver (and `table`) when the byte is not
    // in the published table or its code page is not one this engine converts.
    static const CodePage& forLanguageDriver(std::uint8_t driver, std::string_view table = {});
    // Level 7 headers also carry the driver's name ("DB852PL0", "DBWINUS0"); a name that tells
    // the code page wins, otherwise the byte decides as above.
    static const CodePage& forHeader(std::uint8_t driver, std::string_view driverName,
                                     std::string_view table);
    // The code page with this number; throws EDatabaseError when the engine has none.
    static const CodePage& forNumber(int number);
    // nullptr when the engine has no such code page.
    static const CodePage* find(int number);

    int number() const { return number_; }
    std::string_view name() const { return name_; }
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

    struct Table;  // compiled-in byte table of one page
    explicit CodePage(const Table& table);

  private:
    int number_;
    const char* name_;
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

// Unicode simple upper case for Latin, Greek and Cyrillic letters; other characters are returned
// unchanged.
char32_t unicodeUpper(char32_t c);
// Appends the UTF-8 form of c.
void appendUtf8(std::string& out, char32_t c);
// Decodes one UTF-8 character at text[pos], advancing pos; U+FFFD on malformed input.
char32_t nextUtf8(std::string_view text, std::size_t& pos);
// Formats a character for a message: „x” (U+XXXX).
std::string describeChar(char32_t c);

}  // namespace pulpex::engine
