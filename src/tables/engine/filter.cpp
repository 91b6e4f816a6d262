#include "filter.h"
#include "text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

#include "cursor.h"
#include "error.h"

namespace pulpex::engine {

struct FilterExpr::Node {
    virtual ~Node() = default;
    virtual bool eval(Cursor& row) const = 0;
};

namespace {

using Node = FilterExpr::Node;
using NodePtr = std::unique_ptr<Node>;

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };

// The operator seen from the other side: 5 < ID is ID > 5.
Op mirror(Op op) {
    switch (op) {
        case Op::Lt:
            return Op::Gt;
        case Op::Le:
            return Op::Ge;
        case Op::Gt:
            return Op::Lt;
        case Op::Ge:
            return Op::Le;
        default:
            return op;
    }
}

template <typename T>
bool apply(Op op, const T& a, const T& b) {
    switch (op) {
        case Op::Eq:
            return a == b;
        case Op::Ne:
            return !(a == b);
        case Op::Lt:
            return a < b;
        case Op::Le:
            return a <= b;
        case Op::Gt:
            return b < a;
        case Op::Ge:
            return b <= a;
    }
    return false;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// --- Logical connectives

class OrNode final : public Node {
  public:
    OrNode(NodePtr a, NodePtr b) : a_(std::move(a)), b_(std::move(b)) {}
    bool eval(Cursor& r) const override { return a_->eval(r) || b_->eval(r); }

  private:
    NodePtr a_, b_;
};

class AndNode final : public Node {
  public:
    AndNode(NodePtr a, NodePtr b) : a_(std::move(a)), b_(std::move(b)) {}
    bool eval(Cursor& r) const override { return a_->eval(r) && b_->eval(r); }

  private:
    NodePtr a_, b_;
};

class NotNode final : public Node {
  public:
    explicit NotNode(NodePtr a) : a_(std::move(a)) {}
    bool eval(Cursor& r) const override { return !a_->eval(r); }

  private:
    NodePtr a_;
};

// --- Comparisons of a field with a literal

enum class Category { Number, Date, DateTime, Boolean, Text, Blob };

Category categoryOf(FieldType t) {
    switch (t) {
        case FieldType::Integer:
        case FieldType::AutoInc:
        case FieldType::Float:
            return Category::Number;
        case FieldType::Date:
            return Category::Date;
        case FieldType::DateTime:
            return Category::DateTime;
        case FieldType::Boolean:
            return Category::Boolean;
        case FieldType::Graphic:
            return Category::Blob;
        default:
            return Category::Text;  // String, Memo, Time
    }
}

bool isNullField(Cursor& r, int field, Category c) {
    if (r.isNull(field)) return true;
    return c == Category::Boolean && !r.asBoolean(field).has_value();
}

class NullTest final : public Node {
  public:
    NullTest(int field, Category c, bool wantNull) : field_(field), cat_(c), wantNull_(wantNull) {}
    bool eval(Cursor& r) const override { return isNullField(r, field_, cat_) == wantNull_; }

  private:
    int field_;
    Category cat_;
    bool wantNull_;
};

class NumberCompare final : public Node {
  public:
    NumberCompare(int field, bool integerField, Op op, double v, std::optional<std::int64_t> i)
        : field_(field), integerField_(integerField), op_(op), value_(v), intValue_(i) {}
    bool eval(Cursor& r) const override {
        if (r.isNull(field_)) return false;
        if (integerField_) {
            std::int64_t x = r.asInteger(field_);
            // Exact for whole literals, so large identifiers do not lose digits in a double.
            if (intValue_) return apply(op_, x, *intValue_);
            return apply(op_, static_cast<double>(x), value_);
        }
        return apply(op_, r.asFloat(field_), value_);
    }

  private:
    int field_;
    bool integerField_;
    Op op_;
    double value_;
    std::optional<std::int64_t> intValue_;
};

class DateCompare final : public Node {
  public:
    DateCompare(int field, Op op, Date v) : field_(field), op_(op), value_(v) {}
    bool eval(Cursor& r) const override {
        if (r.isNull(field_)) return false;
        Date d = r.asDate(field_);
        if (d.isNull()) return false;
        return apply(op_, d, value_);
    }

  private:
    int field_;
    Op op_;
    Date value_;
};

// A date-time field against a date compares its date; against a date-time, the whole value.
class DateTimeCompare final : public Node {
  public:
    DateTimeCompare(int field, Op op, DateTime v, bool dateOnly)
        : field_(field), op_(op), value_(v), dateOnly_(dateOnly) {}
    bool eval(Cursor& r) const override {
        if (r.isNull(field_)) return false;
        DateTime t = r.asDateTime(field_);
        if (t.isNull()) return false;
        if (dateOnly_) return apply(op_, t.date, value_.date);
        return apply(op_, t, value_);
    }

  private:
    int field_;
    Op op_;
    DateTime value_;
    bool dateOnly_;
};

class BoolCompare final : public Node {
  public:
    BoolCompare(int field, Op op, bool v) : field_(field), op_(op), value_(v) {}
    bool eval(Cursor& r) const override {
        if (r.isNull(field_)) return false;
        std::optional<bool> b = r.asBoolean(field_);
        if (!b) return false;
        return apply(op_, *b, value_);
    }

  private:
    int field_;
    Op op_;
    bool value_;
};

class TextCompare final : public Node {
  public:
    TextCompare(int field, Op op, std::string v, bool prefix)
        : field_(field), op_(op), value_(std::move(v)), prefix_(prefix) {}
    bool eval(Cursor& r) const override {
        if (r.isNull(field_)) return false;
        std::string s = r.asString(field_);
        std::string_view t = trimRight(s);
        if (prefix_) return t.starts_with(value_) == (op_ == Op::Eq);
        return apply(op_, t, std::string_view(value_));
    }

  private:
    int field_;
    Op op_;
    std::string value_;
    bool prefix_;
};

// --- Comparisons of two fields

class FieldCompare final : public Node {
  public:
    FieldCompare(int a, int b, Category ca, Category cb, bool integers, Op op)
        : a_(a), b_(b), ca_(ca), cb_(cb), integers_(integers), op_(op) {}
    bool eval(Cursor& r) const override {
        if (isNullField(r, a_, ca_) || isNullField(r, b_, cb_)) return false;
        switch (ca_) {
            case Category::Number:
                if (integers_) return apply(op_, r.asInteger(a_), r.asInteger(b_));
                return apply(op_, r.asFloat(a_), r.asFloat(b_));
            case Category::Boolean:
                return apply(op_, *r.asBoolean(a_), *r.asBoolean(b_));
            case Category::Date:
            case Category::DateTime:
                if (ca_ == Category::Date || cb_ == Category::Date)
                    return apply(op_, dateOf(r, a_, ca_), dateOf(r, b_, cb_));
                return apply(op_, r.asDateTime(a_), r.asDateTime(b_));
            default: {
                std::string x = r.asString(a_), y = r.asString(b_);
                return apply(op_, trimRight(x), trimRight(y));
            }
        }
    }

  private:
    static Date dateOf(Cursor& r, int f, Category c) {
        return c == Category::Date ? r.asDate(f) : r.asDateTime(f).date;
    }
    int a_, b_;
    Category ca_, cb_;
    bool integers_;
    Op op_;
};

// --- Lexer and parser

enum class Tok { End, Ident, Number, String, Date, LParen, RParen, Op };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // identifier, number or date as written; string contents unquoted
    std::size_t pos = 0;
    Op op = Op::Eq;
};

struct Operand {
    enum class Kind { Field, Number, String, Date, Null, Bool } kind = Kind::Null;
    int field = -1;
    std::string text;
    bool boolValue = false;
};

class Parser {
  public:
    Parser(std::string_view text, const std::vector<FieldInfo>& fields)
        : text_(text), fields_(fields) {
        advance();
    }

