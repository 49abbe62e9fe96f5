#pragma once
// A saved copy of everything the firewall verdicts rest on: the state the reader fills, as UTF-8 JSON
// ("rdpport-firewall-snapshot", version 1). The administrator's `firewall --export` writes one; support
// judges it with `firewall --from` on any machine, through the same model. Reading is strict: a field of
// the wrong type, or a value outside its set, refuses the whole file with the field's path.

#include <optional>
#include <string>
#include <string_view>

#include "guard/FirewallModel.h"

namespace guard::firewall {

// The snapshot of a known state (UTF-8, ASCII only: everything else is \u-escaped).
std::string SnapshotJson(const State& state);

struct SnapshotReading {
    std::optional<State> state;  // known, when the file is a snapshot
    std::wstring error;          // else why: the line and column, or the field's path
};
SnapshotReading ReadSnapshot(std::string_view utf8);

}  // namespace guard::firewall
