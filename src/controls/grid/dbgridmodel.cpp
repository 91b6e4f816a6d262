#include "controls/grid/dbgridmodel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QRegularExpression>

#include "core/prompts.h"
#include "tables/fieldio.h"

namespace pulpex {

namespace {
// Rows whose field values are kept: a few screens.
constexpr int kCachedRows = 600;
}  // namespace

TDBGridModel::TDBGridModel(QObject* parent) : QAbstractTableModel(parent) {
    cache_.setMaxCost(kCachedRows);
}

TDBGridModel::~TDBGridModel() = default;

void TDBGridModel::SetDataSet(TDataSet* ds) {
    for (auto& c : dsConnections_)
        disconnect(c);
    dsConnections_.clear();
    ds_ = ds;
    if (ds) {
        dsConnections_.push_back(
            connect(ds, &TDataSet::DataSetChange, this, &TDBGridModel::Reload));
        dsConnections_.push_back(
            connect(ds, &TDataSet::AfterScroll, this, &TDBGridModel::followDataSet));
        dsConnections_.push_back(
            connect(ds, &TDataSet::DataChange, this, &TDBGridModel::dataChangedInBuffer));
    }
    Reload();
}

void TDBGridModel::AddColumn(const QString& field, const QString& title, int width) {
    chosen_.push_back({field, title, width});
    Reload();
}

void TDBGridModel::ClearColumns() {
    chosen_.clear();
    Reload();
}

std::vector<TDBGridModel::Column> TDBGridModel::Columns() const {
    return shown_;
}

void TDBGridModel::rebuildColumns() {
    shown_ = chosen_;
    if (shown_.empty() && ds_ && ds_->Active())
        for (const auto& f : ds_->Fields())
            shown_.push_back({qs(f.name), qs(f.name), 0});
    fieldNos_.clear();
    for (const auto& c : shown_)
        fieldNos_.push_back(ds_ && ds_->Active() ? ds_->FieldIndex(c.field) : -1);
}

void TDBGridModel::Reload() {
    beginResetModel();
    reader_.reset();
    rows_.clear();
    rowOf_.clear();
    cache_.clear();
    atEnd_ = true;
    rebuildColumns();
    if (ds_ && ds_->Active()) {
        try {
            reader_ = ds_->CreateReader();
            atEnd_ = reader_ == nullptr;
        } catch (const engine::EDatabaseError&) {
            // The rows cannot be read now (files gone, a lock of the whole table): show none.
            reader_.reset();
        }
    }
    endResetModel();
    if (!atEnd_) walk(batch_);
    followDataSet();
}

void TDBGridModel::walk(int n, const engine::Bookmark* until) {
    if (!reader_ || atEnd_) return;
    engine::Cursor& r = *reader_;
    std::vector<engine::Bookmark> found;
    bool onRow = false;
    try {
        if (rows_.empty()) {
            r.first();
            onRow = !(r.eof() && r.bof());
        } else {
            r.gotoBookmark(rows_.back());
            r.next();
            onRow = !r.eof();
        }
        while (onRow && (n < 0 || static_cast<int>(found.size()) < n)) {
            const engine::Bookmark b = r.bookmark();
            // A row seen twice: the order changed under the walk (another workstation's edit).
            if (rowOf_.count(b.position) != 0) {
                onRow = false;
                break;
            }
            found.push_back(b);
            rowOf_.emplace(b.position, static_cast<int>(rows_.size() + found.size() - 1));
            ++rowsWalked_;
            if (until && b == *until) {
                r.next();
                onRow = !r.eof();
                break;
            }
            r.next();
            onRow = !r.eof();
        }
    } catch (const engine::EDatabaseError&) {
        onRow = false;  // the last row found was deleted meanwhile: the walk ends here
    }
    if (!onRow) atEnd_ = true;
    if (found.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(found.size()) - 1);
    rows_.insert(rows_.end(), found.begin(), found.end());
    endInsertRows();
}

int TDBGridModel::RowOf(const engine::Bookmark& b) {
    auto it = rowOf_.find(b.position);
    if (it != rowOf_.end()) return it->second;
    if (atEnd_) return -1;
    walk(-1, &b);
    it = rowOf_.find(b.position);
    return it != rowOf_.end() ? it->second : -1;
}

engine::Bookmark TDBGridModel::BookmarkAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return rows_[static_cast<std::size_t>(row)];
}

int TDBGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

bool TDBGridModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && reader_ && !atEnd_;
}

void TDBGridModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid()) walk(batch_);
}

