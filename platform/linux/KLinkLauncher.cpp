#include "platform/linux/KLinkLauncher.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Korvel {

bool launchLink(const char* address) {
    if (!address || !*address || *address == '-') return false;
    char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(address), nullptr};
    // Double fork: the intermediate child exits at once, so the host reaps it right here and the
    // opener becomes init's child; the host's GUI thread never waits for a browser. Only
    // async-signal-safe calls follow the fork, as the host may be multi-threaded.
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        // The host's descriptors (its X connection, audio devices) are not the opener's.
        closefrom(3);
        int devNull = open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            dup2(devNull, 0);
            if (devNull > 2) close(devNull);
        }
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace Korvel
