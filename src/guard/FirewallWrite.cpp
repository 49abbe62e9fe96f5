// The firewall's rule store as the program writes it, through INetFwPolicy2/INetFwRules: add a rule
// (every field the model checks is set), remove or rename a rule by its name, read a rule back. Where the
// firewall accepts calls without storing anything (Wine), the read-back fails or differs, so a change is
// never taken as made.

#include "common/ProgramTitle.h"
#include "guard/FirewallCom.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using base::ComPtr;
using base::UniqueBstr;
using namespace firewall;

std::wstring OwnRuleDescription() {
    return L"远程桌面的入站端口（由 " + std::wstring(common::kProgramTitle) + L" 添加）";
}

UniqueBstr Bstr(const std::wstring& text) {
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

HRESULT OpenRules(ComPtr<INetFwRules>& rules) {
    ComPtr<INetFwPolicy2> policy;
    HRESULT hr = OpenPolicy(policy);
    if (SUCCEEDED(hr)) hr = policy->get_Rules(rules.Put());
    return hr;
}

HRESULT Find(const std::wstring& name, ComPtr<INetFwRule>& rule) {
    ComPtr<INetFwRules> rules;
    const UniqueBstr text = Bstr(name);
    if (!text) return E_OUTOFMEMORY;
    HRESULT hr = OpenRules(rules);
    if (SUCCEEDED(hr)) hr = rules->Item(text.Get(), rule.Put());
    if (SUCCEEDED(hr) && !rule) hr = E_POINTER;
    return hr;
}

// The protocol comes first: a rule takes local ports only once it is for TCP or UDP.
HRESULT Fill(INetFwRule* rule, const Rule& wanted) {
    const UniqueBstr name = Bstr(wanted.name);
    const UniqueBstr description = Bstr(OwnRuleDescription());
    const UniqueBstr grouping = Bstr(wanted.grouping);
    const UniqueBstr ports = Bstr(wanted.localPorts);
    if (!name || !description || !grouping || !ports) return E_OUTOFMEMORY;
    HRESULT hr = rule->put_Name(name.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Description(description.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Grouping(grouping.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Protocol(wanted.protocol);
    if (SUCCEEDED(hr)) hr = rule->put_LocalPorts(ports.Get());
    if (SUCCEEDED(hr)) hr = rule->put_Direction(NET_FW_RULE_DIR_IN);
    if (SUCCEEDED(hr)) hr = rule->put_Action(wanted.action == Action::Allow ? NET_FW_ACTION_ALLOW : NET_FW_ACTION_BLOCK);
    if (SUCCEEDED(hr)) hr = rule->put_Profiles(wanted.profiles);
    if (SUCCEEDED(hr)) hr = rule->put_Enabled(wanted.enabled ? VARIANT_TRUE : VARIANT_FALSE);
    return hr;
}

long AddRule(const Rule& wanted) {
    ComPtr<INetFwRules> rules;
    ComPtr<INetFwRule> rule;
    HRESULT hr = OpenRules(rules);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(kClsidRule, nullptr, CLSCTX_INPROC_SERVER, kIidRule, rule.PutVoid());
    if (SUCCEEDED(hr)) hr = Fill(rule.Get(), wanted);
    if (SUCCEEDED(hr)) hr = rules->Add(rule.Get());
    return hr;
}

long RemoveRule(const std::wstring& name) {
    ComPtr<INetFwRules> rules;
    const UniqueBstr text = Bstr(name);
    if (!text) return E_OUTOFMEMORY;
    HRESULT hr = OpenRules(rules);
    if (SUCCEEDED(hr)) hr = rules->Remove(text.Get());
    return hr;
}

long RenameRule(const std::wstring& name, const std::wstring& newName) {
    ComPtr<INetFwRule> rule;
    const UniqueBstr text = Bstr(newName);
    if (!text) return E_OUTOFMEMORY;
    HRESULT hr = Find(name, rule);
    if (SUCCEEDED(hr)) hr = rule->put_Name(text.Get());
    return hr;
}

long ReadRule(const std::wstring& name, Rule& out) {
    ComPtr<INetFwRule> rule;
    const HRESULT hr = Find(name, rule);
    return FAILED(hr) ? hr : CopyRule(rule.Get(), true, out);
}

}  // namespace

FirewallStore RealFirewallStore() { return {&AddRule, &RemoveRule, &RenameRule, &ReadRule}; }

FirewallStore& FirewallStoreCalls() {
    static FirewallStore store = RealFirewallStore();
    return store;
}

}  // namespace guard
