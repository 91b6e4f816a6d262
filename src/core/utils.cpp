#include "core/utils.h"

#include "core/prompts.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QtGlobal>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace pulpex {

EConvertError::EConvertError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString()) {}

// ------------------------------------------------------------------------------------------------
// INI files

namespace {

// GetPrivateProfileString returns into a buffer of 256 characters.
constexpr qsizetype kIniValueMax = 255;

QString cutIniValue(QString s) {
    if (s.size() > kIniValueMax) {
        qsizetype n = kIniValueMax;
        if (s.at(n - 1).isHighSurrogate()) --n;  // never half a character
        s.truncate(n);
    }
    return s;
}

bool sameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// One line of an INI file as found, with what it means. Lines are kept as raw bytes so that a
// write never alters lines it does not mean to change (even ones that are not valid UTF-8).
struct IniLine {
    enum class Kind { Blank, Comment, Section, Key, Other };
    QByteArray raw;  // without the '\n'; a '\r' of a CRLF file stays
    Kind kind = Kind::Other;
    QString name;                  // section or key name, trimmed
    std::optional<QString> value;  // trimmed; none for a key line without '='
};

IniLine parseIniLine(QByteArray raw, bool first) {
    IniLine line;
    QByteArray text = raw;
    if (first && text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
    line.raw = std::move(raw);
    const QString s = QString::fromUtf8(text).trimmed();
    if (s.isEmpty()) {
        line.kind = IniLine::Kind::Blank;
        return line;
    }
    if (s.startsWith(u';')) {
        line.kind = IniLine::Kind::Comment;
        return line;
    }
    if (s.startsWith(u'[')) {
        const qsizetype close = s.lastIndexOf(u']');
        if (close > 0) {
            line.kind = IniLine::Kind::Section;
            line.name = s.mid(1, close - 1).trimmed();
            return line;
        }
        // Windows reads a '[' line without ']' as a key line.
    }
    line.kind = IniLine::Kind::Key;
    const qsizetype eq = s.indexOf(u'=');
    if (eq < 0) {
        line.name = s;
    } else {
        line.name = s.left(eq).trimmed();
        line.value = s.mid(eq + 1).trimmed();
    }
    return line;
}

std::vector<IniLine> parseIni(const QByteArray& content) {
    std::vector<IniLine> lines;
    if (content.isEmpty()) return lines;
    QList<QByteArray> raws = content.split('\n');
    if (content.endsWith('\n')) raws.removeLast();
    lines.reserve(raws.size());
    for (qsizetype i = 0; i < raws.size(); ++i)
        lines.push_back(parseIniLine(std::move(raws[i]), i == 0));
    return lines;
}

// Lines [begin, end) of the first section named `section` (header excluded); begin = 0 when absent.
// Lines before the first header belong to no section.
struct SectionRange {
    qsizetype header = -1;
    qsizetype end = 0;
};

SectionRange findSection(const std::vector<IniLine>& lines, const QString& section) {
    SectionRange r;
    const auto n = static_cast<qsizetype>(lines.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (lines[i].kind != IniLine::Kind::Section) continue;
        if (r.header >= 0) {
            r.end = i;
            return r;
        }
        if (sameName(lines[i].name, section)) r.header = i;
    }
    if (r.header >= 0) r.end = n;
    return r;
}

qsizetype findKey(const std::vector<IniLine>& lines, const SectionRange& r, const QString& key) {
    if (r.header < 0) return -1;
    for (qsizetype i = r.header + 1; i < r.end; ++i)
        if (lines[i].kind == IniLine::Kind::Key && sameName(lines[i].name, key)) return i;
    return -1;
}

std::optional<QByteArray> readWhole(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) return std::nullopt;
    return data;
}

bool hasLineBreak(const QString& s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

// Delphi's StrToInt: leading blanks, an optional sign, decimal digits or "$" / "0x" and hex digits,
// nothing after them.
int strToInt(const QString& text) {
    auto fail = [&]() -> int {
        throw EConvertError(QStringLiteral("'%1' nie jest poprawną liczbą całkowitą").arg(text));
    };
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' &&
               (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return fail();
    qint64 v = 0;
    const qint64 limit = base == 16 ? 0xFFFFFFFFLL : 2147483648LL;
    for (; i < text.size(); ++i) {
        const int d = text[i].isDigit() && text[i].unicode() < 128 ? text[i].unicode() - '0'
                      : base == 16 && QStringLiteral("abcdefABCDEF").contains(text[i])
                          ? text[i].toLower().unicode() - 'a' + 10
                          : -1;
        if (d < 0) return fail();
        v = v * base + d;
        if (v > limit) return fail();
    }
    if (base == 16) {
        // Hex spells the 32 bits, as in Delphi: $FFFFFFFF is -1.
        const auto bits = static_cast<quint32>(v);
        return static_cast<qint32>(negative ? 0u - bits : bits);
    }
    if (negative) return static_cast<int>(-v);
    if (v > 2147483647LL) return fail();
    return static_cast<int>(v);
}

QString configDir() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative value.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty()) home = QDir::homePath();
        base = AddSlash(home) + QStringLiteral(".config");
    }
    return AddSlash(base) + QStringLiteral("pulpex/");
}

}  // namespace

