#include "register/ui/n_kor.h"

#include <QAction>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/config.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "core/utils.h"
#include "planner/ui/w_kaled.h"
#include "register/numeracja.h"
#include "register/ui/adres_zd.h"
#include "register/ui/w_kor_p.h"
#include "register/zdarzen.h"
#include "tables/engine/codepage.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kTextFilter =
    QStringLiteral("Pliki tekstowe (*.txt)|*.txt|Pliki wszystkie (*.*)|*.*");

QLabel* label(QWidget* parent, const QString& text, QWidget* buddy, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
}

// A text file as the user wrote it: UTF-8, or else the Windows code page of Polish offices.
QString decodeTextFile(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    return QString::fromStdString(engine::CodePage::forNumber(1250).decode(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

// The identifier of the correspondent whose e-mail address is exactly `email`; 0 when none.
int addressOfMail(const QString& email) {
    std::unique_ptr<TQueryDataSet> q(QueryDataSet(
        nullptr, "qMail", {QStringLiteral("select ID from ADRESY where AD_MAIL = :mail")}));
    q->SetParam(QStringLiteral("mail"), email);
    int id = 0;
    Guarded([&] {
        q->Open();
        if (!q->IsEmpty()) id = static_cast<int>(q->AsInteger(QStringLiteral("ID")));
    });
    return id;
}

}  // namespace

TNowaKor::TNowaKor(QWidget* parent)
    : TPulpexDialog(parent, "NowaKor", QStringLiteral("Nowe zdarzenie"), kHelpNowaKor) {
    tZdarzenia =
        TableDataSet(this, "tZdarzenia", QStringLiteral("ZDARZ"), QStringLiteral("ZDARZ_ID"));
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    tAdresy->SetMaster(tZdarzenia, QStringLiteral("ZD_ADR"));
    tZdarzenie_DOP_TO_NUMER = TableDataSet(this, "tZdarzenie_DOP_TO_NUMER", QStringLiteral("ZDARZ"),
                                           QStringLiteral("ZDARZ_ID"));
    tZdarzenie_DOP_TO_NUMER->SetMaster(tZdarzenia, QStringLiteral("ZD_DOP"));
    tZdarzenie_DOP_TO_NUMER->SetReadOnly(true);

    // --- the kind
    auto* kindBar = new QHBoxLayout;
    rbPrzychodzace = new QRadioButton(QStringLiteral("Pismo &przychodzące"), this);
    rbPrzychodzace->setObjectName(QStringLiteral("rbPrzychodzace"));
    rbWychodzace = new QRadioButton(QStringLiteral("Pismo &wychodzące"), this);
    rbWychodzace->setObjectName(QStringLiteral("rbWychodzace"));
    rbInne = new QRadioButton(QStringLiteral("&Inne"), this);
    rbInne->setObjectName(QStringLiteral("rbInne"));
    rbPrzychodzace->setChecked(true);
    for (QRadioButton* r : {rbPrzychodzace, rbWychodzace, rbInne}) {
        kindBar->addWidget(r);
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on) kindChanged();
        });
    }
    kindBar->addStretch(1);

    // --- the pages
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildEventPage(), QStringLiteral("&Zdarzenie"));
    PageControl1->addTab(buildContentPage(), QStringLiteral("&Treść"));
    tsAdres = buildAddressPage();
    PageControl1->addTab(tsAdres, QStringLiteral("&Adres"));
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (Kind() == 3 && PageControl1->currentWidget() == tsAdres)
            PageControl1->setCurrentIndex(0);
    });

    // --- the buttons
    auto* btnKalendarz =
        MakeButton(this, QStringLiteral("Kalendarz"), "btnKalendarz", QStringLiteral("Kalendarz"));
    connect(btnKalendarz, &QPushButton::clicked, this, &TNowaKor::btnKalendarzClick);
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK");
    btnOK->setEnabled(false);
    connect(btnOK, &QPushButton::clicked, this, &TNowaKor::btnOKClick);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(kindBar);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(
        ButtonRow({btnKalendarz},
                  {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));
    setFixedSize(620, 430);

    KeepPosted({tZdarzenia, tAdresy});
    SetActiveControl(edNumer);
}

