#include "common/PortEntry.h"

#include "common/UserLocale.h"

namespace common {
namespace {

constexpr std::int64_t kLowestPort = 0;
constexpr std::int64_t kHighestPort = 65535;

}  // namespace

std::wstring TrimSpaces(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::optional<std::int32_t> AcceptedPort(const std::wstring& trimmedText) {
    if (!IsPlainNumber(trimmedText)) return std::nullopt;
    const std::optional<std::int64_t> value = RoundedValue(trimmedText);
    if (!value || *value < kLowestPort || *value > kHighestPort) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

}  // namespace common
