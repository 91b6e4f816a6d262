// The one way the program talks to the person at the screen: every message box, question, input
// box, file, font and printer dialog goes through the current Prompts object. The windows layer
// installs one that shows Qt dialogs (QtPrompts); tests install ScriptedPrompts, which records
// what was asked and answers from queues; command-line tools print the text and cancel the rest.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "tables/engine/error.h"

class QFont;  // QtGui: only the windows layer makes fonts; this layer passes them by reference.

namespace pulpex {

enum class Severity { Information, Warning, Error, Confirmation };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

class Prompts {
  public:
    virtual ~Prompts() = default;
    // Shows `text` (may hold "\r\n" line breaks) and returns the button pressed.
    virtual Answer message(Severity severity, const QString& text, Buttons buttons = Buttons::Ok,
                           const QString& caption = {}) = 0;
    // An OK/cancel box with one line of text. `value` comes in as the proposed text and, on OK
    // only, goes out as the typed one.
    virtual bool inputBox(const QString& caption, const QString& prompt, QString& value);
    // File dialogs. `filter` is in the Windows form ("Opis (*.txt)|*.txt|Wszystkie (*.*)|*.*"),
    // matched case-insensitively; `dir` the starting directory or file. The chosen path, or an
    // empty text when cancelled. A saved name without an extension gets `defaultSuffix`.
    virtual QString openFileName(const QString& caption, const QString& filter, const QString& dir);
    virtual QString saveFileName(const QString& caption, const QString& filter, const QString& dir,
                                 const QString& defaultSuffix = {});
    // The font dialog on `font`; on OK `font` becomes the chosen one.
    virtual bool chooseFont(QFont& font);
    // The printer setup dialog on the program's one shared printer (the windows layer's
    // SharedPrinter()); true when confirmed, and the printer then carries the choice.
    virtual bool printerSetup();
    // The default beep (MessageBeep); silent where there is no sound.
    virtual void beep() {}
    // Asks the application to end (a critical error). Tools and tests just record it.
    virtual void quitApplication() {}
};

// The answer a prompt gives when nobody can be asked: the safe, non-destructive button.
Answer defaultAnswer(Buttons buttons);

// The Windows filter text ("Pliki tekstowe (*.txt)|*.txt|Wszystkie pliki (*.*)|*.*") in Qt's form
// ("Pliki tekstowe (*.txt);;Wszystkie pliki (*)"): pairs of description and patterns, patterns
// separated by ';' on Windows and by blanks in Qt, "*.*" standing for every file. A description
// that already names its patterns in a closing parenthesis keeps it; otherwise they are added.
QString QtFilterFromWindows(const QString& filter);
// `fileName` with "." + `suffix` appended when its last path component has no extension (and
// `suffix` is not empty), as the save dialog does. A leading dot of `suffix` is ignored.
QString WithDefaultSuffix(const QString& fileName, const QString& suffix);

// The prompts in use. Until one is installed, a console implementation writes messages to
// standard error and answers with defaultAnswer().
Prompts& prompts();
// Installs `p` (not owned; nullptr restores the console prompts). Returns the previous one.
Prompts* setPrompts(Prompts* p);

// Shows an engine error as an error message, after `lead` (a line saying what failed) when given.
void ShowDatabaseError(const engine::EDatabaseError& e, const QString& lead = {});

// Runs `f`; an engine error it throws is shown (ShowDatabaseError) and false returned, so that a
// window's handler goes on. True when `f` ran through.
template <class F>
bool Guarded(F&& f, const QString& lead = {}) {
    try {
        f();
        return true;
    } catch (const engine::EDatabaseError& e) {
        ShowDatabaseError(e, lead);
        return false;
    }
}

// Writes each message as one line (line breaks turned into blanks) to a stream and answers with
// defaultAnswer(); every dialog is cancelled. Used by command-line tools.
class ConsolePrompts : public Prompts {
  public:
    explicit ConsolePrompts(bool toStdout = false) : toStdout_(toStdout) {}
    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override;

  private:
    bool toStdout_;
};

// For tests: records every prompt and answers from queues; an empty queue gives the safe answer
// (defaultAnswer() for messages, cancel for the dialogs). Installs itself on construction and
// restores the previous prompts on destruction.
class ScriptedPrompts : public Prompts {
  public:
    struct Shown {
        Severity severity;
        QString text;
        Buttons buttons;
        QString caption;
    };
    enum class Kind { Input, OpenFile, SaveFile, Font, PrinterSetup };
    // A dialog asked for, with what the caller passed (fields that do not apply stay empty).
    struct Asked {
        Kind kind;
        QString caption;
        QString prompt;  // input box
        QString value;   // input box: the proposed text
        QString filter;  // file dialogs, as passed (Windows form)
        QString dir;
        QString defaultSuffix;
    };
    ScriptedPrompts();
    ~ScriptedPrompts() override;
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    void setNextAnswer(Answer a) { answers_.push_back(a); }
    void setNextInput(const QString& text) { inputs_.emplace_back(text); }
    void setNextInputCancel() { inputs_.emplace_back(std::nullopt); }
    // For the open and the save dialog alike; an empty name is a cancel.
    void setNextFileName(const QString& path) { fileNames_.push_back(path); }
    // Call with a QFont (the template keeps this header free of QtGui).
    template <class Font>
    void setNextFont(const Font& font) {
        fonts_.push_back([font](QFont& f) {
            f = font;
            return true;
        });
    }
    void setNextFontCancel() {
        fonts_.push_back([](QFont&) { return false; });
    }
    void setNextPrinterSetup(bool confirmed) { printerSetups_.push_back(confirmed); }

    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override;
    bool inputBox(const QString& caption, const QString& prompt, QString& value) override;
    QString openFileName(const QString& caption, const QString& filter,
                         const QString& dir) override;
    QString saveFileName(const QString& caption, const QString& filter, const QString& dir,
                         const QString& defaultSuffix) override;
    bool chooseFont(QFont& font) override;
    bool printerSetup() override;
    void beep() override { ++beeps; }
    void quitApplication() override { quitRequested = true; }

    const std::vector<Shown>& shown() const { return shown_; }
    QStringList texts() const;
    const std::vector<Asked>& asked() const { return asked_; }
    void clear() {
        shown_.clear();
        asked_.clear();
    }

    int beeps = 0;
    bool quitRequested = false;

  private:
    std::deque<Answer> answers_;
    std::deque<std::optional<QString>> inputs_;
    std::deque<QString> fileNames_;
    std::deque<std::function<bool(QFont&)>> fonts_;
    std::deque<bool> printerSetups_;
    std::vector<Shown> shown_;
    std::vector<Asked> asked_;
    Prompts* previous_;
};

}  // namespace pulpex