QWidget* TNowaKor::buildEventPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsZdarzenie"));
    edNumer = Bound<TDBEdit>(page, "edNumer", tZdarzenia, QStringLiteral("ZD_NMR"));
    edNumer->SetMaxLength(16);
    edSymbol = Bound<TDBEdit>(page, "edSymbol", tZdarzenia, QStringLiteral("ZD_SMB"));
    edSymbol->SetMaxLength(16);
    lbSymbol = label(page, QStringLiteral("&Symbol"), edSymbol, "lbSymbol");
    edData = Bound<TDBEdit>(page, "edData", tZdarzenia, QStringLiteral("ZD_DAT"));
    edData->setReadOnly(true);
    auto* btnData =
        MakeButton(page, QStringLiteral("..."), "btnData", QStringLiteral("Wstawienie daty"));
    connect(btnData, &QPushButton::clicked, this, &TNowaKor::btnDataClick);
    chbPolecone = Bound<TDBCheckBox>(page, "chbPolecone", tZdarzenia, QStringLiteral("ZD_POL"));
    chbPolecone->setText(QStringLiteral("Pismo polecone"));
    edOdbiorca = Bound<TDBEdit>(page, "edOdbiorca", tZdarzenia, QStringLiteral("ZD_ODB"));
    edOdbiorca->SetCharCase(TEditCharCase::ecUpperCase);
    edOdbiorca->SetMaxLength(20);
    lbOdbiorca = label(page, QStringLiteral("Odbiorca"), edOdbiorca, "lbOdbiorca");
    edDoPisma =
        Bound<TDBEdit>(page, "edDoPisma", tZdarzenie_DOP_TO_NUMER, QStringLiteral("ZD_NMR"));
    edDoPisma->setReadOnly(true);
    btnDoPisma = MakeButton(page, QStringLiteral("..."), "btnDoPisma",
                            QStringLiteral("Wybór pisma Przychodzącego"));
    connect(btnDoPisma, &QPushButton::clicked, this, &TNowaKor::btnDoPismaClick);
    memOpis = Bound<TDBMemo>(page, "memOpis", tZdarzenia, QStringLiteral("ZD_OPIS"));
    memOpis->setTabChangesFocus(true);

    connect(edNumer, &QLineEdit::textChanged, this, &TNowaKor::updateOk);
    connect(edSymbol, &QLineEdit::textChanged, this, &TNowaKor::updateOk);

    auto* g = new QGridLayout(page);
    g->addWidget(label(page, QStringLiteral("&Numer"), edNumer), 0, 0);
    g->addWidget(edNumer, 0, 1, 1, 2);
    g->addWidget(lbSymbol, 0, 3);
    g->addWidget(edSymbol, 0, 4);
    g->addWidget(label(page, QStringLiteral("&Data"), edData), 1, 0);
    g->addWidget(edData, 1, 1);
    g->addWidget(btnData, 1, 2);
    g->addWidget(chbPolecone, 1, 3, 1, 2);
    g->addWidget(lbOdbiorca, 2, 0);
    auto* who = new QHBoxLayout;
    who->addWidget(edOdbiorca);
    who->addWidget(edDoPisma);
    who->addWidget(btnDoPisma);
    g->addLayout(who, 2, 1, 1, 4);
    g->addWidget(label(page, QStringLiteral("Opis"), memOpis), 3, 0, Qt::AlignTop);
    g->addWidget(memOpis, 3, 1, 1, 4);
    g->setRowStretch(3, 1);
    g->setColumnStretch(4, 1);
    return page;
}

