#include "tools/ombrel-host/OutputFile.h"

#include "tools/ombrel-host/ToolError.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace OmbrelHost {

namespace {

// The one temporary file in progress, for the signal handler; it may only use fixed storage.
char gPending[4096];

void removePendingAndExit(int signal) {
    if (gPending[0]) unlink(gPending);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void watchSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        std::signal(s, removePendingAndExit);
}

} // namespace

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

OutputFile::OutputFile(const std::string& target) : target_(target) {
    std::size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    temporary_ = folder + "." + name + ".tmp-XXXXXX";
    if (temporary_.size() >= sizeof gPending)
        throw ToolError(kExitOutput, "output path too long: " + target);
    fd_ = mkstemp(&temporary_[0]);
    if (fd_ < 0)
        throw ToolError(kExitOutput, "cannot write " + target + ": " + std::strerror(errno));
    // mkstemp makes the file private; give it the permissions a plain new file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    watchSignals();
    std::snprintf(gPending, sizeof gPending, "%s", temporary_.c_str());
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temporary_.c_str());
    gPending[0] = 0;
}

int OutputFile::takeDescriptor() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void OutputFile::commit() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw ToolError(kExitOutput, "cannot write " + target_ + ": " + std::strerror(errno));
    committed_ = true;
    gPending[0] = 0;
}

void refuseSameFile(const std::string& output, const std::string& input, const char* inputRole) {
    struct stat a, b;
    if (stat(output.c_str(), &a) == 0 && stat(input.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
        throw ToolError(kExitUsage, "refusing to overwrite the " + std::string(inputRole) + " " +
                                        input + " with the output " + output);
}

} // namespace OmbrelHost
