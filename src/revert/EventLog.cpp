// ReportEventW under the program's source. A source needs a message file for Event Viewer to show the
// text as the description; the source is registered with EventCreate.exe's, whose message table holds
// every event ID from 1 to 1000 as the bare insertion string "%1" (it is how `eventcreate /so` makes
// a source). Registering needs an administrator, as does everything that reports here; when it cannot
// be made, the event is still written and Event Viewer shows the text among the event's data.

#include "revert/EventLog.h"

#include "base/Handles.h"
#include "revert/PendingRevert.h"

namespace revert {
namespace {

inline void Deregister(HANDLE source) noexcept { DeregisterEventSource(source); }
using UniqueEventSource = base::UniqueHandle<HANDLE, &Deregister>;

void RegisterSource() {
    const std::wstring path =
        std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + kEventSource;
    base::UniqueRegistryKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        key.Put(), &disposition) != ERROR_SUCCESS ||
        disposition != REG_CREATED_NEW_KEY)
        return;
    const wchar_t file[] = L"%SystemRoot%\\System32\\EventCreate.exe";
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExW(key.Get(), L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(file), sizeof file);
    RegSetValueExW(key.Get(), L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
}

void Report(RevertEvent event, const std::wstring& text) {
    static const bool registered = (RegisterSource(), true);  // once a run: the key outlives it
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
