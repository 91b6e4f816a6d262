// pulpex-db as an administrator runs it: the real binary as a subprocess on table files in a
// temporary directory; results are checked through the engine and the raw files.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <variant>

#include "csv.h"
#include "tables/engine/error.h"
#include "tables/engine/table.h"

namespace fs = std::filesystem;
using namespace pulpex::engine;
using pulpex::tools::base64Encode;
using pulpex::tools::CsvReader;
using pulpex::tools::CsvRecord;
using pulpex::tools::writeCsvRecord;

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Result {
    int code = -1;
    std::string out, err;
};

// One run of the tool, started at construction so that several can run at once.
class Tool {
  public:
    explicit Tool(const std::vector<std::string>& args) {
        std::vector<std::string> all{PULPEX_DB_BIN};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;
    ~Tool() {
        if (pid_ > 0) finish();
    }

    Result finish() {
        Result r;
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        std::string* sink[2] = {&r.out, &r.err};
        for (int open = 2; open > 0;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buf[65536];
                const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sink[i]->append(buf, static_cast<std::size_t>(n));
                } else {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return r;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
};

// Just enough JSON to read what `info --json` prints.
struct Json {
    using Object = std::vector<std::pair<std::string, Json>>;
    std::variant<std::nullptr_t, bool, double, std::string, std::vector<Json>, Object> v;

    const Json& operator[](std::string_view key) const {
        for (const auto& [k, val] : std::get<Object>(v))
            if (k == key) return val;
        throw std::runtime_error("no key " + std::string(key));
    }
    const Json& operator[](std::size_t i) const { return std::get<std::vector<Json>>(v).at(i); }
    std::size_t size() const { return std::get<std::vector<Json>>(v).size(); }
    const std::string& str() const { return std::get<std::string>(v); }
    double num() const { return std::get<double>(v); }
    bool flag() const { return std::get<bool>(v); }
};

class JsonParser {
  public:
    explicit JsonParser(std::string_view s) : s_(s) {}
    Json document() {
        Json j = value();
        space();
        if (i_ != s_.size()) fail();
        return j;
    }

  private:
    std::string_view s_;
    std::size_t i_ = 0;

    [[noreturn]] void fail() {
        throw std::runtime_error("bad JSON at " + std::to_string(i_) + ": " + std::string(s_));
    }
    void space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
    }
    bool take(char c) {
        space();
        if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
        return false;
    }
    bool word(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }
    std::string string() {
        if (!take('"')) fail();
        std::string r;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c == '\\') {
                if (i_ >= s_.size()) fail();
                c = s_[i_++];
                if (c == 'n') c = '\n';
                if (c == 'r') c = '\r';
                if (c == 't') c = '\t';
                if (c == 'u') {
                    c = static_cast<char>(std::stoi(std::string(s_.substr(i_, 4)), nullptr, 16));
                    i_ += 4;
                }
            }
            r += c;
        }
        if (!take('"')) fail();
        return r;
    }
    Json value() {
        space();
        if (i_ >= s_.size()) fail();
        if (take('{')) {
            Json::Object o;
            if (take('}')) return {o};
            do {
                std::string k = string();
                if (!take(':')) fail();
                o.emplace_back(k, value());
            } while (take(','));
            if (!take('}')) fail();
            return {o};
        }
        if (take('[')) {
            std::vector<Json> a;
            if (take(']')) return {a};
            do
                a.push_back(value());
            while (take(','));
            if (!take(']')) fail();
            return {a};
        }
        if (s_[i_] == '"') return {string()};
        if (word("true")) return {true};
        if (word("false")) return {false};
        if (word("null")) return {nullptr};
        const std::string rest(s_.substr(i_));
        char* end = nullptr;
        const double d = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str()) fail();
        i_ += static_cast<std::size_t>(end - rest.c_str());
        return {d};
    }
};

Rows parseCsv(const std::string& text) {
    Rows rows;
    CsvReader reader(text);
    CsvRecord r;
    while (reader.next(r))
        rows.push_back(r.fields);
    return rows;
}

