#include "guard/FirewallCom.h"

#include <objbase.h>

#include "base/ComApartment.h"

namespace guard::firewall {
namespace {

bool MattersToTheModel(const Rule& rule) {
    return ConcernsInbound(rule, kProtocolTcp) || ConcernsInbound(rule, kProtocolUdp) || IsOwnRule(rule);
}

// INetFwRule3's conditions (Windows 8 and later): any of them set narrows the rule. Where the rule has
// no INetFwRule3, it has none of them.
HRESULT CopyConditions(INetFwRule* rule, Rule& out) {
    base::ComPtr<INetFwRule3> rule3;
    if (FAILED(rule->QueryInterface(kIidRule3, rule3.PutVoid())) || !rule3) return S_OK;
    std::wstring texts[5];
    HRESULT hr = ReadText(rule3.Get(), &INetFwRule3::get_LocalAppPackageId, texts[0]);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_LocalUserOwner, texts[1]);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_LocalUserAuthorizedList, texts[2]);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_RemoteUserAuthorizedList, texts[3]);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_RemoteMachineAuthorizedList, texts[4]);
    LONG secureFlags = 0;
    if (SUCCEEDED(hr)) hr = rule3->get_SecureFlags(&secureFlags);
    if (FAILED(hr)) return hr;
    out.conditionsBeyondModel = secureFlags != 0;
    for (const std::wstring& text : texts) out.conditionsBeyondModel = out.conditionsBeyondModel || !text.empty();
    return S_OK;
}

// Interfaces is a VARIANT holding an array of interface names, or nothing.
HRESULT CopyInterfaces(INetFwRule* rule, Rule& out) {
    base::ScopedVariant interfaces;
    HRESULT hr = rule->get_Interfaces(interfaces.Get());
    if (FAILED(hr)) return hr;
    const VARIANT& value = *interfaces;
    out.limitedToInterfaces = false;
    if ((value.vt & VT_ARRAY) != 0 && value.parray) {
        LONG low = 0, high = -1;
        if (SUCCEEDED(SafeArrayGetLBound(value.parray, 1, &low)) && SUCCEEDED(SafeArrayGetUBound(value.parray, 1, &high)))
            out.limitedToInterfaces = high >= low;
        else
            out.limitedToInterfaces = true;  // an array that cannot be measured: count it as narrowing
    } else if (value.vt != VT_EMPTY && value.vt != VT_NULL) {
        out.limitedToInterfaces = true;
    }
    return ReadText(rule, &INetFwRule::get_InterfaceTypes, out.interfaceTypes);
}

}  // namespace

HRESULT OpenPolicy(base::ComPtr<INetFwPolicy2>& policy) {
    base::EnsureComApartment();
    return CoCreateInstance(kClsidPolicy2, nullptr, CLSCTX_INPROC_SERVER, kIidPolicy2, policy.PutVoid());
}

HRESULT CopyRule(INetFwRule* rule, bool complete, Rule& out) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    HRESULT hr = rule->get_Enabled(&enabled);
    if (SUCCEEDED(hr)) hr = rule->get_Direction(&direction);
    if (SUCCEEDED(hr)) hr = rule->get_Protocol(&out.protocol);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_Name, out.name);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_Grouping, out.grouping);
    if (FAILED(hr)) return hr;
    out.enabled = enabled != VARIANT_FALSE;
    out.direction = direction == NET_FW_RULE_DIR_OUT ? Direction::Out : Direction::In;
    if (!MattersToTheModel(out) && !complete) return S_OK;

    NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
    hr = rule->get_Action(&action);
    if (SUCCEEDED(hr)) hr = rule->get_Profiles(&out.profiles);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_LocalPorts, out.localPorts);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_ApplicationName, out.applicationName);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_ServiceName, out.serviceName);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_LocalAddresses, out.localAddresses);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_RemoteAddresses, out.remoteAddresses);
    if (SUCCEEDED(hr)) hr = CopyInterfaces(rule, out);
    if (SUCCEEDED(hr)) hr = CopyConditions(rule, out);
    out.action = action == NET_FW_ACTION_ALLOW ? Action::Allow : Action::Block;
    return hr;
}

}  // namespace guard::firewall
