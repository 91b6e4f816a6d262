#include "controls/data/dataset.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QStringList>

#include "controls/data/tables_fixture.h"

namespace pulpex {
namespace {

using engine::EDatabaseError;

class DataSetTest : public ::testing::Test {
  protected:
    void SetUp() override { db.fillSmall(); }

    std::unique_ptr<TTableDataSet> openTable(const char* name, const char* index) {
        auto t = std::make_unique<TTableDataSet>();
        t->SetDatabaseName(db.path());
        t->SetTableName(QString::fromLatin1(name));
        t->SetIndexName(QString::fromLatin1(index));
        t->Open();
        return t;
    }
    // The name of address `id` as another workstation reads it from the file.
    std::string nameInFile(int id) {
        auto t = engine::Table::open(db.table("ADRESY.DBF"));
        EXPECT_TRUE(t->locate("ID", engine::Value{std::int64_t{id}}));
        return t->asString("AD_NAZW");
    }
    // Records the order of the data set's events.
    QStringList* record(TDataSet& ds) {
        auto* log = &events;
        QObject::connect(&ds, &TDataSet::UpdateRecord, [log] { *log << "UpdateRecord"; });
        QObject::connect(&ds, &TDataSet::BeforePost, [log] { *log << "BeforePost"; });
        QObject::connect(&ds, &TDataSet::AfterPost, [log] { *log << "AfterPost"; });
        QObject::connect(&ds, &TDataSet::AfterScroll, [log] { *log << "AfterScroll"; });
        QObject::connect(&ds, &TDataSet::AfterCancel, [log] { *log << "AfterCancel"; });
        QObject::connect(&ds, &TDataSet::AfterDelete, [log] { *log << "AfterDelete"; });
        QObject::connect(&ds, &TDataSet::StateChange, [log, &ds] {
            static const char* names[] = {"Inactive", "Browse", "Edit", "Insert"};
            *log << QStringLiteral("State:") + names[static_cast<int>(ds.State())];
        });
        QObject::connect(&ds, &TDataSet::DataChange,
                         [log](const QString& f) { *log << "DataChange:" + f; });
        return log;
    }

