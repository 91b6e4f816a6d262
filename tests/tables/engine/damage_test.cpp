// Damaged files: what a crash leaves behind is repaired on open, anything else malformed in a
// table, memo or index file gives EDatabaseError and never a crash, and a damaged index can be
// rebuilt. A mutation loop flips random bytes of every file of a table and reads everything.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tables/engine/error.h"
#include "tables/engine/table.h"

namespace fs = std::filesystem;
using namespace pulpex::engine;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.good()) throw std::runtime_error("cannot write " + path);
}

// Changes bytes in place (no truncation), as another process writing into an open file would.
void patchFile(const std::string& path, std::size_t at, const Bytes& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f.good()) throw std::runtime_error("cannot patch " + path);
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string memoText(int id) {
    std::string s = "Notatka " + std::to_string(id) + ": zażółć gęślą jaźń. ";
    for (int i = 0; i < id % 4; ++i)
        s += std::string(300, static_cast<char>('a' + i));
    return s;
}

// Reads every field of every row in physical order, and the rows through every tag in both
// directions; returns the rows seen physically. Lets EDatabaseError through.
std::size_t readEverything(Table& t) {
    std::size_t rows = 0;
    t.setIndex("");
    for (t.first(); !t.eof(); t.next()) {
        for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) {
            (void)t.isNull(f);
            (void)t.asText(f);
        }
        ++rows;
    }
    for (const auto& tag : t.tags()) {
        t.setIndex(tag.name);
        std::size_t n = 0;
        for (t.first(); !t.eof() && n <= rows + 1; t.next(), ++n)
            (void)t.asText(0);
        for (t.last(); !t.bof() && n > 0; t.prior(), --n)
            (void)t.asText(1);
        (void)t.findKey(Value{std::int64_t{3}});
        (void)t.findNearest(Value{std::string("N")});
    }
    (void)t.recordCount();
    (void)t.check(false);
    return rows;
}

const char* reasonName(EDatabaseError::Reason r) {
    switch (r) {
        case EDatabaseError::Reason::General:
            return "General";
        case EDatabaseError::Reason::NotFound:
            return "NotFound";
        case EDatabaseError::Reason::Locked:
            return "Locked";
        case EDatabaseError::Reason::Damaged:
            return "Damaged";
        case EDatabaseError::Reason::BadValue:
            return "BadValue";
    }
    return "?";
}

class DamageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pulpex-damage-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        table = dir + "/DANE.DBF";
        memo = dir + "/DANE.DBT";
        index = dir + "/DANE.MDX";
    }
    void TearDown() override { fs::remove_all(dir); }

    // DANE: ID, NAZWA, TRESC (memo), AKT, DATA with tags ID and NAZWA.
    void create(int rows, bool withIndex = true) {
        Table::create(table,
                      {{"ID", FieldType::Integer},
                       {"NAZWA", FieldType::String, 20},
                       {"TRESC", FieldType::Memo, 10},
                       {"AKT", FieldType::Boolean},
                       {"DATA", FieldType::Date}},
                      withIndex ? std::vector<IndexDef>{{"ID", "ID"}, {"NAZWA", "upper(NAZWA)"}}
                                : std::vector<IndexDef>{});
        auto t = Table::open(table);
        for (int i = 1; i <= rows; ++i)
            addRow(*t, i);
    }
    static void addRow(Table& t, int id) {
        t.append();
        t.setInteger("ID", id);
        t.setString("NAZWA", "Nazwa " + std::to_string(id));
        if (id % 2 == 1) t.setString("TRESC", memoText(id));
        t.setBoolean("AKT", id % 3 == 0);
        t.setDate("DATA", {2024, 1 + id % 12, 1 + id % 28});
        t.post();
    }

    Bytes dbf() const { return readFile(table); }

    // Five rows, the fifth missing from every tag, as table bytes (the file itself keeps the
    // fifth deleted). Built with the engine: deleting row 5 takes it out of the tags, then its
    // deletion flag is put back.
    Bytes fiveRowsTheTagsLackTheLastOf() {
        create(5);
        {
            auto t = Table::open(table);
            t->gotoRecno(5);
            t->deleteRecord();
        }
        Bytes b = dbf();
        const std::size_t rec5 = headerLength() + 4 * recordLength();
        EXPECT_EQ(b[rec5], '*');
        b[rec5] = ' ';
        return b;
    }
    std::size_t headerLength() const { return le16(dbf(), 8); }
    std::size_t recordLength() const { return le16(dbf(), 10); }
    std::uint32_t headerCount() const { return le32(dbf(), 4); }

    // The IDs through a tag, each row checked against its ID.
    std::vector<std::int64_t> idsThrough(Table& t, const std::string& tag) {
        t.setIndex(tag);
        std::vector<std::int64_t> r;
        for (t.first(); !t.eof(); t.next()) {
            const auto id = t.asInteger("ID");
            EXPECT_EQ(t.asString("NAZWA"), "Nazwa " + std::to_string(id));
            EXPECT_EQ(t.asString("TRESC"), id % 2 == 1 ? memoText(static_cast<int>(id)) : "");
            r.push_back(id);
            if (r.size() > 10000) break;
        }
        return r;
    }

    std::string dir, table, memo, index;
};

