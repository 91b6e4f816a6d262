#include "documents/ui/oleedit.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"

namespace pulpex {

namespace {

TDesktopOpener& opener() {
    static TDesktopOpener f;
    return f;
}

bool openWithDesktop(const QString& path) {
    if (opener()) return opener()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString sizeText(qsizetype n) {
    return QLocale(QLocale::Polish).toString(static_cast<qlonglong>(n)) + QStringLiteral(" B");
}

}  // namespace

void SetDesktopOpener(TDesktopOpener f) {
    opener() = std::move(f);
}

TOleView::TOleView(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("oc"));
    setToolTip(QStringLiteral("O L E "));
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setFrameShape(QFrame::StyledPanel);
    setCursor(Qt::PointingHandCursor);
}

void TOleView::ShowObject(const QByteArray& stored) {
    if (stored.size() <= kEmptyObjectSize) {
        setText(QStringLiteral("Brak obiektu"));
        return;
    }
    if (const auto doc = UnpackEmbedded(stored)) {
        setText(QStringLiteral("%1\n%2, %3")
                    .arg(doc->fileName, doc->mimeType, sizeText(doc->data.size())));
        return;
    }
    setText(QStringLiteral("Obiekt OLE zapisany przez program dla Windows (%1).\nMożna go "
                           "przeszukiwać i zapisać do pliku, ale nie otworzyć.")
                .arg(sizeText(stored.size())));
}

void TOleView::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    emit pressed();
}

TformOleEditor::TformOleEditor(QWidget* parent)
    : TPulpexDialog(parent, "formOleEditor", QStringLiteral("Edytor obiektów OLE"),
                    kHelpOleEditor) {
    oc = new TOleView(this);
    connect(oc, &TOleView::pressed, this, [this] {
        if (btnEdit->isEnabled()) btnEditClick();
    });
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK");
    connect(btnOK, &QPushButton::clicked, this, &TformOleEditor::btnOKClick);
    btnCancel = CancelButton(QStringLiteral("Anuluj"), "btnCancel");
    btnCreateNew = MakeButton(this, QStringLiteral("&Nowy obiekt"), "btnCreateNew");
    auto* menu = new QMenu(btnCreateNew);
    actNewText = menu->addAction(QStringLiteral("Dokument tekstowy"));
    actNewText->setObjectName(QStringLiteral("actNewText"));
    actNewSheet = menu->addAction(QStringLiteral("Arkusz kalkulacyjny"));
    actNewSheet->setObjectName(QStringLiteral("actNewSheet"));
    btnCreateNew->setMenu(menu);
    connect(actNewText, &QAction::triggered, this,
            [this] { createNew(QStringLiteral("dokument.txt"), QByteArray()); });
    // Semicolons: what spreadsheets in Polish settings read as columns.
    connect(actNewSheet, &QAction::triggered, this,
            [this] { createNew(QStringLiteral("arkusz.csv"), QByteArrayLiteral(";\r\n")); });
    btnCreateFromFile = MakeButton(this, QStringLiteral("&Z pliku"), "btnCreateFromFile");
    connect(btnCreateFromFile, &QPushButton::clicked, this,
            &TformOleEditor::btnCreateFromFileClick);
    btnEdit = MakeButton(this, QStringLiteral("&Edytuj"), "btnEdit",
                         QStringLiteral("Otwarcie dokumentu w programie domyślnym"));
    connect(btnEdit, &QPushButton::clicked, this, &TformOleEditor::btnEditClick);
    btnEndEdit = MakeButton(this, QStringLiteral("Za&kończ edycję"), "btnEndEdit",
                            QStringLiteral("Wczytanie dokumentu zmienionego w programie"));
    connect(btnEndEdit, &QPushButton::clicked, this, &TformOleEditor::btnEndEditClick);
    btnSaveToFile = MakeButton(this, QStringLiteral("Zapisz do &pliku"), "btnSaveToFile");
    connect(btnSaveToFile, &QPushButton::clicked, this, &TformOleEditor::btnSaveToFileClick);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(
        ButtonRow({btnCreateNew, btnCreateFromFile, btnEdit, btnEndEdit, btnSaveToFile}, {}));
    layout->addWidget(oc, 1);
    layout->addLayout(ButtonRow({}, {btnOK, btnCancel, HelpButton()}));
    resize(640, 400);
    setWindowState(Qt::WindowMaximized);
    showState();
}

TformOleEditor::~TformOleEditor() {
    discardCopy();
}

void TformOleEditor::LoadFromStream(const QByteArray& stored) {
    discardCopy();
    stored_ = stored.size() > kEmptyObjectSize ? stored : QByteArray();
    showState();
}

