#include "sql_dialect.h"
#include "text.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "error.h"
#include "value.h"

namespace pulpex::engine {

namespace {

enum class Tok {
    Space,
    Comment,
    SQuote,  // 'text'
    DQuote,  // "text": a literal of the dialect, or a table file after FROM
    Word,    // bare identifier or keyword
    QIdent,  // [name] or `name`
    Number,
    Param,  // :name, @name, $name, ?NNN
    Punct,
};

struct Token {
    Tok kind;
    std::size_t begin, end;
};

bool isWordStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool isWordChar(unsigned char c) {
    return isWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto u = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < n) {
        const std::size_t b = i;
        const unsigned char c = u(i);
        Tok kind = Tok::Punct;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                             s[i] == '\f' || s[i] == '\v'))
                ++i;
            kind = Tok::Space;
        } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            while (i < n && s[i] != '\n')
                ++i;
            kind = Tok::Comment;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            auto e = s.find("*/", i + 2);
            i = e == std::string_view::npos ? n : e + 2;
            kind = Tok::Comment;
        } else if (c == '\'' || c == '"') {
            const char q = static_cast<char>(c);
            ++i;
            bool closed = false;
            while (i < n) {
                if (s[i] == q) {
                    if (i + 1 < n && s[i + 1] == q) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                ++i;
            }
            if (!closed && q == '"')
                throw EDatabaseError("Niezakończony napis w zapytaniu SQL: " +
                                     std::string(s.substr(b, std::min<std::size_t>(40, n - b))));
            kind = q == '"' ? Tok::DQuote : Tok::SQuote;
        } else if (c == '[') {
            auto e = s.find(']', i + 1);
            i = e == std::string_view::npos ? n : e + 1;
            kind = Tok::QIdent;
        } else if (c == '`') {
            ++i;
            while (i < n) {
                if (s[i] == '`') {
                    if (i + 1 < n && s[i + 1] == '`') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            kind = Tok::QIdent;
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(u(i)))
                ++i;
            kind = Tok::Word;
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(u(i + 1)))) {
            while (i < n &&
                   (isWordChar(u(i)) || s[i] == '.' ||
                    ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
                ++i;
            kind = Tok::Number;
        } else if ((c == ':' || c == '@' || c == '$') && i + 1 < n && isWordChar(u(i + 1))) {
            ++i;
            while (i < n && isWordChar(u(i)))
                ++i;
            kind = Tok::Param;
        } else if (c == '?') {
            ++i;
            while (i < n && isDigit(u(i)))
                ++i;
            kind = Tok::Param;
        } else {
            ++i;
        }
        out.push_back({kind, b, i});
    }
    return out;
}

// The content of a quoted token with its doubled quotes undone.
std::string unquote(std::string_view text) {
    if (text.size() < 2) return std::string(text);
    const char open = text.front();
    const char close = open == '[' ? ']' : open;
    std::string r;
    r.reserve(text.size());
    std::size_t end = text.back() == close ? text.size() - 1 : text.size();
    for (std::size_t i = 1; i < end; ++i) {
        r += text[i];
        if (open != '[' && text[i] == close && i + 1 < end && text[i + 1] == close) ++i;
    }
    return r;
}

std::string singleQuoted(std::string_view value) {
    std::string r;
    r.reserve(value.size() + 2);
    r += '\'';
    for (char c : value) {
        if (c == '\'') r += '\'';
        r += c;
    }
    r += '\'';
    return r;
}

std::string doubleQuotedIdent(std::string_view name) {
    std::string r = "\"";
    for (char c : name) {
        if (c == '"') r += '"';
        r += c;
    }
    r += '"';
    return r;
}

// Table name of a file name: the last path component without a .dbf extension.
std::string tableStem(std::string_view file) {
    auto slash = file.find_last_of("/\\");
    if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
    if (file.size() > 4 && iequals(file.substr(file.size() - 4), ".dbf")) file.remove_suffix(4);
    return std::string(file);
}

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> list) {
    for (auto w : list)
        if (iequals(word, w)) return true;
    return false;
}

