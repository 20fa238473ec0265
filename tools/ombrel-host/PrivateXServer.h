// A private X server (Xvfb) for snapshots on machines without a display. It never outlives the
// command: the destructor stops it on a normal return or an error, and the kernel tells it to
// end when the process dies in any other way (a signal, exit() or a crash inside a plug-in).
#pragma once

#include <string>
#include <sys/types.h>

namespace OmbrelHost {

class PrivateXServer {
public:
    PrivateXServer() = default;
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // Starts Xvfb with one screen of the size given and answers its display name (":N") once it
    // accepts connections; throws a ToolError saying why when it cannot.
    std::string start(int width, int height);

private:
    pid_t pid_ = 0;
};

} // namespace OmbrelHost
