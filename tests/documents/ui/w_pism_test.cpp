// The documents window on a real installation: pages loaded from files and from SANE's test
// device, stored pictures read back, printing to PDF at the page's physical size, deleting with a
// question, and a page's recognised text found by the register's search.
#include "documents/ui/w_pism.h"

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "controls/dbcontrols.h"
#include "core/ui/printer.h"
#include "core/utils.h"
#include "documents/embedded.h"
#include "documents/pisma.h"
#include "documents/recognition.h"
#include "documents/scanner/sane_scan.h"
#include "documents/scanner/scanner_link.h"
#include "register/search.h"
#include "register/ui/listzdrz.h"
#include "register/ui/n_kor.h"
#include "register/ui/w_tresc.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/sane_test.h"
#include "support/widgets.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;
using test::click;

// The images of a PDF as `pdfimages -list` sees them: width, height, x-ppi, y-ppi.
struct PdfImage {
    int width = 0, height = 0, ppiX = 0, ppiY = 0;
};
std::vector<PdfImage> pdfImages(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path});
    EXPECT_TRUE(p.waitForFinished(30000));
    std::vector<PdfImage> out;
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.simplified().split(' ');
        // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
        if (f.size() < 14 || f[2] != QStringLiteral("image")) continue;
        out.push_back({f[3].toInt(), f[4].toInt(), f[12].toInt(), f[13].toInt()});
    }
    return out;
}

// A grey page of `w` x `h` pixels with a dark frame, so that it is not blank.
QImage greyPage(int w, int h, int shade = 200) {
    QImage img(w, h, QImage::Format_Grayscale8);
    img.fill(shade);
    QPainter p(&img);
    p.setPen(Qt::black);
    p.drawRect(2, 2, w - 5, h - 5);
    return img;
}

// A TIFF of several pages, written by Leptonica (Qt writes one page a file).
bool writeTiff(const QString& path, const QList<QImage>& pages) {
    bool first = true;
    for (const QImage& page : pages) {
        const QImage g = page.convertToFormat(QImage::Format_Grayscale8);
        Pix* pix = pixCreate(g.width(), g.height(), 8);
        for (int y = 0; y < g.height(); ++y)
            for (int x = 0; x < g.width(); ++x)
                pixSetPixel(pix, x, y, g.constScanLine(y)[x]);
        const QByteArray name = QFile::encodeName(path);
        const int rc = pixWriteTiff(name.constData(), pix, IFF_TIFF_ZIP, first ? "w" : "a");
        pixDestroy(&pix);
        if (rc != 0) return false;
        first = false;
    }
    return true;
}

class DocumentsWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
        SharedPrinter().setOutputFormat(QPrinter::PdfFormat);
        SharedPrinter().setOutputFileName({});
        TRec_Zdarzenia z;
        z.ZD_TYP = 1;
        TblZdarzenia->OT_AddNew(eventId, z);
        TRec_Zdarzenia other;
        TblZdarzenia->OT_AddNew(otherEventId, other);
    }
    void TearDown() override {
        w.reset();
        // No page of this installation may still be read when it goes.
        QTRY_VERIFY_WITH_TIMEOUT(!TRecognitionQueue::Instance().Busy(), 120000);
        SharedPrinter().setOutputFileName({});
    }

    void open(int id = 0) {
        w = std::make_unique<TOkno_pism>();
        w->Prepare(id == 0 ? eventId : id);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    // A document row written as another part of the program would: a picture or an object.
    int addRow(int event, const QByteArray& picture, const QByteArray& ole = {}, int rex = 0,
               int rey = 0) {
        TRec_Pisma r;
        r.ZDARZ_ID = event;
        r.PIS_REX = rex;
        r.PIS_REY = rey;
        r.PIS_OLE.SetBytes(ole);
        int id = 0;
        TblPisma->OT_AddNew(id, r);
        if (!picture.isEmpty()) {
            EXPECT_TRUE(TblPisma->LocateID(id));
            TOT_Blob blob;
            EXPECT_TRUE(blob.Attach(QStringLiteral("Rysunek"), *TblPisma));
            blob.Write(picture);
        }
        return id;
    }
    static QByteArray bmpBytes(const QImage& img) {
        QByteArray b;
        QBuffer buf(&b);
        buf.open(QIODevice::WriteOnly);
        img.save(&buf, "BMP");
        return b;
    }

    std::vector<TRec_Pisma> rowsOf(int event) {
        std::vector<TRec_Pisma> out;
        engine::Table& t = TblPisma->T();
        TblPisma->SetIDIndex();
        for (t.first(); !t.eof(); t.next()) {
            TRec_Pisma r;
            r.LoadFields(*TblPisma);
            if (r.ZDARZ_ID == event) out.push_back(r);
        }
        return out;
    }
    QByteArray pictureOf(int id) {
        EXPECT_TRUE(TblPisma->LocateID(id));
        TOT_Blob blob;
        EXPECT_TRUE(blob.Attach(QStringLiteral("Rysunek"), *TblPisma));
        return blob.Read();
    }

    // Chooses `file` in the image browser and confirms it.
    static void chooseInBrowser(QWidget* browser, const QString& file) {
        auto* list = child<QListWidget>(browser, "FileListBox1");
        const auto items = list->findItems(file, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << file.toStdString();
        list->setCurrentItem(items.first());
        click(browser, "BitBtn3");
    }
    void loadThroughBrowser(const QString& dir, const QString& file) {
        IniWriteString(QStringLiteral("Rysunki"), QStringLiteral("Katalog"), dir, UserIniPath());
        test::ModalScript script;
        script.then([file](QWidget* browser) {
            EXPECT_EQ(browser->objectName(), QStringLiteral("ImageForm"));
            chooseInBrowser(browser, file);
        });
        click(w.get(), "btnReadImage");
        QTRY_VERIFY(script.done());
    }

    test::TestInstallation inst;
    ScriptedPrompts& prompts_ = inst.env.prompts;
    QTemporaryDir files;
    int eventId = 0;
    int otherEventId = 0;
    std::unique_ptr<TOkno_pism> w;
};

TEST_F(DocumentsWindow, AMultiPageTiffBecomesOneDocumentAPageAndPrintsAtItsPhysicalSize) {
    ASSERT_TRUE(writeTiff(files.filePath(QStringLiteral("skan.tif")),
                          {greyPage(300, 150), greyPage(240, 120, 160)}));
    QFile inf(files.filePath(QStringLiteral("skan.inf")));
    ASSERT_TRUE(inf.open(QIODevice::WriteOnly));
    inf.write("300\r\n150\r\n");
    inf.close();
    open();
    loadThroughBrowser(files.path(), QStringLiteral("skan.tif"));

    const auto rows = rowsOf(eventId);
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& r : rows) {
        EXPECT_EQ(r.PIS_REX, 300);
        EXPECT_EQ(r.PIS_REY, 150);
    }
    // Stored compressed (not as a bitmap) and read back whatever its origin.
    const QByteArray stored = pictureOf(rows[1].ID);
    EXPECT_FALSE(stored.startsWith("BM"));
    EXPECT_EQ(QImage::fromData(stored).size(), QSize(240, 120));

    // One inch of paper per 300 pixels across and per 150 down.
    const QString pdf = files.filePath(QStringLiteral("wydruk.pdf"));
    SharedPrinter().setOutputFileName(pdf);
    click(w.get(), "btnPrint");
    const auto images = pdfImages(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_NEAR(images[0].ppiX, 300, 2);
    EXPECT_NEAR(images[0].ppiY, 150, 2);
    EXPECT_TRUE(prompts_.shown().empty()) << prompts_.texts().join('\n').toStdString();
}

TEST_F(DocumentsWindow, APageOfUnknownResolutionPrintsAtTheScreensResolution) {
    addRow(eventId, bmpBytes(greyPage(192, 96)), {}, 0, 1);
    open();
    const QString pdf = files.filePath(QStringLiteral("wydruk.pdf"));
    SharedPrinter().setOutputFileName(pdf);
    click(w.get(), "btnPrint");
    const auto images = pdfImages(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_NEAR(images[0].ppiX, w->logicalDpiX(), 2);
    EXPECT_NEAR(images[0].ppiY, w->logicalDpiY(), 2);
}

TEST_F(DocumentsWindow, ZoomAndTheButtonsFollowTheKindOfTheCurrentRow) {
    // Nothing yet: nothing to save, print, edit or delete; loading and scanning are there.
    open(otherEventId);
    for (const char* name : {"btnSaveBMP", "btnDeleteRecord", "btnPrint", "btnEditObj",
                             "btnDeleteObj", "DBNavigator1"})
        EXPECT_FALSE(child<QWidget>(w.get(), name)->isEnabled()) << name;
    EXPECT_TRUE(child<QWidget>(w.get(), "btnReadImage")->isEnabled());
    EXPECT_TRUE(child<QWidget>(w.get(), "btnAcquire")->isEnabled());
    w.reset();

    addRow(eventId, bmpBytes(greyPage(1000, 800)));
    TEmbeddedDocument doc{QStringLiteral("notatka.txt"), QStringLiteral("text/plain"),
                          QByteArrayLiteral("Notatka ze spotkania w sprawie dzierżawy")};
    addRow(eventId, {}, PackEmbedded(doc));
    addRow(otherEventId, bmpBytes(greyPage(10, 10)));
    open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Rysunki i dokumenty OLE"));
    auto* zoom = child<QComboBox>(w.get(), "ComboBox1");
    EXPECT_EQ(zoom->currentText(), QStringLiteral("50%"));
    auto* bmp = child<TDBImage>(w.get(), "bmp");
    EXPECT_EQ(bmp->size(), QSize(500, 400));
    zoom->setCurrentIndex(0);
    EXPECT_DOUBLE_EQ(w->Zoom(), 0.1);
    EXPECT_EQ(bmp->size(), QSize(100, 80));
    EXPECT_TRUE(child<QWidget>(w.get(), "btnSaveBMP")->isEnabled());
    EXPECT_TRUE(child<QWidget>(w.get(), "btnPrint")->isEnabled());
    EXPECT_FALSE(child<QWidget>(w.get(), "btnEditObj")->isEnabled());
    EXPECT_FALSE(child<QWidget>(w.get(), "btnDeleteObj")->isEnabled());

    // The event's second document is the object; the other event's page is not shown.
    click(w.get(), "nbNext");
    EXPECT_FALSE(child<QWidget>(w.get(), "btnSaveBMP")->isEnabled());
    EXPECT_FALSE(child<QWidget>(w.get(), "btnPrint")->isEnabled());
    EXPECT_TRUE(child<QWidget>(w.get(), "btnEditObj")->isEnabled());
    EXPECT_TRUE(child<QLabel>(w.get(), "oc")->text().contains(QStringLiteral("notatka.txt")));
    EXPECT_FALSE(child<QWidget>(w.get(), "nbNext")->isEnabled());
}

TEST_F(DocumentsWindow, DeletingAsksFirstAndNoKeepsTheDocument) {
    const int first = addRow(eventId, bmpBytes(greyPage(50, 40)));
    const int second = addRow(eventId, bmpBytes(greyPage(60, 40)));
    open();
    prompts_.setNextAnswer(Answer::No);
    click(w.get(), "btnDeleteRecord");
    ASSERT_EQ(prompts_.shown().size(), 1u);
    EXPECT_EQ(prompts_.shown()[0].buttons, Buttons::YesNo);
    EXPECT_EQ(prompts_.shown()[0].text, QStringLiteral("Usunąć bieżący rysunek z bazy?"));
    EXPECT_EQ(rowsOf(eventId).size(), 2u);
    prompts_.setNextAnswer(Answer::Yes);
    click(w.get(), "btnDeleteRecord");
    const auto rows = rowsOf(eventId);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ID, second);
    EXPECT_FALSE(TblPisma->LocateID(first));
}

TEST_F(DocumentsWindow, OnlyAScannerValueBeginningWith100TakesInTheExchangeFiles) {
    open();
    const QDir dir(w->ScannerWorkDir());
    ASSERT_TRUE(greyPage(120, 80).save(dir.filePath(QStringLiteral("Temp.bmp")), "BMP"));
    QFile roz(dir.filePath(QStringLiteral("temp.roz")));
    ASSERT_TRUE(roz.open(QIODevice::WriteOnly));
    roz.write("200\r\n100\r\n");
    roz.close();
    w->ScannerItemChanged(QStringLiteral("099"));
    w->ScannerItemChanged(QString());
    EXPECT_TRUE(rowsOf(eventId).empty());
    w->ScannerItemChanged(QStringLiteral("1005"));
    const auto rows = rowsOf(eventId);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].PIS_REX, 200);
    EXPECT_EQ(rows[0].PIS_REY, 100);
    EXPECT_EQ(QImage::fromData(pictureOf(rows[0].ID)).size(), QSize(120, 80));
    // The next "Skanowanie" opens the link again.
    EXPECT_EQ(w->ScannerItemValue(), QStringLiteral("0"));

    // Resolutions that are not numbers: said, and nothing stored.
    ASSERT_TRUE(roz.open(QIODevice::WriteOnly));
    roz.write("trzysta\r\n300\r\n");
    roz.close();
    w->ScannerItemChanged(QStringLiteral("100"));
    ASSERT_EQ(prompts_.shown().size(), 1u);
    EXPECT_TRUE(prompts_.shown()[0].text.contains(QStringLiteral("liczby całkowite")));
    EXPECT_EQ(rowsOf(eventId).size(), 1u);
}

