// The lockout guard's cost per command, measured in-process under Wine against two baselines timed in
// the same run:
//   - the window's refresh (the deny flag and the port read from the registry), which every command
//     that writes already pays;
//   - one system message box shown and dismissed at once, which is what the guard adds when it warns.
// The guard is timed twice: (a) with a fake firewall of 5,000 rules through its seam (none admits the
// port, so every rule is looked at and the verdict is "closed"), the other checks real; (b) with every
// check real (Wine's sockets and listener tables; Wine's firewall cannot be read).
//
//   rdpport_bench_guard [--runs N]     (bench/guard builds and runs it)
//
// Each figure is the median (min-max) of N calls (default 20) after one warm-up call, whose time is
// shown as the cold start (Winsock, the IP helper and COM loaded on first use). Exit code 0 when every
// goal is met, 1 when one is not, 2 when something could not be measured.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "guard/Guard.h"
#include "guard/Probes.h"
#include "settings/SettingsCore.h"

namespace {

namespace fw = guard::firewall;

constexpr int kRules = 5000;
// The guard may cost at most this share of one message box per command: it must not be noticed.
constexpr double kGoalShareOfBox = 0.5;

double NowUs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / frequency;
}

struct Figure {
    double cold = 0, median = 0, low = 0, high = 0;
};

Figure Measure(int runs, const std::function<void()>& body) {
    Figure figure;
    double start = NowUs();
    body();
    figure.cold = NowUs() - start;
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        start = NowUs();
        body();
        samples.push_back(NowUs() - start);
    }
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    figure.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    figure.low = samples.front();
    figure.high = samples.back();
    return figure;
}

// Rules like a busy server's: single ports, lists and ranges, some for one program, some blocking
// other ports, all enabled, inbound and for TCP (what the reader keeps), none admitting port 3390.
fw::State BusyFirewall() {
    fw::State state{true, {{fw::kProfileDomain, true, false, false}, {fw::kProfilePublic, true, false, false}}, {}};
    for (int i = 0; i < kRules; ++i) {
        fw::Rule rule;
        rule.protocol = i % 7 == 0 ? fw::kProtocolAny : fw::kProtocolTcp;
        const int port = 10000 + i * 10;
        rule.localPorts = i % 7 == 0   ? L"RPC"
                          : i % 5 == 0 ? std::to_wstring(port) + L"-" + std::to_wstring(port + 9)
                          : i % 3 == 0 ? L"80,443," + std::to_wstring(port)
                                       : std::to_wstring(port);
        rule.enabled = true;
        rule.action = i % 11 == 0 ? fw::Action::Block : fw::Action::Allow;
        rule.profiles = i % 2 ? fw::kProfileAll : fw::kProfileDomain;
        if (i % 4 == 0) rule.applicationName = L"C:\\Program Files\\App" + std::to_wstring(i) + L"\\server.exe";
        if (i % 9 == 0) rule.serviceName = L"termservice";
        state.rules.push_back(std::move(rule));
    }
    return state;
}

// Dismisses the message box as soon as it is activated, from inside its own modal loop.
LRESULT CALLBACK DismissBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        wchar_t name[16] = {};
        GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16);
        if (std::wcscmp(name, L"#32770") == 0) PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void ShowAndDismissBox() {
    HHOOK hook = SetWindowsHookExW(WH_CBT, &DismissBox, nullptr, GetCurrentThreadId());
    MessageBoxW(nullptr, L"端口 3390 已被其他程序占用。\r\n\r\n仍要继续吗？", L"rdpport bench", MB_OKCANCEL | MB_ICONWARNING);
    UnhookWindowsHookEx(hook);
}

void Row(const char* name, const Figure& f, const Figure& box, bool withGoal, int& failed) {
    const double share = f.median / box.median;
    const bool met = share <= kGoalShareOfBox;
    if (withGoal && !met) ++failed;
    std::printf("%-44s %10.1f %10.1f %10.1f %10.1f %8.3f  %s\n", name, f.median, f.low, f.high, f.cold, share,
                withGoal ? (met ? "yes" : "NO") : "-");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 20;
    if (argc == 3 && std::wcscmp(argv[1], L"--runs") == 0) runs = std::max(5, _wtoi(argv[2]));
    if (settings::WritePort(3389).FirstFailure() != ERROR_SUCCESS || settings::WriteDenyFlag(false) != ERROR_SUCCESS) {
        std::printf("fail: could not seed the Remote Desktop values\n");
        return 2;
    }
    const fw::State busy = BusyFirewall();
    int sink = 0;  // keeps results alive so nothing is optimised away

    const Figure refresh = Measure(runs, [&] {
        sink += static_cast<int>(settings::ReadDenyFlag().text.size());
        sink += settings::ReadPort().Ok();
    });
    const Figure box = Measure(runs, &ShowAndDismissBox);
    if (box.median <= 0) {
        std::printf("fail: the message box could not be timed\n");
        return 2;
    }
    Figure real[3], fake[3];
    const std::function<void()> commands[3] = {
        [&] { sink += static_cast<int>(guard::CheckPortChange(3390, 3389).size()); },
        [&] { sink += static_cast<int>(guard::CheckTurnOn(3389).size()); },
        [&] { sink += static_cast<int>(guard::CheckTurnOff().size()); },
    };
    for (int i = 0; i < 3; ++i) real[i] = Measure(runs, commands[i]);
    const Figure verdict = Measure(runs, [&] { sink += static_cast<int>(fw::VerdictFor(busy, 3390)); });
    {
        base::ScopedSeam<guard::FirewallReadSeam> firewall(guard::FirewallReadCall(), [&] { return busy; });
        if (guard::FirewallVerdictFor(3390) != guard::FirewallVerdict::Closed) {
            std::printf("fail: the fake firewall does not read as closed\n");
            return 2;
        }
        for (int i = 0; i < 3; ++i) fake[i] = Measure(runs, commands[i]);
    }

    std::printf("lockout guard, time per call in microseconds: median, min and max of %d calls after one cold call\n",
                runs);
    std::printf("%-44s %10s %10s %10s %10s %8s  %s\n", "", "median", "min", "max", "cold", "/box", "goal met?");
    int failed = 0;
    Row("baseline: the window's registry refresh", refresh, box, false, failed);
    Row("baseline: one message box shown, dismissed", box, box, false, failed);
    Row("(a) port change, fake firewall, 5000 rules", fake[0], box, true, failed);
    Row("(a) turn on, fake firewall, 5000 rules", fake[1], box, true, failed);
    Row("(a) turn off (no firewall check)", fake[2], box, true, failed);
    Row("    the verdict alone over 5000 rules", verdict, box, false, failed);
    Row("(b) port change, Wine's real checks", real[0], box, true, failed);
    Row("(b) turn on, Wine's real checks", real[1], box, true, failed);
    Row("(b) turn off, Wine's real checks", real[2], box, true, failed);
    std::printf("goal: each command's checks take at most %.2f of one message box (median against median)\n",
                kGoalShareOfBox);
    std::printf("(a) copies the 5000 records out of the seam on every call, as the real reader builds them anew\n");
    std::printf("guard/refresh, median: (a) port change %.1fx, (b) port change %.1fx   [sink %d]\n",
                fake[0].median / refresh.median, real[0].median / refresh.median, sink % 10);
    return failed ? 1 : 0;
}
