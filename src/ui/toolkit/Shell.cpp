#include "ui/toolkit/Shell.h"

#include <shellapi.h>

#include "base/SystemLibrary.h"

namespace toolkit {

namespace {

// shell32 is large and only needed when the user opens the maker's page: it is loaded then, and
// only from System32.
HINSTANCE ShellExecuteFromSystem32(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                   INT show) {
    static const auto shellExecute = base::SystemFunctionAs<decltype(ShellExecuteA)>(L"shell32.dll", "ShellExecuteA");
    if (!shellExecute) return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
    return shellExecute(owner, verb, file, parameters, directory, show);
}

}  // namespace

ShellExecuteSeam& ShellExecuteCall() {
    static ShellExecuteSeam seam(&ShellExecuteFromSystem32);
    return seam;
}

EndProgramSeam& EndProgramCall() {
    static EndProgramSeam seam([](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); });
    return seam;
}

}  // namespace toolkit
