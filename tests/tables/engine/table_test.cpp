// Behaviour of one table through the engine's cursor: creating, writing every field type,
// navigation by tags, editing and its locks, filters, ranges and pack.
#include "tables/engine/table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tables/engine/error.h"

namespace fs = std::filesystem;
using namespace pulpex::engine;

namespace {

class TableTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pulpex-table-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    std::vector<std::uint8_t> bytes(const std::string& file) const {
        std::ifstream in(path(file), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // A ZDARZ-like table with every field type of new tables.
    void createEvents() {
        Table::create(path("ZDARZ.DBF"),
                      {{"ID", FieldType::Integer},
                       {"ZD_NMR", FieldType::String, 25},
                       {"ZD_DAT", FieldType::Date},
                       {"ZD_POL", FieldType::Boolean},
                       {"ZD_GODZ", FieldType::Time},
                       {"ZD_KIEDY", FieldType::DateTime},
                       {"ZD_TRE", FieldType::Memo, 10},
                       {"ZD_RYS", FieldType::Graphic, 10},
                       {"ZD_LP", FieldType::AutoInc}},
                      {{"ZDARZ_ID", "ID"},
                       {"ZD_NMR", "ZD_NMR", false, true},
                       {"ZD_DAT", "dtos(ZD_DAT)+str(ID)", true, false}});
    }

    void add(Table& t, int id, const std::string& nmr, Date date) {
        t.append();
        t.setInteger("ID", id);
        t.setString("ZD_NMR", nmr);
        t.setDate("ZD_DAT", date);
        t.post();
    }

    std::vector<std::int64_t> ids(Table& t) {
        std::vector<std::int64_t> r;
        for (t.first(); !t.eof(); t.next()) r.push_back(t.asInteger("ID"));
        return r;
    }

    std::string dir;
};

TEST_F(TableTest, NewTableUsesDBaseIVLayoutAndTypeMapping) {
    createEvents();
    auto h = bytes("ZDARZ.DBF");
    ASSERT_GE(h.size(), 32u + 9 * 32 + 1);
    EXPECT_EQ(h[0], 0x8B);   // dBase IV with memo
    EXPECT_EQ(h[28], 1);     // production index
    EXPECT_EQ(h[29], 0xC8);  // CP1250
    EXPECT_TRUE(fs::exists(path("ZDARZ.DBT")));
    EXPECT_TRUE(fs::exists(path("ZDARZ.MDX")));
    auto t = Table::open(path("zdarz.dbf"));  // any case finds the file
    std::vector<std::tuple<std::string, char, int>> want = {
        {"ID", 'N', 11},     {"ZD_NMR", 'C', 25}, {"ZD_DAT", 'D', 8},
        {"ZD_POL", 'L', 1},  {"ZD_GODZ", 'C', 11}, {"ZD_KIEDY", 'C', 30},
        {"ZD_TRE", 'M', 10}, {"ZD_RYS", 'B', 10}, {"ZD_LP", 'N', 11}};
    ASSERT_EQ(t->fields().size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(t->fields()[i].name, std::get<0>(want[i]));
        EXPECT_EQ(t->fields()[i].dbfType, std::get<1>(want[i]));
        EXPECT_EQ(t->fields()[i].size, std::get<2>(want[i]));
    }
    ASSERT_EQ(t->tags().size(), 3u);
    EXPECT_TRUE(t->tags()[1].nocase);
    EXPECT_TRUE(t->tags()[2].descending);
    EXPECT_THROW(createEvents(), EDatabaseError);  // exists already
}

TEST_F(TableTest, EveryFieldTypeRoundTrips) {
    createEvents();
    const std::string longText(3000, 'x');
    std::vector<std::byte> blob = {std::byte{0}, std::byte{1}, std::byte{0xFF}, std::byte{0}};
    {
        auto t = Table::open(path("ZDARZ.DBF"));
        t->append();
        t->setInteger("ID", 1);
        t->setString("ZD_NMR", "Zażółć gęślą jaźń ŁÓDŹ");
        t->setDate("ZD_DAT", {2024, 3, 5});
        t->setBoolean("ZD_POL", true);
        t->setText("ZD_GODZ", "12:30:00");
        t->setDateTime("ZD_KIEDY", {{2024, 3, 5}, 12, 30, 15, 0});
        t->setString("ZD_TRE", "Treść pisma\r\nz dwoma wierszami " + longText);
        t->writeBlob("ZD_RYS", blob);
        t->post();
        t->append();
        t->setInteger("ID", 2);
        t->post();
    }
    auto t = Table::open(path("ZDARZ.DBF"));
    t->first();
    EXPECT_EQ(t->asInteger("ID"), 1);
    EXPECT_EQ(t->asString("ZD_NMR"), "Zażółć gęślą jaźń ŁÓDŹ");
    EXPECT_EQ(t->asDate("ZD_DAT"), (Date{2024, 3, 5}));
    EXPECT_EQ(t->asBoolean("ZD_POL"), true);
    EXPECT_EQ(t->asString("ZD_GODZ"), "12:30:00");
    EXPECT_EQ(t->asDateTime("ZD_KIEDY"), (DateTime{{2024, 3, 5}, 12, 30, 15, 0}));
    EXPECT_EQ(t->asString("ZD_TRE"), "Treść pisma\r\nz dwoma wierszami " + longText);
    EXPECT_EQ(t->readBlob("ZD_RYS"), blob);
    EXPECT_EQ(t->asText("ZD_POL"), "T");
    EXPECT_EQ(t->asText("ZD_DAT"), "2024-03-05");
    t->next();
    EXPECT_EQ(t->asInteger("ID"), 2);
    EXPECT_TRUE(t->isNull("ZD_DAT"));
    EXPECT_FALSE(t->asBoolean("ZD_POL").has_value());
    EXPECT_EQ(t->asText("ZD_POL"), "");
    EXPECT_TRUE(t->readBlob("ZD_TRE").empty());
    EXPECT_EQ(t->asString("ZD_NMR"), "");
}

TEST_F(TableTest, BadValuesAreRefusedNamingTheField) {
    createEvents();
    auto t = Table::open(path("ZDARZ.DBF"));
    t->append();
    try {
        t->setString("ZD_NMR", "Cena 5 € — ж");
        FAIL() << "Cyrillic has no CP1250 byte";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("ZD_NMR"), std::string::npos) << e.what();
    }
    EXPECT_THROW(t->setText("ID", "abc"), EDatabaseError);
    EXPECT_THROW(t->setText("ZD_DAT", "2024-02-30"), EDatabaseError);
    EXPECT_THROW(t->setInteger("ID", 123456789012LL), EDatabaseError);
    // Too long text is cut to the field.
    t->setString("ZD_NMR", std::string(40, 'A'));
    t->post();
    EXPECT_EQ(t->asString("ZD_NMR"), std::string(25, 'A'));
    EXPECT_THROW(t->setInteger("ID", 1), EDatabaseError);  // not in edit mode
}

TEST_F(TableTest, TagsOrderRowsAndFindKeys) {
    createEvents();
    auto t = Table::open(path("ZDARZ.DBF"));
    add(*t, 3, "c-3", {2024, 1, 2});
    add(*t, 1, "B-1", {2024, 1, 3});
    add(*t, 7, "a-7", {2024, 1, 1});
    add(*t, 2, "łódź", {2024, 1, 3});
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{3, 1, 7, 2}));  // physical order
    t->setIndex("zdarz_id");
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 2, 3, 7}));
    t->setIndex("ZD_NMR");  // case-insensitive tag: a, B, c, ł
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{7, 1, 3, 2}));
    t->setIndex("ZD_DAT");  // descending by date then id
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{2, 1, 3, 7}));

    t->setIndex("ZDARZ_ID");
    EXPECT_TRUE(t->findKey(std::int64_t{3}));
    EXPECT_EQ(t->asString("ZD_NMR"), "c-3");
    EXPECT_FALSE(t->findKey(std::int64_t{5}));
    EXPECT_EQ(t->asInteger("ID"), 3);  // unchanged on failure
    EXPECT_TRUE(t->findNearest(std::int64_t{4}));
    EXPECT_EQ(t->asInteger("ID"), 7);
    EXPECT_FALSE(t->findNearest(std::int64_t{8}));
    EXPECT_TRUE(t->eof());

    t->setIndex("ZD_NMR");
    EXPECT_TRUE(t->findKey(std::string("b-1")));  // the tag ignores case
    EXPECT_EQ(t->asInteger("ID"), 1);
    EXPECT_TRUE(t->findNearest(std::string("ŁÓ")));  // type-to-search prefix
    EXPECT_EQ(t->asInteger("ID"), 2);

    // Navigation flags.
    t->setIndex("ZDARZ_ID");
    t->last();
    EXPECT_EQ(t->asInteger("ID"), 7);
    t->next();
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->asInteger("ID"), 7);  // stays on the last row
    t->first();
    t->prior();
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->asInteger("ID"), 1);
    Bookmark b = t->bookmark();
    t->last();
    t->gotoBookmark(b);
    EXPECT_EQ(t->asInteger("ID"), 1);
    t->next();
    EXPECT_EQ(t->asInteger("ID"), 2);  // index order continues from the bookmark
    EXPECT_EQ(t->recordCount(), 4u);
}

