// Small correspondence tables in a temporary directory, made with the engine, for the data set
// and grid tests: ADRESY (ADR_ID, ADR_NAZW), ZDARZ (ZDARZ_ID, ZD_ADR) and NOTATKI (NT_ZD).
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "tables/engine/table.h"

namespace pulpex::test {

struct CorrespondenceTables {
    QTemporaryDir dir;

    QString path() const { return dir.path(); }
    std::string table(const char* name) const { return dir.path().toStdString() + "/" + name; }

    void createAdresy() {
        engine::Table::create(
            table("ADRESY.DBF"),
            {{"ID", engine::FieldType::Integer, 0}, {"AD_NAZW", engine::FieldType::String, 40}},
            {{"ADR_ID", "ID"}, {"ADR_NAZW", "upper(AD_NAZW)"}});
    }
    void addAdres(engine::Table& t, int id, const std::string& name) {
        t.insert();
        t.setInteger("ID", id);
        t.setString("AD_NAZW", name);
        t.post();
    }
    void createZdarz() {
        engine::Table::create(table("ZDARZ.DBF"),
                              {{"ID", engine::FieldType::Integer, 0},
                               {"ZD_NMR", engine::FieldType::String, 20},
                               {"ZD_ADR", engine::FieldType::Integer, 0}},
                              {{"ZDARZ_ID", "ID"}, {"ZD_ADR", "ZD_ADR"}});
    }
    void addZdarz(engine::Table& t, int id, const std::string& nmr, int adr) {
        t.insert();
        t.setInteger("ID", id);
        t.setString("ZD_NMR", nmr);
        if (adr != 0) t.setInteger("ZD_ADR", adr);
        t.post();
    }
    void createNotatki() {
        engine::Table::create(table("NOTATKI.DBF"),
                              {{"ID", engine::FieldType::Integer, 0},
                               {"NT_ZD", engine::FieldType::Integer, 0},
                               {"NT_TXT", engine::FieldType::String, 30}},
                              {{"NT_ZD", "NT_ZD"}});
    }

    // Addresses 1..4, events 1..4 (event 3 names address 99, which does not exist), notes of
    // events 1 (two) and 2 (one).
    void fillSmall() {
        createAdresy();
        createZdarz();
        createNotatki();
        auto a = engine::Table::open(table("ADRESY.DBF"));
        addAdres(*a, 1, "Kowalski Jan");
        addAdres(*a, 2, "Nowak Anna");
        addAdres(*a, 3, "Świątek Iga");
        addAdres(*a, 4, "Kozłowski Piotr");
        auto z = engine::Table::open(table("ZDARZ.DBF"));
        addZdarz(*z, 1, "1/2024", 2);
        addZdarz(*z, 2, "2/2024", 1);
        addZdarz(*z, 3, "3/2024", 99);
        addZdarz(*z, 4, "4/2024", 3);
        auto n = engine::Table::open(table("NOTATKI.DBF"));
        int id = 0;
        for (auto [zd, txt] : std::vector<std::pair<int, const char*>>{
                 {1, "pierwsza"}, {1, "druga"}, {2, "trzecia"}}) {
            n->insert();
            n->setInteger("ID", ++id);
            n->setInteger("NT_ZD", zd);
            n->setString("NT_TXT", txt);
            n->post();
        }
    }
};

}  // namespace pulpex::test
