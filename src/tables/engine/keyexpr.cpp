#include "keyexpr.h"
#include "text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "codepage.h"
#include "error.h"

namespace pulpex::engine {

namespace {

constexpr std::size_t kMaxKeyLength = 240;
// Widest STR() result; wider ones could never fit a key anyway.
constexpr std::size_t kMaxStrWidth = 255;
constexpr std::int64_t kStampEpochJd = 1721425;  // @ fields count days from this Julian day
constexpr double kMsPerDay = 86400000.0;
constexpr std::uint64_t kSignBit = 0x8000000000000000ULL;

using Kind = KeyBuilder::Part::Kind;

enum class VType { Str, Num, Date, Stamp, Logical };

const char* typeName(VType t) {
    switch (t) {
        case VType::Str:
            return "tekst";
        case VType::Num:
            return "liczba";
        case VType::Date:
            return "data";
        case VType::Stamp:
            return "data i czas";
        case VType::Logical:
            return "wartość logiczna";
    }
    return "?";
}

// encodePrefix evaluates a part with its field's value given here instead of read from a record.
struct Override {
    int field = -1;
    std::string_view text;  // code-page bytes, for C fields
    double num = 0;         // N, F, I, +, O; milliseconds for @
    bool null = true;
    std::int64_t jd = 0;  // D; 0 = blank
    unsigned char logical = ' ';
};

struct Ctx {
    const unsigned char* rec;
    const Override* ov;
    bool overridden(int field) const { return ov != nullptr && ov->field == field; }
};

struct Num {
    double v;
    bool null;
};

// "No field" for constants, "several fields" for mixtures; otherwise a field number.
constexpr int kNoField = -1;
constexpr int kManyFields = -2;

int combineFields(int a, int b) {
    if (a == kNoField) return b;
    if (b == kNoField || a == b) return a;
    return kManyFields;
}

// A compiled expression node. String nodes have a fixed width and write any byte range of
// their value, so substrings and concatenations need no temporary buffers.
class Node {
  public:
    explicit Node(VType t, std::size_t w = 0) : type(t), width(w) {}
    virtual ~Node() = default;
    const VType type;
    const std::size_t width;  // strings only

    // Writes bytes [from, from + len) of a string value; from + len <= width.
    virtual void str(const Ctx&, std::size_t, std::size_t, unsigned char*) const {}
    virtual Num num(const Ctx&) const { return {0, true}; }
    // Julian day; 0 for a blank date.
    virtual std::int64_t date(const Ctx&) const { return 0; }
    // "YYYYMMDD" or blanks.
    virtual void dateText(const Ctx& c, unsigned char* out) const;
    virtual unsigned char logical(const Ctx&) const { return ' '; }

    virtual int sourceField() const { return kNoField; }
    virtual Kind kind() const { return Kind::Other; }
    // Whether the first k bytes of the source field's text decide the first k bytes of the
    // value, so that an unpadded text prefix can be looked up.
    virtual bool prefixPreserving() const { return false; }
    virtual const double* constant() const { return nullptr; }
};

void formatDate(std::int64_t jd, unsigned char* out) {
    Date d = jd > 0 ? Date::fromJulianDay(jd) : Date{};
    if (d.isNull()) {
        std::memset(out, ' ', 8);
        return;
    }
    int y = d.year;
    for (int i = 3; i >= 0; --i, y /= 10)
        out[i] = static_cast<unsigned char>('0' + y % 10);
    out[4] = static_cast<unsigned char>('0' + d.month / 10);
    out[5] = static_cast<unsigned char>('0' + d.month % 10);
    out[6] = static_cast<unsigned char>('0' + d.day / 10);
    out[7] = static_cast<unsigned char>('0' + d.day % 10);
}

void Node::dateText(const Ctx& c, unsigned char* out) const {
    formatDate(date(c), out);
}

// --- Raw field decoding

Num parseNumber(const unsigned char* p, std::size_t n) {
    std::size_t b = 0, e = n;
    while (b < e && p[b] == ' ')
        ++b;
    while (e > b && p[e - 1] == ' ')
        --e;
    if (b < e && p[b] == '+') ++b;
    if (b == e) return {0, true};
    double v = 0;
    const char* s = reinterpret_cast<const char*>(p);
    auto r = std::from_chars(s + b, s + e, v);
    if (r.ec != std::errc() || std::isnan(v)) return {0, true};
    return {v, false};
}

std::uint64_t getBE64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
}

void putBE64(std::uint64_t v, unsigned char* p) {
    for (int i = 7; i >= 0; --i, v >>= 8)
        p[i] = static_cast<unsigned char>(v);
}

// The order-preserving double of O fields; all zero bytes (a blank field) decode to NaN.
Num decodeOrderedDouble(const unsigned char* p) {
    std::uint64_t b = getBE64(p);
    b = (b & kSignBit) ? (b ^ kSignBit) : ~b;
    double v = std::bit_cast<double>(b);
    if (std::isnan(v)) return {0, true};
    return {v, false};
}

// The plain big-endian double of @ fields (milliseconds); all zero bytes are a blank field.
Num decodeStamp(const unsigned char* p) {
    const std::uint64_t b = getBE64(p);
    if (b == 0) return {0, true};
    const double v = std::bit_cast<double>(b);
    if (std::isnan(v)) return {0, true};
    return {v, false};
}

void putNumberKey(Num n, unsigned char* out) {
    if (n.null || std::isnan(n.v)) {
        std::memset(out, 0, 8);
        return;
    }
    double v = n.v == 0 ? 0.0 : n.v;  // -0 and +0 are one key
    std::uint64_t b = std::bit_cast<std::uint64_t>(v);
    b = (b & kSignBit) ? ~b : (b ^ kSignBit);
    putBE64(b, out);
}

std::int64_t parseDateField(const unsigned char* p) {
    int d[8];
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
        d[i] = p[i] - '0';
    }
    int y = d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3];
    int m = d[4] * 10 + d[5];
    int day = d[6] * 10 + d[7];
    if (!Date::isValid(y, m, day)) return 0;
    return Date{y, m, day}.julianDay();
}