bool endsFromList(std::string_view w) {
    return isOneOf(w, {"WHERE", "GROUP", "HAVING", "ORDER", "LIMIT", "UNION", "EXCEPT", "INTERSECT",
                       "WINDOW", "SELECT", "VALUES", "ON", "USING"});
}

bool isKeyword(std::string_view w) {
    return isOneOf(
        w, {"AND",      "OR",     "NOT",     "IS",   "NULL",  "IN",     "LIKE",      "GLOB",
            "BETWEEN",  "CASE",   "WHEN",    "THEN", "ELSE",  "END",    "COLLATE",   "ESCAPE",
            "DISTINCT", "ALL",    "AS",      "FROM", "WHERE", "GROUP",  "ORDER",     "BY",
            "HAVING",   "LIMIT",  "JOIN",    "ON",   "USING", "LEFT",   "RIGHT",     "INNER",
            "OUTER",    "CROSS",  "NATURAL", "FULL", "UNION", "EXCEPT", "INTERSECT", "WINDOW",
            "SELECT",   "VALUES", "ASC",     "DESC", "CAST",  "EXISTS", "REGEXP",    "MATCH"});
}

class Translator {
  public:
    explicit Translator(std::string_view src) : s_(src), toks_(tokenize(src)) {
        for (std::size_t i = 0; i < toks_.size(); ++i)
            if (toks_[i].kind != Tok::Space && toks_[i].kind != Tok::Comment) sig_.push_back(i);
        repl_.resize(toks_.size());
        skip_.assign(toks_.size(), false);
    }

    TranslatedSql run() {
        scan();
        TranslatedSql out;
        out.sql.reserve(s_.size() + 16);
        for (std::size_t i = 0; i < toks_.size(); ++i) {
            if (skip_[i]) continue;
            if (repl_[i])
                out.sql += *repl_[i];
            else
                out.sql.append(s_.substr(toks_[i].begin, toks_[i].end - toks_[i].begin));
        }
        out.tables = std::move(tables_);
        out.columnNames = columnNames();
        return out;
    }

  private:
    std::string_view s_;
    std::vector<Token> toks_;
    std::vector<std::size_t> sig_;  // indices of tokens that are neither blanks nor comments
    std::vector<std::optional<std::string>> repl_;
    std::vector<bool> skip_;
    std::vector<std::string> tables_;
    std::vector<int> depth_;  // paren depth of each significant token

    std::string_view text(std::size_t tok) const {
        return s_.substr(toks_[tok].begin, toks_[tok].end - toks_[tok].begin);
    }
    // Significant token k (index into sig_), or nullptr past the end.
    const Token* sigTok(std::size_t k) const { return k < sig_.size() ? &toks_[sig_[k]] : nullptr; }
    bool sigIs(std::size_t k, Tok kind, std::string_view t = {}) const {
        const Token* tk = sigTok(k);
        if (!tk || tk->kind != kind) return false;
        return t.empty() || iequals(text(sig_[k]), t);
    }

    void addTable(std::string name) {
        name = upperAscii(name);
        if (name.empty()) return;
        if (std::find(tables_.begin(), tables_.end(), name) == tables_.end())
            tables_.push_back(std::move(name));
    }

    // Replaces significant tokens [k0, k1] (and whatever lies between) by `with`.
    void replaceRange(std::size_t k0, std::size_t k1, std::string with) {
        for (std::size_t i = sig_[k0]; i <= sig_[k1]; ++i)
            skip_[i] = true;
        skip_[sig_[k0]] = false;
        repl_[sig_[k0]] = std::move(with);
    }

    // cast(<literal or parameter> as date) starting at significant token k; returns the index
    // of its closing parenthesis, or 0 when the tokens are not such a cast.
    std::size_t tryDateCast(std::size_t k) {
        if (!sigIs(k + 1, Tok::Punct, "(") || !sigIs(k + 3, Tok::Word, "AS") ||
            !sigIs(k + 4, Tok::Word, "DATE") || !sigIs(k + 5, Tok::Punct, ")"))
            return 0;
        const std::size_t lit = sig_[k + 2];
        const Tok kind = toks_[lit].kind;
        if (kind == Tok::DQuote || kind == Tok::SQuote) {
            std::string raw = unquote(text(lit));
            std::string iso = parseDialectDate(raw);
            if (iso.empty()) throw EDatabaseError("Niepoprawna data „" + raw + "” w zapytaniu SQL");
            replaceRange(k, k + 5, singleQuoted(iso));
            return k + 5;
        }
        if (kind == Tok::Param) {
            // Date parameters are bound as ISO text already; SQLite's own cast to DATE would
            // turn that text into a number.
            replaceRange(k, k + 5, std::string(text(lit)));
            return k + 5;
        }
        return 0;
    }

