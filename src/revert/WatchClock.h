#pragma once
// The watch's rhythm: how often it looks, retries and how soon it may revert. Its pauses and its time
// are the program's one clock (base/Clock.h).

#include <windows.h>

#include "base/Clock.h"

namespace revert {

// How often the watch looks for the administrator (at most every 5 s: a logon is seen while the
// administrator is still in it).
inline constexpr DWORD kWatchIntervalMs = 3000;
// How often a revert that failed is tried again while it is due.
inline constexpr DWORD kRevertRetryMs = 30000;
// However its countdown stands, a watch started again never reverts sooner than this after its own
// start (the wall clock may have jumped).
inline constexpr ULONGLONG kLeastWatchMs = 120000;
using base::kFileTimePerMs;

}  // namespace revert