    NodePtr parseAll() {
        if (cur_.kind == Tok::End) fail("pusty filtr");
        NodePtr n = parseOr();
        if (cur_.kind != Tok::End) unexpected();
        return n;
    }

  private:
    std::string_view text_;
    const std::vector<FieldInfo>& fields_;
    std::size_t pos_ = 0;
    Token cur_;

    [[noreturn]] void fail(const std::string& problem) const {
        throw EDatabaseError("Błędny filtr „" + std::string(text_) + "”: " + problem);
    }
    [[noreturn]] void unexpected() const {
        if (cur_.kind == Tok::End) fail("nieoczekiwany koniec filtru");
        std::string shown = cur_.kind == Tok::String ? "'" + cur_.text + "'" : cur_.text;
        fail("nieoczekiwane „" + shown + "” w pozycji " + std::to_string(cur_.pos + 1));
    }

    void advance() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\n'))
            ++pos_;
        cur_ = Token{};
        cur_.pos = pos_;
        if (pos_ >= text_.size()) return;
        char c = text_[pos_];
        auto next = [&](std::size_t k) { return pos_ + k < text_.size() ? text_[pos_ + k] : '\0'; };
        if (c == '(' || c == ')') {
            cur_.kind = c == '(' ? Tok::LParen : Tok::RParen;
            cur_.text = std::string(1, c);
            ++pos_;
            return;
        }
        if (c == '=' || c == '<' || c == '>' || c == '!') {
            std::size_t len = 1;
            char d = next(1);
            if (c == '=') {
                cur_.op = Op::Eq;
                if (d == '=') len = 2;
            } else if (c == '<') {
                cur_.op = d == '>' ? Op::Ne : d == '=' ? Op::Le : Op::Lt;
                if (d == '>' || d == '=') len = 2;
            } else if (c == '>') {
                cur_.op = d == '=' ? Op::Ge : Op::Gt;
                if (d == '=') len = 2;
            } else {
                if (d != '=') fail("nieoczekiwany znak „!” w pozycji " + std::to_string(pos_ + 1));
                cur_.op = Op::Ne;
                len = 2;
            }
            cur_.kind = Tok::Op;
            cur_.text = std::string(text_.substr(pos_, len));
            pos_ += len;
            return;
        }
        if (c == '\'' || c == '"') {
            std::string s;
            std::size_t i = pos_ + 1;
            for (;;) {
                if (i >= text_.size())
                    fail("niezamknięty cudzysłów w pozycji " + std::to_string(pos_ + 1));
                if (text_[i] == c) {
                    if (i + 1 < text_.size() && text_[i + 1] == c) {
                        s.push_back(c);
                        i += 2;
                        continue;
                    }
                    break;
                }
                s.push_back(text_[i++]);
            }
            cur_.kind = Tok::String;
            cur_.text = std::move(s);
            pos_ = i + 1;
            return;
        }
        bool sign = (c == '-' || c == '+') && (isDigit(next(1)) || next(1) == '.');
        if (isDigit(c) || sign || (c == '.' && isDigit(next(1)))) {
            std::size_t i = pos_ + (sign ? 1 : 0);
            std::size_t digits = i;
            while (i < text_.size() && isDigit(text_[i]))
                ++i;
            // YYYY-MM-DD: a date, not a subtraction (there is no arithmetic here).
            if (!sign && i - digits == 4 && text_.substr(i).size() >= 6 && text_[i] == '-' &&
                isDigit(text_[i + 1]) && isDigit(text_[i + 2]) && text_[i + 3] == '-' &&
                isDigit(text_[i + 4]) && isDigit(text_[i + 5])) {
                i += 6;
                cur_.kind = Tok::Date;
            } else {
                if (i < text_.size() && text_[i] == '.') {
                    ++i;
                    while (i < text_.size() && isDigit(text_[i]))
                        ++i;
                }
                cur_.kind = Tok::Number;
            }
            if (i < text_.size() && (isIdentChar(text_[i]) || text_[i] == '.'))
                fail("błędna liczba w pozycji " + std::to_string(pos_ + 1));
            cur_.text = std::string(text_.substr(pos_, i - pos_));
            pos_ = i;
            return;
        }
        if (isIdentStart(c)) {
            std::size_t i = pos_;
            while (i < text_.size() && isIdentChar(text_[i]))
                ++i;
            cur_.kind = Tok::Ident;
            cur_.text = std::string(text_.substr(pos_, i - pos_));
            pos_ = i;
            return;
        }
        fail("nieoczekiwany znak „" + std::string(1, c) + "” w pozycji " +
             std::to_string(pos_ + 1));
    }

