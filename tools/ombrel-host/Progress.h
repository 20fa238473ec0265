// A progress bar on stderr for renders that take longer than a second, only on a terminal.
#pragma once

#include <chrono>

namespace OmbrelHost {

class Progress {
public:
    Progress(long long total, bool wanted);
    ~Progress();
    void update(long long done);

private:
    long long total_;
    bool enabled_;
    bool shown_ = false;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point start_;
};

} // namespace OmbrelHost
