#include "support/SimulatedServer.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>

#include "base/Clock.h"
#include "console/Console.h"
#include "console/GuardCalls.h"
#include "guard/ServiceRestart.h"
#include "revert/Connections.h"
#include "revert/EventLog.h"
#include "revert/ProgramCopy.h"
#include "revert/RevertRecord.h"
#include "revert/Sessions.h"
#include "revert/TaskStore.h"
#include "settings/RegistryApi.h"
#include "settings/WriteLock.h"
#include "support/ConsoleKit.h"
#include "support/RegistryKit.h"
#include "support/RevertKit.h"
#include "ui/main/SafeChange.h"

namespace testkit {

const char* NameOf(SimEvent event) {
    static const char* const kNames[] = {
        "restart the computer",           "kill the watch", "a probe connects",
        "the administrator logs on",      "confirm",        "another writer holds the lock",
        "TermService's next start fails", "time passes"};
    return kNames[static_cast<int>(event)];
}

namespace {

constexpr std::uint16_t kFrom = 3389;
constexpr std::uint16_t kTo = 3390;
constexpr ULONGLONG kUtcAtZero = 134411979000000000ULL;  // 2026-12-08T10:05:00Z
constexpr long long kDownMs = 30000;                     // a restart of the computer: down so long
constexpr DWORD kStopMs = 1000;                          // TermService stops ...
constexpr DWORD kStartMs = 2000;                         // ... and starts
constexpr long long kLogonMs = 5000;
constexpr DWORD kLockLookMs = 500;         // how often a writer waiting for the lock looks at it
constexpr DWORD kHoldMs = 60000;           // another writer's hold
constexpr long long kQuietMs = 60000;      // how far time passes when nothing is due
constexpr long long kLastMomentMs = 1000;  // the revert's deadline is first approached to this
constexpr long long kLeastRunMs = 120000;  // a watch started again never reverts sooner than this

struct Killed {};  // thrown from a pause: the process ends there

// A thread that runs one process after another: starting a thread costs Wine more than most runs.
class Worker {
public:
    Worker()
        : m_thread([this] {
              for (;;) {
                  WaitForSingleObject(turn, INFINITE);
                  const std::function<void()> run = std::move(job);
                  if (!run) return;
                  run();
              }
          }) {}
    ~Worker() {
        job = nullptr;
        SetEvent(turn);
        m_thread.join();
        CloseHandle(turn);
    }
    HANDLE turn = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::function<void()> job;  // the next process; none: the worker ends

private:
    std::thread m_thread;
};

std::vector<std::unique_ptr<Worker>>& IdleWorkers() {
    static std::vector<std::unique_ptr<Worker>> idle;
    return idle;
}

struct Process {
    int id = 0;
    std::string name;
    bool watch = false;
    std::function<void(Process&)> body;
    std::unique_ptr<Worker> worker;
    long long wakeAt = 0;
    std::uint64_t order = 0;  // among processes due at the same moment, who asked first
    bool kill = false, done = false, killed = false;
    bool retrying = false;  // a watch whose revert failed and that goes on trying
    std::string result;
};

thread_local Process* t_current = nullptr;

std::string Seconds(long long ms) {
    char text[32];
    std::snprintf(text, sizeof text, "t=%lld.%llds", ms / 1000, (ms % 1000 + 1000) % 1000 / 100);
    return text;
}

// The inner text of the first element of that name, and what follows it.
std::optional<std::wstring> Inner(std::wstring_view xml, std::wstring_view name, std::wstring_view* rest = nullptr) {
    const std::wstring open = L"<" + std::wstring(name) + L">", close = L"</" + std::wstring(name) + L">";
    const size_t from = xml.find(open);
    const size_t to = from == std::wstring_view::npos ? from : xml.find(close, from);
    if (to == std::wstring_view::npos) return std::nullopt;
    if (rest) *rest = xml.substr(to + close.size());
    return std::wstring(xml.substr(from + open.size(), to - from - open.size()));
}

std::vector<std::wstring> All(std::wstring_view xml, std::wstring_view name) {
    std::vector<std::wstring> found;
    while (std::optional<std::wstring> inner = Inner(xml, name, &xml)) found.push_back(*inner);
    return found;
}

// An XML duration: "PT5M", "P1DT2H".
long long DurationMs(const std::wstring& text) {
    long long ms = 0, n = 0;
    bool time = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            n = n * 10 + (c - L'0');
            continue;
        }
        time = time || c == L'T';
        ms += n * (c == L'D'   ? 86400000
                   : c == L'H' ? 3600000
                   : c == L'M' ? (time ? 60000 : 2592000000)
                   : c == L'S' ? 1000
                               : 0);
        n = 0;
    }
    return ms;
}

