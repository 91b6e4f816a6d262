#include "documents/ocr/cv_view2.h"

#include <cstring>

namespace pulpex::ocr {

void CV_Init() {
    LimitRecognitionThreads();
}

int CV_SetDataPath(TCV2_View& view, const QString& patternPath) {
    view.recognizer.SetDataPath(patternPath);
    return 0;
}

int CV_LoadDIB(TCV2_View& view, const QString& fileName) {
    view.last = {};
    return view.recognizer.LoadFile(fileName) ? 0 : 1;
}

std::int16_t CV_RecogniteAll(TCV2_View& view, const std::function<void(int)>& progress,
                             const TRecognitionParams* /*params*/, std::int32_t* result,
                             const std::atomic_bool* stop) {
    view.last = view.recognizer.Recognise(progress, stop);
    const std::int16_t rc = view.last.status == TRecognitionResult::Status::Done ? 0 : 1;
    if (result != nullptr) *result = rc;
    return rc;
}

QByteArray CV_GetAllSearchTexts(const TCV2_View& view, std::int32_t* count) {
    const QByteArray text = view.last.text.trimmed().toUtf8();
    if (count != nullptr) *count = static_cast<std::int32_t>(text.size());
    if (text.isEmpty()) return {};
    QByteArray block(4, '\0');
    const auto n = static_cast<std::int32_t>(text.size());
    std::memcpy(block.data(), &n, sizeof n);
    block.append(text);
    block.append('\0');
    return block;
}

}  // namespace pulpex::ocr
