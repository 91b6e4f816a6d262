// The configuration window's tab "Kopie bezpieczeństwa": making a backup of the data and
// restoring the data from one. The tables are shut down around the copy and checked again
// afterwards (which builds the indexes of restored tables); the main window's alarm check stops
// meanwhile. The copy runs off the window's thread with its progress shown and can be stopped.
#pragma once

#include <QString>

class QWidget;

namespace pulpex {

// The tab with "Tworzenie kopii bezpieczeństwa" (btnTworzenieKopii) and "Odtwarzanie z kopii
// bezpieczeństwa" (btnOdtwarzanieKopii).
QWidget* BuildBackupTab(QWidget* parent);

// Asks for the place and makes a backup there; `owner` places the progress notice.
void TworzenieKopii(QWidget* owner);
// Asks for the place, confirms, and restores the data from the backup found there.
void OdtwarzanieKopii(QWidget* owner);

// The settings key of the last place used.
inline const QString kBackupPlaceKey = QStringLiteral("kopia_miejsce");

}  // namespace pulpex
