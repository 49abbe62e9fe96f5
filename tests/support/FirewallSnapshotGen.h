#pragma once
// Firewall snapshots (the format FirewallOracle.cpp describes) and packets to judge against them, drawn at
// random around one port, for property tests that hold the program's firewall model to the evaluator in
// FirewallOracle.h. Snapshots come in four kinds, so that every verdict turns up often: a plain firewall with
// the port's allow rules (a third of them, some narrowed, some closed by a block rule or "block all"), a
// firewall off in some profiles, a default action of allow, and everything at once (policy values, the
// StandardProfile key, policy rule strings, some malformed, service hardening, unreadable rules, MDM, a modify
// state other than "ok", several current profiles).

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/FirewallOracle.h"

namespace oracle {

// A random snapshot (format 1 JSON text) aimed at the port.
std::string GenerateSnapshot(std::mt19937_64& rng, std::uint16_t port);

// Packets to probe one profile and protocol at that port: addresses, remote ports, interface types and names,
// keyword memberships and authentication drawn so that they fall on both sides of the snapshot's rules (inside
// and just outside each address range, on and beside each remote port, on each rule's interfaces and on
// excluded ones, authenticated as the rules' authorized peers and not).
std::vector<Packet> DrawPackets(std::mt19937_64& rng, std::string_view snapshotUtf8, const std::string& profile,
                                int protocol, std::uint16_t port, int count);

// The second firewall review's scenarios (name, snapshot), built by hand: "N1-interface-type",
// "N1-local-address", "N1-remote-range" (a block rule narrowed), "N2-local-subnet" (an allow rule only for the
// local subnet), "N3-domain-only" (the domain profile admits, the others do not), "N4-remote-port" (the port
// named as a remote port), "N8-public-block-all" and "N8-public-no-merge" (two current profiles, Public closed).
std::vector<std::pair<std::string, std::string>> ReviewScenarios(std::uint16_t port);

}  // namespace oracle
