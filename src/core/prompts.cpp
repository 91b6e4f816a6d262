#include "core/prompts.h"

#include <QRegularExpression>
#include <cstdio>

namespace pulpex {

namespace {
ConsolePrompts& consolePrompts() {
    static ConsolePrompts p;
    return p;
}
Prompts* gPrompts = nullptr;
}  // namespace

Answer defaultAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::AbortRetryIgnore:
            return Answer::Abort;
    }
    return Answer::Cancel;
}

bool Prompts::inputBox(const QString&, const QString&, QString&) {
    return false;
}

QString Prompts::openFileName(const QString&, const QString&, const QString&) {
    return {};
}

QString Prompts::saveFileName(const QString&, const QString&, const QString&, const QString&) {
    return {};
}

bool Prompts::chooseFont(QFont&) {
    return false;
}

bool Prompts::printerSetup() {
    return false;
}

namespace {
// Windows patterns ("*.txt;*.doc", "*.*") as Qt's blank-separated list ("*.txt *.doc", "*").
QString qtPatterns(const QString& windowsPatterns) {
    QStringList out;
    for (QString p : windowsPatterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p.isEmpty()) continue;
        if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        if (!out.contains(p)) out << p;
    }
    return out.join(QLatin1Char(' '));
}
}  // namespace

QString QtFilterFromWindows(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    // A trailing description without patterns is ignored, as Windows does.
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = qtPatterns(parts[i + 1]);
        if (patterns.isEmpty()) continue;
        // Qt takes the patterns from the last parenthesis of an entry: one naming the same
        // patterns is rewritten in Qt's form, any other text in parentheses stays description.
        static const QRegularExpression tail(QStringLiteral("\\(([^()]*)\\)\\s*$"));
        const auto m = tail.match(description);
        if (m.hasMatch() &&
            qtPatterns(QString(m.captured(1)).replace(QLatin1Char(' '), QLatin1Char(';'))) ==
                patterns)
            description = description.left(m.capturedStart()).trimmed();
        if (description.isEmpty()) description = patterns;
        entries << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString WithDefaultSuffix(const QString& fileName, const QString& suffix) {
    QString ext = suffix.startsWith(QLatin1Char('.')) ? suffix.mid(1) : suffix;
    if (fileName.isEmpty() || ext.isEmpty()) return fileName;
    const QString last = fileName.section(QLatin1Char('/'), -1);
    if (last.isEmpty() || last.contains(QLatin1Char('.'))) return fileName;
    return fileName + QLatin1Char('.') + ext;
}

Prompts& prompts() {
    return gPrompts ? *gPrompts : consolePrompts();
}

Prompts* setPrompts(Prompts* p) {
    Prompts* old = gPrompts;
    gPrompts = p;
    return old;
}

Answer ConsolePrompts::message(Severity, const QString& text, Buttons buttons, const QString&) {
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(toStdout_ ? stdout : stderr, "%s\n", line.simplified().toUtf8().constData());
    return defaultAnswer(buttons);
}

ScriptedPrompts::ScriptedPrompts() : previous_(setPrompts(this)) {}

ScriptedPrompts::~ScriptedPrompts() {
    setPrompts(previous_);
}

Answer ScriptedPrompts::message(Severity severity, const QString& text, Buttons buttons,
                                const QString& caption) {
    shown_.push_back({severity, text, buttons, caption});
    if (answers_.empty()) return defaultAnswer(buttons);
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
}

bool ScriptedPrompts::inputBox(const QString& caption, const QString& prompt, QString& value) {
    asked_.push_back({Kind::Input, caption, prompt, value, {}, {}, {}});
    if (inputs_.empty()) return false;
    std::optional<QString> next = inputs_.front();
    inputs_.pop_front();
    if (!next) return false;
    value = *next;
    return true;
}

QString ScriptedPrompts::openFileName(const QString& caption, const QString& filter,
                                      const QString& dir) {
    asked_.push_back({Kind::OpenFile, caption, {}, {}, filter, dir, {}});
    if (fileNames_.empty()) return {};
    QString name = fileNames_.front();
    fileNames_.pop_front();
    return name;
}

QString ScriptedPrompts::saveFileName(const QString& caption, const QString& filter,
                                      const QString& dir, const QString& defaultSuffix) {
    asked_.push_back({Kind::SaveFile, caption, {}, {}, filter, dir, defaultSuffix});
    if (fileNames_.empty()) return {};
    QString name = fileNames_.front();
    fileNames_.pop_front();
    // The dialog adds the default extension to a typed name without one; so does the script.
    return WithDefaultSuffix(name, defaultSuffix);
}

bool ScriptedPrompts::chooseFont(QFont& font) {
    asked_.push_back({Kind::Font, {}, {}, {}, {}, {}, {}});
    if (fonts_.empty()) return false;
    auto answer = std::move(fonts_.front());
    fonts_.pop_front();
    return answer(font);
}

bool ScriptedPrompts::printerSetup() {
    asked_.push_back({Kind::PrinterSetup, {}, {}, {}, {}, {}, {}});
    if (printerSetups_.empty()) return false;
    bool confirmed = printerSetups_.front();
    printerSetups_.pop_front();
    return confirmed;
}

QStringList ScriptedPrompts::texts() const {
    QStringList out;
    for (const auto& s : shown_)
        out << s.text;
    return out;
}

void ShowDatabaseError(const engine::EDatabaseError& e, const QString& lead) {
    const QString text = QString::fromUtf8(e.what());
    prompts().message(Severity::Error,
                      lead.isEmpty() ? text : lead + QStringLiteral("\r\n") + text);
}

}  // namespace pulpex
