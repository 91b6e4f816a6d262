// The embedded-document editor with the desktop's application intercepted, an old Windows OLE
// stream kept byte for byte, and the image browser.
#include "documents/ui/oleedit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include "documents/embedded.h"
#include "documents/pisma.h"
#include "documents/ui/image.h"
#include "documents/ui/w_pism.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;
using test::click;

class OleEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
        // The desktop's application: it "edits" the copy it is given.
        SetDesktopOpener([this](const QString& path) {
            opened << path;
            QFile f(path);
            if (!f.open(QIODevice::Append)) return false;
            f.write(edit);
            return true;
        });
        TRec_Zdarzenia z;
        TblZdarzenia->OT_AddNew(eventId, z);
    }
    void TearDown() override { SetDesktopOpener({}); }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(files.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    TRec_Pisma onlyDocument() {
        TRec_Pisma r;
        engine::Table& t = TblPisma->T();
        int n = 0;
        for (t.first(); !t.eof(); t.next()) {
            r.LoadFields(*TblPisma);
            ++n;
        }
        EXPECT_EQ(n, 1);
        return r;
    }

    test::TestInstallation inst;
    ScriptedPrompts& prompts_ = inst.env.prompts;
    QTemporaryDir files;
    QStringList opened;
    QByteArray edit = QByteArrayLiteral(" Aneks nr 2 podpisano w Łodzi.");
    int eventId = 0;
};

TEST_F(OleEditor, AFileIsEmbeddedEditedWithTheDesktopApplicationAndReadBackChanged) {
    const QString path = writeFile(QStringLiteral("umowa.txt"), "Umowa dzierżawy.");
    TOkno_pism w;
    w.Prepare(eventId);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    // Insert from a file.
    {
        test::ModalScript script;
        script.then([&](QWidget* ed) {
            EXPECT_EQ(ed->objectName(), QStringLiteral("formOleEditor"));
            prompts_.setNextFileName(path);
            click(ed, "btnCreateFromFile");
            click(ed, "btnOK");
        });
        click(&w, "btnInsertOleObj");
        QTRY_VERIFY(script.done());
    }
    auto doc = UnpackEmbedded(onlyDocument().PIS_OLE.Bytes());
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->fileName, QStringLiteral("umowa.txt"));
    EXPECT_EQ(doc->mimeType, QStringLiteral("text/plain"));
    EXPECT_EQ(doc->data, QByteArray("Umowa dzierżawy."));
    EXPECT_FALSE(child<QWidget>(&w, "btnPrint")->isEnabled());

    // Edit: OK is refused while the copy is out, then the changed copy is read back.
    {
        test::ModalScript script;
        script.then([&](QWidget* ed) {
            click(ed, "btnEdit");
            click(ed, "btnOK");
            click(ed, "btnEndEdit");
            click(ed, "btnOK");
        });
        click(&w, "btnEditObj");
        QTRY_VERIFY(script.done());
    }
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral("/umowa.txt")));
    EXPECT_FALSE(QFile::exists(opened[0]));  // the copy is gone
    ASSERT_EQ(prompts_.shown().size(), 1u);
    EXPECT_EQ(prompts_.shown()[0].text,
              QStringLiteral("Proszę najpierw zakończyć edycję dokumentu"));
    const TRec_Pisma stored = onlyDocument();
    doc = UnpackEmbedded(stored.PIS_OLE.Bytes());
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->data, QByteArray("Umowa dzierżawy.") + edit);
    EXPECT_TRUE(stored.CzyPasuje(QStringLiteral("aneks nr 2")));

    // Deleting the object asks first.
    prompts_.setNextAnswer(Answer::Yes);
    click(&w, "btnDeleteObj");
    EXPECT_EQ(prompts_.shown().back().text, QStringLiteral("Usunąć bieżący obiekt z bazy?"));
    TblPisma->T().first();
    EXPECT_TRUE(TblPisma->T().eof());
}

