// Start-up and memory probe, run under Wine in the same prefix and desktop as the programs it measures.
//
//   rdpport_bench_driver --runs N --rdpport PATH --baseline PATH
//
// Each round starts rdpport.exe and the baseline once (in alternating order, after one warm-up start
// of each that is not counted). For every start it
//   - seeds the Remote Desktop values so rdpport.exe reads a valid port and shows no warning,
//   - takes the time just before CreateProcessW and polls every millisecond for the program's own
//     top-level windows: when the splash is created and shown, when the main window is created and
//     shown (a message box of the program's before that fails the run),
//   - checks the main window's caption, lets the program finish handling the show, then reads its
//     memory counters and the DLLs it has loaded,
//   - closes it with WM_CLOSE to the main window (it must exit with code 0), and terminates it if it
//     is not gone within 5 s.
// One line per start goes to stdout ("sample LABEL N key=value ..." or "fail LABEL N reason");
// bench/run turns them into the table. The exit code is 0 only if every start succeeded.

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWindowTimeoutMs = 20000;  // process start to main window shown
constexpr DWORD kCloseTimeoutMs = 5000;    // WM_CLOSE to process gone
constexpr UINT kSendTimeoutMs = 2000;
constexpr DWORD kSettleMs = 100;  // between two starts, so Wine finishes tearing the last one down

struct Target {
    const char* label;
    std::wstring exe;
    const wchar_t* mainClass;
    const wchar_t* mainCaption;  // the caption the main window must have, or nullptr
    const wchar_t* splashClass;  // nullptr when the program has no splash
    bool seedRemoteDesktop;
};

struct Sample {
    std::string failure;  // empty when the start was measured
    double processMs = -1, splashCreatedMs = -1, splashShownMs = -1, mainCreatedMs = -1, mainShownMs = -1;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    bool memoryRead = false;
    // Once the splash has gone (the working state an administrator sees); for a program without a
    // splash, the same moment read again.
    PROCESS_MEMORY_COUNTERS_EX settled{};
    bool settledRead = false;
    std::vector<std::wstring> modules;  // file names of the DLLs loaded once the main window is shown
    std::vector<std::wstring> foreignModules;  // those loaded from neither System32 nor WinSxS
    bool closedByMessage = false;
    DWORD exitCode = 0;
};

LARGE_INTEGER g_frequency;

double MsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    for (char& c : out)
        if (c == ' ' || c == '\n' || c == '\r') c = '_';  // one token per value in the output lines
    return out;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// A Unix path from bench/run becomes Wine's Z: drive path; a Windows path is kept.
std::wstring WindowsPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') return path;
    std::wstring out = L"Z:";
    for (const wchar_t c : path) out += c == L'/' ? L'\\' : c;
    return out;
}

// The first top-level window of the class that belongs to the process, shown or not.
HWND FindOwnWindow(const wchar_t* className, DWORD processId) {
    HWND window = nullptr;
    for (int guard = 0; guard < 256; ++guard) {
        window = FindWindowExW(nullptr, window, className, nullptr);
        if (!window) return nullptr;
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied))
        return {};
    return std::wstring(text, copied < 512 ? copied : 511);
}

// Writes one REG_DWORD under HKLM and reads it back.
bool SeedDword(const wchar_t* subKey, const wchar_t* name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    DWORD stored = ~value, type = 0, size = sizeof(stored);
    const bool ok =
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS &&
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && stored == value;
    RegCloseKey(key);
    return ok;
}

// A server as rdpport.exe expects to find it: port 3389 at both port keys, connections refused.
bool SeedRemoteDesktop() {
    const wchar_t* ts = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
    return SeedDword((std::wstring(ts) + L"\\WinStations\\RDP-Tcp").c_str(), L"PortNumber", 3389) &&
           SeedDword((std::wstring(ts) + L"\\Wds\\rdpwd\\Tds\\tcp").c_str(), L"PortNumber", 3389) &&
           SeedDword(ts, L"fDenyTSConnections", 1);
}

void ReadModules(HANDLE process, Sample& sample) {
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModulesEx(process, modules, sizeof(modules), &needed, LIST_MODULES_ALL)) return;
    // Windows' own DLLs come from System32, or from WinSxS for side-by-side ones (Common Controls 6).
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    const std::wstring systemPrefix = Lower(std::wstring(folder, length)) + L"\\";
    length = GetWindowsDirectoryW(folder, MAX_PATH);
    const std::wstring sideBySidePrefix = Lower(std::wstring(folder, length)) + L"\\winsxs\\";
    const size_t count = needed / sizeof(HMODULE) < 512 ? needed / sizeof(HMODULE) : 512;
    for (size_t i = 1; i < count; ++i) {  // the first module is the exe itself
        wchar_t path[MAX_PATH] = {};
        const DWORD pathLength = GetModuleFileNameExW(process, modules[i], path, MAX_PATH);
        if (pathLength == 0) continue;
        const std::wstring full(path, pathLength);
        const size_t slash = full.find_last_of(L"\\/");
        const std::wstring name = slash == std::wstring::npos ? full : full.substr(slash + 1);
        sample.modules.push_back(Lower(name));
        const std::wstring lower = Lower(full);
        if (lower.rfind(systemPrefix, 0) != 0 && lower.rfind(sideBySidePrefix, 0) != 0)
            sample.foreignModules.push_back(full);
    }
}