std::int64_t stampToJd(double ms) {
    return static_cast<std::int64_t>(std::floor(ms / kMsPerDay)) + kStampEpochJd;
}

double stampMs(const DateTime& t) {
    double days = static_cast<double>(t.date.julianDay() - kStampEpochJd);
    return days * kMsPerDay + t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.msec;
}

unsigned char normaliseLogical(unsigned char c) {
    switch (c) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return 'T';
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return 'F';
        default:
            return ' ';
    }
}

// --- Field nodes

class CharField final : public Node {
  public:
    CharField(int field, const FieldInfo& f)
        : Node(VType::Str, static_cast<std::size_t>(f.size)), field_(field), offset_(f.offset) {}
    void str(const Ctx& c, std::size_t from, std::size_t len, unsigned char* out) const override {
        if (!c.overridden(field_)) {
            std::memcpy(out, c.rec + offset_ + from, len);
            return;
        }
        std::string_view t = c.ov->text;
        std::size_t have = from < t.size() ? std::min(len, t.size() - from) : 0;
        if (have) std::memcpy(out, t.data() + from, have);
        std::memset(out + have, ' ', len - have);
    }
    int sourceField() const override { return field_; }
    Kind kind() const override { return Kind::Raw; }
    bool prefixPreserving() const override { return true; }

  private:
    int field_;
    std::uint32_t offset_;
};

class NumField final : public Node {
  public:
    NumField(int field, const FieldInfo& f)
        : Node(VType::Num),
          field_(field),
          offset_(f.offset),
          size_(static_cast<std::size_t>(f.size)),
          type_(f.dbfType) {}
    Num num(const Ctx& c) const override {
        if (c.overridden(field_)) return {c.ov->num, c.ov->null};
        const unsigned char* p = c.rec + offset_;
        switch (type_) {
            case 'I':
            case '+': {
                std::uint32_t u = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                  (std::uint32_t{p[2]} << 8) | p[3];
                return {static_cast<double>(static_cast<std::int32_t>(u ^ 0x80000000u)), false};
            }
            case 'O':
                return decodeOrderedDouble(p);
            default:
                return parseNumber(p, size_);
        }
    }
    int sourceField() const override { return field_; }
    Kind kind() const override { return Kind::Raw; }

  private:
    int field_;
    std::uint32_t offset_;
    std::size_t size_;
    char type_;
};

class DateField final : public Node {
  public:
    DateField(int field, const FieldInfo& f)
        : Node(VType::Date), field_(field), offset_(f.offset) {}
    std::int64_t date(const Ctx& c) const override {
        if (c.overridden(field_)) return c.ov->jd;
        return parseDateField(c.rec + offset_);
    }
    void dateText(const Ctx& c, unsigned char* out) const override {
        if (c.overridden(field_)) return formatDate(c.ov->jd, out);
        const unsigned char* p = c.rec + offset_;
        // A valid date is already in key form; anything else counts as blank.
        if (parseDateField(p) != 0)
            std::memcpy(out, p, 8);
        else
            std::memset(out, ' ', 8);
    }
    int sourceField() const override { return field_; }
    Kind kind() const override { return Kind::Raw; }

  private:
    int field_;
    std::uint32_t offset_;
};

class StampField final : public Node {
  public:
    StampField(int field, const FieldInfo& f)
        : Node(VType::Stamp), field_(field), offset_(f.offset) {}
    Num num(const Ctx& c) const override {
        if (c.overridden(field_)) return {c.ov->num, c.ov->null};
        return decodeStamp(c.rec + offset_);
    }
    int sourceField() const override { return field_; }
    Kind kind() const override { return Kind::Raw; }

