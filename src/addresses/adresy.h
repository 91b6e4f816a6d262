// The address book: ADRESY, one row per correspondent (company, institution or private person),
// its record and the list of addresses picked for a serial mailing.
#pragma once

#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "tables/engine/cursor.h"
#include "tables/tbase.h"

namespace pulpex {

class TRec_Adresy : public TOT_Record {
  public:
    int ID = 0;
    QString AD_NAZF;  // company or institution
    QString AD_NAZW;  // surname
    QString AD_IMIE;  // first name
    QString AD_ULIC, AD_DOM, AD_LOKA, AD_KOD, AD_MIAS;
    QString AD_TEL1, AD_TEL2, AD_TEL3, AD_FAX;
    // Slot 0 is the e-mail address (AD_MAIL), slots 1..5 the free fields AD_WOL1..AD_WOL5.
    std::array<QString, 6> AD_WOL;
    bool AD_PRYW = false;  // private person
    TBin AD_OPIS;          // remarks (text)
    TBin AD_OLE;           // embedded object, bytes as stored
    QString AD_NIP;

    QString& AD_MAIL() { return AD_WOL[0]; }
    const QString& AD_MAIL() const { return AD_WOL[0]; }

    void StoreFields(TOT_Table& table) override;
    void LoadFields(TOT_Table& table) override;
};

class TTbl_Adresy : public TOT_Table {
  public:
    TTbl_Adresy();

    // After creation: an empty table gets one sample correspondent, so that a new installation
    // has something to pick. A failure leaves the table empty. The open state is kept.
    void PreInit() override;

    // Company + "; " + first name + " " + surname; empty when no row has the identifier.
    QString DajNazwe(int id);
    // The row as a record, or nullptr when no row has the identifier.
    std::unique_ptr<TRec_Adresy> DajGoscia(int id);
    // AD_MAIL of the row; empty when not found.
    QString DajEMail(int id);
    // The three lookups leave the table on the row found.

    // How many events of the register (ZDARZ) name the address as their correspondent. Read
    // through a query of its own: the table object does not move.
    int IleZdarzen(int id);
};

// Address identifiers picked in the address window for a serial mailing, positions 1..Count.
class TListaWybranychAdresow {
  public:
    static constexpr int kCapacity = 1024;

    // Empties the list.
    void Clear();
    // Replaces the list with the "ID" of each selected row, in selection order, moving `data` to
    // each row in turn. Only the first kCapacity rows fit: the result is how many were left out
    // (0 when all were taken). Engine errors pass; the list then holds the rows read so far.
    int Fill(const std::vector<engine::Bookmark>& selected, engine::Cursor& data);

    int Count() const { return count_; }
    // The identifier at position k (1..Count); 0 outside.
    int Id(int k) const;

  private:
    std::array<int, kCapacity> ids_{};
    int count_ = 0;
};

}  // namespace pulpex
