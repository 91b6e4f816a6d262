#include "commands.h"

#include "tables/engine/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

#include "csv.h"
#include "tables/engine/codepage.h"
#include "tables/engine/dbf_header.h"
#include "tables/engine/error.h"
#include "tables/engine/fileio.h"
#include "tables/engine/query.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"

namespace pulpex::tools {

using engine::EDatabaseError;
using engine::FieldInfo;
using engine::FieldType;
using engine::iequals;
using engine::Table;
using engine::trimBlanks;

const char* const kUsage =
    "Użycie: pulpex-db POLECENIE [ARGUMENTY]\n"
    "\n"
    "Przeglądanie i naprawa tabel dBase katalogu danych Pulpex.\n"
    "\n"
    "Polecenia:\n"
    "  info [--json] PLIK.DBF\n"
    "      opis tabeli: wersja, sterownik języka, liczba rekordów, pola, indeksy\n"
    "  create PLIK.DBF NAZWA:TYP[:ROZMIAR]... [--index NAZWA=KLUCZ[,descending][,nocase]]...\n"
    "      tworzy tabelę; typy: string (z rozmiarem), integer, boolean, date, time,\n"
    "      datetime, memo, graphic, autoinc\n"
    "  export PLIK.DBF\n"
    "      wypisuje rekordy jako CSV (UTF-8, RFC 4180) z wierszem nazw pól\n"
    "  import PLIK.DBF WIERSZE.csv\n"
    "      dopisuje wiersze pliku CSV (UTF-8); pierwszy wiersz podaje nazwy pól;\n"
    "      wszystkie wiersze albo żaden: błąd w którymkolwiek nie dopisuje niczego\n"
    "  sql KATALOG ZAPYTANIE [--param NAZWA=WARTOŚĆ]...\n"
    "      wykonuje zapytanie SELECT lokalnego SQL na tabelach katalogu, wynik jako CSV\n"
    "  check PLIK.DBF [--repair]\n"
    "      sprawdza tabelę, plik memo i indeksy; z --repair naprawia je\n"
    "  reindex PLIK.DBF\n"
    "      odbudowuje indeksy\n"
    "  pack PLIK.DBF\n"
    "      usuwa z pliku skasowane rekordy\n"
    "\n"
    "Polecenia check --repair, reindex i pack otwierają tabelę na wyłączność.\n"
    "Wartości logiczne w CSV to T i F (puste: nieznane), daty RRRR-MM-DD, pola graficzne\n"
    "w base64, czas GG:MM[:SS], data z czasem RRRR-MM-DD GG:MM[:SS].\n"
    "\n"
    "Kod wyjścia: 0 — powodzenie, 1 — check znalazł uszkodzenia, 2 — błędne argumenty,\n"
    "brakujące lub uszkodzone pliki, błędne dane.\n";

std::string plural(std::uint64_t n, const char* one, const char* few, const char* many) {
    if (n == 1) return one;
    const std::uint64_t tens = n % 100, units = n % 10;
    if (units >= 2 && units <= 4 && !(tens >= 12 && tens <= 14)) return few;
    return many;
}

namespace {

std::string count(std::uint64_t n, const char* one, const char* few, const char* many) {
    return std::to_string(n) + " " + plural(n, one, few, many);
}

std::string quoted(std::string_view s) {
    return "„" + std::string(s) + "”";
}

// --- Command-line arguments

struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // name without "--", value

    bool has(std::string_view name) const {
        for (const auto& o : options)
            if (o.first == name) return true;
        return false;
    }
};

// Options may stand anywhere after the command; "--" ends them. A valued option takes the next
// argument or the text after "=".
Args parseArgs(const std::vector<std::string>& args, std::string_view command,
               std::initializer_list<std::string_view> flags,
               std::initializer_list<std::string_view> valued) {
    Args r;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            r.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a.substr(2), value;
        bool inlineValue = false;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        bool isFlag = false, isValued = false;
        for (auto f : flags)
            isFlag = isFlag || f == name;
        for (auto v : valued)
            isValued = isValued || v == name;
        if (isFlag) {
            if (inlineValue) throw UsageError("opcja --" + name + " nie przyjmuje wartości");
            r.options.emplace_back(name, "");
        } else if (isValued) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw UsageError("opcja --" + name + " wymaga wartości");
                value = args[++i];
            }
            r.options.emplace_back(name, value);
        } else {
            throw UsageError("nieznana opcja " + quoted(a) + " polecenia " + std::string(command));
        }
    }
    return r;
}

