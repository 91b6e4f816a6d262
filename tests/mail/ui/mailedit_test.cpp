// "Obsługa poczty elektronicznej" against real servers on 127.0.0.1: aiosmtpd started per test and
// the dovecot POP3 server of the run; letters registered through "Nowe zdarzenie".
#include "mail/ui/mailedit.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "addresses/adresy.h"
#include "controls/dbcontrols.h"
#include "core/config.h"
#include "core/ui/help.h"
#include "documents/embedded.h"
#include "documents/pisma.h"
#include "documents/recognition.h"
#include "mail/transport/mail_settings.h"
#include "register/ui/choose_address.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/mail_servers.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::clickRow;
using test::kLatin2Letter;
using test::kUtf8Letter;
using test::ModalScript;
using test::typeText;

const QByteArray kMultipartLetter = test::kInvoiceHeaders + test::kInvoiceAlternative;

// A letter with the text "Przesyłam dokumenty." and `parts` (whole MIME parts) attached.
QByteArray letterWith(const QList<QByteArray>& parts) {
    QByteArray raw =
        "From: biuro@rachunki.pl\r\n"
        "Subject: Dokumenty\r\n"
        "Date: Mon, 7 Dec 2026 13:00:00 +0100\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"mix\"\r\n"
        "\r\n"
        "--mix\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "\r\n"
        "Przesyłam dokumenty.\r\n";
    for (const QByteArray& part : parts)
        raw += "--mix\r\n" + part;
    return raw + "--mix--\r\n";
}

QByteArray attachedPart(const QByteArray& type, const QByteArray& disposition,
                        const QByteArray& bytes) {
    QByteArray base64 = bytes.toBase64();
    QByteArray lines;
    for (qsizetype i = 0; i < base64.size(); i += 76)
        lines += base64.mid(i, 76) + "\r\n";
    return "Content-Type: " + type + "\r\nContent-Disposition: " + disposition +
           "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + lines;
}

// A scanned page with one word printed large enough to be recognised.
QByteArray scannedPng() {
    QImage page(1200, 300, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(90);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(page.rect(), Qt::AlignCenter, QStringLiteral("FAKTURA"));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(page.save(&buffer, "PNG"));
    return bytes;
}

QByteArray smallPdf() {
    QByteArray pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n";
    for (int i = 0; i < 300; ++i)
        pdf.append(static_cast<char>(i % 256));
    return pdf + "\n%%EOF\n";
}

class MailEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        ForgetSessionMailPasswords();
    }
    void TearDown() override { w.reset(); }

    void open() {
        w = std::make_unique<TformMailEdit>();
        w->Prepare();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    QLineEdit* edit(const char* name) { return child<QLineEdit>(w.get(), name); }
    // Presses a button of the page `page` (0 sending, 1 received mail, 2 settings), shown first
    // as the user would.
    void press(int page, const char* name) {
        child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(page);
        click(w.get(), name);
    }
    QTreeWidget* list() { return child<QTreeWidget>(w.get(), "lbListy"); }
    QStringList subjects() {
        QStringList out;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            out << list()->topLevelItem(i)->text(1);
        return out;
    }
    // The POP page filled in as the user would.
    void usePop(const TMailServer& s) {
        edit("ePOPServer")->setText(s.host);
        child<QSpinBox>(w.get(), "ePOPPort")->setValue(s.port);
        edit("eUserName")->setText(s.user);
        edit("ePassword")->setText(s.password);
    }
    void useSmtp(int port) {
        edit("eSMTPServer")->setText(QStringLiteral("127.0.0.1"));
        child<QSpinBox>(w.get(), "eSMTPPort")->setValue(port);
        edit("eHomeAddr")->setText(QStringLiteral("sekretariat@firma.pl"));
    }
    int addAddress(const QString& company, const QString& mail) {
        TRec_Adresy a;
        a.AD_NAZF = company;
        a.AD_NAZW = QStringLiteral("NOWAK");
        a.AD_MAIL() = mail;
        int id = 0;
        TblAdresy->OT_AddNew(id, a);
        return id;
    }
    // The events of the register, by identifier.
    static std::vector<TRec_Zdarzenia> events() {
        std::vector<TRec_Zdarzenia> out;
        for (int id = 1; id < 50; ++id) {
            TRec_Zdarzenia r;
            if (TblZdarzenia->ReadRecordByID(id, r)) out.push_back(r);
        }
        return out;
    }
    // The documents of event `event`, by identifier.
    static std::vector<TRec_Pisma> documentsOf(int event) {
        std::vector<TRec_Pisma> out;
        engine::Table& t = TblPisma->T();
        TblPisma->SetIDIndex();
        for (t.first(); !t.eof(); t.next()) {
            TRec_Pisma r;
            r.LoadFields(*TblPisma);
            if (r.ZDARZ_ID == event) out.push_back(r);
        }
        return out;
    }
    static QByteArray pictureOf(int id) {
        EXPECT_TRUE(TblPisma->LocateID(id));
        TOT_Blob blob;
        EXPECT_TRUE(blob.Attach(QStringLiteral("Rysunek"), *TblPisma));
        return blob.Read();
    }
    // Registers the selected letter, the dialog closed with "OK" or given up.
    void registerSelected(bool confirm) {
        ModalScript script;
        script.then([confirm](QWidget* d) {
            if (confirm) {
                child<QRadioButton>(d, "rbInne")->click();
                click(d, "btnOK");
            } else {
                click(d, "btnAnuluj");
            }
        });
        press(1, "btnNoweZdarzenie");
        EXPECT_TRUE(script.done());
    }
    static TMailList fetch(const TMailServer& s) {
        TMailList l;
        EXPECT_TRUE(MailReceive(s, l).ok);
        return l;
    }

    test::TestInstallation inst;
    test::TestPop3 pop;
    std::unique_ptr<TformMailEdit> w;
};

