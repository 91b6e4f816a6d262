#include "core/prompts.h"

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

QStringList ScriptedPrompts::texts() const {
    QStringList out;
    for (const auto& s : shown_)
        out << s.text;
    return out;
}

}  // namespace pulpex
