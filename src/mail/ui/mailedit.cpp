#include "mail/ui/mailedit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "addresses/adresy.h"
#include "addresses/ui/w_stron.h"
#include "controls/split.h"
#include "core/config.h"
#include "core/prompts.h"
#include "core/ui/am_confg.h"
#include "core/ui/help.h"
#include "mail/letter_documents.h"
#include "mail/transport/mail_settings.h"
#include "mail/ui/mail_srv.h"
#include "planner/ui/w_kaled.h"
#include "planner/ui/w_plan.h"
#include "register/ui/n_kor.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kReturnAddressKey = QStringLiteral("smb_adres_zwrotny");
// Used when the settings name no server yet: a mail server on this machine.
const QString kDefaultHost = QStringLiteral("localhost");

QLineEdit* lineEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

QLabel* label(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

QSpinBox* portBox(QWidget* parent, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(0, 65535);
    s->setSpecialValueText(QStringLiteral("domyślny"));
    return s;
}

QComboBox* securityBox(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->addItem(QStringLiteral("brak"), static_cast<int>(MailSecurity::None));
    c->addItem(QStringLiteral("STARTTLS"), static_cast<int>(MailSecurity::StartTls));
    c->addItem(QStringLiteral("TLS"), static_cast<int>(MailSecurity::Tls));
    return c;
}

// The bare address of "Jan Kowalski <jan@firma.pl>" or of "jan@firma.pl".
QString bareAddress(const QString& text) {
    const int lt = text.indexOf(QLatin1Char('<'));
    if (lt < 0) return text.trimmed();
    const int gt = text.indexOf(QLatin1Char('>'), lt + 1);
    return text.mid(lt + 1, gt < 0 ? -1 : gt - lt - 1).trimmed();
}

}  // namespace

TformMailEdit::TformMailEdit(QWidget* parent)
    : TPulpexDialog(parent, "formMailEdit", QStringLiteral("Obsługa poczty elektronicznej"),
                    kHelpMailEdit),
      letters_(std::make_unique<TMailList>()) {
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* btnAdresy =
        MakeButton(this, QStringLiteral("Adresy"), "btnAdresy", QStringLiteral("Baza adresów"));
    connect(btnAdresy, &QPushButton::clicked, this, [this] { OknoStron(this, false); });
    auto* btnKalendarz =
        MakeButton(this, QStringLiteral("Kalendarz"), "btnKalendarz", QStringLiteral("Kalendarz"));
    connect(btnKalendarz, &QPushButton::clicked, this,
            [this] { WybierzDate(this, false, true, QDate::currentDate()); });
    auto* btnKonfiguracja = MakeButton(this, QStringLiteral("Konfiguracja"), "btnKonfiguracja",
                                       QStringLiteral("Konfiguracja"));
    connect(btnKonfiguracja, &QPushButton::clicked, this, &TformMailEdit::btnKonfiguracjaClick);
    auto* btnTerminarz =
        MakeButton(this, QStringLiteral("Terminarz"), "btnTerminarz", QStringLiteral("Terminarz"));
    connect(btnTerminarz, &QPushButton::clicked, this, [this] { PokazTerminarz(this); });

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildSendPage(), QStringLiteral("Wysyłanie poczty"));
    PageControl1->addTab(buildReceivedPage(), QStringLiteral("Otrzymana poczta"));
    PageControl1->addTab(buildSettingsPage(), QStringLiteral("Parametry połączenia"));

    auto* layout = new QVBoxLayout(this);
    auto* tools = new QHBoxLayout;
    for (QPushButton* b : {btnAdresy, btnKalendarz, btnKonfiguracja, btnTerminarz})
        tools->addWidget(b);
    tools->addStretch();
    layout->addLayout(tools);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(
        ButtonRow({}, {CancelButton(QStringLiteral("&Koniec"), "btnCancel"), HelpButton()}));
    resize(720, 540);
    SetActiveControl(eTo);
}

TformMailEdit::~TformMailEdit() = default;