const std::vector<QVariant>* TDBGridModel::rowValues(int row) const {
    if (auto* hit = cache_.object(row)) return hit;
    if (!reader_) return nullptr;
    auto values = std::make_unique<std::vector<QVariant>>();
    try {
        reader_->gotoBookmark(rows_[static_cast<std::size_t>(row)]);
        for (int f : fieldNos_)
            values->push_back(f >= 0 ? cursorFieldValue(*reader_, f) : QVariant());
    } catch (const engine::EDatabaseError&) {
        return nullptr;  // deleted by another workstation since it was found
    }
    ++rowReads_;
    auto* raw = values.get();
    cache_.insert(row, values.release());
    return raw;
}

QString TDBGridModel::display(const QVariant& v, int column) const {
    if (v.isNull()) return {};
    switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case QMetaType::Double:
            return QString::number(v.toDouble(), 'g', 15)
                .replace(QLatin1Char('.'), QLatin1Char(','));
        case QMetaType::QDate:
            return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::QDateTime:
            return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case QMetaType::QByteArray:
            return QStringLiteral("(Grafika)");
        default:
            break;
    }
    QString s = v.toString();
    const int f = fieldNos_[static_cast<std::size_t>(column)];
    if (f >= 0 && ds_ && ds_->Active() &&
        ds_->Fields()[static_cast<std::size_t>(f)].type == engine::FieldType::Memo) {
        // A memo shows its first line in a cell.
        const qsizetype eol = s.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
        if (eol >= 0) s.truncate(eol);
    }
    return s;
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
        index.column() >= static_cast<int>(shown_.size()))
        return {};
    const int col = index.column();
    const int f = fieldNos_[static_cast<std::size_t>(col)];
    if (role == Qt::TextAlignmentRole) {
        if (f < 0 || !ds_ || !ds_->Active()) return {};
        const auto t = ds_->Fields()[static_cast<std::size_t>(f)].type;
        const bool numeric = t == engine::FieldType::Integer || t == engine::FieldType::Float ||
                             t == engine::FieldType::AutoInc;
        return QVariant::fromValue(Qt::Alignment(numeric ? Qt::AlignRight | Qt::AlignVCenter
                                                         : Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole) return {};
    QVariant value;
    // The row being edited shows the values typed so far.
    if (ds_ && ds_->State() == TDataSetState::Edit && f >= 0 &&
        ds_->GetBookmark() == rows_[static_cast<std::size_t>(index.row())]) {
        value = ds_->FieldValue(shown_[static_cast<std::size_t>(col)].field);
    } else {
        const auto* values = rowValues(index.row());
        if (!values) return {};
        value = (*values)[static_cast<std::size_t>(col)];
    }
    if (role == Qt::EditRole) return value;
    return display(value, col);
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(shown_.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) return shown_[static_cast<std::size_t>(section)].title;
    return {};
}

void TDBGridModel::BindView(QAbstractItemView* view) {
    view_ = view;
    if (!view) return;
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { followView(current); });
    followDataSet();
}

void TDBGridModel::followDataSet() {
    if (syncing_ || !view_ || view_->model() != this || !view_->selectionModel()) return;
    QItemSelectionModel* sel = view_->selectionModel();
    if (!ds_ || ds_->IsEmpty() || ds_->State() == TDataSetState::Insert) return;
    const int row = RowOf(ds_->GetBookmark());
    if (row < 0) return;
    const int col = std::max(0, sel->currentIndex().column());
    const QModelIndex idx = index(row, std::min(col, std::max(0, columnCount() - 1)));
    if (sel->currentIndex() == idx) return;
    syncing_ = true;
    const bool single = view_->selectionMode() == QAbstractItemView::SingleSelection;
    sel->setCurrentIndex(idx, single
                                  ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                  : QItemSelectionModel::NoUpdate);
    view_->scrollTo(idx);
    syncing_ = false;
}

void TDBGridModel::followView(const QModelIndex& current) {
    if (syncing_ || !current.isValid() || !ds_ || !ds_->Active()) return;
    const engine::Bookmark b = BookmarkAt(current.row());
    if (b.position == 0 || (ds_->State() == TDataSetState::Browse && ds_->GetBookmark() == b))
        return;
    syncing_ = true;
    try {
        ds_->GotoBookmark(b);
    } catch (const engine::EDatabaseError& e) {
        prompts().message(Severity::Error, QString::fromStdString(e.what()));
    }
    syncing_ = false;
    // A refused move (a row that could not be posted, a deleted row) puts the view back.
    followDataSet();
}

void TDBGridModel::dataChangedInBuffer(const QString& field) {
    if (field.isEmpty() || !ds_ || ds_->State() != TDataSetState::Edit) return;
    auto it = rowOf_.find(ds_->GetBookmark().position);
    if (it == rowOf_.end()) return;
    emit dataChanged(index(it->second, 0), index(it->second, columnCount() - 1));
}

}  // namespace pulpex
