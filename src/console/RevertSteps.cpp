#include "console/RevertSteps.h"

#include <algorithm>

#include "base/Clock.h"
#include "base/DecimalText.h"
#include "base/SystemErrorText.h"
#include "console/Arguments.h"
#include "console/Progress.h"
#include "console/RevertTexts.h"
#include "revert/EventLog.h"
#include "revert/ProgramCopy.h"
#include "revert/RevertRecord.h"
#include "revert/TaskStore.h"
#include "revert/TaskXml.h"
#include "revert/WatchProcess.h"

namespace console {
namespace {

// Split at spaces and tabs (no string streams: they would bring the C++ locale machinery into the
// program, most of its size).
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

// "what（错误 0x80070005：拒绝访问。）；consequence"
Failure ComFailure(HRESULT hr, const std::wstring& what, const wchar_t* consequence) {
    return {static_cast<long>(hr), what + L"（错误 " + base::HexText(static_cast<std::uint32_t>(hr)) + L"：" +
                                       base::SystemErrorClause(static_cast<unsigned long>(hr)) + L"）；" + consequence};
}

}  // namespace

std::optional<revert::PendingRevert> PlanOfWatchArguments(const std::wstring& arguments) {
    const Invocation call = ParseArguments(Words(arguments));
    if (!call.Usable() || call.command != Command::Watch) return std::nullopt;
    const Options& o = call.options;
    return revert::PendingRevert{static_cast<std::uint16_t>(*o.from), static_cast<std::uint16_t>(*o.to),
                                 *o.revertAfterSeconds, o.apply};
}

PendingLookup LookUpPendingRevert() {
    PendingLookup lookup;
    std::wstring xml;
    const HRESULT hr = revert::TaskStoreCalls().Read(xml);
    if (hr == revert::kTaskMissing) return lookup;
    lookup.status = hr;
    revert::RevertRecord record;
    const bool recorded = revert::RecordStoreCalls().Read(record) == ERROR_SUCCESS;
    if (recorded) {
        lookup.armedAt = record.armedAt;
        lookup.effectiveAt = record.effectiveAt;
        lookup.reverting = record.reverting;
        lookup.watchRunning = record.watchProcessId && revert::WatchRunningCall()(*record.watchProcessId);
    }
    if (FAILED(hr)) return lookup;
    // The task's own command line says what it will do; the record stands in where a Task Scheduler
    // does not give the action back.
    if (const std::optional<std::wstring> arguments = revert::ElementText(xml, L"Arguments"))
        lookup.plan = PlanOfWatchArguments(*arguments);
    if (!lookup.plan && recorded) lookup.plan = record.plan;
    if (!lookup.plan) lookup.plan = revert::PendingRevert{};  // pending, though what it does cannot be read
    return lookup;
}

namespace {

// The Task Scheduler starts the watch as soon as the task is registered: the revert counts as armed
// only once the watch has reported in (its process, in the record), since nothing changed after this
// may rest on a watch that does not run.
std::optional<Failure> AwaitWatch() {
    Progress(L"已在任务计划程序中登记自动改回，正在等待它的监视进程启动（最多 30 秒）……\r\n");
    const base::Clock& clock = base::ClockCalls();
    const ULONGLONG start = clock.NowMs();
    for (;;) {
        revert::RevertRecord record;
        if (revert::RecordStoreCalls().Read(record) == ERROR_SUCCESS && record.watchProcessId) return std::nullopt;
        const ULONGLONG waited = clock.NowMs() - start;
        if (waited >= kWatchReportMs) break;
        clock.Pause(static_cast<DWORD>(std::min<ULONGLONG>(kWatchReportPollMs, kWatchReportMs - waited)));
    }
    return Failure{static_cast<long>(WAIT_TIMEOUT),
                   L"自动改回的监视进程没有在 30 秒内启动（任务计划程序没有运行它），没有安排自动改回；未作任何修改。"};
}

}  // namespace

std::optional<Failure> ArmRevert(const revert::PendingRevert& plan, std::wstring& program) {
    const DWORD copied = revert::InstallProgramCall()(program);
    if (copied == revert::kProgramNotPrivate) {
        return Failure{static_cast<long>(copied),
                       L"rdpport.com 所在的文件夹允许 " + revert::ProgramOpenTo() +
                           L" 修改，以 SYSTEM 运行的自动改回不能用从那里来的程序；请把 rdpport.com 放在只有管理员能修改的"
                           L"文件夹（例如 C:\\Program Files 下的文件夹）再运行。没有安排自动改回；未作任何修改。"};
    }
    if (copied != ERROR_SUCCESS) {
        return Failure{static_cast<long>(copied), L"无法把 rdpport.com 复制到 Program Files 下本程序的文件夹（" +
                                                      base::SystemErrorClause(copied) +
                                                      L"），没有安排自动改回；未作任何修改。"};
    }
    revert::RevertRecord record{plan, revert::UtcNowText()};
    const LONG written = revert::RecordStoreCalls().Write(record);
    if (written != ERROR_SUCCESS) {
        (void)revert::RecordStoreCalls().Delete();
        return Failure{written, L"无法写入自动改回的记录（" +
                                    base::SystemErrorClause(static_cast<unsigned long>(written)) +
                                    L"）；未作任何修改。"};
    }
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    const HRESULT registered = revert::TaskStoreCalls().Register(revert::RevertTaskXml(plan, program, now));
    if (FAILED(registered)) {
        (void)revert::TaskStoreCalls().Delete();
        (void)revert::RecordStoreCalls().Delete();
        if (registered == revert::kTaskFolderNotPrivate)
            return Failure{registered, L"任务计划程序中的文件夹 " + std::wstring(revert::kTaskFolder) + L" 允许 " +
                                           revert::TaskFolderOpenTo() +
                                           L" 修改其中的任务，不能把以 SYSTEM 运行的自动改回放在那里（请先删除该文件夹）；"
                                           L"未作任何修改。"};
        if (registered == revert::kTaskPartlyRegistered)
            return Failure{registered, L"任务计划程序登记了自动改回的任务，但有触发器或登录方式未能生效，任务可能不会运行；"
                                       L"未作任何修改。"};
        return ComFailure(registered, L"无法在任务计划程序中登记自动改回的任务", L"未作任何修改。");
    }
    if (std::optional<Failure> failure = AwaitWatch()) {
        (void)revert::TaskStoreCalls().Delete();
        (void)revert::RecordStoreCalls().Delete();
        return failure;
    }
    revert::EventLogCall()(revert::RevertEvent::Armed, ArmedText(plan));
    return std::nullopt;
}

std::optional<Failure> DropRevert() {
    const HRESULT deleted = revert::TaskStoreCalls().Delete();
    if (FAILED(deleted)) return ComFailure(deleted, L"无法删除自动改回的任务", L"自动改回仍在等待。");
    (void)revert::RecordStoreCalls().Delete();
    return std::nullopt;
}

}  // namespace console
