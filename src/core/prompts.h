// The one way the program talks to the person at the screen: every message box, question and
// (later) input box and file dialog goes through the current Prompts object. The windows layer
// installs one that shows Qt dialogs; tests install ScriptedPrompts, which records what was shown
// and answers from a queue; command-line tools print the text.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

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
    // The default beep (MessageBeep); silent where there is no sound.
    virtual void beep() {}
    // Asks the application to end (a critical error). Tools and tests just record it.
    virtual void quitApplication() {}
};

// The answer a prompt gives when nobody can be asked: the safe, non-destructive button.
Answer defaultAnswer(Buttons buttons);

// The prompts in use. Until one is installed, a console implementation writes messages to
// standard error and answers with defaultAnswer().
Prompts& prompts();
// Installs `p` (not owned; nullptr restores the console prompts). Returns the previous one.
Prompts* setPrompts(Prompts* p);

// Writes each message as one line (line breaks turned into blanks) to a stream and answers with
// defaultAnswer(). Used by command-line tools.
class ConsolePrompts : public Prompts {
  public:
    explicit ConsolePrompts(bool toStdout = false) : toStdout_(toStdout) {}
    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override;

  private:
    bool toStdout_;
};

// For tests: records every prompt and answers from a queue (defaultAnswer() when it is empty).
// Installs itself on construction and restores the previous prompts on destruction.
class ScriptedPrompts : public Prompts {
  public:
    struct Shown {
        Severity severity;
        QString text;
        Buttons buttons;
        QString caption;
    };
    ScriptedPrompts();
    ~ScriptedPrompts() override;
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    void setNextAnswer(Answer a) { answers_.push_back(a); }
    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override;
    void beep() override { ++beeps; }
    void quitApplication() override { quitRequested = true; }

    const std::vector<Shown>& shown() const { return shown_; }
    QStringList texts() const;
    void clear() { shown_.clear(); }

    int beeps = 0;
    bool quitRequested = false;

  private:
    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
    Prompts* previous_;
};

}  // namespace pulpex
