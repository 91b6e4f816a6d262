#include "register/zestawienie.h"

#include <algorithm>
#include <memory>
#include <string>

#include "core/utils.h"
#include "tables/engine/query.h"
#include "tables/engine/table.h"
#include "tables/fieldio.h"

namespace pulpex {

namespace {

// Width of the empty columns: the signature, the posting number and the price.
constexpr int kOdebrano = 8;
constexpr int kNumerPolecenia = 18;
constexpr int kCena = 8;

// The correspondent of each row, looked up by ZD_ADR in the identifier tag of ADRESY (its own
// read-only cursor: the catalogue's table object does not move).
class TKorespondenci {
  public:
    explicit TKorespondenci(const QString& dataDir) {
        engine::Table::OpenOptions o;
        o.readOnly = true;
        table_ = engine::Table::open(engine::Table::resolve(u8(dataDir), "ADRESY.DBF"), o);
        table_->setIndex("ADR_ID");
    }
    // The name and address lines of `id`; both empty when the event has no correspondent or its
    // address is gone.
    void Znajdz(std::int64_t id, QString& nazwa, QString& adres) {
        nazwa.clear();
        adres.clear();
        if (id == 0 || !table_->findKey(engine::Value{id})) return;
        nazwa = LiniaNazwy(*table_);
        adres = LiniaAdresu(*table_);
    }

