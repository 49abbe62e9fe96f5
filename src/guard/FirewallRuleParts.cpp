#include "guard/FirewallRuleParts.h"

namespace guard::firewall {
namespace {

constexpr std::uint32_t kHighestPort = 65535;

wchar_t Folded(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

bool ParsePort(std::wstring_view text, std::uint32_t& port) {
    text = Trimmed(text);
    if (text.empty()) return false;
    port = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        port = port * 10 + static_cast<std::uint32_t>(c - L'0');
        if (port > kHighestPort) return false;
    }
    return true;
}

namespace {

bool AllInterfaceTypes(std::wstring_view types) {
    types = Trimmed(types);
    return types.empty() || SameNoCase(types, L"All");
}

}  // namespace

std::wstring_view Trimmed(std::wstring_view text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool SameNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

bool Any(std::wstring_view list) {
    list = Trimmed(list);
    return list.empty() || list == L"*";
}

bool ParsePortRange(std::wstring_view text, std::uint32_t& low, std::uint32_t& high) {
    const size_t dash = text.find(L'-');
    if (dash == std::wstring_view::npos) {
        if (!ParsePort(text, low)) return false;
        high = low;
        return true;
    }
    return ParsePort(text.substr(0, dash), low) && ParsePort(text.substr(dash + 1), high) && low <= high;
}

bool Narrowed(const Rule& rule) {
    return !Any(rule.remotePorts) || !Any(rule.localAddresses) || !Any(rule.remoteAddresses) ||
           !AllInterfaceTypes(rule.interfaceTypes) || !rule.interfaces.empty() ||
           !Trimmed(rule.localUserAuthorizedList).empty() || !Trimmed(rule.remoteUserAuthorizedList).empty() ||
           !Trimmed(rule.remoteMachineAuthorizedList).empty() || rule.secureFlags != 0 || rule.conditionsBeyondModel;
}

}  // namespace guard::firewall
