#include "documents/ui/w_pism.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "core/ui/print_text.h"
#include "core/ui/printer.h"
#include "core/utils.h"
#include "documents/ocr/deliver.h"
#include "documents/pictures.h"
#include "documents/pisma.h"
#include "documents/recognition.h"
#include "documents/scanner/scanner_link.h"
#include "documents/ui/image.h"
#include "documents/ui/oleedit.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kScanSection = QStringLiteral("Skaner");

QToolButton* toolButton(QWidget* parent, const QString& text, const char* name,
                        const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

// Two lines of decimal integers: the horizontal and the vertical resolution.
bool readResolutions(const QString& path, int& rex, int& rey, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Nie można odczytać pliku \"%1\".").arg(path);
        return false;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    bool okX = false, okY = false;
    rex = lines.size() > 0 ? lines[0].trimmed().toInt(&okX) : 0;
    rey = lines.size() > 1 ? lines[1].trimmed().toInt(&okY) : 0;
    if (okX && okY) return true;
    error = QStringLiteral(
                "Plik \"%1\" nie zawiera rozdzielczości obrazu: w pierwszych dwóch "
                "wierszach muszą stać liczby całkowite.")
                .arg(path);
    return false;
}

}  // namespace

TOkno_pism::TOkno_pism(QWidget* parent)
    : TPulpexDialog(parent, "Okno_pism", QStringLiteral("Rysunki i dokumenty OLE"), kHelpOknoPism) {
    tPisma = TableDataSet(this, "tPisma", QStringLiteral("PISMA"), QStringLiteral("ZDARZ_ID"));

    auto* bar = new QWidget(this);
    buildToolBar(bar);

    sbImage = new QScrollArea(this);
    sbImage->setObjectName(QStringLiteral("sbImage"));
    bmp = Bound<TDBImage>(sbImage, "bmp", tPisma, QStringLiteral("RYSUNEK"));
    bmp->setToolTip(QStringLiteral("B M P"));
    sbImage->setWidget(bmp);
    oc = new TOleView(this);
    connect(oc, &TOleView::pressed, this, [this] {
        if (btnEditObj->isEnabled()) btnEditObjClick();
    });
    auto* none =
        new QLabel(QStringLiteral("To zdarzenie nie ma jeszcze rysunków ani obiektów."), this);
    none->setAlignment(Qt::AlignCenter);
    stack_ = new QStackedWidget(this);
    stack_->addWidget(none);
    stack_->addWidget(sbImage);
    stack_->addWidget(oc);

    pProgress = new QWidget(this);
    pProgress->setObjectName(QStringLiteral("pProgress"));
    lbProgress = new QLabel(pProgress);
    lbProgress->setObjectName(QStringLiteral("lbProgress"));
    pbProgress = new QProgressBar(pProgress);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    btnStop = MakeButton(pProgress, QStringLiteral("&Przerwij"), "btnStop",
                         QStringLiteral("Przerwanie skanowania i rozpoznawania tekstu"));
    connect(btnStop, &QPushButton::clicked, this, &TOkno_pism::btnStopClick);
    auto* progress = new QHBoxLayout(pProgress);
    progress->setContentsMargins(0, 0, 0, 0);
    progress->addWidget(lbProgress);
    progress->addWidget(pbProgress, 1);
    progress->addWidget(btnStop);
    pProgress->hide();

    BitBtn3 = CancelButton(QStringLiteral("&Koniec"), "BitBtn3");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar);
    layout->addWidget(stack_, 1);
    layout->addWidget(pProgress);
    layout->addLayout(ButtonRow({}, {BitBtn3, HelpButton()}));
    setMinimumSize(530, 160);
    resize(800, 600);

    connect(tPisma, &TDataSet::AfterScroll, this, &TOkno_pism::showCurrent);
    connect(tPisma, &TDataSet::DataSetChange, this, &TOkno_pism::showCurrent);
    TRecognitionQueue::Handlers h;
    h.progress = [this](int id, int percent, int pending) {
        recognitionProgress(id, percent, pending);
    };
    h.idle = [this](int id) { recognitionIdle(id); };
    TRecognitionQueue::Instance().Watch(this, std::move(h));
    KeepPosted({tPisma});
    SetActiveControl(BitBtn3);
}

TOkno_pism::~TOkno_pism() {
    link_.reset();
    if (scannerSearch_.joinable()) scannerSearch_.join();
}

