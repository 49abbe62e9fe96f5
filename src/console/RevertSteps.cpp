#include "console/RevertSteps.h"

#include "base/ProgramPath.h"
#include "console/Progress.h"

namespace console {

std::optional<Failure> ArmRevert(const revert::PendingRevert& plan, std::wstring& program) {
    const revert::WatchWait wait{
        [] { Progress(L"已在任务计划程序中登记自动改回，正在等待它的监视进程启动（最多 30 秒）……\r\n"); }, {}};
    std::optional<Failure> failure = revert::ArmRevert(plan, base::RunningProgramPath(), program, wait);
    if (failure) failure->text += L"；没有安排自动改回，未作任何修改。";
    return failure;
}

}  // namespace console
