#include "core/textfit.h"

#include <QHash>

#include "core/prompts.h"
#include "tables/engine/codepage.h"

namespace pulpex {

namespace {

bool holds(const engine::CodePage& cp, const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    std::string out;
    return cp.encode(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                     out);
}

bool holds(const engine::CodePage& cp, char32_t c) {
    return c < 0x80 || holds(cp, QString::fromUcs4(&c, 1));
}

// Marks that only dress the character before them: variation selectors, joiners, emoji skin
// tones and tag characters. They go with that character.
bool dresses(char32_t c) {
    return (c >= 0xFE00 && c <= 0xFE0F) || c == 0x200D || c == 0x200C ||
           (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F) ||
           (c >= 0xE0100 && c <= 0xE01EF);
}

bool regionalIndicator(char32_t c) {
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// Look-alikes, best first (alternatives separated by '|'), for characters a decomposition does
// not bring to a plain letter or sign.
const QHash<char32_t, QString>& lookAlikes() {
    static const QHash<char32_t, QString> table = [] {
        QHash<char32_t, QString> t;
        auto add = [&t](std::initializer_list<char32_t> cs, const char* to) {
            for (char32_t c : cs)
                t.insert(c, QString::fromUtf8(to));
        };
        // Punctuation a browser or a word processor puts in.
        add({0x2010, 0x2011, 0x2012, 0x2043, 0x2212, 0xFE63, 0xFF0D}, "-");
        add({0x2013}, "-");
        add({0x2014, 0x2015}, "–|-");
        add({0x2018, 0x2019, 0x201B, 0x2032, 0x2035, 0x02BC, 0x02B9, 0x00B4}, "'");
        add({0x201A}, ",");
        add({0x201C, 0x201F, 0x2033, 0x2036}, "“|\"");
        add({0x201D}, "”|\"");
        add({0x201E}, "„|\"");
        add({0x00AB}, "«|\"");
        add({0x00BB}, "»|\"");
        add({0x2039}, "<");
        add({0x203A}, ">");
        add({0x2026}, "...");
        add({0x2022, 0x2023, 0x25CF, 0x25E6, 0x2219, 0x25AA, 0x25A0}, "•|*");
        add({0x00B7}, "·|.");
        add({0x2190}, "<-");
        add({0x2192, 0x2794, 0x27A1}, "->");
        add({0x2194}, "<->");
        add({0x21D0}, "<=");
        add({0x21D2}, "=>");
        add({0x21D4}, "<=>");
        add({0x2264}, "<=");
        add({0x2265}, ">=");
        add({0x2260}, "<>");
        add({0x2248}, "~");
        add({0x00B1}, "±|+/-");
        add({0x00D7}, "×|x");
        add({0x00F7}, "÷|:");
        add({0x2044, 0x2215}, "/");
        add({0x2116}, "Nr");
        add({0x2713, 0x2714}, "v");
        add({0x2717, 0x2718}, "x");
        add({0x2028, 0x2029}, "\n");
        add({0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
             0x2009, 0x200A, 0x202F, 0x205F, 0x3000},
            " ");
        add({0x200B, 0x2060, 0xFEFF, 0x00AD}, "");
        // Latin letters without a decomposition.
        add({0x00F8}, "o");
        add({0x00D8}, "O");
        add({0x00E6}, "ae");
        add({0x00C6}, "AE");
        add({0x0153}, "oe");
        add({0x0152}, "OE");
        add({0x00F0}, "đ|d");
        add({0x00D0}, "Đ|D");
        add({0x00FE}, "th");
        add({0x00DE}, "Th");
        add({0x0127}, "h");
        add({0x0126}, "H");
        add({0x0131}, "i");
        add({0x0138}, "k");
        add({0x0140}, "l");
        add({0x013F}, "L");
        add({0x014B}, "n");
        add({0x014A}, "N");
        add({0x0167}, "t");
        add({0x0166}, "T");
        add({0x1E9E}, "SS");
        add({0x017F}, "s");
        add({0x0111}, "đ|d");
        add({0x0110}, "Đ|D");
        add({0x0142}, "ł|l");
        add({0x0141}, "Ł|L");
        add({0x0219}, "ş|s");
        add({0x0218}, "Ş|S");
        add({0x021B}, "ţ|t");
        add({0x021A}, "Ţ|T");
        // Cyrillic, as Polish writes it.
        const char* cyr[][2] = {
            {"А", "A"},   {"Б", "B"},  {"В", "W"},    {"Г", "G"},  {"Д", "D"},  {"Е", "E"},
            {"Ё", "Io"},  {"Ж", "Ż"},  {"З", "Z"},    {"И", "I"},  {"Й", "J"},  {"К", "K"},
            {"Л", "L"},   {"М", "M"},  {"Н", "N"},    {"О", "O"},  {"П", "P"},  {"Р", "R"},
            {"С", "S"},   {"Т", "T"},  {"У", "U"},    {"Ф", "F"},  {"Х", "Ch"}, {"Ц", "C"},
            {"Ч", "Cz"},  {"Ш", "Sz"}, {"Щ", "Szcz"}, {"Ъ", "'"},  {"Ы", "Y"},  {"Ь", "'"},
            {"Э", "E"},   {"Ю", "Ju"}, {"Я", "Ja"},   {"Є", "Je"}, {"І", "I"},  {"Ї", "Ji"},
            {"Ґ", "G"},   {"Ў", "U"},  {"Ђ", "Đ|D"},  {"Ј", "J"},  {"Љ", "Lj"}, {"Њ", "Nj"},
            {"Ћ", "Ć|C"}, {"Џ", "Dż"}, {"Ѕ", "Dz"},   {"Ѓ", "Gj"}, {"Ќ", "Kj"},
        };
        for (const auto& p : cyr) {
            const QString upper = QString::fromUtf8(p[0]);
            const QString to = QString::fromUtf8(p[1]);
            t.insert(upper.toUcs4().at(0), to);
            t.insert(upper.toLower().toUcs4().at(0), to.toLower());
        }
        // Greek.
        const char* greek[][2] = {
            {"Α", "A"}, {"Β", "B"},  {"Γ", "G"}, {"Δ", "D"},  {"Ε", "E"},  {"Ζ", "Z"},
            {"Η", "I"}, {"Θ", "Th"}, {"Ι", "I"}, {"Κ", "K"},  {"Λ", "L"},  {"Μ", "M"},
            {"Ν", "N"}, {"Ξ", "X"},  {"Ο", "O"}, {"Π", "P"},  {"Ρ", "R"},  {"Σ", "S"},
            {"Τ", "T"}, {"Υ", "Y"},  {"Φ", "F"}, {"Χ", "Ch"}, {"Ψ", "Ps"}, {"Ω", "O"},
        };
        for (const auto& p : greek) {
            const QString upper = QString::fromUtf8(p[0]);
            const QString to = QString::fromUtf8(p[1]);
            t.insert(upper.toUcs4().at(0), to);
            t.insert(upper.toLower().toUcs4().at(0), to.toLower());
        }
        t.insert(0x03C2, QStringLiteral("s"));       // final sigma
        t.insert(0x03BC, QString::fromUtf8("µ|m"));  // mu, as in "μm"
        return t;
    }();
    return table;
}

// The first alternative of `options` that `cp` holds; nullptr-like empty optional otherwise.
bool firstHeld(const engine::CodePage& cp, const QString& options, QString& out) {
    for (const QString& o : options.split(QLatin1Char('|'))) {
        if (holds(cp, o)) {
            out = o;
            return true;
        }
    }
    return false;
}

// The look-alike of one character `cp` cannot hold; "?" where there is none. `deep` allows one
// more round through the compatibility form ("½" → "1⁄2" → "1/2").
QString replacementOf(const engine::CodePage& cp, char32_t c, bool deep = true) {
    QString out;
    const auto& table = lookAlikes();
    if (auto it = table.constFind(c); it != table.constEnd() && firstHeld(cp, *it, out)) return out;
    if (dresses(c)) return {};
    const QString one = QString::fromUcs4(&c, 1);
    // The letter without its accents ("ñ" → "n", "ά" → "α" → "a").
    QString base;
    for (const QChar q : one.normalized(QString::NormalizationForm_D))
        if (!q.isMark()) base += q;
    if (!base.isEmpty() && base != one) {
        if (holds(cp, base)) return base;
        const QList<uint> cs = base.toUcs4();
        if (cs.size() == 1)
            if (auto it = table.constFind(cs.at(0));
                it != table.constEnd() && firstHeld(cp, *it, out))
                return out;
    }
    if (QChar::category(c) == QChar::Mark_NonSpacing ||
        QChar::category(c) == QChar::Mark_Enclosing ||
        QChar::category(c) == QChar::Mark_SpacingCombining)
        return {};
    // Compatibility forms: ligatures, full-width letters, superscripts, fractions, spaces.
    if (deep) {
        const QString compat = one.normalized(QString::NormalizationForm_KC);
        if (compat != one) {
            QString fitted;
            bool any = false;
            for (const uint u : compat.toUcs4()) {
                const auto d = static_cast<char32_t>(u);
                if (holds(cp, d)) {
                    fitted += QString::fromUcs4(&d, 1);
                } else {
                    const QString r = replacementOf(cp, d, false);
                    if (r == QLatin1String("?")) any = true;
                    fitted += r;
                }
            }
            if (!any && !fitted.isEmpty()) return fitted;
        }
    }
    return QStringLiteral("?");
}

QString hex(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QStringList UnstorableChars(const QString& text, const engine::CodePage& cp) {
    QStringList out;
    const QList<uint> cs = text.toUcs4();
    for (qsizetype i = 0; i < cs.size(); ++i) {
        const auto c = static_cast<char32_t>(cs.at(i));
        if (holds(cp, c)) continue;
        // A mark dressing a character that is listed already says nothing new.
        if (dresses(c) && i > 0 && !holds(cp, static_cast<char32_t>(cs.at(i - 1)))) continue;
        const QString s = QString::fromUcs4(&c, 1);
        if (!out.contains(s)) out << s;
    }
    return out;
}

QString FitToCodePage(const QString& text, const engine::CodePage& cp) {
    // Composed forms first: "e" + a combining acute is "é", which the page may hold.
    const QList<uint> cs = text.normalized(QString::NormalizationForm_C).toUcs4();
    QString out;
    out.reserve(text.size());
    bool lastWasUnknown = false;
    for (qsizetype i = 0; i < cs.size(); ++i) {
        const auto c = static_cast<char32_t>(cs.at(i));
        if (holds(cp, c)) {
            out += QString::fromUcs4(&c, 1);
            lastWasUnknown = false;
            continue;
        }
        // One "?" for a whole emoji: its selectors, skin tones, the characters joined to it and
        // the second half of a flag go with it.
        if (lastWasUnknown) {
            if (dresses(c)) {
                if (c == 0x200D && i + 1 < cs.size()) ++i;
                continue;
            }
            if (regionalIndicator(c) && i > 0 &&
                regionalIndicator(static_cast<char32_t>(cs.at(i - 1)))) {
                lastWasUnknown = false;
                continue;
            }
        }
        QString r = replacementOf(cp, c);
        // "Ш" before a capital is "SZ", not "Sz" ("ШКОЛА" → "SZKOŁA"... as far as the letters go).
        if (r.size() > 1 && QChar::isUpper(c) && i + 1 < cs.size() &&
            QChar::isUpper(static_cast<char32_t>(cs.at(i + 1))))
            r = r.toUpper();
        out += r;
        lastWasUnknown = r == QLatin1String("?");
    }
    return out;
}

QString DescribeChar(const QString& ch) {
    const QList<uint> cs = ch.toUcs4();
    if (cs.isEmpty()) return {};
    const auto c = static_cast<char32_t>(cs.at(0));
    const QChar::Category cat = QChar::category(c);
    const QString quoted = QStringLiteral("„") + ch + QStringLiteral("”");
    if (cat == QChar::Separator_Space) return QStringLiteral("nietypowa spacja ") + hex(c);
    if (cat == QChar::Other_Format || cat == QChar::Other_Control || cat == QChar::Separator_Line ||
        cat == QChar::Separator_Paragraph)
        return QStringLiteral("niewidoczny znak ") + hex(c);
    if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_Enclosing ||
        cat == QChar::Mark_SpacingCombining)
        return QStringLiteral("znak diakrytyczny ") + hex(c);
    if ((c >= 0x0400 && c <= 0x052F) || (c >= 0x1C80 && c <= 0x1C8F))
        return quoted + QStringLiteral(" (cyrylica)");
    if ((c >= 0x0370 && c <= 0x03FF) || (c >= 0x1F00 && c <= 0x1FFF))
        return quoted + QStringLiteral(" (alfabet grecki)");
    if ((c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x2600 && c <= 0x27BF))
        return quoted + QStringLiteral(" (emotikona)");
    if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF))
        return quoted + QStringLiteral(" (pismo wschodnioazjatyckie)");
    if (c >= 0x0590 && c <= 0x05FF) return quoted + QStringLiteral(" (alfabet hebrajski)");
    if (c >= 0x0600 && c <= 0x06FF) return quoted + QStringLiteral(" (alfabet arabski)");
    return quoted;
}

TTextFit AskToFitText(QString& text, const engine::CodePage& cp, const QString& what) {
    const QStringList bad = UnstorableChars(text, cp);
    if (bad.isEmpty()) return TTextFit::Fits;
    constexpr int kListed = 8;
    QStringList lines;
    for (qsizetype i = 0; i < bad.size() && i < kListed; ++i) {
        const QString r = FitToCodePage(bad.at(i), cp);
        lines << DescribeChar(bad.at(i)) +
                     (r.isEmpty() ? QStringLiteral(" – zostanie usunięty")
                                  : QStringLiteral(" – zamiana na „") + r + QStringLiteral("”"));
    }
    if (bad.size() > kListed) lines << QStringLiteral("i %1 innych").arg(bad.size() - kListed);
    const QString question =
        what + QStringLiteral(" zawiera znaki, których nie można zapisać w bazie danych:\r\n") +
        lines.join(QStringLiteral("\r\n")) +
        QStringLiteral(
            "\r\n\r\nCzy zamienić te znaki na podobne?\r\n"
            "Tak – zamień, Nie – wróć do edycji tekstu.");
    if (prompts().message(Severity::Confirmation, question, Buttons::YesNo) != Answer::Yes)
        return TTextFit::Refused;
    text = FitToCodePage(text, cp);
    return TTextFit::Replaced;
}

}  // namespace pulpex
