// A "please wait" notice for the moments a window spends opening its data.
#pragma once

#include <QWidget>

class QLabel;

namespace pulpex {

class TForm_Loading : public QWidget {
    Q_OBJECT
  public:
    explicit TForm_Loading(QWidget* parent = nullptr);
    // Shows the notice (with `text` instead of the usual one when given) and paints it at once,
    // before the caller goes on with the work that blocks the loop.
    void ShowNotice(const QString& text = {});
    void HideNotice();

    static QString defaultText() { return QStringLiteral("Wczytywanie danych, proszę czekać ..."); }

    QLabel* lbTekst;
};

}  // namespace pulpex
