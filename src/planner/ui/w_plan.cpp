#include "planner/ui/w_plan.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "core/utils.h"
#include "planner/note_dz.h"
#include "planner/ui/d_n_bud.h"
#include "planner/ui/w_kaled.h"
#include "tables/globals.h"

namespace pulpex {

namespace {


const QString kSection = QStringLiteral("Pulpex");
const QString kKey = QStringLiteral("Alarm");

QPushButton* button(QWidget* parent, const QString& text, const QString& hint, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

void showDatabaseError(const EDatabaseError& e) {
    prompts().message(Severity::Error, QString::fromUtf8(e.what()));
}

bool editing(const TTableDataSet* ds) {
    return ds->State() == TDataSetState::Edit || ds->State() == TDataSetState::Insert;
}

}  // namespace

template <class F>
void Tokno_plan::guarded(F&& f) {
    try {
        f();
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
    }
}

Tokno_plan::Tokno_plan(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("okno_plan"));
    setWindowTitle(QStringLiteral("Terminarz"));
    SetHelpContext(this, kHelpTerminarz);

    tableNotatki = new TTableDataSet(this);
    tableNotatki->setObjectName(QStringLiteral("tableNotatki"));
    tableNotatki->SetTableName(QStringLiteral("NOTKI"));
    tableNotatki->SetIndexName(QStringLiteral("NT_DAT"));
    tableAlarmy = new TTableDataSet(this);
    tableAlarmy->setObjectName(QStringLiteral("tableAlarmy"));
    tableAlarmy->SetTableName(QStringLiteral("ALARM"));
    tableAlarmy->SetIndexName(QStringLiteral("ALR_DAT"));
    if (System()) SetDataDir(System()->DataDir);