LONGLONG FileTimeOf(const SYSTEMTIME& t) {
    FILETIME f{};
    SystemTimeToFileTime(&t, &f);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
}

std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    for (size_t at = 0; (at = text.find_first_not_of(L' ', at)) != std::wstring::npos;) {
        const size_t end = std::min(text.find(L' ', at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

}  // namespace

struct SimulatedServer::Model {
    SimSetup setup;
    long long now = 0;  // ms
    ULONGLONG bootedAt = kUtcAtZero - 3600ULL * 10000000ULL;
    std::uint64_t order = 0;
    std::uint64_t changes = 0;    // of the machine's state (registry, service, task, record, sessions, log)
    std::uint64_t lifecycle = 0;  // processes started and ended
    int nextId = 1;
    HANDLE driverTurn = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::vector<std::unique_ptr<Process>> processes;
    std::vector<Process*> lockQueue;  // writers waiting for the lock, first come first served

    bool running = true;  // TermService
    std::uint16_t listener = kFrom;
    bool failNextStart = false;
    bool failedAtBoot = false;

    struct Connection {
        std::uint16_t port;
        revert::Session session;
        bool admin;
    };
    std::vector<Connection> connections;
    DWORD nextSession = 2;

    struct TimeTrigger {
        long long startMs;
        long long intervalMs;  // 0: once
    };
    struct Task {
        std::wstring xml;
        bool registration = false, boot = false, ignoreNew = true;
        std::vector<TimeTrigger> times;
        long long ticksAfter = 0;  // the time triggers' moments up to this one are past
    };
    std::optional<Task> task;
    std::optional<revert::RevertRecord> record;

    bool changed = false;  // set-port made the change (and armed its revert)
    bool confirmed = false;
    int settleRestarts = 0;
    std::vector<std::string> violations;
    std::vector<std::string> history;

    // What the model replaces, put back at the end.
    settings::RegistryApi registry = settings::Registry();
    console::GuardApi guard = console::Guard();
    revert::TaskStore tasks = revert::TaskStoreCalls();
    revert::RecordStore records = revert::RecordStoreCalls();
    base::Clock clock = base::ClockCalls();

    static ULONGLONG Utc(long long ms) {
        return static_cast<ULONGLONG>(static_cast<LONGLONG>(kUtcAtZero) + ms * 10000);
    }
    static long long Ms(ULONGLONG utc) {
        return (static_cast<LONGLONG>(utc) - static_cast<LONGLONG>(kUtcAtZero)) / 10000;
    }
    std::string At() const { return Seconds(now); }
    std::string Who() const { return t_current ? t_current->name : "the model"; }
    void Note(const std::string& text) { history.push_back(At() + " " + text); }

    // ---- processes: a thread each, one running at a time ----

    Process* Spawn(const std::string& name, bool watch, std::function<void(Process&)> body) {
        processes.push_back(std::make_unique<Process>());
        Process* p = processes.back().get();
        p->id = nextId++;
        p->name = name + "#" + std::to_string(p->id);
        p->watch = watch;
        p->body = std::move(body);
        if (IdleWorkers().empty()) IdleWorkers().push_back(std::make_unique<Worker>());
        p->worker = std::move(IdleWorkers().back());
        IdleWorkers().pop_back();
        p->worker->job = [this, p] { Main(*p); };
        p->wakeAt = now;
        p->order = ++order;
        ++lifecycle;
        Note(p->name + " starts");
        return p;
    }

    void Main(Process& p) {
        t_current = &p;
        try {
            if (!p.kill) p.body(p);
        } catch (const Killed&) {
        }
        p.killed = p.kill;
        // The lock must have gone with the process: releasing it again succeeds only for its owner.
        if (HANDLE lock = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, settings::kWriteLockName)) {
            if (ReleaseMutex(lock)) violations.push_back(At() + " " + p.name + " ended holding the write lock");
            CloseHandle(lock);
        }
        t_current = nullptr;
        p.done = true;
        SetEvent(driverTurn);
    }

    // A process's pause: the model's clock moves on only while every process waits.
    void Pause(DWORD ms) {
        Process* self = t_current;
        self->wakeAt = now + ms;
        self->order = ++order;
        SignalObjectAndWait(driverTurn, self->worker->turn, INFINITE, FALSE);
        if (self->kill) throw Killed{};
    }

    // Only the test's own thread hands the turn on.
    void Resume(Process& p) {
        SignalObjectAndWait(p.worker->turn, driverTurn, INFINITE, FALSE);
        if (!p.done) return;
        IdleWorkers().push_back(std::move(p.worker));
        ++lifecycle;
        Note(p.name + (p.killed ? " is ended" : " ends" + (p.result.empty() ? "" : " (" + p.result + ")")));
        if (p.watch && !p.killed && task) violations.push_back(At() + " " + p.name + " ended and left its task");
        processes.erase(std::find_if(processes.begin(), processes.end(), [&](auto& q) { return q.get() == &p; }));
    }

    void Kill(Process& p) {
        p.kill = true;
        Resume(p);
    }

    Process* Next(long long until) const {
        Process* best = nullptr;
        for (const auto& p : processes) {
            if (p->wakeAt <= until && (!best || std::tie(p->wakeAt, p->order) < std::tie(best->wakeAt, best->order)))
                best = p.get();
        }
        return best;
    }

    void RunDue() {
        while (Process* p = Next(now)) Resume(*p);
    }

    Process* Watch() const {
        for (const auto& p : processes)
            if (p->watch) return p.get();
        return nullptr;
    }

    std::vector<int> Alive() const {
        std::vector<int> ids;
        for (const auto& p : processes) ids.push_back(p->id);
        return ids;
    }

    static std::function<void(Process&)> Command(std::vector<std::wstring> args, bool* done = nullptr) {
        return [args, done](Process& p) {
            RecordingSink sink;
            const int exitCode = console::Run(args, sink);
            p.result = "exit " + std::to_string(exitCode);
            if (done) *done = exitCode == 0;
        };
    }

    // ---- the Task Scheduler ----

    Task Parse(const std::wstring& xml) const {
        Task t{xml};
        t.ticksAfter = now;
        const auto enabled = [](const std::wstring& trigger) { return Inner(trigger, L"Enabled") != L"false"; };
        for (const std::wstring& trigger : All(xml, L"RegistrationTrigger")) t.registration |= enabled(trigger);
        for (const std::wstring& trigger : All(xml, L"BootTrigger")) t.boot |= enabled(trigger);
        for (const std::wstring& trigger : All(xml, L"TimeTrigger")) {
            const std::optional<std::wstring> interval = Inner(trigger, L"Interval");
            if (enabled(trigger))
                t.times.push_back(
                    {BoundaryMs(Inner(trigger, L"StartBoundary").value_or(L"")), interval ? DurationMs(*interval) : 0});
        }
        t.ignoreNew = Inner(xml, L"MultipleInstancesPolicy").value_or(L"IgnoreNew") == L"IgnoreNew";
        return t;
    }

    // The schema's local time without a zone ("2026-12-08T16:40:05") on the model's clock: the second the
    // task is registered in stands for the local time now.
    long long BoundaryMs(const std::wstring& text) const {
        SYSTEMTIME b{}, local{};
        if (swscanf(text.c_str(), L"%4hu-%2hu-%2huT%2hu:%2hu:%2hu", &b.wYear, &b.wMonth, &b.wDay, &b.wHour, &b.wMinute,
                    &b.wSecond) != 6)
            return now;
        GetLocalTime(&local);
        local.wMilliseconds = 0;
        return now - now % 1000 + (FileTimeOf(b) - FileTimeOf(local)) / 10000;
    }

    // A time trigger's first moment after `after`. A one-shot trigger whose moment was past when the task
    // was registered never runs it (StartWhenAvailable is only for repeating ones or ones with an end).
    static std::optional<long long> TickAfter(const TimeTrigger& t, long long after) {
        if (t.startMs > after) return t.startMs;
        if (t.intervalMs == 0) return std::nullopt;
        return t.startMs + ((after - t.startMs) / t.intervalMs + 1) * t.intervalMs;
    }

    std::optional<long long> NextTick() const {
        std::optional<long long> next;
        if (!task) return next;
        for (const TimeTrigger& t : task->times) {
            const std::optional<long long> at = TickAfter(t, task->ticksAfter);
            if (at && (!next || *at < *next)) next = at;
        }
        return next;
    }

    // A trigger fires: the task's action runs, unless IgnoreNew and a run of it is under way.
    bool RunTask() {
        if (!task || (task->ignoreNew && Watch())) return false;
        Spawn("watch", true, Command(Words(Inner(task->xml, L"Arguments").value_or(L""))));
        return true;
    }

    HRESULT Register(const std::wstring& xml) {
        task = Parse(xml);
        ++changes;
        Note("the task is registered");
        // The registration trigger runs it at once: the run goes first, the caller after.
        if (task->registration && RunTask()) Pause(0);
        return S_OK;
    }

    // ---- TermService, and who gets in ----

    std::optional<std::vector<std::uint16_t>> Listening() const {
        return running ? std::vector<std::uint16_t>{listener} : std::vector<std::uint16_t>{};
    }

    void StopService() {
        if (!running) return;
        for (const Connection& c : connections) {
            if (t_current && t_current->watch && c.admin && c.port == kTo)
                violations.push_back(At() + " " + t_current->name +
                                     " stops TermService under the administrator logged on through the new port");
        }
        running = false;
        connections.clear();  // every Remote Desktop connection drops with it
        ++changes;
    }

    bool StartService() {
        if (running) return true;
        ++changes;
        running = !failNextStart;
        failNextStart = false;
        if (!running) Note("TermService fails to start");
        listener = static_cast<std::uint16_t>(ReadDword(kRdpTcp, kPortValue).value_or(0));
        return running;
    }

    guard::RestartOutcome RestartService() {
        guard::RestartOutcome outcome;
        outcome.sequence = {L"stop TermService", L"start TermService"};
        StopService();
        Pause(kStopMs);
        outcome.restarted = StartService();
        if (!outcome.restarted) {
            outcome.error = ERROR_SERVICE_REQUEST_TIMEOUT;
            outcome.step = guard::RestartStep::Start;
            outcome.failedService = L"TermService";
            return outcome;
        }
        Pause(kStartMs);
        outcome.seconds = (kStopMs + kStartMs) / 1000.0;
        return outcome;
    }

    bool Reachable() const { return running && listener == setup.admitted; }
    bool AdminIn() const {
        return std::any_of(connections.begin(), connections.end(), [](const Connection& c) { return c.admin; });
    }

    // The console's session, the listener's own, and one for each connection.
    std::vector<revert::Session> Sessions() const {
        std::vector<revert::Session> all(running ? 2 : 1);
        all[0] = {1, true, L"Console", L"SERVER\\Administrator", std::nullopt, bootedAt};
        if (running) all[1] = {65536, false, L"RDP-Tcp", L"", std::nullopt, 0};
        for (const Connection& c : connections) all.push_back(c.session);
        return all;
    }

    // The administrator's session is active; a probe never logs on, its session waits at the logon screen.
    void Connect(bool admin) {
        revert::Session session{nextSession++,
                                admin,
                                L"",
                                admin ? L"SERVER\\admin" : L"",
                                admin ? Ipv4Peer(203, 0, 113, 7) : Ipv4Peer(198, 51, 100, 9),
                                Utc(now)};
        session.winStation = L"RDP-Tcp#" + std::to_wstring(session.id);
        connections.push_back({listener, session, admin});
        ++changes;
        Note(admin ? "the administrator is logged on" : "a probe connects");
    }

    void Logon() {
        if (!Reachable()) return;
        RunUntil(now + kLogonMs, false);
        if (!Reachable()) return;
        std::erase_if(connections, [](const Connection& c) { return c.admin; });
        Connect(true);
    }

    // ---- the write lock's wait, on the model's clock ----

    DWORD WaitForLock(HANDLE mutex, DWORD ms) {
        Process* self = t_current;
        if (!self || lockQueue.empty()) {
            const DWORD status = WaitForSingleObject(mutex, 0);
            if (status != WAIT_TIMEOUT || !self) return status;
        }
        lockQueue.push_back(self);
        struct Leave {
            std::vector<Process*>& queue;
            Process* self;
            ~Leave() { std::erase(queue, self); }
        } leave{lockQueue, self};
        for (DWORD waited = 0; waited < ms; waited += kLockLookMs) {
            Pause(kLockLookMs);
            const DWORD status = lockQueue.front() == self ? WaitForSingleObject(mutex, 0) : WAIT_TIMEOUT;
            if (status != WAIT_TIMEOUT) return status;
        }
        return WAIT_TIMEOUT;
    }

    // ---- time ----

    // The clock moves on to `target`, running every process and trigger due on the way; with `stopOnChange`
    // it stops at the first moment something happened. Whether something did.
    bool RunUntil(long long target, bool stopOnChange) {
        const std::uint64_t before = changes + lifecycle;
        for (;;) {
            RunDue();
            if (stopOnChange && changes + lifecycle != before) return true;
            const std::optional<long long> tick = NextTick();
            const Process* next = Next(LLONG_MAX);
            const long long at = std::min(next ? next->wakeAt : LLONG_MAX, tick.value_or(LLONG_MAX));
            if (at > target) break;
            now = at;
            if (tick == now) {
                task->ticksAfter = now;
                RunTask();
            }
        }
        now = std::max(now, target);
        return changes + lifecycle != before;
    }

    // When the watch is due to revert, from the record as the README tells it: the period from when the
    // new port took effect, and for a watch that took over that countdown, two minutes after its start.
    std::optional<long long> Deadline() const {
        if (!record || !record->effectiveAt) return std::nullopt;
        long long due = Ms(*record->effectiveAt) + record->plan.seconds * 1000LL;
        if (record->watchStartedAt && *record->effectiveAt < *record->watchStartedAt)
            due = std::max(due, Ms(*record->watchStartedAt) + kLeastRunMs);
        return due;
    }

    // To the next moment anything is due: a time trigger that starts a run, or the revert's deadline (its
    // last second first); a minute when nothing is. Stops early when something happens.
    bool TimePasses() {
        std::optional<long long> target;
        if (!(task && task->ignoreNew && Watch())) target = NextTick();
        if (const std::optional<long long> due = Deadline(); due && Watch() && *due > now) {
            const long long at = *due - kLastMomentMs > now ? *due - kLastMomentMs : *due;
            target = std::min(target.value_or(at), at);
        }
        return RunUntil(target.value_or(now + kQuietMs), true);
    }

    // ---- what happens to the machine ----

    void RestartComputer() {
        Note("the computer restarts");
        while (!processes.empty()) Kill(*processes.front());
        StopService();
        now += kDownMs;
        bootedAt = Utc(now);
        failedAtBoot = !StartService();
        if (task) task->ticksAfter = now;  // a moment missed while off coincides with the boot trigger's run
        if (task && task->boot) RunTask();
        RunDue();
    }

    void Apply(SimEvent event) {
        switch (event) {
            case SimEvent::RestartComputer:
                return RestartComputer();
            case SimEvent::KillWatch:
                while (Process* watch = Watch()) Kill(*watch);
                return;
            case SimEvent::Probe:  // one probe at a time
                if (Reachable() &&
                    std::none_of(connections.begin(), connections.end(), [](const Connection& c) { return !c.admin; }))
                    Connect(false);
                return;
            case SimEvent::Logon:
                return Logon();
            case SimEvent::Confirm:
                Spawn("confirm", false, Command({L"confirm", L"--json"}));
                return RunDue();
            case SimEvent::HoldLock:
                Spawn("writer", false, [this](Process& p) {
                    const settings::WriteLock lock = settings::WriteLock::Acquire();
                    p.result = lock.Held() ? "held the lock" : "did not get the lock";
                    if (lock.Held()) Pause(kHoldMs);
                });
                return RunDue();
            case SimEvent::FailStartOnce:
                changes += failNextStart ? 0 : 1;
                failNextStart = true;
                return;
            case SimEvent::TimePasses:
                TimePasses();
                return;
        }
    }

    // ---- the seams ----

    void Install() {
        base::ClockCalls() = {[this](DWORD ms) { Pause(ms); },
                              [this] { return static_cast<ULONGLONG>(now + (1LL << 32)); }, [this] { return Utc(now); },
                              [this] { return bootedAt; }};
        settings::Registry().SetValueEx = [this, real = registry.SetValueEx](HKEY key, LPCSTR name, DWORD reserved,
                                                                             DWORD type, const BYTE* data, DWORD size) {
            const LONG status = real(key, name, reserved, type, data, size);
            DWORD value = 0;
            if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value) std::memcpy(&value, data, size);
            changes += status == ERROR_SUCCESS;
            if (status == ERROR_SUCCESS && confirmed && name && std::string(name) == "PortNumber" && value != kTo)
                violations.push_back(At() + " " + Who() + " writes PortNumber " + std::to_string(value) +
                                     " after the change was confirmed");
            return status;
        };
        settings::WriteLockWaitCall().Set([this](HANDLE mutex, DWORD ms) { return WaitForLock(mutex, ms); });

        using Hazards = std::vector<guard::Hazard>;
        console::GuardApi& g = console::Guard();
        g.CheckPortChange = [](std::uint16_t, std::optional<std::uint16_t>) { return Hazards{}; };
        g.CheckTurnOn = [](std::optional<std::uint16_t>) { return Hazards{}; };
        g.CheckTurnOff = [] { return Hazards{}; };
        g.CheckNlaChange = [](bool) { return Hazards{}; };
        g.FirewallSummaryFor = [](std::optional<std::uint16_t> port) {
            guard::FirewallSummary summary;  // the server's own firewall admits every port: the perimeter decides
            if (port) summary.tcp = AssessmentOf(guard::FirewallVerdict::Admits, guard::firewall::kProtocolTcp);
            if (port) summary.udp = AssessmentOf(guard::FirewallVerdict::Admits, guard::firewall::kProtocolUdp);
            summary.ownRules = std::vector<guard::firewall::Rule>{};
            return summary;
        };
        g.OpenFirewallPort = [](std::uint16_t, bool) { return guard::FirewallOpening{true, true}; };
        g.CloseOwnFirewallPort = [](std::uint16_t) { return guard::FirewallClosing{}; };
        g.ReadFirewallState = [] { return guard::firewall::State{}; };
        g.RemoteDesktopListeningPorts = [this] { return Listening(); };
        g.ListeningPortsExpecting = [this](std::uint16_t) { return Listening(); };
        g.AwaitListening = [this](std::uint16_t) { return Listening(); };
        g.RemoteDesktopServiceSummary = [this] {
            return guard::ServiceSummary{SERVICE_AUTO_START, running ? SERVICE_RUNNING : SERVICE_STOPPED, true};
        };
        g.PrepareRestart = [] { return guard::RestartPlan{}; };
        g.Restart = [this](const guard::RestartPlan&) { return RestartService(); };
        // The window restarts TermService through the service manager's calls.
        guard::ServiceControlCalls() = {[](const std::wstring&, DWORD) { return DWORD{0}; },
                                        [](const std::wstring&, std::vector<std::wstring>& dependents) {
                                            dependents.clear();
                                            return DWORD{0};
                                        },
                                        [this](const std::wstring&) {
                                            StopService();
                                            Pause(kStopMs);
                                            return DWORD{0};
                                        },
                                        [this](const std::wstring&) {
                                            const bool started = StartService();
                                            Pause(kStartMs);
                                            return DWORD{started ? 0u : ERROR_SERVICE_REQUEST_TIMEOUT};
                                        },
                                        [this](const std::wstring&) {
                                            return std::optional<DWORD>(running ? SERVICE_RUNNING : SERVICE_STOPPED);
                                        }};

        revert::TaskStoreCalls() = {[this](const std::wstring& xml) { return Register(xml); },
                                    [this](std::wstring& xml) {
                                        if (task) xml = task->xml;
                                        return task ? S_OK : revert::kTaskMissing;
                                    },
                                    [this] {
                                        if (task) Note(Who() + " deletes the task");
                                        changes += task.has_value();
                                        task.reset();
                                        return S_OK;
                                    }};
        revert::RecordStoreCalls() = {[this](const revert::RevertRecord& written) {
                                          record = written;
                                          ++changes;
                                          return LONG{ERROR_SUCCESS};
                                      },
                                      [this](revert::RevertRecord& out) {
                                          if (record) out = *record;
                                          return LONG{record ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND};
                                      },
                                      [this] {
                                          changes += record.has_value();
                                          record.reset();
                                          return LONG{ERROR_SUCCESS};
                                      }};
        revert::InstallProgramCall().Set([](const std::wstring&, std::wstring& path) {
            path = L"C:\\Program Files\\Korvane RdpPort\\rdpport.com";
            return DWORD{ERROR_SUCCESS};
        });
        revert::EventLogCall().Set([this](revert::RevertEvent event, const std::wstring&) {
            static const char* const kNames[] = {"?",        "armed",      "confirmed",    "cancelled",
                                                 "reverted", "superseded", "revert failed"};
            Note(Who() + " logs " + kNames[static_cast<int>(event) % 7]);
            ++changes;
            confirmed = confirmed || event == revert::RevertEvent::Confirmed;
            if (t_current && event == revert::RevertEvent::RevertFailed) t_current->retrying = true;
        });
        revert::SessionsCall().Set([this] { return std::optional<std::vector<revert::Session>>(Sessions()); });
        revert::OwnAddressesCall().Set([] {
            return std::optional<std::vector<revert::Peer>>(
                std::vector<revert::Peer>{Ipv4Peer(10, 0, 0, 5), Ipv4Peer(127, 0, 0, 1)});
        });
    }

    ~Model() {
        while (!processes.empty()) Kill(*processes.front());
        settings::Registry() = registry;
        settings::WriteLockWaitCall().Reset();
        console::Guard() = guard;
        guard::ServiceControlCalls() = guard::RealServiceControl();
        revert::TaskStoreCalls() = tasks;
        revert::RecordStoreCalls() = records;
        base::ClockCalls() = clock;
        revert::InstallProgramCall().Reset();
        revert::EventLogCall().Reset();
        revert::SessionsCall().Reset();
        revert::OwnAddressesCall().Reset();
        CloseHandle(driverTurn);
    }
};

