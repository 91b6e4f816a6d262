// Finding and pressing the controls of a window by their object names.
#pragma once

#include <gtest/gtest.h>

#include <QLatin1String>
#include <QPushButton>
#include <QWidget>

namespace pulpex::test {

template <class T>
T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

inline void click(QWidget* w, const char* name) {
    child<QPushButton>(w, name)->click();
}

}  // namespace pulpex::test
