#pragma once
// The pending revert as the console's commands work it (revert/Arming.h), arming from the running
// rdpport.com and saying on the console that it waits for the watch.

#include <windows.h>

#include <optional>
#include <string>

#include "console/Reports.h"
#include "revert/Arming.h"

namespace console {

using revert::DropRevert;
using revert::LookUpPendingRevert;
using revert::PendingLookup;

std::optional<Failure> ArmRevert(const revert::PendingRevert& plan, std::wstring& program);

}  // namespace console
