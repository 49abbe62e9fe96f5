#pragma once
// Owners for the COM automation values the program reads (firewall rules, scheduled tasks): BSTRs and
// VARIANTs are freed at the end of their scope, never by hand.

#include <oleauto.h>
#include <windows.h>

#include "base/Handles.h"

namespace base {

inline void FreeBstr(BSTR text) noexcept { SysFreeString(text); }
using UniqueBstr = UniqueHandle<BSTR, &FreeBstr>;

// A VARIANT cleared at the end of the scope. It holds nothing else, so an array of them can be handed
// to a call that fills an array of VARIANTs (IEnumVARIANT::Next).
class ScopedVariant {
public:
    ScopedVariant() noexcept { VariantInit(&m_value); }
    ~ScopedVariant() { VariantClear(&m_value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* Get() noexcept { return &m_value; }
    const VARIANT& operator*() const noexcept { return m_value; }

private:
    VARIANT m_value;
};
static_assert(sizeof(ScopedVariant) == sizeof(VARIANT));

}  // namespace base
