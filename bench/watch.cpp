// Weighs rdpport.com's watch while it waits, next to the idle baseline (bench/idle.cpp), under Wine.
//
//   rdpport_bench_watch --com PATH --idle PATH --seconds N
//
// Starts `rdpport.com watch --from 3389 --to 3390 --revert-after 600s` (a revert must be pending, or
// the watch ends at once: bench/watch arms one first) and the baseline side by side, lets both run for
// N seconds, then reads each one's memory (GetProcessMemoryInfo: working set and its peak) and ends
// them. One line per program: "sample LABEL working_set_kib=... peak_working_set_kib=..."; the exit code
// is 0 only when both were still running when weighed. (Their CPU time is read by bench/watch from
// Linux: Wine's GetProcessTimes gives no other process's times.)

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Child {
    const char* label;
    PROCESS_INFORMATION process{};
};

bool Start(Child& child, std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &child.process) != FALSE;
}

bool Weigh(const Child& child) {
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(child.process.hProcess, &exitCode) || exitCode != STILL_ACTIVE) {
        std::printf("fail %s ended early (exit %lu)\n", child.label, exitCode);
        return false;
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(child.process.hProcess, &memory, sizeof memory)) {
        std::printf("fail %s cannot be weighed (error %lu)\n", child.label, GetLastError());
        return false;
    }
    std::printf("sample %s working_set_kib=%zu peak_working_set_kib=%zu\n", child.label,
                memory.WorkingSetSize / 1024, memory.PeakWorkingSetSize / 1024);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring com, idle;
    unsigned long seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--com") com = argv[i + 1];
        if (name == L"--idle") idle = argv[i + 1];
        if (name == L"--seconds") seconds = std::wcstoul(argv[i + 1], nullptr, 10);
    }
    if (com.empty() || idle.empty() || seconds < 10) {
        std::fprintf(stderr, "usage: rdpport_bench_watch --com PATH --idle PATH --seconds N (N >= 10)\n");
        return 2;
    }
    Child watch{"watch"};
    Child baseline{"idle"};
    if (!Start(watch, L"\"" + com + L"\" watch --from 3389 --to 3390 --revert-after 600s") ||
        !Start(baseline, L"\"" + idle + L"\" " + std::to_wstring(seconds + 30))) {
        std::printf("fail start error %lu\n", GetLastError());
        return 1;
    }
    Sleep(seconds * 1000);
    const bool ok = Weigh(watch) & Weigh(baseline);
    for (const Child* child : {&watch, &baseline}) {
        TerminateProcess(child->process.hProcess, 0);
        WaitForSingleObject(child->process.hProcess, 5000);
        CloseHandle(child->process.hProcess);
        CloseHandle(child->process.hThread);
    }
    return ok ? 0 : 1;
}
