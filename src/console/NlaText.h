#pragma once
// What the console says of Network Level Authentication (Simplified Chinese): status's three lines and
// nla's outcome.

#include <string>

#include "console/Reports.h"

namespace console {

// The local value, Group Policy's and the result, one line each.
std::wstring NlaStatusLines(const NlaStatus& nla);
// nla's result sentence: already so, would change (--what-if), or changed. Of the local setting:
// Group Policy, when set, decides over it (status shows which counts).
std::wstring NlaOutcome(const ChangeReport& report);
// What nla off leaves open, said whenever the local setting ends up (or would end up) not requiring it.
std::wstring NlaOffNote();

}  // namespace console