void expectPositional(const Args& a, std::size_t n, std::string_view command,
                      std::string_view what) {
    if (a.positional.size() != n)
        throw UsageError("polecenie " + std::string(command) +
                         " wymaga argumentów: " + std::string(what));
}

// --- Files

std::string dirOf(const std::string& path) {
    auto p = path.find_last_of('/');
    if (p == std::string::npos) return ".";
    return p == 0 ? "/" : path.substr(0, p);
}

std::string baseOf(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The table file the argument names (its case need not match), or ToolError when there is
// none: the engine would say the same, but this way a missing file is never taken for damage.
std::string existingTable(const std::string& arg) {
    if (isRegularFile(arg)) return arg;
    std::string r = Table::resolve(dirOf(arg), baseOf(arg));
    if (isRegularFile(r)) return r;
    throw ToolError("Nie znaleziono tabeli " + arg);
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError("Nie można otworzyć pliku " + path + ": " + engine::systemErrorText(errno));
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) throw ToolError("Błąd odczytu pliku " + path);
    return std::move(s).str();
}

std::string tableName(const Table& t) {
    std::string b = baseOf(t.path());
    auto dot = b.find_last_of('.');
    if (dot != std::string::npos) b.resize(dot);
    for (char& c : b)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return b;
}

// Fails when standard output could not take everything (a full disk, a closed pipe).
int finishOutput(std::ostream& out) {
    out.flush();
    if (!out) throw ToolError("Błąd zapisu wyniku na standardowe wyjście");
    return kExitOk;
}

// --- info

std::string hexByte(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}

std::string jsonString(std::string_view s) {
    std::string r = "\"";
    for (char c : s) {
        switch (c) {
            case '"':
                r += "\\\"";
                break;
            case '\\':
                r += "\\\\";
                break;
            case '\n':
                r += "\\n";
                break;
            case '\r':
                r += "\\r";
                break;
            case '\t':
                r += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                    r += buf;
                } else {
                    r += c;
                }
        }
    }
    return r + "\"";
}

}  // namespace

int cmdInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "info", {"json"}, {});
    expectPositional(a, 1, "info", "[--json] PLIK.DBF");
    auto t = Table::open(existingTable(a.positional[0]), {.readOnly = true});
    const auto& fields = t->fields();
    const auto tags = t->tags();
    const std::uint64_t records = t->recordCount();
    if (a.has("json")) {
        out << "{\"version\":" << unsigned{t->version()}
            << ",\"language_driver\":" << unsigned{t->languageDriver()}
            << ",\"records\":" << records
            << ",\"production_index\":" << (t->hasProductionIndex() ? "true" : "false")
            << ",\"fields\":[";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldInfo& f = fields[i];
            out << (i ? "," : "") << "{\"name\":" << jsonString(f.name)
                << ",\"type\":" << jsonString(std::string(1, f.dbfType)) << ",\"size\":" << f.size
                << ",\"decimals\":" << f.decimals << "}";
        }
        out << "],\"tags\":[";
        for (std::size_t i = 0; i < tags.size(); ++i) {
            out << (i ? "," : "") << "{\"name\":" << jsonString(tags[i].name)
                << ",\"key\":" << jsonString(tags[i].key)
                << ",\"descending\":" << (tags[i].descending ? "true" : "false")
                << ",\"nocase\":" << (tags[i].nocase ? "true" : "false") << "}";
        }
        out << "]}\n";
        return finishOutput(out);
    }
    out << "Tabela:             " << t->path() << "\n"
        << "Wersja:             " << hexByte(t->version()) << "\n"
        << "Sterownik języka:   " << hexByte(t->languageDriver()) << " (strona kodowa "
        << t->codePage().number() << ")\n"
        << "Liczba rekordów:    " << records << "\n"
        << "Indeks produkcyjny: " << (t->hasProductionIndex() ? "tak" : "nie") << "\n"
        << "Pola (" << fields.size() << "):\n";
    char line[96];
    for (const FieldInfo& f : fields) {
        std::snprintf(line, sizeof line, "  %-10s  %c  %3d  %2d\n", f.name.c_str(), f.dbfType,
                      f.size, f.decimals);
        out << line;
    }
    out << "Indeksy (" << tags.size() << "):\n";
    for (const auto& tg : tags) {
        std::snprintf(line, sizeof line, "  %-10s  ", tg.name.c_str());
        out << line << tg.key;
        if (tg.descending && tg.nocase)
            out << "  (malejący, bez rozróżniania wielkości liter)";
        else if (tg.descending)
            out << "  (malejący)";
        else if (tg.nocase)
            out << "  (bez rozróżniania wielkości liter)";
        out << "\n";
    }
    return finishOutput(out);
}

