#include "controls/grid/cvdbgrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QToolTip>
#include <algorithm>

#include "core/prompts.h"
#include "tables/fieldio.h"

namespace pulpex {

TCV_DBGrid::TCV_DBGrid(QWidget* parent) : QTableView(parent), model_(new TDBGridModel(this)) {
    setModel(model_);
    model_->BindView(this);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    connect(model_, &QAbstractItemModel::modelReset, this, &TCV_DBGrid::applyWidths);
}

TCV_DBGrid::~TCV_DBGrid() = default;

void TCV_DBGrid::SetDataSet(TDataSet* ds) {
    searchText_.clear();
    setHint({});
    model_->SetDataSet(ds);
}

void TCV_DBGrid::AddColumn(const QString& field, const QString& title, int width) {
    model_->AddColumn(field, title, width);
}

void TCV_DBGrid::applyWidths() {
    const auto cols = model_->Columns();
    for (int i = 0; i < static_cast<int>(cols.size()); ++i)
        if (cols[static_cast<std::size_t>(i)].width > 0)
            horizontalHeader()->resizeSection(i, cols[static_cast<std::size_t>(i)].width);
}

void TCV_DBGrid::SetMultiSelect(bool on) {
    setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                        : QAbstractItemView::SingleSelection);
}

bool TCV_DBGrid::MultiSelect() const {
    return selectionMode() != QAbstractItemView::SingleSelection;
}

std::vector<engine::Bookmark> TCV_DBGrid::SelectedBookmarks() const {
    std::vector<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        rows.push_back(i.row());
    if (rows.empty() && currentIndex().isValid()) rows.push_back(currentIndex().row());
    std::sort(rows.begin(), rows.end());
    std::vector<engine::Bookmark> out;
    for (int r : rows)
        out.push_back(model_->BookmarkAt(r));
    return out;
}

void TCV_DBGrid::SetSearchName(const QString& field) {
    searchName_ = field;
    searchText_.clear();
    setHint({});
    TDataSet* ds = DataSet();
    if (ds && ds->Active()) ds->First();
}

void TCV_DBGrid::SetSearchIndex(const QString& tag) {
    searchIndex_ = tag;
    searchText_.clear();
    setHint({});
}

bool TCV_DBGrid::IsSearchChar(QChar c) {
    const char16_t u = c.unicode();
    if (u == u' ' || u == u'.' || u == u'_') return true;
    if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z'))
        return true;
    static const QString polish = QStringLiteral("ĄĆĘŁŃÓŚŹŻąćęłńóśźż");
    return polish.contains(c);
}

void TCV_DBGrid::setHint(const QString& text) {
    setToolTip(text);
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else if (isVisible()) {
        QToolTip::showText(mapToGlobal(QPoint(0, height())), text, this);
    }
}

void TCV_DBGrid::keyPressEvent(QKeyEvent* event) {
    TDataSet* ds = DataSet();
    const bool searching =
        state() != QAbstractItemView::EditingState && !searchName_.isEmpty() && ds && ds->Active();
    if (!searching) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Backspace) {
        searchText_.clear();
        try {
            ds->First();
        } catch (const engine::EDatabaseError& e) {
            prompts().message(Severity::Error, QString::fromStdString(e.what()));
        }
        setHint({});
        event->accept();
        return;
    }
    const QString typed = event->text();
    const bool ctrl = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    if (typed.size() == 1 && !ctrl && IsSearchChar(typed[0])) {
        searchText_ += caseSens_ ? typed : typed.toUpper();
        try {
            search();
        } catch (const engine::EDatabaseError& e) {
            prompts().message(Severity::Error, QString::fromStdString(e.what()));
        }
        setHint(QStringLiteral("Wyszukiwanie : ") + searchText_);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TCV_DBGrid::search() {
    TDataSet* ds = DataSet();
    // The display stays frozen while the rows are tried; one move is shown at the end.
    ds->DisableControls();
    struct Thaw {
        TDataSet* ds;
        ~Thaw() { ds->EnableControls(); }
    } thaw{ds};
    const engine::Bookmark keep = ds->GetBookmark();
    auto* table = qobject_cast<TTableDataSet*>(ds);
    if (table && !searchIndex_.isEmpty()) {
        // A keyed search always lands somewhere: the nearest key counts as found.
        table->FindNearestOnIndex(searchIndex_, searchText_);
        return;
    }
    auto reader = ds->CreateReader();
    if (!reader) return;
    const int f = reader->fieldNo(u8(searchName_));
    const qsizetype len = searchText_.size();
    for (reader->first(); !reader->eof(); reader->next()) {
        QString value = qs(reader->asText(f)).left(len);
        if (!caseSens_) value = value.toUpper();
        if (value == searchText_) {
            ds->GotoBookmark(reader->bookmark());
            return;
        }
    }
    // Nothing matches: the row stays where it was.
    if (keep.position != 0 && ds->GetBookmark() != keep) ds->GotoBookmark(keep);
}

}  // namespace pulpex