void TOkno_pism::buildToolBar(QWidget* bar) {
    DBNavigator1 = new TDBNavigator(bar);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->SetDataSet(tPisma);
    btnReadImage = toolButton(bar, QStringLiteral("Wczytaj"), "btnReadImage",
                              QStringLiteral("Wczytanie z pliku"));
    btnSaveBMP =
        toolButton(bar, QStringLiteral("Zapisz"), "btnSaveBMP", QStringLiteral("Zapis do pliku"));
    btnDeleteRecord = toolButton(bar, QStringLiteral("Usuń"), "btnDeleteRecord",
                                 QStringLiteral("Usunięcie z bazy"));
    btnPrint = toolButton(bar, QStringLiteral("Drukuj"), "btnPrint", QStringLiteral("Wydruk"));
    btnPrinterSetup = toolButton(bar, QStringLiteral("Drukarka"), "btnPrinterSetup",
                                 QStringLiteral("Ustawienie drukarki"));
    btnAcquire =
        toolButton(bar, QStringLiteral("Skanuj"), "btnAcquire", QStringLiteral("Skanowanie"));
    btnChooseScanner = toolButton(bar, QStringLiteral("Skaner…"), "btnChooseScanner",
                                  QStringLiteral("Wybór skanera"));
    chbFeeder = new QCheckBox(QStringLiteral("Z &podajnika"), bar);
    chbFeeder->setObjectName(QStringLiteral("chbFeeder"));
    chbFeeder->setToolTip(QStringLiteral("Każda strona z podajnika jako osobny rysunek"));
    chbFeeder->setChecked(IniReadString(kScanSection, QStringLiteral("Podajnik"), {},
                                        UserIniPath()) == QStringLiteral("tak"));
    connect(chbFeeder, &QCheckBox::toggled, this, [](bool on) {
        IniWriteString(kScanSection, QStringLiteral("Podajnik"),
                       on ? QStringLiteral("tak") : QStringLiteral("nie"), UserIniPath());
    });
    ComboBox1 = new QComboBox(bar);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setToolTip(QStringLiteral("Skalowanie obrazu"));
    for (int i = 1; i <= 10; ++i)
        ComboBox1->addItem(QStringLiteral("%1%").arg(i * 10));
    ComboBox1->setCurrentIndex(4);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TOkno_pism::ComboBox1Change);
    btnInsertOleObj = MakeButton(bar, QStringLiteral("&Wstaw Obiekt"), "btnInsertOleObj");
    btnEditObj = MakeButton(bar, QStringLiteral("&Edycja obiektu"), "btnEditObj");
    btnDeleteObj = MakeButton(bar, QStringLiteral("&Usuń obiekt"), "btnDeleteObj");

    connect(btnReadImage, &QToolButton::clicked, this, &TOkno_pism::btnReadImageClick);
    connect(btnSaveBMP, &QToolButton::clicked, this, &TOkno_pism::btnSaveBMPClick);
    connect(btnDeleteRecord, &QToolButton::clicked, this, &TOkno_pism::btnDeleteRecordClick);
    connect(btnPrint, &QToolButton::clicked, this, &TOkno_pism::btnPrintClick);
    connect(btnPrinterSetup, &QToolButton::clicked, this, &TOkno_pism::btnPrinterSetupClick);
    connect(btnAcquire, &QToolButton::clicked, this, &TOkno_pism::btnAcquireClick);
    connect(btnChooseScanner, &QToolButton::clicked, this, &TOkno_pism::btnChooseScannerClick);
    connect(btnInsertOleObj, &QPushButton::clicked, this, &TOkno_pism::btnInsertOleObjClick);
    connect(btnEditObj, &QPushButton::clicked, this, &TOkno_pism::btnEditObjClick);
    connect(btnDeleteObj, &QPushButton::clicked, this, &TOkno_pism::btnDeleteRecordClick);

    // Pages on the first row, embedded documents on the second: on one row the captions were
    // cut off at the window's usual width.
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* pages = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{
             DBNavigator1, btnReadImage, btnSaveBMP, btnDeleteRecord, btnPrint, btnPrinterSetup,
             btnAcquire, btnChooseScanner, chbFeeder, ComboBox1})
        pages->addWidget(w);
    pages->addStretch(1);
    auto* objects = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{btnInsertOleObj, btnEditObj, btnDeleteObj})
        objects->addWidget(w);
    objects->addStretch(1);
    rows->addLayout(pages);
    rows->addLayout(objects);
}

void TOkno_pism::Prepare(int eventId) {
    eventId_ = eventId;
    zoom_ = 0.5;
    ComboBox1->setCurrentIndex(4);
    recognitionPending_ = TRecognitionQueue::Instance().Pending(eventId_);
    updateProgressPanel();
}

