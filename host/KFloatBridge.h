// Serves single-precision hosts from a double-precision engine: each input channel is widened
// into a scratch, the engine processes there, and its outputs are narrowed back into the host's
// buffers. The scratch is reserved on the set-up thread; a block longer than it holds goes
// through it in pieces, so the audio thread never allocates.
#pragma once

#include <cstddef>
#include <memory>

namespace Korvel {

class KFloatBridge {
public:
    // Widest layout on either side that run serves.
    static constexpr int kMaxChannels = 8;

    // [ui] A scratch for blocks of frames at the layout reserved ahead (stereo in and out).
    explicit KFloatBridge(int frames);

    // [ui] Grows the scratch for blocks of frames; block sizes beyond 65536 frames are not
    // reserved ahead. Never throws: when the allocation fails the previous scratch stays.
    void reserve(int frames);

    // [audio] process(inputs, inputCount, outputs, outputCount, frames) on double channels, as
    // many times as the block needs pieces. Null buffers, no frames, or a channel count outside
    // 1..kMaxChannels process nothing; a null input channel reads silence.
    template <typename Process>
    void run(float** inputs, int inputCount, float** outputs, int outputCount, int frames,
             Process&& process);

    // [audio] Frames of the current host block that earlier pieces already processed: 0 unless
    // run split a block longer than its scratch. Host transport belongs to offset 0.
    int blockOffset() const { return blockOffset_; }

private:
    // Frames per piece for this call; 0 when the call processes nothing.
    int pieceFrames(float** inputs, int inputCount, float** outputs, int outputCount,
                    int frames) const;
    void layOut(double** in, int inputCount, double** out, int outputCount, int piece) const;
    static void widen(float** from, double** to, int channels, int offset, int frames);
    static void narrow(double** from, float** to, int channels, int offset, int frames);

    // Grown only while the host has processing stopped (effSetBlockSize), read by the audio
    // thread.
    std::unique_ptr<double[]> scratch_;
    std::size_t capacity_ = 0;
    int blockOffset_ = 0;
};

template <typename Process>
void KFloatBridge::run(float** inputs, int inputCount, float** outputs, int outputCount, int frames,
                       Process&& process) {
    // The engine carries its state from sample to sample, so pieces give the output a single
    // piece would.
    const int piece = pieceFrames(inputs, inputCount, outputs, outputCount, frames);
    if (piece <= 0) return;
    double* in[kMaxChannels];
    double* out[kMaxChannels];
    layOut(in, inputCount, out, outputCount, piece);
    for (int done = 0; done < frames; done += piece) {
        int n = frames - done < piece ? frames - done : piece;
        widen(inputs, in, inputCount, done, n);
        blockOffset_ = done;
        process(in, inputCount, out, outputCount, n);
        narrow(out, outputs, outputCount, done, n);
    }
    blockOffset_ = 0;
}

} // namespace Korvel
