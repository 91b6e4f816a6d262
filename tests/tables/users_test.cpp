#include "tables/users.h"

#include <QFile>

#include <gtest/gtest.h>

#include "support/testenv.h"
#include "tables/am_diags.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/password.h"

namespace pulpex {
namespace {

std::unique_ptr<engine::Table> otherCursor(TOT_Table& t, const QString& tag) {
    auto c = engine::Table::open(u8(t.TableFileName()));
    c->setIndex(u8(tag));
    return c;
}

// A user as an old client leaves him: the old value of his password and no hash.
int addOldStyleUser(TTbl_USERS& users, const QString& name, const QString& password) {
    TRec_Users r;
    r.FNAME = name;
    r.PRSN_PSW = PasswordValue(password);
    users.AddNewUser(r);
    return r.ID;
}

class UsersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(users.CreateTableSelf());
        users.Open();
    }
    TRec_Users read(int id) {
        TRec_Users r;
        EXPECT_TRUE(users.ReadRecordByID(id, r));
        return r;
    }

    // The password check of the row as it is stored now.
    bool checks(int id, const QString& typed) {
        TRec_Users r = read(id);
        return users.CheckPassword(r, typed);
    }

    test::TestSystem env;
    TTbl_USERS users;
    test::GlobalRef<TTbl_USERS> ref{TblUsers, &users};
};

TEST_F(UsersTest, NewTableHoldsOnlyTheAdministratorWithTheEmptyPassword) {
    EXPECT_EQ(users.T().recordCount(), 1u);
    TRec_Users admin = read(1);
    EXPECT_EQ(admin.ID, 1);
    EXPECT_EQ(admin.FNAME, "ADMINISTRATOR");
    EXPECT_TRUE(admin.USER_ISA);
    EXPECT_EQ(admin.PRSN_PSW, kEmptyPasswordValue);
    EXPECT_FALSE(admin.PRSN_HSH.isEmpty());
    EXPECT_TRUE(users.CheckPassword(admin, ""));
    EXPECT_FALSE(users.CheckPassword(admin, " "));
    EXPECT_FALSE(users.CheckPassword(admin, "ADMINISTRATOR"));

    std::vector<std::string> tags;
    for (const auto& t : users.T().tags())
        tags.push_back(t.name);
    EXPECT_EQ(tags, (std::vector<std::string>{"USRS_ID", "FNAME"}));
    // The next user follows on.
    EXPECT_EQ(addOldStyleUser(users, "Kowalski", "x"), 2);
}

TEST_F(UsersTest, HashDecidesOnceSetThoughTheOldValueStillHoldsTheSum) {
    TRec_Users u;
    u.FNAME = "Nowak";
    users.SetPassword(u, "tajne");  // not stored yet: only the record changes
    users.AddNewUser(u);
    TRec_Users stored = read(u.ID);
    EXPECT_EQ(stored.PRSN_PSW, PasswordValue("tajne"));
    EXPECT_TRUE(PasswordHashMatches(stored.PRSN_HSH, "tajne"));
    ASSERT_EQ(PasswordValue("jante"), stored.PRSN_PSW);
    EXPECT_FALSE(users.CheckPassword(stored, "jante"));
    EXPECT_FALSE(users.CheckPassword(stored, ""));
    EXPECT_TRUE(users.CheckPassword(stored, "tajne"));
    EXPECT_EQ(read(u.ID).PRSN_HSH, stored.PRSN_HSH);  // a good hash is not made again
}

TEST_F(UsersTest, OldValueLogsInOnceAndTheHashIsWrittenThen) {
    const int id = addOldStyleUser(users, "Wiśniewska", "Żółw1");
    // The shared cursor stands elsewhere; the upgrade must leave it there.
    users.SetIndex("FNAME");
    ASSERT_TRUE(users.T().findKey(engine::Value{std::string("ADMINISTRATOR")}));

    TRec_Users u = read(id);
    users.SetIndex("FNAME");
    ASSERT_TRUE(users.T().findKey(engine::Value{std::string("ADMINISTRATOR")}));
    ASSERT_TRUE(u.PRSN_HSH.isEmpty());
    EXPECT_FALSE(users.CheckPassword(u, "zly"));
    EXPECT_TRUE(read(id).PRSN_HSH.isEmpty());
    users.SetIndex("FNAME");
    ASSERT_TRUE(users.T().findKey(engine::Value{std::string("ADMINISTRATOR")}));

    EXPECT_TRUE(users.CheckPassword(u, "Żółw1"));
    EXPECT_EQ(users.T().currentIndex(), "FNAME");
    EXPECT_EQ(fieldString(users.T(), "FNAME"), "ADMINISTRATOR");
    EXPECT_EQ(users.T().state(), engine::Table::State::Browse);

    TRec_Users after = read(id);
    EXPECT_EQ(after.PRSN_HSH, u.PRSN_HSH);
    EXPECT_TRUE(PasswordHashMatches(after.PRSN_HSH, "Żółw1"));
    EXPECT_EQ(after.PRSN_PSW, PasswordValue("Żółw1"));  // old clients still log in
    // From now on an anagram no longer opens the account.
    ASSERT_EQ(PasswordValue("1wółŻ"), after.PRSN_PSW);
    EXPECT_FALSE(users.CheckPassword(after, "1wółŻ"));
    EXPECT_TRUE(users.CheckPassword(after, "Żółw1"));
}

