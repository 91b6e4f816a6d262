#include "tables/engine/keyexpr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tables/engine/codepage.h"
#include "tables/engine/error.h"

namespace pulpex::engine {
namespace {

// Builds raw dBase records the way table files hold them.
class Layout {
  public:
    Layout& add(const std::string& name, char type, int size, int dec = 0) {
        FieldInfo f;
        f.name = name;
        f.dbfType = type;
        f.size = size;
        f.decimals = dec;
        f.offset = static_cast<std::uint32_t>(length_);
        fields_.push_back(f);
        length_ += static_cast<std::size_t>(size);
        return *this;
    }
    const std::vector<FieldInfo>& fields() const { return fields_; }
    std::size_t length() const { return length_; }

  private:
    std::vector<FieldInfo> fields_;
    std::size_t length_ = 1;  // deletion flag
};

std::uint64_t orderedBits(double v) {
    std::uint64_t b = std::bit_cast<std::uint64_t>(v);
    return (b & 0x8000000000000000ULL) ? ~b : b ^ 0x8000000000000000ULL;
}

class Record {
  public:
    Record(const Layout& l, const CodePage& cp = CodePage::forNumber(1250))
        : l_(l), cp_(cp), bytes_(l.length(), ' ') {}

    Record& raw(int f, const std::string& s) {
        const FieldInfo& fi = l_.fields()[static_cast<std::size_t>(f)];
        std::string v = s;
        v.resize(static_cast<std::size_t>(fi.size), ' ');
        bytes_.replace(fi.offset, v.size(), v);
        return *this;
    }
    Record& text(int f, const std::string& utf8) {
        std::string b;
        EXPECT_TRUE(cp_.encode(utf8, b));
        return raw(f, b);
    }
    Record& number(int f, std::optional<double> v) {
        const FieldInfo& fi = l_.fields()[static_cast<std::size_t>(f)];
        char buf[64];
        switch (fi.dbfType) {
            case 'I':
            case '+': {
                auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(*v)) ^ 0x80000000u;
                for (int i = 0; i < 4; ++i)
                    buf[i] = static_cast<char>(u >> (24 - 8 * i));
                return raw(f, std::string(buf, 4));
            }
            case 'O':
            case '@': {
                // O is order-preserving; @ is a plain double, as dBase 7 writes it.
                std::uint64_t b = !v                  ? 0
                                  : fi.dbfType == 'O' ? orderedBits(*v)
                                                      : std::bit_cast<std::uint64_t>(*v);
                for (int i = 0; i < 8; ++i)
                    buf[i] = static_cast<char>(b >> (56 - 8 * i));
                return raw(f, std::string(buf, 8));
            }
            default:
                if (!v) return raw(f, "");
                std::snprintf(buf, sizeof buf, "%*.*f", fi.size, fi.decimals, *v);
                return raw(f, buf);
        }
    }
    const std::byte* data() const { return reinterpret_cast<const std::byte*>(bytes_.data()); }

