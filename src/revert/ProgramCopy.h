#pragma once
// The copy of rdpport.com that the revert task runs as SYSTEM. The task must never run a file that
// someone other than an administrator can replace (a program left in a download folder would hand
// SYSTEM to anyone who may write there), so it runs a copy in a folder of the program's own below
// Program Files, whose inherited permissions let only administrators and SYSTEM write.

#include <windows.h>

#include <string>

#include "base/Seam.h"

namespace revert {

// Copies `source`, an rdpport.com (the running one, or the one beside the window's program), there (or
// finds the same bytes already there); 0 and the copy's full path, or the Windows error.
using InstallProgramSeam = base::Seam<DWORD(const std::wstring& source, std::wstring& installedPath)>;
InstallProgramSeam& InstallProgramCall();

// The rdpport.com in the running program's folder; empty when there is none.
using ConsoleBesideSeam = base::Seam<std::wstring()>;
ConsoleBesideSeam& ConsoleBesideCall();

// Where the copy goes (Program Files as the registry names it); empty when that cannot be read.
std::wstring InstalledProgramPath();

// What Install answers when someone other than SYSTEM, Administrators, TrustedInstaller and the user
// running it may change the program to copy or its folder; ProgramOpenTo() names them
// (a SID as text).
inline constexpr DWORD kProgramNotPrivate = ERROR_INVALID_OWNER;
std::wstring& ProgramOpenTo();

}  // namespace revert
