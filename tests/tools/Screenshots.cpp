// Renders the pictures the README shows: the splash half-way through start-up, the main window with
// remote access on and off, the task dialog that offers to open the firewall (Wine's firewall cannot
// be read, so a closed one is put behind the guard's read seam), the dialog of a port change from a
// Remote Desktop session, and the main window while a revert waits (its task and record in memory). Runs the real windows in-process under Wine, registry seeded, and
// grabs each window's pixels from the screen into a 24-bit BMP in the folder given as argument.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "guard/Probes.h"
#include "registry/RegTable.h"
#include "revert/ProgramCopy.h"
#include "revert/RevertRecord.h"
#include "revert/TaskStore.h"
#include "revert/TaskXml.h"
#include "ui/main/FormMain.h"
#include "ui/start/FormStart.h"
#include "ui/toolkit/Events.h"
#include "ui/toolkit/MessageBox.h"
#include "ui/toolkit/Session.h"

namespace {

bool SaveWindowBmp(HWND hwnd, const std::wstring& path) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header{sizeof(header), width, height, 1, 24, BI_RGB};
    const int stride = ((width * 3 + 3) / 4) * 4;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(header) + pixels.size()), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof(header)};
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    fwrite(&file, sizeof(file), 1, out);
    fwrite(&header, sizeof(header), 1, out);
    fwrite(pixels.data(), 1, pixels.size(), out);
    fclose(out);
    return true;
}

void Settle() {
    for (int i = 0; i < 20; ++i) {
        toolkit::DoEvents();
        Sleep(10);
    }
}

// The pictures must show what the registry holds: a seed that cannot be written stops the run.
void Seed(const wchar_t* port, bool allowed) {
    std::wstring text = port;
    if (!RegTable::SetRemotePort(text) || !RegTable::SetRemoteEnabled(allowed)) {
        fwprintf(stderr, L"cannot seed the registry\n");
        ExitProcess(1);
    }
}

// The firewall of a server that admits only Remote Desktop's standard port, on a public network.
guard::firewall::State StandardPortOnly() {
    guard::firewall::Rule rule;
    rule.protocol = guard::firewall::kProtocolTcp;
    rule.localPorts = L"3389";
    rule.enabled = true;
    guard::firewall::State state;
    state.known = true;
    state.currentProfiles = guard::firewall::kProfilePublic;
    // The firewall is off in the other two profiles, so the dialog shows the one hazard.
    state.profiles[0].firewallOn = state.profiles[1].firewallOn = false;
    state.rules = {rule};
    return state;
}

// A revert from 3389 to 3390 whose new port took effect just now.
void PendingRevertInMemory() {
    static const revert::PendingRevert plan{3389, 3390, 600, true};
    revert::TaskStoreCalls().Read = [](std::wstring& xml) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        xml = revert::RevertTaskXml(plan, L"C:\\Program Files\\Korvane RdpPort\\rdpport.com", now);
        return S_OK;
    };
    revert::RecordStoreCalls().Read = [](revert::RevertRecord& record) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        record = {plan, revert::UtcNowText()};
        record.effectiveAt = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        return LONG{ERROR_SUCCESS};
    };
}

std::wstring g_dialogPath;
bool g_dialogSaved = false;

// Runs inside the task dialog's own message loop: saves the dialog, then cancels it.
void CALLBACK SaveTaskDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"#32770", toolkit::kAppTitle);
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(nullptr, timer);
    Settle();
    g_dialogSaved = SaveWindowBmp(dialog, g_dialogPath);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring folder = argc > 1 ? argv[1] : L".";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Seed(L"3389", true);
    toolkit::MessageBoxCall().Set([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; });

    bool splashSaved = false;
    base::ClockCalls().Pause = [&](DWORD ms) {
        // Half-way: the status has been read and the bar has reached 3500 twips.
        if (!splashSaved && ui::FormStart::Exists() && ui::FormStart::Instance().Ctl(ui::PictureProcess).Width() == 3500) {
            Settle();
            splashSaved = SaveWindowBmp(ui::FormStart::Instance().Hwnd(), folder + L"\\splash.bmp");
        }
        Sleep(ms);
    };
    ui::FormStart::Instance().Show();
    while (ui::FormStart::Instance().IsLoaded()) {
        toolkit::DoEvents();
        Sleep(2);
    }
    ui::FormMain& main = ui::FormMain::Instance();
    Settle();
    const bool onSaved = SaveWindowBmp(main.Hwnd(), folder + L"\\main-on.bmp");
    main.Cmd_Close_Click();  // confirmed by the box stand-in above
    Settle();
    const bool offSaved = SaveWindowBmp(main.Hwnd(), folder + L"\\main-off.bmp");
    guard::FirewallReadCall().Set(&StandardPortOnly);
    g_dialogPath = folder + L"\\firewall-dialog.bmp";
    SetTimer(nullptr, 0, 300, &SaveTaskDialog);
    main.Ctl(ui::Text_NewPort).SetText(L"3390");
    main.Cmd_Change_Click();  // the dialog, cancelled by the timer above
    const bool firewallSaved = std::exchange(g_dialogSaved, false);

    guard::FirewallReadCall().Reset();
    toolkit::RemoteSessionCall().Set([] { return true; });
    revert::ConsoleBesideCall().Set([] { return std::wstring(L"C:\\Tools\\rdpport.com"); });
    g_dialogPath = folder + L"\\remote-dialog.bmp";
    SetTimer(nullptr, 0, 300, &SaveTaskDialog);
    main.Cmd_Change_Click();  // the dialog, cancelled by the timer above
    const bool remoteSaved = g_dialogSaved;

    PendingRevertInMemory();
    main.Cmd_Revert_Click();  // refused while the revert waits (the box stand-in), the line shown
    Settle();
    const bool pendingSaved = SaveWindowBmp(main.Hwnd(), folder + L"\\main-pending.bmp");
    Seed(L"3389", false);
    std::printf("splash %d, on %d, off %d, firewall dialog %d, remote dialog %d, pending %d\n", splashSaved, onSaved,
                offSaved, firewallSaved, remoteSaved, pendingSaved);
    return splashSaved && onSaved && offSaved && firewallSaved && remoteSaved && pendingSaved ? 0 : 1;
}
