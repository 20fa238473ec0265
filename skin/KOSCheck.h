// "OS" check: holds exactly when the script's system word names the system it was built for.
#pragma once

#include "skin/KCheck.h"

namespace Korvel {

class KOSCheck : public KCheck {
public:
    // The word this build accepts, in any letter case.
#if defined(_WIN32)
    static constexpr const char* kSystemWord = "WIN";
#else
    static constexpr const char* kSystemWord = "LINUX";
#endif
    static KTypeId classId();

    explicit KOSCheck(const char* systemWord);
    KTypeId typeId() const override {
        return classId();
    }
    bool evaluate() const override {
        return thisSystem_;
    }

private:
    bool thisSystem_;
};

} // namespace Korvel
