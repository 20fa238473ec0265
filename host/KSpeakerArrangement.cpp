#include "host/KSpeakerArrangement.h"

#include <cstddef>
#include <cstring>

namespace Korvel {

KSpeakerArrangement::KSpeakerArrangement(int channels) {
    allocate(channels);
}

void KSpeakerArrangement::allocate(int channels) {
    if (channels < 0) channels = 0;
    std::size_t bytes = offsetof(VstSpeakerArrangement, speakers) +
                        sizeof(VstSpeakerProperties) * static_cast<std::size_t>(channels);
    if (bytes < sizeof(VstSpeakerArrangement)) bytes = sizeof(VstSpeakerArrangement);
    storage_.reset(new unsigned char[bytes]());
    record_ = reinterpret_cast<VstSpeakerArrangement*>(storage_.get());
    record_->type = 0;
    record_->numChannels = channels;
}

void KSpeakerArrangement::copyFrom(const VstSpeakerArrangement& source) {
    allocate(source.numChannels);
    record_->type = source.type;
    for (int i = 0; i < source.numChannels; ++i) {
        const VstSpeakerProperties& from = source.speakers[i];
        VstSpeakerProperties& to = record_->speakers[i];
        to.azimuth = from.azimuth;
        to.elevation = from.elevation;
        to.radius = from.radius;
        to.reserved = from.reserved;
        std::memcpy(to.name, from.name, sizeof to.name);
        to.name[sizeof to.name - 1] = 0;
        to.type = from.type;
        std::memcpy(to.future, from.future, sizeof to.future);
    }
}

} // namespace Korvel
