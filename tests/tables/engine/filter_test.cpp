#include "tables/engine/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tables/engine/cursor.h"
#include "tables/engine/error.h"

namespace pulpex::engine {
namespace {

// Rows of values behind the Cursor interface, so filters can be tried without table files.
class MemoryCursor final : public Cursor {
  public:
    MemoryCursor(std::vector<FieldInfo> fields, std::vector<std::vector<Value>> rows)
        : fields_(std::move(fields)), rows_(std::move(rows)) {}

    void first() override { pos_ = 0; }
    void last() override { pos_ = rows_.empty() ? 0 : rows_.size() - 1; }
    void next() override { ++pos_; }
    void prior() override { pos_ = pos_ == 0 ? rows_.size() : pos_ - 1; }
    bool eof() const override { return pos_ >= rows_.size(); }
    bool bof() const override { return rows_.empty(); }
    std::uint64_t recordCount() override { return rows_.size(); }
    const std::vector<FieldInfo>& fields() const override { return fields_; }

    bool isNull(int f) override { return std::holds_alternative<std::monostate>(at(f)); }
    std::int64_t asInteger(int f) override {
        if (auto* d = std::get_if<double>(&at(f))) return static_cast<std::int64_t>(*d);
        auto* i = std::get_if<std::int64_t>(&at(f));
        return i ? *i : 0;
    }
    double asFloat(int f) override {
        if (auto* i = std::get_if<std::int64_t>(&at(f))) return static_cast<double>(*i);
        auto* d = std::get_if<double>(&at(f));
        return d ? *d : 0;
    }
    std::string asString(int f) override {
        auto* s = std::get_if<std::string>(&at(f));
        if (!s) return {};
        std::string t = *s;
        while (!t.empty() && t.back() == ' ')
            t.pop_back();
        return t;
    }
    std::optional<bool> asBoolean(int f) override {
        auto* b = std::get_if<bool>(&at(f));
        if (!b) return std::nullopt;
        return *b;
    }
    Date asDate(int f) override {
        auto* d = std::get_if<Date>(&at(f));
        return d ? *d : Date{};
    }
    DateTime asDateTime(int f) override {
        auto* d = std::get_if<DateTime>(&at(f));
        return d ? *d : DateTime{};
    }
    std::vector<std::byte> readBlob(int f) override {
        std::string s = asString(f);
        std::vector<std::byte> out(s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            out[i] = static_cast<std::byte>(s[i]);
        return out;
    }
    Bookmark bookmark() override { return {pos_ + 1}; }
    void gotoBookmark(const Bookmark& b) override { pos_ = b.position - 1; }

  private:
    const Value& at(int f) {
        if (eof()) throw EDatabaseError("brak bieżącego wiersza");
        return rows_[pos_][static_cast<std::size_t>(f)];
    }
    std::vector<FieldInfo> fields_;
    std::vector<std::vector<Value>> rows_;
    std::size_t pos_ = 0;
};

FieldInfo field(const char* name, FieldType t) {
    FieldInfo f;
    f.name = name;
    f.type = t;
    return f;
}

class FilterTest : public ::testing::Test {
  protected:
    const Value null = std::monostate{};
    std::vector<FieldInfo> fields = {
        field("ID", FieldType::Integer),      field("ZDARZ_ID", FieldType::Integer),
        field("KWOTA", FieldType::Float),     field("NAZW", FieldType::String),
        field("NT_DAT", FieldType::Date),     field("ALR_DAT", FieldType::Date),
        field("ALR_CDZ", FieldType::Boolean), field("UWAGI", FieldType::Memo),
        field("TS", FieldType::DateTime),     field("ZDJ", FieldType::Graphic),
    };
    MemoryCursor rows{
        fields,
        {
            // ID ZDARZ_ID KWOTA NAZW NT_DAT ALR_DAT ALR_CDZ UWAGI TS
            {std::int64_t{1}, std::int64_t{12}, 10.5, std::string("Kowalski  "), Date{2024, 3, 5},
             Date{2024, 3, 1}, true, std::string("pilne: oddzwonić"), DateTime{{2024, 3, 5}, 8, 30},
             null},
            {std::int64_t{2}, std::int64_t{12}, -5.25, std::string("Kowal"), Date{2024, 3, 6},
             Date{2024, 3, 5}, false, std::string("zwykłe"), DateTime{{2024, 3, 4}, 23, 59}, null},
            {std::int64_t{3}, std::int64_t{7}, 150.0, std::string("O'Brien"), Date{2023, 12, 31},
             null, null, null, null, null},
            {std::int64_t{4}, null, 0.0, std::string("nowak"), null, Date{2024, 3, 5}, true,
             std::string("pilne"), DateTime{{2024, 3, 5}, 0, 0}, null},
            {std::int64_t{5}, std::int64_t{5}, null, null, Date{2024, 3, 5}, Date{2024, 1, 1},
             false, std::string(""), null, null},
            {null, std::int64_t{0}, 100.0, std::string("say \"hi\""), null, null, false, null, null,
             null},
        }};

