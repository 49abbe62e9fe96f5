#pragma once
// The administrator's arrival: the Remote Desktop sessions on this server, as the session manager
// tells them (WTSEnumerateSessionsW, WTSQuerySessionInformationW), and the server's own addresses. A
// session that is active, came in through the RDP-Tcp listener ("RDP-Tcp#n"), from an address that is
// not the server's own, and connected after the new port took effect, is someone who logged on through
// the new port: that, and nothing less, confirms a change.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/Seam.h"
#include "revert/Connections.h"

namespace revert {

struct Session {
    DWORD id = 0;
    bool active = false;      // WTSActive
    std::wstring winStation;  // "RDP-Tcp#3", "Console", ...
    std::wstring user;        // "DOMAIN\\name"
    std::optional<Peer> client;     // the client's address, when it is an IPv4 or IPv6 one
    ULONGLONG connectedAt = 0;      // UTC FILETIME
};

// Every session; nothing when the session manager cannot be asked.
using SessionsSeam = base::Seam<std::optional<std::vector<Session>>()>;
SessionsSeam& SessionsCall();

// The server's own unicast addresses; nothing when they cannot be read.
using OwnAddressesSeam = base::Seam<std::optional<std::vector<Peer>>()>;
OwnAddressesSeam& OwnAddressesCall();

// The first session that confirms a change whose new port took effect at `effectiveAt`; nothing when
// none does (or the sessions or the server's addresses cannot be read).
std::optional<Session> ConfirmingSession(ULONGLONG effectiveAt);

}  // namespace revert
