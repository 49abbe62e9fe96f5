#include "guard/FirewallCom.h"

#include <objbase.h>

namespace guard::firewall {

HRESULT OpenPolicy(base::ComPtr<INetFwPolicy2>& policy) {
    static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;  // S_FALSE or RPC_E_CHANGED_MODE: COM is already usable on this thread
    return CoCreateInstance(kClsidPolicy2, nullptr, CLSCTX_INPROC_SERVER, kIidPolicy2, policy.PutVoid());
}

HRESULT ReadText(INetFwRule* rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(BSTR*), std::wstring& out) {
    UniqueBstr text;
    const HRESULT hr = (rule->*get)(text.Put());
    if (FAILED(hr)) return hr;
    out = text ? std::wstring(text.Get(), SysStringLen(text.Get())) : std::wstring();
    return S_OK;
}

HRESULT CopyRule(INetFwRule* rule, bool complete, Rule& out) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    HRESULT hr = rule->get_Enabled(&enabled);
    if (SUCCEEDED(hr)) hr = rule->get_Direction(&direction);
    if (SUCCEEDED(hr)) hr = rule->get_Protocol(&out.protocol);
    if (FAILED(hr)) return hr;
    out.enabled = enabled != VARIANT_FALSE;
    out.direction = direction == NET_FW_RULE_DIR_OUT ? Direction::Out : Direction::In;
    if (!ConcernsInboundTcp(out) && !complete) return S_OK;

    NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
    hr = rule->get_Action(&action);
    if (SUCCEEDED(hr)) hr = rule->get_Profiles(&out.profiles);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_LocalPorts, out.localPorts);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_ApplicationName, out.applicationName);
    if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_ServiceName, out.serviceName);
    if (FAILED(hr)) return hr;
    out.action = action == NET_FW_ACTION_ALLOW ? Action::Allow : Action::Block;
    // Addresses only matter to block rules (see FirewallModel.cpp).
    if (out.action == Action::Block || complete) {
        hr = ReadText(rule, &INetFwRule::get_LocalAddresses, out.localAddresses);
        if (SUCCEEDED(hr)) hr = ReadText(rule, &INetFwRule::get_RemoteAddresses, out.remoteAddresses);
    }
    if (SUCCEEDED(hr) && complete) hr = ReadText(rule, &INetFwRule::get_Name, out.name);
    return hr;
}

}  // namespace guard::firewall