    void scan() {
        struct Frame {
            bool inFrom = false;
            bool expectTable = false;
        };
        std::vector<Frame> frames(1);
        depth_.assign(sig_.size(), 0);
        for (std::size_t k = 0; k < sig_.size(); ++k) {
            const std::size_t ti = sig_[k];
            const Token& t = toks_[ti];
            const std::string_view tx = text(ti);
            depth_[k] = static_cast<int>(frames.size()) - 1;
            Frame& f = frames.back();
            if (t.kind == Tok::Punct && tx == "(") {
                f.expectTable = false;
                frames.emplace_back();
                continue;
            }
            if (t.kind == Tok::Punct && tx == ")") {
                if (frames.size() > 1) frames.pop_back();
                depth_[k] = static_cast<int>(frames.size()) - 1;
                continue;
            }
            if (f.expectTable) {
                f.expectTable = false;
                if (t.kind == Tok::DQuote) {
                    std::string stem = tableStem(unquote(tx));
                    addTable(stem);
                    repl_[ti] = doubleQuotedIdent(upperAscii(stem));
                    continue;
                }
                if ((t.kind == Tok::Word && !isKeyword(tx)) || t.kind == Tok::QIdent) {
                    std::string name = t.kind == Tok::Word ? std::string(tx) : unquote(tx);
                    // NAME.DBF written bare: the file, not schema NAME's table DBF.
                    if (sigIs(k + 1, Tok::Punct, ".") && sigIs(k + 2, Tok::Word, "DBF")) {
                        replaceRange(k, k + 2, doubleQuotedIdent(upperAscii(name)));
                        for (std::size_t j = k + 1; j <= k + 2; ++j)
                            depth_[j] = depth_[k];
                        k += 2;
                    }
                    addTable(name);
                    continue;
                }
            }
            if (t.kind == Tok::Word) {
                if (iequals(tx, "FROM")) {
                    f.inFrom = true;
                    f.expectTable = true;
                    continue;
                }
                if (iequals(tx, "JOIN")) {
                    if (f.inFrom) f.expectTable = true;
                    continue;
                }
                if (endsFromList(tx)) {
                    // ON / USING end the table list only until the next JOIN or comma.
                    if (!iequals(tx, "ON") && !iequals(tx, "USING")) f.inFrom = false;
                    continue;
                }
                if (iequals(tx, "CAST")) {
                    if (std::size_t end = tryDateCast(k)) {
                        for (std::size_t j = k + 1; j <= end; ++j)
                            depth_[j] = depth_[k];
                        k = end;
                    }
                    continue;
                }
                continue;
            }
            if (t.kind == Tok::Punct && tx == "," && f.inFrom) {
                f.expectTable = true;
                continue;
            }
            if (t.kind == Tok::DQuote) repl_[ti] = singleQuoted(unquote(tx));
        }
    }

