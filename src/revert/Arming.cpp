#include "revert/Arming.h"

#include <algorithm>
#include <vector>

#include "base/Clock.h"
#include "base/DecimalText.h"
#include "base/SystemErrorText.h"
#include "revert/EventLog.h"
#include "revert/ProgramCopy.h"
#include "revert/RevertRecord.h"
#include "revert/TaskStore.h"
#include "revert/TaskXml.h"

namespace revert {
namespace {

// Split at spaces and tabs (no string streams: they would bring the C++ locale machinery into the
// programs, most of their size).
std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(L" \t", at)) != std::wstring::npos) {
        const size_t end = std::min(text.find_first_of(L" \t", at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// ASCII digits only, within `most`.
std::optional<std::uint32_t> Number(const std::wstring& text, std::uint32_t most) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value > most) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// "what（错误 0x80070005：拒绝访问）；consequence", or without "；consequence" when there is none.
base::Failure ComFailure(HRESULT hr, const std::wstring& what, const std::wstring& consequence) {
    return {static_cast<long>(hr), what + L"（错误 " + base::HexText(static_cast<std::uint32_t>(hr)) + L"：" +
                                       base::SystemErrorClause(static_cast<unsigned long>(hr)) + L"）" +
                                       (consequence.empty() ? L"" : L"；" + consequence)};
}

// The Task Scheduler starts the watch as soon as the task is registered: the revert counts as armed
// only once the watch has reported in (its process, in the record), since nothing changed after this
// may rest on a watch that does not run.
std::optional<base::Failure> AwaitWatch(const WatchWait& wait) {
    if (wait.begins) wait.begins();
    const auto reported = [] {
        RevertRecord record;
        const bool in = RecordStoreCalls().Read(record) == ERROR_SUCCESS && record.watchProcessId;
        return in ? base::Poll::Done : base::Poll::Again;
    };
    if (base::PollUntil(kWatchReportMs, kWatchReportPollMs, reported, wait.pause) == base::Poll::Done) return std::nullopt;
    return base::Failure{static_cast<long>(WAIT_TIMEOUT), L"自动改回的监视进程没有在 30 秒内启动（任务计划程序没有运行它）"};
}

std::optional<base::Failure> InstallFailure(DWORD copied) {
    if (copied == ERROR_SUCCESS) return std::nullopt;
    if (copied == kProgramNotPrivate)
        return base::Failure{static_cast<long>(copied),
                             L"rdpport.com 所在的文件夹允许 " + ProgramOpenTo() +
                                 L" 修改，以 SYSTEM 运行的自动改回不能用从那里来的程序（请把 rdpport.com 放在只有管理员能修改的"
                                 L"文件夹，例如 C:\\Program Files 下的文件夹，再运行）"};
    return base::Failure{static_cast<long>(copied), L"无法把 rdpport.com 复制到 Program Files 下本程序的文件夹（" +
                                                        base::SystemErrorClause(copied) + L"）"};
}

base::Failure RegisterFailure(HRESULT registered) {
    if (registered == kTaskFolderNotPrivate)
        return {registered, L"任务计划程序中的文件夹 " + std::wstring(kTaskFolder) + L" 允许 " + TaskFolderOpenTo() +
                                L" 修改其中的任务，不能把以 SYSTEM 运行的自动改回放在那里（请先删除该文件夹）"};
    if (registered == kTaskPartlyRegistered)
        return {registered, L"任务计划程序登记了自动改回的任务，但有触发器或登录方式未能生效，任务可能不会运行"};
    return ComFailure(registered, L"无法在任务计划程序中登记自动改回的任务", L"");
}

}  // namespace

std::optional<PendingRevert> PlanOfWatchArguments(const std::wstring& arguments) {
    const std::vector<std::wstring> w = Words(arguments);
    if (w.size() != 7 && !(w.size() == 8 && w[7] == L"--apply")) return std::nullopt;
    if (w[0] != L"watch" || w[1] != L"--from" || w[3] != L"--to" || w[5] != L"--revert-after") return std::nullopt;
    const std::wstring& after = w[6];
    const auto from = Number(w[2], 65535), to = Number(w[4], 65535);
    const std::uint32_t seconds =
        after.size() > 1 && after.back() == L's' ? Number(after.substr(0, after.size() - 1), kLongestSeconds).value_or(0) : 0;
    if (!from || !to || seconds < kShortestSeconds) return std::nullopt;
    return PendingRevert{static_cast<std::uint16_t>(*from), static_cast<std::uint16_t>(*to), seconds, w.size() == 8};
}

PendingLookup LookUpPendingRevert() {
    PendingLookup lookup;
    std::wstring xml;
    const HRESULT hr = TaskStoreCalls().Read(xml);
    if (hr == kTaskMissing) return lookup;
    lookup.status = hr;
    RevertRecord record;
    const bool recorded = RecordStoreCalls().Read(record) == ERROR_SUCCESS;
    if (recorded) {
        lookup.armedAt = record.armedAt;
        lookup.effectiveAt = record.effectiveAt;
        lookup.reverting = record.reverting;
        lookup.watchProcessId = record.watchProcessId;
    }
    if (FAILED(hr)) return lookup;
    // The task's own command line says what it will do; the record stands in where a Task Scheduler
    // does not give the action back.
    if (const std::optional<std::wstring> arguments = ElementText(xml, L"Arguments"))
        lookup.plan = PlanOfWatchArguments(*arguments);
    if (!lookup.plan && recorded) lookup.plan = record.plan;
    if (!lookup.plan) lookup.plan = PendingRevert{};  // pending, though what it does cannot be read
    return lookup;
}

std::optional<base::Failure> ArmRevert(const PendingRevert& plan, const std::wstring& source, std::wstring& program,
                                       const WatchWait& wait) {
    if (std::optional<base::Failure> failure = InstallFailure(InstallProgramCall()(source, program))) return failure;
    const LONG written = RecordStoreCalls().Write(RevertRecord{plan, UtcNowText()});
    if (written != ERROR_SUCCESS) {
        (void)RecordStoreCalls().Delete();
        return base::Failure{written, L"无法写入自动改回的记录（" +
                                          base::SystemErrorClause(static_cast<unsigned long>(written)) + L"）"};
    }
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    const HRESULT registered = TaskStoreCalls().Register(RevertTaskXml(plan, program, now));
    std::optional<base::Failure> failure;
    if (FAILED(registered)) failure = RegisterFailure(registered);
    if (!failure) failure = AwaitWatch(wait);
    if (failure) {
        (void)TaskStoreCalls().Delete();
        (void)RecordStoreCalls().Delete();
        return failure;
    }
    EventLogCall()(RevertEvent::Armed, ArmedText(plan));
    return std::nullopt;
}

std::optional<base::Failure> DropRevert() {
    const HRESULT deleted = TaskStoreCalls().Delete();
    if (FAILED(deleted)) return ComFailure(deleted, L"无法删除自动改回的任务", L"自动改回仍在等待。");
    (void)RecordStoreCalls().Delete();
    return std::nullopt;
}

}  // namespace revert