// --- create

namespace {

std::optional<int> parseInt(std::string_view s) {
    int v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

engine::FieldDef parseFieldSpec(const std::string& spec) {
    static const std::pair<const char*, FieldType> kTypes[] = {
        {"string", FieldType::String},   {"integer", FieldType::Integer},
        {"boolean", FieldType::Boolean}, {"date", FieldType::Date},
        {"time", FieldType::Time},       {"datetime", FieldType::DateTime},
        {"memo", FieldType::Memo},       {"graphic", FieldType::Graphic},
        {"autoinc", FieldType::AutoInc},
    };
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        auto colon = spec.find(':', start);
        parts.push_back(spec.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty())
        throw UsageError("niepoprawny opis pola " + quoted(spec) +
                         " (oczekiwano NAZWA:TYP albo NAZWA:string:ROZMIAR)");
    engine::FieldDef def;
    def.name = parts[0];
    bool known = false;
    for (const auto& [name, type] : kTypes) {
        if (iequals(parts[1], name)) {
            def.type = type;
            known = true;
        }
    }
    if (!known)
        throw UsageError("nieznany typ pola " + quoted(parts[1]) + " w " + quoted(spec) +
                         " (typy: string, integer, boolean, date, time, datetime, memo, "
                         "graphic, autoinc)");
    if (def.type == FieldType::String) {
        if (parts.size() != 3)
            throw UsageError("pole tekstowe " + def.name +
                             " wymaga rozmiaru (NAZWA:string:ROZMIAR)");
        auto size = parseInt(parts[2]);
        if (!size || *size < 1 || *size > 254)
            throw UsageError("niepoprawny rozmiar pola " + def.name + ": " + quoted(parts[2]) +
                             " (1–254)");
        def.size = *size;
    } else if (parts.size() == 3) {
        // Memo and graphic fields are 10 bytes in the file; saying so is harmless.
        const bool blob = def.type == FieldType::Memo || def.type == FieldType::Graphic;
        if (!blob || parts[2] != "10")
            throw UsageError("pole " + def.name + " typu " + parts[1] + " nie przyjmuje rozmiaru");
        def.size = 10;
    }
    return def;
}

engine::IndexDef parseIndexSpec(const std::string& spec) {
    auto eq = spec.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == spec.size())
        throw UsageError("niepoprawny opis indeksu " + quoted(spec) +
                         " (oczekiwano NAZWA=KLUCZ[,descending][,nocase])");
    engine::IndexDef def;
    def.name = spec.substr(0, eq);
    std::string key = spec.substr(eq + 1);
    // Options are taken from the end only, so that a key expression may hold commas.
    for (;;) {
        auto comma = key.find_last_of(',');
        if (comma == std::string::npos) break;
        std::string_view opt = trimBlanks(std::string_view(key).substr(comma + 1));
        if (iequals(opt, "descending"))
            def.descending = true;
        else if (iequals(opt, "nocase"))
            def.nocase = true;
        else
            break;
        key.resize(comma);
    }
    def.key = std::string(trimBlanks(key));
    if (def.key.empty()) throw UsageError("indeks " + def.name + " nie ma klucza");
    return def;
}

}  // namespace

int cmdCreate(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "create", {}, {"index"});
    if (a.positional.size() < 2)
        throw UsageError(
            "polecenie create wymaga argumentów: PLIK.DBF NAZWA:TYP[:ROZMIAR]... "
            "[--index NAZWA=KLUCZ[,descending][,nocase]]...");
    std::vector<engine::FieldDef> fields;
    for (std::size_t i = 1; i < a.positional.size(); ++i)
        fields.push_back(parseFieldSpec(a.positional[i]));
    std::vector<engine::IndexDef> indexes;
    for (const auto& [name, value] : a.options)
        indexes.push_back(parseIndexSpec(value));
    Table::create(a.positional[0], fields, indexes);
    out << "Utworzono tabelę " << a.positional[0] << " ("
        << count(fields.size(), "pole", "pola", "pól") << ", "
        << count(indexes.size(), "indeks", "indeksy", "indeksów") << ")\n";
    return finishOutput(out);
}

