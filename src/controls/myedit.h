// An edit field that checks its text against a type and a range, and the check of every such
// field of a form that an OK handler runs before it accepts the form.
#pragma once

#include <QLineEdit>
#include <QString>

namespace pulpex {

class TMyEdit : public QLineEdit {
    Q_OBJECT

  public:
    enum ItemType { meit_Integer = 0, meit_Float = 1, meit_Date = 2, meit_Text = 3 };

    explicit TMyEdit(QWidget* parent = nullptr);

    QString MinVal() const { return minVal_; }
    void SetMinVal(const QString& v) { minVal_ = v; }
    QString MaxVal() const { return maxVal_; }
    void SetMaxVal(const QString& v) { maxVal_ = v; }
    QString Komentarz() const { return komentarz_; }
    void SetKomentarz(const QString& v) { komentarz_ = v; }
    bool ShowComment() const { return showComment_; }
    void SetShowComment(bool v) { showComment_ = v; }
    ItemType GetItemType() const { return itemType_; }
    // Also puts the type's initial text into the field: "0", 0 as a float, today's date or
    // nothing.
    void SetItemType(ItemType t);

    // Checks the text; on failure remembers the reason, shows Komentarz and the reason when
    // ShowComment, and answers false.
    bool Check();
    // The reason of the last failed check (empty after a passed one).
    QString Reason() const { return reason_; }

    // Order in which the fields were created, for the form check.
    quint64 CreationSerial() const { return serial_; }

  private:
    QString failure() const;

    QString minVal_ = QStringLiteral("0");
    QString maxVal_ = QStringLiteral("100");
    QString komentarz_ = QStringLiteral("Błędna wartość");
    bool showComment_ = true;
    ItemType itemType_ = meit_Integer;
    QString reason_;
    quint64 serial_;
};

// Checks every TMyEdit of `form` in the order they were created. At the first failure that
// field gets the focus, the tab pages that hold it being turned to it first, and the answer is
// false.
bool ValidateForm(QWidget* form);

}  // namespace pulpex
