#pragma once
// What reading and writing the Windows Firewall through COM share: the class and interface ids (the
// MinGW import libraries do not carry them), and a rule copied out.

#include <netfw.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/ComValues.h"
#include "base/Handles.h"
#include "guard/FirewallModel.h"

namespace guard::firewall {

// netfw.h: CLSID_NetFwPolicy2, CLSID_NetFwRule, IID_INetFwPolicy2, IID_INetFwRule, IID_INetFwRule3.
inline constexpr CLSID kClsidPolicy2 = {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
inline constexpr CLSID kClsidRule = {0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
inline constexpr IID kIidPolicy2 = {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
inline constexpr IID kIidRule = {0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};
inline constexpr IID kIidRule3 = {0xB21563FF, 0xD696, 0x4222, {0xAB, 0x46, 0x4E, 0x89, 0xB7, 0x3A, 0xB3, 0x4A}};

using base::UniqueBstr;

// The policy object (INetFwPolicy2); its HRESULT when it cannot be had. COM is started on this thread
// first if nobody has (the program does it at its start; tests and tools may not).
HRESULT OpenPolicy(base::ComPtr<INetFwPolicy2>& policy);

// A BSTR property of a rule as text.
template <class Interface>
HRESULT ReadText(Interface* rule, HRESULT (STDMETHODCALLTYPE Interface::*get)(BSTR*), std::wstring& out) {
    UniqueBstr text;
    const HRESULT hr = (rule->*get)(text.Put());
    if (FAILED(hr)) return hr;
    out = text ? std::wstring(text.Get(), SysStringLen(text.Get())) : std::wstring();
    return S_OK;
}

// The strings of a VARIANT array (of BSTRs or of VARIANTs holding BSTRs, by value or by reference),
// appended to `out`; nothing for an empty VARIANT. Any other content is an error.
HRESULT CopyStringArray(const VARIANT& value, std::vector<std::wstring>& out);

// Copies what decides whether the rule admits a port. A rule that is disabled, outbound, or for
// neither TCP nor UDP is copied only that far (its name and group aside) unless `complete`.
HRESULT CopyRule(INetFwRule* rule, bool complete, Rule& out);

}  // namespace guard::firewall
