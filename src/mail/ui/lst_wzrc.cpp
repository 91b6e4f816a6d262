#include "mail/ui/lst_wzrc.h"

#include <QEventLoop>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <memory>
#include <thread>

#include "addresses/adresy.h"
#include "addresses/ui/w_stron.h"
#include "controls/data/dataset.h"
#include "controls/grid/cvdbgrid.h"
#include "core/config.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "core/ui/print_text.h"
#include "core/ui/printer.h"
#include "core/ui/progress.h"
#include "mail/koresp.h"
#include "mail/serial.h"
#include "mail/transport/mail_settings.h"
#include "mail/transport/mail_transfer.h"
#include "mail/ui/wz_krsp.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kCaption = QStringLiteral("Korespondencja seryjna");
// How many names a question lists before it only counts the rest.
constexpr int kNamesListed = 20;

QString NameList(const QStringList& names) {
    QStringList shown = names.mid(0, kNamesListed);
    QString text = shown.join(QStringLiteral(", "));
    if (names.size() > kNamesListed)
        text += QStringLiteral(" i jeszcze %1").arg(names.size() - kNamesListed);
    return text;
}

// Runs `f` on a thread of its own while the window's events go on; its result once it has ended.
TMailResult OffThread(const std::function<TMailResult()>& f) {
    TMailResult result;
    QEventLoop loop;
    std::thread worker([&] {
        result = f();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return result;
}

}  // namespace

QString SerialFailureText(const QString& name) {
    return QStringLiteral("Wystąpił błąd podczas przesyłania wiadomości do ") + name +
           QStringLiteral(", czy przerwać wysyłanie?");
}

TformSerialMailing::TformSerialMailing(QWidget* parent)
    : TPulpexDialog(parent, "formSerialMailing", QStringLiteral("Wzorce korespondecji seryjnej"),
                    kHelpSerialMailing) {
    tKoresp = TableDataSet(this, "tKoresp", QStringLiteral("KORESP"), QStringLiteral("KOR_OPI"));
    tKoresp->SetReadOnly(true);
    dbgWzorce = new TCV_DBGrid(this);
    dbgWzorce->setObjectName(QStringLiteral("dbgWzorce"));
    dbgWzorce->SetDataSet(tKoresp);
    dbgWzorce->AddColumn(QStringLiteral("KOR_OPI"), QStringLiteral("Nazwa wzorca"));
    dbgWzorce->SetSearchName(QStringLiteral("KOR_OPI"));
    dbgWzorce->SetSearchCaseSens(false);
    dbgWzorce->horizontalHeader()->setStretchLastSection(true);

    btnZamknij = MakeButton(this, QStringLiteral("&ZAMKNIJ"), "btnZamknij", {}, true);
    btnNowy = MakeButton(this, QStringLiteral("&NOWY"), "btnNowy",
                         QStringLiteral("Nowy wzorzec korespondencji"));
    btnPopraw = MakeButton(this, QStringLiteral("&POPRAW"), "btnPopraw",
                           QStringLiteral("Popraw wskazany wzorzec"));
    btnUsun = MakeButton(this, QStringLiteral("&USUŃ"), "btnUsun",
                         QStringLiteral("Usuń wskazany wzorzec"));
    btnEmail = MakeButton(this, QStringLiteral("Seryjna poczta &EMAIL"), "btnEmail",
                          QStringLiteral("Wyślij wzorzec pocztą elektroniczną do wybranych "
                                         "adresatów"));
    btnWydruk = MakeButton(this, QStringLiteral("&Wydruk seryjny"), "btnWydruk",
                           QStringLiteral("Wydrukuj wzorzec dla wybranych adresatów"));
    connect(btnZamknij, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnNowy, &QPushButton::clicked, this, &TformSerialMailing::btnNowyClick);
    connect(btnPopraw, &QPushButton::clicked, this, &TformSerialMailing::btnPoprawClick);
    connect(dbgWzorce, &QAbstractItemView::doubleClicked, this,
            &TformSerialMailing::btnPoprawClick);
    connect(btnUsun, &QPushButton::clicked, this, &TformSerialMailing::btnUsunClick);
    connect(btnEmail, &QPushButton::clicked, this, [this] { RunSeries(Mode::Email); });
    connect(btnWydruk, &QPushButton::clicked, this, [this] { RunSeries(Mode::Print); });
    connect(tKoresp, &TDataSet::AfterOpen, this, &TformSerialMailing::UpdateEnabled);
    connect(tKoresp, &TDataSet::AfterScroll, this, &TformSerialMailing::UpdateEnabled);

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {btnNowy, btnPopraw, btnUsun})
        side->addWidget(b);
    side->addSpacing(16);
    side->addWidget(btnEmail);
    side->addWidget(btnWydruk);
    side->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(dbgWzorce, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(ButtonRow({}, {btnZamknij, HelpButton()}));
    SetActiveControl(dbgWzorce);
    resize(560, 380);
}

TformSerialMailing::~TformSerialMailing() = default;

void TformSerialMailing::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    if (!event->spontaneous()) Requery(0);
}

