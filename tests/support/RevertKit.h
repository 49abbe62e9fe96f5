#pragma once
// The revert's outside effects kept in memory for one scope: the Task Scheduler's task, the record,
// the program's copy, the event log, the sessions and the watch's clock. Every call is logged
// in order, so a test can tell what came first; any of them can be made to fail.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "revert/Connections.h"
#include "revert/EventLog.h"
#include "revert/RevertRecord.h"
#include "revert/Sessions.h"

namespace testkit {

class FakeRevert {
public:
    FakeRevert();
    ~FakeRevert();
    FakeRevert(const FakeRevert&) = delete;
    FakeRevert& operator=(const FakeRevert&) = delete;

    // The Task Scheduler: the task's XML as registered, and what each call answers.
    std::optional<std::wstring> task;
    HRESULT registerResult = S_OK;
    HRESULT readResult = S_OK;
    HRESULT deleteResult = S_OK;
    bool readsBackAction = true;  // false: the task is read back without its action, as Wine keeps it
    bool startsWatch = true;      // false: the registered task never runs (as under Wine)
    bool watchRunning = false;    // the process the watch reported in with still runs

    std::optional<revert::RevertRecord> record;
    LONG recordWriteResult = ERROR_SUCCESS;

    DWORD installResult = ERROR_SUCCESS;
    std::wstring installedPath = L"C:\\Program Files\\Korvane RdpPort\\rdpport.com";
    std::wstring installedFrom;  // the program the last install copied

    std::vector<std::pair<revert::RevertEvent, std::wstring>> events;       // every event but a watch's start
    std::vector<std::pair<revert::RevertEvent, std::wstring>> watchStarts;  // WatchStarted

    // Each look at the sessions answers the next of these; the last answer stands after that. The
    // server's own addresses.
    std::vector<std::optional<std::vector<revert::Session>>> sessions;
    std::optional<std::vector<revert::Peer>> ownAddresses = std::vector<revert::Peer>{};

    // The clock: a pause moves it on at once; `onPause` runs after each pause (a test's "meanwhile").
    // The wall clock (UTC FILETIME) moves with it from kUtcAtZero; the computer started at `bootedAt`.
    static constexpr ULONGLONG kUtcAtZero = 134411979000000000ULL;  // 2026-12-08T10:05:00Z, after ArmedAt
    ULONGLONG nowMs = 1000000;
    ULONGLONG bootedAt = kUtcAtZero - 3600ULL * 10000000ULL;
    ULONGLONG UtcNow() const;
    std::vector<DWORD> pauses;
    std::function<void()> onPause;

    // "install", "write record", "register task", "read task", "delete task", "delete record", ...
    std::vector<std::string> log;

    // Arms a pending revert as a finished set-port would have.
    void Pending(const revert::PendingRevert& plan);
};

revert::Peer Ipv4Peer(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
revert::Peer Ipv6Peer(std::initializer_list<std::uint8_t> bytes);

}  // namespace testkit
