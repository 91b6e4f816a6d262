#include "core/ui/window.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextCursor>

#include "controls/data/dataset.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/textfit.h"
#include "core/ui/help.h"

namespace pulpex {

TPulpexDialog::TPulpexDialog(QWidget* parent, const char* name, const QString& caption,
                             int helpContext)
    : QDialog(parent) {
    setObjectName(QLatin1String(name));
    setWindowTitle(caption);
    if (helpContext != 0) SetHelpContext(this, helpContext);
}

void TPulpexDialog::KeepPosted(std::initializer_list<TDataSet*> dataSets) {
    for (TDataSet* ds : dataSets)
        kept_.emplace_back(ds);
}

bool TPulpexDialog::PostPending() {
    bool posted = Guarded([&] {
        for (const auto& ds : kept_)
            if (ds && ds->Editing()) ds->Post();
    });
    if (!posted) return false;
    // A value a control could not write stops the post after telling the user so; the data set
    // then stays in edit mode.
    for (const auto& ds : kept_)
        if (ds && ds->Editing()) return false;
    return true;
}

QPushButton* TPulpexDialog::CancelButton(const QString& text, const char* name) {
    auto* b = MakeButton(this, text, name);
    connect(b, &QPushButton::clicked, this, &QDialog::reject);
    return b;
}

QPushButton* TPulpexDialog::HelpButton(const QString& text, const char* name) {
    auto* b = MakeButton(this, text, name);
    connect(b, &QPushButton::clicked, this, [this] { ShowHelp(HelpContextOf(this)); });
    return b;
}

void TPulpexDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activeControl_ && activeControl_->isEnabled() && activeControl_->isVisible())
        activeControl_->setFocus(Qt::OtherFocusReason);
}

void TPulpexDialog::done(int r) {
    // What the user typed is kept: a refused post keeps the window open with the text.
    if (!PostPending()) return;
    for (const auto& ds : kept_)
        if (ds) ds->Close();
    QDialog::done(r);
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name, const QString& hint,
                        bool isDefault) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) b->setToolTip(hint);
    b->setAutoDefault(false);
    b->setDefault(isDefault);
    return b;
}

QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> left,
                       std::initializer_list<QWidget*> right) {
    auto* row = new QHBoxLayout;
    for (QWidget* w : left)
        row->addWidget(w);
    row->addStretch(1);
    for (QWidget* w : right)
        row->addWidget(w);
    return row;
}

TTableDataSet* TableDataSet(QObject* owner, const char* name, const QString& table,
                            const QString& tag) {
    auto* ds = new TTableDataSet(owner);
    ds->setObjectName(QLatin1String(name));
    ds->SetTableName(table);
    if (!tag.isEmpty()) ds->SetIndexName(tag);
    const QString dir = CurrentDataDir();
    if (!dir.isEmpty()) ds->SetDatabaseName(dir);
    return ds;
}

TQueryDataSet* QueryDataSet(QObject* owner, const char* name, const QStringList& sql) {
    auto* ds = new TQueryDataSet(owner);
    ds->setObjectName(QLatin1String(name));
    if (!sql.isEmpty()) ds->SetSQL(sql);
    const QString dir = CurrentDataDir();
    if (!dir.isEmpty()) ds->SetDatabaseName(dir);
    return ds;
}

bool ConfirmDeletion(const QString& text) {
    return prompts().message(Severity::Confirmation, text, Buttons::YesNo) == Answer::Yes;
}

bool FitEditorText(QWidget* editor, const engine::CodePage& cp, const QString& what) {
    auto* memo = qobject_cast<QPlainTextEdit*>(editor);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!memo && !line) return true;
    QString text = memo ? memo->toPlainText() : line->text();
    switch (AskToFitText(text, cp, what)) {
        case TTextFit::Fits:
            return true;
        case TTextFit::Replaced:
            // As typed: data-aware editors take the new text into their field.
            if (memo) {
                QTextCursor all(memo->document());
                all.select(QTextCursor::Document);
                all.insertText(text);
            } else {
                line->selectAll();
                line->insert(text);
            }
            return true;
        case TTextFit::Refused:
            break;
    }
    editor->setFocus(Qt::OtherFocusReason);
    return false;
}

}  // namespace pulpex