TformOleEditor::State TformOleEditor::ContainerState() const {
    if (copyDir_) return State::Open;
    return stored_.isEmpty() ? State::Empty : State::Loaded;
}

void TformOleEditor::showState() {
    const State s = ContainerState();
    const bool ours = UnpackEmbedded(stored_).has_value();
    oc->ShowObject(stored_);
    btnEdit->setEnabled(s == State::Loaded && ours);
    btnEndEdit->setEnabled(s == State::Open);
    btnSaveToFile->setEnabled(s == State::Loaded);
    btnCreateNew->setEnabled(s != State::Open);
    btnCreateFromFile->setEnabled(s != State::Open);
}

void TformOleEditor::btnOKClick() {
    switch (ContainerState()) {
        case State::Open:
            prompts().message(Severity::Warning,
                              QStringLiteral("Proszę najpierw zakończyć edycję dokumentu"));
            return;
        case State::Empty:
            prompts().message(Severity::Warning, QStringLiteral("Dokument jest pusty"));
            return;
        case State::Loaded:
            accept();
            return;
    }
}

void TformOleEditor::reject() {
    discardCopy();
    TPulpexDialog::reject();
}

void TformOleEditor::btnCreateFromFileClick() {
    const QString path = prompts().openFileName(QStringLiteral("Wstawienie obiektu z pliku"),
                                                QStringLiteral("Wszystkie pliki (*.*)|*.*"), {});
    if (path.isEmpty()) return;
    QString error;
    const auto doc = EmbeddedFromFile(path, &error);
    if (!doc) {
        prompts().message(Severity::Error, error);
        return;
    }
    stored_ = PackEmbedded(*doc);
    showState();
}

void TformOleEditor::createNew(const QString& fileName, const QByteArray& content) {
    if (ContainerState() != State::Empty &&
        prompts().message(Severity::Confirmation, QStringLiteral("Usunąć aktualny obiekt OLE?"),
                          Buttons::YesNo) != Answer::Yes)
        return;
    TEmbeddedDocument doc;
    doc.fileName = fileName;
    doc.mimeType = fileName.endsWith(QStringLiteral(".csv")) ? QStringLiteral("text/csv")
                                                             : QStringLiteral("text/plain");
    doc.data = content;
    // Packed, a new empty document is larger than an empty object.
    stored_ = PackEmbedded(doc);
    showState();
    btnEditClick();
}

void TformOleEditor::btnEditClick() {
    const auto doc = UnpackEmbedded(stored_);
    if (!doc || copyDir_) return;
    const QString base = System() != nullptr ? System()->UserTempDir() : QDir::tempPath() + '/';
    auto dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("obiekt-XXXXXX"));
    const QString name = QFileInfo(doc->fileName).fileName().isEmpty()
                             ? QStringLiteral("dokument")
                             : QFileInfo(doc->fileName).fileName();
    const QString path = dir->isValid() ? dir->filePath(name) : QString();
    QSaveFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(doc->data) != doc->data.size() ||
        !f.commit()) {
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można przygotować kopii dokumentu do edycji."));
        return;
    }
    if (!openWithDesktop(path)) {
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można otworzyć dokumentu \"%1\": brak programu do "
                                         "tego rodzaju plików.")
                              .arg(name));
        return;
    }
    copyDir_ = std::move(dir);
    copyPath_ = path;
    showState();
}

void TformOleEditor::btnEndEditClick() {
    if (!copyDir_) return;
    QFile f(copyPath_);
    auto doc = UnpackEmbedded(stored_);
    if (!doc || !f.open(QIODevice::ReadOnly)) {
        // The copy is kept: the user may save it again from the application.
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można odczytać zmienionego dokumentu \"%1\". "
                                         "Zapisz go w programie pod tą samą nazwą.")
                              .arg(copyPath_));
        return;
    }
    doc->data = f.readAll();
    stored_ = PackEmbedded(*doc);
    discardCopy();
    showState();
}

void TformOleEditor::btnSaveToFileClick() {
    const auto doc = UnpackEmbedded(stored_);
    const QString path = prompts().saveFileName(QStringLiteral("Zapis obiektu do pliku"),
                                                QStringLiteral("Wszystkie pliki (*.*)|*.*"),
                                                doc ? doc->fileName : QStringLiteral("obiekt.ole"));
    if (path.isEmpty()) return;
    QSaveFile f(path);
    const QByteArray& bytes = doc ? doc->data : stored_;
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        prompts().message(Severity::Error,
                          QStringLiteral("Nie można zapisać pliku \"%1\".").arg(path));
}

void TformOleEditor::discardCopy() {
    copyDir_.reset();
    copyPath_.clear();
}

}  // namespace pulpex
