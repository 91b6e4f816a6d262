// A panel that lays out its first two child widgets as two panes with a draggable bar between
// them. The layout follows fixed rules (one-pixel margin, pane sizes from SplitPos and
// SplitSize) rather than QSplitter's, so that stored positions mean the same pixels.
#pragma once

#include <QFrame>
#include <QPointer>

class QRubberBand;

namespace pulpex {

class TSplit : public QFrame {
    Q_OBJECT

  public:
    enum SplitType { stHorizontal, stVertical };

    explicit TSplit(QWidget* parent = nullptr);
    ~TSplit() override;

    int SplitPos() const { return splitPos_; }
    void SetSplitPos(int v);
    SplitType GetSplitType() const { return splitType_; }
    void SetSplitType(SplitType t);
    int SplitSize() const { return splitSize_; }
    // Kept within 1..10.
    void SetSplitSize(int v);
    bool Inverted() const { return inverted_; }
    void SetInverted(bool v);

    bool Dragging() const { return dragging_; }
    // The bar drawn during a drag (hidden otherwise); for tests and for the look.
    QRubberBand* DragBar() const { return bar_; }

    // Places the panes by the current properties and size.
    void Arrange();

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    // The first and the second pane (Inverted exchanges them); null when fewer than two.
    std::pair<QWidget*, QWidget*> panes() const;
    bool insideBorder(const QPoint& p) const;
    int clampedToAxis(int v) const;
    int axisLength() const;
    void drawBar();
    void updateCursor();

    int splitPos_ = 150;
    SplitType splitType_ = stHorizontal;
    int splitSize_ = 4;
    bool inverted_ = false;
    bool dragging_ = false;
    int lastDrawn_ = 0;  // bar position of the drag drawn last; 0 = none
    QRubberBand* bar_;   // child of this panel, never a pane
};

}  // namespace pulpex