TEST_F(MailEditor, FetchedLettersShowTheirTextAndOneBecomesAnIncomingEventOfItsSender) {
    // The address book's first row is the sample correspondent; ours follows it.
    const int firma = addAddress(QStringLiteral("Firma Nowak"), QStringLiteral("pawel@firma.pl"));
    const TMailServer box =
        pop.mailbox(QStringLiteral("edytor1"), {kUtf8Letter, kLatin2Letter, kMultipartLetter});
    open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Obsługa poczty elektronicznej"));
    EXPECT_EQ(HelpContextOf(list()), kHelpMailEdit);
    usePop(box);
    press(1, "btnRefresh");
    EXPECT_TRUE(w->isEnabled());
    ASSERT_EQ(subjects(),
              (QStringList{"Zażółć gęślą jaźń", "Wezwanie do złożenia wyjaśnień", "Faktura"}))
        << inst.env.prompts.texts().join(QStringLiteral("|")).toStdString();
    EXPECT_EQ(list()->topLevelItem(0)->text(0), QStringLiteral("Paweł Nowak <pawel@firma.pl>"));
    auto* text = child<QPlainTextEdit>(w.get(), "mReadMessage");
    ASSERT_TRUE(clickRow(list(), 1));
    EXPECT_EQ(text->toPlainText(), QStringLiteral("Proszę o złożenie wyjaśnień w ciągu 7 dni.\n"));
    ASSERT_TRUE(clickRow(list(), 2));
    EXPECT_EQ(text->toPlainText(), QStringLiteral("W załączeniu faktura za grudzień.\n"));
    ASSERT_TRUE(clickRow(list(), 0));

    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Nowe zdarzenie"));
        EXPECT_TRUE(child<QRadioButton>(d, "rbPrzychodzace")->isChecked());
        EXPECT_EQ(child<TDBEdit>(d, "edFirma")->text(), QStringLiteral("Firma Nowak"));
        typeText(child<TDBEdit>(d, "edSymbol"), QStringLiteral("E-1"));
        click(d, "btnOK");
    });
    inst.env.prompts.setNextAnswer(Answer::Yes);  // "Usunąć list?"
    press(1, "btnNoweZdarzenie");
    EXPECT_TRUE(script.done());
    EXPECT_EQ(inst.env.prompts.texts(), QStringList{"Usunąć list?"});

    const auto stored = events();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].ZD_TYP, 1);
    EXPECT_EQ(stored[0].ZD_ADR, firma);
    EXPECT_EQ(stored[0].ZD_SMB, QStringLiteral("E-1"));
    EXPECT_EQ(stored[0].ZD_TRE.GetText().trimmed(),
              QStringLiteral("Dzień dobry, przesyłam pismo."));
    // Registered and deleted: the other two moved up, here and in the mailbox.
    EXPECT_EQ(subjects(), (QStringList{"Wezwanie do złożenia wyjaśnień", "Faktura"}));
    EXPECT_EQ(w->Letters().Count(), 2);
    const TMailList again = fetch(box);
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Letter(1).subject, QStringLiteral("Wezwanie do złożenia wyjaśnień"));
}