SimulatedServer::SimulatedServer(SimSetup setup) : m_model(std::make_unique<Model>()) {
    m_model->setup = setup;
    if (SeedRemoteDesktop(kFrom, 1) != ERROR_SUCCESS) m_model->violations.push_back("the registry cannot be seeded");
    m_model->Install();
}

SimulatedServer::~SimulatedServer() = default;

void SimulatedServer::Change() {
    Model& m = *m_model;
    std::vector<std::wstring> args = {L"set-port", L"3390", L"--revert-after", L"60s", L"--force", L"--json"};
    if (m.setup.apply) args.push_back(L"--apply");
    const auto window = [&m](Process&) {
        // The console's 60 seconds rather than the window's 10 minutes: the same steps, fewer looks.
        m.changed = ui::ChangeWithRevert({kFrom, kTo, 60, false, L"C:\\Tools\\rdpport.com", {}});
    };
    const int id = m.setup.fromWindow ? m.Spawn("window", false, window)->id
                                      : m.Spawn("set-port", false, Model::Command(args, &m.changed))->id;
    const auto running = [&m, id] {
        const std::vector<int> alive = m.Alive();
        return std::find(alive.begin(), alive.end(), id) != alive.end();
    };
    for (m.RunDue(); running(); m.RunDue()) m.RunUntil(m.Next(LLONG_MAX)->wakeAt, false);
}