TEST_F(TableTest, EditMovesKeysAndCancelKeepsOldContent) {
    createEvents();
    auto t = Table::open(path("ZDARZ.DBF"));
    add(*t, 1, "A", {2024, 1, 1});
    add(*t, 2, "B", {2024, 1, 1});
    t->setIndex("ZDARZ_ID");
    ASSERT_TRUE(t->findKey(std::int64_t{1}));
    t->edit();
    t->setString("ZD_TRE", "pierwsza treść");
    t->post();
    t->edit();
    t->setString("ZD_TRE", "druga treść");
    t->setInteger("ID", 9);
    t->cancel();
    EXPECT_EQ(t->asString("ZD_TRE"), "pierwsza treść");
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 2}));

    ASSERT_TRUE(t->findKey(std::int64_t{1}));
    t->edit();
    t->setInteger("ID", 9);
    t->post();
    EXPECT_EQ(t->asInteger("ID"), 9);
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{2, 9}));
    EXPECT_FALSE(t->findKey(std::int64_t{1}));
    EXPECT_TRUE(t->check(false).problems.empty());
}

TEST_F(TableTest, RecordLocksExcludeOtherCursors) {
    createEvents();
    auto a = Table::open(path("ZDARZ.DBF"));
    add(*a, 1, "A", {});
    auto b = Table::open(path("ZDARZ.DBF"));
    b->first();
    a->first();
    a->edit();
    EXPECT_THROW(b->edit(), EDatabaseError);
    a->cancel();
    b->edit();  // free again
    EXPECT_THROW(a->edit(), EDatabaseError);
    {
        auto c = Table::open(path("ZDARZ.DBF"));  // opening and closing a third keeps b's lock
    }
    EXPECT_THROW(a->edit(), EDatabaseError);
    b->post();
    EXPECT_NO_THROW(a->edit());
    a->post();

    EXPECT_THROW(Table::open(path("ZDARZ.DBF"), {.exclusive = true}), EDatabaseError);
    a.reset();
    b.reset();
    auto x = Table::open(path("ZDARZ.DBF"), {.exclusive = true});
    EXPECT_THROW(Table::open(path("ZDARZ.DBF")), EDatabaseError);
}

