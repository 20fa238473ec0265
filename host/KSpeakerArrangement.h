// An owned speaker arrangement record as hosts read it: never smaller than the published record.
#pragma once

#include "host/VstInterface.h"

#include <memory>

namespace Korvel {

class KSpeakerArrangement {
public:
    explicit KSpeakerArrangement(int channels);
    // A field-by-field copy of the host's record (name forced to end in a terminator).
    void copyFrom(const VstSpeakerArrangement& source);

    VstSpeakerArrangement* get() { return record_; }
    int channels() const { return record_->numChannels; }

private:
    void allocate(int channels);

    std::unique_ptr<unsigned char[]> storage_;
    VstSpeakerArrangement* record_ = nullptr;
};

} // namespace Korvel