TEST_F(MailEditor, AnUnknownSenderIsRegisteredWithoutACorrespondent) {
    const TMailServer box = pop.mailbox(QStringLiteral("edytor2"), {kLatin2Letter});
    open();
    usePop(box);
    press(1, "btnRefresh");
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    // Nothing selected: a beep and nothing else.
    press(1, "btnNoweZdarzenie");
    EXPECT_EQ(inst.env.prompts.beeps, 1);
    EXPECT_TRUE(events().empty());

    ASSERT_TRUE(clickRow(list(), 0));
    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_TRUE(child<TDBEdit>(d, "edFirma")->text().isEmpty());
        EXPECT_FALSE(child<QPushButton>(d, "btnOK")->isEnabled());  // an incoming letter needs one
        child<QRadioButton>(d, "rbInne")->click();
        click(d, "btnOK");
    });
    inst.env.prompts.setNextAnswer(Answer::No);  // "Usunąć list?": the letter stays
    press(1, "btnNoweZdarzenie");
    EXPECT_TRUE(script.done());
    const auto stored = events();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].ZD_ADR, 0);
    EXPECT_EQ(stored[0].ZD_TRE.GetText().trimmed(),
              QStringLiteral("Proszę o złożenie wyjaśnień w ciągu 7 dni."));
    EXPECT_EQ(w->Letters().Count(), 1);
    EXPECT_EQ(fetch(box).Count(), 1);
}

TEST_F(MailEditor, PicturesAndPdfsOfARegisteredLetterBecomeDocumentsOfTheEvent) {
    const QByteArray png = scannedPng();
    const QByteArray pdf = smallPdf();
    const QByteArray letter = letterWith(
        {attachedPart("application/pdf",
                      "attachment; filename*=UTF-8''umowa%20%C5%BC%C3%B3%C5%82ta.pdf", pdf),
         attachedPart("image/png; name=\"skan.png\"", "inline; filename=\"skan.png\"", png)});
    const TMailServer box = pop.mailbox(QStringLiteral("edytor7"), {letter});
    open();
    usePop(box);
    press(1, "btnRefresh");
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    ASSERT_TRUE(clickRow(list(), 0));

    // Given up: no event, and no documents are made.
    const auto rowsBefore = TblPisma->T().recordCount();
    inst.env.prompts.setNextAnswer(Answer::Yes);  // "Czy napewno chcesz porzucić …"
    registerSelected(false);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(TblPisma->T().recordCount(), rowsBefore);

    inst.env.prompts.setNextAnswer(Answer::No);  // "Usunąć list?"
    registerSelected(true);
    const auto stored = events();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(inst.env.prompts.texts().last(), QStringLiteral("Usunąć list?"));
    EXPECT_EQ(inst.env.prompts.texts().size(), 2);  // nothing about the attachments
    const int event = stored[0].ID;
    const auto docs = documentsOf(event);
    ASSERT_EQ(docs.size(), 2u);
    const auto embedded = UnpackEmbedded(docs[0].PIS_OLE.Bytes());
    ASSERT_TRUE(embedded.has_value());
    EXPECT_EQ(embedded->fileName, QStringLiteral("umowa żółta.pdf"));
    EXPECT_EQ(embedded->mimeType, QStringLiteral("application/pdf"));
    EXPECT_EQ(embedded->data, pdf);
    EXPECT_EQ(pictureOf(docs[1].ID), png);
    EXPECT_EQ(QImage::fromData(pictureOf(docs[1].ID)).size(), QSize(1200, 300));

    // The page is read like one loaded in the documents window.
    QTRY_VERIFY_WITH_TIMEOUT(TRecognitionQueue::Instance().Pending(event) == 0, 60000);
    TRec_Pisma page;
    ASSERT_TRUE(TblPisma->ReadRecordByID(docs[1].ID, page));
    EXPECT_TRUE(page.PIS_IDX.GetText().contains(QStringLiteral("FAKTURA")))
        << page.PIS_IDX.GetText().toStdString();
    EXPECT_EQ(w->Letters().Count(), 1);
}

