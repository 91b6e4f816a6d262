// The prompts of the windows layer: Qt's message, input, file and font dialogs with Polish
// texts. Always the widget-based dialogs, never the desktop's own, so that they look and behave
// the same on every desktop and can be driven offscreen.
#pragma once

#include <QString>

#include "core/prompts.h"

class QWidget;

namespace pulpex {

class QtPrompts : public Prompts {
  public:
    // Installs itself as the prompts in use; the destructor restores the previous ones.
    QtPrompts();
    ~QtPrompts() override;
    QtPrompts(const QtPrompts&) = delete;
    QtPrompts& operator=(const QtPrompts&) = delete;

    Answer message(Severity severity, const QString& text, Buttons buttons,
                   const QString& caption) override;
    bool inputBox(const QString& caption, const QString& prompt, QString& value) override;
    QString openFileName(const QString& caption, const QString& filter,
                         const QString& dir) override;
    QString saveFileName(const QString& caption, const QString& filter, const QString& dir,
                         const QString& defaultSuffix) override;
    bool chooseFont(QFont& font) override;
    bool printerSetup() override;
    void beep() override;
    // Ends every event loop with a failure code; when none runs (a failed start before the loop),
    // ends the process at once.
    void quitApplication() override;

    // The caption a message gets when the caller gives none.
    static QString severityCaption(Severity severity);
    // "\r\n" and lone "\r" as the line breaks Qt shows.
    static QString qtLineBreaks(const QString& text);

  private:
    Prompts* previous_;
};

// The window dialogs belong to: the active window, or none.
QWidget* DialogParent();

}  // namespace pulpex