TEST_F(UsersTest, PasswordChangedByAnOldClientIsFollowed) {
    TRec_Users u;
    u.FNAME = "Kowalska";
    users.SetPassword(u, "stare");
    users.AddNewUser(u);
    ASSERT_TRUE(checks(u.ID, "stare"));

    // The old client rewrites the old value and knows nothing of the hash beside it.
    auto writeOldValue = [&](const QString& password) {
        auto c = otherCursor(users, "");
        ASSERT_TRUE(c->locate("ID", engine::Value{std::int64_t{u.ID}}));
        c->edit();
        c->setInteger("PRSN_PSW", PasswordValue(password));
        c->post();
    };
    writeOldValue("nowe");
    EXPECT_FALSE(checks(u.ID, "stare"));
    EXPECT_TRUE(checks(u.ID, "nowe"));
    // The log-in wrote a hash of the new password, so its anagrams stop working again.
    TRec_Users after = read(u.ID);
    EXPECT_TRUE(PasswordHashMatches(after.PRSN_HSH, "nowe"));
    ASSERT_EQ(PasswordValue("wone"), after.PRSN_PSW);
    EXPECT_FALSE(checks(u.ID, "wone"));

    // A hash stored bare (before the old value was kept beside it) gets the value at the next
    // log-in, and from then on an old client's change is noticed too.
    {
        auto c = otherCursor(users, "");
        ASSERT_TRUE(c->locate("ID", engine::Value{std::int64_t{u.ID}}));
        c->edit();
        c->setString("PRSN_HSH", PasswordHash("nowe").toStdString());
        c->post();
    }
    EXPECT_TRUE(checks(u.ID, "nowe"));
    writeOldValue("trzecie");
    EXPECT_FALSE(checks(u.ID, "nowe"));
    EXPECT_TRUE(checks(u.ID, "trzecie"));
}

