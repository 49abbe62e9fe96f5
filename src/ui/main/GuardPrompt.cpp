#include "ui/main/GuardPrompt.h"

#include "ui/toolkit/MessageBox.h"

namespace ui {

bool ProceedDespite(const std::vector<guard::Hazard>& hazards) {
    if (hazards.empty()) return true;
    return toolkit::ShowMessage(guard::WarningText(hazards), kStyleLockoutWarning) == toolkit::kResultOk;
}

}  // namespace ui
