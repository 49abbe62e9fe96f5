// Reads the Windows Firewall's state through INetFwPolicy2 and Group Policy's values: the current
// profiles, each profile's settings, whether a rule added locally would take effect, the rules that can
// concern inbound TCP or UDP, Group Policy's own rules, the interfaces the firewall leaves alone, and
// whether service hardening restricts Remote Desktop's service. Any call about the whole firewall that
// fails leaves the state unknown: a firewall that cannot be read is never reported. A single rule that
// cannot be copied out is counted instead.

#include "base/Handles.h"
#include "guard/FirewallCom.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using base::ComPtr;
using namespace firewall;

constexpr ULONG kRulesPerFetch = 64;
constexpr const wchar_t* kPolicyRoot = L"SOFTWARE\\Policies\\Microsoft\\WindowsFirewall";
// The Firewall CSP's store (MDM), which INetFwPolicy2 does not describe.
constexpr const wchar_t* kMdmStore = L"SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\Mdm";

HRESULT ReadProfile(INetFwPolicy2* policy, long type, Profile& profile) {
    const auto profileType = static_cast<NET_FW_PROFILE_TYPE2>(type);
    VARIANT_BOOL on = VARIANT_FALSE;
    VARIANT_BOOL blockAll = VARIANT_FALSE;
    NET_FW_ACTION inbound = NET_FW_ACTION_BLOCK;
    HRESULT hr = policy->get_FirewallEnabled(profileType, &on);
    if (SUCCEEDED(hr)) hr = policy->get_BlockAllInboundTraffic(profileType, &blockAll);
    if (SUCCEEDED(hr)) hr = policy->get_DefaultInboundAction(profileType, &inbound);
    profile.firewallOn = on != VARIANT_FALSE;
    profile.blockAllInbound = blockAll != VARIANT_FALSE;
    profile.inboundAllowedByDefault = inbound == NET_FW_ACTION_ALLOW;
    return hr;
}

std::optional<std::uint32_t> PolicyValue(const std::wstring& key, const wchar_t* value) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

bool KeyExists(const std::wstring& key) {
    base::UniqueRegistryKey handle;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, handle.Put()) == ERROR_SUCCESS;
}

// Group Policy's values for one profile key (MS-GPFAS 2.2.3 and the legacy merge settings of 2.2.1).
PolicyProfile ReadPolicyProfile(const wchar_t* name) {
    const std::wstring key = std::wstring(kPolicyRoot) + L"\\" + name;
    PolicyProfile policy;
    policy.exists = KeyExists(key);
    if (!policy.exists) return policy;
    policy.enableFirewall = PolicyValue(key, L"EnableFirewall");
    policy.defaultInboundAction = PolicyValue(key, L"DefaultInboundAction");
    policy.allowLocalPolicyMerge = PolicyValue(key, L"AllowLocalPolicyMerge");
    policy.doNotAllowExceptions = PolicyValue(key, L"DoNotAllowExceptions");
    policy.globallyOpenPortsMerge = PolicyValue(key + L"\\GloballyOpenPorts", L"AllowUserPrefMerge");
    policy.authorizedApplicationsMerge = PolicyValue(key + L"\\AuthorizedApplications", L"AllowUserPrefMerge");
    return policy;
}

// Interfaces policy leaves outside the firewall (DisabledInterfaces, a list of interface ids).
void ReadPolicyExclusions(const wchar_t* name, State& state) {
    const std::wstring key = std::wstring(kPolicyRoot) + L"\\" + name;
    wchar_t text[1024] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    const LONG status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DisabledInterfaces", RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ,
                                     nullptr, text, &size);
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && text[0] != L'\0'))
        state.excludedInterfaces.push_back(status == ERROR_SUCCESS ? text : L"(policy)");
}

// Group Policy's rules: every string value under FirewallRules.
void ReadPolicyRules(State& state) {
    base::UniqueRegistryKey owner;
    const std::wstring path = std::wstring(kPolicyRoot) + L"\\FirewallRules";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, owner.Put()) != ERROR_SUCCESS) return;
    const HKEY key = owner.Get();
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        DWORD size = 0;
        LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ || size > 65536) {
            state.policyRules.emplace_back();  // unreadable: counts as a rule that cannot be parsed
            continue;
        }
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        nameLength = 256;
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
        if (status != ERROR_SUCCESS) {
            state.policyRules.emplace_back();
            continue;
        }
        text.resize(wcsnlen(text.c_str(), text.size()));
        state.policyRules.push_back(std::move(text));
    }
}