// Closes the program through its main window; terminates it if it is not gone in time.
void Close(const PROCESS_INFORMATION& info, HWND mainWindow, Sample& sample) {
    if (mainWindow && IsWindow(mainWindow)) PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    if (mainWindow && WaitForSingleObject(info.hProcess, kCloseTimeoutMs) == WAIT_OBJECT_0) {
        sample.closedByMessage = true;
    } else {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, kCloseTimeoutMs);
    }
    GetExitCodeProcess(info.hProcess, &sample.exitCode);
}

// Waits (bounded) until the splash window is gone and the program takes messages again, then reads the
// memory counters once more.
void ReadSettledMemory(const PROCESS_INFORMATION& info, const Target& target, HWND mainWindow, Sample& sample) {
    const LARGE_INTEGER since = [] {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return now;
    }();
    while (target.splashClass && FindOwnWindow(target.splashClass, info.dwProcessId) && MsSince(since) < kWindowTimeoutMs)
        Sleep(1);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored)) return;
    sample.settled.cb = sizeof(sample.settled);
    sample.settledRead = GetProcessMemoryInfo(info.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&sample.settled),
                                              sizeof(sample.settled)) != 0;
}

Sample Measure(const Target& target) {
    Sample sample;
    if (target.seedRemoteDesktop && !SeedRemoteDesktop()) {
        sample.failure = "could_not_seed_the_Remote_Desktop_values";
        return sample;
    }
    std::wstring commandLine = L"\"" + target.exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(target.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        sample.failure = "CreateProcessW_error_" + std::to_string(GetLastError());
        return sample;
    }
    sample.processMs = MsSince(start);

    HWND splash = nullptr, mainWindow = nullptr;
    while (sample.failure.empty()) {
        if (target.splashClass && sample.splashShownMs < 0) {
            if (!splash) {
                splash = FindOwnWindow(target.splashClass, info.dwProcessId);
                if (splash) sample.splashCreatedMs = MsSince(start);
            }
            if (splash && IsWindowVisible(splash)) sample.splashShownMs = MsSince(start);
        }
        if (!mainWindow) {
            mainWindow = FindOwnWindow(target.mainClass, info.dwProcessId);
            if (mainWindow) sample.mainCreatedMs = MsSince(start);
        }
        if (mainWindow && IsWindowVisible(mainWindow)) {
            sample.mainShownMs = MsSince(start);
            break;
        }
        if (HWND box = FindOwnWindow(L"#32770", info.dwProcessId); box && IsWindowVisible(box)) {
            HWND text = GetDlgItem(box, 0xFFFF);
            sample.failure = "message_box_before_the_main_window:" + Narrow(text ? TextOf(text) : TextOf(box));
        } else if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(info.hProcess, &code);
            sample.failure = "exited_before_the_main_window_was_shown,_code_" + std::to_string(code);
        } else if (MsSince(start) > kWindowTimeoutMs) {
            sample.failure = "no_main_window_within_" + std::to_string(kWindowTimeoutMs) + "_ms";
        } else {
            Sleep(1);
        }
    }

    if (sample.failure.empty() && target.mainCaption && TextOf(mainWindow) != target.mainCaption)
        sample.failure = "unexpected_main_caption:" + Narrow(TextOf(mainWindow));
    if (sample.failure.empty()) {
        // Returns once the program takes messages again after the show: the memory below is read
        // from a program that has finished showing its window, not one half-way through it.
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored))
            sample.failure = "main_window_not_responding";
    }
    if (sample.failure.empty()) {
        sample.memory.cb = sizeof(sample.memory);
        sample.memoryRead =
            GetProcessMemoryInfo(info.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&sample.memory),
                                 sizeof(sample.memory)) != 0;
        ReadModules(info.hProcess, sample);
        ReadSettledMemory(info, target, mainWindow, sample);
    }

    Close(info, mainWindow, sample);
    if (sample.failure.empty() && !sample.closedByMessage) sample.failure = "did_not_exit_on_WM_CLOSE_within_5_s";
    if (sample.failure.empty() && sample.exitCode != 0)
        sample.failure = "exit_code_" + std::to_string(sample.exitCode) + "_after_WM_CLOSE";
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return sample;
}