QString IniReadString(const QString& section, const QString& key, const QString& def,
                      const QString& file) {
    // As Windows does, trailing blanks of the default are dropped.
    QString fallback = def;
    while (fallback.endsWith(u' '))
        fallback.chop(1);
    fallback = cutIniValue(fallback);

    const auto content = readWhole(file);
    if (!content) return fallback;
    const auto lines = parseIni(*content);
    const qsizetype k = findKey(lines, findSection(lines, section.trimmed()), key.trimmed());
    if (k < 0 || !lines[k].value) return fallback;

    QString v = *lines[k].value;
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return cutIniValue(v);
}

int IniReadInt(const QString& section, const QString& key, int def, const QString& file) {
    return strToInt(IniReadString(section, key, QString::number(def), file));
}

bool IniWriteString(const QString& section, const QString& key, const QString& value,
                    const QString& file) {
    const QString sec = section.trimmed();
    const QString k = key.trimmed();
    if (sec.isEmpty() || k.isEmpty() || hasLineBreak(sec) || hasLineBreak(k) ||
        hasLineBreak(value) || sec.contains(u']') || k.contains(u'=') || k.startsWith(u';') ||
        k.startsWith(u'['))
        return false;

    QByteArray original;
    const QFileInfo info(file);
    if (info.exists()) {
        const auto content = readWhole(file);
        if (!content) return false;
        original = *content;
    } else if (!ForceDirs(info.absolutePath())) {
        return false;
    }

    auto lines = parseIni(original);
    // New lines follow the file's own line ends.
    const QByteArray cr = !lines.empty() && lines.front().raw.endsWith('\r') ? "\r" : "";
    auto newLine = [&](const QString& text) {
        IniLine l;
        l.raw = text.toUtf8() + cr;
        return l;
    };

    const SectionRange r = findSection(lines, sec);
    const qsizetype at = findKey(lines, r, k);
    if (at >= 0) {
        IniLine& l = lines[at];
        const QByteArray keep = l.raw.endsWith('\r') ? "\r" : "";
        l.raw = (l.name + u'=' + value).toUtf8() + keep;
    } else if (r.header >= 0) {
        // After the section's last non-blank line, so the blank line before the next stays.
        qsizetype pos = r.end;
        while (pos - 1 > r.header && lines[pos - 1].kind == IniLine::Kind::Blank)
            --pos;
        lines.insert(lines.begin() + pos, newLine(k + u'=' + value));
    } else {
        if (!lines.empty() && lines.back().kind != IniLine::Kind::Blank)
            lines.push_back(newLine({}));
        lines.push_back(newLine(u'[' + sec + u']'));
        lines.push_back(newLine(k + u'=' + value));
    }

    QByteArray out;
    out.reserve(original.size() + k.size() + value.size() + sec.size() + 8);
    for (const auto& l : lines) {
        out += l.raw;
        out += '\n';
    }
    if (info.exists() && out == original) return true;

    // Readers on other workstations see either the old or the new file, never part of one.
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (f.write(out) != out.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

QString WinIniPath() {
    return configDir() + QStringLiteral("win.ini");
}

QString UserIniPath() {
    return configDir() + QStringLiteral("Pulpex.ini");
}

bool WinIniWrite(const QString& section, const QString& key, const QString& value) {
    return IniWriteString(section, key, value, WinIniPath());
}

// ------------------------------------------------------------------------------------------------
// Messages

void ShowWarning(int level, const QString& text) {
    switch (level) {
        case 0:
            prompts().message(Severity::Warning, QStringLiteral("Ostrzerzenie\r\n") + text);
            break;
        case 1:
            prompts().message(Severity::Error, QStringLiteral("UWAGA Błąd\r\n") + text);
            break;
        case 2:
            prompts().message(Severity::Error, QStringLiteral("UWAGA   KRYTYCZNY BŁĄD\r\n") + text);
            prompts().quitApplication();
            break;
        default:
            prompts().message(Severity::Information, QString());
            break;
    }
}

void NotImplemented(bool flag, const QString& text) {
    if (flag)
        prompts().message(Severity::Information, QStringLiteral("Not implemented \r\n") + text);
}

// ------------------------------------------------------------------------------------------------
// Directories and files

bool ForceDirs(const QString& path) {
    if (path.isEmpty()) return false;
    QString p = path;
    if (p.endsWith(u'/')) p.chop(1);
    QString prefix = p.startsWith(u'/') ? QStringLiteral("/") : QString();
    const QStringList parts = p.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        prefix += part;
        if (!QFileInfo(prefix).isDir()) {
            // Another workstation may have made it in the meantime.
            if (!QDir().mkdir(prefix) && !QFileInfo(prefix).isDir()) return false;
        }
        prefix += u'/';
    }
    return true;
}

QString AddSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QString RemoveSlash(const QString& path) {
    return path.endsWith(u'/') ? path.chopped(1) : path;
}

namespace {

// '*' any run of characters, '?' any one; both sides already case-folded.
bool wildcardMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool maskMatches(const QString& foldedPattern, const QString& name) {
    const QString folded = name.toCaseFolded();
    if (wildcardMatch(foldedPattern, folded)) return true;
    // As on Windows, "name.*" also finds "name" (and "*.*" every file).
    return foldedPattern.endsWith(QLatin1String(".*")) &&
           wildcardMatch(QStringView(foldedPattern).chopped(2), folded);
}

// Entries of `dir` (any kind) whose name equals `name` but for letter case: one file to Windows.
QStringList sameNameEntries(const QString& dir, const QString& name) {
    QStringList out;
    const QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& e : entries)
        if (sameName(e, name)) out << e;
    return out;
}

bool copyOne(const QString& source, const QString& dir, bool replace) {
    const QString name = QFileInfo(source).fileName();
    const QStringList existing = sameNameEntries(dir, name);
    if (!replace && !existing.isEmpty()) return false;

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QTemporaryFile tmp(dir + QStringLiteral(".pulpex-copy-XXXXXX"));
    if (!tmp.open()) return false;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = in.read(buffer, sizeof buffer);
        if (got < 0) return false;
        if (got == 0) break;
        if (tmp.write(buffer, got) != got) return false;
    }
    // The copy carries the source's mode (a read-only file stays read-only), as CopyFile keeps
    // the attributes. QFile::permissions would mix in what the current user may do.
    struct stat st {};
    if (::fstat(in.handle(), &st) != 0 || ::fchmod(tmp.handle(), st.st_mode & 07777) != 0)
        return false;
    if (!tmp.flush() || ::fsync(tmp.handle()) != 0) return false;
    const QString tmpName = tmp.fileName();
    tmp.close();

    const QString target = dir + name;
    if (replace) {
        std::error_code ec;
        std::filesystem::rename(QFile::encodeName(tmpName).toStdString(),
                                QFile::encodeName(target).toStdString(), ec);
        if (ec) return false;
    } else if (!QFile::rename(tmpName, target)) {  // refuses a target that appeared meanwhile
        return false;
    }
    tmp.setAutoRemove(false);
    // A replaced file spelled in other letters goes, so the name is not there twice.
    for (const QString& e : existing)
        if (e != name) QFile::remove(dir + e);
    return true;
}

}  // namespace

