#include "tools/ombrel-host/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace OmbrelHost {

Progress::Progress(long long total, bool wanted)
    : total_(total > 0 ? total : 1), enabled_(wanted && isatty(STDERR_FILENO)),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
    if (shown_) std::fprintf(stderr, "\r%60s\r", "");
}

void Progress::update(long long done) {
    if (!enabled_) return;
    if (!shown_ && std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
    // A header may claim more than the file holds.
    int percent = static_cast<int>(std::min<long long>(100, done * 100 / total_));
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    shown_ = true;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    int filled = percent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = 0;
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

} // namespace OmbrelHost
