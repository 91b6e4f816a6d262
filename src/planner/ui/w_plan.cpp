#include "planner/ui/w_plan.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "addresses/ui/w_stron.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/textfit.h"
#include "core/ui/help.h"
#include "core/utils.h"
#include "planner/note_dz.h"
#include "planner/ui/alarm_check.h"
#include "planner/ui/d_n_bud.h"
#include "planner/ui/w_kaled.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kSection = QStringLiteral("Pulpex");
const QString kKey = QStringLiteral("Alarm");

// Shows a column's stored text in another form ("08:00:00" as "08:00").
class TShownAs : public QStyledItemDelegate {
  public:
    TShownAs(std::function<QString(const QString&)> show, QObject* parent)
        : QStyledItemDelegate(parent), show_(std::move(show)) {}
    QString displayText(const QVariant& value, const QLocale&) const override {
        return show_(value.toString());
    }

  private:
    std::function<QString(const QString&)> show_;
};

QString alarmsFilter(const QDate& day) {
    return QStringLiteral("ALR_DAT=") + DateToStr(day) + QStringLiteral(" or ") +
           QStringLiteral("ALR_CDZ") + QStringLiteral(" = 'TRUE' ");
}

}  // namespace

Tokno_plan::Tokno_plan(QWidget* parent)
    : TPulpexDialog(parent, "okno_plan", QStringLiteral("Terminarz"), kHelpTerminarz) {
    tableNotatki =
        TableDataSet(this, "tableNotatki", QStringLiteral("NOTKI"), QStringLiteral("NT_DAT"));
    tableAlarmy =
        TableDataSet(this, "tableAlarmy", QStringLiteral("ALARM"), QStringLiteral("ALR_DAT"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    QWidget* day = buildDay();
    buildNote();
    buildAlarms();
    auto* right = new QVBoxLayout;
    right->addWidget(GroupBox1, 1);
    right->addWidget(GroupBox2, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(day);
    layout->addLayout(right, 1);

    connect(tableNotatki, &TDataSet::AfterScroll, this, &Tokno_plan::NoteChanged);
    connect(tableAlarmy, &TDataSet::AfterScroll, this, &Tokno_plan::AlarmChanged);
    connect(Timer1, &QTimer::timeout, this, &Tokno_plan::showClock);
    connect(&AlarmNotifier(), &TAlarmNotifier::Changed, this, &Tokno_plan::alarmsChangedElsewhere);
    KeepPosted({tableNotatki, tableAlarmy});

    SetDate(QDate::currentDate());
    resize(760, 500);
}

Tokno_plan::~Tokno_plan() = default;

QWidget* Tokno_plan::buildDay() {
    auto* box = new QWidget(this);
    auto* lbWybor = new QLabel(QStringLiteral("Wybór daty do edycji"), box);
    lbWybor->setObjectName(QStringLiteral("Label1"));
    auto* grid = new TPolishMonthGrid(box, QStringLiteral("Calendar2"));
    Calendar2 = grid->Calendar();
    lbWybor->setBuddy(grid);
    btnPrevMonth =
        MakeButton(box, QStringLiteral("<"), "btnPrevMonth", QStringLiteral("Poprzedni miesiąc"));
    btnNextMonth =
        MakeButton(box, QStringLiteral(">"), "btnNextMonth", QStringLiteral("Następny miesiąc"));
    Label2 = new QLabel(box);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    Label5 = new QLabel(box);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label6 = new QLabel(box);
    Label6->setObjectName(QStringLiteral("Label6"));
    QFont clock = Label6->font();
    clock.setBold(true);
    clock.setPointSizeF(clock.pointSizeF() * 1.5);
    Label6->setFont(clock);
    chbCheckAtStartup = new QCheckBox(QStringLiteral("Sprawdzaj przy uruchomieniu"), box);
    chbCheckAtStartup->setObjectName(QStringLiteral("chbCheckAtStartup"));
    chbCheckAtStartup->setVisible(false);
    auto* btnAdresy =
        MakeButton(box, QStringLiteral("Adresy"), "btnAdresy", QStringLiteral("Baza adresów"));
    btnClose = MakeButton(box, QStringLiteral("&Koniec"), "btnClose");

    auto* nav = new QHBoxLayout;
    nav->addWidget(btnPrevMonth);
    nav->addWidget(Label2, 1);
    nav->addWidget(btnNextMonth);
    auto* left = new QVBoxLayout(box);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(lbWybor);
    left->addLayout(nav);
    left->addWidget(grid, 1);
    left->addWidget(Label5);
    left->addWidget(Label6);
    left->addWidget(chbCheckAtStartup);
    left->addStretch();
    left->addWidget(btnAdresy);
    left->addWidget(btnClose);

    connect(Calendar2, &QCalendarWidget::selectionChanged, this, &Tokno_plan::Calendar2Change);
    connect(Calendar2, &QCalendarWidget::currentPageChanged, this, &Tokno_plan::showMonth);
    connect(btnPrevMonth, &QPushButton::clicked, this, [this] { moveMonth(-1); });
    connect(btnNextMonth, &QPushButton::clicked, this, [this] { moveMonth(1); });
    connect(btnAdresy, &QPushButton::clicked, this, [this] {
        // What was typed in the note is kept before the address book takes the focus.
        if (PostPending()) OknoStron(this, false);
    });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    return box;
}

void Tokno_plan::buildNote() {
    GroupBox1 = new QGroupBox(QStringLiteral(" Zapis na wybraną datę "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Label4 = new QLabel(GroupBox1);
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont bold = Label4->font();
    bold.setBold(true);
    Label4->setFont(bold);
    DBMemo1 = Bound<TDBMemo>(GroupBox1, "DBMemo1", tableNotatki, QStringLiteral("NT_OPI"));
    DBMemo1->setTabChangesFocus(true);
    btnAddNote = MakeButton(GroupBox1, QStringLiteral("&Utwórz notatkę w na powyższą datę"),
                            "btnAddNote", QStringLiteral("Dodanie nowej rejestracji"));
    btnDeleteNote = MakeButton(GroupBox1, QStringLiteral("Usuń no&tatkę na powyższą datę"),
                               "btnDeleteNote", QStringLiteral("Usunięcie rejestracji"));

    auto* layout = new QVBoxLayout(GroupBox1);
    layout->addWidget(Label4);
    layout->addWidget(DBMemo1, 1);
    layout->addLayout(ButtonRow({btnAddNote, btnDeleteNote}, {}));

    connect(btnAddNote, &QPushButton::clicked, this, &Tokno_plan::btnAddNoteClick);
    connect(btnDeleteNote, &QPushButton::clicked, this, &Tokno_plan::btnDeleteNoteClick);
}

void Tokno_plan::buildAlarms() {
    GroupBox2 = new QGroupBox(QStringLiteral(" Harmonogram godzinowy na wybraną datę "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    DBGrid1 = new TCV_DBGrid(GroupBox2);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->SetDataSet(tableAlarmy);
    // The time to the minute (as it was set), whether it rings every day, and what it is about.
    DBGrid1->AddColumn(QStringLiteral("ALR_GDZ"), QStringLiteral("Godzina"), 60);
    DBGrid1->AddColumn(QStringLiteral("ALR_CDZ"), QStringLiteral("Codziennie"), 80);
    DBGrid1->AddColumn(QStringLiteral("ALR_OPI"), QStringLiteral("Treść"));
    DBGrid1->setItemDelegateForColumn(
        0, new TShownAs([](const QString& t) { return t.left(5); }, DBGrid1));
    DBGrid1->setItemDelegateForColumn(
        1, new TShownAs(
               [](const QString& t) {
                   return t == QLatin1String("True") ? QStringLiteral("tak") : QString();
               },
               DBGrid1));
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->setMinimumWidth(240);
    DBGrid1->installEventFilter(this);
    DBGrid1->viewport()->installEventFilter(this);
    DBMemo2 = Bound<TDBMemo>(GroupBox2, "DBMemo2", tableAlarmy, QStringLiteral("ALR_OPI"));
    DBMemo2->setTabChangesFocus(true);
    dbchbAktywny =
        Bound<TDBCheckBox>(GroupBox2, "dbchbAktywny", tableAlarmy, QStringLiteral("ALR_AKT"));
    dbchbAktywny->setText(QStringLiteral("Aktywny"));
    dbchbCodzienny =
        Bound<TDBCheckBox>(GroupBox2, "dbchbCodzienny", tableAlarmy, QStringLiteral("ALR_CDZ"));
    dbchbCodzienny->setText(QStringLiteral("Na wszystkie dni"));
    btnNewAlarm = MakeButton(GroupBox2, QStringLiteral("&Nowa"), "btnNewAlarm",
                             QStringLiteral("Dodanie nowej rejestracji"));
    btnDeleteAlarm = MakeButton(GroupBox2, QStringLiteral("U&suń"), "btnDeleteAlarm",
                                QStringLiteral("Usunięcie rejestracji"));

    auto* flags = new QHBoxLayout;
    flags->addWidget(dbchbAktywny);
    flags->addWidget(dbchbCodzienny);
    flags->addStretch();
    auto* detail = new QVBoxLayout;
    detail->addWidget(DBMemo2, 1);
    detail->addLayout(flags);
    auto* rows = new QHBoxLayout;
    rows->addWidget(DBGrid1, 3);
    rows->addLayout(detail, 2);
    auto* layout = new QVBoxLayout(GroupBox2);
    layout->addLayout(rows, 1);
    layout->addLayout(ButtonRow({btnNewAlarm, btnDeleteAlarm}, {}));

    connect(btnNewAlarm, &QPushButton::clicked, this, &Tokno_plan::btnNewAlarmClick);
    connect(btnDeleteAlarm, &QPushButton::clicked, this, &Tokno_plan::btnDeleteAlarmClick);
}

void Tokno_plan::SetDate(const QDate& date) {
    const QDate d = date.isValid() ? date : QDate::currentDate();
    Calendar2->setSelectedDate(d);
    Calendar2->setCurrentPage(Calendar2->selectedDate().year(), Calendar2->selectedDate().month());
    // Same day again: no change signal, but the labels and filters must follow.
    Calendar2Change();
    showMonth();
}

QDate Tokno_plan::ChosenDate() const {
    return Calendar2->selectedDate();
}

// ---------------------------------------------------------------- activation

void Tokno_plan::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    FormActivate();
}

void Tokno_plan::changeEvent(QEvent* event) {
    TPulpexDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isVisible()) return;
    if (isActiveWindow())
        FormActivate();
    else
        FormDeactivate();
}

void Tokno_plan::FormActivate() {
    if (activating_) return;
    activating_ = true;
    showMonth();
    Label5->setText(DayName(QDate::currentDate()) + QStringLiteral(", ") +
                    LongDateText(QDate::currentDate()));
    showClock();
    if (!Timer1->isActive()) Timer1->start();
    // Opened once per showing: a table that cannot be opened is reported once, not at every
    // activation that the message box itself causes.
    if (!tableNotatki->Active() && !tableAlarmy->Active()) {
        Guarded([this] {
            tableNotatki->Open();
            tableAlarmy->Open();
        });
        NoteChanged();
    }
    chbCheckAtStartup->setChecked(IniReadString(kSection, kKey, QString(), UserIniPath()) ==
                                  QLatin1String("1"));
    activating_ = false;
}

void Tokno_plan::FormDeactivate() {
    IniWriteString(kSection, kKey,
                   chbCheckAtStartup->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                   UserIniPath());
}

void Tokno_plan::done(int r) {
    // What the user typed is kept: a text that cannot be stored, or a refused post, keeps the
    // window open with the text.
    if (!leaveNote() || !leaveAlarm()) return;
    Timer1->stop();
    FormDeactivate();
    TPulpexDialog::done(r);
}

bool Tokno_plan::leaveNote() {
    return leaveRow(tableNotatki, DBMemo1, QStringLiteral("Tekst notatki"));
}

bool Tokno_plan::leaveAlarm() {
    return leaveRow(tableAlarmy, DBMemo2, QStringLiteral("Tekst alarmu"));
}

bool Tokno_plan::leaveRow(TTableDataSet* ds, TDBMemo* memo, const QString& what) {
    if (!ds->Active() || !ds->Editing()) return true;
    if (!FitEditorText(memo, ds->Table()->codePage(), what)) return false;
    if (!Guarded([ds] { ds->Post(); })) return false;
    return !ds->Editing();
}

bool Tokno_plan::eventFilter(QObject* watched, QEvent* event) {
    // Another row of the alarm list is chosen only when the alarm being edited can be left:
    // moving would otherwise store what the table took of it and drop the rest.
    const QEvent::Type t = event->type();
    const bool choosing =
        t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick || t == QEvent::KeyPress;
    if (choosing && (watched == DBGrid1 || watched == DBGrid1->viewport()) &&
        tableAlarmy->Editing() && !leaveAlarm())
        return true;
    return TPulpexDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- the day and its rows

void Tokno_plan::showMonth() {
    Label2->setText(MonthName(Calendar2->monthShown()));
}

void Tokno_plan::showClock() {
    Label6->setText(TimeToStr(QTime::currentTime()));
}

void Tokno_plan::moveMonth(int months) {
    const QDate d = Calendar2->selectedDate().addMonths(months);
    Calendar2->setSelectedDate(d);
    // The day may have stayed (its text could not be left): the page follows the day shown.
    Calendar2->setCurrentPage(Calendar2->selectedDate().year(), Calendar2->selectedDate().month());
}

void Tokno_plan::Calendar2Change() {
    if (reverting_) return;
    const QDate d = Calendar2->selectedDate();
    if (shownDay_.isValid() && d != shownDay_ && (!leaveNote() || !leaveAlarm())) {
        // The text being typed stays with its day.
        reverting_ = true;
        Calendar2->setSelectedDate(shownDay_);
        Calendar2->setCurrentPage(shownDay_.year(), shownDay_.month());
        reverting_ = false;
        showMonth();
        return;
    }
    shownDay_ = d;
    Label4->setText(LongDateText(d));
    Guarded([&] {
        tableNotatki->SetFilter(QStringLiteral("NT_DAT=") + DateToStr(d));
        tableNotatki->SetFiltered(true);
    });
    if (!tableNotatki->Active()) NoteChanged();
}

void Tokno_plan::NoteChanged() {
    const bool noNote = !tableNotatki->Active() || tableNotatki->IsEmpty();
    btnAddNote->setVisible(noNote);
    btnDeleteNote->setVisible(!noNote);
    DBMemo1->setVisible(!noNote);
    btnNewAlarm->setEnabled(!noNote);
    // The note's date is the chosen day; without a note there is no date to read, and the
    // filter still needs one.
    const QDate day =
        noNote ? Calendar2->selectedDate() : tableNotatki->AsDate(QStringLiteral("NT_DAT"));
    Guarded([&] {
        tableAlarmy->SetFilter(alarmsFilter(day));
        tableAlarmy->SetFiltered(true);
        if (tableAlarmy->Active()) tableAlarmy->Refresh();
    });
    if (!tableAlarmy->Active()) AlarmChanged();
}

void Tokno_plan::AlarmChanged() {
    const bool noAlarm = !tableAlarmy->Active() || tableAlarmy->IsEmpty();
    btnDeleteAlarm->setEnabled(!noAlarm);
    DBMemo2->setVisible(!noAlarm);
    dbchbAktywny->setVisible(!noAlarm);
    dbchbCodzienny->setVisible(!noAlarm);
}

void Tokno_plan::alarmsChangedElsewhere() {
    if (!tableAlarmy->Active()) return;
    // An alarm being edited here is posted with the refresh; one whose text the table cannot
    // hold waits for the user, and the list follows at the next change of the day.
    if (tableAlarmy->Editing() &&
        !UnstorableChars(DBMemo2->toPlainText(), tableAlarmy->Table()->codePage()).isEmpty())
        return;
    Guarded([this] { tableAlarmy->Refresh(); });
}

// ---------------------------------------------------------------- buttons

void Tokno_plan::btnAddNoteClick() {
    if (!tableNotatki->Active()) return;
    if (!TblNotatki) {
        prompts().message(Severity::Error, QStringLiteral("Tabela notatek nie jest otwarta."));
        return;
    }
    Guarded([this] {
        TRec_Notatki note;
        note.NT_DAT = Calendar2->selectedDate();
        int id = 0;
        TblNotatki->OT_AddNew(id, note);
        tableNotatki->Refresh();
        tableNotatki->Locate(QStringLiteral("ID"), id);
    });
    if (DBMemo1->isVisible()) DBMemo1->setFocus(Qt::OtherFocusReason);
}

void Tokno_plan::btnDeleteNoteClick() {
    if (!tableNotatki->Active() || tableNotatki->IsEmpty() || !tableAlarmy->Active()) return;
    Guarded([this] {
        tableNotatki->Cancel();
        tableAlarmy->Cancel();
        const QDate day = tableNotatki->AsDate(QStringLiteral("NT_DAT"));
        // Only the alarms dated on the day: daily alarms dated on other days stay.
        tableAlarmy->DisableControls();
        struct Enable {
            TTableDataSet* ds;
            ~Enable() { ds->EnableControls(); }
        } enable{tableAlarmy};
        tableAlarmy->SetFilter(QStringLiteral("ALR_DAT=") + DateToStr(day));
        tableAlarmy->SetFiltered(true);
        while (!tableAlarmy->IsEmpty()) {
            tableAlarmy->First();
            tableAlarmy->Delete();
        }
        tableAlarmy->SetFiltered(false);
        tableNotatki->Delete();
    });
}

void Tokno_plan::btnNewAlarmClick() {
    if (!tableNotatki->Active() || tableNotatki->IsEmpty()) return;
    if (!leaveNote() || !leaveAlarm()) return;
    const QDate day = tableNotatki->AsDate(QStringLiteral("NT_DAT"));
    // The list follows through the alarm notice.
    NowyAlarm(this, day);
}

void Tokno_plan::btnDeleteAlarmClick() {
    if (!tableAlarmy->Active() || tableAlarmy->IsEmpty()) return;
    Guarded([this] {
        tableAlarmy->Cancel();
        tableAlarmy->Delete();
    });
}

void PokazTerminarz(QWidget* owner) {
    Tokno_plan w(owner);
    w.SetDate(QDate::currentDate());
    w.exec();
}

}  // namespace pulpex
