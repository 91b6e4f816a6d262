#include "documents/ocr/textsearch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace pulpex::ocr {
namespace {

std::int16_t find(const std::string& haystack, const QString& needle, bool recognised) {
    const TSearchBlock b = TSearchBlock::make(needle, recognised);
    return OT_FindTextInString(haystack.data(), static_cast<int>(haystack.size()), &b);
}

TEST(TextSearch, IgnoresLetterCaseOfPolishLetters) {
    const std::string hay = "Mały żółw w ogrodzie ZAŻÓŁĆ";
    EXPECT_EQ(find(hay, "ŻÓŁW", false), 0);
    EXPECT_EQ(find(hay, "zażółć", false), 0);
    EXPECT_EQ(find(hay, "żołw", false), 1);
    EXPECT_EQ(find(hay, "żółwie", false), 1);
    EXPECT_TRUE(FindText("Pismo do Urzędu Gminy", "URZĘDU gminy", false));
    EXPECT_FALSE(FindText("Pismo do Urzędu Gminy", "urzedu", false));
}

TEST(TextSearch, IgnoresDiacriticsOnlyForRecognisedText) {
    // Every Polish letter, both ways round and in both cases.
    const std::string hay = "Zażółć gęślą jaźń! ĄĆĘŁŃÓŚŹŻ";
    EXPECT_EQ(find(hay, "zazolc gesla jazn", true), 0);
    EXPECT_EQ(find(hay, "acelnoszz", true), 0);
    EXPECT_EQ(find("ZAZOLC GESLA JAZN", "Zażółć gęślą jaźń", true), 0);
    EXPECT_EQ(find(hay, "zazolc", false), 1);
    // Recognition still tells other letters apart.
    EXPECT_EQ(find(hay, "zazolc gesla jazm", true), 1);

    // Decomposed letters (o + combining acute) lose their marks too.
    EXPECT_TRUE(FindText(QString::fromUtf8("Lo\xCC\x81"
                                           "dz\xCC\x81"),
                         "lodz", true));

    // A caller filling the block by hand, as with the old library.
    TSearchBlock b;
    std::memset(&b, 0, sizeof b);
    std::strcpy(b.text, "LODZ");
    const std::string city = "Łódź";
    EXPECT_EQ(OT_FindTextInString(city.c_str(), static_cast<int>(city.size()), &b), 1);
    b.flag4 = 1;
    EXPECT_EQ(OT_FindTextInString(city.c_str(), static_cast<int>(city.size()), &b), 0);
}

TEST(TextSearch, BlockKeepsAtMost254WholeCharacters) {
    TSearchBlock b = TSearchBlock::make(QString(300, u'a'), true);
    EXPECT_EQ(std::strlen(b.text), 254u);
    EXPECT_EQ(int{b.flag1}, 0);
    EXPECT_EQ(int{b.flag2}, 0);
    EXPECT_EQ(int{b.flag3}, 0);
    EXPECT_EQ(int{b.flag4}, 1);
    EXPECT_EQ(int{b.reserved1}, 0);
    EXPECT_EQ(int{b.reserved2}, 0);
    EXPECT_EQ(int{b.reserved3}, 0);
    EXPECT_EQ(int{TSearchBlock::make("x", false).flag4}, 0);
    // The cut text is what is searched for.
    const std::string a254(254, 'a');
    EXPECT_EQ(OT_FindTextInString(a254.data(), 254, &b), 0);
    EXPECT_EQ(OT_FindTextInString(a254.data(), 253, &b), 1);

    // Two bytes a letter: the 254 bytes hold 127 letters, none split.
    b = TSearchBlock::make(QString(300, u'ż'), false);
    EXPECT_EQ(QString::fromUtf8(b.text), QString(127, u'ż'));
    b = TSearchBlock::make(QString(253, u'a') + "żż", false);
    EXPECT_EQ(QString::fromUtf8(b.text), QString(253, u'a'));
    b = TSearchBlock::make(QString(200, u'a') + QString::fromUtf8("\xF0\x9F\x98\x80") + "b", false);
    EXPECT_EQ(std::strlen(b.text), 205u);
    // A decomposed letter is one character and kept whole.
    b = TSearchBlock::make(QString(253, u'a') + QString::fromUtf8("z\xCC\x87"), false);
    EXPECT_EQ(QString::fromUtf8(b.text), QString(253, u'a'));
}

TEST(TextSearch, StringEndsAtLenOrAZeroByte) {
    const char buf[] = "abc def\0ghi";
    const TSearchBlock def = TSearchBlock::make("DEF", false);
    const TSearchBlock ghi = TSearchBlock::make("ghi", false);
    EXPECT_EQ(OT_FindTextInString(buf, 7, &def), 0);
    EXPECT_EQ(OT_FindTextInString(buf, 6, &def), 1);
    EXPECT_EQ(OT_FindTextInString(buf, sizeof buf - 1, &ghi), 1);
    EXPECT_EQ(OT_FindTextInString(buf, -1, &def), 1);

    // A len inside a letter's bytes leaves that letter out.
    const std::string turtle = "żółw";
    EXPECT_EQ(OT_FindTextInString(turtle.data(), 3, &def), 1);
    const TSearchBlock zo = TSearchBlock::make("żó", false);
    const TSearchBlock z = TSearchBlock::make("Ż", false);
    EXPECT_EQ(OT_FindTextInString(turtle.data(), 3, &zo), 1);
    EXPECT_EQ(OT_FindTextInString(turtle.data(), 3, &z), 0);
    EXPECT_EQ(OT_FindTextInString(turtle.data(), 4, &zo), 0);
}

TEST(TextSearch, EmptySearchTextIsFoundEverywhere) {
    const TSearchBlock empty = TSearchBlock::make("", false);
    EXPECT_EQ(OT_FindTextInString("abc", 3, &empty), 0);
    EXPECT_EQ(OT_FindTextInString("", 0, &empty), 0);
    EXPECT_EQ(OT_FindTextInString(nullptr, 5, &empty), 0);
    EXPECT_TRUE(FindText("", "", true));
    EXPECT_EQ(OT_FindTextInString("abc", 3, nullptr), 1);
}

TEST(TextSearch, OleTextDropsControlBytesAndDecodesCp1250) {
    // 13 is the last byte dropped, 14 the first kept.
    const char mixed[] =
        "ab\r\nc\x01"
        "d\te\x0D"
        "f\x0E";
    EXPECT_EQ(OleSearchText(QByteArray(mixed, sizeof mixed - 1)), QString("abcdef") + QChar(0x0E));
    EXPECT_EQ(OleSearchText(QByteArray("\x00\x00", 2)), QString());

    // "żółw" in CP1250 with control bytes between the letters.
    const QByteArray turtle("\xBF\x00\xF3\r\n\xB3\x0Bw", 8);
    EXPECT_EQ(OleSearchText(turtle), QString("żółw"));
    EXPECT_TRUE(FindText(OleSearchText(turtle), "ŻÓŁW", false));
    // Where CP1250 differs from ISO 8859-2: Ś ś Ź ź Ą ą.
    EXPECT_EQ(OleSearchText(QByteArray("\x8C\x9C\x8F\x9F\xA5\xB9")), "ŚśŹźĄą");
}

}  // namespace
}  // namespace pulpex::ocr
