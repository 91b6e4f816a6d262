#include "core/ui/help.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QVariant>

namespace pulpex {

namespace {

constexpr char kContextProperty[] = "pulpexHelpContext";

class THelpWindow : public QDialog {
  public:
    THelpWindow() {
        setObjectName(QStringLiteral("HelpWindow"));
        setWindowTitle(QStringLiteral("Pomoc – Pulpex"));
        setAttribute(Qt::WA_DeleteOnClose);
        resize(720, 560);
        auto* layout = new QVBoxLayout(this);
        browser_ = new QTextBrowser(this);
        browser_->setObjectName(QStringLiteral("HelpText"));
        browser_->setOpenLinks(true);
        browser_->setSearchPaths({QStringLiteral(":/help")});
        layout->addWidget(browser_);
        auto* buttons = new QHBoxLayout;
        auto* back = new QPushButton(QStringLiteral("&Wstecz"), this);
        back->setObjectName(QStringLiteral("btnWstecz"));
        auto* contents = new QPushButton(QStringLiteral("&Spis treści"), this);
        contents->setObjectName(QStringLiteral("btnSpis"));
        auto* close = new QPushButton(QStringLiteral("&Zamknij"), this);
        close->setObjectName(QStringLiteral("btnZamknij"));
        buttons->addWidget(back);
        buttons->addWidget(contents);
        buttons->addStretch();
        buttons->addWidget(close);
        layout->addLayout(buttons);
        connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        back->setEnabled(false);
        connect(contents, &QPushButton::clicked, this, [this] { show(HelpPage(0)); });
        connect(close, &QPushButton::clicked, this, &QDialog::close);
    }
    void show(const QString& page) { browser_->setSource(QUrl(QStringLiteral("qrc") + page)); }
    QString source() const { return browser_->source().toString(); }

  private:
    QTextBrowser* browser_;
};

QPointer<THelpWindow> gHelp;

// F1 anywhere: the topic of the widget with the focus, else of the active window.
class THelpKeyFilter : public QObject {
  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
        if (!o->isWidgetType()) return false;
        QWidget* w = QApplication::focusWidget();
        if (!w) w = qobject_cast<QWidget*>(o);
        int context = HelpContextOf(w);
        // F1 inside the help itself leads to the contents.
        if (gHelp && w && (w == gHelp || gHelp->isAncestorOf(w)))
            context = 0;
        else if (context == 0)
            context = kHelpMainWindow;
        ShowHelp(context);
        return true;
    }
};

}  // namespace

void SetHelpContext(QWidget* w, int context) {
    if (w) w->setProperty(kContextProperty, context);
}

int HelpContextOf(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        const QVariant v = w->property(kContextProperty);
        if (v.isValid() && v.toInt() > 0) return v.toInt();
    }
    return 0;
}

QString HelpPage(int context) {
    const QString page = QStringLiteral(":/help/%1.html").arg(context);
    if (context > 0 && QFile::exists(page)) return page;
    return QStringLiteral(":/help/index.html");
}

void InstallHelpKey() {
    static THelpKeyFilter* filter = nullptr;
    if (filter || !qApp) return;
    filter = new THelpKeyFilter;
    filter->setParent(qApp);
    qApp->installEventFilter(filter);
}

void ShowHelp(int context) {
    if (!gHelp) gHelp = new THelpWindow;  // deletes itself on close
    // Opened from a modal dialog, the help must not be blocked by it.
    const Qt::WindowModality modality =
        QApplication::activeModalWidget() && QApplication::activeModalWidget() != gHelp
            ? Qt::ApplicationModal
            : Qt::NonModal;
    if (gHelp->windowModality() != modality) {
        gHelp->hide();
        gHelp->setWindowModality(modality);
    }
    gHelp->show(HelpPage(context));
    gHelp->QDialog::show();
    gHelp->raise();
    gHelp->activateWindow();
}

QWidget* HelpWindow() {
    return gHelp.data();
}

}  // namespace pulpex