QWidget* TNowaKor::buildContentPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsTresc"));
    memTresc = Bound<TDBMemo>(page, "memTresc", tZdarzenia, QStringLiteral("ZD_TRE"));
    memTresc->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(memTresc, &QWidget::customContextMenuRequested, this, &TNowaKor::memTrescContextMenu);

    auto* tools = new QHBoxLayout;
    const auto tool = [&](const QString& hint, const char* name, void (TNowaKor::*handler)()) {
        auto* b = MakeButton(page, hint, name, hint);
        connect(b, &QPushButton::clicked, this, handler);
        tools->addWidget(b);
    };
    tool(QStringLiteral("Wczytaj z pliku"), "btnWczytaj", &TNowaKor::btnWczytajClick);
    tool(QStringLiteral("Zapisz do pliku"), "btnZapisz", &TNowaKor::btnZapiszClick);
    tool(QStringLiteral("Wytnij"), "btnWytnij", &TNowaKor::btnWytnijClick);
    tool(QStringLiteral("Kopiuj"), "btnKopiuj", &TNowaKor::btnKopiujClick);
    tool(QStringLiteral("Kopiuj wszystko"), "btnKopiujWszystko", &TNowaKor::btnKopiujWszystkoClick);
    tool(QStringLiteral("Wklej"), "btnWklej", &TNowaKor::btnWklejClick);
    tools->addStretch(1);

    auto* v = new QVBoxLayout(page);
    v->addLayout(tools);
    v->addWidget(memTresc, 1);
    buildContextMenu();
    return page;
}

QWidget* TNowaKor::buildAddressPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsAdres"));
    BudujStroneAdresu(page, tAdresy);
    return page;
}

void TNowaKor::buildContextMenu() {
    // The actions live on the memo, so that their shortcuts work while it has the focus.
    const auto action = [this](const QString& text, const QKeySequence& keys, auto handler) {
        auto* a = new QAction(text, memTresc);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, handler);
        memTresc->addAction(a);
        return a;
    };
    action(QStringLiteral("&Wytnij"), QKeySequence(Qt::CTRL | Qt::Key_Delete),
           [this] { btnWytnijClick(); });
    action(QStringLiteral("&Kopiuj"), QKeySequence(Qt::CTRL | Qt::Key_S),
           [this] { btnKopiujClick(); });
    action(QStringLiteral("K&opiuj wszystko"), QKeySequence(Qt::CTRL | Qt::Key_O),
           [this] { btnKopiujWszystkoClick(); });
    action(QStringLiteral("W&klej"), QKeySequence(Qt::CTRL | Qt::Key_Insert),
           [this] { btnWklejClick(); });

    struct Part {
        const char* text;
        Qt::Key key;
        QStringList fields;
    };
    const Part parts[] = {
        {"&Nazwisko i imie", Qt::Key_N, {QStringLiteral("AD_IMIE"), QStringLiteral("AD_NAZW")}},
        {"N&azwa firmy", Qt::Key_A, {QStringLiteral("AD_NAZF")}},
        {"&Miejscowość", Qt::Key_M, {QStringLiteral("AD_MIAS")}},
        {"&Kod", Qt::Key_K, {QStringLiteral("AD_KOD")}},
        {"&Ulica", Qt::Key_U, {QStringLiteral("AD_ULIC")}},
        {"&Dom", Qt::Key_D, {QStringLiteral("AD_DOM")}},
        {"&Lokal", Qt::Key_L, {QStringLiteral("AD_LOKA")}},
        {"&Telefon", Qt::Key_T, {QStringLiteral("AD_TEL1")}},
        {"&Fax", Qt::Key_F, {QStringLiteral("AD_FAX")}},
    };
    for (const Part& p : parts) {
        const QStringList fields = p.fields;
        addressActions_ << action(QString::fromUtf8(p.text), QKeySequence(Qt::CTRL | p.key),
                                  [this, fields] { insertAddressPart(fields); });
    }
}

