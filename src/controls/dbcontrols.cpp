#include "controls/dbcontrols.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPixmap>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/prompts.h"

namespace pulpex {

namespace {

using engine::EDatabaseError;
using engine::FieldType;

void report(const EDatabaseError& e) {
    prompts().message(Severity::Error, QString::fromUtf8(e.what()));
}

struct Quiet {
    explicit Quiet(int& n) : n_(n) { ++n_; }
    ~Quiet() { --n_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;
    int& n_;
};

// How a stored text reads as a logical value (the texts the data sets accept for true).
bool textIsTrue(const QString& s) {
    const QString u = s.trimmed().toUpper();
    return u == u"T" || u == u"TRUE" || u == u"Y" || u == u"TAK" || u == u"1";
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TFieldLink::TFieldLink(QObject* owner) : QObject(owner) {}

void TFieldLink::SetDataSet(TDataSet* ds) {
    if (dataSet_ == ds) return;
    dataSet_ = ds;
    connectDataSet();
    Show();
}

void TFieldLink::SetFieldName(const QString& name) {
    fieldName_ = name;
    Show();
}

void TFieldLink::connectDataSet() {
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    if (!dataSet_) return;
    TDataSet* ds = dataSet_;
    connections_.push_back(connect(ds, &TDataSet::AfterScroll, this, [this] {
        if (!quiet_) Show();
    }));
    connections_.push_back(connect(ds, &TDataSet::DataChange, this, &TFieldLink::dataChanged));
    connections_.push_back(connect(ds, &TDataSet::StateChange, this, [this] {
        // A value still being typed survives another control starting the edit.
        if (quiet_ || (pending_ && Editing())) return;
        Show();
    }));
    connections_.push_back(connect(ds, &TDataSet::AfterClose, this, [this] { Show(); }));
    connections_.push_back(connect(ds, &TDataSet::UpdateRecord, this, [this] { Flush(); }));
    connections_.push_back(connect(ds, &TDataSet::BeforePost, this, [this] {
        if (!failed_) return;
        failed_ = false;
        if (dataSet_) dataSet_->Abort();
    }));
}

void TFieldLink::dataChanged(const QString& field) {
    if (quiet_) return;
    if (field.isEmpty() || field.compare(fieldName_, Qt::CaseInsensitive) == 0) Show();
}

const engine::FieldInfo* TFieldLink::Field() const {
    if (!dataSet_ || !dataSet_->Active() || fieldName_.isEmpty()) return nullptr;
    const int i = dataSet_->FieldIndex(fieldName_);
    if (i < 0) return nullptr;
    return &dataSet_->Fields()[static_cast<std::size_t>(i)];
}

bool TFieldLink::Editing() const {
    return dataSet_ &&
           (dataSet_->State() == TDataSetState::Edit || dataSet_->State() == TDataSetState::Insert);
}

QVariant TFieldLink::Value() const {
    if (!Active() || (!Editing() && dataSet_->IsEmpty())) return {};
    try {
        return dataSet_->FieldValue(fieldName_);
    } catch (const EDatabaseError&) {
        return {};
    }
}

QString TFieldLink::Text() const {
    if (!Active()) return {};
    try {
        return dataSet_->FieldText(fieldName_);
    } catch (const EDatabaseError&) {
        return {};
    }
}

void TFieldLink::Show() {
    pending_ = false;
    failed_ = false;
    if (onShow_) onShow_();
}

bool TFieldLink::BeginChange() {
    if (!Active()) {
        Show();
        return false;
    }
    if (Editing()) return true;
    if (!dataSet_->CanModify()) {
        prompts().beep();
        Show();
        return false;
    }
    try {
        Quiet q(quiet_);
        dataSet_->Edit();
    } catch (const EDatabaseError& e) {
        report(e);
        Show();
        return false;
    }
    if (!Editing()) {  // a BeforeEdit handler stopped it
        Show();
        return false;
    }
    return true;
}

bool TFieldLink::Write(const QVariant& v, bool reportFailure) {
    if (!Active() || !Editing()) return false;
    try {
        Quiet q(quiet_);
        dataSet_->SetFieldValue(fieldName_, v);
    } catch (const EDatabaseError& e) {
        // Half-typed numbers and dates are written once they are complete, or at the post.
        pending_ = true;
        if (reportFailure) {
            failed_ = true;
            report(e);
        }
        return false;
    }
    pending_ = false;
    failed_ = false;
    return true;
}

bool TFieldLink::Flush() {
    if (!pending_ || !pendingValue_ || !Editing()) return true;
    return Write(pendingValue_(), true);
}

// ---------------------------------------------------------------------------------------------

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent), link_(this) {
    link_.SetOnShow([this] { show(); });
    link_.SetPendingValue([this] { return QVariant(text()); });
    connect(this, &QLineEdit::textEdited, this, &TDBEdit::edited);
    show();
}

void TDBEdit::SetMaxLength(int n) {
    maxLength_ = n;
    show();
}

void TDBEdit::show() {
    const engine::FieldInfo* f = link_.Field();
    int len = 32767;  // QLineEdit's own default
    if (maxLength_ > 0)
        len = maxLength_;
    else if (f && f->type == FieldType::String && f->size > 0)
        len = f->size;
    setMaxLength(len);
    setText(link_.Text());
}

void TDBEdit::edited(const QString& typed) {
    QString value = typed;
    if (charCase_ == TEditCharCase::ecUpperCase) value = typed.toUpper();
    if (charCase_ == TEditCharCase::ecLowerCase) value = typed.toLower();
    if (value != typed) {
        const int pos = cursorPosition();
        setText(value);
        setCursorPosition(pos);
    }
    if (!link_.BeginChange()) return;
    link_.Write(text(), false);
}

void TDBEdit::focusOutEvent(QFocusEvent* e) {
    link_.Flush();
    QLineEdit::focusOutEvent(e);
}

// ---------------------------------------------------------------------------------------------

TDBMemo::TDBMemo(QWidget* parent) : QPlainTextEdit(parent), link_(this) {
    link_.SetOnShow([this] { show(); });
    link_.SetPendingValue([this] { return QVariant(toPlainText()); });
    connect(this, &QPlainTextEdit::textChanged, this, &TDBMemo::edited);
}

void TDBMemo::show() {
    loading_ = true;
    QString text = link_.Text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(text);
    loading_ = false;
}

void TDBMemo::edited() {
    if (loading_) return;
    if (link_.Editing()) {
        link_.Write(toPlainText(), false);
        return;
    }
    // The document must not be replaced from inside its own change signal: a refusal shows
    // the stored text once the change is over.
    bool ok = false;
    {
        // BeginChange shows the stored text when it refuses; hold that back until later.
        loading_ = true;
        const auto showBack = [this] { QTimer::singleShot(0, this, [this] { show(); }); };
        link_.SetOnShow(showBack);
        ok = link_.BeginChange();
        link_.SetOnShow([this] { show(); });
        loading_ = false;
    }
    if (ok) link_.Write(toPlainText(), false);
}

// ---------------------------------------------------------------------------------------------

TDBCheckBox::TDBCheckBox(QWidget* parent) : QCheckBox(parent), link_(this) {
    link_.SetOnShow([this] { show(); });
    connect(this, &QCheckBox::clicked, this, &TDBCheckBox::clickedByUser);
}

void TDBCheckBox::SetValueChecked(const QString& v) {
    valueChecked_ = v;
    show();
}

void TDBCheckBox::SetValueUnchecked(const QString& v) {
    valueUnchecked_ = v;
    show();
}

void TDBCheckBox::show() {
    const engine::FieldInfo* f = link_.Field();
    if (!f) {
        setChecked(false);
        return;
    }
    if (f->type == FieldType::Boolean) {
        setChecked(link_.Value().toBool());
        return;
    }
    setChecked(link_.Text().trimmed().compare(valueChecked_, Qt::CaseInsensitive) == 0);
}

void TDBCheckBox::clickedByUser(bool on) {
    if (!link_.BeginChange()) return;
    const engine::FieldInfo* f = link_.Field();
    const QVariant v = f && f->type == FieldType::Boolean
                           ? QVariant(on)
                           : QVariant(on ? valueChecked_ : valueUnchecked_);
    if (!link_.Write(v, true)) show();
}

// ---------------------------------------------------------------------------------------------

TDBRadioGroup::TDBRadioGroup(QWidget* parent)
    : QGroupBox(parent), link_(this), group_(new QButtonGroup(this)) {
    new QVBoxLayout(this);
    link_.SetOnShow([this] { show(); });
    connect(group_, &QButtonGroup::idClicked, this, &TDBRadioGroup::chosen);
}

void TDBRadioGroup::SetItems(const QStringList& items) {
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    items_ = items;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        layout()->addWidget(b);
        group_->addButton(b, i);
    }
    show();
}

void TDBRadioGroup::SetValues(const QStringList& values) {
    values_ = values;
    show();
}

QString TDBRadioGroup::valueOf(int i) const {
    if (i < 0) return {};
    if (i < values_.size()) return values_[i];
    return i < items_.size() ? items_[i] : QString();
}

int TDBRadioGroup::ItemIndex() const {
    return group_->checkedId();
}

QString TDBRadioGroup::Value() const {
    return valueOf(ItemIndex());
}

void TDBRadioGroup::show() {
    int chosenIndex = -1;
    if (const engine::FieldInfo* f = link_.Field()) {
        if (f->type == FieldType::Boolean) {
            const QVariant v = link_.Value();
            for (int i = 0; !v.isNull() && i < items_.size(); ++i)
                if (textIsTrue(valueOf(i)) == v.toBool()) {
                    chosenIndex = i;
                    break;
                }
        } else {
            const QString text = link_.Text().trimmed();
            for (int i = 0; i < items_.size(); ++i)
                if (valueOf(i).trimmed() == text) {
                    chosenIndex = i;
                    break;
                }
        }
    }
    // An exclusive group cannot uncheck its last button.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(group_->id(b) == chosenIndex);
    group_->setExclusive(true);
}

void TDBRadioGroup::chosen(int i) {
    if (!link_.BeginChange()) return;
    if (!link_.Write(valueOf(i), true)) {
        show();
        return;
    }
    emit Change();
}

// ---------------------------------------------------------------------------------------------

TDBText::TDBText(QWidget* parent) : QLabel(parent), link_(this) {
    link_.SetOnShow([this] { setText(link_.Text()); });
}

// ---------------------------------------------------------------------------------------------

TDBImage::TDBImage(QWidget* parent) : QLabel(parent), link_(this) {
    setScaledContents(true);
    link_.SetOnShow([this] { show(); });
}

void TDBImage::show() {
    const QByteArray bytes = link_.Value().toByteArray();
    picture_ = bytes.isEmpty() ? QImage() : QImage::fromData(bytes);
    if (picture_.isNull())
        clear();
    else
        setPixmap(QPixmap::fromImage(picture_));
}

bool TDBImage::LoadPicture(const QImage& image) {
    if (!link_.BeginChange()) return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP")) return false;
    if (!link_.Write(bytes, true)) return false;
    show();
    return true;
}

// ---------------------------------------------------------------------------------------------

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    struct Def {
        const char* name;
        const char* glyph;
        QString hint;
    };
    const Def defs[4] = {{"nbFirst", "|◀", QStringLiteral("Pierwszy")},
                         {"nbPrior", "◀", QStringLiteral("Poprzedni")},
                         {"nbNext", "▶", QStringLiteral("Następny")},
                         {"nbLast", "▶|", QStringLiteral("Ostatni")}};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(defs[i].name));
        b->setText(QString::fromUtf8(defs[i].glyph));
        b->setToolTip(defs[i].hint);
        layout->addWidget(b);
        buttons_[i] = b;
        connect(b, &QToolButton::clicked, this, [this, i] { BtnClick(static_cast<Button>(i)); });
    }
    updateButtons();
}

