// Text that a table's code page cannot hold. The engine refuses such a character with an error
// naming the field; a window checks first, names the characters in plain Polish and offers to
// replace them, so that nothing the user typed is lost to a refused write.
//
//   switch (AskToFitText(text, table.codePage(), QStringLiteral("Tekst notatki"))) {
//       case TTextFit::Fits: case TTextFit::Replaced: store(text); break;
//       case TTextFit::Refused: focus the editor; break;  // the user edits it himself
//   }
#pragma once

#include <QString>
#include <QStringList>

namespace pulpex {

namespace engine {
class CodePage;
}

// The characters of `text` that `cp` cannot hold, each once, in the order they first appear.
// Marks that only dress another character (variation selectors, joiners, skin tones) are not
// listed on their own.
QStringList UnstorableChars(const QString& text, const engine::CodePage& cp);

// `text` with every character `cp` cannot hold replaced by a look-alike it can hold: the letter
// without its accent ("ñ" → "n"), a Polish transcription of Cyrillic ("Ж" → "Ż"), plain
// punctuation ("→" → "->", "…" → "..."), a blank for unusual spaces; "?" where there is none.
// Invisible joiners and selectors are dropped. Characters `cp` holds stay as they are.
QString FitToCodePage(const QString& text, const engine::CodePage& cp);

// One character named for a message: „Ж” (cyrylica), „😀” (emotikona), niewidoczny znak U+200B.
QString DescribeChar(const QString& ch);

enum class TTextFit { Fits, Replaced, Refused };

// Checks `text` against `cp`. When it does not fit, asks the user (through the prompts) whether
// to replace the characters named in the question; on "Tak" `text` becomes FitToCodePage(text)
// and the answer is Replaced, otherwise Refused and `text` is left alone. `what` begins the
// question ("Tekst notatki", "Nazwa użytkownika").
TTextFit AskToFitText(QString& text, const engine::CodePage& cp, const QString& what);

}  // namespace pulpex
