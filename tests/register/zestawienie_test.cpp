#include "register/zestawienie.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QStringList>

#include "addresses/adresy.h"
#include "register/zdarzen.h"
#include "support/testenv.h"

namespace pulpex {
namespace {

const QDate kDzien(2024, 3, 5);

// ZDARZ and ADRESY of a test installation, filled letter by letter.
class Zestawienie : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(zdarz.CreateTableSelf());
        ASSERT_TRUE(adresy.CreateTableSelf());
        zdarz.Open();
        adresy.Open();
    }
    int firma(const QString& nazwa, const QString& miasto, const QString& kod = {},
              const QString& ulica = {}, const QString& dom = {}, const QString& lokal = {}) {
        TRec_Adresy a;
        a.AD_NAZF = nazwa;
        a.AD_NAZW = QStringLiteral("NIE-DRUKOWAĆ");  // a company prints its name only
        a.AD_MIAS = miasto;
        a.AD_KOD = kod;
        a.AD_ULIC = ulica;
        a.AD_DOM = dom;
        a.AD_LOKA = lokal;
        adresy.OT_AddNew(a.ID, a);
        return a.ID;
    }
    int osoba(const QString& nazwisko, const QString& imie, const QString& miasto) {
        TRec_Adresy a;
        a.AD_PRYW = true;
        a.AD_NAZF = QStringLiteral("NIE-DRUKOWAĆ");
        a.AD_NAZW = nazwisko;
        a.AD_IMIE = imie;
        a.AD_MIAS = miasto;
        adresy.OT_AddNew(a.ID, a);
        return a.ID;
    }
    int pismo(int typ, int adres, const QString& numer = {}, const QString& symbol = {},
              const QString& odbiorca = {}, bool polecone = false, QDate dzien = kDzien) {
        TRec_Zdarzenia z;
        z.ZD_TYP = typ;
        z.ZD_ADR = adres;
        z.ZD_NMR = numer;
        z.ZD_SMB = symbol;
        z.ZD_ODB = odbiorca;
        z.ZD_POL = polecone;
        z.ZD_DAT = QDateTime(dzien, QTime(10, 0));
        zdarz.OT_AddNew(z.ID, z);
        return z.ID;
    }
    QStringList przychodzace(QDate dzien = kDzien) { return Kor_p_w(env.dataDir(), dzien); }
    QStringList wychodzace(QDate dzien = kDzien) { return Kor_w_w(env.dataDir(), dzien); }

    test::TestSystem env;
    TTbl_Zdarzenia zdarz;
    TTbl_Adresy adresy;
};

// Every line of a table (from its first separator on) is exactly as long as the separator, and
// its "|" stand in the same columns as the header's.
void expectAligned(const QStringList& lines, qsizetype from, qsizetype count) {
    const QString& separator = lines.at(from);
    const QString& header = lines.at(from + 1);
    for (qsizetype i = from; i < from + count; ++i) {
        const QString& l = lines.at(i);
        EXPECT_EQ(l.size(), separator.size()) << i << ": " << l.toStdString();
        if (l.startsWith(QLatin1Char('-'))) {
            EXPECT_EQ(l, QString(separator.size(), QLatin1Char('-')));
            continue;
        }
        for (qsizetype c = 0; c < header.size(); ++c)
            EXPECT_EQ(l.at(c) == QLatin1Char('|'), header.at(c) == QLatin1Char('|'))
                << i << " column " << c << ": " << l.toStdString();
    }
}

