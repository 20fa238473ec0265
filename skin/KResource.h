// Base of every skin resource: a named object that may own GPU objects while a drawing context
// exists.
#pragma once

#include "core/KIdBase.h"

struct NVGcontext;

namespace Korvel {

class KResource : public KIdBase {
public:
    ~KResource() override = default;
    // [ui] Creates GPU objects for the context; nothing by default.
    virtual void load(NVGcontext*) {}
    // [ui] Deletes them before the context goes away; nothing by default.
    virtual void release(NVGcontext*) {}
};

} // namespace Korvel