bool SimulatedServer::Apply(SimEvent event) {
    Model& m = *m_model;
    const auto before = std::make_tuple(m.changes, m.now, m.Alive());
    m.Note(std::string("-- ") + NameOf(event));
    m.Apply(event);
    m.RunDue();
    return std::make_tuple(m.changes, m.now, m.Alive()) != before;
}

void SimulatedServer::Settle() {
    Model& m = *m_model;
    m.Note("-- settling");
    for (int round = 0, quiet = 0; round < 100 && quiet < 3; ++round) {
        if (!m.AdminIn()) m.Logon();
        // The new port is in the registry and waits for a start of the computer to take effect; or Remote
        // Desktop failed to start at boot, which nothing on the server mends: the administrator restarts it
        // from the hosting provider's console.
        const bool waitsForAStart = ReadDword(kRdpTcp, kPortValue) == kTo && !(m.running && m.listener == kTo);
        if (((waitsForAStart && (m.task || m.confirmed)) || (!m.running && m.failedAtBoot)) && m.settleRestarts < 3) {
            ++m.settleRestarts;
            m.RestartComputer();
            quiet = 0;
            continue;
        }
        if (!m.task && m.processes.empty()) return;
        quiet = m.TimePasses() ? 0 : quiet + 1;
    }
}

