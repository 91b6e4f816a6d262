#include "core/ui/settime.h"

#include <QCalendarWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "controls/monthgrid.h"
#include "core/utils.h"

namespace pulpex {

TForm_SetTime::TForm_SetTime(QWidget* parent)
    : TPulpexDialog(parent, "Form_SetTime", QStringLiteral("Wpisywanie daty i czasu ..."), 0) {
    btnPoprzedni =
        MakeButton(this, QStringLiteral("<"), "btnPoprzedni", QStringLiteral("Poprzedni miesiąc"));
    btnNastepny =
        MakeButton(this, QStringLiteral(">"), "btnNastepny", QStringLiteral("Następny miesiąc"));
    lbMiesiac = new QLabel(this);
    lbMiesiac->setObjectName(QStringLiteral("lbMiesiac"));
    lbMiesiac->setAlignment(Qt::AlignCenter);
    QFont bold = lbMiesiac->font();
    bold.setBold(true);
    lbMiesiac->setFont(bold);

    // Qt's own navigation bar and day header would take the names from the locale; the program
    // shows its own names, so both are replaced.
    auto* grid = new TPolishMonthGrid(this, QStringLiteral("Calendar"));
    Calendar = grid->Calendar();
    dayHeaders = grid->DayHeaders();

    btnDzisiaj = MakeButton(this, QStringLiteral("&Dzisiaj"), "btnDzisiaj");
    btnTeraz = MakeButton(this, QStringLiteral("&Teraz"), "btnTeraz");
    auto* lbCzas = new QLabel(QStringLiteral("&Czas:"), this);
    edCzas = new QTimeEdit(this);
    edCzas->setObjectName(QStringLiteral("edCzas"));
    edCzas->setDisplayFormat(QStringLiteral("HH:mm"));
    lbCzas->setBuddy(edCzas);
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK", {}, /*isDefault=*/true);
    btnAnuluj = CancelButton(QStringLiteral("Anuluj"), "btnAnuluj");

    auto* nav = new QHBoxLayout;
    nav->addWidget(btnPoprzedni);
    nav->addWidget(lbMiesiac, 1);
    nav->addWidget(btnNastepny);
    auto* time = new QHBoxLayout;
    time->addWidget(lbCzas);
    time->addWidget(edCzas);
    time->addStretch();
    time->addWidget(btnDzisiaj);
    time->addWidget(btnTeraz);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nav);
    layout->addWidget(grid, 1);
    layout->addLayout(time);
    layout->addLayout(ButtonRow({}, {btnOK, btnAnuluj}));

    connect(btnPoprzedni, &QPushButton::clicked, this, [this] { moveMonth(-1); });
    connect(btnNastepny, &QPushButton::clicked, this, [this] { moveMonth(1); });
    connect(btnDzisiaj, &QPushButton::clicked, this,
            [this] { Calendar->setSelectedDate(QDate::currentDate()); });
    connect(btnTeraz, &QPushButton::clicked, this, [this] {
        const QDateTime now = QDateTime::currentDateTime();
        Calendar->setSelectedDate(now.date());
        edCzas->setTime(QTime(now.time().hour(), now.time().minute()));
    });
    connect(Calendar, &QCalendarWidget::currentPageChanged, this, &TForm_SetTime::showPage);
    connect(Calendar, &QCalendarWidget::selectionChanged, this, [this] {
        const QDate d = Calendar->selectedDate();
        Calendar->setCurrentPage(d.year(), d.month());
    });
    connect(Calendar, &QCalendarWidget::activated, this, &QDialog::accept);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    SetDateTime(QDateTime::currentDateTime());
}

void TForm_SetTime::showPage(int year, int month) {
    lbMiesiac->setText(MonthName(month) + QLatin1Char(' ') + QString::number(year));
}

void TForm_SetTime::moveMonth(int months) {
    // The selected day moves with the page (the 31st becomes the month's last day), so the page
    // always shows the date that OK will hand back.
    Calendar->setSelectedDate(Calendar->selectedDate().addMonths(months));
}

void TForm_SetTime::SetDateTime(const QDateTime& value) {
    const QDateTime v = value.isValid() ? value : QDateTime::currentDateTime();
    Calendar->setSelectedDate(v.date());
    Calendar->setCurrentPage(v.date().year(), v.date().month());
    showPage(v.date().year(), v.date().month());
    edCzas->setTime(QTime(v.time().hour(), v.time().minute()));
}

QDateTime TForm_SetTime::DateTime() const {
    return QDateTime(Calendar->selectedDate(), edCzas->time());
}

bool TForm_SetTime::Execute(QDateTime& value) {
    SetDateTime(value);
    if (exec() != QDialog::Accepted) return false;
    value = DateTime();
    return true;
}

}  // namespace pulpex
