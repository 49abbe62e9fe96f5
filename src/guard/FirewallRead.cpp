// Reads the Windows Firewall's state through INetFwPolicy2 and Group Policy's firewall values: the
// current profiles, whether the firewall is on in each and how it treats unsolicited inbound traffic,
// whether a rule added locally would take effect, and the rules that can concern inbound TCP or UDP.
// Any call about the whole firewall that fails leaves the state unknown: a firewall that cannot be read
// is never reported. A single rule that cannot be copied out is counted instead.

#include "guard/FirewallCom.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using base::ComPtr;
using namespace firewall;

constexpr ULONG kRulesPerFetch = 64;

HRESULT ReadProfile(INetFwPolicy2* policy, long type, Profile& profile) {
    const auto profileType = static_cast<NET_FW_PROFILE_TYPE2>(type);
    profile.type = type;
    VARIANT_BOOL on = VARIANT_FALSE;
    VARIANT_BOOL blockAll = VARIANT_FALSE;
    NET_FW_ACTION inbound = NET_FW_ACTION_BLOCK;
    // Read whether or not the local setting is on: Group Policy may turn the profile on.
    HRESULT hr = policy->get_FirewallEnabled(profileType, &on);
    if (SUCCEEDED(hr)) hr = policy->get_BlockAllInboundTraffic(profileType, &blockAll);
    if (SUCCEEDED(hr)) hr = policy->get_DefaultInboundAction(profileType, &inbound);
    profile.firewallOn = on != VARIANT_FALSE;
    profile.blockAllInbound = blockAll != VARIANT_FALSE;
    profile.inboundAllowedByDefault = inbound == NET_FW_ACTION_ALLOW;
    return hr;
}

std::optional<bool> PolicyFlag(const wchar_t* key, const wchar_t* value, DWORD trueValue) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data == trueValue;
}

// Group Policy's values (MS-GPFAS 2.2.3: EnableFirewall, DefaultInboundAction, AllowLocalPolicyMerge,
// DoNotAllowExceptions). DefaultInboundAction counts the other way round from NET_FW_ACTION: 0 allows.
PolicyProfile ReadPolicyProfile(const wchar_t* key) {
    PolicyProfile policy;
    policy.firewallOn = PolicyFlag(key, L"EnableFirewall", 1);
    policy.inboundAllowedByDefault = PolicyFlag(key, L"DefaultInboundAction", 0);
    policy.localRulesApply = PolicyFlag(key, L"AllowLocalPolicyMerge", 1);
    policy.blockAllInbound = PolicyFlag(key, L"DoNotAllowExceptions", 1);
    return policy;
}

void ReadPolicy(State& state) {
    constexpr const wchar_t* kKeys[] = {
        L"SOFTWARE\\Policies\\Microsoft\\WindowsFirewall\\DomainProfile",
        L"SOFTWARE\\Policies\\Microsoft\\WindowsFirewall\\PrivateProfile",
        L"SOFTWARE\\Policies\\Microsoft\\WindowsFirewall\\PublicProfile",
    };
    for (int i = 0; i < 3; ++i) state.policy[i] = ReadPolicyProfile(kKeys[i]);
}

HRESULT ReadModifyState(INetFwPolicy2* policy, State& state) {
    NET_FW_MODIFY_STATE modify = NET_FW_MODIFY_STATE_OK;
    const HRESULT hr = policy->get_LocalPolicyModifyState(&modify);
    if (FAILED(hr)) return hr;
    state.modifyState = modify == NET_FW_MODIFY_STATE_GP_OVERRIDE       ? ModifyState::GroupPolicyOverride
                        : modify == NET_FW_MODIFY_STATE_INBOUND_BLOCKED ? ModifyState::InboundBlocked
                                                                        : ModifyState::Ok;
    return S_OK;
}

void AddRule(const VARIANT& item, State& state) {
    ComPtr<INetFwRule> rule;
    Rule copy;
    if (item.vt != VT_DISPATCH || !item.pdispVal || FAILED(item.pdispVal->QueryInterface(kIidRule, rule.PutVoid())) ||
        !rule || FAILED(CopyRule(rule.Get(), false, copy))) {
        ++state.unreadableRules;
        return;
    }
    if (ConcernsInbound(copy, kProtocolTcp) || ConcernsInbound(copy, kProtocolUdp) || IsOwnRule(copy))
        state.rules.push_back(std::move(copy));
}

HRESULT ReadRules(INetFwPolicy2* policy, State& state) {
    ComPtr<INetFwRules> rules;
    ComPtr<IUnknown> enumerator;
    ComPtr<IEnumVARIANT> items;
    HRESULT hr = policy->get_Rules(rules.Put());
    if (SUCCEEDED(hr)) hr = rules->get__NewEnum(enumerator.Put());
    if (SUCCEEDED(hr)) hr = enumerator->QueryInterface(IID_IEnumVARIANT, items.PutVoid());
    if (FAILED(hr)) return hr;
    for (;;) {
        base::ScopedVariant batch[kRulesPerFetch];
        ULONG fetched = 0;
        hr = items->Next(kRulesPerFetch, batch[0].Get(), &fetched);
        if (FAILED(hr)) return hr;
        for (ULONG i = 0; i < fetched && i < kRulesPerFetch; ++i) AddRule(*batch[i], state);
        if (hr == S_FALSE || fetched < kRulesPerFetch) return S_OK;
    }
}

State ReadFirewall() {
    ComPtr<INetFwPolicy2> policy;
    long types = 0;
    if (FAILED(OpenPolicy(policy)) || FAILED(policy->get_CurrentProfileTypes(&types))) return {};
    State state;
    for (long type : kProfileBits) {
        if ((types & type) == 0) continue;
        Profile profile;
        if (FAILED(ReadProfile(policy.Get(), type, profile))) return {};
        state.current.push_back(profile);
    }
    if (FAILED(ReadModifyState(policy.Get(), state)) || FAILED(ReadRules(policy.Get(), state))) return {};
    ReadPolicy(state);
    state.known = true;
    return state;
}

}  // namespace

FirewallReadSeam& FirewallReadCall() {
    static FirewallReadSeam seam(&ReadFirewall);
    return seam;
}

}  // namespace guard