void TOkno_pism::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    if (tPisma->Active()) return;
    // The event's documents stand together in ZDARZ_ID order: a range finds them without
    // reading the rest of the table.
    Guarded([&] {
        tPisma->SetRange(eventId_, eventId_);
        tPisma->Open();
    });
    showCurrent();
}

void TOkno_pism::resizeEvent(QResizeEvent* event) {
    TPulpexDialog::resizeEvent(event);
    sizeImage();
}

void TOkno_pism::done(int r) {
    // Pages delivered so far are stored; recognition goes on without the window.
    if (link_) link_->Stop();
    link_.reset();
    TPulpexDialog::done(r);
}

int TOkno_pism::currentId() const {
    if (!tPisma->Active() || tPisma->IsEmpty()) return 0;
    return static_cast<int>(tPisma->AsInteger(QStringLiteral("ID")));
}

bool TOkno_pism::currentIsImage() const {
    return pictureSize_.width() > 0;
}

void TOkno_pism::showCurrent() {
    const bool any = tPisma->Active() && !tPisma->IsEmpty();
    // The kind of the row from the picture's header; the control decodes the picture itself.
    pictureSize_ = any ? StoredPictureSize(tPisma->AsBytes(QStringLiteral("RYSUNEK"))) : QSize();
    for (QWidget* w : std::initializer_list<QWidget*>{DBNavigator1, btnSaveBMP, btnDeleteRecord,
                                                      btnPrint, btnEditObj, btnDeleteObj})
        w->setEnabled(any);
    if (!any) {
        stack_->setCurrentIndex(0);
        return;
    }
    if (currentIsImage()) {
        stack_->setCurrentWidget(sbImage);
        btnEditObj->setEnabled(false);
        btnDeleteObj->setEnabled(false);
        sizeImage();
        return;
    }
    stack_->setCurrentWidget(oc);
    btnSaveBMP->setEnabled(false);
    btnPrint->setEnabled(false);
    TRec_Pisma rec;
    Guarded([&] {
        if (TblPisma != nullptr) TblPisma->ReadRecordByID(currentId(), rec);
    });
    oc->ShowObject(rec.PIS_OLE.Bytes());
}

void TOkno_pism::sizeImage() {
    const QSize s = pictureSize_;
    if (s.isEmpty()) return;
    bmp->setFixedSize(qRound(s.width() * zoom_), qRound(s.height() * zoom_));
}

void TOkno_pism::ComboBox1Change(int index) {
    zoom_ = (index + 1) / 10.0;
    sizeImage();
}

void TOkno_pism::locate(int id) {
    tPisma->Refresh();
    tPisma->Locate(QStringLiteral("ID"), id);
}

int TOkno_pism::storePage(const QImage& image, const QByteArray& stored, int rex, int rey) {
    if (TblPisma == nullptr) return 0;
    int id = 0;
    if (!Guarded([&] { id = TblPisma->DodajStrone(eventId_, stored, rex, rey); },
                 QStringLiteral("Nie można zapisać rysunku.")))
        return 0;
    Guarded([&] { locate(id); });
    showCurrent();
    TRecognitionQueue::Instance().Add(eventId_, id, image, rex > 1 ? rex : 0);
    return id;
}

void TOkno_pism::btnReadImageClick() {
    TImageForm browser(this);
    if (browser.exec() != QDialog::Accepted) return;
    const QString file = browser.ChosenFile();
    int rex = 0, rey = 0;
    const QFileInfo fi(file);
    for (const QString& ext : {QStringLiteral(".inf"), QStringLiteral(".INF")}) {
        const QString side = fi.dir().filePath(fi.completeBaseName() + ext);
        if (!QFile::exists(side)) continue;
        QString error;
        if (!readResolutions(side, rex, rey, error)) {
            prompts().message(Severity::Error, error);
            return;
        }
        break;
    }
    QString error;
    const QList<TPicturePage> pages = ReadPicturePages(file, &error);
    if (pages.isEmpty()) {
        prompts().message(Severity::Error, error);
        return;
    }
    int first = 0;
    for (const TPicturePage& page : pages) {
        const int id = storePage(page.image, page.stored, rex, rey);
        if (id == 0) break;
        if (first == 0) first = id;
    }
    if (first != 0) Guarded([&] { tPisma->Locate(QStringLiteral("ID"), first); });
}