  private:
    int field_;
    std::uint32_t offset_;
};

class LogicalField final : public Node {
  public:
    LogicalField(int field, const FieldInfo& f)
        : Node(VType::Logical), field_(field), offset_(f.offset) {}
    unsigned char logical(const Ctx& c) const override {
        if (c.overridden(field_)) return c.ov->logical;
        return normaliseLogical(c.rec[offset_]);
    }
    int sourceField() const override { return field_; }
    Kind kind() const override { return Kind::Raw; }

  private:
    int field_;
    std::uint32_t offset_;
};

// --- Constants

class StrConst final : public Node {
  public:
    explicit StrConst(std::string bytes)
        : Node(VType::Str, bytes.size()), bytes_(std::move(bytes)) {}
    void str(const Ctx&, std::size_t from, std::size_t len, unsigned char* out) const override {
        std::memcpy(out, bytes_.data() + from, len);
    }

  private:
    std::string bytes_;
};

class NumConst final : public Node {
  public:
    explicit NumConst(double v) : Node(VType::Num), v_(v) {}
    Num num(const Ctx&) const override { return {v_, false}; }
    const double* constant() const override { return &v_; }

  private:
    double v_;
};

// --- Operators

using NodePtr = std::unique_ptr<Node>;

class Concat final : public Node {
  public:
    Concat(NodePtr a, NodePtr b)
        : Node(VType::Str, a->width + b->width), a_(std::move(a)), b_(std::move(b)) {}
    void str(const Ctx& c, std::size_t from, std::size_t len, unsigned char* out) const override {
        std::size_t aw = a_->width;
        if (from < aw) {
            std::size_t n = std::min(len, aw - from);
            a_->str(c, from, n, out);
            out += n;
            len -= n;
            from = aw;
        }
        if (len) b_->str(c, from - aw, len, out);
    }
    int sourceField() const override { return combineFields(a_->sourceField(), b_->sourceField()); }
    const Node* left() const { return a_.get(); }
    const Node* right() const { return b_.get(); }

  private:
    NodePtr a_, b_;
};

// dBase arithmetic treats a blank number as 0.
class AddNum final : public Node {
  public:
    AddNum(NodePtr a, NodePtr b, int sign)
        : Node(VType::Num), a_(std::move(a)), b_(std::move(b)), sign_(sign) {}
    Num num(const Ctx& c) const override {
        Num x = a_->num(c), y = b_->num(c);
        return {(x.null ? 0.0 : x.v) + sign_ * (y.null ? 0.0 : y.v), false};
    }
    int sourceField() const override { return combineFields(a_->sourceField(), b_->sourceField()); }

  private:
    NodePtr a_, b_;
    int sign_;
};

class Negate final : public Node {
  public:
    explicit Negate(NodePtr a) : Node(VType::Num), a_(std::move(a)) {}
    Num num(const Ctx& c) const override {
        Num x = a_->num(c);
        return {x.null ? 0.0 : -x.v, false};
    }
    int sourceField() const override { return a_->sourceField(); }

  private:
    NodePtr a_;
};

// A blank date stays blank when days are added to it.
class DateAdd final : public Node {
  public:
    DateAdd(NodePtr date, NodePtr days, int sign)
        : Node(VType::Date), date_(std::move(date)), days_(std::move(days)), sign_(sign) {}
    std::int64_t date(const Ctx& c) const override {
        std::int64_t jd = date_->date(c);
        Num n = days_->num(c);
        if (jd == 0) return 0;
        double d = n.null ? 0.0 : std::trunc(n.v);
        if (!(std::fabs(d) < 1e8)) return 0;  // far outside any calendar date
        std::int64_t r = jd + sign_ * static_cast<std::int64_t>(d);
        return r > 0 ? r : 0;
    }
    int sourceField() const override {
        return combineFields(date_->sourceField(), days_->sourceField());
    }

  private:
    NodePtr date_, days_;
    int sign_;
};

class DateDiff final : public Node {
  public:
    DateDiff(NodePtr a, NodePtr b) : Node(VType::Num), a_(std::move(a)), b_(std::move(b)) {}
    Num num(const Ctx& c) const override {
        std::int64_t x = a_->date(c), y = b_->date(c);
        if (x == 0 || y == 0) return {0, true};
        return {static_cast<double>(x - y), false};
    }
    int sourceField() const override { return combineFields(a_->sourceField(), b_->sourceField()); }

  private:
    NodePtr a_, b_;
};

// --- Functions

