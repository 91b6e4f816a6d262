#include "mail/ui/wz_krsp.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/ui/help.h"
#include "mail/koresp.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

// KOR_OPI and the user fields hold this many characters.
constexpr int kFieldSize = 25;

QString userColumn(int n) {
    return QStringLiteral("KOR_US0") + QString::number(n);
}

// The value of a user field on the template row the shared table stands on.
QString currentUserValue(int n) {
    if (!TblKorespondencja || !TblKorespondencja->HasRow()) return {};
    return fieldString(TblKorespondencja->T(), userColumn(n)).trimmed();
}

struct MenuToken {
    const char* caption;
    const char* token;
};

}  // namespace

TformWzoryKorespondencji::TformWzoryKorespondencji(QWidget* parent)
    : TPulpexDialog(parent, "formWzoryKorespondencji", QStringLiteral("Wzory korespondencji"),
                    kHelpWzoryKorespondencji) {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    mnuPolaAdresowe = MainMenu1->addMenu(QStringLiteral("Pola &adresowe"));
    mnuPolaAdresowe->setObjectName(QStringLiteral("mnuPolaAdresowe"));
    static const MenuToken address[] = {
        {"&Imie", "{<1>IMIE}"},
        {"&Nazwisko", "{<1>NAZW}"},
        {"&Firma", "{<1>FIRMA}"},
        {"&email", "{<1>EMAIL}"},
        {"&Miasto", "{<1>MIASTO}"},
        {"&Kod", "{<1>KOD}"},
        {"&Ulica", "{<1>ULICA}"},
        {"&Dom", "{<1>DOM}"},
        {"&Lokal", "{<1>LOKAL}"},
        {"&Telefon 1", "{<1>TELEFON}"},
        {"&Fax", "{<1>FAX}"},
        {"Pole dodatkowe &1", "{<1>POLE_1}"},
        {"Pole dodatkowe &2", "{<1>POLE_2}"},
    };
    for (const MenuToken& m : address) {
        const QString token = QString::fromUtf8(m.token);
        mnuPolaAdresowe->addAction(QString::fromUtf8(m.caption), this,
                                   [this, token] { InsertToken(token); });
    }
    mnuPolaStale = MainMenu1->addMenu(QStringLiteral("Pola &stałe"));
    mnuPolaStale->setObjectName(QStringLiteral("mnuPolaStale"));
    static const MenuToken fixed[] = {
        {"&Operator", "{<2>OPERATOR}"},
        {"&Dzisiejsza data", "{<2>DATA}"},
        {"&Godzina", "{<2>GODZINA}"},
    };
    for (const MenuToken& m : fixed) {
        const QString token = QString::fromUtf8(m.token);
        mnuPolaStale->addAction(QString::fromUtf8(m.caption), this,
                                [this, token] { InsertToken(token); });
    }
    mnuPolaUzytkownika = MainMenu1->addMenu(QStringLiteral("Pola &użytkownika"));
    mnuPolaUzytkownika->setObjectName(QStringLiteral("mnuPolaUzytkownika"));
    mnuDefiniowanie = MainMenu1->addMenu(QStringLiteral("Definiowanie &pól użytkownika"));
    mnuDefiniowanie->setObjectName(QStringLiteral("mnuDefiniowanie"));
    for (int n = 1; n <= 9; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const QString token = QStringLiteral("{<3>UZYTK_%1}").arg(n);
        userItems_[i] =
            mnuPolaUzytkownika->addAction(QString(), this, [this, token] { InsertToken(token); });
        defineItems_[i] =
            mnuDefiniowanie->addAction(QString(), this, [this, n] { DefineUserField(n); });
    }

    auto* lbNazwa = new QLabel(QStringLiteral("Nazwa wzorca:"), this);
    edNazwa = new QLineEdit(this);
    edNazwa->setObjectName(QStringLiteral("edNazwa"));
    edNazwa->setMaxLength(kFieldSize);
    edNazwa->setToolTip(QStringLiteral("Tu wpisz nazwę wzorca korespondecji"));
    lbNazwa->setBuddy(edNazwa);
    mTresc = new QPlainTextEdit(this);
    mTresc->setObjectName(QStringLiteral("mTresc"));
    mTresc->setLineWrapMode(QPlainTextEdit::NoWrap);
    btnTest = MakeButton(this, QStringLiteral("&TEST"), "btnTest",
                         QStringLiteral("Pokaż jak będzie wyglądała strona wydruku"));
    btnKoniec = MakeButton(this, QStringLiteral("&KONIEC"), "btnKoniec");
    connect(btnTest, &QPushButton::clicked, this, &TformWzoryKorespondencji::btnTestClick);
    connect(btnKoniec, &QPushButton::clicked, this, &TformWzoryKorespondencji::btnKoniecClick);

    auto* head = new QHBoxLayout;
    head->addWidget(lbNazwa);
    head->addWidget(edNazwa, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(MainMenu1);
    layout->addLayout(head);
    layout->addWidget(mTresc, 1);
    layout->addLayout(ButtonRow({btnTest}, {btnKoniec, HelpButton()}));
    SetActiveControl(mTresc);
    resize(720, 520);
}

TformWzoryKorespondencji::~TformWzoryKorespondencji() = default;

void TformWzoryKorespondencji::Prepare(TRec_Korespondencja* record) {
    record_ = record;
}

void TformWzoryKorespondencji::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TformWzoryKorespondencji::FormShow() {
    RefreshUserCaptions();
    edNazwa->clear();
    mTresc->clear();
    if (record_) {
        edNazwa->setText(record_->KOR_OPI().trimmed());
        mTresc->setPlainText(record_->KOR_TRS.GetText());
    }
    shownName_ = edNazwa->text();
    shownText_ = mTresc->toPlainText();
}

void TformWzoryKorespondencji::RefreshUserCaptions() {
    for (int n = 1; n <= 9; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        // A "&" of the value is shown as itself, not taken for a mnemonic.
        QString value = currentUserValue(n);
        value.replace(QLatin1Char('&'), QStringLiteral("&&"));
        const QString caption = QStringLiteral("Pole &%1 : ").arg(n) + value;
        userItems_[i]->setText(caption);
        defineItems_[i]->setText(caption);
    }
}

void TformWzoryKorespondencji::InsertToken(const QString& token) {
    // Put in directly at the caret: the clipboard keeps what the user put there.
    mTresc->insertPlainText(token);
    mTresc->setFocus();
}

void TformWzoryKorespondencji::DefineUserField(int n) {
    if (!TblKorespondencja || !TblKorespondencja->HasRow()) return;
    QString value = currentUserValue(n);
    if (!prompts().inputBox(QStringLiteral("Definiowanie pola"),
                            QStringLiteral("Podaj nową wartość pola : "), value))
        return;
    if (value.size() > kFieldSize) {
        prompts().message(
            Severity::Warning,
            QStringLiteral("Wartość pola może mieć najwyżej %1 znaków.").arg(kFieldSize));
        return;
    }
    engine::Table& t = TblKorespondencja->T();
    Guarded([&] {
        t.edit();
        try {
            setFieldString(t, userColumn(n), value);
            t.post();
        } catch (...) {
            t.cancel();
            throw;
        }
    });
    RefreshUserCaptions();
}

void TformWzoryKorespondencji::btnTestClick() {
    TRec_Korespondencja scratch;
    const TRec_Korespondencja& with = record_ ? *record_ : scratch;
    QString text;
    if (!Guarded([&] { text = with.Substitute(mTresc->toPlainText()); })) return;
    prompts().message(Severity::Information, text, Buttons::Ok, windowTitle());
}

void TformWzoryKorespondencji::btnKoniecClick() {
    if (edNazwa->text().trimmed().isEmpty()) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Proszę wpisać nazwę wzorca korespondencji"));
        edNazwa->setFocus();
        return;
    }
    if (TblKorespondencja) {
        const engine::CodePage& cp = TblKorespondencja->T().codePage();
        if (!FitEditorText(edNazwa, cp, QStringLiteral("Nazwa wzorca")) ||
            !FitEditorText(mTresc, cp, QStringLiteral("Tekst wzorca")))
            return;
    }
    if (record_) {
        record_->KOR_TRS.SetText(mTresc->toPlainText());
        record_->KOR_OPI() = edNazwa->text().trimmed();
        if (TblKorespondencja && TblKorespondencja->HasRow()) {
            if (!Guarded([&] { record_->ReadUserFields(TblKorespondencja->T()); })) return;
        }
    }
    accept();
}

bool TformWzoryKorespondencji::Modified() const {
    return edNazwa->text() != shownName_ || mTresc->toPlainText() != shownText_;
}

void TformWzoryKorespondencji::reject() {
    // Esc or closing the window: what was typed is not dropped without asking.
    if (Modified()) {
        switch (prompts().message(Severity::Confirmation,
                                  QStringLiteral("Wzorzec został zmieniony. Czy zapisać zmiany?"),
                                  Buttons::YesNoCancel)) {
            case Answer::Yes:
                btnKoniecClick();
                return;
            case Answer::No:
                break;
            default:
                return;
        }
    }
    TPulpexDialog::reject();
}

bool EdytujWzorzec(QWidget* owner, TRec_Korespondencja* record) {
    TformWzoryKorespondencji w(owner);
    w.Prepare(record);
    w.setWindowState(w.windowState() | Qt::WindowMaximized);
    return w.exec() == QDialog::Accepted;
}

}  // namespace pulpex
