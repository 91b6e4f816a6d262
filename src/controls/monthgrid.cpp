#include "controls/monthgrid.h"

#include <QCalendarWidget>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "core/utils.h"

namespace pulpex {

TPolishMonthGrid::TPolishMonthGrid(QWidget* parent, const QString& calendarName) : QWidget(parent) {
    calendar_ = new QCalendarWidget(this);
    calendar_->setObjectName(calendarName);
    // The locale serves what Qt shows by itself (tool tips, accessibility); the visible names
    // are the program's own, above the grid.
    calendar_->setLocale(QLocale(QLocale::Polish, QLocale::Poland));
    calendar_->setFirstDayOfWeek(Qt::Sunday);
    calendar_->setNavigationBarVisible(false);
    calendar_->setHorizontalHeaderFormat(QCalendarWidget::NoHorizontalHeader);
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar_->setGridVisible(true);

    auto* header = new QGridLayout;
    header->setSpacing(0);
    for (int i = 0; i < 7; ++i) {
        auto* l = new QLabel(ShortDayNames().value(i), this);
        l->setObjectName(QStringLiteral("lbDzien%1").arg(i));
        l->setAlignment(Qt::AlignCenter);
        if (i == 0) l->setStyleSheet(QStringLiteral("color: red"));
        header->addWidget(l, 0, i);
        header->setColumnStretch(i, 1);
        headers_ << l;
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(header);
    layout->addWidget(calendar_, 1);
    setFocusProxy(calendar_);
}

}  // namespace pulpex
