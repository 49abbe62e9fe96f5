#include "revert/PendingRevert.h"

#include "base/DecimalText.h"

namespace revert {
namespace {

std::wstring Port(std::uint16_t port) { return L"端口 " + base::DecimalText64(port); }

}  // namespace

std::wstring ArmedText(const PendingRevert& plan) { return L"已安排自动改回：" + RevertPlanText(plan); }

std::wstring RevertPlanText(const PendingRevert& plan) {
    std::wstring text = L"若" + Port(plan.to) + L"生效后 " + DurationText(plan.seconds) +
                        L"内没有管理员通过它登录远程桌面（或运行 rdpport.com confirm），将自动改回" + Port(plan.from) + L"。";
    if (!plan.apply) text += L"（新端口在计算机下次启动时生效。）";
    return text;
}

std::wstring WatchArguments(const PendingRevert& plan) {
    std::wstring text = L"watch --from " + base::DecimalText64(plan.from) + L" --to " + base::DecimalText64(plan.to) +
                        L" --revert-after " + base::DecimalText64(plan.seconds) + L"s";
    if (plan.apply) text += L" --apply";
    return text;
}

std::wstring DurationText(std::uint32_t seconds) {
    if (seconds % 3600 == 0) return base::DecimalText64(seconds / 3600) + L" 小时";
    if (seconds % 60 == 0) return base::DecimalText64(seconds / 60) + L" 分钟";
    return base::DecimalText64(seconds) + L" 秒";
}

}  // namespace revert
