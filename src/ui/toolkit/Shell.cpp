#include "ui/toolkit/Shell.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shobjidl.h>

#include "base/ComApartment.h"
#include "base/ComValues.h"
#include "base/Handles.h"
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

// The shell's own ids, as shldisp.h and shlguid.h give them (those need initguid.h in one unit).
constexpr CLSID kClsidShellWindows = {0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};
constexpr GUID kSidTopLevelBrowser = {0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

template <class I>
HRESULT Query(IUnknown* from, base::ComPtr<I>& to) {
    return from->QueryInterface(__uuidof(I), to.PutVoid());
}

// The desktop window's folder view answers for Explorer, which runs unelevated: its Application is
// the shell's automation object (Raymond Chen, "How can I launch an unelevated process from my
// elevated process and vice versa?", devblogs.microsoft.com/oldnewthing/20131118-00/?p=2643;
// IShellWindows::FindWindowSW, IShellFolderViewDual::get_Application, IShellDispatch2::ShellExecute on
// learn.microsoft.com).
HRESULT DesktopShell(base::ComPtr<IShellDispatch2>& shell) {
    base::EnsureComApartment();
    base::ComPtr<IShellWindows> windows;
    HRESULT hr = CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                  windows.PutVoid());
    if (FAILED(hr)) return hr;
    base::ScopedVariant nowhere, root;
    long window = 0;
    base::ComPtr<IDispatch> desktop;
    hr = windows->FindWindowSW(nowhere.Get(), root.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Put());
    if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;  // S_FALSE: no desktop window
    base::ComPtr<IServiceProvider> services;
    base::ComPtr<IShellBrowser> browser;
    base::ComPtr<IShellView> view;
    base::ComPtr<IDispatch> background, application;
    base::ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(hr = Query(desktop.Get(), services))) return hr;
    if (FAILED(hr = services->QueryService(kSidTopLevelBrowser, __uuidof(IShellBrowser), browser.PutVoid()))) return hr;
    if (FAILED(hr = browser->QueryActiveShellView(view.Put()))) return hr;
    if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.PutVoid()))) return hr;
    if (FAILED(hr = Query(background.Get(), folderView))) return hr;
    if (FAILED(hr = folderView->get_Application(application.Put()))) return hr;
    return Query(application.Get(), shell);
}

HRESULT ShellExecuteOnDesktop(const std::wstring& file, const std::wstring& verb, int show) {
    base::ComPtr<IShellDispatch2> shell;
    if (const HRESULT hr = DesktopShell(shell); FAILED(hr)) return hr;
    const base::UniqueBstr path(SysAllocString(file.c_str()));
    base::ScopedVariant none, folder, operation, showCommand;
    operation.Get()->vt = VT_BSTR;
    operation.Get()->bstrVal = SysAllocString(verb.c_str());
    showCommand.Get()->vt = VT_I4;
    showCommand.Get()->lVal = show;
    return shell->ShellExecute(path.Get(), *none.Get(), *folder.Get(), *operation.Get(), *showCommand.Get());
}

}  // namespace

DesktopShellSeam& DesktopShellExecuteCall() {
    static DesktopShellSeam seam(&ShellExecuteOnDesktop);
    return seam;
}

ShellExecuteSeam& ShellExecuteCall() {
    static ShellExecuteSeam seam(&ShellExecuteFromSystem32);
    return seam;
}

EndProgramSeam& EndProgramCall() {
    static EndProgramSeam seam([](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); });
    return seam;
}

}  // namespace toolkit
