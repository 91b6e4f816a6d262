// "Przeglądarka grafiki": choosing an image file (BMP, PNG, JPEG, TIFF) with a preview.
#pragma once

#include <QImage>
#include <QString>

#include "core/ui/window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace pulpex {

class TViewForm;

class TImageForm : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TImageForm(QWidget* parent = nullptr);
    ~TImageForm() override;

    // Lists the folder; false when it cannot be read.
    bool SetDirectory(const QString& dir);
    QString Directory() const { return dir_; }
    // The full path of the file last chosen (after OK).
    QString ChosenFile() const { return chosen_; }
    // Pages of the chosen file (a multi-page TIFF has several).
    int ChosenPages() const { return pages_; }

  private:
    void fileChosen(QListWidgetItem* item);
    void directoryActivated(QListWidgetItem* item);
    void ViewBtnClick();
    void showPreview();

    QLineEdit* edKatalog;
    QListWidget* DirectoryListBox1;
    QListWidget* FileListBox1;
    QLabel* Image1;
    QLabel* Label1;
    QPushButton* ViewBtn;
    QCheckBox* StretchCheck;
    QPushButton* BitBtn3;
    QPushButton* BitBtn1;
    TViewForm* viewForm_;

    QString dir_;
    QString chosen_;
    QImage picture_;
    int pages_ = 0;
};

}  // namespace pulpex