std::string toCsv(const Rows& rows) {
    std::ostringstream out;
    for (const auto& r : rows)
        writeCsvRecord(out, r);
    return out.str();
}

std::vector<std::byte> bytesOf(std::initializer_list<int> v) {
    std::vector<std::byte> r;
    for (int b : v)
        r.push_back(std::byte(b));
    return r;
}

std::string b64(const std::vector<std::byte>& b) {
    return base64Encode(b);
}

class PulpexDb : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pulpex-db-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }
    Result run(const std::vector<std::string>& args) { return Tool(args).finish(); }

    void write(const std::string& name, const std::string& content) {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string read(const std::string& name) {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Overwrites bytes of a file in place, from `offset` to `end` (0: the file's end).
    void scribble(const std::string& name, std::size_t offset, std::string_view pattern,
                  std::size_t end = 0) {
        std::string c = read(name);
        if (end == 0) end = c.size();
        for (std::size_t i = offset; i < end; ++i)
            c[i] = pattern[(i - offset) % pattern.size()];
        write(name, c);
    }
    std::uint32_t headerCount(const std::string& name) {
        std::string c = read(name);
        auto b = [&](int i) { return std::uint32_t{static_cast<unsigned char>(c.at(4 + i))}; };
        return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
    }
    void setHeaderCount(const std::string& name, std::uint32_t n) {
        std::string c = read(name);
        for (int i = 0; i < 4; ++i)
            c[4 + i] = static_cast<char>(n >> (8 * i) & 0xFF);
        write(name, c);
    }
    Json info(const std::string& table) {
        Result r = run({"info", "--json", path(table)});
        EXPECT_EQ(r.code, 0) << r.err;
        return JsonParser(r.out).document();
    }
    void import(const std::string& table, const Rows& rows) {
        write("in.csv", toCsv(rows));
        Result r = run({"import", path(table), path("in.csv")});
        ASSERT_EQ(r.code, 0) << r.err;
    }
    std::uint64_t rows(const std::string& table) {
        return Table::open(path(table), {.readOnly = true})->recordCount();
    }

    std::string dir;
};

}  // namespace

// --- create and info

TEST_F(PulpexDb, CreateAndInfoRoundTripEveryTypeAndTagOption) {
    Result c = run({"create", path("ZDARZ.DBF"), "ID:integer", "ZD_NMR:string:25", "zd_dat:date",
                    "ZD_POL:boolean", "ZD_GODZ:time", "ZD_KIEDY:datetime", "ZD_TRE:memo",
                    "ZD_RYS:graphic:10", "ZD_LP:autoinc", "--index", "ZDARZ_ID=ID", "--index",
                    "ZD_NMR=upper(ZD_NMR),nocase", "--index=ZD_DAT=dtos(ZD_DAT)+str(ID),descending",
                    "--index", "ZD_PARA=ZD_NMR;ID,nocase,descending"});
    ASSERT_EQ(c.code, 0) << c.err;

    Json j = info("zdarz.dbf");
    EXPECT_EQ(j["version"].num(), 0x8B);
    EXPECT_EQ(j["language_driver"].num(), 0xC8);
    EXPECT_EQ(j["records"].num(), 0);
    EXPECT_TRUE(j["production_index"].flag());
    const std::vector<std::tuple<std::string, std::string, int, int>> fields = {
        {"ID", "N", 11, 0},     {"ZD_NMR", "C", 25, 0},  {"ZD_DAT", "D", 8, 0},
        {"ZD_POL", "L", 1, 0},  {"ZD_GODZ", "C", 11, 0}, {"ZD_KIEDY", "C", 30, 0},
        {"ZD_TRE", "M", 10, 0}, {"ZD_RYS", "B", 10, 0},  {"ZD_LP", "N", 11, 0}};
    ASSERT_EQ(j["fields"].size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Json& f = j["fields"][i];
        EXPECT_EQ(std::tuple(f["name"].str(), f["type"].str(), int(f["size"].num()),
                             int(f["decimals"].num())),
                  fields[i]);
    }
    const std::vector<std::tuple<std::string, std::string, bool, bool>> tags = {
        {"ZDARZ_ID", "ID", false, false},
        {"ZD_NMR", "upper(ZD_NMR)", false, true},
        {"ZD_DAT", "dtos(ZD_DAT)+str(ID)", true, false},
        {"ZD_PARA", "ZD_NMR;ID", true, true}};
    ASSERT_EQ(j["tags"].size(), tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const Json& t = j["tags"][i];
        EXPECT_EQ(
            std::tuple(t["name"].str(), t["key"].str(), t["descending"].flag(), t["nocase"].flag()),
            tags[i]);
    }

    Result text = run({"info", path("ZDARZ.DBF")});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("0x8B"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("0xC8 (strona kodowa 1250)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("dtos(ZD_DAT)+str(ID)  (malejący)"), std::string::npos) << text.out;

    // No memo, no tags: the plain dBase layout.
    ASSERT_EQ(run({"create", path("P.DBF"), "A:string:5"}).code, 0);
    Json p = info("P.DBF");
    EXPECT_EQ(p["version"].num(), 0x03);
    EXPECT_FALSE(p["production_index"].flag());
    EXPECT_EQ(p["tags"].size(), 0u);
}

// --- import and export

TEST_F(PulpexDb, ImportThenExportKeepsEveryValue) {
    for (const char* t : {"T.DBF", "T2.DBF"})
        ASSERT_EQ(run({"create", path(t), "ID:integer", "NMR:string:40", "DAT:date", "POL:boolean",
                       "TRE:memo", "RYS:graphic", "--index", "TID=ID"})
                      .code,
                  0);
    const auto png = bytesOf({0x89, 'P', 'N', 'G', 0x00, 0x00, 0x01, 0xFF, 0x00});
    const auto zeros = bytesOf({0, 0, 0, 0});
    const std::string memo = "Pierwsza linia\nDruga, z przecinkiem\r\nTrzecia \"w cudzysłowie\"";
    // Header in another order and case than the table's.
    import("T.DBF", {{"rys", "Tre", "id", "nmr", "dat", "pol"},
                     {b64(png), memo, "1", "Zażółć gęślą jaźń, \"ŁÓDŹ\"", "2024-03-05", "T"},
                     {"", "", "-2", "", "", "F"},
                     { b64(zeros),
                       "Świętokrzyska 5 €",
                       "3",
                       "Ósemka",
                       "1999-12-31",
                       "" }});

    {
        auto t = Table::open(path("T.DBF"), {.readOnly = true});
        ASSERT_EQ(t->recordCount(), 3u);
        t->first();
        EXPECT_EQ(t->asInteger("ID"), 1);
        EXPECT_EQ(t->asString("NMR"), "Zażółć gęślą jaźń, \"ŁÓDŹ\"");
        EXPECT_EQ(t->asDate("DAT"), (Date{2024, 3, 5}));
        EXPECT_EQ(t->asBoolean("POL"), true);
        EXPECT_EQ(t->asString("TRE"), memo);
        EXPECT_EQ(t->readBlob("RYS"), png);
        t->next();
        EXPECT_EQ(t->asInteger("ID"), -2);
        EXPECT_TRUE(t->isNull("DAT"));
        EXPECT_EQ(t->asBoolean("POL"), false);
        EXPECT_TRUE(t->readBlob("RYS").empty());
        t->next();
        EXPECT_EQ(t->asBoolean("POL"), std::nullopt);
        EXPECT_EQ(t->readBlob("RYS"), zeros);
    }

    Result e = run({"export", path("T.DBF")});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_TRUE(e.out.starts_with("ID,NMR,DAT,POL,TRE,RYS\r\n")) << e.out;
    EXPECT_TRUE(e.out.ends_with("\r\n"));
    Rows want = {{"ID", "NMR", "DAT", "POL", "TRE", "RYS"},
                 {"1", "Zażółć gęślą jaźń, \"ŁÓDŹ\"", "2024-03-05", "T", memo, b64(png)},
                 {"-2", "", "", "F", "", ""},
                 {"3", "Ósemka", "1999-12-31", "", "Świętokrzyska 5 €", b64(zeros)}};
    EXPECT_EQ(parseCsv(e.out), want);

    // What export writes, import reads back to the same table contents.
    write("out.csv", e.out);
    ASSERT_EQ(run({"import", path("T2.DBF"), path("out.csv")}).code, 0);
    EXPECT_EQ(run({"export", path("T2.DBF")}).out, e.out);
}

TEST_F(PulpexDb, ImportErrorsNameLineAndFieldAndAppendNothing) {
    ASSERT_EQ(run({"create", path("A.DBF"), "ID:integer", "NAZWA:string:10", "G:graphic",
                   "GODZ:time", "KIEDY:datetime", "DATA:date", "AKT:boolean", "--index", "ID=ID"})
                  .code,
              0);
    struct Case {
        std::string csv;
        std::vector<std::string> mentions;
    };
    const Case cases[] = {
        {"ID,NAZWISKO\n1,x\n", {"NAZWISKO"}},
        {"ID,NAZWA\n5,x\n6\n", {"wiersz 3"}},
        {"ID,NAZWA\n7,\"x\n8,y\n", {"wiersz 2", "cudzysłów"}},
        {"ID,NAZWA\n1,dobry\nabc,zły\n4,dalej\n", {"wiersz 3", "ID", "Nic nie zaimportowano"}},
        {"NAZWA\nżółw\nжук\n", {"wiersz 3", "NAZWA"}},
        {"ID\n1.5\n", {"wiersz 2", "ID"}},
        {"NAZWA\nza długa nazwa\n", {"NAZWA", "10"}},
        {"ID,G\n9,@@@@\n", {"wiersz 2", "G", "base64"}},
        {"ID,GODZ\n1,10:15\n2,25:61\n", {"wiersz 3", "GODZ", "25:61"}},
        {"ID,GODZ\n1,abc\n", {"wiersz 2", "GODZ"}},
        {"ID,KIEDY\n1,2024-02-29 10:00:00\n2,2024-02-30 10:00:00\n", {"wiersz 3", "KIEDY"}},
        {"ID,KIEDY\n1,nonsense\n", {"wiersz 2", "KIEDY"}},
        {"ID,DATA,AKT\n1,2024-02-29,T\n2,2023-02-29,T\n", {"wiersz 3", "DATA"}},
        {"ID,DATA,AKT\n1,2024-02-29,T\n2,2024-03-01,może\n", {"wiersz 3", "AKT"}},
        // Only the last row is bad: the rows before it must not stay.
        {"ID,NAZWA\n1,a\n2,b\n3,c\n4,\"to jest za długie\"\n", {"wiersz 5", "NAZWA"}},
        {"ID,NAZWA\n1,a\n2,\xB3\xF3"
         "d\xBC\n",
         {"UTF-8", "wiersz 3"}},
    };
    for (const Case& c : cases) {
        write("bad.csv", c.csv);
        Result r = run({"import", path("A.DBF"), path("bad.csv")});
        EXPECT_EQ(r.code, 2) << c.csv;
        for (const auto& m : c.mentions)
            EXPECT_NE(r.err.find(m), std::string::npos) << r.err;
        EXPECT_EQ(rows("A.DBF"), 0u) << c.csv;
    }
    Result check = run({"check", path("A.DBF")});
    EXPECT_EQ(check.code, 0) << check.out;

    write("good.csv", "ID,GODZ,KIEDY\n1,7:05,2024-02-29 23:59:59\n2,,\n");
    Result ok = run({"import", path("A.DBF"), path("good.csv")});
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_EQ(rows("A.DBF"), 2u);

    // Messages are Polish, also those that come from the system.
    Result missing = run({"import", path("A.DBF"), path("niema.csv")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("nie ma takiego pliku"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find("No such"), std::string::npos) << missing.err;

    // CP1250 holds the euro sign (0x80); CP852 does not.
    write("eur.csv", "NAZWA\ncena 5€\n");
    ASSERT_EQ(run({"import", path("A.DBF"), path("eur.csv")}).code, 0);
    EXPECT_NE(read("A.DBF").find("cena 5\x80"), std::string::npos);
    ASSERT_EQ(run({"create", path("B.DBF"), "NAZWA:string:10"}).code, 0);
    scribble("B.DBF", 29, "\x64", 30);
    Result r = run({"import", path("B.DBF"), path("eur.csv")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("NAZWA"), std::string::npos) << r.err;
    EXPECT_EQ(rows("B.DBF"), 0u);
}

// --- sql

TEST_F(PulpexDb, SqlJoinsTwoTablesWithParameters) {
    ASSERT_EQ(run({"create", path("ADR.DBF"), "ID:integer", "NAZWA:string:40"}).code, 0);
    ASSERT_EQ(run({"create", path("ZDARZ.DBF"), "ID:integer", "ADR_ID:integer", "NMR:string:20",
                   "DAT:date", "--index", "ZD_ADR=ADR_ID"})
                  .code,
              0);
    import("ADR.DBF", {{"ID", "NAZWA"}, {"1", "Urząd Gminy"}, {"2", "Kowalski, Jan"}, {
                           "3",
                           "Nowak"
                       }});
    import("ZDARZ.DBF", {{"ID", "ADR_ID", "NMR", "DAT"},
                         {"10", "2", "KP/1", "2024-01-02"},
                         {"11", "1", "KP/2", "2024-01-05"},
                         {"12", "2", "KP/3", "2024-02-03"},
                         {"13", "3", "KP/4", ""},
                         { "14",
                           "2",
                           "KP/5",
                           "2024-02-04" }});

    Result j = run({"sql", dir,
                    "select z.NMR, a.NAZWA, z.DAT from ZDARZ z join ADR a on a.ID = z.ADR_ID "
                    "where z.ADR_ID = :adr and z.NMR <> :skip order by z.NMR",
                    "--param", "adr=2", "--param", "skip=KP/3"});
    ASSERT_EQ(j.code, 0) << j.err;
    EXPECT_EQ(parseCsv(j.out), (Rows{{"NMR", "NAZWA", "DAT"},
                                     {"KP/1", "Kowalski, Jan", "2024-01-02"},
                                     {"KP/5", "Kowalski, Jan", "2024-02-04"}}));

    Result t = run({"sql", dir, "select ID from ADR where NAZWA = :n", "--param=n=Kowalski, Jan"});
    EXPECT_EQ(t.out, "ID\r\n2\r\n") << t.err;
    Result kinds = run({"sql", dir, "select typeof(:a) as TA, typeof(:b) as TB", "--param", "a=-42",
                        "--param", "b=42a"});
    EXPECT_EQ(kinds.out, "TA,TB\r\ninteger,text\r\n") << kinds.err;

    const std::pair<const char*, const char*> bad[] = {
        {"selec 1", "tylko zapytania SELECT"},
        {"select NIEMA from ADR", "nie ma takiego pola: NIEMA"},
        {"select * from NIEMA", "nie ma takiej tabeli: NIEMA"},
        {"select ID from", "niepełne zapytanie"},
        {"select ID frm ADR", "błąd składni przy „ADR”"},
    };
    for (const auto& [sql, says] : bad) {
        Result r = run({"sql", dir, sql});
        EXPECT_EQ(r.code, 2) << sql;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
    const std::uint64_t before = rows("ADR.DBF");
    for (const char* change : {"delete from ADR", "  update ADR set ID = 7",
                               "/* porządki */ insert into ADR (ID) values (99)"}) {
        Result r = run({"sql", dir, change});
        EXPECT_EQ(r.code, 2) << change;
        EXPECT_NE(r.err.find("tylko zapytania SELECT"), std::string::npos) << r.err;
    }
    EXPECT_EQ(rows("ADR.DBF"), before);
}

// --- check, repair, reindex

TEST_F(PulpexDb, CheckPassesSoundTableAndOpenCorrectsHeaderCount) {
    ASSERT_EQ(run({"create", path("T.DBF"), "ID:integer", "TRE:memo", "--index", "TID=ID"}).code,
              0);
    import("T.DBF", {{"ID", "TRE"}, {"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}, { "5", "e" }});
    Result ok = run({"check", path("T.DBF")});
    EXPECT_EQ(ok.code, 0);
    EXPECT_EQ(ok.out, "OK\n");

    // A count behind the rows is what a crash leaves: the open puts it right.
    setHeaderCount("T.DBF", 2);
    Result r = run({"check", path("T.DBF")});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("z 2 na 5"), std::string::npos) << r.out;
    EXPECT_EQ(headerCount("T.DBF"), 5u);
    EXPECT_EQ(parseCsv(run({"export", path("T.DBF")}).out).size(), 6u);

    // A count beyond the rows is damage: only a repair puts it right, and nothing crashes.
    for (std::uint32_t wrong : {9u, 0xFFFFFFFFu}) {
        setHeaderCount("T.DBF", wrong);
        Result damaged = run({"check", path("T.DBF")});
        EXPECT_EQ(damaged.code, 1) << damaged.out << damaged.err;
        EXPECT_NE(damaged.out.find("liczba rekordów w nagłówku (" + std::to_string(wrong) + ")"),
                  std::string::npos)
            << damaged.out;
        write("more.csv", "ID,TRE\n6,f\n");
        Result import = run({"import", path("T.DBF"), path("more.csv")});
        EXPECT_EQ(import.code, 2) << import.err;
        EXPECT_EQ(headerCount("T.DBF"), wrong);
        Result repaired = run({"check", path("T.DBF"), "--repair"});
        EXPECT_EQ(repaired.code, 0) << repaired.out << repaired.err;
        EXPECT_EQ(headerCount("T.DBF"), 5u);
        EXPECT_EQ(parseCsv(run({"export", path("T.DBF")}).out).size(), 6u);
    }
}

TEST_F(PulpexDb, CheckFindsGarbageIndexAndRepairRebuildsIt) {
    ASSERT_EQ(run({"create", path("T.DBF"), "ID:integer", "NMR:string:10", "--index", "TID=ID",
                   "--index", "TN=NMR,nocase"})
                  .code,
              0);
    Rows data = {{"ID", "NMR"}};
    for (int i = 1; i <= 300; ++i)
        data.push_back({std::to_string(i), "n" + std::to_string(i)});
    import("T.DBF", data);
    const std::size_t treePages = 3 * 4096;  // the index file's header and tag directory

    // Damaged tree pages: the tag definitions survive, so repair rebuilds the same tags.
    scribble("T.MDX", treePages, "\xA5\x5A");
    Result damaged = run({"check", path("T.DBF")});
    EXPECT_EQ(damaged.code, 1);
    EXPECT_NE(damaged.out.find("ndeks"), std::string::npos) << damaged.out;
    Result fixed = run({"check", path("T.DBF"), "--repair"});
    EXPECT_EQ(fixed.code, 0) << fixed.out << fixed.err;
    EXPECT_EQ(run({"check", path("T.DBF")}).code, 0);
    EXPECT_EQ(info("T.DBF")["tags"].size(), 2u);
    {
        auto t = Table::open(path("T.DBF"), {.readOnly = true});
        t->setIndex("TID");
        ASSERT_TRUE(t->findKey(Value{std::int64_t{217}}));
        EXPECT_EQ(t->asString("NMR"), "n217");
    }

    // reindex mends the same damage.
    scribble("T.MDX", treePages, "\x01\x02\x03");
    EXPECT_EQ(run({"check", path("T.DBF")}).code, 1);
    EXPECT_EQ(run({"reindex", path("T.DBF")}).code, 0);
    EXPECT_EQ(run({"check", path("T.DBF")}).code, 0);

    // The whole file garbage: not even the tag list survives, so the index cannot be rebuilt
    // and repair must say so without touching the files.
    scribble("T.MDX", 0, "garbage!");
    const std::string table = read("T.DBF"), garbage = read("T.MDX");
    Result gone = run({"check", path("T.DBF")});
    EXPECT_EQ(gone.code, 1);
    EXPECT_NE(gone.out.find("Nie można otworzyć tabeli"), std::string::npos) << gone.out;
    Result refused = run({"check", path("T.DBF"), "--repair"});
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_NE(refused.out.find("Nie można otworzyć tabeli"), std::string::npos) << refused.out;
    EXPECT_EQ(read("T.DBF"), table);
    EXPECT_EQ(read("T.MDX"), garbage);
    EXPECT_EQ(run({"export", path("T.DBF")}).code, 2);
}

TEST_F(PulpexDb, ExclusiveCommandsRefuseATableInUse) {
    ASSERT_EQ(run({"create", path("T.DBF"), "ID:integer", "--index", "TID=ID"}).code, 0);
    auto inUse = Table::open(path("T.DBF"));
    for (const char* cmd : {"pack", "reindex"}) {
        Result r = run({cmd, path("T.DBF")});
        EXPECT_EQ(r.code, 2) << cmd;
        EXPECT_NE(r.err.find("wyłączność"), std::string::npos) << r.err;
    }
    // Being in use is no damage.
    Result repair = run({"check", path("T.DBF"), "--repair"});
    EXPECT_EQ(repair.code, 2) << repair.out;
    EXPECT_NE(repair.err.find("wyłączność"), std::string::npos) << repair.err;
    EXPECT_EQ(run({"check", path("T.DBF")}).code, 0);
}

// --- pack

TEST_F(PulpexDb, PackRemovesRowsDeletedThroughTheEngine) {
    ASSERT_EQ(run({"create", path("T.DBF"), "ID:integer", "TRE:memo", "--index", "TID=ID"}).code,
              0);
    Rows data = {{"ID", "TRE"}};
    for (int i = 1; i <= 10; ++i)
        data.push_back({std::to_string(i), std::string(600, 'a' + i)});
    import("T.DBF", data);
    {
        auto t = Table::open(path("T.DBF"));
        for (std::uint32_t n : {2u, 5u, 10u}) {
            t->gotoRecno(n);
            t->deleteRecord();
        }
    }
    EXPECT_EQ(info("T.DBF")["records"].num(), 7);
    EXPECT_EQ(headerCount("T.DBF"), 10u);
    const auto tableSize = fs::file_size(path("T.DBF")), memoSize = fs::file_size(path("T.DBT"));

    Result p = run({"pack", path("T.DBF")});
    ASSERT_EQ(p.code, 0) << p.err;
    EXPECT_NE(p.out.find("usunięto 3 rekordy"), std::string::npos) << p.out;
    EXPECT_EQ(headerCount("T.DBF"), 7u);
    EXPECT_LT(fs::file_size(path("T.DBF")), tableSize);
    EXPECT_LT(fs::file_size(path("T.DBT")), memoSize);
    Rows want = {{"ID", "TRE"}};
    for (int i : {1, 3, 4, 6, 7, 8, 9})
        want.push_back({std::to_string(i), std::string(600, 'a' + i)});
    EXPECT_EQ(parseCsv(run({"export", path("T.DBF")}).out), want);
    EXPECT_EQ(run({"check", path("T.DBF")}).code, 0);
}

// --- concurrency

TEST_F(PulpexDb, ConcurrentImportsIntoOneTableLoseNothing) {
    ASSERT_EQ(run({"create", path("C.DBF"), "ID:integer", "SRC:integer", "NMR:string:30",
                   "TRE:memo", "--index", "CID=ID", "--index", "CN=NMR,nocase"})
                  .code,
              0);
    constexpr int kProcesses = 4, kRows = 2000;
    for (int p = 1; p <= kProcesses; ++p) {
        Rows data = {{"ID", "SRC", "NMR", "TRE"}};
        for (int i = 1; i <= kRows; ++i) {
            const std::string s = std::to_string(p) + "/" + std::to_string(i);
            data.push_back(
                {std::to_string(p * 100000 + i), std::to_string(p), "Nr " + s, "treść " + s});
        }
        write("c" + std::to_string(p) + ".csv", toCsv(data));
    }
    std::vector<std::unique_ptr<Tool>> tools;
    for (int p = 1; p <= kProcesses; ++p)
        tools.push_back(std::make_unique<Tool>(std::vector<std::string>{
            "import", path("C.DBF"), path("c" + std::to_string(p) + ".csv")}));
    for (auto& t : tools) {
        Result r = t->finish();
        EXPECT_EQ(r.code, 0) << r.err;
    }

    auto t = Table::open(path("C.DBF"), {.readOnly = true});
    ASSERT_EQ(t->recordCount(), std::uint64_t{kProcesses * kRows});
    std::set<std::int64_t> ids;
    for (t->first(); !t->eof(); t->next()) {
        const std::int64_t id = t->asInteger("ID");
        const std::string s = std::to_string(id / 100000) + "/" + std::to_string(id % 100000);
        ASSERT_EQ(t->asInteger("SRC"), id / 100000);
        ASSERT_EQ(t->asString("NMR"), "Nr " + s);
        ASSERT_EQ(t->asString("TRE"), "treść " + s);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), std::size_t{kProcesses * kRows});
    t->setIndex("CID");
    std::int64_t previous = 0, seen = 0;
    for (t->first(); !t->eof(); t->next(), ++seen) {
        ASSERT_GT(t->asInteger("ID"), previous);
        previous = t->asInteger("ID");
    }
    EXPECT_EQ(seen, kProcesses * kRows);
    Result c = run({"check", path("C.DBF")});
    EXPECT_EQ(c.code, 0) << c.out;
}

// --- usage

TEST_F(PulpexDb, BadArgumentsAndBadFilesExitWithTwo) {
    ASSERT_EQ(run({"create", path("A.DBF"), "ID:integer"}).code, 0);
    write("junk.dbf", "to nie jest tabela");
    write("short.dbf", std::string("\x03\x7c\x01\x01\x05\x00\x00\x00\xff\x7f\x02\x00", 12) +
                           std::string(40, ' '));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frob"},
        {"info"},
        {"info", "--json"},
        {"info", path("A.DBF"), "nadmiarowy"},
        {"info", "--xml", path("A.DBF")},
        {"info", path("NIEMA.DBF")},
        {"info", path("junk.dbf")},
        {"export", path("short.dbf")},
        {"create", path("N.DBF")},
        {"create", path("N.DBF"), "A:float"},
        {"create", path("N.DBF"), "A:string"},
        {"create", path("N.DBF"), "A:string:0"},
        {"create", path("N.DBF"), "A:string:255"},
        {"create", path("N.DBF"), "A:integer:4"},
        {"create", path("N.DBF"), "ZA_DLUGA_NAZWA:integer"},
        {"create", path("N.DBF"), "A:integer", "--index", "bez_klucza"},
        {"create", path("N.DBF"), "A:integer", "--index", "AI=NIEMA"},
        {"create", path("N.DBF"), "A:integer", "--index"},
        {"create", path("A.DBF"), "X:integer"},
        {"import", path("A.DBF")},
        {"import", path("A.DBF"), path("niema.csv")},
        {"sql", dir},
        {"sql", path("niema"), "select 1"},
        {"sql", dir, "select 1", "--param", "bez_rownasie"},
        {"check", path("NIEMA.DBF")},
        {"check", path("A.DBF"), "--repair=tak"},
        {"pack"},
        {"reindex", path("A.DBF"), path("A.DBF")},
    };
    for (const auto& args : cases) {
        Result r = run(args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(r.code, 2) << shown << "\n" << r.out;
        EXPECT_FALSE(r.err.empty()) << shown;
    }
    EXPECT_FALSE(fs::exists(path("N.DBF")));
    EXPECT_FALSE(fs::exists(path("N.MDX")));

    Result help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.starts_with("Użycie: pulpex-db")) << help.out;
    Result none = run({});
    EXPECT_TRUE(none.err.starts_with("Użycie: pulpex-db")) << none.err;
}
