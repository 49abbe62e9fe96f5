#pragma once
// What the lockout guard found, and how it is put to the user. Plain data and text only: nothing here
// asks Windows anything, so it needs no Windows header.

#include <cstdint>
#include <string>
#include <vector>

namespace guard {

enum class HazardKind {
    PortInUse,       // another program listens on the port
    PortForbidden,   // Windows refuses the port (reserved or excluded range, or not permitted)
    FirewallClosed,  // the Windows Firewall does not admit inbound TCP on the port
    PolicyDenies,    // Group Policy refuses connections: turning them on locally has no effect
    PolicyAllows,    // Group Policy allows connections: turning them off locally has no effect
    PolicyOverridesNla,  // Group Policy decides Network Level Authentication the other way: the local
                         // change has no effect
    PortZero,            // port 0: a bind to it takes whatever port Windows picks, so nobody can connect to "0"
    PortInDynamicRange,  // the port lies in the TCP dynamic range, where ranges can be excluded at each start
    ServiceDisabled,     // the Remote Desktop service (TermService) will not start: its start type is disabled
    ListenerDisabled,    // the RDP-Tcp connection is switched off (fEnableWinStation 0): nothing listens
    // A note, never alone: the firewall is not certainly open for the port in profiles the computer is
    // not in now, which it may be in after the restart (a domain server that cannot reach its domain
    // controller comes up in the public profile).
    FirewallOtherProfiles,
};

struct Hazard {
    HazardKind kind;
    // The port concerned: the new port, or for turning on the current one; 0 for the policy hazards, and
    // for the service and listener hazards when the current port is not known.
    std::uint16_t port = 0;
    std::wstring ownerImage;     // PortInUse: the owning process's image name, when Windows tells
    unsigned long ownerPid = 0;  // PortInUse: the owning process (a DWORD), 0 when Windows does not tell
    // PortInUse: the service that listens, when it is not the process itself (a service in a shared
    // svchost); empty when Windows does not tell.
    std::wstring ownerService;
    // PortInDynamicRange: the range the port lies in (first and last port).
    std::uint16_t rangeFirst = 0;
    std::uint16_t rangeLast = 0;
    // FirewallClosed: the port Remote Desktop uses now (connections are being turned on), not one it
    // is about to move to; the consequence then reads differently.
    bool isCurrentPort = false;
    // FirewallClosed: the NET_FW_PROFILE_TYPE2 bits of the current profiles that do not admit the port
    // (0 when no one profile can be named). FirewallOtherProfiles: the profiles not current and not open.
    long closedProfiles = 0;
};

// Windows' own names of the firewall profiles that the bits name, in Windows' order ("域、公用").
std::wstring ProfileNames(long profileBits);

// The line that names the hazard to the user (Simplified Chinese, one line, names the port).
std::wstring Describe(const Hazard& hazard);

// The hazard lines, one per hazard, each ended by a line break.
std::wstring HazardLines(const std::vector<Hazard>& hazards);

// The warning box's text: one line per hazard, a blank line, then "仍要继续吗？" (empty for no hazard).
std::wstring WarningText(const std::vector<Hazard>& hazards);

}  // namespace guard