// --- export

int cmdExport(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "export", {}, {});
    expectPositional(a, 1, "export", "PLIK.DBF");
    auto t = Table::open(existingTable(a.positional[0]), {.readOnly = true});
    const auto& fields = t->fields();
    std::vector<std::string> row;
    for (const auto& f : fields)
        row.push_back(f.name);
    writeCsvRecord(out, row);
    for (t->first(); !t->eof(); t->next()) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int f = static_cast<int>(i);
            if (fields[i].type == FieldType::Graphic)
                row[i] = base64Encode(t->readBlob(f));
            else
                row[i] = t->asText(f);
        }
        writeCsvRecord(out, row);
        if (!out) break;
    }
    return finishOutput(out);
}

// --- import

namespace {

bool isIntegerText(std::string_view s) {
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// "H:MM", "HH:MM" or "HH:MM:SS" with an optional fraction of up to three digits.
bool isTimeText(std::string_view s) {
    auto digits = [&](std::size_t from, std::size_t n, int max) {
        if (from + n > s.size()) return false;
        int v = 0;
        for (std::size_t i = from; i < from + n; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            v = v * 10 + (s[i] - '0');
        }
        return v <= max;
    };
    const std::size_t h = s.find(':');
    if (h != 1 && h != 2) return false;
    if (!digits(0, h, 23) || !digits(h + 1, 2, 59)) return false;
    std::size_t at = h + 3;
    if (at == s.size()) return true;
    if (s[at] != ':' || !digits(at + 1, 2, 59)) return false;
    at += 3;
    if (at == s.size()) return true;
    if ((s[at] != '.' && s[at] != ',') || s.size() - at - 1 < 1 || s.size() - at - 1 > 3)
        return false;
    return digits(at + 1, s.size() - at - 1, 999);
}

// Time and date-time fields are character fields in a dBase IV file; the engine marks them in
// a reserved byte of their descriptor when it creates the table.
enum class Kind { Plain, Time, DateTime };
std::vector<Kind> fieldKinds(const Table& t) {
    std::vector<Kind> kinds(t.fields().size(), Kind::Plain);
    const int fd = ::open(t.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kinds;
    std::vector<unsigned char> h(32 + 32 * kinds.size());
    const bool read = ::pread(fd, h.data(), h.size(), 0) == static_cast<ssize_t>(h.size());
    ::close(fd);
    if (!read || h[0] == 0x04 || h[0] == 0x8C) return kinds;  // level 7 has its own letters
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const unsigned char* d = h.data() + 32 + 32 * i;
        if (d[11] != 'C') continue;
        if (d[engine::kDescTextKind] == engine::kTextKindTime) kinds[i] = Kind::Time;
        if (d[engine::kDescTextKind] == engine::kTextKindDateTime) kinds[i] = Kind::DateTime;
    }
    return kinds;
}

// Refuses what the engine would otherwise accept with a loss or store as nonsense: a fraction
// rounded into an integer field, a text cut to the field's width, an impossible time or
// date-time in a character field, bad base64, a character the code page cannot hold. Checks
// only: nothing is written.
void checkImported(const Table& t, int field, Kind kind, const std::string& value) {
    const FieldInfo& f = t.fields()[static_cast<std::size_t>(field)];
    const std::string_view v = trimBlanks(value);
    switch (f.type) {
        case FieldType::Graphic:
            if (!value.empty() && !base64Decode(value))
                throw EDatabaseError("niepoprawny zapis base64 w polu " + f.name);
            return;
        case FieldType::Memo: {
            std::string bytes;
            if (!t.codePage().encode(value, bytes))
                throw EDatabaseError("Tekst " + quoted(value) + " w polu " + f.name +
                                     " zawiera znak, którego nie ma w stronie kodowej tabeli");
            return;
        }
        case FieldType::Integer:
        case FieldType::AutoInc:
            if (!v.empty() && f.decimals == 0 && !isIntegerText(v))
                throw EDatabaseError("Niepoprawna liczba całkowita " + quoted(value) + " w polu " +
                                     f.name);
            return;
        default:
            break;
    }
    if (f.dbfType != 'C') return;
    if (!v.empty() && kind == Kind::Time && !isTimeText(v))
        throw EDatabaseError("Niepoprawny czas " + quoted(value) + " w polu " + f.name +
                             " (oczekiwano GG:MM lub GG:MM:SS)");
    if (!v.empty() && kind == Kind::DateTime && engine::DateTime::parse(v).isNull())
        throw EDatabaseError("Niepoprawna data i czas " + quoted(value) + " w polu " + f.name +
                             " (oczekiwano RRRR-MM-DD GG:MM:SS)");
    std::string bytes;
    std::string_view text = value;
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!t.codePage().encode(text, bytes))
        throw EDatabaseError("Tekst " + quoted(value) + " w polu " + f.name +
                             " zawiera znak, którego nie ma w stronie kodowej tabeli");
    if (bytes.size() > static_cast<std::size_t>(f.size))
        throw EDatabaseError("Tekst " + quoted(value) + " ma " + std::to_string(bytes.size()) +
                             " znaków, a pole " + f.name + " mieści " + std::to_string(f.size));
}

// Puts one checked CSV value into the field of the row being inserted.
void setImported(Table& t, int field, const std::string& value) {
    const FieldInfo& f = t.fields()[static_cast<std::size_t>(field)];
    switch (f.type) {
        case FieldType::Graphic:
            if (!value.empty()) t.writeBlob(field, *base64Decode(value));
            return;
        case FieldType::Memo:
            if (!value.empty()) t.setText(field, value);
            return;
        default:
            t.setText(field, value);
    }
}

// The 1-based line of the first byte that is not part of well-formed UTF-8, or 0.
std::size_t firstBadUtf8Line(std::string_view s) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\n') ++line;
        std::size_t n;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3, cp = c & 0x07;
        } else {
            return line;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return line;
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return line;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return line;
        i += n + 1;
    }
    return 0;
}

}  // namespace

int cmdImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Args a = parseArgs(args, "import", {}, {});
    expectPositional(a, 2, "import", "PLIK.DBF WIERSZE.csv");
    const std::string& csvPath = a.positional[1];
    const std::string text = readWholeFile(csvPath);
    if (const std::size_t bad = firstBadUtf8Line(text))
        throw ToolError("Plik " + csvPath + " nie jest zapisany w UTF-8 (wiersz " +
                        std::to_string(bad) +
                        "); zapisz go w kodowaniu UTF-8; nic nie zaimportowano");

    // The whole file is read and checked for its shape before anything is written.
    std::vector<CsvRecord> records;
    try {
        CsvReader reader(text);
        CsvRecord r;
        while (reader.next(r))
            records.push_back(std::move(r));
    } catch (const CsvError& e) {
        throw ToolError("Błąd w pliku " + csvPath + ", wiersz " + std::to_string(e.line()) + ": " +
                        e.what());
    }
    if (records.empty())
        throw ToolError("Plik " + csvPath + " jest pusty: brak wiersza z nazwami pól");

    auto t = Table::open(existingTable(a.positional[0]));
    const std::vector<std::string>& header = records.front().fields;
    std::vector<int> columns;
    for (const std::string& name : header) {
        std::string_view n = trimBlanks(name);
        const int f = t->fieldIndex(n);
        if (f < 0)
            throw ToolError("Nieznane pole " + quoted(n) + " w wierszu nagłówka pliku " + csvPath +
                            ": tabela " + tableName(*t) + " nie ma takiego pola");
        for (int c : columns)
            if (c == f)
                throw ToolError("Pole " + t->fields()[static_cast<std::size_t>(f)].name +
                                " występuje w wierszu nagłówka pliku " + csvPath +
                                " więcej niż raz");
        columns.push_back(f);
    }
    auto fail = [&](const CsvRecord& rec, std::size_t c, const std::string& what) {
        err << "pulpex-db: błąd w pliku " << csvPath << ", wiersz " << rec.line;
        if (c < columns.size())
            err << ", pole " << t->fields()[static_cast<std::size_t>(columns[c])].name;
        err << ": " << what << "\nNic nie zaimportowano.\n";
        return kExitError;
    };
    // Every row is checked before the first is appended: a file that fails at some row must
    // leave the table as it was, or importing the corrected file again would repeat rows.
    const std::vector<Kind> kinds = fieldKinds(*t);
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        if (rec.fields.size() != columns.size())
            throw ToolError("Błąd w pliku " + csvPath + ", wiersz " + std::to_string(rec.line) +
                            ": " + count(rec.fields.size(), "pole", "pola", "pól") +
                            ", a nagłówek ma " + count(columns.size(), "pole", "pola", "pól") +
                            "; nic nie zaimportowano");
        // The engine's own parsing (dates, numbers, logical values) runs on a row that is
        // never posted; memo and graphic fields, which would write their file at once, are only
        // checked.
        t->append();
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const int f = columns[c];
            try {
                checkImported(*t, f, kinds[static_cast<std::size_t>(f)], rec.fields[c]);
                const FieldType type = t->fields()[static_cast<std::size_t>(f)].type;
                if (type != FieldType::Memo && type != FieldType::Graphic)
                    t->setText(f, rec.fields[c]);
            } catch (const EDatabaseError& e) {
                t->cancel();
                return fail(rec, c, e.what());
            }
        }
        t->cancel();
    }

    // What the checks cannot foresee (a full disk, a value the engine still refuses) takes back
    // the rows appended so far.
    std::vector<std::uint32_t> appended;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        std::size_t c = 0;
        try {
            t->append();
            for (; c < columns.size(); ++c)
                setImported(*t, columns[c], rec.fields[c]);
            c = columns.size();
            t->post();
            appended.push_back(t->recno());
        } catch (const EDatabaseError& e) {
            t->cancel();
            std::uint64_t left = 0;
            for (std::uint32_t n : appended) {
                try {
                    t->gotoRecno(n);
                    t->deleteRecord();
                } catch (const EDatabaseError&) {
                    ++left;
                }
            }
            const int code = fail(rec, c, e.what());
            if (left > 0)
                err << "Uwaga: nie udało się wycofać "
                    << count(left, "dopisanego wiersza", "dopisanych wierszy", "dopisanych wierszy")
                    << "\n";
            return code;
        }
    }
    out << "Zaimportowano " << count(appended.size(), "wiersz", "wiersze", "wierszy")
        << " do tabeli " << tableName(*t) << "\n";
    return finishOutput(out);
}

