#include "support/FakeFirewall.h"

#include <algorithm>

#include "guard/Probes.h"

namespace testkit {
namespace {

constexpr long kNotFound = static_cast<long>(0x80070002);  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)

}  // namespace

FakeFirewall::FakeFirewall(guard::firewall::State initial) : state(std::move(initial)) {
    auto failure = [this](const std::string& function, const std::wstring& name) {
        return fail ? fail(function, name) : 0L;
    };
    guard::FirewallReadCall().Set([this] { return state; });
    guard::FirewallStore& store = guard::FirewallStoreCalls();
    store.Add = [this, failure](const guard::firewall::Rule& rule) -> long {
        calls.push_back(L"Add " + rule.name);
        if (const long hr = failure("Add", rule.name)) return hr;
        if (keepsWrites) state.rules.push_back(rule);
        return 0;
    };
    store.Remove = [this, failure](const std::wstring& name) -> long {
        calls.push_back(L"Remove " + name);
        if (const long hr = failure("Remove", name)) return hr;
        auto found = std::find_if(state.rules.begin(), state.rules.end(), [&](const auto& r) { return r.name == name; });
        if (found != state.rules.end()) state.rules.erase(found);
        return 0;
    };
    store.Rename = [this, failure](const std::wstring& name, const std::wstring& newName) -> long {
        calls.push_back(L"Rename " + name + L" -> " + newName);
        if (const long hr = failure("Rename", name)) return hr;
        auto found = std::find_if(state.rules.begin(), state.rules.end(), [&](const auto& r) { return r.name == name; });
        if (found == state.rules.end()) return kNotFound;
        found->name = newName;
        return 0;
    };
    store.Read = [this, failure](const std::wstring& name, guard::firewall::Rule& out) -> long {
        calls.push_back(L"Read " + name);
        if (const long hr = failure("Read", name)) return hr;
        const guard::firewall::Rule* rule = Find(name);
        if (!rule) return kNotFound;
        out = *rule;
        if (alterReadBack) alterReadBack(out);
        return 0;
    };
}

FakeFirewall::~FakeFirewall() {
    guard::FirewallReadCall().Reset();
    guard::FirewallStoreCalls() = guard::RealFirewallStore();
}

std::vector<std::wstring> FakeFirewall::Of(const std::wstring& function) const {
    std::vector<std::wstring> matching;
    for (const std::wstring& call : calls)
        if (call.rfind(function + L" ", 0) == 0) matching.push_back(call);
    return matching;
}

const guard::firewall::Rule* FakeFirewall::Find(const std::wstring& name) const {
    for (const guard::firewall::Rule& rule : state.rules)
        if (rule.name == name) return &rule;
    return nullptr;
}

int FakeFirewall::Count(const std::wstring& name) const {
    return static_cast<int>(std::count_if(state.rules.begin(), state.rules.end(),
                                          [&](const guard::firewall::Rule& r) { return r.name == name; }));
}

}  // namespace testkit
