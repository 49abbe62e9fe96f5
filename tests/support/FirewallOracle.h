#pragma once
// Windows Firewall's inbound decision for one packet delivered to Remote Desktop, worked out from a
// snapshot of the firewall's settings and rules (the snapshot format is described in FirewallOracle.cpp).
// It is written from Microsoft's documentation alone and shares no code with the program's firewall
// model, so the tests can hold the model to it: where the model says a profile admits the port, every
// packet this evaluator judges must come out Admit, and where it says closed, Drop.
//
// Depends is the honest answer whenever the decision turns on something the snapshot does not hold (an
// MDM store, a rule that could not be read or parsed, a condition whose meaning the documentation leaves
// open). Admit and Drop are given only where the documentation makes them certain.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oracle {

enum class Outcome { Admit, Drop, Depends };  // Depends: the answer turns on something the snapshot does not hold

struct Packet {
    std::string profile;  // "domain" | "private" | "public": the network profile of the interface it arrives on
    int protocol = 6;     // 6 TCP, 17 UDP
    std::uint16_t localPort = 0, remotePort = 0;
    std::string localAddress, remoteAddress;  // IPv4 or IPv6 text; remote never loopback
    // The address keywords the remote address belongs to for this interface: any of "LocalSubnet", "DNS",
    // "DHCP", "WINS", "DefaultGateway", "Intranet", "Internet", "Ply2Renders", "RemoteCorpNetwork",
    // "CaptivePortal" (compared without regard to case; "RmtIntranet" is taken for "RemoteCorpNetwork").
    std::vector<std::string> remoteIs;
    std::string interfaceType;  // "Lan" | "Wireless" | "RemoteAccess"
    std::string interfaceName;
    bool authenticated = false;             // the peer authenticated with IPsec (a connection security rule)
    std::string remoteUser, remoteMachine;  // SDDL SIDs or empty
    // Always: the packet is inbound, unsolicited, not Teredo edge traffic, and is delivered to Remote
    // Desktop: program %SystemRoot%\system32\svchost.exe hosting the service TermService, running as
    // NETWORK SERVICE (S-1-5-20), not a packaged app.
};

// Whether Windows Firewall admits the packet. Malformed snapshot (or packet): std::nullopt, and *error says why.
std::optional<Outcome> Evaluate(std::string_view snapshotUtf8, const Packet& packet, std::string* error = nullptr);

// "Admit", "Drop" or "Depends", for test messages.
const char* OutcomeName(Outcome outcome);

// An IPv4 address (its four bytes first) or an IPv6 address, as the snapshot's address lists spell them.
// The snapshot generator uses these to draw addresses on either side of a rule's range.
struct IpAddress {
    bool v6 = false;
    std::array<std::uint8_t, 16> bytes{};
};
std::optional<IpAddress> ParseIpAddress(std::string_view text);
std::string FormatIpAddress(const IpAddress& address);

}  // namespace oracle
