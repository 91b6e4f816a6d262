#include "tables/password.h"

#include <sodium.h>

#include <gtest/gtest.h>

namespace pulpex {
namespace {

TEST(Password, ValueSumsCp1250Codes) {
    EXPECT_EQ(PasswordValue(""), 6150427);
    EXPECT_EQ(PasswordValue("abc"), 6150427 + 97 + 98 + 99);
    EXPECT_EQ(PasswordValue("ą"), 6150427 + 0xB9);
    // Z a ż ó ł ć: 0x5A 0x61 0xBF 0xF3 0xB3 0xE6 in CP1250.
    EXPECT_EQ(PasswordValue("Zażółć"), 6150427 + 90 + 97 + 191 + 243 + 179 + 230);
    EXPECT_EQ(PasswordValue("ŚŹ"), 6150427 + 0x8C + 0x8F);
    EXPECT_EQ(PasswordValue("€"), 6150427 + 0x80);
    // Outside CP1250: '?' once per character, also for one beyond 16 bits.
    EXPECT_EQ(PasswordValue("日"), 6150427 + 63);
    EXPECT_EQ(PasswordValue(QString::fromUtf8("\xF0\x9F\x98\x80")), 6150427 + 63);
    // A letter typed decomposed counts as the letter.
    EXPECT_EQ(PasswordValue(QString::fromUtf8("a\xCC\xA8")), 6150427 + 0xB9);
}

TEST(Password, AnagramSharesTheValueButNotTheHash) {
    ASSERT_EQ(PasswordValue("tajne"), PasswordValue("jante"));
    const QString hash = PasswordHash("tajne");
    EXPECT_TRUE(PasswordHashMatches(hash, "tajne"));
    EXPECT_FALSE(PasswordHashMatches(hash, "jante"));
    EXPECT_FALSE(PasswordMatches(PasswordValue("tajne"), hash, "jante"));
}

TEST(Password, HashIsSaltedArgon2idThatFitsItsField) {
    const QString a = PasswordHash("Żółć1");
    const QString b = PasswordHash("Żółć1");
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.startsWith("$argon2id$"));
    for (const QString& h : {a, b}) {
        EXPECT_TRUE(PasswordHashMatches(h, "Żółć1"));
        EXPECT_FALSE(PasswordHashMatches(h, "Zolc1"));
        EXPECT_FALSE(PasswordHashNeedsRehash(h));
        EXPECT_LE(h.size(), kPasswordHashFieldSize - 1);
        for (QChar c : h)
            EXPECT_LT(c.unicode(), 0x80);
    }
    EXPECT_TRUE(PasswordHashMatches(a, QString::fromUtf8("Z\xCC\x87o\xCC\x81\xC5\x82"
                                                         "c\xCC\x81"
                                                         "1")));
    // As read back from a character field padded with blanks.
    EXPECT_TRUE(PasswordHashMatches(a + "   ", "Żółć1"));
    EXPECT_TRUE(PasswordHashMatches(PasswordHash(""), ""));
}

TEST(Password, MalformedOrWeakHashes) {
    const QString good = PasswordHash("haslo");
    QString flipped = good;
    flipped[flipped.size() - 2] = flipped[flipped.size() - 2] == 'A' ? 'B' : 'A';
    const QString bad[] = {"",
                           "   ",
                           "haslo",
                           "$argon2id$v=19$m=65536,t=2,p=1$",
                           good.left(good.size() - 10),
                           good + QString(80, 'A'),
                           good.left(20) + "ż" + good.mid(21)};
    for (const QString& h : bad) {
        EXPECT_FALSE(PasswordHashMatches(h, "haslo")) << h.toStdString();
        EXPECT_TRUE(PasswordHashNeedsRehash(h)) << h.toStdString();
        EXPECT_FALSE(
            PasswordMatches(PasswordValue("haslo"), h.trimmed().isEmpty() ? "x" : h, "haslo"));
    }

    // Well formed, but not this password's.
    EXPECT_FALSE(PasswordHashMatches(flipped, "haslo"));

    // Argon2i, or Argon2id with lower limits: still accepted, but to be made again.
    char out[crypto_pwhash_STRBYTES];
    ASSERT_EQ(crypto_pwhash_str_alg(out, "haslo", 5, crypto_pwhash_argon2i_OPSLIMIT_INTERACTIVE,
                                    crypto_pwhash_argon2i_MEMLIMIT_INTERACTIVE,
                                    crypto_pwhash_ALG_ARGON2I13),
              0);
    EXPECT_TRUE(PasswordHashMatches(out, "haslo"));
    EXPECT_TRUE(PasswordHashNeedsRehash(out));
    ASSERT_EQ(crypto_pwhash_str_alg(out, "haslo", 5, crypto_pwhash_OPSLIMIT_MIN,
                                    crypto_pwhash_MEMLIMIT_MIN, crypto_pwhash_ALG_ARGON2ID13),
              0);
    EXPECT_TRUE(PasswordHashMatches(out, "haslo"));
    EXPECT_TRUE(PasswordHashNeedsRehash(out));
}

TEST(Password, OldValueDecidesOnlyWithoutAHash) {
    const int oldValue = PasswordValue("stare");
    EXPECT_TRUE(PasswordMatches(oldValue, "", "stare"));
    EXPECT_TRUE(PasswordMatches(oldValue, "", "raste"));  // why the hash is added
    EXPECT_TRUE(PasswordMatches(oldValue, "  ", "stare"));
    EXPECT_FALSE(PasswordMatches(oldValue, "", "nowe"));
    EXPECT_TRUE(PasswordMatches(kPasswordValueBase, "", ""));

    const QString hash = PasswordHash("nowe");
    EXPECT_TRUE(PasswordMatches(oldValue, hash, "nowe"));
    EXPECT_FALSE(PasswordMatches(oldValue, hash, "stare"));
}

}  // namespace
}  // namespace pulpex
