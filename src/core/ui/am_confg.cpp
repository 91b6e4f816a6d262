#include "core/ui/am_confg.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/myedit.h"
#include "core/config.h"
#include "core/system.h"
#include "core/ui/backup_tab.h"
#include "core/ui/help.h"
#include "users/ui/user_lst.h"

namespace pulpex {

namespace {

TConfig* gConfig = nullptr;

QPushButton* makeButton(QWidget* parent, const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QRadioButton* makeRadio(QWidget* parent, const QString& caption, const char* name) {
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(QLatin1String(name));
    return r;
}

}  // namespace

TConfig* ConfigWindow() {
    return gConfig;
}

QString TConfig::PatternKey(int eventType) {
    switch (eventType) {
        case 1:
            return QStringLiteral("smb_przychodzace");
        case 2:
            return QStringLiteral("smb_wychodzace");
        case 3:
            return QStringLiteral("smb_inne");
        default:
            return {};
    }
}

TConfig::TConfig(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Config"));
    setWindowTitle(QStringLiteral("Parametry konfiguracyjne"));
    SetHelpContext(this, kHelpConfig);
    if (!gConfig) gConfig = this;

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("PageControl1"));

    // "Symbole": the numbering pattern of each kind of event.
    auto* symbole = new QWidget(tabs);
    symbole->setObjectName(QStringLiteral("tsSymbole"));
    auto* rodzaj = new QGroupBox(QStringLiteral("Rodzaj zdarzenia"), symbole);
    rodzaj->setObjectName(QStringLiteral("rgRodzaj"));
    rbPrzychodzace = makeRadio(rodzaj, QStringLiteral("Pisma przychodzące"), "rbPrzychodzace");
    rbWychodzace = makeRadio(rodzaj, QStringLiteral("Pisma wychodzące"), "rbWychodzace");
    rbInne = makeRadio(rodzaj, QStringLiteral("Inne"), "rbInne");
    auto* rodzajLayout = new QVBoxLayout(rodzaj);
    rodzajLayout->addWidget(rbPrzychodzace);
    rodzajLayout->addWidget(rbWychodzace);
    rodzajLayout->addWidget(rbInne);
    auto* rodzajGroup = new QButtonGroup(this);
    rodzajGroup->addButton(rbPrzychodzace, 1);
    rodzajGroup->addButton(rbWychodzace, 2);
    rodzajGroup->addButton(rbInne, 3);
    connect(rodzajGroup, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) loadPattern();
    });

    edSymbol = new QLineEdit(symbole);
    edSymbol->setObjectName(QStringLiteral("edSymbol"));
    edSymbol->setReadOnly(true);  // built with the buttons only
    connect(edSymbol, &QLineEdit::textChanged, this, &TConfig::edSymbolChange);

    edTekst = new QLineEdit(symbole);
    edTekst->setObjectName(QStringLiteral("edTekst"));
    btnTekst = makeButton(symbole, QStringLiteral("Tekst"), "btnTekst");
    connect(btnTekst, &QPushButton::clicked, this, [this] { appendToPattern(edTekst->text()); });

    btnRok = makeButton(symbole, QStringLiteral("Rok"), "btnRok");
    auto* rok = new QGroupBox(symbole);
    rok->setObjectName(QStringLiteral("rgRok"));
    rbRok2 = makeRadio(rok, QStringLiteral("Dwucyfrowy {R2}"), "rbRok2");
    rbRok4 = makeRadio(rok, QStringLiteral("Czterocyfrowy {R4}"), "rbRok4");
    rbRok2->setChecked(true);
    auto* rokLayout = new QHBoxLayout(rok);
    rokLayout->addWidget(rbRok2);
    rokLayout->addWidget(rbRok4);
    connect(btnRok, &QPushButton::clicked, this, [this] {
        appendToPattern(rbRok4->isChecked() ? QStringLiteral("{R4}") : QStringLiteral("{R2}"));
    });

    btnMiesiac = makeButton(symbole, QStringLiteral("Miesiąc"), "btnMiesiac");
    connect(btnMiesiac, &QPushButton::clicked, this,
            [this] { appendToPattern(QStringLiteral("{MSC}")); });

    btnNumer = makeButton(symbole, QStringLiteral("Numer"), "btnNumer");
    auto* numer = new QGroupBox(symbole);
    numer->setObjectName(QStringLiteral("rgNumer"));
    rbNumerNZ = makeRadio(numer, QStringLiteral("Zdarzenia {NZ}"), "rbNumerNZ");
    rbNumerNP = makeRadio(numer, QStringLiteral("{NP}"), "rbNumerNP");
    rbNumerNK = makeRadio(numer, QStringLiteral("{NK}"), "rbNumerNK");
    rbNumerNZ->setChecked(true);
    rbNumerNP->hide();
    rbNumerNK->hide();
    auto* numerLayout = new QHBoxLayout(numer);
    numerLayout->addWidget(rbNumerNZ);
    numerLayout->addWidget(rbNumerNP);
    numerLayout->addWidget(rbNumerNK);
    connect(btnNumer, &QPushButton::clicked, this, [this] {
        if (rbNumerNP->isChecked())
            appendToPattern(QStringLiteral("{NP}"));
        else if (rbNumerNK->isChecked())
            appendToPattern(QStringLiteral("{NK}"));
        else
            appendToPattern(QStringLiteral("{NZ}"));
    });

    btnUsunSymbol = makeButton(symbole, QStringLiteral("Usuń symbol"), "btnUsunSymbol");
    connect(btnUsunSymbol, &QPushButton::clicked, edSymbol, &QLineEdit::clear);

    auto* pieces = new QGridLayout;
    pieces->addWidget(btnTekst, 0, 0);
    pieces->addWidget(edTekst, 0, 1);
    pieces->addWidget(btnRok, 1, 0);
    pieces->addWidget(rok, 1, 1);
    pieces->addWidget(btnMiesiac, 2, 0);
    pieces->addWidget(btnNumer, 3, 0);
    pieces->addWidget(numer, 3, 1);
    auto* symbolRow = new QHBoxLayout;
    auto* symbolLabel = new QLabel(QStringLiteral("Symbol:"), symbole);
    symbolLabel->setBuddy(edSymbol);
    symbolRow->addWidget(symbolLabel);
    symbolRow->addWidget(edSymbol, 1);
    symbolRow->addWidget(btnUsunSymbol);
    auto* tylkoAdmin = new QLabel(
        QStringLiteral("Wzory numeracji może zmieniać tylko administrator systemu."), symbole);
    tylkoAdmin->setObjectName(QStringLiteral("lbTylkoAdministrator"));
    tylkoAdmin->setVisible(false);
    auto* symboleLayout = new QVBoxLayout(symbole);
    symboleLayout->addWidget(tylkoAdmin);
    symboleLayout->addWidget(rodzaj);
    symboleLayout->addLayout(symbolRow);
    symboleLayout->addLayout(pieces);
    symboleLayout->addStretch();
    tabs->addTab(symbole, QStringLiteral("Symbole"));

    // "Użytkownicy".
    auto* uzytkownicy = new QWidget(tabs);
    uzytkownicy->setObjectName(QStringLiteral("tsUzytkownicy"));
    btnListaUzytkownikow =
        makeButton(uzytkownicy, QStringLiteral("Lista użytkowników"), "btnListaUzytkownikow");
    connect(btnListaUzytkownikow, &QPushButton::clicked, this, [] { EditUserList(); });
    auto* uzytkownicyLayout = new QVBoxLayout(uzytkownicy);
    uzytkownicyLayout->addWidget(btnListaUzytkownikow, 0, Qt::AlignLeft);
    uzytkownicyLayout->addStretch();
    tabs->addTab(uzytkownicy, QStringLiteral("Użytkownicy"));
    tabs->addTab(BuildBackupTab(tabs), QStringLiteral("Kopie &bezpieczeństwa"));

    edMainDir = new QLineEdit(this);
    edMainDir->setObjectName(QStringLiteral("edMainDir"));
    edMainDir->setEnabled(false);

    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TConfig::btnOKClick);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("Katalog programu:"), this));
    bottom->addWidget(edMainDir, 1);
    bottom->addWidget(btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(bottom);
    resize(560, 380);
}

