#include "tools/ombrel-host/OutputFile.h"

#include "tools/ombrel-host/ToolError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OmbrelHost {

namespace {

// The temporary files in progress, for the signal handler, which may only use fixed storage.
constexpr int kSlots = 4;
char gPending[kSlots][PATH_MAX];
volatile sig_atomic_t gInUse[kSlots];

void removePending() {
    for (int i = 0; i < kSlots; ++i)
        if (gInUse[i]) unlink(gPending[i]);
}

void removePendingAndDie(int signal) {
    removePending();
    // The handler was reset on entry: the signal now does what it would have done unhandled.
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Every signal whose default action ends the process and that can be caught: crashes inside a
// plug-in included. Signals the caller ignores stay ignored (a write past `ulimit -f` then fails
// with an error instead).
void watchSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    // A plug-in that calls exit() skips every destructor on the way.
    std::atexit(removePending);
    // Its own stack, so a stack overflow in a plug-in still reaches the handler.
    static char altStack[1 << 16];
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    sigaltstack(&ss, nullptr);
    auto watch = [](int s) {
        struct sigaction old {};
        if (sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
        struct sigaction sa {};
        sa.sa_handler = removePendingAndDie;
        sa.sa_flags = SA_ONSTACK | SA_RESETHAND;
        sigfillset(&sa.sa_mask);
        sigaction(s, &sa, nullptr);
    };
    for (int s : {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
                  SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU,
                  SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS})
        watch(s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        watch(s);
}

// Blocks every signal while alive, so a temporary file never exists unregistered.
struct SignalsBlocked {
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &saved);
    }
    ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &saved, nullptr); }
    sigset_t saved;
};

ToolError outputError(const std::string& what, const std::string& path, int errorNumber) {
    return ToolError(kExitOutput, what + " " + path + ": " + std::strerror(errorNumber));
}

} // namespace

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

OutputFile::OutputFile(const std::string& target) : target_(target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw ToolError(kExitOutput, "cannot write " + target + ": it is a folder");
        // The mode bits too: access() grants everything to root.
        if (access(target.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0)
            throw ToolError(kExitOutput,
                            "refusing to replace " + target + ": the file is read-only");
    }
    std::size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // "." + name + ".tmp-XXXXXX" must stay within the file-name limit; the random part keeps
    // shortened names apart.
    const std::string suffix = ".tmp-XXXXXX";
    name = name.substr(0, std::min(name.size(), NAME_MAX - 1 - suffix.size()));
    temporary_ = folder + "." + name + suffix;
    if (temporary_.size() >= PATH_MAX)
        throw ToolError(kExitOutput, "output path too long: " + target);
    SignalsBlocked blocked;
    watchSignals();
    for (int i = 0; i < kSlots && slot_ < 0; ++i)
        if (!gInUse[i]) slot_ = i;
    if (slot_ < 0) throw ToolError(kExitFailure, "too many outputs at once");
    // Not inherited by programs the command starts (the private X server).
    fd_ = mkostemp(&temporary_[0], O_CLOEXEC);
    if (fd_ < 0) throw outputError("cannot write", target, errno);
    std::snprintf(gPending[slot_], PATH_MAX, "%s", temporary_.c_str());
    gInUse[slot_] = 1;
    // mkstemp makes the file private; give it the permissions a plain new file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temporary_.c_str());
    if (slot_ >= 0) gInUse[slot_] = 0;
}

void OutputFile::write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw outputError("cannot write", target_, n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void OutputFile::finish(int errorNumber) {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (errorNumber == 0 && fsync(fd) != 0) errorNumber = errno;
    if (close(fd) != 0 && errorNumber == 0) errorNumber = errno;
    if (errorNumber != 0) throw outputError("cannot write", target_, errorNumber);
}

void OutputFile::commit() {
    finish();
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw outputError("cannot write", target_, errno);
    committed_ = true;
    gInUse[slot_] = 0;
    slot_ = -1;
}

void refuseSameFile(const std::string& output, const std::string& input, const char* inputRole) {
    struct stat a, b;
    if (stat(output.c_str(), &a) == 0 && stat(input.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
        throw ToolError(kExitUsage, "refusing to overwrite the " + std::string(inputRole) + " " +
                                        input + " with the output " + output);
}

} // namespace OmbrelHost