// dBase STR(): right-aligned in `len`, `dec` decimals rounded half away from zero, all '*'
// when it does not fit. Rounding works on the shortest decimal form of the double, which is the
// text the number was stored as, so 2.675 rounds to 2.68 as the user expects.
void formatStr(Num x, std::size_t len, std::size_t dec, unsigned char* out) {
    if (x.null) {
        std::memset(out, ' ', len);
        return;
    }
    char tmp[400];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, x.v, std::chars_format::fixed);
    if (r.ec != std::errc() || !std::isfinite(x.v)) {
        std::memset(out, '*', len);
        return;
    }
    const char* p = tmp;
    const char* end = r.ptr;
    bool neg = *p == '-';
    if (neg) ++p;
    const char* dot = std::find(p, end, '.');
    const char* frac = dot == end ? end : dot + 1;
    std::size_t nfrac = static_cast<std::size_t>(end - frac);

    char dig[sizeof tmp + kMaxStrWidth + 1];
    std::size_t nd = 0;
    dig[nd++] = '0';  // room for a carry
    for (const char* q = p; q < dot; ++q)
        dig[nd++] = *q;
    std::size_t intEnd = nd;
    for (std::size_t i = 0; i < dec; ++i)
        dig[nd++] = i < nfrac ? frac[i] : '0';
    if (nfrac > dec && frac[dec] >= '5') {
        for (std::size_t i = nd; i-- > 0;) {
            if (dig[i] != '9') {
                ++dig[i];
                break;
            }
            dig[i] = '0';
        }
    }
    std::size_t s = 0;
    while (s + 1 < intEnd && dig[s] == '0')
        ++s;
    bool zero = std::all_of(dig + s, dig + nd, [](char ch) { return ch == '0'; });
    bool sign = neg && !zero;
    std::size_t need = (sign ? 1 : 0) + (intEnd - s) + (dec ? dec + 1 : 0);
    if (need > len) {
        std::memset(out, '*', len);
        return;
    }
    std::size_t pad = len - need;
    std::memset(out, ' ', pad);
    unsigned char* w = out + pad;
    if (sign) *w++ = '-';
    for (std::size_t i = s; i < intEnd; ++i)
        *w++ = static_cast<unsigned char>(dig[i]);
    if (dec) {
        *w++ = '.';
        for (std::size_t i = intEnd; i < nd; ++i)
            *w++ = static_cast<unsigned char>(dig[i]);
    }
}

class StrFn final : public Node {
  public:
    StrFn(NodePtr n, std::size_t len, std::size_t dec)
        : Node(VType::Str, len), n_(std::move(n)), dec_(dec) {}
    void str(const Ctx& c, std::size_t from, std::size_t len, unsigned char* out) const override {
        unsigned char buf[kMaxStrWidth];
        formatStr(n_->num(c), width, dec_, buf);
        std::memcpy(out, buf + from, len);
    }
    int sourceField() const override { return n_->sourceField(); }
    Kind kind() const override { return n_->kind() == Kind::Raw ? Kind::Str : Kind::Other; }

  private:
    NodePtr n_;
    std::size_t dec_;
};

class Dtos final : public Node {
  public:
    explicit Dtos(NodePtr d) : Node(VType::Str, 8), d_(std::move(d)) {}
    void str(const Ctx& c, std::size_t from, std::size_t len, unsigned char* out) const override {
        unsigned char buf[8];
        if (d_->type == VType::Stamp) {
            Num ms = d_->num(c);
            formatDate(ms.null ? 0 : stampToJd(ms.v), buf);
        } else {
            d_->dateText(c, buf);
        }
        std::memcpy(out, buf + from, len);
    }
    int sourceField() const override { return d_->sourceField(); }
    // Only a date field maps one value to one DTOS text; a time stamp's day covers many values.
    Kind kind() const override {
        return d_->type == VType::Date && d_->kind() == Kind::Raw ? Kind::Dtos : Kind::Other;
    }

  private:
    NodePtr d_;
};

class Upper final : public Node {
  public:
    Upper(NodePtr s, const CodePage& cp) : Node(VType::Str, s->width), s_(std::move(s)), cp_(cp) {}
    void str(const Ctx& c, std::size_t from, std::size_t len, unsigned char* out) const override {
        s_->str(c, from, len, out);
        for (std::size_t i = 0; i < len; ++i)
            out[i] = cp_.upper(out[i]);
    }
    int sourceField() const override { return s_->sourceField(); }
    Kind kind() const override { return s_->kind() == Kind::Raw ? Kind::Upper : Kind::Other; }
    bool prefixPreserving() const override { return s_->prefixPreserving(); }

  private:
    NodePtr s_;
    const CodePage& cp_;
};

// LEFT and SUBSTR: a window [start, start + width) of the argument.
class Window final : public Node {
  public:
    Window(NodePtr s, std::size_t start, std::size_t len)
        : Node(VType::Str, len), s_(std::move(s)), start_(start) {}
    void str(const Ctx& c, std::size_t from, std::size_t len, unsigned char* out) const override {
        s_->str(c, start_ + from, len, out);
    }
    int sourceField() const override { return s_->sourceField(); }
    bool prefixPreserving() const override { return start_ == 0 && s_->prefixPreserving(); }