std::vector<std::int64_t> iota(int from, int to) {
    std::vector<std::int64_t> r;
    for (int i = from; i <= to; ++i)
        r.push_back(i);
    return r;
}

// --- What a crash leaves

TEST_F(DamageTest, PartlyWrittenLastRecordIsCutOffOnOpen) {
    create(4);
    const std::size_t hlen = headerLength(), rlen = recordLength();
    // A fifth record that was being written when the program died: 7 bytes, header still 4.
    Bytes b = dbf();
    ASSERT_EQ(b.size(), hlen + 4 * rlen + 1);
    b.pop_back();
    b.insert(b.end(), {' ', ' ', ' ', ' ', ' ', ' ', '5'});
    writeFile(table, b);

    // Read-only opens read the sound rows and leave the file alone.
    {
        auto r = Table::open(table, {.readOnly = true});
        EXPECT_EQ(r->recordCount(), 4u);
        EXPECT_EQ(idsThrough(*r, ""), iota(1, 4));
    }
    EXPECT_EQ(fs::file_size(table), b.size());

    auto t = Table::open(table);
    EXPECT_EQ(fs::file_size(table), hlen + 4 * rlen + 1);
    EXPECT_EQ(dbf().back(), 0x1A);
    EXPECT_EQ(headerCount(), 4u);
    EXPECT_EQ(idsThrough(*t, ""), iota(1, 4));
    EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 4));
    addRow(*t, 5);
    EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 5));
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

TEST_F(DamageTest, RecordCutShortUnderACountingHeaderIsCutOffAndItsIndexEntriesGo) {
    // Another program updated the header before it finished writing the record.
    create(5);
    const std::size_t hlen = headerLength(), rlen = recordLength();
    fs::resize_file(table, hlen + 4 * rlen + 9);
    {
        auto t = Table::open(table);
        EXPECT_EQ(fs::file_size(table), hlen + 4 * rlen + 1);
        EXPECT_EQ(headerCount(), 4u);
        EXPECT_EQ(t->recordCount(), 4u);
        EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 4));
        // The slot of the lost record is used again; the tags must not show the old entry.
        t->append();
        t->setInteger("ID", 50);
        t->setString("NAZWA", "Nazwa 50");
        t->post();
        EXPECT_EQ(idsThrough(*t, "ID"), (std::vector<std::int64_t>{1, 2, 3, 4, 50}));
        EXPECT_EQ(idsThrough(*t, "NAZWA"), (std::vector<std::int64_t>{1, 2, 3, 4, 50}));
    }
    auto t = Table::open(table);
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

TEST_F(DamageTest, LaggingHeaderCountIsRepairedOnOpen) {
    create(5);
    const std::size_t size = fs::file_size(table);
    Bytes b = dbf();
    put32(b, 4, 3);
    writeFile(table, b);
    {
        auto t = Table::open(table);
        EXPECT_EQ(fs::file_size(table), size);
        EXPECT_EQ(headerCount(), 5u);
        EXPECT_EQ(t->recordCount(), 5u);
        EXPECT_EQ(idsThrough(*t, ""), iota(1, 5));
        EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 5));
        addRow(*t, 6);
    }
    EXPECT_EQ(headerCount(), 6u);
    auto t = Table::open(table);
    EXPECT_EQ(idsThrough(*t, ""), iota(1, 6));
    EXPECT_TRUE(t->check(false).problems.empty());
}