TEST_F(MailEditor, AttachmentsThatCannotBecomeDocumentsAreToldAndTheEventStays) {
    const QByteArray pdf = smallPdf();
    const QByteArray letter = letterWith(
        {attachedPart("application/vnd.openxmlformats-officedocument.wordprocessingml.document",
                      "attachment; filename=\"=?UTF-8?Q?pe=C5=82nomocnictwo.docx?=\"",
                      "PK\x03\x04"),
         attachedPart("application/octet-stream", "attachment; filename=\"zdjecie.jpg\"",
                      "nie obraz"),
         attachedPart("application/octet-stream", "attachment; filename=\"WEZWANIE.PDF\"", pdf)});
    const TMailServer box = pop.mailbox(QStringLiteral("edytor8"), {letter});
    open();
    usePop(box);
    press(1, "btnRefresh");
    ASSERT_TRUE(clickRow(list(), 0));
    inst.env.prompts.setNextAnswer(Answer::Ok);
    inst.env.prompts.setNextAnswer(Answer::Ok);
    inst.env.prompts.setNextAnswer(Answer::No);  // "Usunąć list?"
    registerSelected(true);
    EXPECT_EQ(inst.env.prompts.texts(),
              (QStringList{"Nie można zapisać załączników: „zdjecie.jpg”.\r\n"
                           "Nie można odczytać obrazu z załącznika „zdjecie.jpg”.",
                           "Nie zapisano załączników: „pełnomocnictwo.docx”. Dokumentami "
                           "zdarzenia stają się tylko obrazy i pliki PDF.",
                           "Usunąć list?"}));
    const auto stored = events();
    ASSERT_EQ(stored.size(), 1u);
    const auto docs = documentsOf(stored[0].ID);
    ASSERT_EQ(docs.size(), 1u);  // the PDF known by its name
    const auto embedded = UnpackEmbedded(docs[0].PIS_OLE.Bytes());
    ASSERT_TRUE(embedded.has_value());
    EXPECT_EQ(embedded->fileName, QStringLiteral("WEZWANIE.PDF"));
    EXPECT_EQ(embedded->data, pdf);
    EXPECT_EQ(w->Letters().Count(), 1);
    EXPECT_EQ(fetch(box).Count(), 1);
}