  private:
    NodePtr s_;
    std::size_t start_;
};

// dBase VAL(): the number at the start of the text (after blanks), 0 when there is none.
class Val final : public Node {
  public:
    explicit Val(NodePtr s) : Node(VType::Num), s_(std::move(s)) {}
    Num num(const Ctx& c) const override {
        unsigned char buf[64];
        std::size_t n = std::min(sizeof buf, s_->width);
        s_->str(c, 0, n, buf);
        std::size_t b = 0;
        while (b < n && buf[b] == ' ')
            ++b;
        if (b < n && buf[b] == '+') ++b;
        const char* s = reinterpret_cast<const char*>(buf);
        double v = 0;
        auto r = std::from_chars(s + b, s + n, v, std::chars_format::fixed);
        if (r.ec != std::errc() || !std::isfinite(v)) v = 0;
        return {v, false};
    }
    int sourceField() const override { return s_->sourceField(); }

  private:
    NodePtr s_;
};

// --- Parser

bool isIdentifier(std::string_view s) {
    return !s.empty() && isIdentStart(s[0]) && std::all_of(s.begin(), s.end(), isIdentChar);
}

class Compiler {
  public:
    Compiler(std::string_view key, const std::vector<FieldInfo>& fields, const CodePage& cp)
        : key_(key), fields_(fields), cp_(cp) {}

    [[noreturn]] void fail(const std::string& problem) const {
        throw EDatabaseError("Błędne wyrażenie klucza indeksu „" + std::string(key_) +
                             "”: " + problem);
    }

