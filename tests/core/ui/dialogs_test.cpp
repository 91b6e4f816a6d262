#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

#include "core/ui/del_ask.h"
#include "core/ui/loading.h"
#include "support/modal.h"
#include "core/ui/progress.h"
#include "core/ui/settime.h"

namespace pulpex {
namespace {

using test::OnModal;

// Enter pressed at once must refuse, on every showing, even after the last one ended on "&TAK".
TEST(Dialogs, AskBeforeDeletionStartsOnNie) {
    Tform_AskBeforeDeletion dlg;
    EXPECT_EQ(dlg.windowTitle(), "Czy na pewno chcesz usunąć?");
    for (int round = 0; round < 2; ++round) {
        QWidget* focused = nullptr;
        OnModal([&](QWidget* w) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(w));
            focused = QApplication::focusWidget();
            QTest::keyClick(focused, Qt::Key_Return);
        });
        EXPECT_FALSE(dlg.Ask());
        EXPECT_EQ(focused, dlg.btnNie);
        EXPECT_EQ(dlg.btnNie->text(), "&NIE");

        OnModal([&](QWidget*) {
            dlg.btnTak->setFocus();
            QTest::keyClick(dlg.btnTak, Qt::Key_Space);
        });
        EXPECT_TRUE(dlg.Ask());
    }
}

TEST(Dialogs, UsPasShowsBothLinesAndConfirmsOnlyOnTak) {
    TD_us_pas dlg;
    EXPECT_EQ(dlg.windowTitle(), "Uwaga !");
    QString first, second;
    QWidget* focused = nullptr;
    OnModal([&](QWidget* w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        first = dlg.Label1->text();
        second = dlg.Label2->text();
        focused = QApplication::focusWidget();
        dlg.btnTak->click();
    });
    EXPECT_TRUE(dlg.Ask("Czy usunąć sprawę?", "Powiązania ze zdarzeniami zostaną usunięte"));
    EXPECT_EQ(first, "Czy usunąć sprawę?");
    EXPECT_EQ(second, "Powiązania ze zdarzeniami zostaną usunięte");
    EXPECT_EQ(focused, dlg.btnNie);
    EXPECT_TRUE(dlg.Label2->alignment() & Qt::AlignHCenter);

    OnModal([&](QWidget*) { dlg.btnNie->click(); });
    EXPECT_FALSE(dlg.Ask("a", "b"));
    // Closed from the title bar.
    OnModal([&](QWidget* w) { w->close(); });
    EXPECT_FALSE(dlg.Ask("a", "b"));
    EXPECT_EQ(dlg.Label1->text(), "a");
}

// The window that was active is disabled while the gauge runs and enabled after; "Przerwij"
// requests a stop only when the operation allows one.
TEST(Dialogs, ProgressDisablesTheActiveWindowAndTakesCancelRequests) {
    QWidget main;
    main.show();
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    {
        TProgressDlg_v3 dlg(&main);
        EXPECT_EQ(dlg.windowTitle(), "Obliczenia");
        dlg.Start(4, true);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(main.isEnabled());
        EXPECT_TRUE(dlg.btnPrzerwij->isEnabled());
        dlg.Step();
        dlg.Step(2);
        EXPECT_EQ(dlg.Gauge->value(), 3);
        dlg.Step(5);  // never past the end
        EXPECT_EQ(dlg.Gauge->value(), 4);
        EXPECT_FALSE(dlg.CancelRequested());
        QTest::mouseClick(dlg.btnPrzerwij, Qt::LeftButton);
        EXPECT_TRUE(dlg.CancelRequested());
        dlg.Finish();
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_TRUE(main.isEnabled());

        // Without cancelling: neither the button nor closing the window stops it.
        QApplication::setActiveWindow(&main);
        dlg.Start(10, false);
        EXPECT_FALSE(dlg.CancelRequested());
        EXPECT_FALSE(main.isEnabled());
        QTest::mouseClick(dlg.btnPrzerwij, Qt::LeftButton);
        dlg.close();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_FALSE(dlg.CancelRequested());
        EXPECT_TRUE(dlg.isVisible());
        dlg.SetPosition(7);
        EXPECT_EQ(dlg.Position(), 7);
        // Left without Finish (an exception in the operation): the window comes back anyway.
    }
    EXPECT_TRUE(main.isEnabled());
}

