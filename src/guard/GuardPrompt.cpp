// The windows' extra box, apart from the checks: the console program uses the checks and shows no box.

#include "guard/Guard.h"
#include "ui/toolkit/MessageBox.h"

namespace guard {

bool ProceedDespite(const std::vector<Hazard>& hazards) {
    if (hazards.empty()) return true;
    return toolkit::ShowMessage(WarningText(hazards), kStyleLockoutWarning) == toolkit::kResultOk;
}

}  // namespace guard
