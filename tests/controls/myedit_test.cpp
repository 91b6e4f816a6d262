#include "controls/myedit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QTabWidget>
#include <QTest>

#include <QVBoxLayout>
#include "support/qtry.h"

#include "core/prompts.h"

namespace pulpex {
namespace {

TEST(MyEdit, IntegerWithDefaultsChecksRangeAndType) {
    ScriptedPrompts p;
    TMyEdit e;
    EXPECT_EQ(e.text(), "0");
    EXPECT_TRUE(e.Check());
    e.setText("100");
    EXPECT_TRUE(e.Check());
    e.setText("101");
    EXPECT_FALSE(e.Check());
    e.setText("-1");
    EXPECT_FALSE(e.Check());
    const QString range = QStringLiteral("Liczba powinna być z przedziału : 0 - 100");
    ASSERT_EQ(p.shown().size(), 2u);
    EXPECT_EQ(p.shown()[0].text, QStringLiteral("Błędna wartość\r\n") + range);
    EXPECT_EQ(e.Reason(), range);

    e.setText("12a");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(e.Reason(), QStringLiteral("To nie jest liczba całkowita"));
    e.setText("1,5");
    EXPECT_FALSE(e.Check());

    // Without ShowComment the reason is kept but nothing is shown.
    p.clear();
    e.SetShowComment(false);
    e.SetKomentarz("Zły numer");
    e.setText("200");
    EXPECT_FALSE(e.Check());
    EXPECT_TRUE(p.shown().empty());
    EXPECT_EQ(e.Reason(), range);
}

TEST(MyEdit, FloatTakesCommaAndPoint) {
    ScriptedPrompts p;
    TMyEdit e;
    e.SetItemType(TMyEdit::meit_Float);
    EXPECT_EQ(e.text(), "0");
    e.SetMinVal("0,5");
    e.SetMaxVal("2.5");
    for (const char* ok : {"1,5", "1.5", "0.5", "2,5"}) {
        e.setText(ok);
        EXPECT_TRUE(e.Check()) << ok;
    }
    e.setText("2,51");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(e.Reason(), QStringLiteral("Liczba powinna być z przedziału : 0,5 - 2.5"));
    e.setText("półtora");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(e.Reason(), QStringLiteral("To nie jest liczba"));
}

TEST(MyEdit, DateParsesAndChecksRange) {
    ScriptedPrompts p;
    TMyEdit e;
    e.SetItemType(TMyEdit::meit_Date);
    EXPECT_EQ(e.text(), QDate::currentDate().toString("yyyy-MM-dd"));
    // The default bounds are no dates and limit nothing.
    EXPECT_TRUE(e.Check());
    e.SetMinVal("2024-01-01");
    e.SetMaxVal("2024-12-31");
    e.setText("2024-02-29");
    EXPECT_TRUE(e.Check());
    e.setText("2024-12-31");
    EXPECT_TRUE(e.Check());
    e.setText("2025-01-01");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(p.shown().back().text,
              QStringLiteral("Błędna wartość\r\nData powinna być z przedziału : 2024-01-01 - "
                             "2024-12-31"));
    e.setText("2023-02-29");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(e.Reason(), QStringLiteral("To nie jest poprawna data"));
}

TEST(MyEdit, TextLengthBounds) {
    ScriptedPrompts p;
    TMyEdit e;
    e.SetItemType(TMyEdit::meit_Text);
    EXPECT_EQ(e.text(), "");
    e.SetMinVal("2");
    e.SetMaxVal("5");
    e.setText("a");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(e.Reason(), QStringLiteral("Tekst musi mieć co najmniej 2 znaków !"));
    e.setText("żółćę");  // five characters, more bytes
    EXPECT_TRUE(e.Check());
    e.setText("żółćęą");
    EXPECT_FALSE(e.Check());
    EXPECT_EQ(e.Reason(), QStringLiteral("Tekst może mieć co najwyżej 5 znaków !"));
}

TEST(MyEdit, FormValidationFocusesFirstFailureOnItsTab) {
    ScriptedPrompts p;
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* tabs = new QTabWidget;
    layout->addWidget(tabs);
    auto* page1 = new QWidget;
    auto* page2 = new QWidget;
    auto* first = new TMyEdit(page1);
    first->setObjectName("edPierwszy");
    // Created before the field of page 2 but placed on page 2 later: creation order counts.
    auto* early = new TMyEdit;
    early->setObjectName("edWczesny");
    auto* second = new TMyEdit(page2);
    second->setObjectName("edDrugi");
    early->setParent(page2);
    tabs->addTab(page1, "Jeden");
    tabs->addTab(page2, "Dwa");
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    EXPECT_TRUE(ValidateForm(&form));
    EXPECT_TRUE(p.shown().empty());

    second->setText("500");
    early->setText("x");
    EXPECT_FALSE(ValidateForm(&form));
    EXPECT_EQ(tabs->currentWidget(), page2);
    QTRY_COMPARE(QApplication::focusWidget(), early);
    ASSERT_EQ(p.shown().size(), 1u);  // only the first failure is reported
    EXPECT_EQ(p.shown()[0].text, QStringLiteral("Błędna wartość\r\nTo nie jest liczba całkowita"));

    early->setText("5");
    tabs->setCurrentIndex(0);
    EXPECT_FALSE(ValidateForm(&form));
    QTRY_COMPARE(QApplication::focusWidget(), second);
    EXPECT_EQ(tabs->currentWidget(), page2);

    second->setText("50");
    EXPECT_TRUE(ValidateForm(&form));
}

}  // namespace
}  // namespace pulpex