QWidget* TformMailEdit::buildSendPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsWysylanie"));
    eTo = lineEdit(page, "eTo");
    auto* btnListaAdresow = MakeButton(page, QStringLiteral("?"), "btnListaAdresow",
                                       QStringLiteral("Wybór adresata z bazy adresów"));
    connect(btnListaAdresow, &QPushButton::clicked, this, &TformMailEdit::btnListaAdresowClick);
    eCC = lineEdit(page, "eCC");
    auto* lCC = label(page, QStringLiteral("CC :"), eCC);
    eCC->hide();
    lCC->hide();
    eSubject = lineEdit(page, "eSubject");
    reMessageText = new QPlainTextEdit(page);
    reMessageText->setObjectName(QStringLiteral("reMessageText"));
    auto* SendBtn = MakeButton(page, QStringLiteral("Wyś&lij"), "SendBtn");
    connect(SendBtn, &QPushButton::clicked, this, &TformMailEdit::SendBtnClick);
    auto* ClearBtn = MakeButton(page, QStringLiteral("W&yczyść"), "ClearBtn");
    connect(ClearBtn, &QPushButton::clicked, this, &TformMailEdit::ClearBtnClick);

    auto* grid = new QGridLayout;
    grid->addWidget(label(page, QStringLiteral("&Do :"), eTo), 0, 0);
    auto* to = new QHBoxLayout;
    to->addWidget(eTo, 1);
    to->addWidget(btnListaAdresow);
    grid->addLayout(to, 0, 1);
    grid->addWidget(SendBtn, 0, 2);
    grid->addWidget(lCC, 1, 0);
    grid->addWidget(eCC, 1, 1);
    grid->addWidget(label(page, QStringLiteral("&Temat :"), eSubject), 2, 0);
    grid->addWidget(eSubject, 2, 1);
    grid->addWidget(ClearBtn, 2, 2);
    grid->setColumnStretch(1, 1);
    auto* v = new QVBoxLayout(page);
    v->addLayout(grid);
    v->addWidget(label(page, QStringLiteral("T&reść listu :"), reMessageText));
    v->addWidget(reMessageText, 1);
    return page;
}

QWidget* TformMailEdit::buildReceivedPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsOdebrane"));
    auto* btnRefresh = MakeButton(page, QStringLiteral("O&dbierz pocztę"), "btnRefresh");
    connect(btnRefresh, &QPushButton::clicked, this, &TformMailEdit::btnRefreshClick);
    auto* btnNoweZdarzenie =
        MakeButton(page, QStringLiteral("&Utwórz zdarzenie"), "btnNoweZdarzenie");
    connect(btnNoweZdarzenie, &QPushButton::clicked, this, &TformMailEdit::btnNoweZdarzenieClick);
    auto* btnDeleteMail = MakeButton(page, QStringLiteral("Usuń &list"), "btnDeleteMail");
    connect(btnDeleteMail, &QPushButton::clicked, this, &TformMailEdit::btnDeleteMailClick);

    Split1 = new TSplit(page);
    Split1->setObjectName(QStringLiteral("Split1"));
    Split1->SetSplitType(TSplit::stVertical);
    Split1->installEventFilter(this);
    lbListy = new QTreeWidget(Split1);
    lbListy->setObjectName(QStringLiteral("lbListy"));
    lbListy->setRootIsDecorated(false);
    lbListy->setUniformRowHeights(true);
    lbListy->setHeaderLabels(
        {QStringLiteral("Od"), QStringLiteral("Temat"), QStringLiteral("Data")});
    lbListy->header()->resizeSection(0, 220);
    lbListy->header()->resizeSection(1, 280);
    lbListy->installEventFilter(this);
    connect(lbListy, &QTreeWidget::itemSelectionChanged, this, &TformMailEdit::lbListyChange);
    mReadMessage = new QPlainTextEdit(Split1);
    mReadMessage->setObjectName(QStringLiteral("mReadMessage"));
    mReadMessage->setReadOnly(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnRefresh);
    buttons->addWidget(btnNoweZdarzenie);
    buttons->addWidget(btnDeleteMail);
    buttons->addStretch();
    auto* v = new QVBoxLayout(page);
    v->addLayout(buttons);
    v->addWidget(Split1, 1);
    return page;
}