  private:
    const Layout& l_;
    const CodePage& cp_;
    std::string bytes_;
};

std::string keyOf(const KeyBuilder& kb, const Record& r) {
    std::string out(kb.keyLength(), '\0');
    kb.build(r.data(), reinterpret_cast<std::byte*>(out.data()));
    return out;
}

std::string bytesOf(const std::optional<std::vector<std::byte>>& v) {
    EXPECT_TRUE(v.has_value());
    if (!v) return {};
    return std::string(reinterpret_cast<const char*>(v->data()), v->size());
}

std::unique_ptr<KeyBuilder> compile(const std::string& key, const Layout& l, bool desc = false,
                                    bool nocase = false, int cp = 1250) {
    return KeyBuilder::compile(key, l.fields(), CodePage::forNumber(cp), desc, nocase);
}

std::string cp1250(const std::string& utf8) {
    std::string b;
    EXPECT_TRUE(CodePage::forNumber(1250).encode(utf8, b));
    return b;
}

double msOf(const DateTime& t) {
    return static_cast<double>(t.date.julianDay() - 1721425) * 86400000.0 + t.hour * 3600000.0 +
           t.minute * 60000.0 + t.second * 1000.0 + t.msec;
}

// Sorting rows by key must sort them by value, nulls first.
TEST(KeyBuilderOrder, NumbersOfEveryFieldTypeSortLikeTheirValues) {
    std::mt19937 rng(7);
    for (char type : {'N', 'F', 'I', 'O'}) {
        SCOPED_TRACE(std::string("type ") + type);
        Layout l;
        l.add("V", type, type == 'I' ? 4 : type == 'O' ? 8 : 16, type == 'I' ? 0 : 3);
        auto kb = compile("V", l);
        ASSERT_EQ(kb->keyLength(), 8u);
        EXPECT_EQ(kb->keyType(), 'N');
        std::vector<std::optional<double>> values = {0.0,   -0.0,   1,          -1,
                                                     0.001, -0.001, 2147483647, -2147483647};
        std::uniform_real_distribution<double> big(-1e9, 1e9);
        std::uniform_int_distribution<int> small(-1000, 1000);
        for (int i = 0; i < 300; ++i)
            values.push_back(i % 2 ? std::round(big(rng)) : small(rng) / 8.0);
        if (type == 'N' || type == 'F' || type == 'O') values.insert(values.end(), 5, std::nullopt);
        if (type == 'I')
            for (auto& v : values)
                if (v) v = std::trunc(*v);

        std::vector<std::pair<std::string, std::optional<double>>> rows;
        for (auto v : values)
            rows.push_back({keyOf(*kb, Record(l).number(0, v)), v});
        std::sort(rows.begin(), rows.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const auto& p = rows[i - 1].second;
            const auto& c = rows[i].second;
            ASSERT_FALSE(p && !c) << "null after a value";
            if (p && c) {
                ASSERT_LE(*p, *c) << "at " << i;
                EXPECT_EQ(*p == *c, rows[i - 1].first == rows[i].first) << *p << " vs " << *c;
            }
        }
        if (type != 'I') {
            EXPECT_EQ(rows.front().first, std::string(8, '\0'));
        }
    }

    // One value has one key whatever field holds it, so a lookup value need not know the type.
    Layout l;
    l.add("N", 'N', 11).add("I", 'I', 4).add("O", 'O', 8);
    for (double v : {-5.0, 0.0, 77.0}) {
        Record r(l);
        r.number(0, v).number(1, v).number(2, v);
        std::string n = keyOf(*compile("N", l), r);
        EXPECT_EQ(n, keyOf(*compile("I", l), r));
        EXPECT_EQ(n, keyOf(*compile("O", l), r));
    }
}

TEST(KeyBuilderOrder, DatesAndTimestamps) {
    Layout l;
    l.add("D", 'D', 8).add("TS", '@', 8);
    auto kb = compile("D", l);
    EXPECT_EQ(kb->keyType(), 'D');
    EXPECT_EQ(keyOf(*kb, Record(l).raw(0, "20240305")), "20240305");
    EXPECT_EQ(keyOf(*kb, Record(l).raw(0, "")), std::string(8, ' '));
    EXPECT_EQ(keyOf(*compile("dtos(D)", l), Record(l).raw(0, "19991231")), "19991231");

    // Date arithmetic crosses months, leap days and years; a blank date stays blank.
    auto plus = compile("dtos(D + 1)", l);
    EXPECT_EQ(keyOf(*plus, Record(l).raw(0, "20240228")), "20240229");
    EXPECT_EQ(keyOf(*plus, Record(l).raw(0, "20231231")), "20240101");
    EXPECT_EQ(keyOf(*plus, Record(l).raw(0, "")), std::string(8, ' '));
    auto minus = compile("D - 30", l);
    EXPECT_EQ(minus->keyType(), 'D');
    EXPECT_EQ(keyOf(*minus, Record(l).raw(0, "20240301")), "20240131");
    EXPECT_EQ(keyOf(*compile("str(D - D, 3)", l), Record(l).raw(0, "20240301")), "  0");

    // Time stamps: memcmp order is time order; DTOS takes the day.
    std::vector<DateTime> times = {{{2024, 3, 5}, 23, 59, 59, 999}, {{2024, 3, 6}, 0, 0, 0, 0},
                                   {{1999, 12, 31}, 12, 0, 0, 0},   {{2024, 3, 5}, 0, 0, 0, 1},
                                   {{1, 1, 1}, 0, 0, 0, 0},         {{9999, 12, 31}, 1, 2, 3, 4}};
    auto ts = compile("TS", l);
    EXPECT_EQ(ts->keyType(), 'N');
    std::vector<std::pair<std::string, DateTime>> rows;
    for (const auto& t : times)
        rows.push_back({keyOf(*ts, Record(l).number(1, msOf(t))), t});
    std::sort(rows.begin(), rows.end());
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_LT(rows[i - 1].second, rows[i].second);
    auto day = compile("dtos(TS)", l);
    ASSERT_EQ(day->parts().size(), 1u);
    EXPECT_EQ(day->parts()[0].kind, KeyBuilder::Part::Kind::Other);  // a day is many stamps
    EXPECT_EQ(keyOf(*day, Record(l).number(1, msOf(times[0]))), "20240305");
    EXPECT_EQ(keyOf(*day, Record(l).number(1, msOf(times[4]))), "00010101");
    EXPECT_EQ(keyOf(*day, Record(l).number(1, std::nullopt)), std::string(8, ' '));
}

TEST(KeyBuilderText, NocaseFoldsPolishLettersAndOnlyText) {
    Layout l;
    l.add("NAZW", 'C', 10).add("V", 'O', 8);
    auto folded = compile("NAZW", l, false, true);
    auto plain = compile("NAZW", l);
    std::string lower = keyOf(*folded, Record(l).text(0, "łódź"));
    EXPECT_EQ(lower, keyOf(*folded, Record(l).text(0, "ŁÓDŹ")));
    EXPECT_EQ(lower, cp1250("ŁÓDŹ") + std::string(6, ' '));
    EXPECT_NE(keyOf(*plain, Record(l).text(0, "łódź")), keyOf(*plain, Record(l).text(0, "ŁÓDŹ")));
    EXPECT_EQ(keyOf(*compile("upper(NAZW)", l), Record(l).text(0, "Żółć")),
              keyOf(*folded, Record(l).text(0, "ŻÓŁĆ")));
    EXPECT_EQ(keyOf(*compile("NAZW + 'ą'", l, false, true), Record(l).text(0, "ś")),
              cp1250("Ś") + std::string(9, ' ') + cp1250("Ą"));

    // CP852 has its own bytes for the same letters.
    auto dos = compile("NAZW", l, false, true, 852);
    Record r852(l, CodePage::forNumber(852));
    r852.text(0, "źdźbło");
    std::string expect;
    ASSERT_TRUE(CodePage::forNumber(852).encode("ŹDŹBŁO", expect));
    EXPECT_EQ(keyOf(*dos, r852), expect + std::string(4, ' '));

    // A number's key bytes may look like lower-case letters; they must not be folded.
    double v = std::bit_cast<double>(0xC061616161616161ULL ^ 0x8000000000000000ULL);
    Record r(l);
    r.text(0, "ab").number(1, v);
    std::string k = keyOf(*compile("NAZW;V", l, false, true), r);
    EXPECT_EQ(k, "AB" + std::string(8, ' ') + "\xC0" + "aaaaaaa");
}

TEST(KeyBuilderStr, WidthsRoundingAndOverflow) {
    Layout l;
    l.add("X", 'N', 12, 3);
    struct Case {
        const char* stored;
        const char* key;
        const char* expected;
    } cases[] = {
        {"5", "str(X)", "         5"},
        {"-2.5", "str(X)", "        -3"},
        {"2.5", "STR(X)", "         3"},
        {"0.499", "str(X)", "         0"},
        {"-0.4", "str(X)", "         0"},
        {"2.675", "str(X,8,2)", "    2.68"},
        {"-2.675", "str(X, 8, 2)", "   -2.68"},
        {"12", "str(X,4,1)", "12.0"},
        {"123456", "str(X,5)", "*****"},
        {"12345", "str(X,5)", "12345"},
        {"-1234", "str(X,4)", "****"},
        {"99.996", "str(X,5,2)", "*****"},
        {"99.994", "str(X,5,2)", "99.99"},
        {"0.5", "str(X,3)", "  1"},
        {"9.5", "str(X,1)", "*"},
        {"", "str(X)", "          "},
        {"7", "str(X + 1, 3)", "  8"},
        {"", "str(X + 1, 3)", "  1"},
        {"7", "str(-X, 3)", " -7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " of '" + c.stored + "'");
        auto kb = compile(c.key, l);
        EXPECT_EQ(kb->keyType(), 'C');
        EXPECT_EQ(kb->keyLength(), std::strlen(c.expected));
        Record r(l);
        if (*c.stored) r.number(0, std::stod(c.stored));
        EXPECT_EQ(keyOf(*kb, r), c.expected);
    }
}

TEST(KeyBuilderStr, StringFunctionsKeepFixedWidths) {
    Layout l;
    l.add("NAZW", 'C', 8).add("KOD", 'C', 6).add("ID", 'N', 5);
    Record r(l);
    r.text(0, "Kowal").text(1, " 41.5x").number(2, 3);
    struct Case {
        const char* key;
        std::string expected;
    } cases[] = {
        {"left(NAZW,3)", "Kow"},
        {"substr(NAZW,2,3)", "owa"},
        {"substr(NAZW,4)", "al   "},
        {"substr(NAZW,7,5)", "  "},
        {"LEFT(NAZW, 20)", "Kowal   "},
        {"upper(left(NAZW,4)) + \"-\" + str(ID,2)", "KOWA- 3"},
        {"str(val(KOD) * 1, 6, 1)", ""},  // no multiplication: error, checked below
        {"str(val(KOD) + 1, 6, 1)", "  42.5"},
        {"str(val(NAZW), 2)", " 0"},
        {"(NAZW) + KOD", "Kowal    41.5x"},
        {"dtos(ctod) ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        if (c.expected.empty()) {
            EXPECT_THROW(compile(c.key, l), EDatabaseError);
            continue;
        }
        auto kb = compile(c.key, l);
        EXPECT_EQ(keyOf(*kb, r), c.expected);
    }
}

TEST(KeyBuilderParts, FieldListsAndExpressions) {
    Layout l;
    l.add("RSZ_IDS", 'N', 10).add("ESZ_ZD", 'N', 10).add("ZD_DAT", 'D', 8).add("AD_NAZW", 'C', 30);
    using K = KeyBuilder::Part::Kind;
    struct Expect {
        int field;
        K kind;
        std::size_t offset, length;
    };
    struct Case {
        const char* key;
        std::size_t length;
        std::vector<Expect> parts;
    } cases[] = {
        {"RSZ_IDS;ESZ_ZD", 16, {{0, K::Raw, 0, 8}, {1, K::Raw, 8, 8}}},
        {" rsz_ids ; AD_NAZW ;ZD_DAT",
         46,
         {{0, K::Raw, 0, 8}, {3, K::Raw, 8, 30}, {2, K::Raw, 38, 8}}},
        {"str(RSZ_IDS) + str(ESZ_ZD)", 20, {{0, K::Str, 0, 10}, {1, K::Str, 10, 10}}},
        {"str(RSZ_IDS,4) +str(ESZ_ZD, 6)", 10, {{0, K::Str, 0, 4}, {1, K::Str, 4, 6}}},
        {"upper(AD_NAZW)", 30, {{3, K::Upper, 0, 30}}},
        {"dtos(ZD_DAT)+str(RSZ_IDS)", 18, {{2, K::Dtos, 0, 8}, {0, K::Str, 8, 10}}},
        {"left(AD_NAZW,5)+str(ESZ_ZD)", 15, {{3, K::Other, 0, 5}, {1, K::Str, 5, 10}}},
        {"AD_NAZW+'|'+str(ESZ_ZD)", 41, {{3, K::Raw, 0, 30}}},
        {"'X'+str(ESZ_ZD)", 11, {}},
        {"(RSZ_IDS)", 8, {{0, K::Raw, 0, 8}}},
        {"RSZ_IDS + 1", 8, {{0, K::Other, 0, 8}}},
        {"RSZ_IDS + ESZ_ZD", 8, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        auto kb = compile(c.key, l);
        EXPECT_EQ(kb->keyLength(), c.length);
        ASSERT_EQ(kb->parts().size(), c.parts.size());
        for (std::size_t i = 0; i < c.parts.size(); ++i) {
            const auto& p = kb->parts()[i];
            EXPECT_EQ(p.field, c.parts[i].field) << i;
            EXPECT_EQ(p.kind, c.parts[i].kind) << i;
            EXPECT_EQ(p.offset, c.parts[i].offset) << i;
            EXPECT_EQ(p.length, c.parts[i].length) << i;
        }
    }

    // For non-negative whole numbers the field list and the STR expression order rows alike.
    auto list = compile("RSZ_IDS;ESZ_ZD", l);
    auto expr = compile("str(RSZ_IDS) + str(ESZ_ZD)", l);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> a(0, 20), b(0, 100000);
    struct Row {
        int a, b;
        std::string list, expr;
    };
    std::vector<Row> rows;
    for (int i = 0; i < 200; ++i) {
        Row row{a(rng), b(rng), {}, {}};
        Record r(l);
        r.number(0, row.a).number(1, row.b);
        row.list = keyOf(*list, r);
        row.expr = keyOf(*expr, r);
        rows.push_back(row);
    }
    auto tupleOrder = [](const Row& x, const Row& y) {
        return std::tie(x.a, x.b) < std::tie(y.a, y.b);
    };
    for (const Row& x : rows)
        for (const Row& y : {rows[0], rows[1], rows[2], rows[50]}) {
            EXPECT_EQ(tupleOrder(x, y), x.list < y.list);
            EXPECT_EQ(tupleOrder(x, y), x.expr < y.expr);
        }
}

TEST(KeyBuilderOrder, DescendingInvertsEveryByte) {
    Layout l;
    l.add("NAZW", 'C', 6).add("ID", 'N', 6);
    auto asc = compile("NAZW;ID", l, false, true);
    auto desc = compile("NAZW;ID", l, true, true);
    std::vector<std::pair<const char*, double>> rows = {
        {"abc", 1}, {"abc", -4}, {"ABD", 0}, {"", 9}};
    std::vector<std::string> up, down;
    for (auto [n, v] : rows) {
        Record r(l);
        r.text(0, n).number(1, v);
        std::string a = keyOf(*asc, r), d = keyOf(*desc, r);
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(static_cast<unsigned char>(d[i]), 255 - static_cast<unsigned char>(a[i]));
        up.push_back(a);
        down.push_back(d);
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows.size(); ++j)
            EXPECT_EQ(up[i] < up[j], down[j] < down[i]);

    Value v[] = {std::string("abc"), std::int64_t{1}};
    EXPECT_EQ(bytesOf(desc->encodePrefix(v, true)), down[0]);
    EXPECT_EQ(bytesOf(desc->encodePrefix(std::span(v, 1), false)), down[0].substr(0, 3));
}

TEST(KeyBuilderPrefix, MatchesTheKeysOfRowsWithThatLeadingValue) {
    Layout l;
    l.add("RSZ_IDS", 'N', 10).add("ESZ_ZD", 'N', 10).add("ZD_DAT", 'D', 8).add("FLAG", 'L', 1);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> small(0, 9), wide(-500, 99999);
    for (const char* key : {"RSZ_IDS;ESZ_ZD", "str(RSZ_IDS) + str(ESZ_ZD)"}) {
        SCOPED_TRACE(key);
        auto kb = compile(key, l);
        std::size_t first = kb->parts()[0].length;
        for (int i = 0; i < 100; ++i) {
            int a = small(rng), b = wide(rng);
            std::string k = keyOf(*kb, Record(l).number(0, a).number(1, b));
            Value one[] = {std::int64_t{a}};
            Value asDouble[] = {static_cast<double>(a)};
            Value two[] = {std::int64_t{a}, static_cast<double>(b)};
            EXPECT_EQ(bytesOf(kb->encodePrefix(one, true)), k.substr(0, first));
            EXPECT_EQ(bytesOf(kb->encodePrefix(asDouble, false)), k.substr(0, first));
            EXPECT_EQ(bytesOf(kb->encodePrefix(two, true)), k);
            Value other[] = {std::int64_t{a + 1}};
            EXPECT_NE(bytesOf(kb->encodePrefix(other, true)), k.substr(0, first));
        }
        Value blank[] = {std::monostate{}};
        EXPECT_EQ(bytesOf(kb->encodePrefix(blank, true)), keyOf(*kb, Record(l)).substr(0, first));
        Value text[] = {std::string("5")};
        EXPECT_FALSE(kb->encodePrefix(text, true));
        Value three[] = {std::int64_t{1}, std::int64_t{2}, std::int64_t{3}};
        EXPECT_FALSE(kb->encodePrefix(three, true));
    }

    auto dated = compile("dtos(ZD_DAT)+str(RSZ_IDS)", l);
    Value day[] = {Date{2024, 3, 5}};
    EXPECT_EQ(bytesOf(dated->encodePrefix(day, true)), "20240305");
    Value stamp[] = {DateTime{{2024, 3, 5}, 10, 30}};
    EXPECT_EQ(bytesOf(dated->encodePrefix(stamp, true)), "20240305");
    Value notDate[] = {std::int64_t{20240305}};
    EXPECT_FALSE(dated->encodePrefix(notDate, true));
    auto flag = compile("FLAG;RSZ_IDS", l);
    Value yes[] = {true};
    EXPECT_EQ(bytesOf(flag->encodePrefix(yes, true)),
              keyOf(*flag, Record(l).raw(3, "y")).substr(0, 1));
}

TEST(KeyBuilderPrefix, UnpaddedTextMatchesAsPrefixForNearestSearch) {
    Layout l;
    l.add("NAZW", 'C', 10).add("ID", 'N', 5);
    const char* names[] = {"Nowak", "kowalski", "Kowal", "Abacki", "Kozioł", "Ławecki", "kot"};
    auto kb = compile("NAZW;ID", l, false, true);
    std::vector<std::pair<std::string, std::string>> keys;
    for (const char* n : names)
        keys.push_back({keyOf(*kb, Record(l).text(0, n).number(1, 1)), n});
    std::sort(keys.begin(), keys.end());

    Value kow[] = {std::string("kow")};
    std::string prefix = bytesOf(kb->encodePrefix(kow, false));
    EXPECT_EQ(prefix, "KOW");
    auto it = std::lower_bound(keys.begin(), keys.end(), std::make_pair(prefix, std::string()));
    ASSERT_NE(it, keys.end());
    EXPECT_EQ(it->second, "Kowal");
    EXPECT_EQ(std::next(it)->second, "kowalski");
    EXPECT_EQ(bytesOf(kb->encodePrefix(kow, true)), "KOW" + std::string(7, ' '));

    // Text is converted to the code page; a character it lacks cannot be looked up.
    Value lawa[] = {std::string("ław")};
    EXPECT_EQ(bytesOf(kb->encodePrefix(lawa, false)), cp1250("ŁAW"));
    Value foreign[] = {std::string("日本")};
    EXPECT_FALSE(kb->encodePrefix(foreign, false));
    Value number[] = {std::int64_t{4}};
    EXPECT_FALSE(kb->encodePrefix(number, false));
    // Too long for the field: cut as a stored value would be.
    Value longer[] = {std::string("Kowalski-Nowak")};
    EXPECT_EQ(bytesOf(kb->encodePrefix(longer, false)), "KOWALSKI-N");

    // Transforms that keep the start of the text keep prefixes; SUBSTR from the middle cannot.
    Value ab[] = {std::string("ab")};
    EXPECT_EQ(bytesOf(compile("upper(NAZW)", l)->encodePrefix(ab, false)), "AB");
    EXPECT_EQ(bytesOf(compile("left(NAZW,4)+str(ID)", l)->encodePrefix(ab, false)), "ab");
    EXPECT_EQ(bytesOf(compile("substr(NAZW,2)", l)->encodePrefix(ab, false)),
              "b" + std::string(8, ' '));
    Value nowakowski[] = {std::string("Nowakowski")};
    EXPECT_EQ(bytesOf(compile("left(NAZW,4)+str(ID)", l)->encodePrefix(nowakowski, false)), "Nowa");
}

TEST(KeyBuilderErrors, BadKeysNameTheProblem) {
    Layout l;
    l.add("ID", 'N', 10)
        .add("NAZW", 'C', 20)
        .add("UWAGI", 'M', 10)
        .add("D", 'D', 8)
        .add("L1", 'C', 200)
        .add("L2", 'C', 200);
    struct Case {
        const char* key;
        const char* fragment;
    } cases[] = {
        {"XYZ", "nieznane pole XYZ"},
        {"ID;XYZ", "nieznane pole XYZ"},
        {"str(ID)+str(XYZ)", "nieznane pole XYZ"},
        {"UWAGI", "memo UWAGI"},
        {"NAZW;UWAGI", "memo UWAGI"},
        {"upper(uwagi)", "memo UWAGI"},
        {"NAZW + ID", "niezgodne typy"},
        {"NAZW - NAZW", "niezgodne typy"},
        {"ID + D + NAZW", "niezgodne typy"},
        {"upper(ID)", "UPPER"},
        {"dtos(NAZW)", "DTOS"},
        {"foo(ID)", "nieznana funkcja foo"},
        {"str(ID", "koniec"},
        {"str(ID,)", "„)”"},
        {"ID +", "koniec"},
        {"str(ID) str(ID)", "„s” w pozycji 9"},
        {"'abc", "cudzysłów"},
        {"str(ID, ID)", "stałą"},
        {"str(ID, 5, 4)", "dziesiętną"},
        {"str(ID, 0)", "zakresem"},
        {"str()", "liczba argumentów"},
        {"left(NAZW, 2.5)", "zakresem"},
        {"NAZW;;ID", "pusta nazwa"},
        {"L1;L2", "240"},
        {"L1+L2", "240"},
        {"left(NAZW,0)", "zerową"},
        {"   ", "puste"},
        {"NAZW + '日'", "U+65E5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        try {
            compile(c.key, l);
            ADD_FAILURE() << "compiled";
        } catch (const EDatabaseError& e) {
            std::string m = e.what();
            EXPECT_EQ(m.rfind("Błędne wyrażenie klucza indeksu „" + std::string(c.key) + "”: ", 0),
                      0u)
                << m;
            EXPECT_NE(m.find(c.fragment), std::string::npos) << m;
        }
    }
}

TEST(KeyBuilderRaw, LogicalAndIntegerFieldsDecode) {
    Layout l;
    l.add("FLAG", 'L', 1).add("NR", '+', 4).add("NAZW", 'C', 3);
    auto kb = compile("FLAG;NR", l);
    std::string expected[] = {"T", "T", "T", "T", "F", "F", "F", "F", " ", " "};
    const char* stored[] = {"T", "t", "Y", "y", "F", "f", "N", "n", " ", "?"};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(keyOf(*kb, Record(l).raw(0, stored[i]).number(1, 0))[0], expected[i][0])
            << stored[i];
    EXPECT_LT(keyOf(*kb, Record(l).raw(0, "T").number(1, -2147483647)),
              keyOf(*kb, Record(l).raw(0, "T").number(1, 5)));
    EXPECT_EQ(keyOf(*compile("str(NR, 11)", l), Record(l).number(1, -2147483647)), "-2147483647");
    // The blank bytes of a C field pass through untouched, whatever the code page holds there.
    EXPECT_EQ(keyOf(*compile("NAZW", l), Record(l).raw(2, std::string("\x01\xFF", 2))),
              std::string("\x01\xFF ", 3));
}

}  // namespace
}  // namespace pulpex::engine