    NodePtr fieldNode(std::string_view name) const {
        std::string up = upperAscii(name);
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (upperAscii(fields_[i].name) != up) continue;
            const FieldInfo& f = fields_[i];
            int no = static_cast<int>(i);
            switch (f.dbfType) {
                case 'C':
                    return std::make_unique<CharField>(no, f);
                case 'N':
                case 'F':
                case 'I':
                case '+':
                case 'O':
                    return std::make_unique<NumField>(no, f);
                case 'D':
                    return std::make_unique<DateField>(no, f);
                case '@':
                    return std::make_unique<StampField>(no, f);
                case 'L':
                    return std::make_unique<LogicalField>(no, f);
                case 'M':
                case 'B':
                case 'G':
                    fail("pole memo " + f.name + " nie może być częścią klucza");
                default:
                    fail("pole " + f.name + " ma nieobsługiwany typ " + std::string(1, f.dbfType));
            }
        }
        fail("nieznane pole " + std::string(name));
    }

    NodePtr parseExpression() {
        pos_ = 0;
        NodePtr n = parseSum();
        skipBlanks();
        if (pos_ < key_.size()) unexpected();
        return n;
    }

  private:
    std::string_view key_;
    const std::vector<FieldInfo>& fields_;
    const CodePage& cp_;
    std::size_t pos_ = 0;

    void skipBlanks() {
        while (pos_ < key_.size() && (key_[pos_] == ' ' || key_[pos_] == '\t'))
            ++pos_;
    }
    [[noreturn]] void unexpected() const {
        if (pos_ >= key_.size()) fail("nieoczekiwany koniec wyrażenia");
        fail("nieoczekiwany znak „" + std::string(1, key_[pos_]) + "” w pozycji " +
             std::to_string(pos_ + 1));
    }
    bool accept(char c) {
        skipBlanks();
        if (pos_ < key_.size() && key_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!accept(c)) unexpected();
    }

    NodePtr parseSum() {
        NodePtr left = parseUnary();
        for (;;) {
            int sign;
            if (accept('+'))
                sign = 1;
            else if (accept('-'))
                sign = -1;
            else
                return left;
            NodePtr right = parseUnary();
            left = combine(std::move(left), std::move(right), sign);
        }
    }

    NodePtr combine(NodePtr a, NodePtr b, int sign) {
        const char* op = sign > 0 ? "+" : "-";
        VType ta = a->type, tb = b->type;
        if (ta == VType::Str && tb == VType::Str && sign > 0)
            return std::make_unique<Concat>(std::move(a), std::move(b));
        if (ta == VType::Num && tb == VType::Num)
            return std::make_unique<AddNum>(std::move(a), std::move(b), sign);
        if (ta == VType::Date && tb == VType::Num)
            return std::make_unique<DateAdd>(std::move(a), std::move(b), sign);
        if (ta == VType::Num && tb == VType::Date && sign > 0)
            return std::make_unique<DateAdd>(std::move(b), std::move(a), 1);
        if (ta == VType::Date && tb == VType::Date && sign < 0)
            return std::make_unique<DateDiff>(std::move(a), std::move(b));
        fail(std::string("niezgodne typy w działaniu ") + op + " (" + typeName(ta) + " " + op +
             " " + typeName(tb) + ")");
    }

    NodePtr parseUnary() {
        if (accept('-')) {
            NodePtr n = parseUnary();
            if (n->type != VType::Num) fail("minus przed wartością, która nie jest liczbą");
            if (const double* v = n->constant()) return std::make_unique<NumConst>(-*v);
            return std::make_unique<Negate>(std::move(n));
        }
        if (accept('+')) {
            NodePtr n = parseUnary();
            if (n->type != VType::Num) fail("plus przed wartością, która nie jest liczbą");
            return n;
        }
        return parsePrimary();
    }

    NodePtr parsePrimary() {
        skipBlanks();
        if (pos_ >= key_.size()) unexpected();
        char c = key_[pos_];
        if (c == '(') {
            ++pos_;
            NodePtr n = parseSum();
            expect(')');
            return n;
        }
        if (c == '\'' || c == '"') return parseString(c);
        if (isDigit(c) || (c == '.' && pos_ + 1 < key_.size() && isDigit(key_[pos_ + 1])))
            return parseNumber();
        if (isIdentStart(c)) {
            std::size_t start = pos_;
            while (pos_ < key_.size() && isIdentChar(key_[pos_]))
                ++pos_;
            std::string_view name = key_.substr(start, pos_ - start);
            if (accept('(')) return parseCall(name);
            return fieldNode(name);
        }
        unexpected();
    }

    NodePtr parseString(char quote) {
        std::size_t start = ++pos_;
        std::size_t close = key_.find(quote, start);
        if (close == std::string_view::npos) fail("niezamknięty cudzysłów");
        pos_ = close + 1;
        std::string bytes;
        char32_t bad = 0;
        if (!cp_.encode(key_.substr(start, close - start), bytes, &bad))
            fail("znaku " + describeChar(bad) + " nie ma w stronie kodowej tabeli");
        if (bytes.size() > kMaxStrWidth) fail("zbyt długi tekst");
        return std::make_unique<StrConst>(std::move(bytes));
    }

    NodePtr parseNumber() {
        std::size_t start = pos_;
        while (pos_ < key_.size() && isDigit(key_[pos_]))
            ++pos_;
        if (pos_ < key_.size() && key_[pos_] == '.') {
            ++pos_;
            while (pos_ < key_.size() && isDigit(key_[pos_]))
                ++pos_;
        }
        double v = 0;
        auto r = std::from_chars(key_.data() + start, key_.data() + pos_, v);
        if (r.ec != std::errc())
            fail("błędna liczba " + std::string(key_.substr(start, pos_ - start)));
        return std::make_unique<NumConst>(v);
    }

    std::vector<NodePtr> parseArgs() {
        std::vector<NodePtr> args;
        if (accept(')')) return args;
        for (;;) {
            args.push_back(parseSum());
            if (accept(')')) return args;
            expect(',');
        }
    }

    // A whole-number constant argument in [lo, hi].
    std::size_t constArg(const Node& n, const std::string& fn, const char* what, double lo,
                         double hi) const {
        const double* v = n.constant();
        if (!v) fail(what + (" w " + fn + " musi być stałą liczbą"));
        if (*v != std::trunc(*v) || *v < lo || *v > hi)
            fail(std::string(what) + " w " + fn + " poza zakresem");
        return static_cast<std::size_t>(*v);
    }

    void requireType(const Node& n, VType t, const std::string& fn) const {
        if (n.type != t)
            fail("argument funkcji " + fn + " ma typ " + typeName(n.type) + " zamiast " +
                 typeName(t));
    }

    NodePtr parseCall(std::string_view rawName) {
        std::string fn = upperAscii(rawName);
        std::vector<NodePtr> a = parseArgs();
        auto arity = [&](std::size_t lo, std::size_t hi) {
            if (a.size() < lo || a.size() > hi)
                fail("zła liczba argumentów funkcji " + fn + " (" + std::to_string(a.size()) + ")");
        };
        if (fn == "STR") {
            arity(1, 3);
            requireType(*a[0], VType::Num, fn);
            std::size_t len = a.size() > 1 ? constArg(*a[1], fn, "długość", 1, kMaxStrWidth) : 10;
            std::size_t dec =
                a.size() > 2 ? constArg(*a[2], fn, "liczba miejsc po przecinku", 0, 30) : 0;
            if (dec && dec + 2 > len) fail("w " + fn + " brak miejsca na część dziesiętną");
            return std::make_unique<StrFn>(std::move(a[0]), len, dec);
        }
        if (fn == "UPPER") {
            arity(1, 1);
            requireType(*a[0], VType::Str, fn);
            return std::make_unique<Upper>(std::move(a[0]), cp_);
        }
        if (fn == "DTOS") {
            arity(1, 1);
            if (a[0]->type != VType::Stamp) requireType(*a[0], VType::Date, fn);
            return std::make_unique<Dtos>(std::move(a[0]));
        }
        if (fn == "LEFT") {
            arity(2, 2);
            requireType(*a[0], VType::Str, fn);
            std::size_t n = constArg(*a[1], fn, "długość", 0, 1e6);
            std::size_t w = a[0]->width;
            return std::make_unique<Window>(std::move(a[0]), 0, std::min(n, w));
        }
        if (fn == "SUBSTR") {
            arity(2, 3);
            requireType(*a[0], VType::Str, fn);
            std::size_t start = constArg(*a[1], fn, "początek", 1, 1e6) - 1;
            std::size_t w = a[0]->width;
            std::size_t rest = start < w ? w - start : 0;
            std::size_t n = a.size() > 2 ? constArg(*a[2], fn, "długość", 0, 1e6) : rest;
            return std::make_unique<Window>(std::move(a[0]), std::min(start, w), std::min(n, rest));
        }
        if (fn == "VAL") {
            arity(1, 1);
            requireType(*a[0], VType::Str, fn);
            return std::make_unique<Val>(std::move(a[0]));
        }
        fail("nieznana funkcja " + std::string(rawName));
    }
};

