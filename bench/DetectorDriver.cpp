// Runs the pitch detector over an input for a given time, for counting instructions:
//   detector_driver melody|noise|silence SECONDS
// The input is made once (ten seconds, repeated as needed), so the instructions per second of
// audio are (count(long) - count(short)) / (long - short).
#include "bench/DetectorInputs.h"
#include "dsp/PitchDetector.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace Korvel;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s melody|noise|silence SECONDS\n", argv[0]);
        return 2;
    }
    std::vector<double> input = detectorInput(argv[1]);
    long frames = static_cast<long>(std::atof(argv[2]) * 44100);
    PitchDetector d;
    setDefaultProgram(d);
    // As the engine drives it: blocks of 128 in, the confirmed period of every sample out.
    double sum = 0;
    double confirmed[128];
    for (long done = 0; done < frames;) {
        long chunk = std::min(frames - done, static_cast<long>(input.size()));
        for (long i = 0; i < chunk; i += 128) {
            int n = static_cast<int>(std::min(chunk - i, 128L));
            d.processBlock(&input[static_cast<std::size_t>(i)], n, confirmed);
            for (int k = 0; k < n; ++k)
                sum += confirmed[k];
        }
        done += chunk;
    }
    std::printf("%s %.1f s: mean confirmed period %.3f\n", argv[1], frames / 44100.0,
                frames ? sum / frames : 0.0);
    return 0;
}