class DocumentsScanning : public DocumentsWindow {
  protected:
    void SetUp() override {
        test::UseSaneTestDevice(1);
        DocumentsWindow::SetUp();
        // Small pages keep the recognition of what the test device draws short.
        IniWriteString(QStringLiteral("Skaner"), QStringLiteral("Rozdzielczosc"),
                       QStringLiteral("50"), UserIniPath());
    }
    bool scanning() const {
        auto* label = w->findChild<QLabel*>(QStringLiteral("lbProgress"));
        return label->isVisible() && label->text().startsWith(QStringLiteral("Skanowanie"));
    }
};

TEST_F(DocumentsScanning, APageAndAFeederOfPagesEachBecomeADocumentOfTheirOwn) {
    open();
    click(w.get(), "btnAcquire");
    QTRY_VERIFY_WITH_TIMEOUT(!scanning(), 60000);
    auto rows = rowsOf(eventId);
    ASSERT_EQ(rows.size(), 1u) << prompts_.texts().join('\n').toStdString();
    EXPECT_EQ(rows[0].PIS_REX, 50);
    const QImage page = QImage::fromData(pictureOf(rows[0].ID));
    EXPECT_TRUE(page.isGrayscale());
    // A4 at 50 dpi.
    EXPECT_EQ(page.width(), 413);
    // The device used is this workstation's from now on.
    EXPECT_EQ(scanner::RememberedScanner(), QStringLiteral("test:0"));

    // The test device's feeder holds ten sheets.
    child<QCheckBox>(w.get(), "chbFeeder")->setChecked(true);
    click(w.get(), "btnAcquire");
    QTRY_VERIFY_WITH_TIMEOUT(!scanning(), 90000);
    // The pages are stored; their reading may stop.
    if (child<QWidget>(w.get(), "btnStop")->isVisible()) click(w.get(), "btnStop");
    EXPECT_EQ(rowsOf(eventId).size(), 11u) << prompts_.texts().join('\n').toStdString();
    EXPECT_TRUE(prompts_.shown().empty()) << prompts_.texts().join('\n').toStdString();
    QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>(w.get(), "pProgress")->isVisible(), 120000);
}

