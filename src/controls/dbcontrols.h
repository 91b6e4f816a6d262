// Data-aware controls: widgets bound to one field of a data set. Each shows the current row's
// value and follows the data set's moves and state; a change the user makes puts the data set
// into edit mode and goes into the field buffer. Posting is the data set's business.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <functional>

#include "controls/data/dataset.h"

class QButtonGroup;
class QToolButton;

namespace pulpex {

// Binds a control to a data set and a field name.
class TFieldLink : public QObject {
    Q_OBJECT

  public:
    explicit TFieldLink(QObject* owner);

    void SetDataSet(TDataSet* ds);
    TDataSet* DataSet() const { return dataSet_; }
    void SetFieldName(const QString& name);
    QString FieldName() const { return fieldName_; }

    // The bound field of the open data set; null when closed or when there is no such field.
    const engine::FieldInfo* Field() const;
    bool Active() const { return Field() != nullptr; }
    bool Editing() const;
    QVariant Value() const;
    QString Text() const;

    // To be called when the user has changed the control, before its value is written: puts the
    // data set into edit mode. A refusal (a row locked elsewhere, a read-only data set) is
    // reported, the control shows the stored value again and the answer is false.
    bool BeginChange();
    // Writes the control's value into the field buffer. A value the field cannot take is kept
    // for the next try when `report` is false; otherwise it is reported and the next post stops.
    bool Write(const QVariant& v, bool report);
    // The control's value when it still has to be written (see SetPending); asked at post.
    void SetPendingValue(std::function<QVariant()> f) { pendingValue_ = std::move(f); }
    void SetPending(bool on) { pending_ = on; }
    bool Pending() const { return pending_; }
    // Writes a pending value now (leaving the control); false when it was refused.
    bool Flush();

    // Called whenever the control has to show the field again.
    void SetOnShow(std::function<void()> f) { onShow_ = std::move(f); }
    void Show();

  private:
    void connectDataSet();
    void dataChanged(const QString& field);

    QPointer<TDataSet> dataSet_;
    QString fieldName_;
    std::function<void()> onShow_;
    std::function<QVariant()> pendingValue_;
    bool pending_ = false;
    bool failed_ = false;  // a pending value was refused: the post stops
    int quiet_ = 0;        // our own writes do not reload the control
    std::vector<QMetaObject::Connection> connections_;
};

enum class TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TDBEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit TDBEdit(QWidget* parent = nullptr);
    TFieldLink& Link() { return link_; }
    void SetDataSet(TDataSet* ds) { link_.SetDataSet(ds); }
    void SetDataField(const QString& f) { link_.SetFieldName(f); }
    // 0: the size of a text field.
    void SetMaxLength(int n);
    int MaxLength() const { return maxLength_; }
    void SetCharCase(TEditCharCase c) { charCase_ = c; }
    TEditCharCase CharCase() const { return charCase_; }

  protected:
    void focusOutEvent(QFocusEvent* e) override;

  private:
    void show();
    void edited(const QString& text);
    TFieldLink link_;
    int maxLength_ = 0;
    TEditCharCase charCase_ = TEditCharCase::ecNormal;
};

class TDBMemo : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit TDBMemo(QWidget* parent = nullptr);
    TFieldLink& Link() { return link_; }
    void SetDataSet(TDataSet* ds) { link_.SetDataSet(ds); }
    void SetDataField(const QString& f) { link_.SetFieldName(f); }

  private:
    void show();
    void edited();
    TFieldLink link_;
    bool loading_ = false;
};

class TDBCheckBox : public QCheckBox {
    Q_OBJECT

  public:
    explicit TDBCheckBox(QWidget* parent = nullptr);
    TFieldLink& Link() { return link_; }
    void SetDataSet(TDataSet* ds) { link_.SetDataSet(ds); }
    void SetDataField(const QString& f) { link_.SetFieldName(f); }
    // Texts stored in a field that is not logical (a logical field takes true / false).
    QString ValueChecked() const { return valueChecked_; }
    void SetValueChecked(const QString& v);
    QString ValueUnchecked() const { return valueUnchecked_; }
    void SetValueUnchecked(const QString& v);

  private:
    void show();
    void clickedByUser(bool on);
    TFieldLink link_;
    QString valueChecked_ = QStringLiteral("True");
    QString valueUnchecked_ = QStringLiteral("False");
};

class TDBRadioGroup : public QGroupBox {
    Q_OBJECT

  public:
    explicit TDBRadioGroup(QWidget* parent = nullptr);
    TFieldLink& Link() { return link_; }
    void SetDataSet(TDataSet* ds) { link_.SetDataSet(ds); }
    void SetDataField(const QString& f) { link_.SetFieldName(f); }
    // Captions of the buttons, one button each.
    void SetItems(const QStringList& items);
    QStringList Items() const { return items_; }
    // Stored texts of the buttons; without them the captions are stored.
    void SetValues(const QStringList& values);
    QStringList Values() const { return values_; }
    // The chosen button; -1 when the field holds none of the values.
    int ItemIndex() const;
    QString Value() const;

  signals:
    void Change();

  private:
    QString valueOf(int i) const;
    void show();
    void chosen(int i);
    TFieldLink link_;
    QStringList items_, values_;
    QButtonGroup* group_;
};

class TDBText : public QLabel {
    Q_OBJECT

  public:
    explicit TDBText(QWidget* parent = nullptr);
    TFieldLink& Link() { return link_; }
    void SetDataSet(TDataSet* ds) { link_.SetDataSet(ds); }
    void SetDataField(const QString& f) { link_.SetFieldName(f); }

  private:
    TFieldLink link_;
};

// A picture field shown stretched over the control.
class TDBImage : public QLabel {
    Q_OBJECT

  public:
    explicit TDBImage(QWidget* parent = nullptr);
    TFieldLink& Link() { return link_; }
    void SetDataSet(TDataSet* ds) { link_.SetDataSet(ds); }
    void SetDataField(const QString& f) { link_.SetFieldName(f); }
    // The picture shown (null when the field is blank or holds no picture).
    QImage Picture() const { return picture_; }
    // Puts a picture into the field, stored as BMP bytes; false when the data set refused.
    bool LoadPicture(const QImage& image);

  private:
    void show();
    TFieldLink link_;
    QImage picture_;
};

// Buttons that move a data set to its first, previous, next and last row.
class TDBNavigator : public QWidget {
    Q_OBJECT

  public:
    enum Button { nbFirst, nbPrior, nbNext, nbLast };

    explicit TDBNavigator(QWidget* parent = nullptr);
    void SetDataSet(TDataSet* ds);
    TDataSet* DataSet() const { return dataSet_; }
    QToolButton* ButtonOf(Button b) const { return buttons_[b]; }
    void BtnClick(Button b);

  private:
    void updateButtons();

    QPointer<TDataSet> dataSet_;
    QToolButton* buttons_[4];
    std::vector<QMetaObject::Connection> connections_;
};

}  // namespace pulpex
