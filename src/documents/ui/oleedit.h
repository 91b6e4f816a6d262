// The embedded-document editor "Edytor obiektów OLE": an office document, a PDF or a picture is
// embedded from a file or made new, opened with the desktop's application for editing and read
// back when the user says the editing is over. An old Windows OLE stream is shown and can be
// saved to a file, but not opened.
#pragma once

#include <QByteArray>
#include <QLabel>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "core/ui/window.h"
#include "documents/embedded.h"

class QAction;
class QPushButton;
class QTemporaryDir;

namespace pulpex {

// Shows what an embedded object is; a mouse press asks for it to be edited.
class TOleView : public QLabel {
    Q_OBJECT
  public:
    explicit TOleView(QWidget* parent = nullptr);
    // Shows the stored object (empty: no object).
    void ShowObject(const QByteArray& stored);

  signals:
    void pressed();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// Opens a file with the desktop's application; true when it was started.
using TDesktopOpener = std::function<bool(const QString& path)>;
// Replaces the opener (tests); an empty function restores QDesktopServices.
void SetDesktopOpener(TDesktopOpener opener);

class TformOleEditor : public TPulpexDialog {
    Q_OBJECT
  public:
    enum class State { Empty, Loaded, Open };

    explicit TformOleEditor(QWidget* parent = nullptr);
    ~TformOleEditor() override;

    // The stored object to edit; 32 bytes or less count as empty.
    void LoadFromStream(const QByteArray& stored);
    // The object as it is to be stored.
    QByteArray SaveToStream() const { return stored_; }
    State ContainerState() const;

  protected:
    void reject() override;

  private:
    void btnOKClick();
    void btnCreateFromFileClick();
    void createNew(const QString& fileName, const QByteArray& content);
    void btnEditClick();
    void btnEndEditClick();
    void btnSaveToFileClick();
    void discardCopy();
    void showState();

    TOleView* oc;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnCreateNew;
    QPushButton* btnCreateFromFile;
    QPushButton* btnEdit;
    QPushButton* btnEndEdit;
    QPushButton* btnSaveToFile;
    QAction* actNewText;
    QAction* actNewSheet;

    QByteArray stored_;
    std::unique_ptr<QTemporaryDir> copyDir_;  // while a copy is out for editing
    QString copyPath_;
};

}  // namespace pulpex
