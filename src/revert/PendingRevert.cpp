#include "revert/PendingRevert.h"

namespace revert {

std::wstring WatchArguments(const PendingRevert& plan) {
    std::wstring text = L"watch --from " + std::to_wstring(plan.from) + L" --to " + std::to_wstring(plan.to) +
                        L" --revert-after " + std::to_wstring(plan.seconds) + L"s";
    if (plan.apply) text += L" --apply";
    return text;
}

std::wstring DurationText(std::uint32_t seconds) {
    if (seconds % 3600 == 0) return std::to_wstring(seconds / 3600) + L" 小时";
    if (seconds % 60 == 0) return std::to_wstring(seconds / 60) + L" 分钟";
    return std::to_wstring(seconds) + L" 秒";
}

}  // namespace revert