void ReadPolicy(State& state) {
    constexpr const wchar_t* kNames[kPolicyKeys] = {L"DomainProfile", L"PrivateProfile", L"PublicProfile",
                                                    L"StandardProfile"};
    for (int i = 0; i < kPolicyKeys; ++i) {
        state.policy[i] = ReadPolicyProfile(kNames[i]);
        ReadPolicyExclusions(kNames[i], state);
    }
    ReadPolicyRules(state);
    state.mdmPolicy = KeyExists(kMdmStore);
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

// INetFwPolicy2::get_ExcludedInterfaces, for every profile.
HRESULT ReadExcludedInterfaces(INetFwPolicy2* policy, State& state) {
    for (long type : kProfileBits) {
        base::ScopedVariant interfaces;
        HRESULT hr = policy->get_ExcludedInterfaces(static_cast<NET_FW_PROFILE_TYPE2>(type), interfaces.Get());
        if (SUCCEEDED(hr)) hr = CopyStringArray(*interfaces, state.excludedInterfaces);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// Copies every rule of the collection that `keep` wants; a rule that cannot be copied is counted.
template <class Keep>
HRESULT ReadRuleList(INetFwRules* rules, std::vector<Rule>& out, int& unreadable, Keep keep) {
    ComPtr<IUnknown> enumerator;
    ComPtr<IEnumVARIANT> items;
    HRESULT hr = rules->get__NewEnum(enumerator.Put());
    if (SUCCEEDED(hr)) hr = enumerator->QueryInterface(__uuidof(IEnumVARIANT), items.PutVoid());
    if (FAILED(hr)) return hr;
    for (;;) {
        base::ScopedVariant batch[kRulesPerFetch];
        ULONG fetched = 0;
        hr = items->Next(kRulesPerFetch, batch[0].Get(), &fetched);
        if (FAILED(hr)) return hr;
        for (ULONG i = 0; i < fetched && i < kRulesPerFetch; ++i) {
            const VARIANT& item = *batch[i];
            ComPtr<INetFwRule> rule;
            Rule copy;
            if (item.vt != VT_DISPATCH || !item.pdispVal ||
                FAILED(item.pdispVal->QueryInterface(kIidRule, rule.PutVoid())) || !rule ||
                FAILED(CopyRule(rule.Get(), false, copy))) {
                ++unreadable;
                continue;
            }
            if (keep(copy)) out.push_back(std::move(copy));
        }
        if (hr == S_FALSE || fetched < kRulesPerFetch) return S_OK;
    }
}

HRESULT ReadRules(INetFwPolicy2* policy, State& state) {
    ComPtr<INetFwRules> rules;
    const HRESULT hr = policy->get_Rules(rules.Put());
    if (FAILED(hr)) return hr;
    return ReadRuleList(rules.Get(), state.rules, state.unreadableRules, &MattersToTheModel);
}

// Windows Service Hardening: whether TermService is restricted, and its own rules when it is.
HRESULT ReadServiceRestriction(INetFwPolicy2* policy, State& state) {
    ComPtr<INetFwServiceRestriction> restriction;
    HRESULT hr = policy->get_ServiceRestriction(restriction.Put());
    const UniqueBstr service(SysAllocString(kRemoteDesktopService));
    const UniqueBstr program(SysAllocString(kRemoteDesktopProgram));
    if (SUCCEEDED(hr) && (!service || !program)) hr = E_OUTOFMEMORY;
    VARIANT_BOOL restricted = VARIANT_FALSE;
    if (SUCCEEDED(hr)) hr = restriction->ServiceRestricted(service.Get(), program.Get(), &restricted);
    if (FAILED(hr)) return hr;
    state.termServiceRestricted = restricted != VARIANT_FALSE;
    if (!state.termServiceRestricted) return S_OK;
    ComPtr<INetFwRules> rules;
    hr = restriction->get_Rules(rules.Put());
    if (FAILED(hr)) return hr;
    int unreadable = 0;
    hr = ReadRuleList(rules.Get(), state.termServiceRules, unreadable, [](const Rule& rule) {
        return CompareStringOrdinal(rule.serviceName.c_str(), -1, kRemoteDesktopService, -1, TRUE) == CSTR_EQUAL;
    });
    // A hardening rule that cannot be read may be the one that admits: keep none, so none admits.
    if (unreadable > 0) state.termServiceRules.clear();
    return hr;
}

State ReadFirewall() {
    ComPtr<INetFwPolicy2> policy;
    long types = 0;
    if (FAILED(OpenPolicy(policy)) || FAILED(policy->get_CurrentProfileTypes(&types))) return {};
    State state;
    state.currentProfiles = types & kEveryProfile;
    for (long type : kProfileBits)
        if (FAILED(ReadProfile(policy.Get(), type, state.profiles[ProfileIndex(type)]))) return {};
    if (FAILED(ReadModifyState(policy.Get(), state)) || FAILED(ReadRules(policy.Get(), state)) ||
        FAILED(ReadExcludedInterfaces(policy.Get(), state)) || FAILED(ReadServiceRestriction(policy.Get(), state)))
        return {};
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
