#include "documents/ui/viewwin.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QVBoxLayout>

#include "core/ui/help.h"

namespace pulpex {

TViewForm::TViewForm(QWidget* parent)
    : TPulpexDialog(parent, "ViewForm", QStringLiteral("Podgląd rysunku"), kHelpViewForm) {
    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    Image = new QLabel(ScrollBox);
    Image->setObjectName(QStringLiteral("Image"));
    ScrollBox->setWidget(Image);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ScrollBox);
    resize(800, 600);
}

void TViewForm::SetPicture(const QImage& picture, const QString& caption) {
    setWindowTitle(caption);
    Image->setPixmap(QPixmap::fromImage(picture));
    Image->resize(picture.size());
}

}  // namespace pulpex
