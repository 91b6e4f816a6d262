// The progress notice of long operations: a gauge under the caption "Obliczenia" and a "Przerwij"
// button. While it is shown the window that was active is disabled, so that nothing else can be
// started, yet the program stays live: Step() lets pending events through.
//
//   TProgressDlg_v3 dlg;
//   dlg.Start(rows, true);
//   for (...) { work(); dlg.Step(); if (dlg.CancelRequested()) break; }
//   dlg.Finish();
#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pulpex {

class TProgressDlg_v3 : public QDialog {
    Q_OBJECT
  public:
    // `owner` only places the dialog: it is a window of its own, not a child, since disabling the
    // owner would disable its children too. The caller owns the dialog.
    explicit TProgressDlg_v3(QWidget* owner = nullptr);
    ~TProgressDlg_v3() override;

    // Shows the dialog with the gauge at 0 of `max`. Without `allowCancel` the button is off and
    // closing the window does nothing.
    void Start(int max, bool allowCancel = true);
    // One step (or `n`) further, then pending events are processed.
    void Step(int n = 1);
    void SetPosition(int position);
    int Position() const;
    // A line of text above the gauge (empty hides it).
    void SetText(const QString& text);
    bool CancelRequested() const { return cancelRequested_; }
    // Hides the dialog and enables the window disabled by Start().
    void Finish();

    QProgressBar* Gauge;
    QPushButton* btnPrzerwij;
    QLabel* lbTekst;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void requestCancel();

    bool allowCancel_ = false;
    bool cancelRequested_ = false;
    bool running_ = false;
    QPointer<QWidget> owner_;
    QPointer<QWidget> disabled_;
};

}  // namespace pulpex
