// The small confirmation dialogs: before a deletion, and the two-line "Uwaga !" question used for
// deleting a case and a link. Both open with the focus on the refusing button, so that an Enter
// pressed out of habit never deletes anything.
#pragma once

#include "core/ui/window.h"

class QLabel;
class QPushButton;

namespace pulpex {

class Tform_AskBeforeDeletion : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit Tform_AskBeforeDeletion(QWidget* parent = nullptr);
    // An optional line naming what is to be deleted.
    void SetText(const QString& text);
    // Shows the dialog; true on "&TAK".
    bool Ask();

    QPushButton* btnTak;
    QPushButton* btnNie;
    QLabel* lbTekst;
};

class TD_us_pas : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TD_us_pas(QWidget* parent = nullptr);
    // Shows `question` and, centred below it, `warning`; true when "&Tak" confirms. "&Nie" and
    // closing the window refuse.
    bool Ask(const QString& question, const QString& warning);

    QLabel* Label1;
    QLabel* Label2;
    QPushButton* btnTak;
    QPushButton* btnNie;
};

}  // namespace pulpex
