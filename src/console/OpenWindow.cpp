#include "console/OpenWindow.h"

#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "base/ProgramPath.h"
#include "base/SystemLibrary.h"

namespace console {
namespace {

// shell32 is large and needed only here: it is loaded now, and only from System32.
DWORD OpenWithShell(const std::wstring& path) {
    const auto shellExecuteEx = base::SystemFunctionAs<decltype(ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecuteEx) return GetLastError();
    // The shell may hand the work to COM objects; Microsoft asks callers to initialise COM first.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // NOASYNC: this program ends right after the call, which must not cut the start short.
    // FLAG_NO_UI: a failure is reported on the console, not in a box.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    const DWORD status = shellExecuteEx(&info) ? ERROR_SUCCESS : GetLastError();
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}

}  // namespace

std::wstring WindowProgramPath() {
    std::wstring path = base::RunningProgramPath();
    const size_t slash = path.find_last_of(L"\\/");
    path.erase(slash == std::wstring::npos ? 0 : slash + 1);
    return path + L"rdpport.exe";
}

StartProgramSeam& StartProgramCall() {
    static StartProgramSeam seam(&OpenWithShell);
    return seam;
}

}  // namespace console