    test::CorrespondenceTables db;
    QStringList events;
};

TEST_F(DataSetTest, EditPostRunsEventsInOrderAndWritesTheFile) {
    auto t = openTable("ADRESY", "ADR_ID");
    EXPECT_EQ(t->State(), TDataSetState::Browse);
    EXPECT_EQ(t->AsInteger("ID"), 1);
    EXPECT_EQ(t->FieldValue("AD_NAZW").toString(), QStringLiteral("Kowalski Jan"));
    EXPECT_THROW(t->SetFieldValue("AD_NAZW", "X"), EDatabaseError);  // not editing

    record(*t);
    t->Edit();
    t->SetFieldValue("ad_nazw", QStringLiteral("Kowalska Żaneta"));
    EXPECT_TRUE(t->Modified());
    EXPECT_EQ(t->FieldText("AD_NAZW"), QStringLiteral("Kowalska Żaneta"));
    EXPECT_EQ(nameInFile(1), "Kowalski Jan");  // nothing written before the post
    t->Post();
    EXPECT_EQ(events, (QStringList{"State:Edit", "DataChange:AD_NAZW", "UpdateRecord", "BeforePost",
                                   "State:Browse", "AfterPost", "AfterScroll", "DataChange:"}));
    EXPECT_EQ(nameInFile(1), "Kowalska Żaneta");
    EXPECT_EQ(t->AsInteger("ID"), 1);  // still on the posted row
}

TEST_F(DataSetTest, CancelWritesNothingAndAbortInBeforePostKeepsEditing) {
    auto t = openTable("ADRESY", "ADR_ID");
    t->Next();
    t->Edit();
    t->SetFieldValue("AD_NAZW", QStringLiteral("Zmieniony"));
    record(*t);
    t->Cancel();
    EXPECT_EQ(events, (QStringList{"State:Browse", "AfterCancel", "AfterScroll", "DataChange:"}));
    EXPECT_EQ(t->AsString("AD_NAZW"), QStringLiteral("Nowak Anna"));
    EXPECT_EQ(nameInFile(2), "Nowak Anna");

    // An inserted row cancelled leaves no row behind and the old current row.
    t->Insert();
    t->SetFieldValue("ID", 50);
    t->Cancel();
    EXPECT_EQ(t->AsInteger("ID"), 2);
    EXPECT_EQ(t->RecordCount(), 4);

    QObject::connect(t.get(), &TDataSet::BeforePost, t.get(), [&] { t->Abort(); });
    t->Edit();
    t->SetFieldValue("AD_NAZW", QStringLiteral("Odrzucony"));
    t->Post();
    EXPECT_EQ(t->State(), TDataSetState::Edit);
    t->Cancel();
    EXPECT_EQ(nameInFile(2), "Nowak Anna");
}

TEST_F(DataSetTest, EditOfARowLockedElsewhereFailsWithTheLockReason) {
    auto t = openTable("ADRESY", "ADR_ID");
    auto other = engine::Table::open(db.table("ADRESY.DBF"));
    other->gotoRecno(1);
    other->edit();
    try {
        t->Edit();
        FAIL() << "Edit took a row locked by another cursor";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.reason(), EDatabaseError::Reason::Locked);
    }
    EXPECT_EQ(t->State(), TDataSetState::Browse);
    other->cancel();
    t->Edit();  // free again
    EXPECT_EQ(t->State(), TDataSetState::Edit);
    // While the data set holds the row, another cursor cannot take it.
    EXPECT_THROW(other->edit(), EDatabaseError);
    t->Cancel();
    other->edit();
    other->cancel();
}

TEST_F(DataSetTest, PostedChangeReachesASecondDataSetAndAnotherProcess) {
    auto a = openTable("ADRESY", "ADR_ID");
    auto b = openTable("ADRESY", "ADR_ID");
    b->Locate("ID", 3);
    a->Locate("ID", 3);
    a->Edit();
    a->SetFieldValue("AD_NAZW", QStringLiteral("Świątek Iga Natalia"));
    a->Post();
    b->Refresh();
    EXPECT_EQ(b->AsInteger("ID"), 3);  // refresh keeps the row
    EXPECT_EQ(b->AsString("AD_NAZW"), QStringLiteral("Świątek Iga Natalia"));

    const std::string path = db.table("ADRESY.DBF");
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Another workstation: reads the posted value and appends a row of its own.
        int rc = 1;
        try {
            auto t = engine::Table::open(path);
            if (t->locate("ID", engine::Value{std::int64_t{3}}) &&
                t->asString("AD_NAZW") == "Świątek Iga Natalia") {
                t->insert();
                t->setInteger("ID", 5);
                t->setString("AD_NAZW", "Zając Ewa");
                t->post();
                rc = 0;
            }
        } catch (...) {
        }
        _exit(rc);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    a->Refresh();
    EXPECT_EQ(a->RecordCount(), 5);
    EXPECT_TRUE(a->Locate("AD_NAZW", QStringLiteral("zając ewa"), true));
    EXPECT_EQ(a->AsInteger("ID"), 5);
}

TEST_F(DataSetTest, NavigationLocateBookmarksAndDelete) {
    auto t = openTable("ADRESY", "ADR_NAZW");
    // Ordered by name: Kowalski, Kozłowski, Nowak, Świątek (upper-cased key).
    EXPECT_EQ(t->AsInteger("ID"), 1);
    EXPECT_TRUE(t->Bof() == false && t->Eof() == false);
    t->Prior();
    EXPECT_TRUE(t->Bof());
    t->Last();
    const engine::Bookmark last = t->GetBookmark();
    t->Next();
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->GetBookmark(), last);  // stays on the last row

    EXPECT_TRUE(t->Locate("AD_NAZW", QStringLiteral("kozłowski piotr"), true));
    EXPECT_EQ(t->AsInteger("ID"), 4);
    const engine::Bookmark koz = t->GetBookmark();
    EXPECT_FALSE(t->Locate("AD_NAZW", QStringLiteral("kozłowski piotr"), false));
    EXPECT_FALSE(t->Locate("ID", 77));
    EXPECT_EQ(t->GetBookmark(), koz);  // a failed locate does not move
    t->First();
    t->GotoBookmark(koz);
    EXPECT_EQ(t->AsInteger("ID"), 4);

