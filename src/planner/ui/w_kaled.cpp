#include "planner/ui/w_kaled.h"

#include <QCalendarWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/help.h"
#include "core/ui/window.h"
#include "core/utils.h"

namespace pulpex {

namespace {

// The arrows say nothing to a screen reader: their hint names them.
QPushButton* navButton(QWidget* parent, const QString& text, const QString& hint,
                       const char* name) {
    QPushButton* b = MakeButton(parent, text, name, hint);
    b->setAccessibleName(hint);
    return b;
}

}  // namespace

QString MonthNameGenitive(int month) {
    static const QStringList names{
        QStringLiteral("stycznia"),     QStringLiteral("lutego"),    QStringLiteral("marca"),
        QStringLiteral("kwietnia"),     QStringLiteral("maja"),      QStringLiteral("czerwca"),
        QStringLiteral("lipca"),        QStringLiteral("sierpnia"),  QStringLiteral("września"),
        QStringLiteral("października"), QStringLiteral("listopada"), QStringLiteral("grudnia")};
    if (month < 1 || month > 12) return {};
    return names.at(month - 1);
}

QString LongDateText(const QDate& date) {
    if (!date.isValid()) return {};
    return QString::number(date.day()) + QLatin1Char(' ') + MonthNameGenitive(date.month()) +
           QLatin1Char(' ') + QString::number(date.year());
}

// ---------------------------------------------------------------- TKalendarz

TKalendarz::TKalendarz(QWidget* parent)
    : TPulpexDialog(parent, "Kalendarz", QStringLiteral("Kalendarz"), kHelpKalendarz) {
    auto* grid = new TPolishMonthGrid(this, QStringLiteral("Calendar1"));
    Calendar1 = grid->Calendar();

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    for (QLabel* l : {Label1, Label2}) {
        QFont bold = l->font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 1.2);
        l->setFont(bold);
        l->setAlignment(Qt::AlignCenter);
    }
    Label3 = new QLabel(QStringLiteral("Wybrana data:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label4 = new QLabel(this);
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont bold = Label4->font();
    bold.setBold(true);
    Label4->setFont(bold);

    BitBtn1 = navButton(this, QStringLiteral("<<"), QStringLiteral("Poprzedni rok"), "BitBtn1");
    BitBtn2 = navButton(this, QStringLiteral("<"), QStringLiteral("Poprzedni miesiąc"), "BitBtn2");
    BitBtn3 = navButton(this, QStringLiteral(">"), QStringLiteral("Następny miesiąc"), "BitBtn3");
    BitBtn4 = navButton(this, QStringLiteral(">>"), QStringLiteral("Następny rok"), "BitBtn4");

    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK", {}, /*isDefault=*/true);
    btnOK->setMinimumWidth(80);
    BitBtn6 = CancelButton(QStringLiteral("Anuluj"), "BitBtn6");
    BitBtn6->setMinimumWidth(80);

    auto* nav = new QHBoxLayout;
    nav->addWidget(BitBtn1);
    nav->addWidget(BitBtn2);
    nav->addStretch();
    nav->addWidget(Label2);
    nav->addSpacing(8);
    nav->addWidget(Label1);
    nav->addStretch();
    nav->addWidget(BitBtn3);
    nav->addWidget(BitBtn4);
    auto* chosen = new QHBoxLayout;
    chosen->addWidget(Label3);
    chosen->addWidget(Label4, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nav);
    layout->addWidget(grid, 1);
    layout->addLayout(chosen);
    layout->addLayout(ButtonRow({}, {btnOK, BitBtn6}));

    connect(BitBtn1, &QPushButton::clicked, this, [this] { moveMonths(-12); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { moveMonths(-1); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { moveMonths(1); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { moveMonths(12); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Calendar1, &QCalendarWidget::currentPageChanged, this, &TKalendarz::refreshLabels);
    connect(Calendar1, &QCalendarWidget::selectionChanged, this, &TKalendarz::refreshLabels);
    // A double click and Enter on the grid.
    connect(Calendar1, &QCalendarWidget::activated, this, &TKalendarz::calendarActivated);

    Setup(true, true, QDate::currentDate());
    SetActiveControl(Calendar1);
    resize(340, 300);
}

void TKalendarz::Setup(bool showCancel, bool allowYearChange, const QDate& date) {
    const QDate d = date.isValid() ? date : QDate::currentDate();
    showCancel_ = showCancel;
    allowYearChange_ = allowYearChange;
    // The grid's own keys and clicks on neighbouring months obey the same bounds as the
    // buttons: without year change nothing outside the year can be reached.
    if (allowYearChange)
        Calendar1->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
    else
        Calendar1->setDateRange(QDate(d.year(), 1, 1), QDate(d.year(), 12, 31));
    Calendar1->setSelectedDate(d);
    Calendar1->setCurrentPage(d.year(), d.month());
    BitBtn1->setEnabled(allowYearChange);
    BitBtn4->setEnabled(allowYearChange);
    BitBtn6->setVisible(showCancel);
    if (showCancel) {
        btnOK->setMinimumWidth(80);
        btnOK->setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
        btnOK->setFixedWidth(163);
    }
    refreshLabels();
}

QDate TKalendarz::SelectedDate() const {
    return Calendar1->selectedDate();
}

void TKalendarz::moveMonths(int months) {
    const QDate from = Calendar1->selectedDate();
    const QDate to = from.addMonths(months);  // the 31st becomes the month's last day
    if (!allowYearChange_ && to.year() != from.year()) return;
    if (to < Calendar1->minimumDate() || to > Calendar1->maximumDate()) return;
    Calendar1->setSelectedDate(to);
    Calendar1->setCurrentPage(to.year(), to.month());
    refreshLabels();
}

void TKalendarz::refreshLabels() {
    Label1->setText(QString::number(Calendar1->yearShown()));
    Label2->setText(MonthName(Calendar1->monthShown()));
    Label4->setText(LongDateText(Calendar1->selectedDate()));
}

void TKalendarz::calendarActivated() {
    if (btnOK->isVisible()) btnOK->click();
}

void TKalendarz::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    refreshLabels();
}

void TKalendarz::keyPressEvent(QKeyEvent* event) {
    // Without "Anuluj" there is nothing to cancel: the picker is left with "&OK".
    if (event->key() == Qt::Key_Escape && !showCancel_) {
        event->accept();
        return;
    }
    TPulpexDialog::keyPressEvent(event);
}

QDate WybierzDate(QWidget* owner, bool showCancel, bool allowYearChange, const QDate& date) {
    TKalendarz dlg(owner);
    dlg.Setup(showCancel, allowYearChange, date);
    if (dlg.exec() != QDialog::Accepted) return date;
    return dlg.SelectedDate();
}

}  // namespace pulpex