TEST_F(MailEditor, DeletingALetterAsksFirstAndTheFollowingOnesKeepTheMailboxNumbers) {
    const TMailServer box =
        pop.mailbox(QStringLiteral("edytor3"), {kUtf8Letter, kLatin2Letter, kMultipartLetter});
    open();
    usePop(box);
    press(1, "btnDeleteMail");  // nothing fetched, nothing selected
    EXPECT_EQ(inst.env.prompts.beeps, 1);
    press(1, "btnRefresh");
    ASSERT_TRUE(clickRow(list(), 1));

    // The Delete key asks the same question; "No" keeps the letter.
    inst.env.prompts.setNextAnswer(Answer::No);
    QTest::keyClick(list(), Qt::Key_Delete);
    ASSERT_EQ(inst.env.prompts.shown().size(), 1u);
    EXPECT_EQ(inst.env.prompts.shown()[0].buttons, Buttons::YesNo);
    EXPECT_EQ(inst.env.prompts.texts()[0],
              QStringLiteral("Czy usunąć ze skrzynki na serwerze list „Wezwanie do złożenia "
                             "wyjaśnień” od urzad@gmina.pl?\r\nUsuniętego listu nie można "
                             "odzyskać."));
    EXPECT_EQ(fetch(box).Count(), 3);

    inst.env.prompts.setNextAnswer(Answer::Yes);
    press(1, "btnDeleteMail");
    EXPECT_EQ(subjects(), (QStringList{"Zażółć gęślą jaźń", "Faktura"}));
    // The third letter is now number 2 of the mailbox: deleting it deletes the right one.
    ASSERT_TRUE(clickRow(list(), 1));
    inst.env.prompts.setNextAnswer(Answer::Yes);
    press(1, "btnDeleteMail");
    EXPECT_EQ(subjects(), QStringList{"Zażółć gęślą jaźń"});
    const TMailList left = fetch(box);
    ASSERT_EQ(left.Count(), 1);
    EXPECT_EQ(left.Letter(1).subject, QStringLiteral("Zażółć gęślą jaźń"));
    EXPECT_EQ(inst.env.prompts.shown().size(), 3u);  // only the three questions
}

TEST_F(MailEditor, ALetterToAnAddressFromTheBookIsSentSignedInOverStartTlsAndRegistered) {
    test::TestSmtpServer smtp(
        {QStringLiteral("--tls"), QStringLiteral("--auth"), QStringLiteral("jan:hasło-1")});
    const int mlyn = addAddress(QStringLiteral("Młyn Zbożowy"), QStringLiteral("biuro@mlyn.pl"));
    open();
    useSmtp(smtp.port);
    auto* security = child<QComboBox>(w.get(), "cbSMTPSecurity");
    security->setCurrentIndex(security->findText(QStringLiteral("STARTTLS")));
    edit("eSMTPUser")->setText(QStringLiteral("jan"));
    typeText(edit("eSMTPPassword"), QStringLiteral("hasło-1"));
    // The self-signed certificate is accepted by the user, explicitly.
    inst.env.prompts.setNextFileName(test::TestCertDir() + QStringLiteral("cert.pem"));
    inst.env.prompts.setNextAnswer(Answer::Yes);
    press(2, "btnSMTPCertificate");
    EXPECT_EQ(edit("eSMTPCertificate")->text(), test::TestCertDir() + QStringLiteral("cert.pem"));

    ModalScript script;
    script.then([](QWidget* d) { test::chooseAddress(d, QStringLiteral("Młyn")); });
    press(0, "btnListaAdresow");
    EXPECT_EQ(edit("eTo")->text(), QStringLiteral("biuro@mlyn.pl"));
    typeText(edit("eSubject"), QStringLiteral("Zamówienie – ważne"));
    typeText(child<QPlainTextEdit>(w.get(), "reMessageText"),
             QStringLiteral("Zamawiamy 10 worków mąki żytniej."));

    script.then([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Nowe zdarzenie"));
        EXPECT_TRUE(child<QRadioButton>(d, "rbWychodzace")->isChecked());
        EXPECT_EQ(child<TDBEdit>(d, "edFirma")->text(), QStringLiteral("Młyn Zbożowy"));
        click(d, "btnOK");
    });
    inst.env.prompts.setNextAnswer(Answer::Yes);  // make an event of it
    press(0, "SendBtn");
    EXPECT_TRUE(script.done());
    EXPECT_EQ(inst.env.prompts.texts().last(),
              QStringLiteral("Czy chcesz utworzyć nowe zdarzenie na podstawie tego listu ?"));

    ASSERT_EQ(smtp.stored().size(), 1);
    TMailTransfer back;
    ParseMessage(smtp.stored()[0], back);
    EXPECT_EQ(back.subject, QStringLiteral("Zamówienie – ważne"));
    EXPECT_EQ(back.body.trimmed(), QStringLiteral("Zamawiamy 10 worków mąki żytniej."));
    EXPECT_EQ(back.senderAddress, QStringLiteral("sekretariat@firma.pl"));
    const auto stored = events();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].ZD_TYP, 2);
    EXPECT_EQ(stored[0].ZD_ADR, mlyn);
    EXPECT_EQ(stored[0].ZD_TRE.GetText(), QStringLiteral("Zamawiamy 10 worków mąki żytniej."));
    EXPECT_TRUE(edit("eTo")->text().isEmpty());  // sent: the letter is cleared
    EXPECT_TRUE(child<QPlainTextEdit>(w.get(), "reMessageText")->toPlainText().isEmpty());
}

