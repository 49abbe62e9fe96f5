// Adds or updates the program's own inbound allow rule through INetFwPolicy2/INetFwRules, then reads
// it back by its name. Where the firewall accepts calls without storing anything (Wine), the read-back
// fails or differs, so the change is never taken as made.

#include "common/ProgramTitle.h"
#include "guard/FirewallCom.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using base::ComPtr;
using namespace firewall;

std::wstring OwnRuleDescription() { return L"远程桌面的入站 TCP 端口（由 " + std::wstring(common::kProgramTitle) + L" 添加）"; }

UniqueBstr Bstr(const std::wstring& text) {
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// The protocol comes first: a rule takes local ports only once it is for TCP or UDP.
HRESULT Apply(INetFwRule* rule, const Rule& wanted) {
    const UniqueBstr ports = Bstr(wanted.localPorts);
    const UniqueBstr anyAddress = Bstr(L"*");
    if (!ports || !anyAddress) return E_OUTOFMEMORY;
    HRESULT hr = rule->put_Protocol(wanted.protocol);
    if (SUCCEEDED(hr)) hr = rule->put_LocalPorts(ports.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Direction(NET_FW_RULE_DIR_IN);
    if (SUCCEEDED(hr)) hr = rule->put_Action(NET_FW_ACTION_ALLOW);
    if (SUCCEEDED(hr)) hr = rule->put_Profiles(wanted.profiles);
    // An earlier copy of the rule may have been narrowed by hand: it admits every address again.
    if (SUCCEEDED(hr)) hr = rule->put_LocalAddresses(anyAddress.Get());
    if (SUCCEEDED(hr)) hr = rule->put_RemoteAddresses(anyAddress.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Enabled(VARIANT_TRUE);
    return hr;
}

HRESULT AddNew(INetFwRules* rules, const Rule& wanted) {
    ComPtr<INetFwRule> rule;
    HRESULT hr = CoCreateInstance(kClsidRule, nullptr, CLSCTX_INPROC_SERVER, kIidRule, rule.PutVoid());
    if (FAILED(hr)) return hr;
    const UniqueBstr name = Bstr(wanted.name);
    const UniqueBstr description = Bstr(OwnRuleDescription());
    if (!name || !description) return E_OUTOFMEMORY;
    hr = rule->put_Name(name.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Description(description.Get());
    if (SUCCEEDED(hr)) hr = Apply(rule.Get(), wanted);
    if (SUCCEEDED(hr)) hr = rules->Add(rule.Get());
    return hr;
}

HRESULT AddOrUpdate(INetFwRules* rules, const Rule& wanted) {
    const UniqueBstr name = Bstr(wanted.name);
    if (!name) return E_OUTOFMEMORY;
    ComPtr<INetFwRule> existing;
    const HRESULT found = rules->Item(name.Get(), existing.Put());
    if (SUCCEEDED(found) && existing) return Apply(existing.Get(), wanted);
    // Only a rule that is certainly missing is added: anything else could make a second copy.
    if (found != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return FAILED(found) ? found : E_POINTER;
    return AddNew(rules, wanted);
}

HRESULT ReadBack(INetFwRules* rules, const std::wstring& name, Rule& out) {
    const UniqueBstr text = Bstr(name);
    if (!text) return E_OUTOFMEMORY;
    ComPtr<INetFwRule> rule;
    const HRESULT hr = rules->Item(text.Get(), rule.Put());
    if (FAILED(hr)) return hr;
    return rule ? CopyRule(rule.Get(), true, out) : E_POINTER;
}

OwnRuleAttempt WriteOwnRule(std::uint16_t port) {
    OwnRuleAttempt attempt;
    ComPtr<INetFwPolicy2> policy;
    ComPtr<INetFwRules> rules;
    long profiles = 0;
    HRESULT hr = OpenPolicy(policy);
    if (SUCCEEDED(hr)) hr = policy->get_CurrentProfileTypes(&profiles);
    attempt.written = OwnRule(port, profiles);
    if (SUCCEEDED(hr)) hr = policy->get_Rules(rules.Put());
    if (SUCCEEDED(hr)) hr = AddOrUpdate(rules.Get(), attempt.written);
    Rule readBack;
    if (SUCCEEDED(hr)) hr = ReadBack(rules.Get(), attempt.written.name, readBack);
    attempt.hresult = hr;
    if (SUCCEEDED(hr)) attempt.readBack = std::move(readBack);
    return attempt;
}

}  // namespace

FirewallWriteSeam& FirewallWriteCall() {
    static FirewallWriteSeam seam(&WriteOwnRule);
    return seam;
}

}  // namespace guard
