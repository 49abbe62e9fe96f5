#pragma once
// What the revert does while nobody watches (armed, confirmed, cancelled, reverted, a failed revert),
// written to the Application event log under the program's own source.

#include <windows.h>

#include <string>

#include "base/Seam.h"

namespace revert {

enum class RevertEvent : WORD {
    Armed = 1,
    Confirmed = 2,
    Cancelled = 3,
    Reverted = 4,
    Superseded = 5,
    RevertFailed = 6,
};

// (event, text): EVENTLOG_ERROR_TYPE for a failed revert, information otherwise.
using EventLogSeam = base::Seam<void(RevertEvent, const std::wstring&)>;
EventLogSeam& EventLogCall();

}  // namespace revert
