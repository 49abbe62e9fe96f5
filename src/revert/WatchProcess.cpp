#include "revert/WatchProcess.h"

#include <string_view>

#include "base/Handles.h"

namespace revert {
namespace {

// Running, and its image rdpport.com (a process number is reused once its process is gone).
bool Running(DWORD pid) {
    if (pid == 0) return false;
    const base::UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
    if (!process || WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT) return false;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process.Get(), 0, image, &size)) return false;
    const std::wstring_view path(image, size);
    constexpr std::wstring_view kName = L"\\rdpport.com";
    return path.size() >= kName.size() &&
           CompareStringOrdinal(path.data() + path.size() - kName.size(), static_cast<int>(kName.size()), kName.data(),
                                static_cast<int>(kName.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

WatchRunningSeam& WatchRunningCall() {
    static WatchRunningSeam seam(&Running);
    return seam;
}

}  // namespace revert
