#pragma once
// The Windows session the program runs in: whether it is a Remote Desktop session, and the session
// notifications (WM_WTSSESSION_CHANGE) that tell a window of a logon, a reconnection or an unlock.

#include <windows.h>

#include "base/Seam.h"

namespace toolkit {

// True in a Remote Desktop session: GetSystemMetrics(SM_REMOTESESSION), or the session's protocol as
// the session manager names it (WTSClientProtocolType 2, RDP), since SM_REMOTESESSION reads 0 in a
// session remoted through RemoteFX vGPU (learn.microsoft.com/windows/win32/termserv/
// detecting-the-terminal-services-environment).
using RemoteSessionSeam = base::Seam<bool()>;
RemoteSessionSeam& RemoteSessionCall();

// WTSRegisterSessionNotification for this session's changes; false when Windows would not.
bool RegisterSessionNotification(HWND window);
void UnregisterSessionNotification(HWND window);

}  // namespace toolkit
