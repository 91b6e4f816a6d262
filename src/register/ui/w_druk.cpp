#include "register/ui/w_druk.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <memory>

#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/fonts.h"
#include "core/ui/help.h"
#include "core/ui/print_text.h"
#include "core/ui/printer.h"
#include "core/ui/text_file.h"
#include "core/utils.h"
#include "planner/ui/w_kaled.h"
#include "register/zestawienie.h"

namespace pulpex {

namespace {

const QString kFontSection = QStringLiteral("Czcionka druku");

}  // namespace

TDruk_lista::TDruk_lista(QWidget* parent)
    : TPulpexDialog(parent, "Druk_lista", QStringLiteral("Wydruk"), kHelpDrukLista) {
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    resize(900, 650);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    // The table lines must stay whole on the screen as they are on paper.
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

    buildTopBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(Memo1, 1);
    SetActiveControl(Memo1);
}

void TDruk_lista::buildTopBar() {
    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    btnKoniec = MakeButton(ToolBar1, QStringLiteral("Koniec"), "btnKoniec");
    btnCzcionka = MakeButton(ToolBar1, QStringLiteral("Czcionka"), "btnCzcionka",
                             QStringLiteral("Zmiana czcionki"));
    btnUstawienieDrukarki =
        MakeButton(ToolBar1, QStringLiteral("Drukarka"), "btnUstawienieDrukarki",
                   QStringLiteral("Ustawienie drukarki"));
    btnDrukowanie = MakeButton(ToolBar1, QStringLiteral("Drukuj"), "btnDrukowanie",
                               QStringLiteral("Drukowanie"));
    btnPdf =
        MakeButton(ToolBar1, QStringLiteral("PDF"), "btnPdf", QStringLiteral("Zapisz jako PDF"));
    btnWstaw = MakeButton(ToolBar1, QStringLiteral("Wczytaj"), "btnWstaw",
                          QStringLiteral("Wstaw z pliku"));
    btnZapisz = MakeButton(ToolBar1, QStringLiteral("Zapisz"), "btnZapisz",
                           QStringLiteral("Zapisz do pliku"));
    btnWytnij =
        MakeButton(ToolBar1, QStringLiteral("Wytnij"), "btnWytnij", QStringLiteral("Wytnij"));
    btnKopiuj =
        MakeButton(ToolBar1, QStringLiteral("Kopiuj"), "btnKopiuj", QStringLiteral("Kopiuj"));
    btnWklej = MakeButton(ToolBar1, QStringLiteral("Wklej"), "btnWklej", QStringLiteral("Wklej"));

    rbPrzychodzaca = new QRadioButton(QStringLiteral("&Przychodząca"), ToolBar1);
    rbPrzychodzaca->setObjectName(QStringLiteral("rbPrzychodzaca"));
    rbPrzychodzaca->setChecked(true);
    rbWychodzaca = new QRadioButton(QStringLiteral("&Wychodząca"), ToolBar1);
    rbWychodzaca->setObjectName(QStringLiteral("rbWychodzaca"));
    auto* lblData = new QLabel(QStringLiteral("&Z dnia:"), ToolBar1);
    edData = new QLineEdit(ToolBar1);
    edData->setObjectName(QStringLiteral("edData"));
    edData->setReadOnly(true);
    edData->setFixedWidth(edData->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) +
                          24);
    lblData->setBuddy(edData);
    btnKalendarz =
        MakeButton(ToolBar1, QStringLiteral("..."), "btnKalendarz", QStringLiteral("Kalendarz"));

    // The tools on one row, the list and its day on the next: on one row the bar was wider than
    // a 1280-pixel screen and the day was cut off.
    auto* rows = new QVBoxLayout(ToolBar1);
    rows->setContentsMargins(4, 4, 4, 4);
    auto* row = new QHBoxLayout;
    for (QPushButton* b : {btnKoniec, btnCzcionka, btnUstawienieDrukarki, btnDrukowanie, btnPdf,
                           btnWstaw, btnZapisz, btnWytnij, btnKopiuj, btnWklej})
        row->addWidget(b);
    row->addStretch(1);
    row->addWidget(HelpButton());
    auto* list = new QHBoxLayout;
    list->addWidget(rbPrzychodzaca);
    list->addWidget(rbWychodzaca);
    list->addSpacing(12);
    list->addWidget(lblData);
    list->addWidget(edData);
    list->addWidget(btnKalendarz);
    list->addStretch(1);
    rows->addLayout(row);
    rows->addLayout(list);