QWidget* TformMailEdit::buildSettingsPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsParametry"));

    auto* smtp = new QGroupBox(QStringLiteral("SMTP Serwer"), page);
    eSMTPServer = lineEdit(smtp, "eSMTPServer");
    eSMTPPort = portBox(smtp, "eSMTPPort");
    cbSMTPSecurity = securityBox(smtp, "cbSMTPSecurity");
    eSMTPUser = lineEdit(smtp, "eSMTPUser");
    eSMTPPassword = lineEdit(smtp, "eSMTPPassword");
    eSMTPPassword->setEchoMode(QLineEdit::Password);
    chbSMTPRemember = new QCheckBox(QStringLiteral("Zapamiętaj hasło na stałe"), smtp);
    chbSMTPRemember->setObjectName(QStringLiteral("chbSMTPRemember"));
    eSMTPCertificate = lineEdit(smtp, "eSMTPCertificate");
    eHomeAddr = lineEdit(smtp, "eHomeAddr");
    auto* btnSMTPCertificate =
        MakeButton(smtp, QStringLiteral("..."), "btnSMTPCertificate",
                   QStringLiteral("Wskazanie pliku certyfikatu, któremu ufasz"));
    connect(btnSMTPCertificate, &QPushButton::clicked, this,
            [this] { chooseCertificate(eSMTPCertificate); });
    auto* smtpCert = new QHBoxLayout;
    smtpCert->addWidget(eSMTPCertificate, 1);
    smtpCert->addWidget(btnSMTPCertificate);
    auto* fs = new QFormLayout(smtp);
    fs->addRow(label(smtp, QStringLiteral("Adres &serwera:"), eSMTPServer), eSMTPServer);
    fs->addRow(label(smtp, QStringLiteral("Port:"), eSMTPPort), eSMTPPort);
    fs->addRow(label(smtp, QStringLiteral("Zabezpieczenie:"), cbSMTPSecurity), cbSMTPSecurity);
    fs->addRow(label(smtp, QStringLiteral("Użytkownik:"), eSMTPUser), eSMTPUser);
    fs->addRow(label(smtp, QStringLiteral("Hasło:"), eSMTPPassword), eSMTPPassword);
    fs->addRow(QString(), chbSMTPRemember);
    fs->addRow(label(smtp, QStringLiteral("Certyfikat:"), eSMTPCertificate), smtpCert);
    fs->addRow(label(smtp, QStringLiteral("Adres &zwrotny:"), eHomeAddr), eHomeAddr);

    auto* pop = new QGroupBox(QStringLiteral("POP Serwer"), page);
    ePOPServer = lineEdit(pop, "ePOPServer");
    ePOPPort = portBox(pop, "ePOPPort");
    cbPOPSecurity = securityBox(pop, "cbPOPSecurity");
    eUserName = lineEdit(pop, "eUserName");
    ePassword = lineEdit(pop, "ePassword");
    ePassword->setEchoMode(QLineEdit::Password);
    chbPOPRemember = new QCheckBox(QStringLiteral("Zapamiętaj hasło na stałe"), pop);
    chbPOPRemember->setObjectName(QStringLiteral("chbPOPRemember"));
    ePOPCertificate = lineEdit(pop, "ePOPCertificate");
    auto* btnPOPCertificate =
        MakeButton(pop, QStringLiteral("..."), "btnPOPCertificate",
                   QStringLiteral("Wskazanie pliku certyfikatu, któremu ufasz"));
    connect(btnPOPCertificate, &QPushButton::clicked, this,
            [this] { chooseCertificate(ePOPCertificate); });
    auto* popCert = new QHBoxLayout;
    popCert->addWidget(ePOPCertificate, 1);
    popCert->addWidget(btnPOPCertificate);
    auto* fp = new QFormLayout(pop);
    fp->addRow(label(pop, QStringLiteral("Adres s&erwera:"), ePOPServer), ePOPServer);
    fp->addRow(label(pop, QStringLiteral("Port:"), ePOPPort), ePOPPort);
    fp->addRow(label(pop, QStringLiteral("Zabezpieczenie:"), cbPOPSecurity), cbPOPSecurity);
    fp->addRow(label(pop, QStringLiteral("&Użytkownik :"), eUserName), eUserName);
    fp->addRow(label(pop, QStringLiteral("&Hasło :"), ePassword), ePassword);
    fp->addRow(QString(), chbPOPRemember);
    fp->addRow(label(pop, QStringLiteral("Certyfikat:"), ePOPCertificate), popCert);

    eLimitCzasu = new QSpinBox(page);
    eLimitCzasu->setObjectName(QStringLiteral("eLimitCzasu"));
    eLimitCzasu->setRange(1, 600);
    eLimitCzasu->setSuffix(QStringLiteral(" s"));
    auto* limit = new QHBoxLayout;
    limit->addWidget(
        label(page, QStringLiteral("&Limit czasu oczekiwania na serwer:"), eLimitCzasu));
    limit->addWidget(eLimitCzasu);
    limit->addStretch();
    auto* note = new QLabel(
        QStringLiteral("Port „domyślny”: 25, 587 (STARTTLS) lub 465 (TLS) dla SMTP; 110 lub 995 "
                       "(TLS) dla POP. Certyfikat wskazuje się tylko dla serwera z certyfikatem "
                       "samopodpisanym; hasła bez „Zapamiętaj” są pamiętane do końca pracy."),
        page);
    note->setWordWrap(true);
    auto* groups = new QHBoxLayout;
    groups->addWidget(smtp);
    groups->addWidget(pop);
    auto* v = new QVBoxLayout(page);
    v->addLayout(groups);
    v->addLayout(limit);
    v->addWidget(note);
    v->addStretch();
    return page;
}

