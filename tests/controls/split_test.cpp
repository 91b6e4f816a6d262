#include "controls/split.h"

#include <gtest/gtest.h>

#include <QRubberBand>
#include <QTest>

#include "support/qtry.h"

namespace pulpex {
namespace {

// Shown, since a hidden widget gets its resize events only when it is shown.
struct Panel {
    Panel() : left(new QWidget(&split)), right(new QWidget(&split)) { split.show(); }
    TSplit split;
    QWidget* left;
    QWidget* right;
};

TEST(Split, BarSizeIsKeptWithinOneToTen) {
    TSplit s;
    EXPECT_EQ(s.SplitSize(), 4);
    s.SetSplitSize(0);
    EXPECT_EQ(s.SplitSize(), 1);
    s.SetSplitSize(20);
    EXPECT_EQ(s.SplitSize(), 10);
    s.SetSplitSize(7);
    EXPECT_EQ(s.SplitSize(), 7);
    EXPECT_EQ(s.cursor().shape(), Qt::SplitHCursor);
    s.SetSplitType(TSplit::stVertical);
    EXPECT_EQ(s.cursor().shape(), Qt::SplitVCursor);
}

TEST(Split, HorizontalLayoutClampsPosition) {
    Panel p;
    p.split.resize(300, 200);
    EXPECT_EQ(p.split.SplitPos(), 150);
    EXPECT_EQ(p.left->geometry(), QRect(1, 1, 150, 198));
    EXPECT_EQ(p.right->geometry(), QRect(154, 1, 300 - 150 - 4 - 1, 198));

    p.split.SetSplitPos(400);
    EXPECT_EQ(p.split.SplitPos(), 286);
    EXPECT_EQ(p.left->geometry(), QRect(1, 1, 286, 198));
    EXPECT_EQ(p.right->geometry(), QRect(290, 1, 9, 198));

    p.split.SetSplitPos(3);
    EXPECT_EQ(p.split.SplitPos(), 10);

    // Inverted: the second child is the first pane.
    p.split.SetSplitPos(100);
    p.split.SetInverted(true);
    EXPECT_EQ(p.right->geometry(), QRect(1, 1, 100, 198));
    EXPECT_EQ(p.left->geometry(), QRect(104, 1, 195, 198));

    // A narrower panel lowers the position again.
    p.split.resize(80, 200);
    EXPECT_EQ(p.split.SplitPos(), 80 - 4 - 10);
}

TEST(Split, VerticalLayoutExchangesAxes) {
    Panel p;
    p.split.resize(300, 200);
    p.split.SetSplitType(TSplit::stVertical);
    p.split.SetSplitSize(6);
    EXPECT_EQ(p.split.SplitPos(), 150);
    EXPECT_EQ(p.left->geometry(), QRect(1, 1, 298, 150));
    EXPECT_EQ(p.right->geometry(), QRect(1, 156, 298, 200 - 150 - 6 - 1));
    p.split.SetSplitPos(400);
    EXPECT_EQ(p.split.SplitPos(), 200 - 6 - 10);
}

TEST(Split, OneChildIsLeftAlone) {
    TSplit s;
    auto* only = new QWidget(&s);
    only->setGeometry(5, 6, 7, 8);
    s.show();
    s.resize(300, 200);
    s.SetSplitPos(400);
    EXPECT_EQ(s.SplitPos(), 400);
    EXPECT_EQ(only->geometry(), QRect(5, 6, 7, 8));
}

TEST(Split, DraggingTheBarMovesThePanes) {
    Panel p;
    p.split.resize(300, 200);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.split));

    // The bar lies between the panes: x 150..153.
    QTest::mousePress(&p.split, Qt::LeftButton, {}, QPoint(151, 100));
    EXPECT_TRUE(p.split.Dragging());
    QTest::mouseMove(&p.split, QPoint(200, 100));
    QTRY_COMPARE(p.split.SplitPos(), 200);
    EXPECT_TRUE(p.split.DragBar()->isVisible());
    EXPECT_EQ(p.split.DragBar()->geometry(), QRect(200, 1, 4, 198));
    // The panes wait for the release.
    EXPECT_EQ(p.left->width(), 150);

    QTest::mouseMove(&p.split, QPoint(295, 100));
    QTRY_COMPARE(p.split.SplitPos(), 286);
    QTest::mouseRelease(&p.split, Qt::LeftButton, {}, QPoint(295, 100));
    EXPECT_FALSE(p.split.Dragging());
    EXPECT_FALSE(p.split.DragBar()->isVisible());
    EXPECT_EQ(p.left->geometry(), QRect(1, 1, 286, 198));
    EXPECT_EQ(p.right->geometry(), QRect(290, 1, 9, 198));

    // A press on the border starts nothing.
    QTest::mousePress(&p.split, Qt::LeftButton, {}, QPoint(0, 100));
    EXPECT_FALSE(p.split.Dragging());
    QTest::mouseRelease(&p.split, Qt::LeftButton, {}, QPoint(0, 100));
    EXPECT_EQ(p.split.SplitPos(), 286);
}

}  // namespace
}  // namespace pulpex
