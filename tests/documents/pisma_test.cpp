#include <gtest/gtest.h>

#include <vector>

#include "documents/pisma.h"
#include "support/testenv.h"
#include "tables/fieldio.h"

namespace pulpex {
namespace {

class PismaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pisma.CreateTableSelf());
        pisma.Open();
    }
    int add(int eventId, const QString& recognised, const QByteArray& ole = {}) {
        TRec_Pisma d;
        d.ZDARZ_ID = eventId;
        if (!recognised.isEmpty()) d.PIS_IDX.SetText(recognised);
        d.PIS_OLE.SetBytes(ole);
        pisma.OT_AddNew(d.ID, d);
        return d.ID;
    }
    std::vector<int> owners() {
        std::vector<int> out;
        engine::Table& t = pisma.T();
        pisma.SetIDIndex();
        for (t.first(); !t.eof(); t.next())
            out.push_back(fieldInt(t, "ZDARZ_ID"));
        return out;
    }

    test::TestSystem env;
    TTbl_Pisma pisma;
};

TEST_F(PismaTest, NewDocumentGetsTheNextIDAndKeepsItsBytes) {
    TRec_Pisma d;
    d.ZDARZ_ID = 12;
    d.PIS_REX = 300;
    d.PIS_REY = 600;
    // An OLE stream is binary: zeros, end-of-file marks and high bytes stay as they are.
    const QByteArray ole("\xD0\xCF\x11\xE0\0\x1A\x1A\xFF\x80\x0D\x0A", 11);
    d.PIS_OLE.SetBytes(ole);
    d.PIS_IDX.SetText("Rozpoznany tekst: zażółć");
    pisma.OT_AddNew(d.ID, d);
    EXPECT_EQ(d.ID, 1);
    EXPECT_EQ(add(12, "drugi"), 2);

    TRec_Pisma back;
    ASSERT_TRUE(pisma.ReadRecordByID(1, back));
    EXPECT_EQ(back.ID, 1);
    EXPECT_EQ(back.ZDARZ_ID, 12);
    EXPECT_EQ(back.PIS_TYP, 0);
    EXPECT_EQ(back.PIS_REX, 300);
    EXPECT_EQ(back.PIS_REY, 600);
    EXPECT_EQ(back.PIS_OLE.Bytes(), ole);
    EXPECT_EQ(back.PIS_IDX.GetText(), "Rozpoznany tekst: zażółć");
}

TEST_F(PismaTest, DeletingAnEventsDocumentsKeepsTheOthers) {
    for (int owner : {3, 30, 3, 13, 3, 1, 3})
        add(owner, "x");
    pisma.UsunPisma(3);
    EXPECT_EQ(owners(), (std::vector<int>{30, 13, 1}));
    pisma.UsunPisma(4);  // nothing of that event
    EXPECT_EQ(owners(), (std::vector<int>{30, 13, 1}));
}

TEST_F(PismaTest, EventMatchWalksEveryDocumentOfTheEvent) {
    EXPECT_FALSE(pisma.CzyPasuje(5, ""));  // no documents: nothing to match
    add(5, "Umowa najmu");
    add(6, "Faktura");
    add(5, "Protokół odbioru");
    add(4, "Aneks");
    add(5, "Wezwanie do zapłaty");
    EXPECT_TRUE(pisma.CzyPasuje(5, "najmu"));
    EXPECT_TRUE(pisma.CzyPasuje(5, "PROTOKÓŁ"));
    EXPECT_TRUE(pisma.CzyPasuje(5, "zaplaty"));
    EXPECT_FALSE(pisma.CzyPasuje(5, "Faktura"));
    EXPECT_FALSE(pisma.CzyPasuje(5, "Aneks"));
    EXPECT_FALSE(pisma.CzyPasuje(7, "najmu"));
}

TEST(Pisma, RecordMatchRecognisedTextThenOleText) {
    TRec_Pisma d;
    d.PIS_IDX.SetText("Zażółć gęślą jaźń");
    EXPECT_TRUE(d.CzyPasuje("zazolc gesla"));  // recognition loses diacritics
    EXPECT_FALSE(d.CzyPasuje("jaźń!"));

    d.PIS_IDX.Clear();
    // "Łódź" in CP1250 with control bytes between its letters.
    d.PIS_OLE.SetBytes(QByteArray("\xA3\x00\xF3\x07\x64\x0D\x9F", 7));
    EXPECT_TRUE(d.CzyPasuje("łódź"));
    EXPECT_FALSE(d.CzyPasuje("lodz"));  // OLE text is not recognised text
    // Bytes above 13 are kept, so they split a word.
    d.PIS_OLE.SetBytes(QByteArray("Ma\x0Ej", 4));
    EXPECT_FALSE(d.CzyPasuje("Maj"));

    // The search text is cut to 254 characters.
    const QString text(254, QLatin1Char('q'));
    d.PIS_IDX.SetText(text);
    EXPECT_TRUE(d.CzyPasuje(text + "tail"));
    EXPECT_FALSE(d.CzyPasuje("tail" + text));
}

}  // namespace
}  // namespace pulpex
