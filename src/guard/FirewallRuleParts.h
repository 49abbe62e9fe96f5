#pragma once
// What the firewall model's parts share about a rule's text: trimming, ASCII case, port numbers and
// ranges, and whether a rule is narrowed to some connections.

#include <cstdint>
#include <string_view>

#include "guard/FirewallModel.h"

namespace guard::firewall {

std::wstring_view Trimmed(std::wstring_view text);
// Firewall names and keywords are ASCII: a fold of A-Z is enough and does not depend on the locale.
bool SameNoCase(std::wstring_view a, std::wstring_view b);
// "*" or nothing: every port or address.
bool Any(std::wstring_view list);
// One port number, digits only (spaces and tabs around them are trimmed), at most 65535.
bool ParsePort(std::wstring_view text, std::uint32_t& port);
// One port number ("3389") or a range of two ("3000-4000"), digits only, at most 65535.
bool ParsePortRange(std::wstring_view text, std::uint32_t& low, std::uint32_t& high);
// Limited to some peers, ports, addresses, interfaces or users: such a rule concerns some connections only.
bool Narrowed(const Rule& rule);

}  // namespace guard::firewall