TEST(Dialogs, LoadingNoticeShowsPolishText) {
    TForm_Loading notice;
    notice.ShowNotice();
    EXPECT_TRUE(notice.isVisible());
    EXPECT_EQ(notice.lbTekst->text(), "Wczytywanie danych, proszę czekać ...");
    notice.ShowNotice("Otwieranie rejestru ...");
    EXPECT_EQ(notice.lbTekst->text(), "Otwieranie rejestru ...");
    notice.HideNotice();
    EXPECT_FALSE(notice.isVisible());
}

TEST(Dialogs, SetTimeNamesMonthMovesTodayAndNow) {
    TForm_SetTime dlg;
    EXPECT_EQ(dlg.windowTitle(), "Wpisywanie daty i czasu ...");
    QStringList header;
    for (QLabel* l : dlg.dayHeaders)
        header << l->text();
    EXPECT_EQ(header, (QStringList{"Nie", "Pon", "Wto", "Śro", "Czw", "Pią", "Sob"}));
    EXPECT_EQ(dlg.Calendar->firstDayOfWeek(), Qt::Sunday);

    dlg.SetDateTime(QDateTime(QDate(2024, 1, 31), QTime(10, 15)));
    EXPECT_EQ(dlg.lbMiesiac->text(), "Styczeń 2024");
    QTest::mouseClick(dlg.btnNastepny, Qt::LeftButton);
    EXPECT_EQ(dlg.DateTime(), QDateTime(QDate(2024, 2, 29), QTime(10, 15)));
    EXPECT_EQ(dlg.lbMiesiac->text(), "Luty 2024");
    QTest::mouseClick(dlg.btnPoprzedni, Qt::LeftButton);
    QTest::mouseClick(dlg.btnPoprzedni, Qt::LeftButton);
    EXPECT_EQ(dlg.DateTime().date(), QDate(2023, 12, 29));
    EXPECT_EQ(dlg.lbMiesiac->text(), "Grudzień 2023");
    EXPECT_EQ(dlg.Calendar->monthShown(), 12);

    // "Dzisiaj" changes the date only; "Teraz" the time as well.
    QTest::mouseClick(dlg.btnDzisiaj, Qt::LeftButton);
    EXPECT_EQ(dlg.DateTime().date(), QDate::currentDate());
    EXPECT_EQ(dlg.DateTime().time(), QTime(10, 15));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    QTest::mouseClick(dlg.btnTeraz, Qt::LeftButton);
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_GE(dlg.DateTime(), before);
    EXPECT_LE(dlg.DateTime(), after);

    // The entered value comes back on OK only.
    OnModal([&](QWidget*) {
        dlg.SetDateTime(QDateTime(QDate(2025, 3, 5), QTime(8, 30)));
        dlg.btnOK->click();
    });
    QDateTime value(QDate(2020, 1, 1), QTime(0, 0));
    EXPECT_TRUE(dlg.Execute(value));
    EXPECT_EQ(value, QDateTime(QDate(2025, 3, 5), QTime(8, 30)));
    OnModal([&](QWidget*) {
        QTest::mouseClick(dlg.btnNastepny, Qt::LeftButton);
        dlg.btnAnuluj->click();
    });
    EXPECT_FALSE(dlg.Execute(value));
    EXPECT_EQ(value, QDateTime(QDate(2025, 3, 5), QTime(8, 30)));
}

}  // namespace
}  // namespace pulpex
