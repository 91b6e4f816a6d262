#include "core/ui/loading.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace pulpex {

TForm_Loading::TForm_Loading(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Form_Loading"));
    setWindowTitle(QStringLiteral("Proszę czekać"));
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Raised);
    lbTekst = new QLabel(defaultText(), frame);
    lbTekst->setObjectName(QStringLiteral("lbTekst"));
    lbTekst->setAlignment(Qt::AlignCenter);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(24, 16, 24, 16);
    inner->addWidget(lbTekst);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
}

void TForm_Loading::ShowNotice(const QString& text) {
    lbTekst->setText(text.isEmpty() ? defaultText() : text);
    adjustSize();
    if (QWidget* over = parentWidget() ? parentWidget()->window() : QApplication::activeWindow())
        move(over->geometry().center() - rect().center());
    show();
    raise();
    repaint();
    // Paint now; user input waits until the work is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm_Loading::HideNotice() {
    hide();
}

}  // namespace pulpex