std::size_t encodedLength(const Node& n) {
    switch (n.type) {
        case VType::Str:
            return n.width;
        case VType::Logical:
            return 1;
        default:
            return 8;
    }
}

void encodeNode(const Node& n, const Ctx& c, unsigned char* out) {
    switch (n.type) {
        case VType::Str:
            n.str(c, 0, n.width, out);
            break;
        case VType::Num:
        case VType::Stamp:
            putNumberKey(n.num(c), out);
            break;
        case VType::Date:
            n.dateText(c, out);
            break;
        case VType::Logical:
            out[0] = n.logical(c);
            break;
    }
}

// The leaves of a top-level concatenation, left to right.
void flattenConcat(const Node* n, std::vector<const Node*>& out) {
    if (auto* c = dynamic_cast<const Concat*>(n)) {
        flattenConcat(c->left(), out);
        flattenConcat(c->right(), out);
    } else {
        out.push_back(n);
    }
}

}  // namespace

struct KeyBuilder::Impl {
    const CodePage* cp = nullptr;
    bool descending = false;
    bool nocase = false;
    std::size_t length = 0;
    char type = 'C';
    // The key is the concatenation of segments: one per field of a field list, or the whole
    // expression.
    struct Segment {
        NodePtr node;
        std::size_t offset;
        bool text;
    };
    std::vector<Segment> segments;
    std::vector<Part> parts;
    struct PartEval {
        const Node* node;
        bool text;
    };
    std::vector<PartEval> partEval;
    std::vector<FieldInfo> fields;

    void upperRange(unsigned char* p, std::size_t n) const {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = cp->upper(p[i]);
    }
};

KeyBuilder::KeyBuilder() : d_(std::make_unique<Impl>()) {}
KeyBuilder::~KeyBuilder() = default;

std::unique_ptr<KeyBuilder> KeyBuilder::compile(std::string_view key,
                                                const std::vector<FieldInfo>& fields,
                                                const CodePage& cp, bool descending, bool nocase) {
    Compiler comp(key, fields, cp);
    std::unique_ptr<KeyBuilder> kb(new KeyBuilder());
    Impl& d = *kb->d_;
    d.cp = &cp;
    d.descending = descending;
    d.nocase = nocase;
    d.fields = fields;

    std::string_view body = trimBlanks(key);
    if (body.empty()) comp.fail("puste wyrażenie");
    bool quoted = body.find_first_of("'\"") != std::string_view::npos;
    if ((body.find(';') != std::string_view::npos && !quoted) || isIdentifier(body)) {
        // A field list: each field in its own encoding, one part per field.
        std::size_t start = 0;
        for (;;) {
            std::size_t semi = body.find(';', start);
            std::string_view name = trimBlanks(body.substr(start, semi - start));
            if (!isIdentifier(name))
                comp.fail(name.empty() ? "pusta nazwa pola na liście pól"
                                       : "błędna nazwa pola „" + std::string(name) + "”");
            NodePtr n = comp.fieldNode(name);
            int field = n->sourceField();
            std::size_t len = encodedLength(*n);
            bool text = n->type == VType::Str;
            d.parts.push_back({field, Kind::Raw, d.length, len});
            d.partEval.push_back({n.get(), text});
            d.segments.push_back({std::move(n), d.length, text});
            d.length += len;
            if (d.length > kMaxKeyLength) break;
            if (semi == std::string_view::npos) break;
            start = semi + 1;
        }
    } else {
        NodePtr root = comp.parseExpression();
        d.length = encodedLength(*root);
        bool text = root->type == VType::Str;
        if (text) {
            std::vector<const Node*> leaves;
            flattenConcat(root.get(), leaves);
            std::size_t off = 0;
            for (const Node* leaf : leaves) {
                if (leaf->sourceField() < 0) break;
                d.parts.push_back({leaf->sourceField(), leaf->kind(), off, leaf->width});
                d.partEval.push_back({leaf, true});
                off += leaf->width;
            }
        } else if (root->sourceField() >= 0) {
            d.parts.push_back({root->sourceField(), root->kind(), 0, d.length});
            d.partEval.push_back({root.get(), false});
        }
        d.segments.push_back({std::move(root), 0, text});
    }
    if (d.length > kMaxKeyLength)
        comp.fail("klucz ma więcej niż " + std::to_string(kMaxKeyLength) + " bajtów");
    if (d.length == 0) comp.fail("klucz ma zerową długość");

    if (d.segments.size() > 1) {
        d.type = 'C';
    } else {
        switch (d.segments[0].node->type) {
            case VType::Num:
            case VType::Stamp:
                d.type = 'N';
                break;
            case VType::Date:
                d.type = 'D';
                break;
            default:
                d.type = 'C';
        }
    }
    return kb;
}