TEST_F(MailEditor, FailuresAreToldInPolishTheLetterStaysAndTheWindowIsUsableAgain) {
    open();
    auto* body = child<QPlainTextEdit>(w.get(), "reMessageText");
    // No return address: said before anything is sent.
    useSmtp(test::FreePort());
    edit("eHomeAddr")->clear();
    edit("eTo")->setText(QStringLiteral("nikt@urzad.gov.pl"));
    typeText(body, QStringLiteral("Treść, której nie wolno zgubić"));
    press(0, "SendBtn");
    EXPECT_EQ(inst.env.prompts.texts(), QStringList{"Podaj adres zwrotny (nadawcy) listu."});
    inst.env.prompts.clear();

    // Server down.
    edit("eHomeAddr")->setText(QStringLiteral("sekretariat@firma.pl"));
    press(0, "SendBtn");
    EXPECT_EQ(inst.env.prompts.texts(), (QStringList{"Błąd podczas próby uzyskania połączenia\r\n"
                                                     "Serwer 127.0.0.1 nie przyjmuje połączeń.",
                                                     "Błąd podczas wysyłania poczty"}));
    EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(body->toPlainText(), QStringLiteral("Treść, której nie wolno zgubić"));
    inst.env.prompts.clear();

    // A server that accepts and never answers: the time limit ends the wait.
    {
        test::SilentServer silent;
        child<QSpinBox>(w.get(), "eSMTPPort")->setValue(silent.port);
        child<QSpinBox>(w.get(), "eLimitCzasu")->setValue(1);
        QElapsedTimer t;
        t.start();
        press(0, "SendBtn");
        EXPECT_LT(t.elapsed(), 20000);
        EXPECT_EQ(inst.env.prompts.texts(),
                  (QStringList{"Błąd podczas próby uzyskania połączenia\r\n"
                               "Serwer 127.0.0.1 nie odpowiedział w wyznaczonym czasie.",
                               "Błąd podczas wysyłania poczty"}));
        EXPECT_TRUE(w->isEnabled());
        EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_limit_czasu"), {}), "1");
        inst.env.prompts.clear();
    }

    // A recipient the server refuses.
    {
        test::TestSmtpServer smtp(
            {QStringLiteral("--refuse"), QStringLiteral("nikt@urzad.gov.pl")});
        child<QSpinBox>(w.get(), "eSMTPPort")->setValue(smtp.port);
        press(0, "SendBtn");
        ASSERT_EQ(inst.env.prompts.texts().size(), 2);
        EXPECT_TRUE(inst.env.prompts.texts()[0].startsWith(
            QStringLiteral("Błąd podczas weryfikacji adresata\r\n")));
        EXPECT_EQ(inst.env.prompts.shown()[1].severity, Severity::Error);
        EXPECT_TRUE(smtp.stored().isEmpty());
        EXPECT_TRUE(w->isEnabled());
        EXPECT_EQ(edit("eTo")->text(), QStringLiteral("nikt@urzad.gov.pl"));
        inst.env.prompts.clear();
    }

    // A wrong POP password: the list stays empty.
    TMailServer box = pop.mailbox(QStringLiteral("edytor5"), {kUtf8Letter});
    box.password = QStringLiteral("zle");
    usePop(box);
    press(1, "btnRefresh");
    EXPECT_EQ(inst.env.prompts.texts(), (QStringList{"Błąd podczas próby uzyskania połączenia\r\n"
                                                     "Serwer odrzucił nazwę użytkownika lub hasło.",
                                                     "Błąd podczas odczytu nowych wiadomości"}));
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_EQ(w->Letters().Count(), 0);
    EXPECT_TRUE(w->isEnabled());
}