std::vector<std::string> SimulatedServer::Violations() const {
    const Model& m = *m_model;
    std::vector<std::string> found = m.violations;
    const std::optional<DWORD> first = ReadDword(kRdpTcp, kPortValue), second = ReadDword(kRdpwdTcp, kPortValue);
    // The old port back after a revert is what the administrator asked for when the change was never
    // reached, also where the perimeter admits only the new port; a change never made is no such thing.
    const bool undone = m.changed && first == kFrom && second == kFrom && m.running && m.listener == kFrom;
    if (!m.Reachable() && !m.confirmed && !undone)
        found.push_back("the administrator cannot get in through port " + std::to_string(m.setup.admitted) +
                        " and confirmed nothing, and no revert put the old port back");
    if (m.confirmed && (first != kTo || second != kTo)) found.push_back("the change was confirmed, yet undone");
    if (first != second || (m.running && first != m.listener))
        found.push_back("the registry's ports and the listener disagree");
    if (!m.running) found.push_back("TermService is stopped");
    const bool retrying =
        std::any_of(m.processes.begin(), m.processes.end(), [](const auto& p) { return p->watch && p->retrying; });
    if ((m.task || m.record) && !retrying) found.push_back("a task or record is left and no revert is being retried");
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::string SimulatedServer::State() const {
    const Model& m = *m_model;
    const auto port = [](const char* key) {
        const std::optional<DWORD> value = ReadDword(key, kPortValue);
        return value ? std::to_string(*value) : std::string("none");
    };
    std::string text = m.At() + ": PortNumber " + port(kRdpTcp) + " (RDP-Tcp), " + port(kRdpwdTcp) +
                       " (tcp); TermService " + (m.running ? "listens on " + std::to_string(m.listener) : "stopped") +
                       (m.failNextStart ? ", its next start fails" : "") + "; the perimeter admits " +
                       std::to_string(m.setup.admitted) + (m.confirmed ? "; confirmed" : "; not confirmed") +
                       "\n  task: " + (m.task ? "registered" : "none");
    if (const std::optional<long long> tick = m.NextTick()) text += ", next time trigger " + Seconds(*tick);
    text += std::string("; record: ") + (m.record ? "yes" : "none");
    if (m.record && m.record->effectiveAt) text += ", effective " + Seconds(Model::Ms(*m.record->effectiveAt));
    if (m.record && m.record->watchStartedAt)
        text += ", watch started " + Seconds(Model::Ms(*m.record->watchStartedAt));
    text += "\n  processes:";
    for (const auto& p : m.processes) text += " " + p->name + " (next at " + Seconds(p->wakeAt) + ")";
    text += "\n  sessions:";
    for (const Model::Connection& c : m.connections)
        text += std::string(c.admin ? " the administrator's" : " a probe's") + " on " + std::to_string(c.port) +
                " since " + Seconds(Model::Ms(c.session.connectedAt));
    text += "\n  what happened:\n";
    for (const std::string& line : m.history) text += "    " + line + "\n";
    return text;
}

}  // namespace testkit