TEST_F(Zestawienie, TheIncomingListHasTwoLinesPerLetterWithItsOwnSenderAndRoomToSign) {
    const int urzad = firma(QStringLiteral("Urząd Gminy Źródła"), QStringLiteral("Łódź"),
                            QStringLiteral("90-001"), QStringLiteral("Piotrkowska"),
                            QStringLiteral("12"), QStringLiteral("3"));
    const int kowal =
        osoba(QStringLiteral("ŻÓŁKIEWSKI"), QStringLiteral("Stanisław"), QStringLiteral("Gdańsk"));
    pismo(1, urzad, QStringLiteral("KP/2024/1"), QStringLiteral("ŚR.0012"),
          QStringLiteral("SEKRETARIAT"));
    pismo(1, kowal, QStringLiteral("KP/2024/2"));
    pismo(1, 0, QStringLiteral("KP/2024/3"), {}, QStringLiteral("KADRY"));  // no correspondent
    // Not on the list: another day, an outgoing letter, an other event.
    pismo(1, urzad, QStringLiteral("KP/2024/9"), {}, {}, false, kDzien.addDays(1));
    pismo(2, urzad, QStringLiteral("KW/2024/1"));
    pismo(3, 0, QStringLiteral("IN/1"));

    const QStringList lines = przychodzace();
    // Numer 9, Nadawca 28 (the address "Łódź 90-001 Piotrkowska 12 3"), Symbol 7, Odbiorca 11,
    // Odebrano 8: 9 + 28 + 7 + 11 + 14 = 69.
    const QString sep(69, QLatin1Char('-'));
    const QStringList expected = {
        QStringLiteral("Korespondencja z dnia :2024-03-05"),
        sep,
        QStringLiteral("|Numer    |Nadawca                     |Symbol |Odbiorca   |Odebrano|"),
        sep,
        QStringLiteral("|KP/2024/1|Urząd Gminy Źródła          |ŚR.0012|SEKRETARIAT|        |"),
        QStringLiteral("|         |Łódź 90-001 Piotrkowska 12 3|       |           |        |"),
        sep,
        QStringLiteral("|KP/2024/2|ŻÓŁKIEWSKI Stanisław        |       |           |        |"),
        QStringLiteral("|         |Gdańsk                      |       |           |        |"),
        sep,
        QStringLiteral("|KP/2024/3|                            |       |KADRY      |        |"),
        QStringLiteral("|         |                            |       |           |        |"),
        sep,
    };
    EXPECT_EQ(lines, expected);
    ASSERT_EQ(lines.size(), expected.size());
    expectAligned(lines, 1, lines.size() - 1);
}

TEST_F(Zestawienie, ShortTextsStillGetColumnsAsWideAsTheirHeaders) {
    // Every correspondent line shorter than "Nadawca", every number shorter than "Numer".
    const int krotki = firma(QStringLiteral("Oś"), QStringLiteral("Ełk"));  // "Ełk    " is 7
    pismo(1, krotki, QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("B"));
    pismo(1, 0, QStringLiteral("2"));

    const QStringList lines = przychodzace();
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines.at(2), "|Numer|Nadawca|Symbol|Odbiorca|Odebrano|");
    EXPECT_EQ(lines.at(4), "|1    |Oś     |A     |B       |        |");
    EXPECT_EQ(lines.at(5), "|     |Ełk    |      |        |        |");
    EXPECT_EQ(lines.at(7), "|2    |       |      |        |        |");
    // 5 + 7 + 6 + 8 + 14
    EXPECT_EQ(lines.at(1), QString(40, QLatin1Char('-')));
    expectAligned(lines, 1, lines.size() - 1);

    // The outgoing list: the Odbiorca column keeps its 8, the separator is 8 + 30.
    pismo(2, krotki);
    const QStringList out = wychodzace();
    ASSERT_EQ(out.size(), 9);
    EXPECT_EQ(out.at(1), QString(38, QLatin1Char('-')));
    EXPECT_EQ(out.at(2), "|Odbiorca|Numer polecenia   |Cena    |");
    EXPECT_EQ(out.at(4), "|Oś      |                  |        |");
    expectAligned(out, 1, 6);
}

TEST_F(Zestawienie, ADayWithoutLettersGivesAnEmptyIncomingListAndTwoEmptyLinesOutgoing) {
    const int a = firma(QStringLiteral("Poczta Polska"), QStringLiteral("Kraków"));
    pismo(1, a, QStringLiteral("KP/1"), {}, {}, false, kDzien.addDays(-1));
    pismo(2, a, {}, {}, {}, true, kDzien.addDays(1));
    pismo(3, 0, QStringLiteral("IN/1"));
    EXPECT_TRUE(przychodzace().isEmpty());
    EXPECT_EQ(wychodzace(), QStringList({QString(), QString()}));
}