void TDBNavigator::SetDataSet(TDataSet* ds) {
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    dataSet_ = ds;
    if (ds) {
        for (auto sig : {&TDataSet::AfterScroll, &TDataSet::StateChange, &TDataSet::DataSetChange,
                         &TDataSet::AfterClose})
            connections_.push_back(connect(ds, sig, this, &TDBNavigator::updateButtons));
    }
    updateButtons();
}

void TDBNavigator::BtnClick(Button b) {
    if (!dataSet_ || !dataSet_->Active()) return;
    try {
        switch (b) {
            case nbFirst:
                dataSet_->First();
                break;
            case nbPrior:
                dataSet_->Prior();
                break;
            case nbNext:
                dataSet_->Next();
                break;
            case nbLast:
                dataSet_->Last();
                break;
        }
    } catch (const EDatabaseError& e) {
        report(e);
    }
    updateButtons();
}

void TDBNavigator::updateButtons() {
    bool up = false, down = false;
    if (dataSet_ && dataSet_->Active() && !dataSet_->IsEmpty()) {
        up = !dataSet_->Bof();
        down = !dataSet_->Eof();
        // On the first or the last row the way on is closed already, as after First and Last;
        // one step of an independent reader tells whether there is a row beyond.
        if (up || down) {
            try {
                if (auto reader = dataSet_->CreateReader()) {
                    const engine::Bookmark here = dataSet_->GetBookmark();
                    if (up) {
                        reader->gotoBookmark(here);
                        reader->prior();
                        up = !reader->bof();
                    }
                    if (down) {
                        reader->gotoBookmark(here);
                        reader->next();
                        down = !reader->eof();
                    }
                }
            } catch (const EDatabaseError&) {
                // The row went away meanwhile: leave the buttons as the flags say.
            }
        }
    }
    buttons_[nbFirst]->setEnabled(up);
    buttons_[nbPrior]->setEnabled(up);
    buttons_[nbNext]->setEnabled(down);
    buttons_[nbLast]->setEnabled(down);
}

}  // namespace pulpex