std::size_t KeyBuilder::keyLength() const {
    return d_->length;
}
char KeyBuilder::keyType() const {
    return d_->type;
}
const std::vector<KeyBuilder::Part>& KeyBuilder::parts() const {
    return d_->parts;
}

void KeyBuilder::build(const std::byte* record, std::byte* out) const {
    const Impl& d = *d_;
    Ctx c{reinterpret_cast<const unsigned char*>(record), nullptr};
    auto* o = reinterpret_cast<unsigned char*>(out);
    for (const Impl::Segment& s : d.segments) {
        encodeNode(*s.node, c, o + s.offset);
        if (s.text && d.nocase) d.upperRange(o + s.offset, encodedLength(*s.node));
    }
    if (d.descending)
        for (std::size_t i = 0; i < d.length; ++i)
            o[i] = static_cast<unsigned char>(255 - o[i]);
}

std::optional<std::vector<std::byte>> KeyBuilder::encodePrefix(std::span<const Value> values,
                                                               bool padText) const {
    const Impl& d = *d_;
    if (values.size() > d.parts.size()) return std::nullopt;
    std::vector<unsigned char> key;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Part& part = d.parts[i];
        const FieldInfo& f = d.fields[static_cast<std::size_t>(part.field)];
        const Value& v = values[i];
        Override ov;
        ov.field = part.field;
        std::string text;
        bool isText = false;
        switch (f.dbfType) {
            case 'C':
                if (const auto* s = std::get_if<std::string>(&v)) {
                    if (!d.cp->encode(*s, text)) return std::nullopt;
                    isText = true;
                } else if (!std::holds_alternative<std::monostate>(v)) {
                    return std::nullopt;
                }
                ov.text = text;
                break;
            case 'D':
                if (const auto* dt = std::get_if<Date>(&v))
                    ov.jd = dt->isNull() ? 0 : dt->julianDay();
                else if (const auto* ts = std::get_if<DateTime>(&v))
                    ov.jd = ts->isNull() ? 0 : ts->date.julianDay();
                else if (!std::holds_alternative<std::monostate>(v))
                    return std::nullopt;
                break;
            case '@':
                if (const auto* ts = std::get_if<DateTime>(&v)) {
                    ov.null = ts->isNull();
                    if (!ov.null) ov.num = stampMs(*ts);
                } else if (const auto* dt = std::get_if<Date>(&v)) {
                    ov.null = dt->isNull();
                    if (!ov.null) ov.num = stampMs(DateTime{*dt});
                } else if (!std::holds_alternative<std::monostate>(v)) {
                    return std::nullopt;
                }
                break;
            case 'L':
                if (const auto* b = std::get_if<bool>(&v))
                    ov.logical = *b ? 'T' : 'F';
                else if (!std::holds_alternative<std::monostate>(v))
                    return std::nullopt;
                break;
            default:  // numbers
                if (const auto* n = std::get_if<std::int64_t>(&v)) {
                    ov.num = static_cast<double>(*n);
                    ov.null = false;
                } else if (const auto* x = std::get_if<double>(&v)) {
                    ov.num = *x;
                    ov.null = std::isnan(*x);
                } else if (!std::holds_alternative<std::monostate>(v)) {
                    return std::nullopt;
                }
        }
        const Impl::PartEval& pe = d.partEval[i];
        std::size_t at = key.size();
        key.resize(at + part.length);
        Ctx c{nullptr, &ov};
        encodeNode(*pe.node, c, key.data() + at);
        if (pe.text && d.nocase) d.upperRange(key.data() + at, part.length);
        bool last = i + 1 == values.size();
        if (last && !padText && isText && pe.node->prefixPreserving())
            key.resize(at + std::min(part.length, text.size()));
    }
    if (d.descending)
        for (unsigned char& b : key)
            b = static_cast<unsigned char>(255 - b);
    std::vector<std::byte> out(key.size());
    if (!key.empty()) std::memcpy(out.data(), key.data(), key.size());
    return out;
}

}  // namespace pulpex::engine
