// The scanner link of the documents window. It answers the conversation the window opens under
// the scanner application's names: it scans off the user-interface thread through SANE, and for
// each page, on the context's thread, writes "Temp.bmp" and "temp.roz" (horizontal and vertical
// resolution, one a line) into the working directory and then tells the window the item value
// "100". A fault is told as a Polish message after the pages read before it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "documents/scanner/sane_scan.h"

namespace pulpex::scanner {

inline const QString kLinkService = QStringLiteral("Skaner");
inline const QString kLinkTopic = QStringLiteral("DdeTestTopic");
inline const QString kLinkItem = QStringLiteral("DdeTestItem");
// The item value of a page ready in the exchange files.
inline const QString kPageReady = QStringLiteral("100");

inline const QString kPageFile = QStringLiteral("Temp.bmp");
inline const QString kResolutionFile = QStringLiteral("temp.roz");

// True when an item value announces a ready page: its first line begins with "100".
bool IsPageReady(const QString& itemValue);

// Writes the exchange files for one page into `dir`: both under temporary names first, so that
// a failure leaves neither a partial page nor a page with the resolutions of another. False, with
// a Polish message, when they cannot be written.
bool WriteExchangeFiles(const TScannedPage& page, const QString& dir, QString* error = nullptr);

class TScannerLink {
  public:
    struct Handlers {
        std::function<void(const QString& value)> itemChanged;
        std::function<void(const QString& message)> error;
        // After the last page or the fault: the number of pages delivered.
        std::function<void(int pages)> finished;
    };

    // Calls go to `context`'s thread and are dropped once `context` is gone. `workDir` empty is
    // the process's working directory.
    TScannerLink(QObject* context, Handlers handlers, QString workDir = {});
    ~TScannerLink();
    TScannerLink(const TScannerLink&) = delete;
    TScannerLink& operator=(const TScannerLink&) = delete;

    // Opens the conversation, which starts a scan. False when the names are not the link's, or a
    // scan is still running.
    bool Open(const QString& service, const QString& topic, const QString& item,
              const TScanSettings& settings = {});
    bool Busy() const;
    // Ends a running scan; pages already delivered stay.
    void Stop();

  private:
    struct Shared;
    QPointer<QObject> context_;
    std::shared_ptr<Shared> shared_;
    QString workDir_;
    std::thread thread_;
};

}  // namespace pulpex::scanner