TEST_F(TableTest, CursorsSeeOtherCursorsChanges) {
    createEvents();
    auto reader = Table::open(path("ZDARZ.DBF"));
    reader->setIndex("ZDARZ_ID");
    EXPECT_TRUE(reader->eof());
    auto writer = Table::open(path("ZDARZ.DBF"));
    for (int i = 1; i <= 500; ++i) add(*writer, i, "N" + std::to_string(i), {});
    EXPECT_EQ(ids(*reader).size(), 500u);
    ASSERT_TRUE(reader->findKey(std::int64_t{250}));
    writer->setIndex("ZDARZ_ID");
    ASSERT_TRUE(writer->findKey(std::int64_t{251}));
    writer->deleteRecord();
    reader->next();
    EXPECT_EQ(reader->asInteger("ID"), 252);
    ASSERT_TRUE(writer->findKey(std::int64_t{252}));
    writer->edit();
    writer->setString("ZD_NMR", "zmienione");
    writer->post();
    EXPECT_EQ(reader->asString("ZD_NMR"), "zmienione");
    EXPECT_EQ(reader->recordCount(), 499u);
}

TEST_F(TableTest, DeletedRowsAreHiddenAndPackRemovesThem) {
    createEvents();
    auto t = Table::open(path("ZDARZ.DBF"), {.exclusive = true});
    for (int i = 1; i <= 6; ++i) {
        t->append();
        t->setInteger("ID", i);
        t->setString("ZD_TRE", "treść " + std::to_string(i));
        t->post();
    }
    t->setIndex("ZDARZ_ID");
    for (int id : {2, 4, 6}) {
        ASSERT_TRUE(t->findKey(std::int64_t{id}));
        t->deleteRecord();
    }
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 3, 5}));
    t->setIndex("");
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 3, 5}));
    auto memoBefore = fs::file_size(path("ZDARZ.DBT"));
    t->pack();
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 3, 5}));
    EXPECT_LT(fs::file_size(path("ZDARZ.DBT")), memoBefore);
    t->first();
    t->next();
    EXPECT_EQ(t->asString("ZD_TRE"), "treść 3");
    EXPECT_EQ(t->recno(), 2u);
    EXPECT_TRUE(t->check(false).problems.empty());
}

