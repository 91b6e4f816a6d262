// Finding, typing into and pressing the controls of a window by their object names. The helpers
// refuse what a user could not do: a missing, hidden or disabled control fails the test instead
// of crashing the run or firing a button nobody could press.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QLatin1String>
#include <QTest>

#include "support/qtry.h"
#include <QWidget>

namespace pulpex::test {

template <class T>
T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Presses the button `name` of `w`; false (and a failure) when it is missing, hidden or disabled.
inline bool click(QWidget* w, const char* name) {
    auto* b = w->findChild<QAbstractButton*>(QLatin1String(name));
    if (!b) {
        ADD_FAILURE() << "no button " << name;
        return false;
    }
    if (!b->isVisibleTo(w) || !b->isEnabled()) {
        ADD_FAILURE() << "button " << name << " cannot be pressed ("
                      << (b->isEnabled() ? "hidden" : "disabled") << ")";
        return false;
    }
    b->click();
    return true;
}

// Types `text` into `w` as key events, one character at a time (QTest::keyClicks knows only
// Latin-1 keys, so Polish letters go as the event's text).
inline void typeText(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Makes row `row` of a grid or list current as a click on its first cell would.
inline bool clickRow(QAbstractItemView* view, int row) {
    if (!view || !view->model() || row < 0 || row >= view->model()->rowCount()) {
        ADD_FAILURE() << "no row " << row;
        return false;
    }
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(index).center());
    return view->currentIndex().row() == row;
}

}  // namespace pulpex::test