QStringList FilesByMask(const QString& mask) {
    const qsizetype slash = mask.lastIndexOf(u'/');
    const QString dir = slash < 0    ? QStringLiteral(".")
                        : slash == 0 ? QStringLiteral("/")
                                     : mask.left(slash);
    const QString pattern = mask.mid(slash + 1).toCaseFolded();
    if (pattern.isEmpty()) return {};

    const QDir d(dir);
    QStringList out;
    const QFileInfoList entries = d.entryInfoList(QDir::Files | QDir::Hidden, QDir::NoSort);
    for (const QFileInfo& fi : entries)
        if (fi.isFile() && maskMatches(pattern, fi.fileName()))
            out << QDir::cleanPath(d.absoluteFilePath(fi.fileName()));
    // In the order Windows lists them: letter case aside.
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return out;
}

bool CopyFilesByMask(const QString& mask, const QString& directory, bool replace) {
    const QString dir = AddSlash(directory);
    const QStringList files = FilesByMask(mask);
    if (files.isEmpty()) return false;
    for (const QString& f : files)
        if (!copyOne(f, dir, replace)) return false;
    return true;
}

void DeleteFilesByMask(const QString& mask) {
    for (const QString& f : FilesByMask(mask)) {
        // A link's own permissions are not the link target's business.
        if (!QFileInfo(f).isSymLink())
            QFile::setPermissions(f, QFile::permissions(f) | QFile::WriteOwner | QFile::WriteUser);
        QFile::remove(f);
    }
}

