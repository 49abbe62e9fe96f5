#include "ui/toolkit/Session.h"

#include <wtsapi32.h>

#include "base/SystemLibrary.h"

namespace toolkit {
namespace {

// wtsapi32 is looked up, not imported, so start-up loads nothing more.
template <class F>
F* Wts(const char* name) {
    return base::SystemFunctionAs<F>(L"wtsapi32.dll", name);
}

bool RdpProtocol() {
    static const auto query = Wts<decltype(WTSQuerySessionInformationW)>("WTSQuerySessionInformationW");
    static const auto release = Wts<decltype(WTSFreeMemory)>("WTSFreeMemory");
    if (!query || !release) return false;
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSClientProtocolType, &buffer, &bytes)) return false;
    const bool rdp = bytes >= sizeof(USHORT) && *reinterpret_cast<const USHORT*>(buffer) == 2;
    release(buffer);
    return rdp;
}

bool InRemoteSession() { return GetSystemMetrics(SM_REMOTESESSION) != 0 || RdpProtocol(); }

}  // namespace

RemoteSessionSeam& RemoteSessionCall() {
    static RemoteSessionSeam seam(&InRemoteSession);
    return seam;
}

bool RegisterSessionNotification(HWND window) {
    static const auto enroll = Wts<decltype(WTSRegisterSessionNotification)>("WTSRegisterSessionNotification");
    return enroll && enroll(window, NOTIFY_FOR_THIS_SESSION);
}

void UnregisterSessionNotification(HWND window) {
    static const auto leave = Wts<decltype(WTSUnRegisterSessionNotification)>("WTSUnRegisterSessionNotification");
    if (leave) leave(window);
}

}  // namespace toolkit
