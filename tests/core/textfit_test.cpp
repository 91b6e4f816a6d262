#include "core/textfit.h"

#include <gtest/gtest.h>

#include "core/prompts.h"
#include "tables/engine/codepage.h"

namespace pulpex {
namespace {

const engine::CodePage& cp1250() {
    return engine::CodePage::forNumber(1250);
}

TEST(TextFit, PolishTextFitsAsItIs) {
    const QString text = QStringLiteral("Zażółć gęślą jaźń – „cytat” … 5 €\n\tdruga linia");
    EXPECT_TRUE(UnstorableChars(text, cp1250()).isEmpty());
    EXPECT_EQ(FitToCodePage(text, cp1250()), text);
    QString kept = text;
    ScriptedPrompts prompts;
    EXPECT_EQ(AskToFitText(kept, cp1250(), QStringLiteral("Tekst notatki")), TTextFit::Fits);
    EXPECT_TRUE(prompts.shown().empty());
}

TEST(TextFit, CharactersAreListedOnceInOrder) {
    EXPECT_EQ(UnstorableChars(QStringLiteral("Иван ☃ Иван 😀\u200b"), cp1250()),
              (QStringList{QStringLiteral("И"), QStringLiteral("в"), QStringLiteral("а"),
                           QStringLiteral("н"), QStringLiteral("☃"), QStringLiteral("😀"),
                           QStringLiteral("\u200b")}));
    // An emoji's selector and skin tone go with it.
    EXPECT_EQ(UnstorableChars(QStringLiteral("ok 👍🏽 ☃️"), cp1250()),
              (QStringList{QStringLiteral("👍"), QStringLiteral("☃")}));
}

TEST(TextFit, LookAlikesOrAQuestionMark) {
    const auto fit = [](const char* s) {
        return FitToCodePage(QString::fromUtf8(s), engine::CodePage::forNumber(1250));
    };
    // Letters with accents the page lacks lose them; Romanian letters take their cedilla form.
    EXPECT_EQ(fit("Peña, Ørsted, Æsir, Kraków, ș"), "Pena, Orsted, AEsir, Kraków, ş");
    // Cyrillic as Polish writes it, capitals kept in capital words.
    EXPECT_EQ(fit("Жуков, Щербина, ШКОЛА, Юлия"), "Żukow, Szczerbina, SZKOLA, Julija");
    EXPECT_EQ(fit("Αθήνα, 5 μm"), "Athina, 5 µm");
    // Typographic signs from a browser; decomposed accents composed first.
    EXPECT_EQ(fit("a → b ≤ c ½ ﬁ № 7 x²"), "a -> b <= c 1/2 fi Nr 7 x2");
    EXPECT_EQ(fit("e\xCC\x81"), "é");
    EXPECT_EQ(fit("a\u2009b\u200bc"), "a bc");
    // No look-alike: one "?" per emoji, whatever it is made of.
    EXPECT_EQ(fit("Bałwan ☃ 👍🏽 ☃️ 👨‍👩‍👧 🇵🇱 中"),
              "Bałwan ? ? ? ? ? ?");
}

TEST(TextFit, OtherCodePagesHaveOtherLookAlikes) {
    const engine::CodePage& cp852 = engine::CodePage::forNumber(852);
    // CP852 has Polish letters but no typographic quotes or dashes.
    EXPECT_EQ(FitToCodePage(QStringLiteral("„Łódź” – ok"), cp852), "\"Łódź\" - ok");
    const engine::CodePage& cp1252 = engine::CodePage::forNumber(1252);
    EXPECT_EQ(FitToCodePage(QStringLiteral("Łódź"), cp1252), "Lódz");
}

TEST(TextFit, TheQuestionNamesTheCharactersAndTheAnswerDecides) {
    ScriptedPrompts prompts;
    const QString typed = QStringLiteral("Spotkanie z p. Иваном ☃\nsala 2");
    QString text = typed;
    prompts.setNextAnswer(Answer::No);
    EXPECT_EQ(AskToFitText(text, cp1250(), QStringLiteral("Tekst notatki")), TTextFit::Refused);
    EXPECT_EQ(text, typed);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].buttons, Buttons::YesNo);
    EXPECT_EQ(prompts.shown()[0].text,
              "Tekst notatki zawiera znaki, których nie można zapisać w bazie danych:\r\n"
              "„И” (cyrylica) – zamiana na „I”\r\n"
              "„в” (cyrylica) – zamiana na „w”\r\n"
              "„а” (cyrylica) – zamiana na „a”\r\n"
              "„н” (cyrylica) – zamiana na „n”\r\n"
              "„о” (cyrylica) – zamiana na „o”\r\n"
              "„м” (cyrylica) – zamiana na „m”\r\n"
              "„☃” (emotikona) – zamiana na „?”\r\n"
              "\r\n"
              "Czy zamienić te znaki na podobne?\r\n"
              "Tak – zamień, Nie – wróć do edycji tekstu.");

    prompts.setNextAnswer(Answer::Yes);
    EXPECT_EQ(AskToFitText(text, cp1250(), QStringLiteral("Tekst notatki")), TTextFit::Replaced);
    EXPECT_EQ(text, "Spotkanie z p. Iwanom ?\nsala 2");
    EXPECT_TRUE(UnstorableChars(text, cp1250()).isEmpty());
}

TEST(TextFit, ALongListIsCutAndInvisibleCharactersAreNamed) {
    ScriptedPrompts prompts;
    QString text = QStringLiteral("абвгдежзий\u200b");
    AskToFitText(text, cp1250(), QStringLiteral("Tekst alarmu"));
    ASSERT_EQ(prompts.shown().size(), 1u);
    const QStringList lines = prompts.shown()[0].text.split("\r\n");
    EXPECT_EQ(lines.at(8), "„з” (cyrylica) – zamiana na „z”");
    EXPECT_EQ(lines.at(9), "i 3 innych");
    EXPECT_EQ(DescribeChar(QStringLiteral("\u200b")), "niewidoczny znak U+200B");
    EXPECT_EQ(DescribeChar(QStringLiteral("\u2009")), "nietypowa spacja U+2009");
    EXPECT_EQ(DescribeChar(QStringLiteral("→")), "„→”");
}

}  // namespace
}  // namespace pulpex