void TformMailEdit::Prepare() {
    letters_->Clear();
    lbListy->clear();
    mReadMessage->clear();
    const TMailServer smtp = MailServerFromConfig(MailAccount::Smtp);
    const TMailServer pop = MailServerFromConfig(MailAccount::Pop);
    eSMTPServer->setText(smtp.host.isEmpty() ? kDefaultHost : smtp.host);
    eSMTPPort->setValue(smtp.port);
    cbSMTPSecurity->setCurrentIndex(cbSMTPSecurity->findData(static_cast<int>(smtp.security)));
    eSMTPUser->setText(smtp.user);
    eSMTPPassword->setText(smtp.password);
    chbSMTPRemember->setChecked(
        !ReadUserConfig(QStringLiteral("smb_smtp_password"), QString()).isEmpty());
    eSMTPCertificate->setText(smtp.acceptedCertificate);
    eHomeAddr->setText(ReadUserConfig(kReturnAddressKey, QString()));
    ePOPServer->setText(pop.host.isEmpty() ? kDefaultHost : pop.host);
    ePOPPort->setValue(pop.port);
    cbPOPSecurity->setCurrentIndex(cbPOPSecurity->findData(static_cast<int>(pop.security)));
    eUserName->setText(pop.user);
    ePassword->setText(pop.password);
    chbPOPRemember->setChecked(
        !ReadUserConfig(QStringLiteral("smb_pop_password"), QString()).isEmpty());
    ePOPCertificate->setText(pop.acceptedCertificate);
    eLimitCzasu->setValue(MailTimeoutSeconds());
}

void TformMailEdit::StoreSettings() {
    auto server = [](QLineEdit* host, QSpinBox* port, QComboBox* security, QLineEdit* user,
                     QLineEdit* certificate) {
        TMailServer s;
        s.host = host->text().trimmed();
        s.port = port->value();
        s.security = static_cast<MailSecurity>(security->currentData().toInt());
        s.user = user->text().trimmed();
        s.acceptedCertificate = certificate->text().trimmed();
        return s;
    };
    bool ok = WriteMailServerConfig(
        MailAccount::Smtp,
        server(eSMTPServer, eSMTPPort, cbSMTPSecurity, eSMTPUser, eSMTPCertificate));
    ok = WriteMailServerConfig(MailAccount::Pop, server(ePOPServer, ePOPPort, cbPOPSecurity,
                                                        eUserName, ePOPCertificate)) &&
         ok;
    ok = WriteUserConfig(kReturnAddressKey, eHomeAddr->text().trimmed()) && ok;
    ok = WriteMailTimeoutSeconds(eLimitCzasu->value()) && ok;
    ok = SetMailPassword(MailAccount::Smtp, eSMTPPassword->text(), chbSMTPRemember->isChecked()) &&
         ok;
    ok = SetMailPassword(MailAccount::Pop, ePassword->text(), chbPOPRemember->isChecked()) && ok;
    if (!ok)
        prompts().message(Severity::Warning,
                          QStringLiteral("Nie można zapisać ustawień poczty w pliku ustawień."));
}