bool TNowaKor::Prepare(const QString& content, const QString& email, int kind) {
    TRec_Zdarzenia r;
    if (!content.isEmpty()) r.ZD_TRE.SetText(content);
    if (!email.isEmpty()) r.ZD_ADR = addressOfMail(email);
    const bool stored = Guarded(
        [&] {
            if (!TblZdarzenia) throw EDatabaseError("Brak tabeli ZDARZ w katalogu");
            id_ = 0;
            TblZdarzenia->OT_AddNew(id_, r);
        },
        QStringLiteral("Nie można utworzyć nowego zdarzenia."));
    if (!stored) return false;
    const bool opened = Guarded([&] {
        // The dialog works on its own row only.
        tZdarzenia->SetRange(id_, id_);
        tZdarzenia->Open();
        tAdresy->Open();
        tZdarzenie_DOP_TO_NUMER->Open();
    });
    if (!opened) {
        Finish(QDialog::Rejected);
        return false;
    }
    QRadioButton* chosen = kind == 2 ? rbWychodzace : kind == 3 ? rbInne : rbPrzychodzace;
    if (chosen->isChecked())
        kindChanged();
    else
        chosen->setChecked(true);
    return true;
}

int TNowaKor::Kind() const {
    return rbWychodzace->isChecked() ? 2 : rbInne->isChecked() ? 3 : 1;
}

void TNowaKor::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    if (tZdarzenia->Active()) kindChanged();
}

void TNowaKor::kindChanged() {
    const int kind = Kind();
    chbPolecone->setVisible(kind == 2);
    edDoPisma->setVisible(kind == 2);
    btnDoPisma->setVisible(kind == 2);
    edOdbiorca->setVisible(kind == 1);
    lbSymbol->setVisible(kind == 1);
    edSymbol->setVisible(kind == 1);
    lbOdbiorca->setVisible(kind != 3);
    lbOdbiorca->setText(kind == 2 ? QStringLiteral("Do pisma") : QStringLiteral("Odbiorca"));
    lbOdbiorca->setBuddy(kind == 2 ? static_cast<QWidget*>(btnDoPisma) : edOdbiorca);
    // An event of this kind has no correspondent: its address page cannot be opened.
    if (kind == 3 && PageControl1->currentWidget() == tsAdres) PageControl1->setCurrentIndex(0);
    PageControl1->setTabEnabled(PageControl1->indexOf(tsAdres), kind != 3);

    if (tZdarzenia->Active() && !tZdarzenia->IsEmpty()) {
        // The suggestion only looks at the counters; they are taken on "&OK".
        const QString suggestion = ExpandPattern(kind, false);
        Guarded([&] {
            if (!tZdarzenia->Editing()) tZdarzenia->Edit();
            tZdarzenia->SetFieldValue(QStringLiteral("ZD_TYP"), kind);
            tZdarzenia->SetFieldValue(QStringLiteral("ZD_NMR"), suggestion);
            tZdarzenia->Post();
        });
    }
    updateOk();
}

void TNowaKor::updateOk() {
    if (closing_) return;
    int address = 0;
    if (tZdarzenia->Active() && !tZdarzenia->IsEmpty())
        address = static_cast<int>(tZdarzenia->AsInteger(QStringLiteral("ZD_ADR")));
    const bool number = !edNumer->text().isEmpty();
    switch (Kind()) {
        case 1:
            btnOK->setEnabled(number && !edSymbol->text().isEmpty() && address != 0);
            break;
        case 2:
            btnOK->setEnabled(number && address != 0);
            break;
        default:
            btnOK->setEnabled(number);
    }
}

void TNowaKor::writeField(const QString& field, const QVariant& value) {
    // What is being typed goes first, so that it cannot overwrite the value afterwards.
    if (!PostPending()) return;
    Guarded([&] {
        if (!tZdarzenia->Editing()) tZdarzenia->Edit();
        tZdarzenia->SetFieldValue(field, value);
        tZdarzenia->Post();
    });
}

void TNowaKor::btnDataClick() {
    const QDate start = ParseDateTime(edData->text()).date();
    const QDate chosen = WybierzDate(this, true, false, start);
    if (chosen.isValid() && chosen != start) writeField(QStringLiteral("ZD_DAT"), chosen);
}

void TNowaKor::btnDoPismaClick() {
    const int id = OknoKorPrzy(this);
    if (id != 0) writeField(QStringLiteral("ZD_DOP"), id);
}

void TNowaKor::btnKalendarzClick() {
    WybierzDate(this, false, true, QDate::currentDate());
}

