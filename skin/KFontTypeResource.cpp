#include "skin/KFontTypeResource.h"

#include "core/KNamedFiles.h"
#include "core/KText.h"

#include <nanovg.h>

#include <climits>

namespace Korvel {

KTypeId KFontTypeResource::classId() {
    static const char tag = 0;
    return &tag;
}

KFontTypeResource::KFontTypeResource(const char* face, const char* file) {
    copyText(face_, face, kMaxText);
    copyText(file_, file, kMaxText);
    setName(face_);
}

void KFontTypeResource::load(NVGcontext* context) {
    if (!context || face_[0] == 0 || file_[0] == 0) return;
    KFileData data;
    if (!loadNamedFile(file_, data) || data.size == 0 || data.size > INT_MAX) return;
    // The bytes belong to the module: NanoVG must not free them (freeData 0).
    nvgCreateFontMem(context, face_, const_cast<unsigned char*>(data.bytes),
                     static_cast<int>(data.size), 0);
}

} // namespace Korvel