TEST_F(MailEditor, SettingsAreKeptOnClosingAndPasswordsOnlyWhenTheUserAsks) {
    open();
    // Nothing configured yet: a server on this machine.
    EXPECT_EQ(edit("eSMTPServer")->text(), QStringLiteral("localhost"));
    EXPECT_EQ(edit("ePOPServer")->text(), QStringLiteral("localhost"));
    edit("eSMTPServer")->setText(QStringLiteral("smtp.firma.pl"));
    child<QSpinBox>(w.get(), "eSMTPPort")->setValue(465);
    auto* security = child<QComboBox>(w.get(), "cbSMTPSecurity");
    security->setCurrentIndex(security->findText(QStringLiteral("TLS")));
    edit("eHomeAddr")->setText(QStringLiteral("sekretariat@firma.pl"));
    edit("ePOPServer")->setText(QStringLiteral("pop.firma.pl"));
    edit("eUserName")->setText(QStringLiteral("sekretariat"));
    edit("ePassword")->setText(QStringLiteral("Tajne-hasło"));
    click(w.get(), "btnCancel");
    EXPECT_FALSE(w->isVisible());

    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_smtp_server"), {}), "smtp.firma.pl");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_smtp_port"), {}), "465");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_smtp_security"), {}), "tls");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_adres_zwrotny"), {}), "sekretariat@firma.pl");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_pop_server"), {}), "pop.firma.pl");
    EXPECT_EQ(ReadUserConfig(QStringLiteral("smb_pop_user"), {}), "sekretariat");
    EXPECT_TRUE(ReadUserConfig(QStringLiteral("smb_pop_password"), {}).isEmpty());
    // For the session the password is there.
    open();
    EXPECT_EQ(edit("ePassword")->text(), QStringLiteral("Tajne-hasło"));
    EXPECT_EQ(edit("eSMTPServer")->text(), QStringLiteral("smtp.firma.pl"));
    EXPECT_EQ(child<QComboBox>(w.get(), "cbSMTPSecurity")->currentText(), QStringLiteral("TLS"));
    EXPECT_FALSE(child<QCheckBox>(w.get(), "chbPOPRemember")->isChecked());
    w->reject();
    // A new session does not know it.
    ForgetSessionMailPasswords();
    open();
    EXPECT_TRUE(edit("ePassword")->text().isEmpty());

    // Remembered: sealed in the settings, back in the next session.
    edit("ePassword")->setText(QStringLiteral("Tajne-hasło"));
    child<QCheckBox>(w.get(), "chbPOPRemember")->setChecked(true);
    w->reject();
    const QString sealed = ReadUserConfig(QStringLiteral("smb_pop_password"), {});
    EXPECT_TRUE(sealed.startsWith(QStringLiteral("s1:")));
    EXPECT_FALSE(sealed.contains(QStringLiteral("Tajne")));
    ForgetSessionMailPasswords();
    open();
    EXPECT_EQ(edit("ePassword")->text(), QStringLiteral("Tajne-hasło"));
    EXPECT_TRUE(child<QCheckBox>(w.get(), "chbPOPRemember")->isChecked());
}

// The window as the main window opens it.
TEST_F(MailEditor, TheEntryFunctionShowsTheWindowModallyUntilKoniec) {
    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_EQ(d->objectName(), QStringLiteral("formMailEdit"));
        click(d, "btnCancel");
    });
    OknoPoczty(nullptr);
    EXPECT_TRUE(script.done());
}

}  // namespace
}  // namespace pulpex