    bool isKeyword(const char* word) const {
        return cur_.kind == Tok::Ident && upperAscii(cur_.text) == word;
    }

    NodePtr parseOr() {
        NodePtr left = parseAnd();
        while (isKeyword("OR")) {
            advance();
            left = std::make_unique<OrNode>(std::move(left), parseAnd());
        }
        return left;
    }

    NodePtr parseAnd() {
        NodePtr left = parseNot();
        while (isKeyword("AND")) {
            advance();
            left = std::make_unique<AndNode>(std::move(left), parseNot());
        }
        return left;
    }

    NodePtr parseNot() {
        if (isKeyword("NOT")) {
            advance();
            return std::make_unique<NotNode>(parseNot());
        }
        if (cur_.kind == Tok::LParen) {
            advance();
            NodePtr n = parseOr();
            if (cur_.kind != Tok::RParen) {
                if (cur_.kind == Tok::End) fail("brak nawiasu zamykającego");
                unexpected();
            }
            advance();
            return n;
        }
        return parseComparison();
    }

    Operand parseOperand() {
        Operand o;
        switch (cur_.kind) {
            case Tok::Ident: {
                std::string up = upperAscii(cur_.text);
                if (up == "AND" || up == "OR" || up == "NOT") unexpected();
                if (up == "NULL") {
                    o.kind = Operand::Kind::Null;
                } else if (up == "TRUE" || up == "FALSE") {
                    o.kind = Operand::Kind::Bool;
                    o.boolValue = up == "TRUE";
                } else {
                    o.kind = Operand::Kind::Field;
                    o.field = fieldIndex(cur_.text);
                    if (o.field < 0) fail("nieznane pole " + cur_.text);
                }
                break;
            }
            case Tok::Number:
                o.kind = Operand::Kind::Number;
                break;
            case Tok::String:
                o.kind = Operand::Kind::String;
                break;
            case Tok::Date:
                o.kind = Operand::Kind::Date;
                break;
            default:
                unexpected();
        }
        o.text = cur_.text;
        advance();
        return o;
    }

