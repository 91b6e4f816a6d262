#include "mail/ui/www_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "core/ui/help.h"

namespace pulpex {

const QString TformWWWView::kDefaultAddress = QStringLiteral("https://www.gov.pl/");

namespace {

QToolButton* toolButton(QWidget* parent, const char* name, const QString& hint,
                        QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setAutoRaise(true);
    return b;
}

}  // namespace

TformWWWView::TformWWWView(QWidget* parent)
    : TPulpexDialog(parent, "formWWWView", QStringLiteral("Przeglądarka WWW"), kHelpWWWView) {
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    Label1 = new QLabel(QStringLiteral("&Adres"), this);
    URLs = new QComboBox(this);
    URLs->setObjectName(QStringLiteral("URLs"));
    URLs->setToolTip(QStringLiteral("URL"));
    URLs->setEditable(true);
    // The list is kept by Open(): each address once, in the order first opened.
    URLs->setInsertPolicy(QComboBox::NoInsert);
    URLs->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    URLs->setEditText(kDefaultAddress);
    Label1->setBuddy(URLs);
    connect(URLs->lineEdit(), &QLineEdit::returnPressed, this, &TformWWWView::GoButtonClick);
    connect(URLs, &QComboBox::textActivated, this, [this] { GoButtonClick(); });

    GoButton = toolButton(this, "GoButton", QStringLiteral("Połącz"), QStyle::SP_ArrowRight);
    connect(GoButton, &QToolButton::clicked, this, &TformWWWView::GoButtonClick);
    CancelBtn = toolButton(this, "CancelBtn", QStringLiteral("Zatrzymaj"), QStyle::SP_BrowserStop);
    CancelBtn->setEnabled(false);
    connect(CancelBtn, &QToolButton::clicked, this, &TformWWWView::CancelBtnClick);

    HTML1 = new QWebEngineView(this);
    HTML1->setObjectName(QStringLiteral("HTML1"));
    connect(HTML1, &QWebEngineView::loadStarted, this, &TformWWWView::HTML1BeginRetrieval);
    connect(HTML1, &QWebEngineView::loadFinished, this, &TformWWWView::HTML1EndRetrieval);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);

    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(URLs, 1);
    top->addWidget(GoButton);
    top->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(top);
    layout->addWidget(HTML1, 1);
    layout->addWidget(StatusBar1);
    resize(900, 650);
    SetActiveControl(URLs);
}

TformWWWView::~TformWWWView() = default;

QStringList TformWWWView::Addresses() const {
    QStringList l;
    for (int i = 0; i < URLs->count(); ++i)
        l << URLs->itemText(i);
    return l;
}

void TformWWWView::Open() {
    const QString address = URLs->currentText().trimmed();
    if (address.isEmpty()) return;
    const QUrl url = QUrl::fromUserInput(address);
    if (!url.isValid()) return;
    if (URLs->findText(address, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        URLs->addItem(address);
    URLs->setEditText(address);
    HTML1->load(url);
    // The view knows the address only once the navigation has begun.
    StatusBar1->showMessage(HTML1->url().isEmpty() ? url.toString() : HTML1->url().toString());
}

void TformWWWView::GoButtonClick() {
    Open();
}

void TformWWWView::CancelBtnClick() {
    HTML1->stop();
    CancelBtn->setEnabled(false);
}

void TformWWWView::HTML1BeginRetrieval() {
    CancelBtn->setEnabled(true);
}

void TformWWWView::HTML1EndRetrieval() {
    CancelBtn->setEnabled(false);
}

void PokazPrzegladarke(QWidget* owner) {
    TformWWWView w(owner);
    w.exec();
}

}  // namespace pulpex