void TOkno_pism::btnSaveBMPClick() {
    const QImage picture = bmp->Picture();
    if (picture.isNull()) return;
    const QString path = prompts().saveFileName(
        QStringLiteral("Zapis do pliku"),
        QStringLiteral("Pliki bitmapowe (*.bmp)|*.bmp|Pliki PNG (*.png)|*.png|"
                       "Pliki JPEG (*.jpg)|*.jpg|Pliki TIFF (*.tif)|*.tif"),
        QStringLiteral("*.bmp"), QStringLiteral("bmp"));
    if (path.isEmpty()) return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const char* format =
        suffix == QStringLiteral("png")                                       ? "PNG"
        : suffix == QStringLiteral("jpg") || suffix == QStringLiteral("jpeg") ? "JPEG"
        : suffix == QStringLiteral("tif") || suffix == QStringLiteral("tiff") ? "TIFF"
                                                                              : "BMP";
    if (!picture.save(path, format))
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można zapisać rysunku do pliku \"%1\".").arg(path));
}

void TOkno_pism::btnDeleteRecordClick() {
    if (currentId() == 0) return;
    if (!ConfirmDeletion(currentIsImage() ? QStringLiteral("Usunąć bieżący rysunek z bazy?")
                                          : QStringLiteral("Usunąć bieżący obiekt z bazy?")))
        return;
    Guarded([&] { tPisma->Delete(); }, QStringLiteral("Nie można usunąć dokumentu."));
    showCurrent();
}

void TOkno_pism::btnPrintClick() {
    const QImage picture = bmp->Picture();
    if (picture.isNull()) return;
    int rex = static_cast<int>(tPisma->AsInteger(QStringLiteral("PIS_REX")));
    int rey = static_cast<int>(tPisma->AsInteger(QStringLiteral("PIS_REY")));
    // 0 or 1: unknown, taken as the screen's resolution.
    if (rex <= 1) rex = logicalDpiX();
    if (rey <= 1) rey = logicalDpiY();
    QPrinter& printer = SharedPrinter();
    TTextPrinter job(printer);
    if (!job.Begin()) return;
    const double sx = static_cast<double>(printer.logicalDpiX()) / rex;
    const double sy = static_cast<double>(printer.logicalDpiY()) / rey;
    // The painter's origin is the corner of the printable area: the printing offset.
    job.Painter().drawImage(
        QRectF(0, 0, qRound(picture.width() * sx), qRound(picture.height() * sy)), picture);
    job.End();
}

void TOkno_pism::btnPrinterSetupClick() {
    prompts().printerSetup();
}

QString TOkno_pism::ScannerWorkDir() const {
    if (!scanDir_)
        scanDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                   QStringLiteral("/pulpex-skan-XXXXXX"));
    return scanDir_->path();
}

void TOkno_pism::btnAcquireClick() {
    // A page announced and not yet taken in: the link is still busy with it.
    if (scanner::IsPageReady(itemValue_) || searchingScanners_) return;
    if (link_ && link_->Busy()) return;
    if (!link_) {
        scanner::TScannerLink::Handlers h;
        h.itemChanged = [this](const QString& value) { ScannerItemChanged(value); };
        h.error = [](const QString& message) { prompts().message(Severity::Error, message); };
        h.finished = [this](int pages) { scanFinished(pages); };
        link_ = std::make_unique<scanner::TScannerLink>(this, std::move(h), ScannerWorkDir());
    }
    scanner::TScanSettings s;
    s.device = scanner::RememberedScanner();
    s.dpi = IniReadInt(kScanSection, QStringLiteral("Rozdzielczosc"), 300, UserIniPath());
    if (s.dpi <= 0) s.dpi = 300;
    s.colour = IniReadString(kScanSection, QStringLiteral("Kolor"), {}, UserIniPath()) ==
               QStringLiteral("tak");
    s.feeder = chbFeeder->isChecked();
    s.options = IniReadString(kScanSection, QStringLiteral("Opcje"), {}, UserIniPath())
                    .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (!link_->Open(scanner::kLinkService, scanner::kLinkTopic, scanner::kLinkItem, s)) return;
    scanning_ = true;
    updateProgressPanel();
}

void TOkno_pism::ScannerItemChanged(const QString& value) {
    itemValue_ = value;
    if (!scanner::IsPageReady(value)) return;
    const QDir dir(ScannerWorkDir());
    int rex = 0, rey = 0;
    QString error;
    if (!readResolutions(dir.filePath(scanner::kResolutionFile), rex, rey, error)) {
        prompts().message(Severity::Error, error);
        itemValue_ = QStringLiteral("0");
        return;
    }
    const QImage page(dir.filePath(scanner::kPageFile));
    if (page.isNull()) {
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można odczytać zeskanowanej strony."));
    } else {
        storePage(page, StoredPicture(page), rex, rey);
    }
    // The next "Skanowanie" opens the link again.
    itemValue_ = QStringLiteral("0");
}