  private:
    std::unique_ptr<engine::Table> table_;
};

QString text(engine::Cursor& c, const char* field) {
    return qs(c.asString(field));
}

QString title(const QString& lead, const QDate& date) {
    return lead + DateToStr(date);
}

}  // namespace

QString KomorkaZestawienia(const QString& text, int width) {
    if (text.size() >= width) return text;
    return text + QString(width - text.size(), QLatin1Char(' '));
}

QString LiniaTabeli(const std::vector<TKomorka>& cells) {
    QString line = QStringLiteral("|");
    for (const TKomorka& c : cells)
        line += KomorkaZestawienia(c.text, c.width) + QLatin1Char('|');
    return line;
}

QString LiniaNazwy(engine::Cursor& adresy) {
    if (adresy.asBoolean("AD_PRYW").value_or(false))
        return text(adresy, "AD_NAZW") + QLatin1Char(' ') + text(adresy, "AD_IMIE");
    return text(adresy, "AD_NAZF");
}

QString LiniaAdresu(engine::Cursor& adresy) {
    return QStringList{text(adresy, "AD_MIAS"), text(adresy, "AD_KOD"), text(adresy, "AD_ULIC"),
                       text(adresy, "AD_DOM"), text(adresy, "AD_LOKA")}
        .join(QLatin1Char(' '));
}

QStringList Kor_p_w(const QString& dataDir, const QDate& date) {
    struct Wiersz {
        QString numer, nazwa, adres, symbol, odbiorca;
    };
    engine::Query q(u8(dataDir));
    q.setSql(
        u8(QStringLiteral(" select ZD_NMR, ZD_SMB, ZD_ODB, ZD_ADR   from ZDARZ where ZD_DAT = ") +
           SqlDate(date) + QStringLiteral(" ") + QStringLiteral(" and ") +
           QStringLiteral("ZD_TYP") + QStringLiteral(" = ") + QStringLiteral("1")));
    q.open();
    TKorespondenci adresy(dataDir);
    std::vector<Wiersz> rows;
    for (q.first(); !q.eof(); q.next()) {
        Wiersz w;
        w.numer = text(q, "ZD_NMR");
        w.symbol = text(q, "ZD_SMB");
        w.odbiorca = text(q, "ZD_ODB");
        adresy.Znajdz(q.asInteger("ZD_ADR"), w.nazwa, w.adres);
        rows.push_back(std::move(w));
    }
    q.close();
    QStringList lines;
    if (rows.empty()) return lines;

    // Each column as wide as its longest text, at least as wide as its header.
    int numer = 5, nadawca = 7, symbol = 6, odbiorca = 8;
    for (const Wiersz& w : rows) {
        numer = std::max(numer, static_cast<int>(w.numer.size()));
        nadawca =
            std::max({nadawca, static_cast<int>(w.nazwa.size()), static_cast<int>(w.adres.size())});
        symbol = std::max(symbol, static_cast<int>(w.symbol.size()));
        odbiorca = std::max(odbiorca, static_cast<int>(w.odbiorca.size()));
    }
    lines << title(QStringLiteral("Korespondencja z dnia :"), date);
    const QString separator(numer + nadawca + symbol + odbiorca + kOdebrano + 6, QLatin1Char('-'));
    lines << separator;
    lines << LiniaTabeli({{QStringLiteral("Numer"), numer},
                          {QStringLiteral("Nadawca"), nadawca},
                          {QStringLiteral("Symbol"), symbol},
                          {QStringLiteral("Odbiorca"), odbiorca},
                          {QStringLiteral("Odebrano"), kOdebrano}});
    lines << separator;
    for (const Wiersz& w : rows) {
        lines << LiniaTabeli({{w.numer, numer},
                              {w.nazwa, nadawca},
                              {w.symbol, symbol},
                              {w.odbiorca, odbiorca},
                              {{}, kOdebrano}});
        lines << LiniaTabeli(
            {{{}, numer}, {w.adres, nadawca}, {{}, symbol}, {{}, odbiorca}, {{}, kOdebrano}});
        lines << separator;
    }
    return lines;
}

namespace {

QStringList sekcjaWychodzacych(const QString& dataDir, const QDate& date, bool polecone) {
    struct Wiersz {
        QString nazwa, adres;
    };
    engine::Query q(u8(dataDir));
    q.setSql(u8(QStringLiteral(" select ZD_ADR   from ZDARZ where ZD_DAT = ") + SqlDate(date) +
                QStringLiteral(" ") + QStringLiteral(" and ") + QStringLiteral("ZD_POL") +
                QStringLiteral(" = ") +
                (polecone ? QStringLiteral(" \"TRUE\" ") : QStringLiteral(" \"FALSE\" ")) +
                QStringLiteral(" and ") + QStringLiteral("ZD_TYP") + QStringLiteral(" = ") +
                QStringLiteral("2")));
    q.open();
    TKorespondenci adresy(dataDir);
    std::vector<Wiersz> rows;
    for (q.first(); !q.eof(); q.next()) {
        Wiersz w;
        adresy.Znajdz(q.asInteger("ZD_ADR"), w.nazwa, w.adres);
        rows.push_back(std::move(w));
    }
    q.close();
    QStringList lines;
    if (rows.empty()) return lines;

    int odbiorca = 8;
    for (const Wiersz& w : rows)
        odbiorca = std::max(
            {odbiorca, static_cast<int>(w.nazwa.size()), static_cast<int>(w.adres.size())});
    lines << title(polecone ? QStringLiteral("Korespondencja polecona z dnia :")
                            : QStringLiteral("Korespondencja z dnia :"),
                   date);
    const QString separator(odbiorca + kNumerPolecenia + kCena + 4, QLatin1Char('-'));
    lines << separator;
    lines << LiniaTabeli({{QStringLiteral("Odbiorca"), odbiorca},
                          {QStringLiteral("Numer polecenia"), kNumerPolecenia},
                          {QStringLiteral("Cena"), kCena}});
    lines << separator;
    for (const Wiersz& w : rows) {
        lines << LiniaTabeli({{w.nazwa, odbiorca}, {{}, kNumerPolecenia}, {{}, kCena}});
        lines << LiniaTabeli({{w.adres, odbiorca}, {{}, kNumerPolecenia}, {{}, kCena}});
        lines << separator;
    }
    return lines;
}

}  // namespace

QStringList Kor_w_w(const QString& dataDir, const QDate& date) {
    QStringList lines = sekcjaWychodzacych(dataDir, date, false);
    lines << QString() << QString();
    lines << sekcjaWychodzacych(dataDir, date, true);
    return lines;
}

}  // namespace pulpex