void TformSerialMailing::done(int r) {
    // The window stays while a series is being sent: its progress window stops it.
    if (busy_) return;
    tKoresp->Close();
    TPulpexDialog::done(r);
}

int TformSerialMailing::CurrentID() const {
    if (!tKoresp->Active() || tKoresp->IsEmpty()) return 0;
    return static_cast<int>(tKoresp->AsInteger(QStringLiteral("ID")));
}

void TformSerialMailing::Requery(int id) {
    Guarded([&] {
        if (tKoresp->Active())
            tKoresp->Refresh();
        else
            tKoresp->Open();
        if (id > 0) tKoresp->Locate(QStringLiteral("ID"), id);
    });
    UpdateEnabled();
}

void TformSerialMailing::UpdateEnabled() {
    const bool any = CurrentID() > 0;
    btnPopraw->setEnabled(any);
    btnUsun->setEnabled(any);
    btnEmail->setEnabled(any);
    btnWydruk->setEnabled(any);
}

void TformSerialMailing::btnNowyClick() {
    if (busy_) return;
    if (!TblKorespondencja) return;
    // Stored empty at once: the editor's user fields are written to this row.
    auto record = std::make_unique<TRec_Korespondencja>();
    int id = 0;
    if (!Guarded([&] { TblKorespondencja->OT_AddNew(id, *record); })) return;
    record->ID = id;
    bool stored = false;
    // A refused store (a lock, a full disk) shows why and goes back to the editor with the text.
    while (!stored && EdytujWzorzec(this, record.get()))
        stored = Guarded([&] { TblKorespondencja->OT_AddNew(id, *record); });
    if (!stored) Guarded([&] { TblKorespondencja->DeleteByID(id); });
    Requery(stored ? id : 0);
}

void TformSerialMailing::btnPoprawClick() {
    if (busy_) return;
    int id = CurrentID();
    if (id <= 0 || !TblKorespondencja) return;
    auto record = std::make_unique<TRec_Korespondencja>();
    bool found = false;
    if (!Guarded([&] { found = TblKorespondencja->ReadRecordByID(id, *record); })) return;
    if (!found) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Tego wzorca już nie ma (usunięto go na innym "
                                         "stanowisku)."));
        Requery(0);
        return;
    }
    bool stored = false;
    while (!stored && EdytujWzorzec(this, record.get()))
        stored = Guarded([&] { TblKorespondencja->OT_AddNew(id, *record); });
    Requery(id);
}

void TformSerialMailing::btnUsunClick() {
    if (busy_) return;
    const int id = CurrentID();
    if (id <= 0 || !TblKorespondencja) return;
    if (prompts().message(Severity::Confirmation,
                          QStringLiteral("Czy na pewno chcesz usunąć ten rekord ?"),
                          Buttons::YesNoCancel) != Answer::Yes)
        return;
    Guarded([&] { TblKorespondencja->DeleteByID(id); });
    Requery(0);
}

void TformSerialMailing::RunSeries(Mode mode) {
    if (busy_) return;
    const int id = CurrentID();
    if (id <= 0) return;
    auto picked = std::make_unique<TListaWybranychAdresow>();
    if (OknoStron(this, true, picked.get()) == 0 || picked->Count() == 0) return;
    TSerialSeries series;
    bool found = false;
    if (!Guarded([&] { found = PrepareSeries(id, *picked, series); })) return;
    picked.reset();
    if (!found) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Tego wzorca już nie ma (usunięto go na innym "
                                         "stanowisku)."));
        Requery(0);
        return;
    }
    if (series.letters.empty()) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Żadnego z wybranych adresów już nie ma w bazie."));
        return;
    }
    if (mode == Mode::Email)
        SendSeries(series);
    else
        PrintSeries(series);
}