// --- sql

namespace {

// "12" and "-3" bind as integers, everything else as text.
engine::Value paramValue(const std::string& text) {
    std::int64_t v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (!text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size()) return v;
    return text;
}

// SQLite reports in English; the common reports are said in Polish, anything else is passed on.
std::string polishSqlMessage(std::string_view m) {
    static const std::pair<std::string_view, std::string_view> kPrefixes[] = {
        {"no such column: ", "nie ma takiego pola: "},
        {"no such table: ", "nie ma takiej tabeli: "},
        {"no such function: ", "nie ma takiej funkcji: "},
        {"ambiguous column name: ", "niejednoznaczna nazwa pola: "},
        {"wrong number of arguments to function ", "zła liczba argumentów funkcji "},
        {"incomplete input", "niepełne zapytanie"},
        {"unrecognized token: ", "nierozpoznany fragment: "},
    };
    for (const auto& [en, pl] : kPrefixes)
        if (m.starts_with(en)) return std::string(pl) + std::string(m.substr(en.size()));
    constexpr std::string_view nearLead = "near \"", nearTail = "\": syntax error";
    if (m.starts_with(nearLead) && m.ends_with(nearTail))
        return "błąd składni przy " +
               quoted(m.substr(nearLead.size(), m.size() - nearLead.size() - nearTail.size()));
    return std::string(m);
}

// The first word of the statement, after blanks, comments and opening parentheses.
std::string firstWord(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '(') {
            ++i;
        } else if (sql.substr(i, 2) == "--") {
            i = sql.find('\n', i);
            if (i == std::string_view::npos) return {};
        } else if (sql.substr(i, 2) == "/*") {
            i = sql.find("*/", i + 2);
            if (i == std::string_view::npos) return {};
            i += 2;
        } else {
            break;
        }
    }
    std::string w;
    while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
        w += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return w;
}

}  // namespace