TEST_F(DocumentsScanning, AJamOrAnEmptyFeederIsToldInPolishAndStoresNothing) {
    open();
    child<QCheckBox>(w.get(), "chbFeeder")->setChecked(true);
    for (const auto& [status, words] :
         {std::pair{"SANE_STATUS_JAMMED", QStringLiteral("zaciął")},
          std::pair{"SANE_STATUS_NO_DOCS", QStringLiteral("Brak papieru w podajniku")}}) {
        SCOPED_TRACE(status);
        prompts_.clear();
        IniWriteString(QStringLiteral("Skaner"), QStringLiteral("Opcje"),
                       QStringLiteral("read-return-value=") + QLatin1String(status), UserIniPath());
        click(w.get(), "btnAcquire");
        QTRY_VERIFY_WITH_TIMEOUT(!scanning(), 60000);
        ASSERT_EQ(prompts_.shown().size(), 1u);
        EXPECT_EQ(prompts_.shown()[0].severity, Severity::Error);
        EXPECT_TRUE(prompts_.shown()[0].text.contains(words))
            << prompts_.shown()[0].text.toStdString();
        EXPECT_TRUE(rowsOf(eventId).empty());
    }
}

TEST_F(DocumentsScanning, TheScannerChosenIsRememberedOnThisWorkstation) {
    open();
    test::ModalScript script;
    script.then([](QWidget* dlg) {
        EXPECT_EQ(dlg->objectName(), QStringLiteral("SkanerWybor"));
        auto* list = child<QListWidget>(dlg, "lbSkanery");
        ASSERT_EQ(list->count(), 1);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("test:0"));
        click(dlg, "btnOK");
    });
    click(w.get(), "btnChooseScanner");
    // The devices are looked for off the window's thread.
    QTRY_VERIFY_WITH_TIMEOUT(script.done(), 60000);
    QTRY_COMPARE(scanner::RememberedScanner(), QStringLiteral("test:0"));
}

