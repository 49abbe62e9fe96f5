#include "support/RevertKit.h"

#include <algorithm>

#include "revert/ProgramCopy.h"
#include "revert/TaskStore.h"
#include "revert/TaskXml.h"
#include "revert/Sessions.h"
#include "revert/WatchClock.h"
#include "revert/WatchProcess.h"

namespace testkit {
namespace {

// The task as Wine's Task Scheduler gives it back: the settings kept, the action emptied.
std::wstring WithoutAction(const std::wstring& xml) {
    const size_t from = xml.find(L"<Actions");
    const size_t to = xml.find(L"</Actions>");
    if (from == std::wstring::npos || to == std::wstring::npos) return xml;
    return xml.substr(0, from) + L"<Actions><Exec/></Actions>" + xml.substr(to + 10);
}

}  // namespace

FakeRevert::FakeRevert() {
    revert::TaskStore& tasks = revert::TaskStoreCalls();
    tasks.Register = [this](const std::wstring& xml) {
        log.push_back("register task");
        if (SUCCEEDED(registerResult)) task = xml;
        // The registration trigger starts the watch at once, and it reports in.
        if (SUCCEEDED(registerResult) && startsWatch && record) {
            record->watchProcessId = 4242;
            record->watchStartedAt = UtcNow();
        }
        return registerResult;
    };
    tasks.Read = [this](std::wstring& xml) {
        log.push_back("read task");
        if (FAILED(readResult)) return readResult;
        if (!task) return revert::kTaskMissing;
        xml = readsBackAction ? *task : WithoutAction(*task);
        return S_OK;
    };
    tasks.Delete = [this] {
        log.push_back("delete task");
        if (SUCCEEDED(deleteResult)) task.reset();
        return deleteResult;
    };
    revert::RecordStore& records = revert::RecordStoreCalls();
    records.Write = [this](const revert::RevertRecord& written) {
        log.push_back("write record");
        if (recordWriteResult == ERROR_SUCCESS) record = written;
        return recordWriteResult;
    };
    records.Read = [this](revert::RevertRecord& out) {
        if (!record) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        out = *record;
        return static_cast<LONG>(ERROR_SUCCESS);
    };
    records.Delete = [this] {
        log.push_back("delete record");
        record.reset();
        return static_cast<LONG>(ERROR_SUCCESS);
    };
    revert::InstallProgramCall().Set([this](const std::wstring& source, std::wstring& path) {
        log.push_back("install");
        installedFrom = source;
        if (installResult == ERROR_SUCCESS) path = installedPath;
        return installResult;
    });
    revert::EventLogCall().Set([this](revert::RevertEvent event, const std::wstring& text) {
        log.push_back("event");
        // A watch's start is kept apart, so the cases see the outcomes in order.
        (event == revert::RevertEvent::WatchStarted ? watchStarts : events).emplace_back(event, text);
    });
    revert::SessionsCall().Set([this] {
        log.push_back("sessions");
        if (sessions.empty()) return std::optional<std::vector<revert::Session>>(std::vector<revert::Session>{});
        const auto answer = sessions.front();
        if (sessions.size() > 1) sessions.erase(sessions.begin());
        return answer;
    });
    revert::OwnAddressesCall().Set([this] { return ownAddresses; });
    revert::WatchRunningCall().Set([this](DWORD) { return watchRunning; });
    base::ClockCalls() = base::Clock{[this](DWORD ms) {
                                                       pauses.push_back(ms);
                                                       nowMs += ms;
                                                       if (onPause) onPause();
                                                   },
                                                   [this] { return nowMs; }, [this] { return UtcNow(); },
                                                   [this] { return bootedAt; }};
}

ULONGLONG FakeRevert::UtcNow() const { return kUtcAtZero + nowMs * revert::kFileTimePerMs; }

FakeRevert::~FakeRevert() {
    revert::TaskStoreCalls() = revert::RealTaskStore();
    revert::RecordStoreCalls() = revert::RealRecordStore();
    revert::InstallProgramCall().Reset();
    revert::EventLogCall().Reset();
    revert::SessionsCall().Reset();
    revert::OwnAddressesCall().Reset();
    revert::WatchRunningCall().Reset();
    base::ClockCalls() = base::RealClock();
}

void FakeRevert::Pending(const revert::PendingRevert& plan) {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    task = revert::RevertTaskXml(plan, installedPath, now);
    record = revert::RevertRecord{plan, L"2026-12-08T10:00:00Z"};
}

revert::Peer Ipv4Peer(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    revert::Peer peer;
    peer.address[0] = a;
    peer.address[1] = b;
    peer.address[2] = c;
    peer.address[3] = d;
    return peer;
}

revert::Peer Ipv6Peer(std::initializer_list<std::uint8_t> bytes) {
    revert::Peer peer;
    peer.ipv6 = true;
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), 16), peer.address);
    return peer;
}

}  // namespace testkit