void TOkno_pism::scanFinished(int /*pages*/) {
    scanning_ = false;
    updateProgressPanel();
}

void TOkno_pism::btnChooseScannerClick() {
    if (searchingScanners_ || scanning_) return;
    if (scannerSearch_.joinable()) scannerSearch_.join();
    searchingScanners_ = true;
    updateProgressPanel();
    const QPointer<QObject> self(this);
    scannerSearch_ = std::thread([this, self] {
        QString error;
        const QStringList devices = scanner::ScannerDevices(&error);
        ocr::DeliverTo(self, [this, devices, error] { chooseScanner(devices, error); });
    });
}

void TOkno_pism::chooseScanner(const QStringList& devices, const QString& error) {
    searchingScanners_ = false;
    updateProgressPanel();
    if (!error.isEmpty() || devices.isEmpty()) {
        prompts().message(Severity::Warning,
                          error.isEmpty()
                              ? QStringLiteral("Nie znaleziono żadnego skanera. "
                                               "Sprawdź, czy jest podłączony i włączony.")
                              : error);
        return;
    }
    TPulpexDialog dialog(this, "SkanerWybor", QStringLiteral("Wybór skanera"), kHelpOknoPism);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lbSkanery"));
    list->addItems(devices);
    const auto current = list->findItems(scanner::RememberedScanner(), Qt::MatchExactly);
    list->setCurrentRow(current.isEmpty() ? 0 : list->row(current.first()));
    auto* ok = MakeButton(&dialog, QStringLiteral("&OK"), "btnOK", {}, true);
    connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Anuluj"), &dialog);
    cancel->setObjectName(QStringLiteral("btnAnuluj"));
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addLayout(ButtonRow({}, {ok, cancel}));
    if (dialog.exec() != QDialog::Accepted || list->currentItem() == nullptr) return;
    if (!scanner::RememberScanner(list->currentItem()->text()))
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można zapamiętać wyboru skanera w pliku \"%1\".")
                              .arg(UserIniPath()));
}

void TOkno_pism::btnInsertOleObjClick() {
    TformOleEditor editor(this);
    if (editor.exec() != QDialog::Accepted || TblPisma == nullptr) return;
    Guarded(
        [&] {
            const int id = TblPisma->DodajObiekt(eventId_, editor.SaveToStream());
            locate(id);
        },
        QStringLiteral("Nie można zapisać obiektu."));
}

void TOkno_pism::btnEditObjClick() {
    const int id = currentId();
    if (id == 0 || TblPisma == nullptr) return;
    TRec_Pisma rec;
    if (!Guarded([&] { TblPisma->ReadRecordByID(id, rec); })) return;
    TformOleEditor editor(this);
    editor.LoadFromStream(rec.PIS_OLE.Bytes());
    if (editor.exec() != QDialog::Accepted) return;
    rec.PIS_OLE.SetBytes(editor.SaveToStream());
    Guarded(
        [&] {
            int same = id;
            TblPisma->OT_AddNew(same, rec);
            locate(id);
        },
        QStringLiteral("Nie można zapisać obiektu."));
    showCurrent();
}

void TOkno_pism::btnStopClick() {
    if (link_) link_->Stop();
    TRecognitionQueue::Instance().Stop(eventId_);
}

void TOkno_pism::recognitionProgress(int eventId, int percent, int pending) {
    if (eventId != eventId_) return;
    recognitionPercent_ = percent;
    recognitionPending_ = pending;
    updateProgressPanel();
}

void TOkno_pism::recognitionIdle(int eventId) {
    if (eventId != eventId_) return;
    recognitionPending_ = 0;
    updateProgressPanel();
}

void TOkno_pism::updateProgressPanel() {
    btnStop->setVisible(!searchingScanners_);
    if (searchingScanners_) {
        lbProgress->setText(QStringLiteral("Szukanie skanerów…"));
        pbProgress->setRange(0, 0);
    } else if (scanning_) {
        lbProgress->setText(QStringLiteral("Skanowanie…"));
        pbProgress->setRange(0, 0);
    } else if (recognitionPending_ > 0) {
        lbProgress->setText(QStringLiteral("Rozpoznawanie tekstu (stron do odczytania: %1)")
                                .arg(recognitionPending_));
        pbProgress->setRange(0, 100);
        pbProgress->setValue(recognitionPercent_);
    }
    pProgress->setVisible(searchingScanners_ || scanning_ || recognitionPending_ > 0);
}

void PokazPisma(QWidget* owner, int eventId) {
    TOkno_pism w(owner);
    w.Prepare(eventId);
    w.exec();
}

}  // namespace pulpex
