// Acquisition of pages from a SANE device. Blocking: the scanner link calls it on a thread of its
// own. Errors come back as Polish messages for the user.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace pulpex::scanner {

struct TScanSettings {
    // The SANE device name; empty takes the one remembered on this workstation, else the first
    // device found (which is then remembered).
    QString device;
    int dpi = 300;
    bool colour = false;
    // Take every page of the document feeder, each as a page of its own.
    bool feeder = false;
    // Further device options as "name=value", set as given (a test device's fault simulation).
    QStringList options;
};

struct TScannedPage {
    QImage image;  // 8-bit grey or RGB
    int dpiX = 0;
    int dpiY = 0;
};

struct TScanOutcome {
    // Pages read completely and handed on; a fault keeps those read before it.
    int pages = 0;
    QString error;  // empty when all went well
    bool stopped = false;
    QString device;  // the device used
};

// The device names SANE finds (network devices included); `error` gets a message when SANE
// cannot be started.
QStringList ScannerDevices(QString* error = nullptr);

// The device chosen on this workstation (Pulpex.ini of the user's configuration, section
// "Skaner", key "Urzadzenie"); empty when none was chosen yet.
QString RememberedScanner();
bool RememberScanner(const QString& device);

// Scans with `settings`. `onPage` is told of each page as soon as it is read (on the calling
// thread); `stop` turning true ends the scan after cancelling the device.
TScanOutcome ScanPages(const TScanSettings& settings,
                       const std::function<void(const TScannedPage&)>& onPage = {},
                       const std::atomic_bool* stop = nullptr);

}  // namespace pulpex::scanner
