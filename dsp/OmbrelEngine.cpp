#include "dsp/OmbrelEngine.h"

#include "dsp/ChannelRouting.h"

namespace Korvel {

// Placeholder until the synthesis lands: the engine routes the dry signal in bypass and is
// silent otherwise.
struct OmbrelEngine::Impl {
    double sampleRate = 44100;
};

OmbrelEngine::OmbrelEngine() : impl_(new Impl) {}
OmbrelEngine::~OmbrelEngine() = default;

void OmbrelEngine::setSampleRate(double rate) { impl_->sampleRate = rate; }

void OmbrelEngine::reset() {}

void OmbrelEngine::publish(const EngineSettings&) {}

void OmbrelEngine::process(double* const* inputs, int inputCount, double* const* outputs,
                           int outputCount, int frames, bool bypass, const EngineTransport*) {
    bool stereoIn = inputCount > 1;
    bool stereoOut = outputCount > 1;
    const double* left = inputs[0];
    const double* right = stereoIn ? inputs[1] : inputs[0];
    double* outLeft = outputs[0];
    double* outRight = stereoOut ? outputs[1] : outputs[0];
    for (int i = 0; i < frames; ++i) {
        double l = left[i];
        double r = right[i];
        double a = bypass ? l : 0;
        double b = bypass ? r : 0;
        routeFrame(stereoIn, stereoOut, a, b, &outLeft[i], &outRight[i]);
    }
}

std::size_t OmbrelEngine::instanceBytes() const { return sizeof(Impl); }

} // namespace Korvel
