// "Wydruk": the day's printed registers. The list of incoming letters (each recipient signs for
// what was handed over) or of outgoing letters for the post office is built into an editable
// memo, which can be loaded, saved and printed in the user's font on the printer or to a PDF file.
#pragma once

#include <QColor>
#include <QDate>
#include <QFont>
#include <QStringList>

#include "core/ui/window.h"

class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class QWidget;

namespace pulpex {

class TDruk_lista : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TDruk_lista(QWidget* parent = nullptr);

    // The day whose lists are built at the first showing.
    void Prepare(const QDate& date);
    QDate Date() const { return date_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;

  private:
    void buildTopBar();
    void FormActivate();
    // Builds the list the radio buttons choose into the memo.
    void Zbuduj();
    // True when the memo may be replaced: it holds nothing typed since it was built, loaded,
    // saved or printed, or the user agrees to lose it.
    bool mayReplace(const QString& question);
    void rbClick(bool incoming);
    void btnKalendarzClick();
    void btnCzcionkaClick();
    void btnUstawienieDrukarkiClick();
    void btnDrukowanieClick();
    void btnPdfClick();
    void btnWstawClick();
    void btnZapiszClick();
    void print(QPrinter& printer);
    void applyFont(const QFont& font, const QColor& color);

    QWidget* ToolBar1;
    QPushButton* btnKoniec;
    QPushButton* btnCzcionka;
    QPushButton* btnUstawienieDrukarki;
    QPushButton* btnDrukowanie;
    QPushButton* btnPdf;
    QPushButton* btnWstaw;
    QPushButton* btnZapisz;
    QPushButton* btnWytnij;
    QPushButton* btnKopiuj;
    QPushButton* btnWklej;
    QRadioButton* rbPrzychodzaca;
    QRadioButton* rbWychodzaca;
    QLineEdit* edData;
    QPushButton* btnKalendarz;
    QPlainTextEdit* Memo1;

    QDate date_ = QDate::currentDate();
    bool shown_ = false;
    QFont font_;
    QColor color_;
};

// Opens "Wydruk" modally, maximised, on today's incoming letters. Always true.
bool PokazWydruk(QWidget* owner);

}  // namespace pulpex
