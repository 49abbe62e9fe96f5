#pragma once
// What the revert does while nobody watches (armed, a watch started, confirmed, cancelled, reverted, a
// failed revert), written to the Application event log under the program's own source, with the
// program's own message table (resources/events.mc) as its message file.

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
    WatchStarted = 7,  // a watch ran, with when it will revert
};

// Registers the source with the copy under Program Files as its message file, rewriting its values
// where they differ; done once a run before the first event.
void RegisterOwnEventSource();

// (event, text): EVENTLOG_ERROR_TYPE for a failed revert, information otherwise.
using EventLogSeam = base::Seam<void(RevertEvent, const std::wstring&)>;
EventLogSeam& EventLogCall();

}  // namespace revert
