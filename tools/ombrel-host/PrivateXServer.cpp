#include "tools/ombrel-host/PrivateXServer.h"

#include "tools/ombrel-host/ToolError.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace OmbrelHost {

namespace {

const char* const kInstallHint = "no X display: set DISPLAY, or install Xvfb "
                                 "(sudo apt-get install xvfb) for a private one";

// In the child between fork and exec: only async-signal-safe calls. Descriptor 3 is where Xvfb
// writes its display number, 4 reports a failed exec (it closes on a good one).
[[noreturn]] void execServer(pid_t parent, int ready, int failed, char* const argv[]) {
    // The server ends with the process that started it, however that process ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGTERM, SIG_DFL);
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(ready, 3) < 0 || dup2(failed, 4) < 0 || fcntl(4, F_SETFD, FD_CLOEXEC) < 0)
        _exit(127);
    for (int fd = 0; fd < 3; ++fd)
        dup2(null, fd);
    // Nothing of the command's stays open in the server: not its outputs, not a caller's pipe.
    close_range(5, ~0U, 0);
    execvp(argv[0], argv);
    int error = errno;
    ssize_t written = write(4, &error, sizeof error);
    (void)written;
    _exit(127);
}

// The text a descriptor receives up to a newline, within the time left.
std::string readLine(int fd, std::chrono::steady_clock::time_point until) {
    std::string line;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) return "";
        if (c == '\n') return line;
        line += c;
    }
}

} // namespace

PrivateXServer::~PrivateXServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string PrivateXServer::start(int width, int height) {
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    // -noreset: the plug-in's connections come and go beside ours.
    const char* argv[] = {"Xvfb",         "-displayfd", "3",   "-screen",  "0",
                          screen.c_str(), "-nolisten",  "tcp", "-noreset", nullptr};
    int ready[2], failed[2];
    if (pipe2(ready, O_CLOEXEC) != 0) throw ToolError(kExitFailure, std::strerror(errno));
    if (pipe2(failed, O_CLOEXEC) != 0) {
        close(ready[0]);
        close(ready[1]);
        throw ToolError(kExitFailure, std::strerror(errno));
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) execServer(parent, ready[1], failed[1], const_cast<char* const*>(argv));
    close(ready[1]);
    close(failed[1]);
    int error = 0;
    bool execFailed = pid_ > 0 && read(failed[0], &error, sizeof error) == sizeof error;
    close(failed[0]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    if (pid_ > 0 && !execFailed)
        number = readLine(ready[0], std::chrono::steady_clock::now() + std::chrono::seconds(10));
    close(ready[0]);
    if (pid_ < 0) {
        pid_ = 0;
        throw ToolError(kExitFailure, std::string("cannot start Xvfb: ") + std::strerror(errno));
    }
    if (execFailed) {
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
        throw ToolError(kExitFailure, error == ENOENT ? std::string(kInstallHint)
                                                      : std::string("cannot start Xvfb: ") +
                                                            std::strerror(error));
    }
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        throw ToolError(kExitFailure, "the private X server (Xvfb) did not start");
    return ":" + number;
}

} // namespace OmbrelHost
