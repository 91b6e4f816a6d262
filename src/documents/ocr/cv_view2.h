// The recognition calls of the documents window under their old names, as thin functions over
// TRecognizer: a view is one recogniser, loaded with one page at a time.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

#include "documents/ocr/recognizer.h"

namespace pulpex::ocr {

#pragma pack(push, 1)
// The fixed recognition parameters the documents window passes; the engine takes its own
// settings from the language data, so they are kept only for the callers' sake.
struct TRecognitionParams {
    std::int16_t words[7];
    std::int32_t last;
    static TRecognitionParams Fixed() { return {{0, -1, 200, 400, 8, -1, 0}, 2500}; }
};
#pragma pack(pop)
static_assert(sizeof(TRecognitionParams) == 18);

struct TCV2_View {
    TRecognizer recognizer;
    TRecognitionResult last;
};

// Once per recognising thread, before the first recognition.
void CV_Init();
// The language data named by the pattern path; 0 (a path without data selects the system's).
int CV_SetDataPath(TCV2_View& view, const QString& patternPath);
// 0 when the image file was loaded, 1 otherwise.
int CV_LoadDIB(TCV2_View& view, const QString& fileName);
// Recognises the loaded page; 0 when done, 1 when it failed or was stopped. `result` gets the
// same value.
std::int16_t CV_RecogniteAll(TCV2_View& view, const std::function<void(int)>& progress,
                             const TRecognitionParams* params, std::int32_t* result,
                             const std::atomic_bool* stop = nullptr);
// The block of the last recognition: 4 bytes holding the text's length, then the UTF-8 text
// and a zero byte. `count` is the text's length in bytes: 0 when nothing was recognised, and
// then the block is empty.
QByteArray CV_GetAllSearchTexts(const TCV2_View& view, std::int32_t* count);

}  // namespace pulpex::ocr
