// "Okno edycyjne": a large editing window for the content of one event, with the correspondent's
// name and address pieces at hand, file load and save, and printing in the user's font.
#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <functional>

#include "core/ui/window.h"

class QEvent;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace pulpex {

class TDataSet;
class TDBMemo;
class TTableDataSet;

class TformEdytorTresciZdarzenia : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformEdytorTresciZdarzenia(QWidget* parent = nullptr);

    // Mode 1 offers the address buttons, mode 2 hides them. Opens the event and takes its row
    // for editing; a row being edited at another workstation is told and shown read-only, so
    // that nothing typed here could be refused later.
    void Prepare(int mode, int eventId);
    int Mode() const { return mode_; }
    bool ReadOnly() const { return readOnly_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void buildToolBar();
    void FormActivate();
    void btnCzcionkaClick();
    void btnUstawienieDrukarkiClick();
    void btnDrukowanieClick();
    void btnPdfClick();
    void btnZapisClick();
    void btnWczytanieClick();
    // Inserts the correspondent's fields at the caret (blank-joined; empty fields insert nothing).
    void setReadOnly(bool on);

    TTableDataSet* tZdarzenia;
    TTableDataSet* tAdresy;
    TDBMemo* memTresc;
    QWidget* ToolBar1;
    QWidget* panAdres;  // the eight address buttons
    QPushButton* btnKoniec;
    QPushButton* btnCzcionka;
    QPushButton* btnUstawienieDrukarki;
    QPushButton* btnDrukowanie;
    QPushButton* btnPdf;
    QPushButton* btnZapis;
    QPushButton* btnWczytanie;
    QPushButton* btnWytnij;
    QPushButton* btnKopiuj;
    QPushButton* btnWklej;

    int mode_ = 1;
    int eventId_ = 0;
    bool readOnly_ = false;
    QFont font_;
    QColor color_;
};

// Inserts the values of `fields` of the current row of `addresses`, joined by blanks (empty ones
// left out), at the caret of `memo`. False when there was nothing to insert.
bool InsertAddressFields(TDBMemo* memo, TDataSet* addresses, const QStringList& fields);

// The context menu and keys of an event's content memo, the same in every window that shows it:
// "&Wytnij" (Ctrl+Del), "&Kopiuj" (Ctrl+S), "K&opiuj wszystko" (Ctrl+O), "W&klej" (Ctrl+Ins)
// and the nine commands that insert a field of the correspondent (the current row of
// `addresses`) at the caret, from "&Nazwisko i imie" (Ctrl+N) to "&Fax" (Ctrl+F). The insertions
// work while `withAddress` says so (not for an event of kind "Inne"); `changed` runs after a
// command changed the memo (the window posts there).
void InstallContentMenu(TDBMemo* memo, TDataSet* addresses, std::function<bool()> withAddress,
                        std::function<void()> changed = {});

// Opens the content editor of event `eventId` modally. The content is saved on closing.
void EdytorTresciZdarzenia(QWidget* owner, int mode, int eventId);

}  // namespace pulpex