TEST_F(TableTest, FiltersAndRanges) {
    Table::create(path("ALARM.DBF"),
                  {{"ID", FieldType::Integer},
                   {"ALR_DAT", FieldType::Date},
                   {"ALR_CDZ", FieldType::Boolean},
                   {"ALR_TXT", FieldType::String, 20}},
                  {{"ALR_ID", "ID"}, {"ALR_DAT", "ALR_DAT"}});
    auto t = Table::open(path("ALARM.DBF"));
    struct R {
        int id;
        Date d;
        bool daily;
    };
    for (R r : {R{1, {2024, 3, 5}, false}, R{2, {2024, 3, 6}, true}, R{3, {2024, 3, 5}, false},
                R{4, {2024, 3, 7}, false}, R{5, {2024, 3, 8}, true}}) {
        t->append();
        t->setInteger("ID", r.id);
        t->setDate("ALR_DAT", r.d);
        t->setBoolean("ALR_CDZ", r.daily);
        t->setString("ALR_TXT", "alarm " + std::to_string(r.id));
        t->post();
    }
    t->setFilter("ID = 3");
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{3}));
    t->setFilter("ALR_DAT=2024-03-05 or ALR_CDZ = 'TRUE' ");
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 2, 3, 5}));
    EXPECT_EQ(t->recordCount(), 4u);
    t->setRecordFilter([](Cursor& c) { return c.asInteger("ID") % 2 == 1; });
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{1, 3, 5}));
    t->setFiltered(false);
    EXPECT_EQ(ids(*t).size(), 5u);
    t->setFiltered(true);
    t->setFilter("");
    t->setRecordFilter(nullptr);

    t->setIndex("ALR_DAT");
    t->setRange({Date{2024, 3, 6}}, {Date{2024, 3, 7}});
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{2, 4}));
    t->last();
    EXPECT_EQ(t->asInteger("ID"), 4);
    t->setRange({Date{2024, 3, 7}}, {std::monostate{}});
    EXPECT_EQ(ids(*t), (std::vector<std::int64_t>{4, 5}));
    t->setRange({Date{2024, 3, 5}}, {Date{2024, 3, 5}});
    EXPECT_EQ(t->recordCount(), 2u);
    t->cancelRange();
    EXPECT_EQ(t->recordCount(), 5u);
    EXPECT_TRUE(t->locate("ALR_TXT", std::string("ALARM 4"), true));
    EXPECT_EQ(t->asInteger("ID"), 4);
    EXPECT_FALSE(t->locate("ALR_TXT", std::string("ALARM 4")));
    EXPECT_THROW(t->setFilter("ID = = 3"), EDatabaseError);
}

TEST_F(TableTest, RenameRemoveAndEmpty) {
    createEvents();
    {
        auto t = Table::open(path("ZDARZ.DBF"));
        add(*t, 1, "A", {});
    }
    Table::rename(path("ZDARZ.DBF"), path("restr.dbf"));
    EXPECT_FALSE(fs::exists(path("ZDARZ.DBF")));
    {
        auto t = Table::open(path("RESTR.DBF"), {.exclusive = true});
        EXPECT_EQ(t->recordCount(), 1u);
        t->empty();
        EXPECT_EQ(t->recordCount(), 0u);
        EXPECT_TRUE(t->eof() && t->bof());
        add(*t, 5, "B", {});
        t->setIndex("ZDARZ_ID");
        EXPECT_TRUE(t->findKey(std::int64_t{5}));
    }
    Table::remove(path("restr.dbf"));
    EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