    connect(btnKoniec, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCzcionka, &QPushButton::clicked, this, &TDruk_lista::btnCzcionkaClick);
    connect(btnUstawienieDrukarki, &QPushButton::clicked, this,
            &TDruk_lista::btnUstawienieDrukarkiClick);
    connect(btnDrukowanie, &QPushButton::clicked, this, &TDruk_lista::btnDrukowanieClick);
    connect(btnPdf, &QPushButton::clicked, this, &TDruk_lista::btnPdfClick);
    connect(btnWstaw, &QPushButton::clicked, this, &TDruk_lista::btnWstawClick);
    connect(btnZapisz, &QPushButton::clicked, this, &TDruk_lista::btnZapiszClick);
    connect(btnWytnij, &QPushButton::clicked, Memo1, &QPlainTextEdit::cut);
    connect(btnKopiuj, &QPushButton::clicked, Memo1, &QPlainTextEdit::copy);
    connect(btnWklej, &QPushButton::clicked, Memo1, &QPlainTextEdit::paste);
    connect(rbPrzychodzaca, &QRadioButton::clicked, this, [this] { rbClick(true); });
    connect(rbWychodzaca, &QRadioButton::clicked, this, [this] { rbClick(false); });
    connect(btnKalendarz, &QPushButton::clicked, this, &TDruk_lista::btnKalendarzClick);
}

void TDruk_lista::Prepare(const QDate& date) {
    date_ = date.isValid() ? date : QDate::currentDate();
    edData->setText(DateToStr(date_));
}

void TDruk_lista::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    // Once per opening: coming back from a dialog of this window must keep the chosen day and
    // what was typed into the list.
    if (shown_) return;
    shown_ = true;
    FormActivate();
}

void TDruk_lista::FormActivate() {
    const TStoredFont stored = ReadStoredFont(kFontSection);
    applyFont(stored.font, stored.color);
    edData->setText(DateToStr(date_));
    Zbuduj();
}

void TDruk_lista::applyFont(const QFont& font, const QColor& color) {
    font_ = font;
    color_ = color;
    Memo1->setFont(font_);
    QPalette p = Memo1->palette();
    p.setColor(QPalette::Text, color_);
    Memo1->setPalette(p);
}

void TDruk_lista::Zbuduj() {
    Memo1->clear();
    QStringList lines;
    const bool incoming = rbPrzychodzaca->isChecked();
    Guarded([&] {
        lines = incoming ? Kor_p_w(CurrentDataDir(), date_) : Kor_w_w(CurrentDataDir(), date_);
    });
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    Memo1->document()->setModified(false);
}

bool TDruk_lista::mayReplace(const QString& question) {
    if (!Memo1->document()->isModified()) return true;
    return prompts().message(Severity::Confirmation,
                             QStringLiteral("Zestawienie zostało zmienione, a zmiany nie są "
                                            "zapisane ani wydrukowane.\r\n") +
                                 question,
                             Buttons::YesNo) == Answer::Yes;
}

void TDruk_lista::rbClick(bool incoming) {
    if (!mayReplace(QStringLiteral("Czy zbudować zestawienie od nowa? Zmiany zostaną utracone."))) {
        // The list shown stays, and so does the button that says which one it is.
        const QSignalBlocker b1(rbPrzychodzaca), b2(rbWychodzaca);
        (incoming ? rbWychodzaca : rbPrzychodzaca)->setChecked(true);
        return;
    }
    Zbuduj();
}

void TDruk_lista::btnKalendarzClick() {
    const QDate chosen = WybierzDate(this, true, true, date_);
    if (!chosen.isValid() || chosen == date_) return;
    if (!mayReplace(QStringLiteral("Czy zbudować zestawienie z dnia %1? Zmiany zostaną utracone.")
                        .arg(DateToStr(chosen))))
        return;
    date_ = chosen;
    edData->setText(DateToStr(date_));
    Zbuduj();
}

