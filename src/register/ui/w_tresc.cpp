#include "register/ui/w_tresc.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "core/ui/print_text.h"
#include "core/ui/printer.h"
#include "core/ui/text_file.h"
#include "core/utils.h"
#include "documents/ui/w_pism.h"

namespace pulpex {

namespace {

const QString kFontSection = QStringLiteral("Czcionka memo");

struct AddressButton {
    const char* caption;
    const char* name;
    const char* hint;
    const char* fields;  // blank-separated
};

QStringList fieldList(const char* fields) {
    return QString::fromLatin1(fields).split(QLatin1Char(' '));
}

}  // namespace

TformEdytorTresciZdarzenia::TformEdytorTresciZdarzenia(QWidget* parent)
    : TPulpexDialog(parent, "formEdytorTresciZdarzenia", QStringLiteral("Okno edycyjne"),
                    kHelpEdytorTresci) {
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    resize(800, 600);

    tZdarzenia =
        TableDataSet(this, "tZdarzenia", QStringLiteral("ZDARZ"), QStringLiteral("ZDARZ_ID"));
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    tAdresy->SetReadOnly(true);
    tAdresy->SetMaster(tZdarzenia, QStringLiteral("ZD_ADR"));

    memTresc = Bound<TDBMemo>(this, "memTresc", tZdarzenia, QStringLiteral("ZD_TRE"));
    memTresc->setLineWrapMode(QPlainTextEdit::NoWrap);

    buildToolBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(memTresc, 1);

    KeepPosted({tZdarzenia, tAdresy});
    SetActiveControl(memTresc);
}

void TformEdytorTresciZdarzenia::buildToolBar() {
    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(4, 4, 4, 4);
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
    btnZapis = MakeButton(ToolBar1, QStringLiteral("Zapisz"), "btnZapis",
                          QStringLiteral("Zapis do pliku"));
    btnWczytanie = MakeButton(ToolBar1, QStringLiteral("Wczytaj"), "btnWczytanie",
                              QStringLiteral("Wczytanie z pliku"));
    btnWytnij =
        MakeButton(ToolBar1, QStringLiteral("Wytnij"), "btnWytnij", QStringLiteral("Wytnij"));
    btnKopiuj =
        MakeButton(ToolBar1, QStringLiteral("Kopiuj"), "btnKopiuj", QStringLiteral("Kopiuj"));
    btnWklej = MakeButton(ToolBar1, QStringLiteral("Wklej"), "btnWklej", QStringLiteral("Wklej"));
    for (QPushButton* b : {btnKoniec, btnCzcionka, btnUstawienieDrukarki, btnDrukowanie, btnPdf,
                           btnZapis, btnWczytanie, btnWytnij, btnKopiuj, btnWklej})
        tools->addWidget(b);
    auto* btnRysunki = MakeButton(ToolBar1, QStringLiteral("Rysunki"), "btnRysunki",
                                  QStringLiteral("Rysunki i Obiekty"));
    connect(btnRysunki, &QPushButton::clicked, this, [this] {
        if (PostPending()) PokazPisma(this, eventId_);
    });
    tools->addWidget(btnRysunki);
    tools->addStretch(1);
    tools->addWidget(HelpButton());

    connect(btnKoniec, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCzcionka, &QPushButton::clicked, this,
            &TformEdytorTresciZdarzenia::btnCzcionkaClick);
    connect(btnUstawienieDrukarki, &QPushButton::clicked, this,
            &TformEdytorTresciZdarzenia::btnUstawienieDrukarkiClick);
    connect(btnDrukowanie, &QPushButton::clicked, this,
            &TformEdytorTresciZdarzenia::btnDrukowanieClick);
    connect(btnPdf, &QPushButton::clicked, this, &TformEdytorTresciZdarzenia::btnPdfClick);
    connect(btnZapis, &QPushButton::clicked, this, &TformEdytorTresciZdarzenia::btnZapisClick);
    connect(btnWczytanie, &QPushButton::clicked, this,
            &TformEdytorTresciZdarzenia::btnWczytanieClick);
    connect(btnWytnij, &QPushButton::clicked, memTresc, &QPlainTextEdit::cut);
    connect(btnKopiuj, &QPushButton::clicked, memTresc, &QPlainTextEdit::copy);
    connect(btnWklej, &QPushButton::clicked, memTresc, &QPlainTextEdit::paste);

    panAdres = new QWidget(ToolBar1);
    panAdres->setObjectName(QStringLiteral("panAdres"));
    auto* address = new QHBoxLayout(panAdres);
    address->setContentsMargins(4, 0, 4, 4);
    const AddressButton buttons[] = {
        {"N", "btnN", "Nazwiwsko i imie", "AD_IMIE AD_NAZW"},
        {"M", "btnM", "Miejscowość", "AD_MIAS"},
        {"K", "btnK", "Kod", "AD_KOD"},
        {"U", "btnU", "Ulica", "AD_ULIC"},
        {"D", "btnD", "Dom", "AD_DOM"},
        {"L", "btnL", "Lokal", "AD_LOKA"},
        {"T", "btnT", "Telefon", "AD_TEL1"},
        {"F", "btnF", "Fax", "AD_FAX"},
    };
    for (const AddressButton& a : buttons) {
        QPushButton* b =
            MakeButton(panAdres, QString::fromUtf8(a.caption), a.name, QString::fromUtf8(a.hint));
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
        const QStringList fields = fieldList(a.fields);
        connect(b, &QPushButton::clicked, this, [this, fields] {
            if (!readOnly_ && InsertAddressFields(memTresc, tAdresy, fields))
                memTresc->setFocus(Qt::OtherFocusReason);
        });
        address->addWidget(b);
    }
    address->addStretch(1);

    auto* column = new QVBoxLayout(ToolBar1);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(tools);
    column->addWidget(panAdres);
}

void TformEdytorTresciZdarzenia::Prepare(int mode, int eventId) {
    mode_ = mode == 2 ? 2 : 1;
    eventId_ = eventId;
    if (mode_ == 2) {
        panAdres->hide();
        ToolBar1->setFixedHeight(35);
    }
    // Only the one event: a range on the identifier tag finds it at once on years of data.
    tZdarzenia->SetRange(eventId, eventId);
    Guarded([&] {
        tZdarzenia->Open();
        if (mode_ == 1) tAdresy->Open();
    });
    if (!tZdarzenia->Active() || tZdarzenia->IsEmpty()) {
        setReadOnly(true);
        return;
    }
    // The row is taken now, so that what is typed here can always be saved on closing.
    try {
        tZdarzenia->Edit();
    } catch (const engine::EDatabaseError& e) {
        ShowDatabaseError(e, QStringLiteral("Treść tego zdarzenia jest teraz zmieniana na innym "
                                            "stanowisku; okno pokaże ją tylko do odczytu."));
        setReadOnly(true);
    }
}

void TformEdytorTresciZdarzenia::setReadOnly(bool on) {
    readOnly_ = on;
    memTresc->setReadOnly(on);
    for (QPushButton* b : {btnWczytanie, btnWytnij, btnWklej})
        b->setEnabled(!on);
    panAdres->setEnabled(!on);
}

void TformEdytorTresciZdarzenia::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    FormActivate();
}