int cmdSql(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "sql", {}, {"param"});
    expectPositional(a, 2, "sql", "KATALOG ZAPYTANIE [--param NAZWA=WARTOŚĆ]...");
    const std::string& dir = a.positional[0];
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ToolError("Nie znaleziono katalogu " + dir);
    std::vector<std::pair<std::string, engine::Value>> params;
    for (const auto& [opt, value] : a.options) {
        auto eq = value.find('=');
        std::string name = value.substr(0, eq);
        if (!name.empty() && name.front() == ':') name.erase(0, 1);
        if (eq == std::string::npos || name.empty())
            throw UsageError("niepoprawny parametr " + quoted(value) +
                             " (oczekiwano --param NAZWA=WARTOŚĆ)");
        params.emplace_back(name, paramValue(value.substr(eq + 1)));
    }
    // The tool reads; changing the tables is the program's work, with its checks and its log.
    if (const std::string w = firstWord(a.positional[1]); w != "SELECT")
        throw ToolError("Polecenie sql wykonuje tylko zapytania SELECT" +
                        (w.empty() ? std::string() : "; " + quoted(w) + " nie zostało wykonane"));
    engine::Query q(dir);
    try {
        q.setSql(a.positional[1]);
        for (const auto& [name, value] : params)
            q.setParam(name, value);
        q.open();
    } catch (const EDatabaseError& e) {
        const std::string_view lead = "Błąd zapytania SQL: ";
        const std::string_view m = e.what();
        if (!m.starts_with(lead)) throw;
        throw ToolError(std::string(lead) + polishSqlMessage(m.substr(lead.size())));
    }
    const auto& fields = q.fields();
    std::vector<std::string> row;
    for (const auto& f : fields)
        row.push_back(f.name);
    writeCsvRecord(out, row);
    for (q.first(); !q.eof(); q.next()) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            // Bytes of graphic fields go as base64, as export writes them.
            const int f = static_cast<int>(i);
            row[i] =
                fields[i].type == FieldType::Graphic ? base64Encode(q.readBlob(f)) : q.asText(f);
        }
        writeCsvRecord(out, row);
        if (!out) break;
    }
    return finishOutput(out);
}

// --- check

namespace {

// The header's record count and the file size as they are before the engine opens the table,
// to tell the administrator what the open put right.
struct RawTableState {
    bool known = false;
    std::uint32_t count = 0;
    std::uint64_t size = 0;
    bool consistent = true;
};

RawTableState rawState(const std::string& path) {
    RawTableState s;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return s;
    unsigned char h[12];
    struct stat st {};
    if (::pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) && ::fstat(fd, &st) == 0) {
        s.count = std::uint32_t{h[4]} | std::uint32_t{h[5]} << 8 | std::uint32_t{h[6]} << 16 |
                  std::uint32_t{h[7]} << 24;
        const std::uint64_t headerLength = h[8] | h[9] << 8;
        const std::uint64_t recordLength = h[10] | h[11] << 8;
        s.size = static_cast<std::uint64_t>(st.st_size);
        if (recordLength > 0 && headerLength <= s.size) {
            s.known = true;
            const std::uint64_t body = s.size - headerLength;
            s.consistent = body / recordLength == s.count && body % recordLength <= 1;
        }
    }
    ::close(fd);
    return s;
}

void printList(std::ostream& out, const char* title, const std::vector<std::string>& items) {
    if (items.empty()) return;
    out << title << "\n";
    for (const auto& i : items)
        out << "  - " << i << "\n";
}

}  // namespace

int cmdCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "check", {"repair"}, {});
    expectPositional(a, 1, "check", "PLIK.DBF [--repair]");
    const bool repair = a.has("repair");
    const std::string path = existingTable(a.positional[0]);
    if (::access(path.c_str(), R_OK) != 0 || (repair && ::access(path.c_str(), W_OK) != 0))
        throw ToolError("Brak dostępu do pliku " + path + ": " + engine::systemErrorText(errno));
    // Without write access the check still reads everything; only the repairs on open are off.
    const bool readOnly = !repair && ::access(path.c_str(), W_OK) != 0;

    const RawTableState before = rawState(path);
    std::unique_ptr<Table> t;
    try {
        Table::OpenOptions options;
        options.exclusive = repair;
        options.repairIndex = repair;
        options.readOnly = readOnly;
        t = Table::open(path, options);
    } catch (const EDatabaseError& e) {
        // A table in use by others is no damage: that is a failure of the command.
        if (e.reason() == EDatabaseError::Reason::Locked) throw;
        out << "Nie można otworzyć tabeli: " << e.what() << "\n";
        if (!repair) out << "Naprawa: pulpex-db check " << a.positional[0] << " --repair\n";
        return kExitDamage;
    }
    const std::string name = tableName(*t);

    // The open itself cuts a partly written last record and corrects the header's count.
    if (before.known && !before.consistent) {
        const RawTableState after = rawState(path);
        if (after.count != before.count)
            out << "Przy otwarciu poprawiono liczbę rekordów w nagłówku z " << before.count
                << " na " << after.count << "\n";
        if (after.size < before.size) out << "Przy otwarciu usunięto niepełny ostatni rekord\n";
    }
    if (t->indexRebuilt()) {
        out << "Plik indeksu był uszkodzony lub go brakowało; odbudowano go przy otwarciu\n";
        // The tag definitions live only in the index file; when it is unreadable they are gone.
        if (t->tags().empty())
            out << "Uwaga: z uszkodzonego pliku indeksu nie dało się odczytać definicji "
                   "indeksów; tabela nie ma teraz indeksów i trzeba je utworzyć ponownie\n";
    }

    Table::CheckReport report = t->check(repair);
    if (!repair) {
        if (report.problems.empty()) {
            out << "OK\n";
            return finishOutput(out);
        }
        printList(out, ("Uszkodzenia tabeli " + name + ":").c_str(), report.problems);
        out << "Naprawa: pulpex-db check " << a.positional[0] << " --repair\n";
        finishOutput(out);
        return kExitDamage;
    }
    printList(out, ("Uszkodzenia tabeli " + name + ":").c_str(), report.problems);
    printList(out, "Naprawiono:", report.repairs);
    // A repair counts only when the files, opened afresh, pass the check.
    t.reset();
    Table::CheckReport again;
    try {
        again = Table::open(path, {.exclusive = true})->check(false);
    } catch (const EDatabaseError& e) {
        out << "Po naprawie tabela nadal nie daje się otworzyć: " << e.what() << "\n";
        finishOutput(out);
        return kExitDamage;
    }
    if (!again.problems.empty()) {
        printList(out, "Po naprawie nadal:", again.problems);
        finishOutput(out);
        return kExitDamage;
    }
    out << "OK\n";
    return finishOutput(out);
}

// --- reindex, pack

int cmdReindex(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "reindex", {}, {});
    expectPositional(a, 1, "reindex", "PLIK.DBF");
    // Rebuilding is the cure for a damaged index, so such an index must not stop the open.
    auto t = Table::open(existingTable(a.positional[0]), {.exclusive = true, .repairIndex = true});
    if (!t->indexRebuilt()) t->reindex();
    out << "Odbudowano indeksy tabeli " << tableName(*t) << " ("
        << count(t->tags().size(), "indeks", "indeksy", "indeksów") << ", "
        << count(t->recordCount(), "rekord", "rekordy", "rekordów") << ")\n";
    return finishOutput(out);
}

int cmdPack(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    Args a = parseArgs(args, "pack", {}, {});
    expectPositional(a, 1, "pack", "PLIK.DBF");
    const std::string path = existingTable(a.positional[0]);
    const RawTableState before = rawState(path);
    auto t = Table::open(path, {.exclusive = true});
    t->pack();
    const std::uint64_t left = t->recordCount();
    out << "Spakowano tabelę " << tableName(*t) << ": ";
    if (before.known && before.count >= left)
        out << "usunięto " << count(before.count - left, "rekord", "rekordy", "rekordów") << ", ";
    out << "pozostało " << count(left, "rekord", "rekordy", "rekordów") << "\n";
    return finishOutput(out);
}

// --- Dispatch

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return kExitError;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return finishOutput(out);
    }
    using Handler = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    static const std::pair<const char*, Handler> kCommands[] = {
        {"info", cmdInfo}, {"create", cmdCreate}, {"export", cmdExport},   {"import", cmdImport},
        {"sql", cmdSql},   {"check", cmdCheck},   {"reindex", cmdReindex}, {"pack", cmdPack},
    };
    try {
        for (const auto& [name, handler] : kCommands) {
            if (command == name) {
                const std::vector<std::string> rest(args.begin() + 1, args.end());
                for (const auto& r : rest)
                    if (r == "--help") {
                        out << kUsage;
                        return finishOutput(out);
                    }
                return handler(rest, out, err);
            }
        }
        throw UsageError("nieznane polecenie " + quoted(command));
    } catch (const UsageError& e) {
        err << "pulpex-db: " << e.what() << "\n"
            << "Opis poleceń: pulpex-db --help\n";
    } catch (const EDatabaseError& e) {
        err << "pulpex-db: " << e.what() << "\n";
    } catch (const ToolError& e) {
        err << "pulpex-db: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "pulpex-db: brak pamięci\n";
    } catch (const std::exception& e) {
        err << "pulpex-db: nieoczekiwany błąd: " << e.what() << "\n";
    }
    return kExitError;
}

}  // namespace pulpex::tools