// Rendering, recognition, storing and the register's search, with the window closed before the
// page has been read.
TEST_F(DocumentsWindow, ARecognisedPageIsFoundByAWordTypedWithoutDiacritics) {
    constexpr int dpi = 300;
    const auto px = [](double mm) { return qRound(mm / 25.4 * dpi); };
    QImage page(px(210), px(70), QImage::Format_Grayscale8);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(dpi * 12 / 72);
        p.setFont(font);
        p.setPen(Qt::black);
        const QRect body(px(25), px(15), px(160), px(50));
        p.drawText(body, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Zażółć gęślą jaźń"));
        p.drawText(body.adjusted(0, px(12), 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   QStringLiteral("Uprzejmie informujemy, że wniosek o dzierżawę działki został "
                                  "rozpatrzony pozytywnie."));
    }
    ASSERT_TRUE(page.save(files.filePath(QStringLiteral("pismo.png"))));
    open();
    loadThroughBrowser(files.path(), QStringLiteral("pismo.png"));
    ASSERT_EQ(rowsOf(eventId).size(), 1u);
    w->reject();
    w.reset();

    QTRY_VERIFY_WITH_TIMEOUT(!TRecognitionQueue::Instance().Busy(), 120000);
    const auto rows = rowsOf(eventId);
    ASSERT_EQ(rows.size(), 1u);
    const QString text = rows[0].PIS_IDX.GetText();
    EXPECT_TRUE(text.contains(QStringLiteral("Zażółć"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("dzierżawę"))) << text.toStdString();

    for (const QString& typed : {QStringLiteral("zazolc"), QStringLiteral("DZIERZAWE")}) {
        const auto found = SzukajZdarzen(CurrentDataDir(), typed);
        ASSERT_TRUE(found.has_value());
        EXPECT_TRUE(found->contains(eventId)) << typed.toStdString();
        EXPECT_FALSE(found->contains(otherEventId));
    }
}

// The "Rysunki" buttons of the new entry, the event list's page "Treść" and the content editor
// open the documents window on their own event.
TEST_F(DocumentsWindow, TheRysunkiButtonsOpenTheWindowOnTheirEvent) {
    addRow(eventId, bmpBytes(greyPage(30, 20)));
    const auto expectWindowOn = [](int id) {
        return [id](QWidget* dlg) {
            EXPECT_EQ(dlg->objectName(), QStringLiteral("Okno_pism"));
            auto* docs = qobject_cast<TOkno_pism*>(dlg);
            ASSERT_NE(docs, nullptr);
            EXPECT_EQ(docs->EventID(), id);
            click(dlg, "BitBtn3");
        };
    };
    {
        TformEdytorTresciZdarzenia editor;
        editor.Prepare(2, eventId);
        editor.show();
        test::ModalScript script;
        script.then(expectWindowOn(eventId));
        click(&editor, "btnRysunki");
        QTRY_VERIFY(script.done());
    }
    {
        TNowaKor entry;
        ASSERT_TRUE(entry.Prepare({}, {}, 3));
        entry.show();
        test::ModalScript script;
        script.then(expectWindowOn(entry.EventID()));
        click(&entry, "btnRysunki");
        QTRY_VERIFY(script.done());
        entry.Finish(QDialog::Rejected);
    }
    {
        TformListaZdarzen list;
        list.Prepare(false);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        auto* tabs = child<QTabWidget>(&list, "PageControl1");
        tabs->setCurrentWidget(child<QWidget>(&list, "tsTresc"));
        test::ModalScript script;
        QTRY_VERIFY(child<QPushButton>(&list, "btnRysunki")->isVisible());
        // The list stands on one of the two events; the window opens on that one.
        script.then([](QWidget* dlg) {
            EXPECT_EQ(dlg->objectName(), QStringLiteral("Okno_pism"));
            click(dlg, "BitBtn3");
        });
        click(&list, "btnRysunki");
        QTRY_VERIFY(script.done());
    }
}

}  // namespace
}  // namespace pulpex