void TformEdytorTresciZdarzenia::changeEvent(QEvent* event) {
    TPulpexDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TformEdytorTresciZdarzenia::FormActivate() {
    // The font may have been changed in another window since.
    const TStoredFont stored = ReadStoredFont(kFontSection);
    font_ = stored.font;
    color_ = stored.color;
    memTresc->setFont(font_);
    QPalette p = memTresc->palette();
    p.setColor(QPalette::Text, color_);
    memTresc->setPalette(p);
}

void TformEdytorTresciZdarzenia::btnCzcionkaClick() {
    QFont chosen = font_;
    prompts().chooseFont(chosen);
    // Also when cancelled: what the memo shows is what is kept.
    font_ = chosen;
    memTresc->setFont(font_);
    if (!WriteStoredFont(kFontSection, font_, color_))
        prompts().message(Severity::Warning,
                          QStringLiteral("Nie można zapisać ustawień czcionki w pliku %1.")
                              .arg(QDir::toNativeSeparators(UserIniPath())));
}

void TformEdytorTresciZdarzenia::btnUstawienieDrukarkiClick() {
    prompts().printerSetup();
}

void TformEdytorTresciZdarzenia::btnDrukowanieClick() {
    PrintLines(SharedPrinter(), memTresc->toPlainText().split(QLatin1Char('\n')), font_, color_);
}

void TformEdytorTresciZdarzenia::btnPdfClick() {
    const std::unique_ptr<QPrinter> pdf = PdfPrinterLike(SharedPrinter());
    PrintLines(*pdf, memTresc->toPlainText().split(QLatin1Char('\n')), font_, color_);
}

void TformEdytorTresciZdarzenia::btnZapisClick() {
    AskAndWriteTextFile(QStringLiteral("Zapis do pliku"), memTresc->toPlainText());
}

void TformEdytorTresciZdarzenia::btnWczytanieClick() {
    if (readOnly_) return;
    const std::optional<QString> text = AskAndReadTextFile(QStringLiteral("Wczytanie z pliku"));
    if (!text) return;
    // Written and posted at once, then taken again for what follows.
    Guarded([&] {
        if (!tZdarzenia->Editing()) tZdarzenia->Edit();
        tZdarzenia->SetFieldValue(QStringLiteral("ZD_TRE"), *text);
        tZdarzenia->Post();
        tZdarzenia->Edit();
    });
}

bool InsertAddressFields(TDBMemo* memo, TDataSet* addresses, const QStringList& fields) {
    if (!memo || memo->isReadOnly() || !addresses || !addresses->Active() || addresses->IsEmpty())
        return false;
    QStringList parts;
    for (const QString& f : fields) {
        const QString value = addresses->FieldText(f).trimmed();
        if (!value.isEmpty()) parts << value;
    }
    // The row is taken first: a change that starts the edit would show the stored text again and
    // put the caret back at the start.
    if (parts.isEmpty() || !memo->Link().BeginChange()) return false;
    // Typed in at the caret: the clipboard keeps what the user put there.
    memo->insertPlainText(parts.join(QLatin1Char(' ')));
    return true;
}

namespace {

// One command of the content memo's menu.
struct ContentCommand {
    const char* caption;
    QKeyCombination key;
    const char* fields;  // blank-separated; null for the clipboard commands
};

// The menu and keys of one content memo; a child of the memo.
class TContentMenu : public QObject {
  public:
    TContentMenu(TDBMemo* memo, TDataSet* addresses, std::function<bool()> withAddress,
                 std::function<void()> changed)
        : QObject(memo),
          memo_(memo),
          addresses_(addresses),
          withAddress_(std::move(withAddress)),
          changed_(std::move(changed)) {
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo, &QWidget::customContextMenuRequested, this, &TContentMenu::popup);
        memo->installEventFilter(this);
    }

    static const std::vector<ContentCommand>& Commands() {
        static const std::vector<ContentCommand> commands = {
            {"&Wytnij", Qt::CTRL | Qt::Key_Delete, nullptr},
            {"&Kopiuj", Qt::CTRL | Qt::Key_S, nullptr},
            {"K&opiuj wszystko", Qt::CTRL | Qt::Key_O, nullptr},
            {"W&klej", Qt::CTRL | Qt::Key_Insert, nullptr},
            {"&Nazwisko i imie", Qt::CTRL | Qt::Key_N, "AD_IMIE AD_NAZW"},
            {"N&azwa firmy", Qt::CTRL | Qt::Key_A, "AD_NAZF"},
            {"&Miejscowość", Qt::CTRL | Qt::Key_M, "AD_MIAS"},
            {"&Kod", Qt::CTRL | Qt::Key_K, "AD_KOD"},
            {"&Ulica", Qt::CTRL | Qt::Key_U, "AD_ULIC"},
            {"&Dom", Qt::CTRL | Qt::Key_D, "AD_DOM"},
            {"&Lokal", Qt::CTRL | Qt::Key_L, "AD_LOKA"},
            {"&Telefon", Qt::CTRL | Qt::Key_T, "AD_TEL1"},
            {"&Fax", Qt::CTRL | Qt::Key_F, "AD_FAX"},
        };
        return commands;
    }

  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o != memo_ || (e->type() != QEvent::ShortcutOverride && e->type() != QEvent::KeyPress))
            return false;
        auto* k = static_cast<QKeyEvent*>(e);
        for (const ContentCommand& c : Commands()) {
            if (k->keyCombination() != c.key) continue;
            // The memo's own meaning of the key (select all, delete a word) gives way.
            e->accept();
            if (e->type() == QEvent::KeyPress) run(c);
            return true;
        }
        return false;
    }

  private:
    bool enabled(const ContentCommand& c) const {
        if (c.fields) return !memo_->isReadOnly() && (!withAddress_ || withAddress_());
        const QString caption = QString::fromUtf8(c.caption);
        if (caption == QLatin1String("&Wytnij") || caption == QLatin1String("W&klej"))
            return !memo_->isReadOnly();
        return true;
    }

    void run(const ContentCommand& c) {
        if (!enabled(c)) return;
        const QString caption = QString::fromUtf8(c.caption);
        bool changes = true;
        if (c.fields) {
            changes = InsertAddressFields(memo_, addresses_, fieldList(c.fields));
        } else if (caption == QLatin1String("&Wytnij")) {
            if (memo_->Link().BeginChange()) memo_->cut();
        } else if (caption == QLatin1String("W&klej")) {
            if (memo_->Link().BeginChange()) memo_->paste();
        } else if (caption == QLatin1String("&Kopiuj")) {
            memo_->copy();
            changes = false;
        } else {
            memo_->selectAll();
            memo_->copy();
            memo_->viewport()->update();
            changes = false;
        }
        if (changes && changed_) changed_();
    }

    void popup(const QPoint& pos) {
        QMenu menu(memo_);
        menu.setObjectName(QStringLiteral("pmTresc"));
        for (const ContentCommand& c : Commands()) {
            if (c.fields && QString::fromUtf8(c.caption) == QLatin1String("&Nazwisko i imie"))
                menu.addSeparator();
            QAction* a = menu.addAction(QString::fromUtf8(c.caption));
            a->setShortcut(QKeySequence(c.key));
            a->setEnabled(enabled(c));
            connect(a, &QAction::triggered, this, [this, c] { run(c); });
        }
        menu.exec(memo_->mapToGlobal(pos));
    }

    TDBMemo* memo_;
    QPointer<TDataSet> addresses_;
    std::function<bool()> withAddress_;
    std::function<void()> changed_;
};

}  // namespace

void InstallContentMenu(TDBMemo* memo, TDataSet* addresses, std::function<bool()> withAddress,
                        std::function<void()> changed) {
    new TContentMenu(memo, addresses, std::move(withAddress), std::move(changed));
}

void EdytorTresciZdarzenia(QWidget* owner, int mode, int eventId) {
    TformEdytorTresciZdarzenia dlg(owner);
    dlg.Prepare(mode, eventId);
    dlg.exec();
}

}  // namespace pulpex