TEST_F(Zestawienie, RegisteredLettersOnlyFollowTheTwoEmptyLinesUnderTheirOwnTitle) {
    const int a = firma(QStringLiteral("Sąd Rejonowy"), QStringLiteral("Toruń"),
                        QStringLiteral("87-100"), QStringLiteral("Młyńska"), QStringLiteral("7"));
    pismo(2, a, {}, {}, {}, true);
    const QStringList lines = wychodzace();
    // "Toruń 87-100 Młyńska 7 " is 23 wide (no flat number, the blank stays).
    const QString sep(53, QLatin1Char('-'));
    const QStringList expected = {
        QString(),
        QString(),
        QStringLiteral("Korespondencja polecona z dnia :2024-03-05"),
        sep,
        QStringLiteral("|Odbiorca               |Numer polecenia   |Cena    |"),
        sep,
        QStringLiteral("|Sąd Rejonowy           |                  |        |"),
        QStringLiteral("|Toruń 87-100 Młyńska 7 |                  |        |"),
        sep,
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(Zestawienie, EachOutgoingRowShowsTheCorrespondentOfItsOwnLetter) {
    const int a = firma(QStringLiteral("Zakład Energetyczny"), QStringLiteral("Wrocław"));
    const int b =
        osoba(QStringLiteral("WIŚNIEWSKA"), QStringLiteral("Jadwiga"), QStringLiteral("Białystok"));
    const int c = firma(QStringLiteral("Spółdzielnia „Łąka”"), QStringLiteral("Płock"));
    pismo(2, a);
    pismo(2, b, {}, {}, {}, true);
    pismo(2, c);
    pismo(2, b);
    pismo(1, c, QStringLiteral("KP/1"));  // incoming: not for the post office

    const QStringList lines = wychodzace();
    // Unregistered: a, c, b in the order stored; two empty lines; registered: b.
    QStringList names;
    for (const QString& l : lines)
        if (l.startsWith(QLatin1Char('|'))) names << l.section(QLatin1Char('|'), 1, 1).trimmed();
    EXPECT_EQ(names, QStringList({"Odbiorca", "Zakład Energetyczny", "Wrocław",
                                  "Spółdzielnia „Łąka”", "Płock", "WIŚNIEWSKA Jadwiga", "Białystok",
                                  "Odbiorca", "WIŚNIEWSKA Jadwiga", "Białystok"}));
    EXPECT_EQ(lines.at(0), "Korespondencja z dnia :2024-03-05");
    const qsizetype second = lines.indexOf("Korespondencja polecona z dnia :2024-03-05");
    ASSERT_GT(second, 2);
    EXPECT_EQ(lines.at(second - 1), QString());
    EXPECT_EQ(lines.at(second - 2), QString());
    expectAligned(lines, 1, second - 3);
    expectAligned(lines, second + 1, lines.size() - second - 1);
    // Each section is as wide as its own longest line.
    EXPECT_EQ(lines.at(1).size(), 19 + 30);
    EXPECT_EQ(lines.at(second + 1).size(), 18 + 30);
}

TEST_F(Zestawienie, ALetterWhoseAddressIsGoneGetsEmptyLinesNotAnotherCorrespondent) {
    const int a = firma(QStringLiteral("Firma A"), QStringLiteral("Radom"));
    const int b = firma(QStringLiteral("Firma B"), QStringLiteral("Kielce"));
    pismo(1, a, QStringLiteral("KP/1"));
    pismo(1, b + 100, QStringLiteral("KP/2"));
    const QStringList lines = przychodzace();
    ASSERT_EQ(lines.size(), 10);
    EXPECT_TRUE(lines.at(4).contains("Firma A"));
    EXPECT_EQ(lines.at(7).section(QLatin1Char('|'), 2, 2).trimmed(), QString());
    EXPECT_EQ(lines.at(8).section(QLatin1Char('|'), 2, 2).trimmed(), QString());
}

}  // namespace
}  // namespace pulpex