    record(*t);
    t->Delete();
    EXPECT_EQ(events.first(), QStringLiteral("AfterDelete"));
    EXPECT_TRUE(events.contains("AfterScroll"));
    EXPECT_EQ(t->AsInteger("ID"), 2);  // the next row by name
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_FALSE(t->Locate("ID", 4));

    // A query is read-only.
    TQueryDataSet q;
    q.SetDatabaseName(db.path());
    q.SQL() = {"select ID, ZD_NMR from ZDARZ", "order by ID"};
    q.Open();
    EXPECT_FALSE(q.CanModify());
    EXPECT_THROW(q.Edit(), EDatabaseError);
    EXPECT_THROW(q.Delete(), EDatabaseError);
    EXPECT_EQ(q.RecordCount(), 4);
}

TEST_F(DataSetTest, DisableControlsHoldsBackNotificationsUntilEnabled) {
    auto t = openTable("ADRESY", "ADR_ID");
    QSignalSpy scroll(t.get(), &TDataSet::AfterScroll);
    QSignalSpy data(t.get(), &TDataSet::DataChange);
    t->DisableControls();
    t->DisableControls();
    t->Next();
    t->Next();
    t->Last();
    t->EnableControls();
    EXPECT_EQ(scroll.count(), 0);  // still one level disabled
    t->EnableControls();
    EXPECT_EQ(scroll.count(), 1);
    EXPECT_EQ(data.count(), 1);
    EXPECT_EQ(data.first().first().toString(), QString());
    t->DisableControls();
    t->EnableControls();
    EXPECT_EQ(scroll.count(), 1);  // nothing was held back
}

TEST_F(DataSetTest, RecordFilterAndReadersLeaveTheCurrentRowAlone) {
    auto t = openTable("ADRESY", "ADR_ID");
    t->SetOnFilterRecord([](engine::Cursor& c) { return c.asInteger("ID") % 2 == 0; });
    EXPECT_EQ(t->RecordCount(), 4);  // not filtered yet
    t->SetFiltered(true);
    EXPECT_EQ(t->AsInteger("ID"), 2);
    EXPECT_EQ(t->RecordCount(), 2);
    t->Next();
    EXPECT_EQ(t->AsInteger("ID"), 4);

    auto reader = t->CreateReader();
    std::vector<std::int64_t> ids;
    for (reader->first(); !reader->eof(); reader->next())
        ids.push_back(reader->asInteger("ID"));
    EXPECT_EQ(ids, (std::vector<std::int64_t>{2, 4}));
    EXPECT_EQ(t->AsInteger("ID"), 4);
    t->SetFiltered(false);
    EXPECT_EQ(t->RecordCount(), 4);

    // A query's reader walks the kept rows without moving the query.
    TQueryDataSet q;
    q.SetDatabaseName(db.path());
    q.SQL() = {"select ID from ZDARZ order by ID"};
    q.Open();
    q.Next();
    q.Next();
    auto qr = q.CreateReader();
    qr->last();
    EXPECT_EQ(qr->asInteger(0), 4);
    qr->first();
    EXPECT_EQ(qr->asInteger(0), 1);
    EXPECT_EQ(q.AsInteger("ID"), 3);
    q.Next();
    q.Next();
    EXPECT_TRUE(q.Eof());
    qr->next();
    EXPECT_TRUE(q.Eof());  // the reader's step kept the query past its end
    EXPECT_EQ(qr->asInteger(0), 2);
}

