#pragma once
// Who else may change what SYSTEM will run: the program's folder and file it is copied from, the Task
// Scheduler's folder of its task. SYSTEM, Administrators and TrustedInstaller may; so may the
// administrator running the program, where named; anybody else with a right to write, delete or
// change permissions is one too many.

#include <windows.h>

#include <string>

namespace revert {

// The first account (a SID as text) other than those that the DACL lets change the object; empty
// when there is none. A missing DACL lets everyone ("S-1-1-0"). Inherit-only entries do not concern
// the object itself.
// `alsoCounting`: rights that count as changing too (running, for a task).
std::wstring OthersWhoMayChange(PSECURITY_DESCRIPTOR descriptor, PSID alsoAllowed = nullptr,
                                ACCESS_MASK alsoCounting = 0);

// The same for a descriptor given as SDDL; "?" when the text is no descriptor.
std::wstring OthersWhoMayChange(const wchar_t* sddl, PSID alsoAllowed = nullptr, ACCESS_MASK alsoCounting = 0);

}  // namespace revert
