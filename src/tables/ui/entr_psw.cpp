#include "tables/ui/entr_psw.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "tables/globals.h"
#include "tables/password.h"
#include "tables/users.h"

namespace pulpex {

namespace {

class StarPasswordStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

}  // namespace

void MaskWithStars(QLineEdit* edit, QObject* owner) {
    edit->setEchoMode(QLineEdit::Password);
    auto* style = new StarPasswordStyle;
    style->setParent(owner);
    edit->setStyle(style);
}

bool CheckCurrentUserPassword(const QString& typed) {
    TAM_System* sys = System();
    if (!sys) return false;
    TRec_Users& user = sys->CurrentUser();
    if (TblUsers) return TblUsers->CheckPassword(user, typed);
    return PasswordMatches(user.PRSN_PSW, user.PRSN_HSH, typed);
}

TformEnterPassword::TformEnterPassword(QWidget* parent)
    : TPulpexDialog(parent, "formEnterPassword", QStringLiteral("Weryfikacja hasła"),
                    kHelpPassword) {
    lbPrompt = new QLabel(this);
    lbPrompt->setObjectName(QStringLiteral("lbPrompt"));
    Label1 = new QLabel(QStringLiteral("Wpisz hasło : "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    edPassword = new QLineEdit(this);
    edPassword->setObjectName(QStringLiteral("edPassword"));
    MaskWithStars(edPassword, this);
    Label1->setBuddy(edPassword);
    btnOk = MakeButton(this, QStringLiteral("OK"), "btnOk", {}, /*isDefault=*/true);
    btnAnuluj = CancelButton(QStringLiteral("Anuluj"), "btnAnuluj");
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout;
    grid->addWidget(lbPrompt, 0, 0, 1, 2);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(edPassword, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(ButtonRow({}, {btnOk, btnAnuluj}));
    SetActiveControl(edPassword);
}

TformEnterPassword::~TformEnterPassword() = default;

bool TformEnterPassword::Ask(const QString& prompt, int attempts) {
    if (attempts < 1 || attempts > 3) attempts = 1;
    cancelled_ = false;
    lbPrompt->setText(prompt);
    for (int i = 0; i < attempts; ++i) {
        edPassword->clear();
        if (exec() != QDialog::Accepted) {
            edPassword->clear();
            cancelled_ = true;
            return false;
        }
        const QString typed = edPassword->text();
        // The typed text does not stay in the window longer than needed.
        edPassword->clear();
        if (CheckCurrentUserPassword(typed)) return true;
        prompts().message(Severity::Information, QStringLiteral("Podano błędne hasło."),
                          Buttons::Ok);
    }
    return false;
}

}  // namespace pulpex
