#include "console/DurationArgument.h"

#include "revert/PendingRevert.h"

namespace console {
namespace {

// s, m and h in either ASCII case; 0 for anything else.
std::uint32_t UnitSeconds(wchar_t c) {
    switch (c) {
        case L's':
        case L'S':
            return 1;
        case L'm':
        case L'M':
            return 60;
        case L'h':
        case L'H':
            return 3600;
        default:
            return 0;
    }
}

}  // namespace

std::optional<std::uint32_t> DurationArgument(std::wstring_view text) {
    std::uint32_t unit = 60;  // bare digits: minutes
    if (const std::uint32_t named = UnitSeconds(text.empty() ? L'0' : text.back())) {
        unit = named;
        text.remove_suffix(1);
    }
    // Six digits are more than 24 hours in any unit, so the number never overflows.
    if (text.empty() || text.size() > 6) return std::nullopt;
    std::uint32_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        number = number * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    const std::uint32_t seconds = number * unit;
    if (seconds < revert::kShortestSeconds || seconds > revert::kLongestSeconds) return std::nullopt;
    return seconds;
}

std::wstring DurationArgumentError(const std::wstring& text) {
    return L"“" + text +
           L"”不是可用的时长：请写数字加 s（秒）、m（分钟）或 h（小时），只写数字按分钟计，"
           L"从 10 秒到 24 小时，例如 10m。";
}

}  // namespace console
