// A TrueType face installed in the drawing context under its face name ("InstallTTF").
#pragma once

#include "skin/KResource.h"

namespace Korvel {

class KFontTypeResource : public KResource {
public:
    static constexpr int kMaxText = 63;
    static KTypeId classId();

    // Named after the face.
    KFontTypeResource(const char* face, const char* file);
    KTypeId typeId() const override { return classId(); }

    // [ui] Creates the face from the module's bytes, which NanoVG must not free.
    void load(NVGcontext* context) override;

    const char* face() const { return face_; }
    const char* file() const { return file_; }

private:
    char face_[kMaxText + 1] = {};
    char file_[kMaxText + 1] = {};
};

} // namespace Korvel
