// "Wzorce korespondecji seryjnej": the list of correspondence templates, their creation, editing
// and deletion, and the series: the chosen template filled in for every correspondent picked in
// the address book, sent by e-mail or printed (one printout, each letter from a new page).
#pragma once

#include "core/ui/window.h"

class QPushButton;

namespace pulpex {

class TCV_DBGrid;
class TTableDataSet;
struct TSerialSeries;

class TformSerialMailing : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformSerialMailing(QWidget* parent = nullptr);
    ~TformSerialMailing() override;

    enum class Mode { Email, Print };

    // What the last e-mail series did (tests and the summary).
    struct Summary {
        int sent = 0;
        int failed = 0;
        int skipped = 0;  // no e-mail address, or not reached after a stop or an abort
        bool stopped = false;
    };
    const Summary& LastSummary() const { return summary_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;

  private:
    int CurrentID() const;
    // Reopens the list, on the row of `id` when it is there.
    void Requery(int id);
    void UpdateEnabled();
    void btnNowyClick();
    void btnPoprawClick();
    void btnUsunClick();
    void RunSeries(Mode mode);
    void SendSeries(const TSerialSeries& series);
    void PrintSeries(const TSerialSeries& series);

    TTableDataSet* tKoresp = nullptr;
    TCV_DBGrid* dbgWzorce = nullptr;
    QPushButton* btnZamknij = nullptr;
    QPushButton* btnNowy = nullptr;
    QPushButton* btnPopraw = nullptr;
    QPushButton* btnUsun = nullptr;
    QPushButton* btnEmail = nullptr;
    QPushButton* btnWydruk = nullptr;
    Summary summary_;
    bool busy_ = false;  // a series is being sent
};

// Shows the window modally.
void KorespondencjaSeryjna(QWidget* owner);

// The question after a failed letter (Abort, Retry, Ignore), naming the addressee.
QString SerialFailureText(const QString& name);

}  // namespace pulpex