    // IDs of the rows that pass; 0 stands for the row with a null ID.
    std::vector<int> ids(const std::string& text) {
        auto f = FilterExpr::compile(text, fields);
        EXPECT_EQ(f->text(), text);
        std::vector<int> out;
        for (rows.first(); !rows.eof(); rows.next())
            if (f->matches(rows)) out.push_back(static_cast<int>(rows.asInteger(0)));
        return out;
    }
    using V = std::vector<int>;
};

TEST_F(FilterTest, FormsTheProgramWrites) {
    EXPECT_EQ(ids("ID=5"), V({5}));
    EXPECT_EQ(ids("ID = 3"), V({3}));
    EXPECT_EQ(ids("ZDARZ_ID=12"), V({1, 2}));
    EXPECT_EQ(ids("NT_DAT=2024-03-05"), V({1, 5}));
    EXPECT_EQ(ids("ALR_DAT=2024-03-05 or ALR_CDZ = 'TRUE' "), V({1, 2, 4}));
    EXPECT_EQ(ids("id=5"), V({5}));  // field names in any case
}

TEST_F(FilterTest, ConnectivesBindNotAndOr) {
    EXPECT_EQ(ids("ID=1 or ID=2 and KWOTA>0"), V({1}));
    EXPECT_EQ(ids("ID=2 and KWOTA>0 or ID=1"), V({1}));
    EXPECT_EQ(ids("(ID=1 or ID=2) and KWOTA>0"), V({1}));
    EXPECT_EQ(ids("(ID=1 or ID=2) and (KWOTA<0)"), V({2}));
    EXPECT_EQ(ids("not ID=1 and ID<3"), V({2}));
    EXPECT_EQ(ids("NOT (ID=1 Or ID=2) AnD ID <= 4"), V({3, 4}));
    EXPECT_EQ(ids("not not ID=4"), V({4}));
    EXPECT_EQ(ids("((ID>=4))"), V({4, 5}));
    // A null ID fails ID<3, so its negation holds.
    EXPECT_EQ(ids("not ID<3"), V({3, 4, 5, 0}));
}

TEST_F(FilterTest, LiteralsOfEveryKind) {
    EXPECT_EQ(ids("KWOTA < -5"), V({2}));
    EXPECT_EQ(ids("KWOTA = -5.25"), V({2}));
    EXPECT_EQ(ids("KWOTA=10.5"), V({1}));
    EXPECT_EQ(ids("KWOTA >= 100"), V({3, 0}));
    EXPECT_EQ(ids("ID <> 1.5"), V({1, 2, 3, 4, 5}));
    EXPECT_EQ(ids("ID = '4'"), V({4}));
    EXPECT_EQ(ids("3 < ID"), V({4, 5}));
    EXPECT_EQ(ids("2024-03-05 = NT_DAT"), V({1, 5}));
    EXPECT_EQ(ids("NT_DAT >= '2024-03-01' and NT_DAT < \"2024-03-06\""), V({1, 5}));
    EXPECT_EQ(ids("NT_DAT<2024-01-01"), V({3}));
    EXPECT_EQ(ids("NAZW = 'O''Brien'"), V({3}));
    EXPECT_EQ(ids("NAZW = \"say \"\"hi\"\"\""), V({0}));
    EXPECT_EQ(ids("NAZW > 'Kowal' and NAZW < 'P'"), V({1, 3}));
    // A date-time field compared with a date looks at its day.
    EXPECT_EQ(ids("TS = 2024-03-05"), V({1, 4}));
    EXPECT_EQ(ids("TS < 2024-03-05"), V({2}));
    EXPECT_EQ(ids("TS >= '2024-03-05 08:00'"), V({1}));
    // Field with field.
    EXPECT_EQ(ids("ID = ZDARZ_ID"), V({5}));
    EXPECT_EQ(ids("ID < ZDARZ_ID"), V({1, 2, 3}));
    EXPECT_EQ(ids("ALR_DAT <= NT_DAT"), V({1, 2, 5}));
    EXPECT_EQ(ids("ALR_DAT > NT_DAT"), V({}));
    EXPECT_EQ(ids("TS = NT_DAT"), V({1}));
}

TEST_F(FilterTest, BooleansInEverySpelling) {
    for (const char* t : {"'TRUE'", "'true'", "'T'", "'t'", "'Y'", "\"y\"", "TRUE", "true"})
        EXPECT_EQ(ids(std::string("ALR_CDZ = ") + t), V({1, 4})) << t;
    for (const char* f : {"'FALSE'", "'False'", "'F'", "'f'", "'N'", "'n'", "FALSE", "false"})
        EXPECT_EQ(ids(std::string("ALR_CDZ=") + f), V({2, 5, 0})) << f;
    EXPECT_EQ(ids("ALR_CDZ <> 'T'"), V({2, 5, 0}));
    EXPECT_EQ(ids("ALR_CDZ = NULL"), V({3}));
    EXPECT_EQ(ids("ALR_CDZ > FALSE"), V({1, 4}));
}

TEST_F(FilterTest, NullFieldsMatchOnlyNull) {
    EXPECT_EQ(ids("ZDARZ_ID = NULL"), V({4}));
    EXPECT_EQ(ids("ZDARZ_ID <> null"), V({1, 2, 3, 5, 0}));
    EXPECT_EQ(ids("ZDARZ_ID != NULL and ZDARZ_ID < 1"), V({0}));
    EXPECT_EQ(ids("ZDARZ_ID = 0 or ZDARZ_ID <> 0"), V({1, 2, 3, 5, 0}));
    EXPECT_EQ(ids("KWOTA = 0"), V({4}));
    EXPECT_EQ(ids("NAZW = ''"), V({}));
    EXPECT_EQ(ids("NAZW = NULL"), V({5}));
    EXPECT_EQ(ids("UWAGI = ''"), V({5}));
    EXPECT_EQ(ids("NT_DAT <> 2024-03-05"), V({2, 3}));
    EXPECT_EQ(ids("ZDARZ_ID = ID or ZDARZ_ID <> ID"), V({1, 2, 3, 5}));
}

TEST_F(FilterTest, TextComparesTrimmedWithTrailingStarAsPrefix) {
    EXPECT_EQ(ids("NAZW = 'Kowalski'"), V({1}));
    EXPECT_EQ(ids("NAZW = 'Kowalski   '"), V({1}));
    EXPECT_EQ(ids("NAZW = 'Kowal'"), V({2}));
    EXPECT_EQ(ids("NAZW = 'Kow*'"), V({1, 2}));
    EXPECT_EQ(ids("NAZW <> 'Kow*'"), V({3, 4, 0}));
    EXPECT_EQ(ids("NAZW = 'kow*'"), V({}));
    EXPECT_EQ(ids("NAZW = '*'"), V({1, 2, 3, 4, 0}));
    EXPECT_EQ(ids("UWAGI = 'pilne*'"), V({1, 4}));
    EXPECT_EQ(ids("UWAGI = 'pilne'"), V({4}));
    EXPECT_EQ(ids("UWAGI = 'zwykłe'"), V({2}));
}

TEST_F(FilterTest, BadFiltersAreRejectedWithTheReason) {
    struct Case {
        const char* text;
        const char* fragment;
    } cases[] = {
        {"", "pusty"},
        {"   ", "pusty"},
        {"XYZ=1", "nieznane pole XYZ"},
        {"ID=", "koniec"},
        {"ID 5", "„5” w pozycji 4"},
        {"ID", "brak operatora"},
        {"ID=5 and", "koniec"},
        {"ID=5 or or ID=4", "„or”"},
        {"(ID=5", "nawiasu"},
        {"ID=5)", "„)”"},
        {"NAZW='abc", "cudzysłów"},
        {"ID='abc'", "pola ID"},
        {"ID=2024-03-05", "pola ID"},
        {"ID=TRUE", "pola ID"},
        {"NT_DAT=2024-02-30", "błędna data"},
        {"NT_DAT='wczoraj'", "błędna data"},
        {"NT_DAT=5", "pola NT_DAT"},
        {"ALR_CDZ='maybe'", "pola ALR_CDZ"},
        {"ALR_CDZ=1", "pola ALR_CDZ"},
        {"ID < NULL", "NULL"},
        {"5=5", "nie dotyczy żadnego pola"},
        {"ID=5abc", "błędna liczba"},
        {"ID=1.2.3", "błędna liczba"},
        {"ID # 5", "„#”"},
        {"ID ! 5", "„!”"},
        {"ID = NAZW", "różne typy"},
        {"ZDJ = 'x'", "ZDJ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            FilterExpr::compile(c.text, fields);
            ADD_FAILURE() << "compiled";
        } catch (const EDatabaseError& e) {
            std::string m = e.what();
            EXPECT_EQ(m.rfind("Błędny filtr „" + std::string(c.text) + "”: ", 0), 0u) << m;
            EXPECT_NE(m.find(c.fragment), std::string::npos) << m;
        }
    }
}

}  // namespace
}  // namespace pulpex::engine
