// ReportEventW under the program's source. A source needs a message file for Event Viewer to show the
// text as the description: the program's own message table (resources/events.mc, every event ID's
// message its one insertion string), in the copy under Program Files that the revert's task runs,
// which stays where it is. The source's values are written again whenever they differ (an earlier
// version named another file). Registering needs an administrator, as does everything that reports
// here; when it cannot be made, the event is still written and Event Viewer shows the text among the
// event's data.

#include "revert/EventLog.h"

#include <cstring>

#include "base/Handles.h"
#include "revert/PendingRevert.h"
#include "revert/ProgramCopy.h"

namespace revert {
namespace {

inline void Deregister(HANDLE source) noexcept { DeregisterEventSource(source); }
using UniqueEventSource = base::UniqueHandle<HANDLE, &Deregister>;

// Sets a value unless it holds exactly that already.
void SetIfDifferent(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    BYTE held[1024];
    DWORD heldType = 0;
    DWORD heldSize = sizeof held;
    if (RegQueryValueExW(key, name, nullptr, &heldType, held, &heldSize) == ERROR_SUCCESS && heldType == type &&
        heldSize == size && memcmp(held, data, size) == 0)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

}  // namespace

void RegisterOwnEventSource() {
    const std::wstring path =
        std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + kEventSource;
    base::UniqueRegistryKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring file = InstalledProgramPath();
    if (file.empty()) return;
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    SetIfDifferent(key.Get(), L"EventMessageFile", REG_EXPAND_SZ, file.c_str(),
                   static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    SetIfDifferent(key.Get(), L"TypesSupported", REG_DWORD, &types, sizeof types);
}

namespace {

void Report(RevertEvent event, const std::wstring& text) {
    static const bool registered = (RegisterOwnEventSource(), true);  // once a run: the key outlives it
    (void)registered;
    const UniqueEventSource source(RegisterEventSourceW(nullptr, kEventSource));
    if (!source) return;
    const WORD type = event == RevertEvent::RevertFailed ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source.Get(), type, 0, static_cast<DWORD>(event), nullptr, 1, 0, strings, nullptr);
}

}  // namespace

EventLogSeam& EventLogCall() {
    static EventLogSeam seam(&Report);
    return seam;
}

}  // namespace revert