void Report(const char* kind, const Target& target, int run, const Sample& sample) {
    if (!sample.failure.empty()) {
        std::printf("fail %s %d %s\n", target.label, run, sample.failure.c_str());
        std::fflush(stdout);
        return;
    }
    // A milestone the polling never saw (a window created and shown between two polls is seen once).
    const auto ms = [](const char* key, double value) {
        if (value < 0) std::printf(" %s=n/a", key);
        else std::printf(" %s=%.2f", key, value);
    };
    std::printf("%s %s %d", kind, target.label, run);
    ms("process_ms", sample.processMs);
    if (target.splashClass) {
        ms("splash_created_ms", sample.splashCreatedMs);
        ms("splash_shown_ms", sample.splashShownMs);
    }
    ms("main_created_ms", sample.mainCreatedMs);
    ms("main_shown_ms", sample.mainShownMs);
    if (sample.memoryRead)
        std::printf(" peak_ws=%llu ws=%llu private=%llu pagefile=%llu",
                    static_cast<unsigned long long>(sample.memory.PeakWorkingSetSize),
                    static_cast<unsigned long long>(sample.memory.WorkingSetSize),
                    static_cast<unsigned long long>(sample.memory.PrivateUsage),
                    static_cast<unsigned long long>(sample.memory.PagefileUsage));
    else
        std::printf(" memory=unreadable");
    if (sample.settledRead)
        std::printf(" settled_ws=%llu settled_private=%llu settled_pagefile=%llu",
                    static_cast<unsigned long long>(sample.settled.WorkingSetSize),
                    static_cast<unsigned long long>(sample.settled.PrivateUsage),
                    static_cast<unsigned long long>(sample.settled.PagefileUsage));
    std::string foreign;
    for (const std::wstring& path : sample.foreignModules) foreign += (foreign.empty() ? "" : ",") + Narrow(path);
    std::printf(" dlls=%zu foreign_dlls=%s exit=%lu\n", sample.modules.size(), foreign.empty() ? "-" : foreign.c_str(),
                static_cast<unsigned long>(sample.exitCode));
    std::fflush(stdout);
}

void ReportModules(const Target& target, const Sample& sample) {
    std::string names;
    for (const std::wstring& name : sample.modules) names += (names.empty() ? "" : ",") + Narrow(name);
    std::printf("dlls %s %s\n", target.label, names.empty() ? "-" : names.c_str());
    std::fflush(stdout);
}

int Usage() {
    std::fprintf(stderr, "usage: rdpport_bench_driver --runs N --rdpport PATH --baseline PATH [--before PATH]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 0;
    std::wstring rdpportExe, baselineExe, beforeExe;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i], value = argv[i + 1];
        if (option == L"--runs") runs = _wtoi(value.c_str());
        else if (option == L"--rdpport") rdpportExe = WindowsPath(value);
        else if (option == L"--baseline") baselineExe = WindowsPath(value);
        else if (option == L"--before") beforeExe = WindowsPath(value);
        else return Usage();
    }
    if (argc % 2 == 0 || runs < 1 || rdpportExe.empty() || baselineExe.empty()) return Usage();
    QueryPerformanceFrequency(&g_frequency);

    std::vector<Target> targets = {
        {"rdpport", rdpportExe, L"KorvaneRdpPortMain", L"Korvane远程端口修改软件 - korvane.example",
         L"KorvaneRdpPortStart", true},
        {"baseline", baselineExe, L"RdpPortBenchBaseline", L"baseline", nullptr, false},
    };
    // An earlier build of rdpport.exe, measured in the same rounds: before and after a change.
    if (!beforeExe.empty())
        targets.push_back({"before", beforeExe, L"KorvaneRdpPortMain", L"Korvane远程端口修改软件 - korvane.example",
                           L"KorvaneRdpPortStart", true});
    const size_t count = targets.size();

    bool allOk = true;
    for (const Target& target : targets) {  // the first start after the server came up is slower
        const Sample sample = Measure(target);
        Report("warmup", target, 0, sample);
        allOk = allOk && sample.failure.empty();
        Sleep(kSettleMs);
    }
    std::vector<bool> modulesReported(count, false);
    for (int run = 1; run <= runs; ++run) {
        for (size_t k = 0; k < count; ++k) {
            const size_t which = (k + static_cast<size_t>(run)) % count;  // each program leads a round in turn
            const Sample sample = Measure(targets[which]);
            Report("sample", targets[which], run, sample);
            if (sample.failure.empty() && !modulesReported[which]) {
                ReportModules(targets[which], sample);
                modulesReported[which] = true;
            }
            allOk = allOk && sample.failure.empty();
            Sleep(kSettleMs);
        }
    }
    return allOk ? 0 : 1;
}
