#include "documents/ocr/textsearch.h"

#include <QChar>
#include <QStringView>
#include <cstring>
#include <string>
#include <string_view>

#include "tables/engine/codepage.h"

namespace pulpex::ocr {

namespace {

constexpr char32_t kDropped = kSkipped;

// One character as the search compares it: case-folded and, for recognised text, without its
// Polish diacritic. Recognition tends to lose the marks of decomposed letters too, so with
// diacritics ignored the combining marks are dropped altogether.
char32_t fold(char32_t c, bool ignoreDiacritics) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    c = QChar::toCaseFolded(c);
    if (!ignoreDiacritics) return c;
    switch (c) {
        case U'ą':
            return U'a';
        case U'ć':
            return U'c';
        case U'ę':
            return U'e';
        case U'ł':
            return U'l';
        case U'ń':
            return U'n';
        case U'ó':
            return U'o';
        case U'ś':
            return U's';
        case U'ź':
        case U'ż':
            return U'z';
        default:
            break;
    }
    if (c >= 0x300 && c <= 0x36F) return kDropped;
    return c;
}

void push(std::u32string& out, char32_t folded) {
    if (folded != kDropped) out.push_back(folded);
}

// The folded form of UTF-8 text; malformed bytes become U+FFFD and so match nothing typed.
std::u32string foldUtf8(std::string_view s, bool ignoreDiacritics) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) {
        auto b = static_cast<unsigned char>(s[pos]);
        if (b < 0x80) {
            out.push_back((b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b);
            ++pos;
            continue;
        }
        push(out, fold(engine::nextUtf8(s, pos), ignoreDiacritics));
    }
    return out;
}

// Calls f for each code point of s; an unpaired surrogate is U+FFFD.
template <class F>
void forEachCodePoint(QStringView s, F f) {
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        QChar c = s[i];
        if (!c.isSurrogate()) {
            f(static_cast<char32_t>(c.unicode()));
        } else if (c.isHighSurrogate() && i + 1 < n && s[i + 1].isLowSurrogate()) {
            f(static_cast<char32_t>(QChar::surrogateToUcs4(c, s[i + 1])));
            ++i;
        } else {
            f(U'\uFFFD');
        }
    }
}

std::u32string foldQString(QStringView s, bool ignoreDiacritics) {
    std::u32string out;
    out.reserve(static_cast<std::size_t>(s.size()));
    forEachCodePoint(s, [&](char32_t c) { push(out, fold(c, ignoreDiacritics)); });
    return out;
}

bool contains(const std::u32string& haystack, const std::u32string& needle) {
    return std::u32string_view(haystack).find(needle) != std::u32string_view::npos;
}

}  // namespace

TSearchBlock TSearchBlock::make(const QString& text, bool recognisedText) {
    TSearchBlock b;
    std::memset(&b, 0, sizeof b);
    b.flag4 = recognisedText ? 1 : 0;

    // Composed form, so that a Polish letter typed as letter plus combining mark counts (and is
    // kept) as one character.
    const QString composed = text.normalized(QString::NormalizationForm_C);
    std::string bytes;
    std::string one;
    int chars = 0;
    bool full = false;
    forEachCodePoint(composed, [&](char32_t c) {
        if (full) return;
        one.clear();
        engine::appendUtf8(one, c);
        if (chars == kMaxChars || bytes.size() + one.size() > sizeof b.text - 1) {
            full = true;
            return;
        }
        bytes += one;
        ++chars;
    });
    std::memcpy(b.text, bytes.data(), bytes.size());
    return b;
}

std::int16_t OT_FindTextInString(const char* str, int len, const TSearchBlock* block) {
    if (block == nullptr) return 1;
    const bool ignoreDiacritics = block->flag4 == 1;
    // Bounded, as a caller may have filled all 255 bytes without a terminator.
    const std::string_view needle(block->text, strnlen(block->text, sizeof block->text));
    const std::size_t n =
        (str != nullptr && len > 0) ? strnlen(str, static_cast<std::size_t>(len)) : 0;
    const std::string_view haystack(n > 0 ? str : "", n);
    return contains(foldUtf8(haystack, ignoreDiacritics), foldUtf8(needle, ignoreDiacritics)) ? 0
                                                                                              : 1;
}

char32_t FoldForSearch(char32_t c, bool ignoreDiacritics) {
    return fold(c, ignoreDiacritics);
}

std::u32string FoldedSearchText(const TSearchBlock& block) {
    return foldUtf8(std::string_view(block.text, strnlen(block.text, sizeof block.text)),
                    block.flag4 == 1);
}

bool FindText(const QString& haystack, const QString& needle, bool recognisedText) {
    return contains(foldQString(haystack, recognisedText), foldQString(needle, recognisedText));
}

QString OleSearchText(const QByteArray& bytes) {
    const engine::CodePage& cp1250 = engine::CodePage::forNumber(1250);
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 13) continue;
        // Every CP1250 character lies in the Basic Multilingual Plane.
        out.append(QChar(static_cast<char16_t>(cp1250.toUnicode(b))));
    }
    return out;
}

}  // namespace pulpex::ocr
