// Plain text files of the program's memos (an event's content, a printed register): asked for
// with the open and save dialogs, read and written whole, failures told to the user.
#pragma once

#include <QString>
#include <optional>

namespace pulpex {

// The filter of the text-file dialogs.
inline const QString kTextFileFilter =
    QStringLiteral("Pliki tekstowe (*.txt)|*.txt|Pliki wszystkie (*.*)|*.*");

// The text of a file: UTF-8 (a leading byte-order mark dropped), or, when the bytes are not
// UTF-8, Windows-1250 as the older program wrote it; line ends become "\n". nullopt (and
// `error` set) when it cannot be read.
std::optional<QString> ReadTextFile(const QString& path, QString* error = nullptr);
// Writes `text` as UTF-8, replacing the file; false (and `error` set) when it cannot.
bool WriteTextFile(const QString& path, const QString& text, QString* error = nullptr);

// The open dialog (`caption`, the text-file filter), then the chosen file's text. nullopt when
// cancelled or unreadable (the user has been told why).
std::optional<QString> AskAndReadTextFile(const QString& caption);
// The save dialog (default extension "txt"), then `text` written to the chosen file. False when
// cancelled or when writing failed (the user has been told why).
bool AskAndWriteTextFile(const QString& caption, const QString& text);

}  // namespace pulpex