void TNowaKor::btnWczytajClick() {
    const QString path = prompts().openFileName(QStringLiteral("Wczytaj z pliku"), kTextFilter,
                                                QStringLiteral("*.txt"));
    if (path.isEmpty()) return;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        prompts().message(
            Severity::Error,
            QStringLiteral("Nie można odczytać pliku %1\r\n%2").arg(path, f.errorString()));
        return;
    }
    writeField(QStringLiteral("ZD_TRE"), decodeTextFile(f.readAll()));
}

void TNowaKor::btnZapiszClick() {
    const QString path = prompts().saveFileName(QStringLiteral("Zapisz do pliku"), kTextFilter,
                                                QStringLiteral("*.txt"), QStringLiteral("txt"));
    if (path.isEmpty()) return;
    if (!PostPending()) return;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(memTresc->toPlainText().toUtf8()) < 0 ||
        !f.commit())
        prompts().message(
            Severity::Error,
            QStringLiteral("Nie można zapisać pliku %1\r\n%2").arg(path, f.errorString()));
}

void TNowaKor::btnWytnijClick() {
    memTresc->cut();
    PostPending();
}

void TNowaKor::btnKopiujClick() {
    memTresc->copy();
}

void TNowaKor::btnKopiujWszystkoClick() {
    memTresc->selectAll();
    memTresc->copy();
}

void TNowaKor::btnWklejClick() {
    memTresc->paste();
    PostPending();
}

void TNowaKor::memTrescContextMenu(const QPoint& pos) {
    for (QAction* a : addressActions_)
        a->setEnabled(Kind() != 3);
    QMenu menu(this);
    menu.addActions(memTresc->actions().mid(0, 4));
    menu.addSeparator();
    menu.addActions(addressActions_);
    menu.exec(memTresc->mapToGlobal(pos));
}

void TNowaKor::insertAddressPart(const QStringList& fields) {
    // The correspondent's data go in at the caret; the clipboard keeps what the user put there.
    if (Kind() == 3 || !tAdresy->Active() || tAdresy->IsEmpty()) return;
    QStringList values;
    for (const QString& f : fields)
        values << tAdresy->FieldText(f).trimmed();
    const QString text = values.join(QLatin1Char(' ')).trimmed();
    if (!text.isEmpty()) memTresc->insertPlainText(text);
}

void TNowaKor::btnOKClick() {
    closing_ = false;
    if (!PostPending()) return;
    TNadanyNumer n;
    if (!Guarded([&] { n = NadajNumerZdarzenia(id_); },
                 QStringLiteral("Nie można nadać numeru zdarzeniu.")))
        return;
    Guarded([&] { tZdarzenia->Refresh(); });
    if (n.Zmieniony)
        prompts().message(
            Severity::Information,
            QStringLiteral("Sugerowany numer jest inny niż wybrany przez użytkownika!"));
    accept();
}

void TNowaKor::reject() {
    // Everything typed goes with the row: the user says so first, however the dialog is closed.
    const Answer a =
        prompts().message(Severity::Confirmation,
                          QStringLiteral("Czy napewno chcesz porzucić edycję nowego zdarzenia?"),
                          Buttons::YesNoCancel);
    if (a != Answer::Yes) return;
    closing_ = true;
    Guarded([&] {
        if (tZdarzenia->Editing()) tZdarzenia->Cancel();
        if (tAdresy->Editing()) tAdresy->Cancel();
    });
    TPulpexDialog::reject();
}

bool TNowaKor::Finish(int result) {
    tZdarzenie_DOP_TO_NUMER->Close();
    tAdresy->Close();
    tZdarzenia->Close();
    if (result == QDialog::Accepted) return true;
    if (id_ != 0)
        Guarded([&] { TblZdarzenia->UsunZdarzenie(id_); },
                QStringLiteral("Nie można usunąć porzuconego zdarzenia."));
    return false;
}

bool NoweZdarzenie(QWidget* owner, const QString& content, const QString& email, int kind) {
    TNowaKor dialog(owner);
    if (!dialog.Prepare(content, email, kind)) return false;
    return dialog.Finish(dialog.exec());
}

}  // namespace pulpex
