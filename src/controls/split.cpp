#include "controls/split.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <algorithm>

namespace pulpex {

namespace {
constexpr int kMinPane = 10;
}

TSplit::TSplit(QWidget* parent) : QFrame(parent), bar_(new QRubberBand(QRubberBand::Line, this)) {
    bar_->hide();
    setMouseTracking(true);
    updateCursor();
}

TSplit::~TSplit() = default;

void TSplit::SetSplitPos(int v) {
    splitPos_ = v;
    Arrange();
}

void TSplit::SetSplitType(SplitType t) {
    splitType_ = t;
    updateCursor();
    Arrange();
}

void TSplit::SetSplitSize(int v) {
    splitSize_ = std::clamp(v, 1, 10);
    Arrange();
}

void TSplit::SetInverted(bool v) {
    inverted_ = v;
    Arrange();
}

void TSplit::updateCursor() {
    setCursor(splitType_ == stHorizontal ? Qt::SplitHCursor : Qt::SplitVCursor);
}

std::pair<QWidget*, QWidget*> TSplit::panes() const {
    QWidget* found[2] = {nullptr, nullptr};
    int n = 0;
    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w == bar_ || w->isWindow()) continue;
        found[n++] = w;
        if (n == 2) break;
    }
    if (n < 2) return {nullptr, nullptr};
    return inverted_ ? std::pair{found[1], found[0]} : std::pair{found[0], found[1]};
}

int TSplit::axisLength() const {
    return splitType_ == stHorizontal ? width() : height();
}

void TSplit::Arrange() {
    auto [first, second] = panes();
    if (!first) return;
    // Raised first, then lowered: in a panel too small for both rules the upper one wins.
    splitPos_ = std::max(splitPos_, kMinPane);
    splitPos_ = std::min(splitPos_, axisLength() - splitSize_ - kMinPane);
    if (splitType_ == stHorizontal) {
        first->setGeometry(1, 1, splitPos_, height() - 2);
        second->setGeometry(splitPos_ + splitSize_, 1, width() - splitPos_ - splitSize_ - 1,
                            height() - 2);
    } else {
        first->setGeometry(1, 1, width() - 2, splitPos_);
        second->setGeometry(1, splitPos_ + splitSize_, width() - 2,
                            height() - splitPos_ - splitSize_ - 1);
    }
}

void TSplit::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    Arrange();
}

void TSplit::showEvent(QShowEvent* e) {
    QFrame::showEvent(e);
    Arrange();
}

bool TSplit::event(QEvent* e) {
    // A pane added after the last resize is placed once it is ready to be shown.
    const bool handled = QFrame::event(e);
    if (e->type() == QEvent::ChildPolished) Arrange();
    return handled;
}

bool TSplit::insideBorder(const QPoint& p) const {
    return p.x() > 0 && p.y() > 0 && p.x() < width() - 1 && p.y() < height() - 1;
}

int TSplit::clampedToAxis(int v) const {
    return std::max(std::min(v, axisLength() - splitSize_ - kMinPane), kMinPane);
}

void TSplit::drawBar() {
    if (splitType_ == stHorizontal)
        bar_->setGeometry(splitPos_, 1, splitSize_, height() - 2);
    else
        bar_->setGeometry(1, splitPos_, width() - 2, splitSize_);
    bar_->show();
    bar_->raise();
    lastDrawn_ = splitPos_;
}

void TSplit::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (e->button() != Qt::LeftButton || !insideBorder(p) || !panes().first) {
        QFrame::mousePressEvent(e);
        return;
    }
    // The bar appears with the first move; a click alone leaves the panes where they are. The
    // press itself captures the mouse until the release.
    dragging_ = true;
}

void TSplit::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (!dragging_) {
        if (insideBorder(p))
            updateCursor();
        else
            setCursor(Qt::ArrowCursor);
        QFrame::mouseMoveEvent(e);
        return;
    }
    splitPos_ = clampedToAxis(splitType_ == stHorizontal ? p.x() : p.y());
    drawBar();
}

void TSplit::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_) {
        QFrame::mouseReleaseEvent(e);
        return;
    }
    dragging_ = false;
    bar_->hide();
    lastDrawn_ = 0;
    Arrange();
}

}  // namespace pulpex
