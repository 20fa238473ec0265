#include "platform/win32/KLinkLauncher.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstring>

namespace Korvel {

namespace {

struct LinkRequest {
    char address[257] = {};
    bool opened = false;
};

DWORD WINAPI openLink(LPVOID parameter) {
    auto* request = static_cast<LinkRequest*>(parameter);
    if (std::strlen(request->address) < 8) return 0;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result =
        ShellExecuteA(nullptr, "open", request->address, nullptr, nullptr, SW_SHOWNORMAL);
    // Above 32 means success.
    request->opened = reinterpret_cast<INT_PTR>(result) > 32;
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

} // namespace

bool launchLink(const char* address) {
    if (!address) return false;
    LinkRequest request;
    std::size_t n = 0;
    while (n < 256 && address[n] != '\0') {
        request.address[n] = address[n];
        ++n;
    }
    if (n < 8) return false;
    HANDLE thread = CreateThread(nullptr, 0, &openLink, &request, 0, nullptr);
    if (!thread) return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return request.opened;
}

} // namespace Korvel