TConfig::~TConfig() {
    if (gConfig == this) gConfig = nullptr;
}

bool TConfig::Execute() {
    return exec() == QDialog::Accepted;
}

int TConfig::ChosenType() const {
    if (rbWychodzace->isChecked()) return 2;
    if (rbInne->isChecked()) return 3;
    return 1;
}

void TConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    tabs->setCurrentIndex(0);
    if (TAM_System* sys = System()) edMainDir->setText(sys->MainDir);
    // Numbering is the office's legal record: only an administrator changes the patterns.
    const bool admin = LoggedInIsAdmin();
    for (QWidget* w :
         std::initializer_list<QWidget*>{edTekst, btnTekst, btnRok, rbRok2, rbRok4, btnMiesiac,
                                         btnNumer, rbNumerNZ, rbNumerNP, rbNumerNK, btnUsunSymbol})
        w->setEnabled(admin);
    findChild<QLabel*>(QStringLiteral("lbTylkoAdministrator"))->setVisible(!admin);
    if (rbPrzychodzace->isChecked())
        loadPattern();
    else
        rbPrzychodzace->setChecked(true);  // loads through the toggle
}

void TConfig::loadPattern() {
    loading_ = true;
    edSymbol->setText(PatternForType(ChosenType()).toUpper());
    loading_ = false;
}

void TConfig::appendToPattern(const QString& piece) {
    edSymbol->setText(edSymbol->text() + piece);
}

void TConfig::edSymbolChange(const QString& text) {
    const QString upper = text.toUpper();
    if (upper != text) {
        edSymbol->setText(upper);  // comes back here with the upper-case text
        return;
    }
    if (!loading_ && LoggedInIsAdmin()) WriteConfig(PatternKey(ChosenType()), upper);
}

void TConfig::btnOKClick() {
    if (ValidateForm(this)) accept();
}

}  // namespace pulpex