TEST_F(UsersTest, UpgradeWaitsForALockedRowAndNeverOverwritesANewerPassword) {
    const int id = addOldStyleUser(users, "Zieliński", "stare");
    TRec_Users u = read(id);

    // Another workstation edits the row: the log-in goes on, the hash is written next time.
    auto other = otherCursor(users, "USRS_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{id}}));
    other->edit();
    EXPECT_TRUE(users.CheckPassword(u, "stare"));
    other->cancel();
    EXPECT_TRUE(read(id).PRSN_HSH.isEmpty());
    EXPECT_TRUE(users.CheckPassword(u, "stare"));
    EXPECT_FALSE(read(id).PRSN_HSH.isEmpty());

    // The administrator set a new password meanwhile; a record read before that still matches
    // the old value, but the row keeps the new password.
    const int id2 = addOldStyleUser(users, "Lewandowski", "pierwsze");
    TRec_Users stale = read(id2);
    TRec_Users admin = read(id2);
    users.SetPassword(admin, "drugie");
    EXPECT_TRUE(users.CheckPassword(stale, "pierwsze"));
    TRec_Users now = read(id2);
    EXPECT_TRUE(PasswordHashMatches(now.PRSN_HSH, "drugie"));
    EXPECT_FALSE(users.CheckPassword(now, "pierwsze"));
}

TEST_F(UsersTest, SetPasswordWritesTheValueAndTheHashToTheRow) {
    TRec_Users admin = read(1);
    users.SetPassword(admin, "Ąę-9");
    TRec_Users r = read(1);
    EXPECT_EQ(r.PRSN_PSW, PasswordValue("Ąę-9"));
    EXPECT_TRUE(users.CheckPassword(r, "Ąę-9"));
    EXPECT_FALSE(users.CheckPassword(r, ""));

    // In the middle of the user editor's edit the values join that edit.
    ASSERT_TRUE(users.LocateID(1));
    ASSERT_TRUE(users.LockRecord());
    users.SetPassword(r, "inne");
    EXPECT_EQ(users.T().state(), engine::Table::State::Edit);
    users.PostRow();
    EXPECT_TRUE(checks(1, "inne"));

    // A row locked elsewhere is reported, and the stored password stays.
    auto other = otherCursor(users, "USRS_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{1}}));
    other->edit();
    TRec_Users again = read(1);
    EXPECT_THROW(users.SetPassword(again, "trzecie"), EDatabaseError);
    other->cancel();
    EXPECT_TRUE(checks(1, "inne"));
}

TEST_F(UsersTest, UserNameIsReadWithoutMovingTheSharedCursor) {
    addOldStyleUser(users, "Kowalski", "a");
    users.SetIndex("FNAME");
    ASSERT_TRUE(users.T().findKey(engine::Value{std::string("Kowalski")}));
    users.T().edit();  // even with the row locked by the shared cursor

    QString name = "x";
    users.GetUserName_Silent(1, name);
    EXPECT_EQ(name, "ADMINISTRATOR");
    users.GetUserName_Silent(99, name);
    EXPECT_EQ(name, "");
    name = "x";
    users.GetUserName_Silent(0, name);
    EXPECT_EQ(name, "");

    EXPECT_EQ(users.T().state(), engine::Table::State::Edit);
    EXPECT_EQ(users.T().currentIndex(), "FNAME");
    EXPECT_EQ(fieldString(users.T(), "FNAME"), "Kowalski");
    users.CancelRow();

    users.Close();
    users.GetUserName_Silent(2, name);
    EXPECT_EQ(name, "Kowalski");
    EXPECT_FALSE(users.Active());
}

TEST_F(UsersTest, MissingIndexFileIsRebuiltByTheStructureCheck) {
    addOldStyleUser(users, "Kowalski", "a");
    users.Close();
    // A consistent header (no index flag) and no index file: the catalogue sees nothing to
    // repair, so the users table must rebuild its tags itself.
    ASSERT_TRUE(users.DropProductionIndex());
    ASSERT_FALSE(users.IndexFileExists());
    ASSERT_TRUE(users.IndexStateConsistent());

    users.CheckTableStruct(false);
    ASSERT_TRUE(users.Active());
    EXPECT_TRUE(users.IndexFileExists());
    EXPECT_EQ(users.T().tags().size(), 2u);
    EXPECT_EQ(read(2).FNAME, "Kowalski");

    // With the index in place nothing is rebuilt: the file stays the same one.
    users.Close();
    const QString mdx = users.CompanionFileName(".MDX");
    QFile marker(mdx);
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    const QByteArray before = marker.readAll();
    marker.close();
    users.CheckTableStruct(false);
    QFile again(mdx);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), before);
}

TEST(Users, OldFileWithoutTheHashFieldStillLogsIn) {
    test::TestSystem env;
    TTbl_USERS users;
    engine::Table::create(u8(users.TableFileName()),
                          {{"ID", TFieldType::Integer, 0},
                           {"FNAME", TFieldType::String, 25},
                           {"USER_ISA", TFieldType::Boolean, 0},
                           {"PRSN_PSW", TFieldType::Integer, 0}},
                          {{"USRS_ID", "ID"}, {"FNAME", "FNAME"}});
    users.Open();
    const int id = addOldStyleUser(users, "Stary", "haslo");
    TRec_Users u;
    ASSERT_TRUE(users.ReadRecordByID(id, u));
    EXPECT_EQ(u.FNAME, "Stary");
    EXPECT_TRUE(u.PRSN_HSH.isEmpty());
    EXPECT_TRUE(users.CheckPassword(u, "haslo"));
    EXPECT_FALSE(users.CheckPassword(u, "inne"));
    users.SetPassword(u, "nowe");
    ASSERT_TRUE(users.ReadRecordByID(id, u));
    EXPECT_EQ(u.PRSN_PSW, PasswordValue("nowe"));
    EXPECT_TRUE(users.CheckPassword(u, "nowe"));
}

// ---------------------------------------------------------------- record base