void TDruk_lista::btnCzcionkaClick() {
    QFont chosen = font_;
    prompts().chooseFont(chosen);
    // Also when cancelled: what the memo shows is what is kept.
    applyFont(chosen, color_);
    if (!WriteStoredFont(kFontSection, font_, color_))
        prompts().message(Severity::Warning,
                          QStringLiteral("Nie można zapisać ustawień czcionki w pliku %1.")
                              .arg(QDir::toNativeSeparators(UserIniPath())));
    if (!HasFixedPitch(font_))
        prompts().message(
            Severity::Warning,
            QStringLiteral("Czcionka „%1” ma znaki różnej szerokości: linie tabeli zestawienia "
                           "nie będą równe ani na ekranie, ani na wydruku.\r\nDo zestawień "
                           "najlepsza jest czcionka o stałej szerokości znaków, np. Fixedsys.")
                .arg(font_.family()));
}

void TDruk_lista::btnUstawienieDrukarkiClick() {
    prompts().printerSetup();
}

void TDruk_lista::btnDrukowanieClick() {
    print(SharedPrinter());
}

void TDruk_lista::btnPdfClick() {
    const std::unique_ptr<QPrinter> pdf = PdfPrinterLike(SharedPrinter());
    print(*pdf);
}

void TDruk_lista::print(QPrinter& printer) {
    const QString text = Memo1->toPlainText();
    // A day without letters leaves blank lines at most: no sheet for them.
    if (text.trimmed().isEmpty()) {
        prompts().message(Severity::Information,
                          QStringLiteral("Zestawienie jest puste – nie ma czego drukować."));
        return;
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (!HasFixedPitch(font_) &&
        prompts().message(Severity::Confirmation,
                          QStringLiteral("Czcionka „%1” ma znaki różnej szerokości: linie tabeli "
                                         "na wydruku nie będą równe.\r\nCzy drukować mimo to?")
                              .arg(font_.family()),
                          Buttons::YesNo) != Answer::Yes)
        return;
    QFont font = font_;
    const int wider = LinesWiderThanPage(printer, lines, font_);
    if (wider > 0) {
        const QString lead =
            QStringLiteral(
                "Wierszy szerszych niż strona: %1. Tak wydrukowane, przejdą dalszym "
                "ciągiem do następnego wiersza i tabela się rozsypie.\r\n")
                .arg(wider);
        const qreal fits = PointSizeToFit(printer, lines, font_);
        if (fits > 0) {
            const QString size = QLocale(QLocale::Polish).toString(fits);
            const Answer a = prompts().message(
                Severity::Confirmation,
                lead + QStringLiteral("Czy wydrukować zestawienie mniejszą czcionką (%1 pkt), "
                                      "tak by zmieściło się na szerokość strony?\r\n"
                                      "Tak – mniejsza czcionka, Nie – ta sama czcionka, "
                                      "Anuluj – bez drukowania.")
                           .arg(size),
                Buttons::YesNoCancel);
            if (a == Answer::Cancel) return;
            if (a == Answer::Yes) font.setPointSizeF(fits);
        } else if (prompts().message(
                       Severity::Confirmation,
                       lead + QStringLiteral("Zestawienie nie zmieści się na szerokość strony "
                                             "nawet najmniejszą czcionką; pomoże poziome "
                                             "ułożenie kartki w ustawieniu drukarki.\r\n"
                                             "Czy drukować mimo to?"),
                       Buttons::YesNo) != Answer::Yes) {
            return;
        }
    }
    if (PrintLines(printer, lines, font, color_)) Memo1->document()->setModified(false);
}

void TDruk_lista::btnWstawClick() {
    if (!mayReplace(QStringLiteral("Czy zastąpić je zawartością pliku?"))) return;
    const std::optional<QString> text = AskAndReadTextFile(QStringLiteral("Wstaw z pliku"));
    if (!text) return;
    Memo1->setPlainText(*text);
    Memo1->document()->setModified(false);
}

void TDruk_lista::btnZapiszClick() {
    if (AskAndWriteTextFile(QStringLiteral("Zapisz do pliku"), Memo1->toPlainText()))
        Memo1->document()->setModified(false);
}

void TDruk_lista::done(int r) {
    if (!mayReplace(QStringLiteral("Czy zamknąć okno? Zmiany zostaną utracone."))) return;
    TPulpexDialog::done(r);
}

bool PokazWydruk(QWidget* owner) {
    TDruk_lista dlg(owner);
    dlg.Prepare(QDate::currentDate());
    dlg.setWindowState(dlg.windowState() | Qt::WindowMaximized);
    dlg.exec();
    return true;
}

}  // namespace pulpex