    int fieldIndex(std::string_view name) const {
        std::string up = upperAscii(name);
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (upperAscii(fields_[i].name) == up) return static_cast<int>(i);
        return -1;
    }

    NodePtr parseComparison() {
        Operand a = parseOperand();
        if (cur_.kind != Tok::Op) {
            if (cur_.kind == Tok::End) fail("po „" + a.text + "” brak operatora porównania");
            unexpected();
        }
        Op op = cur_.op;
        advance();
        Operand b = parseOperand();
        if (a.kind != Operand::Kind::Field) {
            if (b.kind != Operand::Kind::Field)
                fail("porównanie „" + a.text + "” z „" + b.text + "” nie dotyczy żadnego pola");
            std::swap(a, b);
            op = mirror(op);
        }
        if (b.kind == Operand::Kind::Field) return fieldWithField(a.field, b.field, op);
        return fieldWithLiteral(a.field, op, b);
    }

    const FieldInfo& field(int f) const { return fields_[static_cast<std::size_t>(f)]; }

    [[noreturn]] void badLiteral(int f, const Operand& lit) const {
        fail("wartość „" + lit.text + "” nie pasuje do pola " + field(f).name);
    }

    NodePtr fieldWithLiteral(int f, Op op, const Operand& lit) {
        Category cat = categoryOf(field(f).type);
        if (cat == Category::Blob) fail("pola " + field(f).name + " nie można porównywać");
        if (lit.kind == Operand::Kind::Null) {
            if (op != Op::Eq && op != Op::Ne)
                fail("NULL można porównywać tylko operatorem = albo <>");
            return std::make_unique<NullTest>(f, cat, op == Op::Eq);
        }
        switch (cat) {
            case Category::Number: {
                if (lit.kind != Operand::Kind::Number && lit.kind != Operand::Kind::String)
                    badLiteral(f, lit);
                std::string_view t = lit.text;
                if (!t.empty() && t.front() == '+') t.remove_prefix(1);
                double v = 0;
                auto r =
                    std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed);
                if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() ||
                    !std::isfinite(v))
                    badLiteral(f, lit);
                std::optional<std::int64_t> whole;
                std::int64_t i = 0;
                auto ri = std::from_chars(t.data(), t.data() + t.size(), i);
                if (ri.ec == std::errc() && ri.ptr == t.data() + t.size()) whole = i;
                bool integerField = field(f).type != FieldType::Float;
                return std::make_unique<NumberCompare>(f, integerField, op, v, whole);
            }
            case Category::Date: {
                if (lit.kind != Operand::Kind::Date && lit.kind != Operand::Kind::String)
                    badLiteral(f, lit);
                Date d = Date::parse(lit.text);
                if (d.isNull()) fail("błędna data „" + lit.text + "”");
                return std::make_unique<DateCompare>(f, op, d);
            }
            case Category::DateTime: {
                if (lit.kind != Operand::Kind::Date && lit.kind != Operand::Kind::String)
                    badLiteral(f, lit);
                Date d = Date::parse(lit.text);
                if (!d.isNull()) return std::make_unique<DateTimeCompare>(f, op, DateTime{d}, true);
                DateTime t = DateTime::parse(lit.text);
                if (t.isNull()) fail("błędna data „" + lit.text + "”");
                return std::make_unique<DateTimeCompare>(f, op, t, false);
            }
            case Category::Boolean: {
                bool v = false;
                if (lit.kind == Operand::Kind::Bool) {
                    v = lit.boolValue;
                } else if (lit.kind == Operand::Kind::String) {
                    std::string up = upperAscii(lit.text);
                    if (up == "TRUE" || up == "T" || up == "Y")
                        v = true;
                    else if (up == "FALSE" || up == "F" || up == "N")
                        v = false;
                    else
                        badLiteral(f, lit);
                } else {
                    badLiteral(f, lit);
                }
                return std::make_unique<BoolCompare>(f, op, v);
            }
            default: {
                // Text fields take any literal as written: KOD = 123 means KOD = '123'.
                std::string v(trimRight(lit.text));
                bool prefix = (op == Op::Eq || op == Op::Ne) && lit.kind == Operand::Kind::String &&
                              !v.empty() && v.back() == '*';
                if (prefix) v.pop_back();
                return std::make_unique<TextCompare>(f, op, std::move(v), prefix);
            }
        }
    }

    NodePtr fieldWithField(int a, int b, Op op) {
        Category ca = categoryOf(field(a).type), cb = categoryOf(field(b).type);
        auto dated = [](Category c) { return c == Category::Date || c == Category::DateTime; };
        bool ok =
            ca != Category::Blob && cb != Category::Blob && (ca == cb || (dated(ca) && dated(cb)));
        if (!ok)
            fail("pól " + field(a).name + " i " + field(b).name +
                 " nie można porównać (różne typy)");
        bool integers = field(a).type != FieldType::Float && field(b).type != FieldType::Float;
        return std::make_unique<FieldCompare>(a, b, ca, cb, integers, op);
    }
};

}  // namespace

FilterExpr::FilterExpr() = default;
FilterExpr::~FilterExpr() = default;

std::unique_ptr<FilterExpr> FilterExpr::compile(std::string_view text,
                                                const std::vector<FieldInfo>& fields) {
    std::unique_ptr<FilterExpr> f(new FilterExpr());
    f->text_ = std::string(text);
    f->root_ = Parser(text, fields).parseAll();
    return f;
}

bool FilterExpr::matches(Cursor& row) const {
    return root_->eval(row);
}

const std::string& FilterExpr::text() const {
    return text_;
}

}  // namespace pulpex::engine