TEST_F(DamageTest, RecordWrittenBeforeTheCrashIsFoundThroughTheTagsToo) {
    // The program died after writing record 5 and before counting it in the header (and so
    // before adding it to the index): the repaired count makes it a row, so every tag must show
    // it.
    Bytes b = fiveRowsTheTagsLackTheLastOf();
    put32(b, 4, 4);
    writeFile(table, b);

    auto t = Table::open(table);
    EXPECT_EQ(headerCount(), 5u);
    EXPECT_EQ(idsThrough(*t, ""), iota(1, 5));
    EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 5));
    EXPECT_EQ(idsThrough(*t, "NAZWA").size(), 5u);
    EXPECT_EQ(t->recordCount(), 5u);
    t->setIndex("ID");
    EXPECT_TRUE(t->findKey(Value{std::int64_t{5}}));
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

TEST_F(DamageTest, CountedRowMissingFromTheTagsIsAddedByTheNextWriteOpen) {
    // The writer died after the header counted row 5 and before the tags had it (older versions
    // wrote the count first).
    writeFile(table, fiveRowsTheTagsLackTheLastOf());
    {
        auto r = Table::open(table, {.readOnly = true});
        EXPECT_EQ(idsThrough(*r, "ID"), iota(1, 4)) << "the damage was not reproduced";
    }
    auto t = Table::open(table);
    EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 5));
    EXPECT_EQ(idsThrough(*t, "NAZWA").size(), 5u);
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

TEST_F(DamageTest, UncountedRowOfACrashedAppendIsKeptWhenTheNextAppendComes) {
    // A writer died after the row and its entries, before the count; the table stayed open
    // elsewhere, so no open repaired it. The next append must not overwrite that row under its
    // entries.
    create(4);
    auto t = Table::open(table);
    {
        auto other = Table::open(table);
        addRow(*other, 5);
    }
    Bytes b = dbf();
    put32(b, 4, 4);
    patchFile(table, 4, {b.begin() + 4, b.begin() + 8});
    addRow(*t, 6);
    t.reset();
    auto r = Table::open(table);
    EXPECT_EQ(idsThrough(*r, ""), iota(1, 6));
    EXPECT_EQ(idsThrough(*r, "ID"), iota(1, 6));
    auto report = r->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

// --- Malformed table headers

TEST_F(DamageTest, DamagedHeaderOfAnIndexedTableGivesDatabaseErrorsOnEveryOpen) {
    create(3);
    const Bytes good = dbf(), goodIndex = readFile(index);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        bool repairable;  // an open with repairIndex puts it right
    };
    const std::vector<Case> cases = {
        {"record count 0xFFFFFFFF", [](Bytes& b) { put32(b, 4, 0xFFFFFFFFu); }, true},
        {"record count 0x80000000", [](Bytes& b) { put32(b, 4, 0x80000000u); }, true},
        {"record count two beyond the rows", [](Bytes& b) { put32(b, 4, 5); }, true},
        {"record length 0xFFFF", [](Bytes& b) { put16(b, 10, 0xFFFF); }, false},
        {"header length 0xFFFF", [](Bytes& b) { put16(b, 8, 0xFFFF); }, false},
        {"header length zero", [](Bytes& b) { put16(b, 8, 0); }, false},
        {"version zero", [](Bytes& b) { b[0] = 0; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good;
        c.damage(b);
        writeFile(table, b);
        writeFile(index, goodIndex);
        for (bool exclusive : {false, true}) {
            try {
                auto t = Table::open(table, {.exclusive = exclusive});
                ADD_FAILURE() << "a writable open accepted the header";
            } catch (const EDatabaseError& e) {
                EXPECT_STREQ(reasonName(e.reason()), "Damaged") << e.what();
            }
            EXPECT_EQ(readFile(table), b) << "a refused open changed the file";
        }
        try {
            auto t = Table::open(table, {.readOnly = true});
            EXPECT_EQ(readEverything(*t), 3u);
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(reasonName(e.reason()), "Damaged") << e.what();
        }
        try {
            auto t = Table::open(table, {.exclusive = true, .repairIndex = true});
            EXPECT_TRUE(c.repairable) << "opened";
            t->check(true);
            EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 3));
            EXPECT_TRUE(t->check(false).problems.empty());
            EXPECT_EQ(headerCount(), 3u);
        } catch (const EDatabaseError& e) {
            EXPECT_FALSE(c.repairable) << e.what();
        }
    }
}