void TformSerialMailing::SendSeries(const TSerialSeries& series) {
    summary_ = {};
    const TMailServer server = MailServerFromConfig(MailAccount::Smtp);
    const QString sender = ReadUserConfig(QStringLiteral("smb_adres_zwrotny"), QString()).trimmed();
    if (server.host.isEmpty() || sender.isEmpty()) {
        prompts().message(
            Severity::Warning,
            server.host.isEmpty()
                ? QStringLiteral("Nie podano serwera poczty wychodzącej (SMTP) w konfiguracji.")
                : QStringLiteral("Nie podano adresu zwrotnego (nadawcy) w konfiguracji."));
        return;
    }
    const QStringList without = WithoutEmail(series);
    const int toSend = static_cast<int>(series.letters.size()) - static_cast<int>(without.size());
    QString question =
        QStringLiteral("Wzorzec: %1\r\nListów do wysłania: %2").arg(series.subject).arg(toSend);
    if (!without.isEmpty())
        question +=
            QStringLiteral("\r\n\r\nBez adresu e-mail (nie dostaną listu): ") + NameList(without);
    if (toSend == 0) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Żaden z wybranych adresatów nie ma adresu e-mail:\r\n") +
                              NameList(without),
                          Buttons::Ok, kCaption);
        return;
    }
    question += QStringLiteral("\r\n\r\nCzy rozpocząć wysyłanie?");
    if (prompts().message(Severity::Confirmation, question, Buttons::YesNo, kCaption) !=
        Answer::Yes)
        return;

    summary_.skipped = static_cast<int>(without.size());
    // Nothing else is started from this window while the letters go out.
    busy_ = true;
    // One connection for the whole series: the session connects at its first letter.
    auto session = std::make_unique<TSmtpSession>(server);
    TProgressDlg_v3 progress(this);
    progress.setWindowTitle(kCaption);
    progress.Start(toSend, true);
    int done = 0;
    bool aborted = false;
    for (const TSerialLetter& l : series.letters) {
        if (l.email.isEmpty()) continue;
        // Stopped between letters: the one under way is finished first.
        if (progress.CancelRequested()) {
            summary_.stopped = true;
            break;
        }
        progress.SetText(QStringLiteral("List %1 z %2: %3").arg(done + 1).arg(toSend).arg(l.name));
        TMailTransfer letter;
        SetOutgoing(letter, server.host, l.email, l.text, series.subject, sender);
        for (;;) {
            const TMailResult r = OffThread([&] { return session->Send(letter); });
            if (r.ok) {
                ++summary_.sent;
                break;
            }
            const Answer a = prompts().message(
                Severity::Error, SerialFailureText(l.name) + QStringLiteral("\r\n\r\n") + r.message,
                Buttons::AbortRetryIgnore, kCaption);
            if (a == Answer::Retry) continue;
            ++summary_.failed;
            aborted = a != Answer::Ignore;
            break;
        }
        if (aborted) break;
        progress.SetPosition(++done);
    }
    // Saying goodbye to a slow server must not hold the window either.
    OffThread([&] {
        session.reset();
        return TMailResult{};
    });
    progress.Finish();
    busy_ = false;
    // Letters not reached after a stop or an abort are not sent either.
    summary_.skipped += toSend - summary_.sent - summary_.failed;
    QString text = QStringLiteral("Wysłano: %1\r\nNie wysłano z powodu błędu: %2\r\nPominięto: %3")
                       .arg(summary_.sent)
                       .arg(summary_.failed)
                       .arg(summary_.skipped);
    if (summary_.stopped) text += QStringLiteral("\r\n\r\nWysyłanie zatrzymano.");
    if (aborted) text += QStringLiteral("\r\n\r\nWysyłanie przerwano.");
    prompts().message(Severity::Information, text, Buttons::Ok, kCaption);
}

void TformSerialMailing::PrintSeries(const TSerialSeries& series) {
    const int count = static_cast<int>(series.letters.size());
    if (prompts().message(Severity::Confirmation,
                          QStringLiteral("Wzorzec: %1\r\nListów do wydruku: %2\r\n\r\n"
                                         "Czy rozpocząć drukowanie?")
                              .arg(series.subject)
                              .arg(count),
                          Buttons::YesNo, kCaption) != Answer::Yes)
        return;
    // The list's font, in bold; the painter scales it to the printer's resolution.
    QFont font = dbgWzorce->font();
    font.setBold(true);
    // One job for the series, each letter from a new page: on paper a pile in list order, as a
    // PDF one file.
    TTextPrinter printer(SharedPrinter());
    if (!printer.Begin()) return;
    printer.SetFont(font);
    TProgressDlg_v3 progress(this);
    progress.setWindowTitle(kCaption);
    progress.Start(count, true);
    int printed = 0;
    for (const TSerialLetter& l : series.letters) {
        if (progress.CancelRequested()) break;
        progress.SetText(
            QStringLiteral("List %1 z %2: %3").arg(printed + 1).arg(count).arg(l.name));
        if (printed > 0) printer.NewPage();
        for (const QString& line : LetterLines(l.text))
            printer.PrintLine(line);
        progress.SetPosition(++printed);
    }
    progress.Finish();
    printer.End();
    if (printed < count)
        prompts().message(
            Severity::Information,
            QStringLiteral("Drukowanie zatrzymano po %1 z %2 listów.").arg(printed).arg(count),
            Buttons::Ok, kCaption);
}

void KorespondencjaSeryjna(QWidget* owner) {
    TformSerialMailing w(owner);
    w.exec();
}

}  // namespace pulpex