void TformMailEdit::done(int r) {
    StoreSettings();
    TPulpexDialog::done(r);
}

bool TformMailEdit::eventFilter(QObject* watched, QEvent* event) {
    // The list takes the upper two fifths, once the page is first laid out.
    if (watched == Split1 && event->type() == QEvent::Resize && !splitPlaced_ &&
        Split1->height() > 120) {
        splitPlaced_ = true;
        Split1->SetSplitPos(Split1->height() * 2 / 5);
    }
    if (watched == lbListy && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        btnDeleteMailClick();
        return true;
    }
    return TPulpexDialog::eventFilter(watched, event);
}

void TformMailEdit::chooseCertificate(QLineEdit* edit) {
    const QString file = prompts().openFileName(
        QStringLiteral("Certyfikat serwera"),
        QStringLiteral("Certyfikaty (*.pem;*.crt)|*.pem;*.crt|Pliki wszystkie (*.*)|*.*"),
        edit->text().isEmpty() ? QString() : QFileInfo(edit->text()).absolutePath());
    if (file.isEmpty()) return;
    const Answer a = prompts().message(
        Severity::Confirmation,
        QStringLiteral(
            "Program będzie ufał serwerowi, który przedstawi certyfikat z pliku\r\n%1\r\n"
            "Rób tak tylko wtedy, gdy certyfikat pochodzi od administratora serwera. "
            "Czy przyjąć ten certyfikat?")
            .arg(file),
        Buttons::YesNo);
    if (a == Answer::Yes) edit->setText(file);
}

void TformMailEdit::btnKonfiguracjaClick() {
    if (TConfig* config = ConfigWindow()) {
        config->Execute();
        return;
    }
    TConfig config(this);
    config.Execute();
}

void TformMailEdit::btnListaAdresowClick() {
    const int id = OknoStron(this, true);
    if (id == 0 || !TblAdresy) return;
    QString mail;
    if (!Guarded([&] { mail = TblAdresy->DajEMail(id); })) return;
    if (mail.trimmed().isEmpty()) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Wybrany adresat nie ma w bazie adresu e-mail."));
        return;
    }
    eTo->setText(mail.trimmed());
    eSubject->setFocus();
}

void TformMailEdit::SendBtnClick() {
    auto missing = [this](QLineEdit* edit, const QString& text, int page) {
        if (!edit->text().trimmed().isEmpty()) return false;
        prompts().message(Severity::Warning, text);
        PageControl1->setCurrentIndex(page);
        edit->setFocus();
        return true;
    };
    if (missing(eTo, QStringLiteral("Podaj adres adresata listu."), 0) ||
        missing(eSMTPServer, QStringLiteral("Podaj adres serwera SMTP."), 2) ||
        missing(eHomeAddr, QStringLiteral("Podaj adres zwrotny (nadawcy) listu."), 2))
        return;
    StoreSettings();
    TMailTransfer letter;
    const QString body = reMessageText->toPlainText();
    SetOutgoing(letter, eSMTPServer->text().trimmed(), eTo->text().trimmed(), body,
                eSubject->text(), eHomeAddr->text().trimmed());
    if (!MailSend(this, letter)) {
        // What was typed stays for another try.
        prompts().message(Severity::Error, QStringLiteral("Błąd podczas wysyłania poczty"));
        return;
    }
    if (prompts().message(
            Severity::Confirmation,
            QStringLiteral("Czy chcesz utworzyć nowe zdarzenie na podstawie tego listu ?"),
            Buttons::YesNo) == Answer::Yes)
        NoweZdarzenie(this, body, bareAddress(letter.recipient), 2);
    ClearBtnClick();
}

void TformMailEdit::ClearBtnClick() {
    eTo->clear();
    eCC->clear();
    eSubject->clear();
    reMessageText->clear();
}

