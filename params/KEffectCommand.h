// A momentary action ("Random", "AutoLevel"): a name and the id the effect dispatches on.
#pragma once

#include "core/KIdBase.h"

namespace Korvel {

class KEffectCommand : public KIdBase {
public:
    static KTypeId classId() {
        static const char tag = 0;
        return &tag;
    }

    KEffectCommand(const char* name, int id) : id_(id) { setName(name); }
    KTypeId typeId() const override { return classId(); }
    int id() const { return id_; }

private:
    int id_;
};

} // namespace Korvel
