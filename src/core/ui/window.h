// The frame every dialog of the program is built on, and the small builders the windows share:
// named buttons, the button row, data sets and bound controls in one line each.
//
// A window derives from TPulpexDialog, names its data sets and controls after the design, lists
// the data sets whose pending edits must be posted on leaving (KeepPosted) and names the control
// that gets the focus at every showing (SetActiveControl). done() posts the kept data sets first:
// when a post is refused, the user has been told why and the window stays open with what was
// typed; otherwise the kept data sets are closed and the dialog ends.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <vector>

class QHBoxLayout;
class QPushButton;

namespace pulpex {

namespace engine {
class CodePage;
}
class TDataSet;
class TQueryDataSet;
class TTableDataSet;

class TPulpexDialog : public QDialog {
    Q_OBJECT
  public:
    // `name` becomes the object name (the form name without its "T"), `caption` the title and
    // `helpContext` the topic F1 and the "Pomoc" button open (0: none of its own).
    TPulpexDialog(QWidget* parent, const char* name, const QString& caption, int helpContext);

    // Posts the pending edits of the kept data sets; false (after telling the user why) when one
    // was refused or a control could not write its value. Also used before work that needs the
    // current row stored.
    bool PostPending();

  protected:
    void KeepPosted(std::initializer_list<TDataSet*> dataSets);
    void SetActiveControl(QWidget* w) { activeControl_ = w; }
    // "Anuluj"/"Wróć"-like button that rejects the dialog (pending edits are posted as on every
    // leaving; a window that must drop them cancels its data sets in its reject handler).
    QPushButton* CancelButton(const QString& text, const char* name);
    // "Pomoc": opens the help topic of this window.
    QPushButton* HelpButton(const QString& text = QStringLiteral("Pomoc"),
                            const char* name = "btnPomoc");

    void showEvent(QShowEvent* event) override;
    void done(int r) override;

  private:
    std::vector<QPointer<TDataSet>> kept_;
    QPointer<QWidget> activeControl_;
};

// A push button with its object name and hint that does not become the default button when it
// gets the focus (Enter in an edit must not press it); `isDefault` makes it the dialog's default.
QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name,
                        const QString& hint = {}, bool isDefault = false);

// A row of buttons: `left` ones, a stretch, then `right` ones (OK, cancel, help).
QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> left, std::initializer_list<QWidget*> right);

// A table data set named `name`, over `table` ordered by the index tag `tag`, pointed at the
// current data directory.
TTableDataSet* TableDataSet(QObject* owner, const char* name, const QString& table,
                            const QString& tag = {});
// A query data set named `name` with the statement's lines, pointed at the current data
// directory.
TQueryDataSet* QueryDataSet(QObject* owner, const char* name, const QStringList& sql = {});

// A data-aware control of type C named `name`, bound to `field` of `ds`.
template <class C>
C* Bound(QWidget* parent, const char* name, TDataSet* ds, const QString& field) {
    auto* c = new C(parent);
    c->setObjectName(QLatin1String(name));
    c->SetDataSet(ds);
    c->SetDataField(field);
    return c;
}

// The deletion question (Yes/No, "No" safe): true when the user confirmed.
bool ConfirmDeletion(const QString& text);

// Before the text of `editor` (a QPlainTextEdit or a QLineEdit) is stored in a table of code page
// `cp`: characters the page cannot hold are named to the user (`what` begins the question, "Tekst
// notatki"), who may have them replaced (the editor then shows the replaced text) or go back to
// edit them (the focus goes to the editor, and the answer is false). True when the text can be
// stored as it now stands.
bool FitEditorText(QWidget* editor, const engine::CodePage& cp, const QString& what);

}  // namespace pulpex