TEST_F(UsersTest, TableBaseLockRecordCancelledLeavesTheRowUnlocked) {
    auto other = otherCursor(users, "USRS_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{1}}));
    other->edit();

    ASSERT_TRUE(users.LocateID(1));
    env.prompts.setNextAnswer(Answer::Ok);
    env.prompts.setNextAnswer(Answer::Cancel);
    EXPECT_FALSE(users.LockRecord());
    ASSERT_EQ(env.prompts.shown().size(), 2u);  // asked, retried, asked again
    EXPECT_TRUE(
        env.prompts.shown()[0].text.startsWith("Błąd podczas lokowania, powtórzyć "
                                               "próbę?\r\n"));
    EXPECT_GT(env.prompts.shown()[0].text.size(),
              QStringLiteral("Błąd podczas lokowania, powtórzyć próbę?\r\n").size());
    EXPECT_EQ(env.prompts.shown()[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(users.T().state(), engine::Table::State::Browse);

    other->cancel();
    auto third = otherCursor(users, "USRS_ID");
    ASSERT_TRUE(third->findKey(engine::Value{std::int64_t{1}}));
    EXPECT_NO_THROW(third->edit());
    third->cancel();

    env.prompts.clear();
    EXPECT_TRUE(users.LockRecord());
    EXPECT_TRUE(env.prompts.shown().empty());
    users.CancelRow();
}

TEST_F(UsersTest, TableBaseInfoTextNamesTheStampingUser) {
    TRec_Users never;
    EXPECT_EQ(never.InfoText(), "\r\n\r\n");

    env.sys->CurrentUser().ID = 1;
    TRec_Users r;
    r.Stamp(1);
    const QDateTime t = r.Info.info[1].time;
    EXPECT_EQ(r.InfoText(), "\r\nM ADMINISTRATOR " + t.toString("yyyy-MM-dd hh:mm") + "\r\n");
}

// ---------------------------------------------------------------- diagnostics log

int diagRows(const TTbl_Diags& d) {
    auto c = engine::Table::open(u8(d.TableFileName()));
    return static_cast<int>(c->recordCount());
}

TEST(Diags, NothingIsWrittenOrRaisedWithoutAnOpenLog) {
    test::TestSystem env;
    ASSERT_EQ(TblDiags, nullptr);
    EXPECT_NO_THROW(LogDiag("Logowanie do systemu.", "ADMINISTRATOR"));

    TTbl_Diags diags;
    ASSERT_TRUE(diags.CreateTableSelf());
    diags.Close();
    test::GlobalRef<TTbl_Diags> ref(TblDiags, &diags);
    EXPECT_NO_THROW(LogDiag("Logowanie do systemu.", "ADMINISTRATOR"));
    EXPECT_FALSE(diags.Active());
    EXPECT_EQ(diagRows(diags), 0);
    EXPECT_TRUE(env.prompts.shown().empty());
}

TEST(Diags, EntriesAreAppendedFromSeveralWorkstationsAtOnce) {
    test::TestSystem env;
    TTbl_Diags first, second;
    ASSERT_TRUE(first.CreateTableSelf());
    first.Open();
    ASSERT_NO_THROW(second.Open());  // a second workstation starting up

    test::GlobalRef<TTbl_Diags> ref(TblDiags, &first);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    LogDiag("Logowanie do systemu.", "ADMINISTRATOR");
    second.AddDiagReg("Zamknięcie systemu", "Kowalski");
    LogDiag(QString(300, QLatin1Char('x')), "Пётр 日本 ł");
    EXPECT_EQ(diagRows(first), 3);

    engine::Table& t = first.T();
    t.setIndex("");
    t.first();
    TRec_Diags r;
    r.LoadFields(first);
    EXPECT_EQ(r.OPIS1, "Logowanie do systemu.");
    EXPECT_EQ(r.OPIS2, "ADMINISTRATOR");
    EXPECT_GE(r.DATKA, before);
    EXPECT_LE(r.DATKA, QDateTime::currentDateTime().addSecs(1));
    t.next();
    r.LoadFields(first);
    EXPECT_EQ(r.OPIS1, "Zamknięcie systemu");
    t.next();
    r.LoadFields(first);
    EXPECT_EQ(r.OPIS1, QString(250, QLatin1Char('x')));
    // Characters the log's code page lacks leave a mark instead of losing the entry.
    EXPECT_EQ(r.OPIS2, "???? ?? ł");
}

TEST(Diags, AFailedWriteIsSwallowedAndLeavesNoHalfRow) {
    test::TestSystem env;
    TTbl_Diags diags;
    // A log file of another shape: the detail field is missing.
    engine::Table::create(u8(diags.TableFileName()),
                          {{"DATKA", TFieldType::DateTime, 0}, {"OPIS1", TFieldType::String, 250}});
    diags.Open();
    test::GlobalRef<TTbl_Diags> ref(TblDiags, &diags);
    EXPECT_NO_THROW(LogDiag("Brak indeksu.", "Zdarzenia"));
    EXPECT_EQ(diags.T().state(), engine::Table::State::Browse);
    EXPECT_EQ(diagRows(diags), 0);
    EXPECT_THROW(diags.AddDiagReg("Brak indeksu.", "Zdarzenia"), EDatabaseError);
    EXPECT_EQ(diagRows(diags), 0);
}

}  // namespace
}  // namespace pulpex
