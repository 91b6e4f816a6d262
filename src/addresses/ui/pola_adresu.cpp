#include "addresses/ui/pola_adresu.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "controls/dbcontrols.h"
#include "core/ui/window.h"

namespace pulpex {

namespace {

// A caption whose mnemonic moves the focus to `buddy`.
QLabel* caption(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

TPolaAdresu BudujPolaAdresu(QWidget* parent, TDataSet* ds, const QString& extraCaption) {
    TPolaAdresu p;
    p.panel = new QWidget(parent);
    QWidget* on = p.panel;
    auto edit = [&](const char* name, const char* field) {
        return Bound<TDBEdit>(on, name, ds, QLatin1String(field));
    };
    p.edNazwisko = edit("edNazwisko", "AD_NAZW");
    p.edImie = edit("edImie", "AD_IMIE");
    p.edFirma = edit("edFirma", "AD_NAZF");
    p.edUlica = edit("edUlica", "AD_ULIC");
    p.edDom = edit("edDom", "AD_DOM");
    p.edLokal = edit("edLokal", "AD_LOKA");
    p.edKod = edit("edKod", "AD_KOD");
    p.edMiejscowosc = edit("edMiejscowosc", "AD_MIAS");
    p.edTelefon1 = edit("edTelefon1", "AD_TEL1");
    p.edTelefon2 = edit("edTelefon2", "AD_TEL2");
    p.edTelefon3 = edit("edTelefon3", "AD_TEL3");
    p.edFax = edit("edFax", "AD_FAX");
    p.edEmail = edit("edEmail", "AD_MAIL");
    p.meUwagi = Bound<TDBMemo>(on, "meUwagi", ds, QStringLiteral("AD_OPIS"));
    p.meUwagi->setTabChangesFocus(true);

    // Four columns: caption, edit, caption, edit; the wide ones span three.
    auto* g = new QGridLayout(on);
    g->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    auto pair = [&](const QString& c1, TDBEdit* e1, const QString& c2, TDBEdit* e2) {
        g->addWidget(caption(on, c1, e1), row, 0);
        g->addWidget(e1, row, 1);
        g->addWidget(caption(on, c2, e2), row, 2);
        g->addWidget(e2, row, 3);
        ++row;
    };
    auto wide = [&](const QString& c, QWidget* e) {
        g->addWidget(caption(on, c, e), row, 0);
        g->addWidget(e, row, 1, 1, 3);
        ++row;
    };
    pair(QStringLiteral("&Nazwisko"), p.edNazwisko, QStringLiteral("Imię"), p.edImie);
    wide(QStringLiteral("&Firma"), p.edFirma);
    wide(QStringLiteral("&Ulica"), p.edUlica);
    pair(QStringLiteral("Dom"), p.edDom, QStringLiteral("Lokal"), p.edLokal);
    pair(QStringLiteral("&Kod"), p.edKod, QStringLiteral("&Miejscowość"), p.edMiejscowosc);
    pair(QStringLiteral("&Telefon 1"), p.edTelefon1, QStringLiteral("Telefon 2"), p.edTelefon2);
    pair(QStringLiteral("Telefon 3"), p.edTelefon3, QStringLiteral("Fa&x"), p.edFax);
    wide(QStringLiteral("&e:mail"), p.edEmail);
    auto* lbUwagi = caption(on, QStringLiteral("Uwag&i"), p.meUwagi);
    g->addWidget(lbUwagi, row, 0, Qt::AlignTop);
    g->addWidget(p.meUwagi, row, 1, 1, 3);
    g->setRowStretch(row, 1);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);

    p.gbDodatkowe = new QGroupBox(extraCaption, parent);
    p.gbDodatkowe->setObjectName(QStringLiteral("gbDodatkowe"));
    auto* extra = new QVBoxLayout(p.gbDodatkowe);
    for (int n = 1; n <= 5; ++n) {
        auto* e = new TDBEdit(p.gbDodatkowe);
        e->setObjectName(QStringLiteral("edWol") + QString::number(n));
        e->SetDataSet(ds);
        e->SetDataField(QStringLiteral("AD_WOL") + QString::number(n));
        extra->addWidget(e);
        p.edWol[static_cast<std::size_t>(n - 1)] = e;
    }
    extra->addStretch();
    return p;
}

}  // namespace pulpex
