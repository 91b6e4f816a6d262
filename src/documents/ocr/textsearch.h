// Text search of the recognition library interface: the event search and the document match call
// it the way they called the old recognition library, with a search block filled by the caller.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pulpex::ocr {

#pragma pack(push, 1)
// The search block, laid out byte for byte as the old interface had it, since callers fill it
// field by field.
struct TSearchBlock {
    // The search text as UTF-8, zero-terminated. It is cut to at most 254 characters, never
    // inside a character, and to fewer when their UTF-8 form would not fit the 254 bytes (a text
    // of Polish letters only keeps 127 of them).
    char text[255];
    std::int16_t flag1;
    std::int16_t flag2;
    std::int16_t flag3;
    // 1 when the string searched is recognised text: Polish diacritics are then ignored on both
    // sides. 0 for any other text.
    std::int16_t flag4;
    std::int32_t reserved1;
    std::int32_t reserved2;
    std::int32_t reserved3;

    static constexpr int kMaxChars = 254;

    // A block for `text` (its first 254 characters, fewer if the bytes run out), every other
    // word as the old interface wanted it.
    static TSearchBlock make(const QString& text, bool recognisedText);
};
#pragma pack(pop)

static_assert(sizeof(TSearchBlock) == 275);
static_assert(offsetof(TSearchBlock, text) == 0);
static_assert(offsetof(TSearchBlock, flag1) == 255);
static_assert(offsetof(TSearchBlock, flag2) == 257);
static_assert(offsetof(TSearchBlock, flag3) == 259);
static_assert(offsetof(TSearchBlock, flag4) == 261);
static_assert(offsetof(TSearchBlock, reserved1) == 263);
static_assert(offsetof(TSearchBlock, reserved2) == 267);
static_assert(offsetof(TSearchBlock, reserved3) == 271);

// Searches the first `len` bytes of `str` (UTF-8; a zero byte ends it earlier) for the block's
// text, ignoring letter case (Polish letters included) and, with flag4 = 1, Polish diacritics.
// Returns 0 when found, 1 when not. An empty search text is found in every string, so an event
// search without a search text keeps every event. A null block finds nothing; a null `str` or a
// negative `len` is an empty string.
std::int16_t OT_FindTextInString(const char* str, int len, const TSearchBlock* block);

// The same search on Qt strings, with no limit on the needle's length.
bool FindText(const QString& haystack, const QString& needle, bool recognisedText);

// One character as the search compares it: case-folded and, with `ignoreDiacritics`, without its
// Polish diacritic; kSkipped for a character the search leaves out (a combining mark when
// diacritics are ignored). For callers that search bytes of a single-byte code page directly.
inline constexpr char32_t kSkipped = 0xFFFFFFFF;
char32_t FoldForSearch(char32_t c, bool ignoreDiacritics);
// The block's search text as OT_FindTextInString compares it.
std::u32string FoldedSearchText(const TSearchBlock& block);

// The searchable text of a stored OLE object: every byte above 13 in stored order (the control
// bytes 0..13 dropped), each byte one character decoded as CP1250, the code page the old
// program's documents were written in, so that their Polish letters match.
QString OleSearchText(const QByteArray& bytes);

}  // namespace pulpex::ocr
