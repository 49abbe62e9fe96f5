#include "guard/FirewallCom.h"

#include <objbase.h>

#include "base/ComApartment.h"

namespace guard::firewall {
namespace {

// INetFwRule3's conditions (Windows 8 and later). Where the rule has no INetFwRule3, it has none of them.
HRESULT CopyConditions(INetFwRule* rule, Rule& out) {
    base::ComPtr<INetFwRule3> rule3;
    if (FAILED(rule->QueryInterface(kIidRule3, rule3.PutVoid())) || !rule3) return S_OK;
    HRESULT hr = ReadText(rule3.Get(), &INetFwRule3::get_LocalAppPackageId, out.localAppPackageId);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_LocalUserOwner, out.localUserOwner);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_LocalUserAuthorizedList, out.localUserAuthorizedList);
    if (SUCCEEDED(hr)) hr = ReadText(rule3.Get(), &INetFwRule3::get_RemoteUserAuthorizedList, out.remoteUserAuthorizedList);
    if (SUCCEEDED(hr))
        hr = ReadText(rule3.Get(), &INetFwRule3::get_RemoteMachineAuthorizedList, out.remoteMachineAuthorizedList);
    if (SUCCEEDED(hr)) hr = rule3->get_SecureFlags(&out.secureFlags);
    return hr;
}

// Interfaces is a VARIANT holding an array of interface names (by value, or by reference), or nothing.
HRESULT CopyInterfaces(INetFwRule* rule, Rule& out) {
    base::ScopedVariant interfaces;
    HRESULT hr = rule->get_Interfaces(interfaces.Get());
    if (FAILED(hr)) return hr;
    out.interfaces.clear();
    hr = CopyStringArray(*interfaces, out.interfaces);
    if (FAILED(hr)) return hr;
    return ReadText(rule, &INetFwRule::get_InterfaceTypes, out.interfaceTypes);
}

}  // namespace

HRESULT CopyStringArray(const VARIANT& value, std::vector<std::wstring>& out) {
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) return S_OK;
    if ((value.vt & VT_ARRAY) == 0 || ((value.vt & VT_TYPEMASK) != VT_VARIANT && (value.vt & VT_TYPEMASK) != VT_BSTR))
        return E_INVALIDARG;
    // By reference, the member holds a pointer to the array pointer (pparray), not the array.
    SAFEARRAY* array = (value.vt & VT_BYREF) != 0 ? (value.pparray ? *value.pparray : nullptr) : value.parray;
    if (!array) return S_OK;
    if (SafeArrayGetDim(array) != 1) return E_INVALIDARG;
    LONG low = 0, high = -1;
    HRESULT hr = SafeArrayGetLBound(array, 1, &low);
    if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(array, 1, &high);
    for (LONG i = low; SUCCEEDED(hr) && i <= high; ++i) {
        base::ScopedVariant item;
        if ((value.vt & VT_TYPEMASK) == VT_BSTR) {
            BSTR text = nullptr;
            hr = SafeArrayGetElement(array, &i, &text);
            if (SUCCEEDED(hr)) {
                item.Get()->vt = VT_BSTR;
                item.Get()->bstrVal = text;  // freed with the item
            }
        } else {
            hr = SafeArrayGetElement(array, &i, item.Get());
        }
        if (FAILED(hr)) return hr;
        if ((*item).vt != VT_BSTR) return E_INVALIDARG;
        out.emplace_back((*item).bstrVal ? (*item).bstrVal : L"", (*item).bstrVal ? SysStringLen((*item).bstrVal) : 0);
    }
    return hr;
}

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
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_RemotePorts, out.remotePorts);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_ApplicationName, out.applicationName);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_ServiceName, out.serviceName);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_LocalAddresses, out.localAddresses);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_RemoteAddresses, out.remoteAddresses);
    VARIANT_BOOL edge = VARIANT_FALSE;
    if (SUCCEEDED(hr)) hr = rule->get_EdgeTraversal(&edge);
    out.edgeTraversal = edge != VARIANT_FALSE;
    if (SUCCEEDED(hr)) hr = CopyInterfaces(rule, out);
    if (SUCCEEDED(hr)) hr = CopyConditions(rule, out);
    out.action = action == NET_FW_ACTION_ALLOW ? Action::Allow : Action::Block;
    return hr;
}

}  // namespace guard::firewall
