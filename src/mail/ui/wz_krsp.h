// "Wzory korespondencji": the editor of one correspondence template, its name and its text with
// placeholders put in from four menus, and the nine user-defined values of the template row on
// which the shared template table stands.
#pragma once

#include <array>

#include "core/ui/window.h"

class QAction;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;

namespace pulpex {

class TRec_Korespondencja;

class TformWzoryKorespondencji : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformWzoryKorespondencji(QWidget* parent = nullptr);
    ~TformWzoryKorespondencji() override;

    // The record to edit (not owned; may be null). On "&KONIEC" it gets the name, the text and
    // the user values of the current template row.
    void Prepare(TRec_Korespondencja* record);

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    void FormShow();
    // The captions of both user-field menus: "Pole &n : " and the value of KOR_US0n.
    void RefreshUserCaptions();
    void InsertToken(const QString& token);
    void DefineUserField(int n);
    void btnTestClick();
    void btnKoniecClick();
    bool Modified() const;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* mnuPolaAdresowe = nullptr;
    QMenu* mnuPolaStale = nullptr;
    QMenu* mnuPolaUzytkownika = nullptr;
    QMenu* mnuDefiniowanie = nullptr;
    std::array<QAction*, 9> userItems_{};
    std::array<QAction*, 9> defineItems_{};
    QLineEdit* edNazwa = nullptr;
    QPlainTextEdit* mTresc = nullptr;
    QPushButton* btnTest = nullptr;
    QPushButton* btnKoniec = nullptr;

    TRec_Korespondencja* record_ = nullptr;
    QString shownName_, shownText_;  // as put in at showing, to tell a change on leaving
};

// Shows the editor (maximized) for `record`; true after "&KONIEC".
bool EdytujWzorzec(QWidget* owner, TRec_Korespondencja* record);

}  // namespace pulpex
