#include "documents/ui/image.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/ui/help.h"
#include "core/utils.h"
#include "documents/pictures.h"
#include "documents/ui/viewwin.h"

namespace pulpex {

namespace {

constexpr int kPreviewSize = 260;
const QString kSection = QStringLiteral("Rysunki");
const QString kKeyDir = QStringLiteral("Katalog");

}  // namespace

TImageForm::TImageForm(QWidget* parent)
    : TPulpexDialog(parent, "ImageForm", QStringLiteral("Przeglądarka grafiki"), kHelpImageForm) {
    edKatalog = new QLineEdit(this);
    edKatalog->setObjectName(QStringLiteral("edKatalog"));
    connect(edKatalog, &QLineEdit::returnPressed, this,
            [this] { SetDirectory(edKatalog->text()); });
    DirectoryListBox1 = new QListWidget(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    connect(DirectoryListBox1, &QListWidget::itemActivated, this, &TImageForm::directoryActivated);
    FileListBox1 = new QListWidget(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    connect(FileListBox1, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* item) { fileChosen(item); });
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(kPreviewSize, kPreviewSize);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setFrameShape(QFrame::StyledPanel);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ViewBtn = MakeButton(this, QStringLiteral("&Pełny widok"), "ViewBtn");
    ViewBtn->setEnabled(false);
    connect(ViewBtn, &QPushButton::clicked, this, &TImageForm::ViewBtnClick);
    StretchCheck = new QCheckBox(QStringLiteral("&Dopasuj"), this);
    StretchCheck->setObjectName(QStringLiteral("StretchCheck"));
    connect(StretchCheck, &QCheckBox::toggled, this, &TImageForm::showPreview);
    BitBtn3 = MakeButton(this, QStringLiteral("&OK"), "BitBtn3", {}, true);
    BitBtn3->setEnabled(false);
    connect(BitBtn3, &QPushButton::clicked, this, [this] {
        IniWriteString(kSection, kKeyDir, dir_, UserIniPath());
        accept();
    });
    BitBtn1 = CancelButton(QStringLiteral("Anuluj"), "BitBtn1");
    viewForm_ = new TViewForm(this);
    viewForm_->setWindowFlag(Qt::Window);

    auto* lists = new QVBoxLayout;
    lists->addWidget(edKatalog);
    auto* both = new QHBoxLayout;
    both->addWidget(DirectoryListBox1);
    both->addWidget(FileListBox1);
    lists->addLayout(both, 1);
    auto* preview = new QVBoxLayout;
    preview->addWidget(Image1);
    preview->addWidget(Label1);
    preview->addWidget(StretchCheck);
    preview->addWidget(ViewBtn);
    preview->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addLayout(lists, 1);
    top->addLayout(preview);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(ButtonRow({}, {BitBtn3, BitBtn1, HelpButton()}));
    resize(720, 420);

    const QString last = IniReadString(kSection, kKeyDir, {}, UserIniPath());
    if (last.isEmpty() || !SetDirectory(last)) SetDirectory(QDir::homePath());
}

TImageForm::~TImageForm() = default;

bool TImageForm::SetDirectory(const QString& dir) {
    QDir d(dir);
    if (!d.exists() || !d.isReadable()) return false;
    dir_ = d.absolutePath();
    edKatalog->setText(QDir::toNativeSeparators(dir_));
    DirectoryListBox1->clear();
    if (!d.isRoot()) DirectoryListBox1->addItem(QStringLiteral(".."));
    DirectoryListBox1->addItems(
        d.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
    FileListBox1->clear();
    // Extensions match whatever their case.
    QStringList files;
    for (const QFileInfo& fi : QDir(dir_).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        if (IsPictureFileName(fi.fileName())) files << fi.fileName();
    FileListBox1->addItems(files);
    return true;
}

void TImageForm::directoryActivated(QListWidgetItem* item) {
    if (item == nullptr) return;
    SetDirectory(QDir(dir_).absoluteFilePath(item->text()));
}

void TImageForm::fileChosen(QListWidgetItem* item) {
    if (item == nullptr || !IsPictureFileName(item->text())) return;
    const QString path = QDir(dir_).absoluteFilePath(item->text());
    QImageReader reader(path);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        Label1->setText(QStringLiteral("%1 – nie można odczytać obrazu").arg(item->text()));
        return;
    }
    picture_ = picture;
    pages_ = std::max(1, QImageReader(path).imageCount());
    chosen_ = path;
    Label1->setText(item->text() +
                    QString::asprintf(" (%d x %d)", picture.height(), picture.width()) +
                    (pages_ > 1 ? QStringLiteral(", stron: %1").arg(pages_) : QString()));
    viewForm_->SetPicture(picture_, Label1->text());
    showPreview();
    ViewBtn->setEnabled(true);
    BitBtn3->setEnabled(true);
}

void TImageForm::showPreview() {
    if (picture_.isNull()) return;
    const QImage shown =
        StretchCheck->isChecked()
            ? picture_.scaled(Image1->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            : picture_.copy(QRect(QPoint(0, 0), Image1->size().boundedTo(picture_.size())));
    Image1->setPixmap(QPixmap::fromImage(shown));
}

void TImageForm::ViewBtnClick() {
    viewForm_->SetPicture(picture_, Label1->text());
    viewForm_->showMaximized();
}

}  // namespace pulpex
