#include "revert/PendingRevert.h"

#include "base/DecimalText.h"

namespace revert {

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
