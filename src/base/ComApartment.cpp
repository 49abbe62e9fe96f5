#include "base/ComApartment.h"

#include <objbase.h>

namespace base {

void EnsureComApartment() {
    static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
}

}  // namespace base