TEST_F(DataSetTest, MasterDetailChainFollowsTheMastersRow) {
    TQueryDataSet q;
    q.SetDatabaseName(db.path());
    q.SQL() = {"select ZD_NMR, ZD_ADR, ID from ZDARZ", "order by ID"};
    auto adresy = std::make_unique<TTableDataSet>();
    adresy->SetDatabaseName(db.path());
    adresy->SetTableName("adresy.dbf");
    adresy->SetIndexName("ADR_ID");
    adresy->SetMaster(&q, "ZD_ADR");
    auto zdarz = std::make_unique<TTableDataSet>();
    zdarz->SetDatabaseName(db.path());
    zdarz->SetTableName("ZDARZ");
    zdarz->SetIndexName("ZDARZ_ID");
    zdarz->SetMaster(&q, "ID");
    auto notes = std::make_unique<TTableDataSet>();
    notes->SetDatabaseName(db.path());
    notes->SetTableName("NOTATKI");
    notes->SetIndexName("NT_ZD");
    notes->SetMaster(zdarz.get(), "ID");
    // A query on the third level, bound by the name of its parameter.
    TQueryDataSet noteCount;
    noteCount.SetDatabaseName(db.path());
    noteCount.SQL() = {"select count(*) as N from NOTATKI", "where NT_ZD = :id"};
    noteCount.SetMaster(zdarz.get());

    adresy->Open();
    zdarz->Open();
    notes->Open();
    noteCount.Open();
    EXPECT_TRUE(adresy->IsEmpty());  // master closed: no detail rows
    q.Open();

    auto texts = [&](TDataSet& ds, const char* field) {
        QStringList out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out << ds.AsString(field);
        return out;
    };
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QStringLiteral("Nowak Anna"));
    EXPECT_EQ(zdarz->AsInteger("ID"), 1);
    EXPECT_EQ(texts(*notes, "NT_TXT"), (QStringList{"pierwsza", "druga"}));
    EXPECT_EQ(noteCount.AsInteger("N"), 2);

    q.Next();
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QStringLiteral("Kowalski Jan"));
    EXPECT_EQ(texts(*notes, "NT_TXT"), (QStringList{"trzecia"}));
    EXPECT_EQ(noteCount.AsInteger("N"), 1);

    q.Next();  // event 3 names an address that does not exist and has no notes
    EXPECT_TRUE(adresy->IsEmpty());
    EXPECT_TRUE(adresy->FieldValue("AD_NAZW").isNull());
    EXPECT_EQ(adresy->RecordCount(), 0);
    EXPECT_TRUE(notes->IsEmpty());
    EXPECT_EQ(noteCount.AsInteger("N"), 0);

    // A new detail row takes the master's value.
    notes->Insert();
    notes->SetFieldValue("ID", 10);
    notes->SetFieldValue("NT_TXT", QStringLiteral("czwarta"));
    notes->Post();
    EXPECT_EQ(notes->AsInteger("NT_ZD"), 3);
    EXPECT_EQ(texts(*notes, "NT_TXT"), (QStringList{"czwarta"}));

    q.Next();
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QStringLiteral("Świątek Iga"));
    q.Close();
    EXPECT_TRUE(adresy->IsEmpty());
    EXPECT_TRUE(zdarz->IsEmpty());
    EXPECT_TRUE(notes->IsEmpty());
    EXPECT_THROW(notes->SetMaster(notes.get(), "ID"), EDatabaseError);
}

TEST_F(DataSetTest, ValuesComeInQtTypesAndBadValuesAreRefused) {
    auto t = openTable("ZDARZ", "ZDARZ_ID");
    t->Locate("ID", 3);
    EXPECT_EQ(t->FieldValue("ZD_ADR").typeId(), QMetaType::LongLong);
    t->Edit();
    t->SetFieldValue("ZD_ADR", QVariant());
    EXPECT_TRUE(t->FieldValue("ZD_ADR").isNull());
    EXPECT_THROW(t->SetFieldValue("ZD_ADR", QStringLiteral("dwa")), EDatabaseError);
    EXPECT_THROW(t->SetFieldValue("NIE_MA", 1), EDatabaseError);
    t->SetFieldValue("ZD_ADR", QStringLiteral(" 4 "));
    t->Post();
    EXPECT_EQ(t->AsInteger("ZD_ADR"), 4);
    t->Close();
    EXPECT_FALSE(t->Active());
    EXPECT_THROW(t->FieldValue("ID"), EDatabaseError);
}

}  // namespace
}  // namespace pulpex