    // --- the day
    auto* lbWybor = new QLabel(QStringLiteral("Wybór daty do edycji"), this);
    lbWybor->setObjectName(QStringLiteral("Label1"));
    auto* grid = new TPolishMonthGrid(this, QStringLiteral("Calendar2"));
    Calendar2 = grid->Calendar();
    lbWybor->setBuddy(grid);
    btnPrevMonth =
        button(this, QStringLiteral("<"), QStringLiteral("Poprzedni miesiąc"), "btnPrevMonth");
    btnNextMonth =
        button(this, QStringLiteral(">"), QStringLiteral("Następny miesiąc"), "btnNextMonth");
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    Label5 = new QLabel(this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label6 = new QLabel(this);
    Label6->setObjectName(QStringLiteral("Label6"));
    QFont clock = Label6->font();
    clock.setBold(true);
    clock.setPointSizeF(clock.pointSizeF() * 1.5);
    Label6->setFont(clock);
    chbCheckAtStartup = new QCheckBox(QStringLiteral("Sprawdzaj przy uruchomieniu"), this);
    chbCheckAtStartup->setObjectName(QStringLiteral("chbCheckAtStartup"));
    chbCheckAtStartup->setVisible(false);
    btnClose = button(this, QStringLiteral("&Koniec"), {}, "btnClose");

    // --- the note
    GroupBox1 = new QGroupBox(QStringLiteral(" Zapis na wybraną datę "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Label4 = new QLabel(GroupBox1);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(bold);
    DBMemo1 = new TDBMemo(GroupBox1);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->SetDataSet(tableNotatki);
    DBMemo1->SetDataField(QStringLiteral("NT_OPI"));
    DBMemo1->setTabChangesFocus(true);
    btnAddNote = button(GroupBox1, QStringLiteral("&Utwórz notatkę w na powyższą datę"),
                        QStringLiteral("Dodanie nowej rejestracji"), "btnAddNote");
    btnDeleteNote = button(GroupBox1, QStringLiteral("Usuń no&tatkę na powyższą datę"),
                           QStringLiteral("Usunięcie rejestracji"), "btnDeleteNote");

    // --- the alarms
    GroupBox2 = new QGroupBox(QStringLiteral(" Harmonogram godzinowy na wybraną datę "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    DBGrid1 = new TCV_DBGrid(GroupBox2);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->SetDataSet(tableAlarmy);
    DBGrid1->AddColumn(QStringLiteral("ALR_GDZ"), QStringLiteral("Godzina"), 80);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->setMaximumWidth(130);
    DBMemo2 = new TDBMemo(GroupBox2);
    DBMemo2->setObjectName(QStringLiteral("DBMemo2"));
    DBMemo2->SetDataSet(tableAlarmy);
    DBMemo2->SetDataField(QStringLiteral("ALR_OPI"));
    DBMemo2->setTabChangesFocus(true);
    dbchbAktywny = new TDBCheckBox(GroupBox2);
    dbchbAktywny->setObjectName(QStringLiteral("dbchbAktywny"));
    dbchbAktywny->setText(QStringLiteral("Aktywny"));
    dbchbAktywny->SetDataSet(tableAlarmy);
    dbchbAktywny->SetDataField(QStringLiteral("ALR_AKT"));
    dbchbCodzienny = new TDBCheckBox(GroupBox2);
    dbchbCodzienny->setObjectName(QStringLiteral("dbchbCodzienny"));
    dbchbCodzienny->setText(QStringLiteral("Na wszystkie dni"));
    dbchbCodzienny->SetDataSet(tableAlarmy);
    dbchbCodzienny->SetDataField(QStringLiteral("ALR_CDZ"));
    btnNewAlarm = button(GroupBox2, QStringLiteral("&Nowa"),
                         QStringLiteral("Dodanie nowej rejestracji"), "btnNewAlarm");
    btnDeleteAlarm = button(GroupBox2, QStringLiteral("U&suń"),
                            QStringLiteral("Usunięcie rejestracji"), "btnDeleteAlarm");

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    // --- layout
    auto* nav = new QHBoxLayout;
    nav->addWidget(btnPrevMonth);
    nav->addWidget(Label2, 1);
    nav->addWidget(btnNextMonth);
    auto* left = new QVBoxLayout;
    left->addWidget(lbWybor);
    left->addLayout(nav);
    left->addWidget(grid, 1);
    left->addWidget(Label5);
    left->addWidget(Label6);
    left->addWidget(chbCheckAtStartup);
    left->addStretch();
    left->addWidget(btnClose);

    auto* noteButtons = new QHBoxLayout;
    noteButtons->addWidget(btnAddNote);
    noteButtons->addWidget(btnDeleteNote);
    noteButtons->addStretch();
    auto* noteLayout = new QVBoxLayout(GroupBox1);
    noteLayout->addWidget(Label4);
    noteLayout->addWidget(DBMemo1, 1);
    noteLayout->addLayout(noteButtons);

    auto* alarmFlags = new QHBoxLayout;
    alarmFlags->addWidget(dbchbAktywny);
    alarmFlags->addWidget(dbchbCodzienny);
    alarmFlags->addStretch();
    auto* alarmDetail = new QVBoxLayout;
    alarmDetail->addWidget(DBMemo2, 1);
    alarmDetail->addLayout(alarmFlags);
    auto* alarmRows = new QHBoxLayout;
    alarmRows->addWidget(DBGrid1);
    alarmRows->addLayout(alarmDetail, 1);
    auto* alarmButtons = new QHBoxLayout;
    alarmButtons->addWidget(btnNewAlarm);
    alarmButtons->addWidget(btnDeleteAlarm);
    alarmButtons->addStretch();
    auto* alarmLayout = new QVBoxLayout(GroupBox2);
    alarmLayout->addLayout(alarmRows, 1);
    alarmLayout->addLayout(alarmButtons);

    auto* right = new QVBoxLayout;
    right->addWidget(GroupBox1, 1);
    right->addWidget(GroupBox2, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);

    // --- events
    connect(Calendar2, &QCalendarWidget::selectionChanged, this, &Tokno_plan::Calendar2Change);
    connect(Calendar2, &QCalendarWidget::currentPageChanged, this, &Tokno_plan::showMonth);
    connect(btnPrevMonth, &QPushButton::clicked, this, [this] { moveMonth(-1); });
    connect(btnNextMonth, &QPushButton::clicked, this, [this] { moveMonth(1); });
    connect(tableNotatki, &TDataSet::AfterScroll, this, &Tokno_plan::NoteChanged);
    connect(tableAlarmy, &TDataSet::AfterScroll, this, &Tokno_plan::AlarmChanged);
    connect(btnAddNote, &QPushButton::clicked, this, &Tokno_plan::btnAddNoteClick);
    connect(btnDeleteNote, &QPushButton::clicked, this, &Tokno_plan::btnDeleteNoteClick);
    connect(btnNewAlarm, &QPushButton::clicked, this, &Tokno_plan::btnNewAlarmClick);
    connect(btnDeleteAlarm, &QPushButton::clicked, this, &Tokno_plan::btnDeleteAlarmClick);
    connect(btnClose, &QPushButton::clicked, this, &Tokno_plan::btnCloseClick);
    connect(Timer1, &QTimer::timeout, this, &Tokno_plan::showClock);

    SetDate(QDate::currentDate());
    resize(720, 480);
}

Tokno_plan::~Tokno_plan() = default;

void Tokno_plan::SetDataDir(const QString& dir) {
    tableNotatki->SetDatabaseName(dir);
    tableAlarmy->SetDatabaseName(dir);
}

void Tokno_plan::SetDate(const QDate& date) {
    const QDate d = date.isValid() ? date : QDate::currentDate();
    Calendar2->setSelectedDate(d);
    Calendar2->setCurrentPage(d.year(), d.month());
    // Same day again: no change signal, but the labels and filters must follow.
    Calendar2Change();
    showMonth();
}

QDate Tokno_plan::ChosenDate() const {
    return Calendar2->selectedDate();
}

// ---------------------------------------------------------------- activation

void Tokno_plan::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void Tokno_plan::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
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
        guarded([this] {
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
    // What the user typed is kept: a refused post keeps the window open with the text.
    if (!postPending()) return;
    Timer1->stop();
    FormDeactivate();
    tableAlarmy->Close();
    tableNotatki->Close();
    QDialog::done(r);
}

bool Tokno_plan::postPending() {
    try {
        if (editing(tableNotatki)) tableNotatki->Post();
        if (editing(tableAlarmy)) tableAlarmy->Post();
    } catch (const EDatabaseError& e) {
        showDatabaseError(e);
        return false;
    }
    // A value a control could not write stops the post after telling the user so; the data
    // set then stays in edit mode.
    return !editing(tableNotatki) && !editing(tableAlarmy);
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
    Calendar2->setCurrentPage(d.year(), d.month());
}

void Tokno_plan::Calendar2Change() {
    const QDate d = Calendar2->selectedDate();
    Label4->setText(LongDateText(d));
    guarded([&] {
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
    guarded([&] {
        tableAlarmy->SetFilter(QStringLiteral("ALR_DAT=") + DateToStr(day) +
                               QStringLiteral(" or ") + QStringLiteral("ALR_CDZ") +
                               QStringLiteral(" = 'TRUE' "));
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

// ---------------------------------------------------------------- buttons

void Tokno_plan::btnAddNoteClick() {
    if (!tableNotatki->Active()) return;
    if (!TblNotatki) {
        prompts().message(Severity::Error, QStringLiteral("Tabela notatek nie jest otwarta."));
        return;
    }
    guarded([this] {
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
    guarded([this] {
        tableNotatki->Cancel();
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
    if (!postPending()) return;
    const QDate day = tableNotatki->AsDate(QStringLiteral("NT_DAT"));
    if (NowyAlarm(this, day) == 1) guarded([this] { tableAlarmy->Refresh(); });
}

void Tokno_plan::btnDeleteAlarmClick() {
    if (!tableAlarmy->Active() || tableAlarmy->IsEmpty()) return;
    guarded([this] {
        tableAlarmy->Cancel();
        tableAlarmy->Delete();
    });
}

void Tokno_plan::btnCloseClick() {
    accept();
}

void PokazTerminarz(QWidget* owner) {
    Tokno_plan w(owner);
    if (System()) w.SetDataDir(System()->DataDir);
    w.SetDate(QDate::currentDate());
    w.exec();
}

}  // namespace pulpex
