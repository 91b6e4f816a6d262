// The catalogue's table objects, reachable from everywhere as the program's own code expects.
// Set by the catalogue build and cleared by the shutdown; nullptr while there is no catalogue.
// The system object owns the objects; these are only references.
#pragma once

namespace pulpex {

class TTbl_USERS;
class TTbl_ID;
class TTbl_Diags;
class TTbl_Zdarzenia;
class TTbl_Sprawy;
class TTbl_RelSprZd;
class TTbl_RelSprKlasa;
class TTbl_Pisma;
class TTbl_Notatki;
class TTbl_Korespondencja;
class TTbl_KlasaSpraw;
class TTbl_Alarmy;
class TTbl_Adresy;

inline TTbl_USERS* TblUsers = nullptr;
inline TTbl_ID* TblID = nullptr;
inline TTbl_Diags* TblDiags = nullptr;
inline TTbl_Zdarzenia* TblZdarzenia = nullptr;
inline TTbl_Sprawy* TblSprawy = nullptr;
inline TTbl_RelSprZd* TblRelSprZd = nullptr;
inline TTbl_RelSprKlasa* TblRelSprKlasa = nullptr;
inline TTbl_Pisma* TblPisma = nullptr;
inline TTbl_Notatki* TblNotatki = nullptr;
inline TTbl_Korespondencja* TblKorespondencja = nullptr;
inline TTbl_KlasaSpraw* TblKlasaSpraw = nullptr;
inline TTbl_Alarmy* TblAlarmy = nullptr;
inline TTbl_Adresy* TblAdresy = nullptr;

}  // namespace pulpex