// ------------------------------------------------------------------------------------------------
// Dates

QDateTime ParseDateTime(const QString& text) {
    if (text.size() < 10) return {};
    const QString t = text.trimmed();
    const qsizetype blank = t.indexOf(u' ');
    const QDate date =
        QDate::fromString(blank < 0 ? t : t.left(blank), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) return {};
    if (blank < 0) return QDateTime(date, QTime(0, 0));
    const QTime time = StrToTime(t.mid(blank + 1));
    if (!time.isValid()) return {};
    return QDateTime(date, time);
}

QString DateToStr(const QDate& date) {
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString TimeToStr(const QTime& time) {
    return time.toString(QStringLiteral("hh:mm:ss"));
}

QString ShortTimeToStr(const QTime& time) {
    return time.toString(QStringLiteral("hh:mm"));
}

QString DateTimeToStr(const QDateTime& dateTime) {
    if (!dateTime.isValid()) return {};
    if (dateTime.time() == QTime(0, 0)) return DateToStr(dateTime.date());
    return DateToStr(dateTime.date()) + u' ' + TimeToStr(dateTime.time());
}

QTime StrToTime(const QString& text) {
    const QString t = text.trimmed();
    QTime time = QTime::fromString(t, QStringLiteral("hh:mm:ss"));
    if (!time.isValid()) time = QTime::fromString(t, QStringLiteral("hh:mm"));
    return time;
}

QString SqlDate(const QDate& date) {
    const QDate d = date.isValid() ? date : QDate(1899, 12, 30);
    return QStringLiteral(" cast(\"%1/%2/%3\" as date) ").arg(d.month()).arg(d.day()).arg(d.year());
}

// ------------------------------------------------------------------------------------------------
// Names

const QStringList& ShortDayNames() {
    static const QStringList names{
        QStringLiteral("Nie"), QStringLiteral("Pon"), QStringLiteral("Wto"), QStringLiteral("Śro"),
        QStringLiteral("Czw"), QStringLiteral("Pią"), QStringLiteral("Sob")};
    return names;
}

const QStringList& LongDayNames() {
    static const QStringList names{QStringLiteral("Niedziela"), QStringLiteral("Poniedziałek"),
                                   QStringLiteral("Wtorek"),    QStringLiteral("Środa"),
                                   QStringLiteral("Czwartek"),  QStringLiteral("Piątek"),
                                   QStringLiteral("Sobota")};
    return names;
}

const QStringList& ShortMonthNames() {
    static const QStringList names{
        QStringLiteral("Sty"), QStringLiteral("Lut"), QStringLiteral("Mar"), QStringLiteral("Kwi"),
        QStringLiteral("Maj"), QStringLiteral("Cze"), QStringLiteral("Lip"), QStringLiteral("Sie"),
        QStringLiteral("Wrz"), QStringLiteral("Paź"), QStringLiteral("Lis"), QStringLiteral("Gru")};
    return names;
}

const QStringList& LongMonthNames() {
    static const QStringList names{
        QStringLiteral("Styczeń"),     QStringLiteral("Luty"),     QStringLiteral("Marzec"),
        QStringLiteral("Kwiecień"),    QStringLiteral("Maj"),      QStringLiteral("Czerwiec"),
        QStringLiteral("Lipiec"),      QStringLiteral("Sierpień"), QStringLiteral("Wrzesień"),
        QStringLiteral("Październik"), QStringLiteral("Listopad"), QStringLiteral("Grudzień")};
    return names;
}

QString DayName(const QDate& date) {
    if (!date.isValid()) return {};
    return LongDayNames().at(date.dayOfWeek() % 7);  // Qt: 7 = Sunday, first in the list
}

QString MonthName(int month) {
    if (month < 1 || month > 12) return {};
    return LongMonthNames().at(month - 1);
}

}  // namespace pulpex
