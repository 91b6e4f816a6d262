#include "core/ui/qtprompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QThread>
#include <cstdlib>

#include "core/ui/printer.h"

namespace pulpex {

QWidget* DialogParent() {
    return QApplication::activeWindow();
}

QtPrompts::QtPrompts() : previous_(setPrompts(this)) {}

QtPrompts::~QtPrompts() {
    // Only take ourselves out when still installed; a later installer restores its own.
    if (&prompts() == this) setPrompts(previous_);
}

QString QtPrompts::severityCaption(Severity severity) {
    switch (severity) {
        case Severity::Information:
            return QStringLiteral("Informacja");
        case Severity::Warning:
            return QStringLiteral("Ostrzeżenie");
        case Severity::Error:
            return QStringLiteral("Błąd");
        case Severity::Confirmation:
            return QStringLiteral("Potwierdzenie");
    }
    return {};
}

QString QtPrompts::qtLineBreaks(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

namespace {

struct ButtonSpec {
    Answer answer;
    const char* text;
    QMessageBox::ButtonRole role;
};

std::vector<ButtonSpec> buttonsOf(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return {{Answer::Ok, "OK", QMessageBox::AcceptRole}};
        case Buttons::OkCancel:
            return {{Answer::Ok, "OK", QMessageBox::AcceptRole},
                    {Answer::Cancel, "Anuluj", QMessageBox::RejectRole}};
        case Buttons::YesNo:
            return {{Answer::Yes, "&Tak", QMessageBox::YesRole},
                    {Answer::No, "&Nie", QMessageBox::NoRole}};
        case Buttons::YesNoCancel:
            return {{Answer::Yes, "&Tak", QMessageBox::YesRole},
                    {Answer::No, "&Nie", QMessageBox::NoRole},
                    {Answer::Cancel, "Anuluj", QMessageBox::RejectRole}};
        case Buttons::AbortRetryIgnore:
            return {{Answer::Abort, "Przerwij", QMessageBox::RejectRole},
                    {Answer::Retry, "Ponów", QMessageBox::AcceptRole},
                    {Answer::Ignore, "Ignoruj", QMessageBox::ActionRole}};
    }
    return {};
}

QMessageBox::Icon iconOf(Severity severity) {
    switch (severity) {
        case Severity::Information:
            return QMessageBox::Information;
        case Severity::Warning:
            return QMessageBox::Warning;
        case Severity::Error:
            return QMessageBox::Critical;
        case Severity::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

void polishFileDialog(QFileDialog& dlg, const QString& filter) {
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    // Windows matches extensions in any letter case, so "*.txt" must also show "LIST.TXT".
    dlg.setFilter(dlg.filter() & ~QDir::CaseSensitive);
    const QString qtFilter = QtFilterFromWindows(filter);
    if (!qtFilter.isEmpty()) dlg.setNameFilter(qtFilter);
    dlg.setLabelText(QFileDialog::LookIn, QStringLiteral("Szukaj w:"));
    dlg.setLabelText(QFileDialog::FileName, QStringLiteral("Nazwa pliku:"));
    dlg.setLabelText(QFileDialog::FileType, QStringLiteral("Pliki typu:"));
    dlg.setLabelText(QFileDialog::Reject, QStringLiteral("Anuluj"));
}

}  // namespace

Answer QtPrompts::message(Severity severity, const QString& text, Buttons buttons,
                          const QString& caption) {
    QMessageBox box(DialogParent());
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setIcon(iconOf(severity));
    box.setWindowTitle(caption.isEmpty() ? severityCaption(severity) : caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(qtLineBreaks(text));
    std::vector<std::pair<QAbstractButton*, Answer>> map;
    for (const ButtonSpec& b : buttonsOf(buttons)) {
        QPushButton* button = box.addButton(QString::fromUtf8(b.text), b.role);
        map.emplace_back(button, b.answer);
    }
    // As on Windows, the first button is the default one.
    box.setDefaultButton(static_cast<QPushButton*>(map.front().first));
    box.exec();
    for (const auto& [button, answer] : map)
        if (box.clickedButton() == button) return answer;
    return defaultAnswer(buttons);
}

bool QtPrompts::inputBox(const QString& caption, const QString& prompt, QString& value) {
    QInputDialog dlg(DialogParent());
    dlg.setObjectName(QStringLiteral("InputBox"));
    dlg.setOption(QInputDialog::UsePlainTextEditForTextInput, false);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(caption);
    dlg.setLabelText(prompt);
    dlg.setTextValue(value);
    dlg.setOkButtonText(QStringLiteral("OK"));
    dlg.setCancelButtonText(QStringLiteral("Anuluj"));
    if (dlg.exec() != QDialog::Accepted) return false;
    value = dlg.textValue();
    return true;
}

QString QtPrompts::openFileName(const QString& caption, const QString& filter, const QString& dir) {
    QFileDialog dlg(DialogParent(), caption, dir);
    dlg.setObjectName(QStringLiteral("OpenDialog"));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    polishFileDialog(dlg, filter);
    dlg.setLabelText(QFileDialog::Accept, QStringLiteral("&Otwórz"));
    if (dlg.exec() != QDialog::Accepted) return {};
    return dlg.selectedFiles().value(0);
}

QString QtPrompts::saveFileName(const QString& caption, const QString& filter, const QString& dir,
                                const QString& defaultSuffix) {
    QFileDialog dlg(DialogParent(), caption, dir);
    dlg.setObjectName(QStringLiteral("SaveDialog"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    polishFileDialog(dlg, filter);
    dlg.setLabelText(QFileDialog::Accept, QStringLiteral("&Zapisz"));
    // The callers ask before replacing a file where it matters, in Polish and through prompts();
    // Qt's own question would come in English.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    QString suffix =
        defaultSuffix.startsWith(QLatin1Char('.')) ? defaultSuffix.mid(1) : defaultSuffix;
    dlg.setDefaultSuffix(suffix);
    if (dlg.exec() != QDialog::Accepted) return {};
    return WithDefaultSuffix(dlg.selectedFiles().value(0), suffix);
}

bool QtPrompts::chooseFont(QFont& font) {
    QFontDialog dlg(font, DialogParent());
    dlg.setObjectName(QStringLiteral("FontDialog"));
    dlg.setOption(QFontDialog::DontUseNativeDialog);
    dlg.setWindowTitle(QStringLiteral("Czcionka"));
    if (dlg.exec() != QDialog::Accepted) return false;
    font = dlg.selectedFont();
    return true;
}

bool QtPrompts::printerSetup() {
    QPrintDialog dlg(&SharedPrinter(), DialogParent());
    dlg.setObjectName(QStringLiteral("PrintDialog"));
    dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
    dlg.setWindowTitle(QStringLiteral("Ustawienia drukarki"));
    return dlg.exec() == QDialog::Accepted;
}

void QtPrompts::beep() {
    QApplication::beep();
}

void QtPrompts::quitApplication() {
    // exit() rather than quit(): quit() is ignored until the application's own exec() runs, while
    // the start sequence may sit in a dialog's loop. Every loop then ends and no later one starts.
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(EXIT_FAILURE);
        return;
    }
    // Nothing would ever see a quit request: a critical error before the loop ends the process.
    std::exit(EXIT_FAILURE);
}

}  // namespace pulpex