void TformMailEdit::btnRefreshClick() {
    lbListy->clear();
    mReadMessage->clear();
    if (ePOPServer->text().trimmed().isEmpty()) {
        prompts().message(Severity::Warning, QStringLiteral("Podaj adres serwera POP."));
        PageControl1->setCurrentIndex(2);
        ePOPServer->setFocus();
        return;
    }
    StoreSettings();
    TMailTransfer connection;
    connection.server = ePOPServer->text().trimmed();
    connection.user = eUserName->text().trimmed();
    connection.password = ePassword->text();
    letters_->Clear();
    if (!MailReceive(this, connection, *letters_)) {
        letters_->Clear();
        prompts().message(Severity::Error,
                          QStringLiteral("Błąd podczas odczytu nowych wiadomości"));
        return;
    }
    FillList();
    mReadMessage->clear();
}

void TformMailEdit::FillList() {
    lbListy->clear();
    for (int i = 1; i <= letters_->Count(); ++i) {
        const TMailTransfer& l = letters_->Letter(i);
        auto* item = new QTreeWidgetItem(lbListy, {l.recipient, l.subject, l.date});
        item->setToolTip(0, l.recipient);
        item->setToolTip(1, l.subject);
    }
}

int TformMailEdit::Selected() const {
    const QList<QTreeWidgetItem*> items = lbListy->selectedItems();
    if (items.isEmpty()) return 0;
    return lbListy->indexOfTopLevelItem(items.first()) + 1;
}

void TformMailEdit::lbListyChange() {
    const int n = Selected();
    if (n == 0 || n > letters_->Count())
        mReadMessage->clear();
    else
        mReadMessage->setPlainText(letters_->Letter(n).body);
}

bool TformMailEdit::DeleteLetter(int number) {
    StoreSettings();
    TMailTransfer connection;
    connection.server = ePOPServer->text().trimmed();
    connection.user = eUserName->text().trimmed();
    connection.password = ePassword->text();
    // The letter is found by its identifier: another program may have renumbered the mailbox.
    if (!MailDelete(this, number, connection, letters_->Letter(number).uid)) return false;
    // The letters after it move up, as the mailbox renumbers them.
    letters_->Remove(number);
    FillList();
    mReadMessage->clear();
    return true;
}

void TformMailEdit::btnDeleteMailClick() {
    const int n = Selected();
    if (n == 0 || n > letters_->Count()) {
        prompts().beep();
        return;
    }
    const TMailTransfer& l = letters_->Letter(n);
    if (!ConfirmDeletion(QStringLiteral("Czy usunąć ze skrzynki na serwerze list „%1” od %2?\r\n"
                                        "Usuniętego listu nie można odzyskać.")
                             .arg(l.subject, l.recipient)))
        return;
    DeleteLetter(n);
}

void TformMailEdit::btnNoweZdarzenieClick() {
    const int n = Selected();
    if (n == 0 || n > letters_->Count()) {
        prompts().beep();
        return;
    }
    const QString sender = letters_->Letter(n).senderAddress;
    int eventId = 0;
    if (!NoweZdarzenie(this, mReadMessage->toPlainText(), sender, 1, &eventId)) return;
    // The event is kept whatever becomes of the attachments; a failure is told and the letter
    // stays in the mailbox unless the user deletes it.
    const TAttachmentsStored stored = StoreAttachments(eventId, letters_->Letter(n).attachments);
    if (!stored.failed.isEmpty())
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można zapisać załączników: %1.\r\n%2")
                              .arg(stored.failed.join(QStringLiteral(", ")), stored.reason));
    if (!stored.notKept.isEmpty())
        prompts().message(Severity::Information,
                          QStringLiteral("Nie zapisano załączników: %1. Dokumentami zdarzenia "
                                         "stają się tylko obrazy i pliki PDF.")
                              .arg(stored.notKept.join(QStringLiteral(", "))));
    if (prompts().message(Severity::Confirmation, QStringLiteral("Usunąć list?"), Buttons::YesNo) ==
        Answer::Yes)
        DeleteLetter(n);
}

void OknoPoczty(QWidget* owner) {
    TformMailEdit window(owner);
    window.Prepare();
    window.exec();
}

}  // namespace pulpex