TEST_F(DamageTest, MalformedHeadersGiveDatabaseErrors) {
    const Bytes good = [&] {
        // Without memo fields, so that only the table file matters.
        Table::create(table, {{"ID", FieldType::Integer},
                              {"NAZWA", FieldType::String, 20},
                              {"AKT", FieldType::Boolean},
                              {"DATA", FieldType::Date}});
        auto t = Table::open(table);
        for (int i = 1; i <= 3; ++i) {
            t->append();
            t->setInteger("ID", i);
            t->post();
        }
        return dbf();
    }();
    const std::size_t d0 = 32, d1 = 64, d2 = 96, d3 = 128;  // descriptors
    ASSERT_EQ(good[d3 + 11], 'D');
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    };
    const std::vector<Case> cases = {
        {"empty file", [](Bytes& b) { b.clear(); }},
        {"shorter than the fixed header", [](Bytes& b) { b.resize(10); }},
        {"only the fixed header", [](Bytes& b) { b.resize(32); }},
        {"unknown version", [](Bytes& b) { b[0] = 0x42; }},
        {"header length beyond the file", [](Bytes& b) { put16(b, 8, 0xFFF0); }},
        {"header length under one descriptor", [](Bytes& b) { put16(b, 8, 20); }},
        {"header length cutting a descriptor", [](Bytes& b) { put16(b, 8, 32 + 32 + 16); }},
        {"record length longer than the fields",
         [&](Bytes& b) { put16(b, 10, le16(good, 10) + 1); }},
        {"record length shorter than the fields",
         [&](Bytes& b) { put16(b, 10, le16(good, 10) - 1); }},
        {"record length zero", [](Bytes& b) { put16(b, 10, 0); }},
        {"record length one", [](Bytes& b) { put16(b, 10, 1); }},
        {"no fields",
         [](Bytes& b) {
             b[32] = 0x0D;
             put16(b, 8, 33);
             put16(b, 10, 1);
         }},
        {"logical field of 5 bytes", [&](Bytes& b) { b[d2 + 16] = 5; }},
        {"date field of 4 bytes", [&](Bytes& b) { b[d3 + 16] = 4; }},
        {"numeric field of 0 bytes", [&](Bytes& b) { b[d0 + 16] = 0; }},
        {"numeric field of 200 bytes", [&](Bytes& b) { b[d0 + 16] = 200; }},
        {"character field of 0 bytes", [&](Bytes& b) { b[d1 + 16] = 0; }},
        {"decimals not under the size", [&](Bytes& b) { b[d0 + 17] = 11; }},
        {"unknown field type", [&](Bytes& b) { b[d1 + 11] = 'X'; }},
        {"field without a name", [&](Bytes& b) { std::memset(&b[d1], 0, 11); }},
        {"repeated field name", [&](Bytes& b) { std::memcpy(&b[d1], &b[d0], 11); }},
        {"memo field without a memo file",
         [&](Bytes& b) {
             b[d1 + 11] = 'M';
             b[d1 + 16] = 10;
             put16(b, 10, le16(good, 10) - 10);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good;
        c.damage(b);
        writeFile(table, b);
        const bool missingMemo = std::string(c.what) == "memo field without a memo file";
        for (bool readOnly : {false, true}) {
            try {
                auto t = Table::open(table, {.readOnly = readOnly});
                ADD_FAILURE() << "opened (readOnly " << readOnly << ")";
            } catch (const EDatabaseError& e) {
                EXPECT_STREQ(reasonName(e.reason()), missingMemo ? "NotFound" : "Damaged")
                    << e.what();
            }
        }
        // A refused file is left as it was.
        EXPECT_EQ(readFile(table), b);
    }
}

// --- Malformed memo pointers and memo files

TEST_F(DamageTest, MalformedMemoPointersGiveDatabaseErrorsOnTheirRowOnly) {
    create(3, false);
    const std::size_t hlen = headerLength();
    const std::size_t memoField = 1 + 11 + 20;  // offset of TRESC in a record
    const Bytes good = dbf();
    const Bytes goodMemo = readFile(memo);
    // Block of row 1's memo.
    const std::string ptr(good.begin() + static_cast<long>(hlen + memoField),
                          good.begin() + static_cast<long>(hlen + memoField + 10));
    const std::size_t block = std::stoul(ptr);
    ASSERT_GT(block, 0u);

    struct Case {
        const char* what;
        std::function<void(Bytes& table, Bytes& memo)> damage;
    };
    auto setPointer = [&](Bytes& b, const char* text) {
        std::memcpy(&b[hlen + memoField], text, 10);
    };
    const std::vector<Case> cases = {
        {"pointer beyond the memo file", [&](Bytes& b, Bytes&) { setPointer(b, "     99999"); }},
        {"largest pointer", [&](Bytes& b, Bytes&) { setPointer(b, "9999999999"); }},
        {"letters in the pointer", [&](Bytes& b, Bytes&) { setPointer(b, "      12ab"); }},
        {"blank inside the pointer", [&](Bytes& b, Bytes&) { setPointer(b, "     1 2  "); }},
        {"negative pointer", [&](Bytes& b, Bytes&) { setPointer(b, "        -1"); }},
        {"block length under its header", [&](Bytes&, Bytes& m) { put32(m, block * 512 + 4, 3); }},
        {"block length beyond the file",
         [&](Bytes&, Bytes& m) { put32(m, block * 512 + 4, 0x7FFFFFF0); }},
        {"block length of 4 GB", [&](Bytes&, Bytes& m) { put32(m, block * 512 + 4, 0xFFFFFFFF); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good, m = goodMemo;
        c.damage(b, m);
        writeFile(table, b);
        writeFile(memo, m);
        auto t = Table::open(table);
        t->first();
        try {
            (void)t->readBlob("TRESC");
            ADD_FAILURE() << "read a damaged memo";
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(reasonName(e.reason()), "Damaged") << e.what();
        }
        EXPECT_THROW(t->asString("TRESC"), EDatabaseError);
        EXPECT_EQ(t->asInteger("ID"), 1);  // the rest of the row reads
        EXPECT_EQ(t->asString("NAZWA"), "Nazwa 1");
        t->last();
        EXPECT_EQ(t->asString("TRESC"), memoText(3));
        auto report = t->check(false);
        EXPECT_FALSE(report.problems.empty());
    }
}

TEST_F(DamageTest, MalformedMemoFilesGiveDatabaseErrors) {
    create(3, false);
    const Bytes goodMemo = readFile(memo);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    };
    const std::vector<Case> cases = {
        {"empty memo file", [](Bytes& m) { m.clear(); }},
        {"memo header cut short", [](Bytes& m) { m.resize(12); }},
        {"block size 1", [](Bytes& m) { put16(m, 20, 1); }},
        {"memo blocks cut off", [](Bytes& m) { m.resize(512 + 3); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes m = goodMemo;
        c.damage(m);
        writeFile(memo, m);
        try {
            auto t = Table::open(table);
            std::size_t rows = 0;
            for (t->first(); !t->eof(); t->next(), ++rows)
                (void)t->asString("TRESC");
            ADD_FAILURE() << "read " << rows << " rows with their memos";
        } catch (const EDatabaseError&) {
        }
    }
    fs::remove(memo);
    EXPECT_THROW(Table::open(table), EDatabaseError);
}

TEST_F(DamageTest, WildNextFreeBlockInTheMemoHeaderDoesNotBlowUpTheMemoFile) {
    // The next-free-block number of a damaged memo header may point far beyond the file; a
    // write must still go to the end of the file (the blocks beyond it cannot be in use), not
    // make a file of a terabyte full of holes whose zeros a damaged pointer would then read.
    create(3, false);
    Bytes m = readFile(memo);
    const std::size_t before = m.size();
    put32(m, 0, 0x78787878);
    writeFile(memo, m);
    {
        auto t = Table::open(table);
        t->first();
        t->edit();
        t->setString("TRESC", "Nowa treść po uszkodzeniu");
        t->post();
        EXPECT_EQ(t->asString("TRESC"), "Nowa treść po uszkodzeniu");
        t->last();
        EXPECT_EQ(t->asString("TRESC"), memoText(3));
    }
    EXPECT_LE(fs::file_size(memo), before + 2 * 512);
}

// --- Index files

class IndexDamageTest : public DamageTest {
  protected:
    void SetUp() override {
        DamageTest::SetUp();
        create(40);
        goodIndex = readFile(index);
        ASSERT_GE(goodIndex.size(), 4u * 4096);
    }

    // After a repair: the same tags, each listing every row in order, and a sound check.
    void expectRebuilt(Table& t) {
        EXPECT_TRUE(t.indexRebuilt());
        auto tags = t.tags();
        ASSERT_EQ(tags.size(), 2u);
        EXPECT_EQ(tags[0].name, "ID");
        EXPECT_EQ(tags[1].name, "NAZWA");
        EXPECT_EQ(idsThrough(t, "ID"), iota(1, 40));
        std::vector<std::int64_t> byName = idsThrough(t, "NAZWA");
        EXPECT_EQ(byName.size(), 40u);
        EXPECT_EQ(byName.front(), 1);  // "NAZWA 1" < "NAZWA 10"
        auto report = t.check(false);
        EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
    }

    Bytes goodIndex;
};

TEST_F(IndexDamageTest, UnusableIndexFilesAreRefusedOrRebuilt) {
    // A dBase IV production index as another program writes it: version 2, date, the table's
    // name, block sizes; nothing of ours.
    Bytes foreign(2048, 0);
    foreign[0] = 2;
    foreign[1] = 124;
    foreign[2] = 3;
    foreign[3] = 5;
    std::memcpy(&foreign[4], "DANE", 4);
    put16(foreign, 20, 2);     // block size in 512-byte units
    put16(foreign, 22, 1024);  // block length
    foreign[25] = 48;          // tag slots
    foreign[26] = 32;          // tag slot length
    foreign[28] = 1;           // tags in use
    std::mt19937 rng(7);
    Bytes garbage(goodIndex.size());
    for (auto& x : garbage)
        x = static_cast<std::uint8_t>(rng());

    struct Case {
        const char* what;
        Bytes file;
        bool tagsReadable;  // whether the tag directory survives the damage
    };
    const std::vector<Case> cases = {
        {"garbage", garbage, false},
        {"another program's index", foreign, false},
        {"empty file", {}, false},
        {"cut inside the header", Bytes(goodIndex.begin(), goodIndex.begin() + 100), false},
        {"tree pages cut off", Bytes(goodIndex.begin(), goodIndex.begin() + 3 * 4096), true},
        {"last page in use cut short",
         Bytes(goodIndex.begin(), goodIndex.begin() + le32(goodIndex, 24) * 4096 - 4000), true},
        {"writer died (odd change counter)",
         [&] {
             Bytes b = goodIndex;
             b[16] |= 1;
             return b;
         }(),
         true},
        {"page count beyond the file",
         [&] {
             Bytes b = goodIndex;
             put32(b, 24, 1000);
             return b;
         }(),
         true},
    };
    const Bytes goodTable = dbf();
    auto expectDamaged = [](const std::function<void()>& f) {
        try {
            f();
            ADD_FAILURE() << "opened";
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(reasonName(e.reason()), "Damaged") << e.what();
        }
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(table, goodTable);
        writeFile(index, c.file);
        expectDamaged([&] { Table::open(table); });
        expectDamaged([&] { Table::open(table, {.readOnly = true, .repairIndex = true}); });
        EXPECT_EQ(dbf(), goodTable);
        EXPECT_EQ(readFile(index), c.file);
        if (!c.tagsReadable) {
            // Nothing to rebuild from: refused unless the caller agrees to lose the index.
            expectDamaged([&] { Table::open(table, {.repairIndex = true}); });
            EXPECT_EQ(dbf(), goodTable);
            EXPECT_EQ(readFile(index), c.file);
            try {
                auto t = Table::open(table, {.repairIndex = true, .dropUnreadableIndex = true});
                EXPECT_TRUE(t->indexDropped());
                EXPECT_FALSE(t->indexRebuilt());
                EXPECT_TRUE(t->tags().empty());
                EXPECT_FALSE(t->hasProductionIndex());
                EXPECT_EQ(idsThrough(*t, ""), iota(1, 40));
                EXPECT_TRUE(t->check(false).problems.empty());
                t.reset();
                auto again = Table::open(table);  // a table without an index now
                EXPECT_EQ(again->recordCount(), 40u);
            } catch (const EDatabaseError& e) {
                ADD_FAILURE() << "dropping the index: " << e.what();
            }
            continue;
        }
        try {
            // Rebuilt means the same tags again: dropping them would lose the orders and
            // look-ups the program relies on.
            auto t = Table::open(table, {.repairIndex = true});
            expectRebuilt(*t);
            EXPECT_FALSE(t->indexDropped());
            t.reset();
            auto again = Table::open(table);
            EXPECT_FALSE(again->indexRebuilt());
            EXPECT_EQ(idsThrough(*again, "ID"), iota(1, 40));
        } catch (const EDatabaseError& e) {
            ADD_FAILURE() << "repairing: " << e.what();
        }
    }

    // The index file is missing although the table says it has one.
    writeFile(table, goodTable);
    fs::remove(index);
    EXPECT_THROW(Table::open(table), EDatabaseError);
}

TEST_F(IndexDamageTest, DamagedTreePagesGiveDatabaseErrorsAndCheckRebuildsThem) {
    // Scribble over the tree pages, keeping header and directory.
    Bytes b = goodIndex;
    for (std::size_t i = 3 * 4096 + 16; i < b.size(); i += 7)
        b[i] ^= 0x5A;
    writeFile(index, b);
    {
        try {
            auto t = Table::open(table);
            try {
                readEverything(*t);
            } catch (const EDatabaseError&) {
            }
            auto report = t->check(false);
            EXPECT_FALSE(report.problems.empty());
            // A repair needs the table to itself.
            EXPECT_THROW(t->check(true), EDatabaseError);
        } catch (const EDatabaseError&) {
            // Refusing the damaged index at once is as good.
        }
    }
    auto t = Table::open(table, {.exclusive = true, .repairIndex = true});
    if (!t->indexRebuilt()) {
        auto report = t->check(true);
        EXPECT_FALSE(report.repairs.empty());
    }
    auto tags = t->tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(idsThrough(*t, "ID"), iota(1, 40));
    EXPECT_EQ(idsThrough(*t, "NAZWA").size(), 40u);
    EXPECT_TRUE(t->check(false).problems.empty());
}

TEST_F(IndexDamageTest, FailedRepairLeavesTheFilesAsTheyWere) {
    // The tag list survives (a writer died mid-change), but one tag's expression was damaged
    // into a field the table does not have, so that tag cannot be built again.
    Bytes b = goodIndex;
    b[16] |= 1;
    ASSERT_EQ(std::string(b.begin() + 256 + 32, b.begin() + 256 + 34), "ID");
    b[256 + 32] = 'Q';
    b[256 + 33] = 'Q';
    writeFile(index, b);
    const Bytes goodTable = dbf();
    std::unique_ptr<Table> t;
    try {
        t = Table::open(table, {.repairIndex = true});
    } catch (const EDatabaseError& e) {
        // Refused: then nothing may have changed, and the next open must refuse as well rather
        // than open without the index.
        EXPECT_EQ(dbf(), goodTable) << e.what();
        EXPECT_EQ(readFile(index), b);
        EXPECT_THROW(Table::open(table), EDatabaseError);
        return;
    }
    // Repaired as far as possible: the tag that can be built is there and sound.
    EXPECT_TRUE(t->indexRebuilt());
    bool hasName = false;
    for (const auto& tag : t->tags())
        hasName = hasName || tag.name == "NAZWA";
    EXPECT_TRUE(hasName);
    EXPECT_EQ(idsThrough(*t, "NAZWA").size(), 40u);
    EXPECT_TRUE(t->check(false).problems.empty());
}

TEST_F(IndexDamageTest, RepairWhileOthersHaveTheTableOpenLosesNoneOfTheirChanges) {
    // A user works with the table; its index then shows damage that user's cursor does not
    // meet (a free-page count without a list: only page allocation reads it).
    auto user = Table::open(table);
    user->setIndex("ID");
    user->first();
    patchFile(index, 32, {1, 0, 0, 0});
    // Somebody else opens with repair. Replacing the index file under the first user would leave
    // that user writing into the old, unlinked file.
    try {
        auto repairer = Table::open(table, {.repairIndex = true});
    } catch (const EDatabaseError& e) {
        // Refusing to rebuild while others use the table is sound.
        EXPECT_TRUE(e.reason() == EDatabaseError::Reason::Locked ||
                    e.reason() == EDatabaseError::Reason::Damaged)
            << e.what();
    }
    try {
        addRow(*user, 41);
    } catch (const EDatabaseError&) {
        // Meeting the damage now is acceptable too; what must not happen is a silent loss.
    }
    user.reset();
    std::unique_ptr<Table> t;
    try {
        t = Table::open(table, {.exclusive = true, .repairIndex = true});
    } catch (const EDatabaseError& e) {
        FAIL() << e.what();
    }
    std::vector<std::int64_t> physical = idsThrough(*t, "");
    EXPECT_EQ(idsThrough(*t, "ID"), physical) << "a row is missing from the tags";
    auto report = t->check(false);
    EXPECT_TRUE(report.problems.empty()) << ::testing::PrintToString(report.problems);
}

TEST_F(IndexDamageTest, FailedPostOnADamagedIndexIsNotRepeatedByARetry) {
    auto t = Table::open(table);
    t->append();
    t->setInteger("ID", 99);
    t->setString("NAZWA", "Nazwa 99");
    // Another process dies in the middle of an index change: the counter stays odd.
    Bytes b = readFile(index);
    patchFile(index, 16, {static_cast<std::uint8_t>(b[16] | 1)});
    EXPECT_THROW(t->post(), EDatabaseError);
    try {
        t->post();  // the user presses "save" again
    } catch (const EDatabaseError&) {
    }
    t->cancel();
    t.reset();
    patchFile(index, 16, {static_cast<std::uint8_t>(b[16] & ~1)});

    auto r = Table::open(table, {.exclusive = true});
    int copies = 0;
    for (r->first(); !r->eof(); r->next())
        copies += r->asInteger("ID") == 99;
    EXPECT_LE(copies, 1) << "the failed insert was repeated";
    r->check(true);
    EXPECT_TRUE(r->check(false).problems.empty());
}

// --- Random damage

TEST_F(DamageTest, RandomlyDamagedFilesOnlyEverGiveDatabaseErrors) {
    create(12);
    const Bytes goodTable = dbf(), goodMemo = readFile(memo), goodIndex = readFile(index);
    const std::size_t hlen = headerLength();
    std::mt19937 rng(20240305);
    int opened = 0, refused = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes t = goodTable, m = goodMemo, x = goodIndex;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            switch (rng() % 4) {
                case 0:
                    t[rng() % hlen] ^= static_cast<std::uint8_t>(1 + rng() % 255);
                    break;
                case 1:
                    t[rng() % t.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
                    break;
                case 2:
                    m[rng() % m.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
                    break;
                default:
                    // The index is mostly header and directory for a small table: aim there
                    // half of the time.
                    const std::size_t span = rng() % 2 ? 4096 : x.size();
                    x[rng() % span] ^= static_cast<std::uint8_t>(1 + rng() % 255);
            }
        }
        writeFile(table, t);
        writeFile(memo, m);
        writeFile(index, x);
        const bool repair = round % 3 == 0;
        const bool readOnly = round % 5 == 1;
        SCOPED_TRACE("round " + std::to_string(round));
        try {
            auto tab = Table::open(
                table, {.exclusive = repair, .readOnly = readOnly, .repairIndex = repair});
            ++opened;
            try {
                readEverything(*tab);
            } catch (const EDatabaseError&) {
            }
            if (repair) {
                try {
                    tab->check(true);
                    readEverything(*tab);
                } catch (const EDatabaseError&) {
                }
            } else if (!readOnly) {
                try {
                    tab->first();
                    tab->edit();
                    tab->setString("NAZWA", "Po zmianie");
                    tab->post();
                    addRow(*tab, 99);
                    readEverything(*tab);
                } catch (const EDatabaseError&) {
                }
            }
        } catch (const EDatabaseError&) {
            ++refused;
        }
    }
    // Both outcomes occur, so the loop exercises reading as well as refusing.
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