TEST_F(OleEditor, AnOldWindowsStreamIsKeptByteForByteSearchableAndSavedButNotOpened) {
    // Letters with control bytes between them, as an OLE stream holds them.
    QByteArray old("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    old += QByteArray(40, '\0');
    old += QByteArray("P\0r\0o\0t\0o\0k\0o\0l\0 \0o\0d\0b\0i\0o\0r\0u", 31);
    old += QByteArray("\x01\x02\x0D", 3);
    TformOleEditor ed;
    ed.LoadFromStream(old);
    EXPECT_EQ(ed.ContainerState(), TformOleEditor::State::Loaded);
    EXPECT_FALSE(child<QWidget>(&ed, "btnEdit")->isEnabled());
    EXPECT_TRUE(child<QLabel>(&ed, "oc")->text().contains(QStringLiteral("Windows")));
    const QString saved = files.filePath(QStringLiteral("obiekt.ole"));
    prompts_.setNextFileName(saved);
    ed.show();
    click(&ed, "btnSaveToFile");
    QFile f(saved);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), old);
    click(&ed, "btnOK");
    EXPECT_EQ(ed.result(), QDialog::Accepted);
    EXPECT_EQ(ed.SaveToStream(), old);

    TRec_Pisma r;
    r.PIS_OLE.SetBytes(ed.SaveToStream());
    // Control bytes between the letters are dropped before the search; case does not count.
    EXPECT_TRUE(r.CzyPasuje(QStringLiteral("protokol odbioru")));
}

TEST_F(OleEditor, AnEmptyContainerIsRefusedAndANewDocumentReplacesTheOldOnlyWhenConfirmed) {
    TformOleEditor ed;
    ed.show();
    ed.LoadFromStream(QByteArray(32, 'x'));  // 32 bytes count as empty
    EXPECT_EQ(ed.ContainerState(), TformOleEditor::State::Empty);
    click(&ed, "btnOK");
    ASSERT_EQ(prompts_.shown().size(), 1u);
    EXPECT_EQ(prompts_.shown()[0].text, QStringLiteral("Dokument jest pusty"));
    EXPECT_TRUE(ed.isVisible());

    auto* newText = ed.findChild<QAction*>(QStringLiteral("actNewText"));
    auto* newSheet = ed.findChild<QAction*>(QStringLiteral("actNewSheet"));
    ASSERT_TRUE(newText && newSheet);
    newText->trigger();  // a new document opens at once for editing
    EXPECT_EQ(ed.ContainerState(), TformOleEditor::State::Open);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral(".txt")));
    click(&ed, "btnEndEdit");
    const QByteArray text = ed.SaveToStream();

    prompts_.setNextAnswer(Answer::No);
    newSheet->trigger();
    EXPECT_EQ(prompts_.shown().back().text, QStringLiteral("Usunąć aktualny obiekt OLE?"));
    EXPECT_EQ(ed.SaveToStream(), text);
    prompts_.setNextAnswer(Answer::Yes);
    newSheet->trigger();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened[1].endsWith(QStringLiteral(".csv")));
    click(&ed, "btnEndEdit");
    EXPECT_EQ(UnpackEmbedded(ed.SaveToStream())->mimeType, QStringLiteral("text/csv"));
}

TEST_F(OleEditor, TheImageBrowserListsPicturesOfAnyCaseAndShowsHeightBeforeWidth) {
    QImage img(640, 480, QImage::Format_RGB32);
    img.fill(Qt::white);
    ASSERT_TRUE(img.save(files.filePath(QStringLiteral("STRONA.BMP")), "BMP"));
    ASSERT_TRUE(img.save(files.filePath(QStringLiteral("foto.jpg")), "JPEG"));
    writeFile(QStringLiteral("opis.txt"), "nie obraz");
    ASSERT_TRUE(QDir(files.path()).mkdir(QStringLiteral("archiwum")));

    TImageForm browser;
    ASSERT_TRUE(browser.SetDirectory(files.path()));
    browser.show();
    auto* list = child<QListWidget>(&browser, "FileListBox1");
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    EXPECT_EQ(names, (QStringList{QStringLiteral("foto.jpg"), QStringLiteral("STRONA.BMP")}));
    EXPECT_FALSE(child<QWidget>(&browser, "BitBtn3")->isEnabled());
    list->setCurrentRow(1);
    EXPECT_EQ(child<QLabel>(&browser, "Label1")->text(), QStringLiteral("STRONA.BMP (480 x 640)"));
    click(&browser, "BitBtn3");
    EXPECT_EQ(browser.ChosenFile(), files.filePath(QStringLiteral("STRONA.BMP")));
    EXPECT_EQ(browser.result(), QDialog::Accepted);

    // The folder list goes down and back up.
    auto* dirs = child<QListWidget>(&browser, "DirectoryListBox1");
    const auto sub = dirs->findItems(QStringLiteral("archiwum"), Qt::MatchExactly);
    ASSERT_EQ(sub.size(), 1);
    emit dirs->itemActivated(sub.first());
    EXPECT_EQ(browser.Directory(), files.filePath(QStringLiteral("archiwum")));
    EXPECT_EQ(list->count(), 0);
}

}  // namespace
}  // namespace pulpex
