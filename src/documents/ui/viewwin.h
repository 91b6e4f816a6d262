// "Podgląd rysunku": a picture at its full size, scrolled when larger than the screen.
#pragma once

#include <QImage>

#include "core/ui/window.h"

class QLabel;
class QScrollArea;

namespace pulpex {

class TViewForm : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TViewForm(QWidget* parent = nullptr);
    void SetPicture(const QImage& picture, const QString& caption);

  private:
    QScrollArea* ScrollBox;
    QLabel* Image;
};

}  // namespace pulpex
