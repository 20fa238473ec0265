#include "host/KFloatBridge.h"

#include <new>

namespace Korvel {

namespace {

// Block sizes announced beyond this are not worth reserving ahead for: such blocks go through the
// scratch in pieces.
constexpr int kMaxReservedBlock = 1 << 16;
// Stereo in and out: the widest layout the effects of this framework accept.
constexpr std::size_t kReservedChannels = 4;

} // namespace

KFloatBridge::KFloatBridge(int frames) {
    // So a constructed effect can always process.
    std::size_t doubles = kReservedChannels * static_cast<std::size_t>(frames > 0 ? frames : 0);
    scratch_.reset(new double[doubles]());
    capacity_ = doubles;
}

void KFloatBridge::reserve(int frames) {
    if (frames <= 0 || frames > kMaxReservedBlock) return;
    std::size_t doubles = kReservedChannels * static_cast<std::size_t>(frames);
    if (doubles <= capacity_) return;
    double* grown = new (std::nothrow) double[doubles]();
    if (!grown) return; // the previous scratch stays; run then works in pieces
    scratch_.reset(grown);
    capacity_ = doubles;
}

int KFloatBridge::pieceFrames(float** inputs, int inputCount, float** outputs, int outputCount,
                              int frames) const {
    if (!inputs || !outputs || frames <= 0 || inputCount <= 0 || outputCount <= 0 ||
        inputCount > kMaxChannels || outputCount > kMaxChannels)
        return 0;
    // A block longer than the scratch holds (longer than announced, or the growth at
    // effSetBlockSize failed) goes through it in pieces rather than being bypassed.
    std::size_t fit = capacity_ / static_cast<std::size_t>(inputCount + outputCount);
    return fit < static_cast<std::size_t>(frames) ? static_cast<int>(fit) : frames;
}

void KFloatBridge::layOut(double** in, int inputCount, double** out, int outputCount,
                          int piece) const {
    for (int k = 0; k < inputCount; ++k)
        in[k] = scratch_.get() + static_cast<std::size_t>(k) * piece;
    for (int k = 0; k < outputCount; ++k)
        out[k] = scratch_.get() + static_cast<std::size_t>(inputCount + k) * piece;
}

void KFloatBridge::widen(float** from, double** to, int channels, int offset, int frames) {
    for (int k = 0; k < channels; ++k) {
        const float* source = from[k];
        double* target = to[k];
        if (source)
            for (int i = 0; i < frames; ++i)
                target[i] = source[offset + i];
        else
            for (int i = 0; i < frames; ++i)
                target[i] = 0;
    }
}

void KFloatBridge::narrow(double** from, float** to, int channels, int offset, int frames) {
    for (int k = 0; k < channels; ++k) {
        float* target = to[k];
        if (!target) continue;
        const double* source = from[k];
        for (int i = 0; i < frames; ++i)
            target[offset + i] = static_cast<float>(source[i]);
    }
}

} // namespace Korvel
