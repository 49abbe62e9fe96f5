// Reads the Windows Firewall's state through INetFwPolicy2: the current profiles, whether the firewall
// is on in each and how it treats unsolicited inbound traffic, and the rules that can concern inbound
// TCP. Any call that fails leaves the state unknown: a firewall that cannot be read is never reported.

#include "guard/FirewallCom.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using base::ComPtr;
using namespace firewall;

constexpr long kProfileBits[] = {kProfileDomain, kProfilePrivate, kProfilePublic};
constexpr ULONG kRulesPerFetch = 64;

HRESULT ReadProfile(INetFwPolicy2* policy, long type, Profile& profile) {
    const auto profileType = static_cast<NET_FW_PROFILE_TYPE2>(type);
    profile.type = type;
    VARIANT_BOOL on = VARIANT_FALSE;
    HRESULT hr = policy->get_FirewallEnabled(profileType, &on);
    profile.firewallOn = on != VARIANT_FALSE;
    if (FAILED(hr) || !profile.firewallOn) return hr;
    VARIANT_BOOL blockAll = VARIANT_FALSE;
    NET_FW_ACTION inbound = NET_FW_ACTION_BLOCK;
    hr = policy->get_BlockAllInboundTraffic(profileType, &blockAll);
    if (SUCCEEDED(hr)) hr = policy->get_DefaultInboundAction(profileType, &inbound);
    profile.blockAllInbound = blockAll != VARIANT_FALSE;
    profile.inboundAllowedByDefault = inbound == NET_FW_ACTION_ALLOW;
    return hr;
}

// Adds the rules that matter (enabled, inbound, TCP or any protocol) to the state.
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
        HRESULT copied = S_OK;
        for (ULONG i = 0; i < fetched; ++i) {
            ComPtr<INetFwRule> rule;
            const VARIANT& item = *batch[i];
            if (SUCCEEDED(copied) && item.vt == VT_DISPATCH && item.pdispVal)
                copied = item.pdispVal->QueryInterface(kIidRule, rule.PutVoid());
            Rule copy;
            if (SUCCEEDED(copied) && rule) copied = CopyRule(rule.Get(), false, copy);
            if (SUCCEEDED(copied) && rule && ConcernsInboundTcp(copy)) state.rules.push_back(std::move(copy));
        }
        if (FAILED(copied)) return copied;
        if (hr == S_FALSE || fetched < kRulesPerFetch) return S_OK;
    }
}

State ReadFirewall() {
    ComPtr<INetFwPolicy2> policy;
    long types = 0;
    if (FAILED(OpenPolicy(policy)) || FAILED(policy->get_CurrentProfileTypes(&types))) return {};
    State state;
    bool anyOn = false;
    for (long type : kProfileBits) {
        if ((types & type) == 0) continue;
        Profile profile;
        if (FAILED(ReadProfile(policy.Get(), type, profile))) return {};
        anyOn = anyOn || profile.firewallOn;
        state.current.push_back(profile);
    }
    // With the firewall off everywhere that counts, the rules decide nothing.
    if (anyOn && FAILED(ReadRules(policy.Get(), state))) return {};
    state.known = true;
    return state;
}

}  // namespace

FirewallReadSeam& FirewallReadCall() {
    static FirewallReadSeam seam(&ReadFirewall);
    return seam;
}

}  // namespace guard