    // Names of the outer select list (see TranslatedSql::columnNames).
    std::vector<std::string> columnNames() const {
        std::size_t k = 0;
        while (k < sig_.size() && !(depth_[k] == 0 && sigIs(k, Tok::Word, "SELECT")))
            ++k;
        if (k == sig_.size()) return {};
        ++k;
        while (k < sig_.size() && (sigIs(k, Tok::Word, "DISTINCT") || sigIs(k, Tok::Word, "ALL")))
            ++k;
        std::vector<std::string> names;
        std::vector<std::size_t> item;
        auto finish = [&]() -> bool {
            if (item.empty()) return false;
            names.push_back(itemName(item));
            const std::size_t n = item.size();
            const bool star = sigIs(item[n - 1], Tok::Punct, "*") &&
                              (n == 1 || sigIs(item[n - 2], Tok::Punct, "."));
            item.clear();
            return !star;
        };
        for (; k < sig_.size(); ++k) {
            if (depth_[k] == 0) {
                if (sigIs(k, Tok::Word, "FROM") || sigIs(k, Tok::Word, "WHERE") ||
                    sigIs(k, Tok::Word, "GROUP") || sigIs(k, Tok::Word, "ORDER") ||
                    sigIs(k, Tok::Word, "LIMIT") || sigIs(k, Tok::Word, "UNION") ||
                    sigIs(k, Tok::Word, "EXCEPT") || sigIs(k, Tok::Word, "INTERSECT") ||
                    sigIs(k, Tok::Punct, ";"))
                    break;
                if (sigIs(k, Tok::Punct, ",")) {
                    if (!finish()) return {};
                    continue;
                }
            }
            item.push_back(k);
        }
        if (!finish()) return {};
        return names;
    }

    std::string nameOf(std::size_t k) const {
        const Token& t = *sigTok(k);
        std::string_view tx = text(sig_[k]);
        if (t.kind == Tok::Word) return std::string(tx);
        if (t.kind == Tok::QIdent || t.kind == Tok::DQuote || t.kind == Tok::SQuote)
            return unquote(tx);
        return {};
    }

    bool isNameTok(std::size_t k) const {
        const Token& t = *sigTok(k);
        return (t.kind == Tok::Word && !isKeyword(text(sig_[k]))) || t.kind == Tok::QIdent;
    }

    std::string itemName(const std::vector<std::size_t>& item) const {
        const std::size_t n = item.size();
        if (n >= 3 && sigIs(item[n - 2], Tok::Word, "AS")) return nameOf(item[n - 1]);
        // a, t.a, s.t.a
        bool chain = n % 2 == 1;
        for (std::size_t i = 0; chain && i < n; ++i)
            chain = i % 2 == 0 ? isNameTok(item[i]) : sigIs(item[i], Tok::Punct, ".");
        if (chain) return nameOf(item[n - 1]);
        // expr alias
        if (n >= 2 && isNameTok(item[n - 1]) && !sigIs(item[n - 2], Tok::Punct, ".")) {
            const Token& prev = *sigTok(item[n - 2]);
            std::string_view ptx = text(sig_[item[n - 2]]);
            bool operand = (prev.kind == Tok::Punct && ptx == ")") || prev.kind == Tok::Number ||
                           prev.kind == Tok::SQuote || prev.kind == Tok::DQuote ||
                           prev.kind == Tok::QIdent || prev.kind == Tok::Param ||
                           (prev.kind == Tok::Word && !isKeyword(ptx));
            if (operand) return nameOf(item[n - 1]);
        }
        return {};
    }
};

bool parseNumber(std::string_view s, int& out) {
    if (s.empty() || s.size() > 4) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::string parseDialectDate(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    int y = 0, m = 0, d = 0;
    auto split = [&](char sep, std::string_view& a, std::string_view& b, std::string_view& c) {
        auto p1 = text.find(sep);
        if (p1 == std::string_view::npos) return false;
        auto p2 = text.find(sep, p1 + 1);
        if (p2 == std::string_view::npos || text.find(sep, p2 + 1) != std::string_view::npos)
            return false;
        a = text.substr(0, p1);
        b = text.substr(p1 + 1, p2 - p1 - 1);
        c = text.substr(p2 + 1);
        return true;
    };
    std::string_view a, b, c;
    if (split('/', a, b, c)) {
        if (a.size() > 2 || b.size() > 2 || c.size() != 4) return {};
        if (!parseNumber(a, m) || !parseNumber(b, d) || !parseNumber(c, y)) return {};
    } else if (split('-', a, b, c)) {
        if (a.size() != 4 || b.size() > 2 || c.size() > 2) return {};
        if (!parseNumber(a, y) || !parseNumber(b, m) || !parseNumber(c, d)) return {};
    } else {
        return {};
    }
    if (!Date::isValid(y, m, d)) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

TranslatedSql translateSql(std::string_view dialectSql) {
    return Translator(dialectSql).run();
}

}  // namespace pulpex::engine
