#pragma once
// Whether the process a watch reported in with is still that watch: running, and rdpport.com.

#include <windows.h>

#include "base/Seam.h"

namespace revert {

using WatchRunningSeam = base::Seam<bool(DWORD pid)>;
WatchRunningSeam& WatchRunningCall();

}  // namespace revert
