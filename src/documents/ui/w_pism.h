// "Rysunki i dokumenty OLE": the pages and embedded documents of one event. Pages come from image
// files or from the scanner; every page is stored at once and its text recognised afterwards,
// off the user-interface thread, so that the event can be found by a word of its pages.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>
#include <thread>

#include "core/ui/window.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTemporaryDir;
class QToolButton;

namespace pulpex {

namespace scanner {
class TScannerLink;
}
class TDBImage;
class TDBNavigator;
class TOleView;
class TTableDataSet;

class TOkno_pism : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TOkno_pism(QWidget* parent = nullptr);
    ~TOkno_pism() override;

    void Prepare(int eventId);
    int EventID() const { return eventId_; }
    double Zoom() const { return zoom_; }
    // The scanner item value the window last received.
    QString ScannerItemValue() const { return itemValue_; }
    // The scanner link's item changed (the link calls it; a value beginning with "100"
    // announces a page in the exchange files).
    void ScannerItemChanged(const QString& value);
    // Where the scanner link puts its exchange files.
    QString ScannerWorkDir() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void done(int r) override;

  private:
    void buildToolBar(QWidget* bar);
    void showCurrent();
    void sizeImage();
    bool currentIsImage() const;
    int currentId() const;
    // Stores one page (picture bytes and resolutions) and queues it for recognition; the new
    // document's ID, 0 when it could not be stored (then nothing of it stays).
    int storePage(const QImage& image, const QByteArray& stored, int rex, int rey);
    void locate(int id);

    void btnReadImageClick();
    void btnSaveBMPClick();
    void btnDeleteRecordClick();
    void btnPrintClick();
    void btnPrinterSetupClick();
    void btnAcquireClick();
    void btnChooseScannerClick();
    void chooseScanner(const QStringList& devices, const QString& error);
    void ComboBox1Change(int index);
    void btnInsertOleObjClick();
    void btnEditObjClick();
    void btnStopClick();
    void scanFinished(int pages);
    void recognitionProgress(int eventId, int percent, int pending);
    void recognitionIdle(int eventId);
    void updateProgressPanel();

    TTableDataSet* tPisma;
    TDBNavigator* DBNavigator1;
    QToolButton* btnReadImage;
    QToolButton* btnSaveBMP;
    QToolButton* btnDeleteRecord;
    QToolButton* btnPrint;
    QToolButton* btnPrinterSetup;
    QToolButton* btnAcquire;
    QToolButton* btnChooseScanner;
    QCheckBox* chbFeeder;
    QComboBox* ComboBox1;
    QPushButton* btnInsertOleObj;
    QPushButton* btnEditObj;
    QPushButton* btnDeleteObj;
    QStackedWidget* stack_;
    QScrollArea* sbImage;
    TDBImage* bmp;
    TOleView* oc;
    QWidget* pProgress;
    QLabel* lbProgress;
    QProgressBar* pbProgress;
    QPushButton* btnStop;
    QPushButton* BitBtn3;

    int eventId_ = 0;
    double zoom_ = 0.5;
    QSize pictureSize_;  // of the current page, read from its header
    QString itemValue_;
    bool scanning_ = false;
    int recognitionPercent_ = 0;
    int recognitionPending_ = 0;
    bool searchingScanners_ = false;
    mutable std::unique_ptr<QTemporaryDir> scanDir_;
    std::thread scannerSearch_;  // looking for devices (SANE may ask the network)
    std::unique_ptr<scanner::TScannerLink> link_;
};

// Shows the documents of event `eventId` modally.
void PokazPisma(QWidget* owner, int eventId);

}  // namespace pulpex
