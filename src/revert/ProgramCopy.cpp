// Program Files is read from the registry (ProgramFilesDir under CurrentVersion), not from the
// environment, which the caller controls: the copy must land where only administrators write.

#include "revert/ProgramCopy.h"

#include <aclapi.h>

#include <cstdint>
#include <vector>

#include "base/FileContents.h"
#include "base/Handles.h"
#include "base/ProgramPath.h"
#include "revert/PendingRevert.h"
#include "revert/Permissions.h"

namespace revert {
namespace {

std::wstring ProgramFilesFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    const LONG status = RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                     L"ProgramFilesDir", RRF_RT_REG_SZ, nullptr, path, &size);
    return status == ERROR_SUCCESS ? path : L"";
}

bool SameBytes(const std::wstring& a, const std::wstring& b) {
    constexpr ULONGLONG kMostProgramBytes = 64 * 1024 * 1024;
    std::string first, second;
    return base::ReadWholeFile(a, kMostProgramBytes, first).Ok() && base::ReadWholeFile(b, kMostProgramBytes, second).Ok() &&
           first == second;
}

// The user running this program: may change what it started from, being an administrator.
struct CurrentUser {
    std::vector<std::uint64_t> buffer;
    PSID Sid() const { return buffer.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid; }
    CurrentUser() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        const base::UniqueKernelHandle owned(token);
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        buffer.resize(size / sizeof(std::uint64_t) + 1);
        if (!GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size() * 8), &size))
            buffer.clear();
    }
};

// Who else may replace the program, or the folder it was started from; empty when nobody may.
std::wstring OthersWhoMayReplace(const std::wstring& path) {
    const CurrentUser user;
    for (const std::wstring& object : {path.substr(0, path.find_last_of(L'\\')), path}) {
        base::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
        if (GetNamedSecurityInfoW(object.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                  nullptr, descriptor.Put()) != ERROR_SUCCESS)
            return L"?";
        if (std::wstring who = OthersWhoMayChange(descriptor.Get(), user.Sid()); !who.empty()) return who;
    }
    return {};
}

// A copy an earlier version left read-only is replaced all the same.
bool CopyOver(const std::wstring& from, const std::wstring& to) {
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return SetLastError(error), false;
    return SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) &&
           CopyFileW(from.c_str(), to.c_str(), FALSE);
}

DWORD Install(const std::wstring& source, std::wstring& installedPath) {
    const std::wstring programFiles = ProgramFilesFolder();
    if (programFiles.empty() || source.empty()) return ERROR_PATH_NOT_FOUND;
    // What runs as SYSTEM must be what the administrator has, not what someone put there since.
    if (const std::wstring who = OthersWhoMayReplace(source); !who.empty()) {
        ProgramOpenTo() = who;
        return kProgramNotPrivate;
    }
    const std::wstring folder = programFiles + L"\\" + kProgramFolder;
    const std::wstring target = folder + L"\\" + kProgramFile;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    // The copy may be running as the watch of an earlier revert: a running program cannot be replaced,
    // and need not be when it is this very program.
    if (!SameBytes(source, target) && !CopyOver(source, target)) return GetLastError();
    installedPath = target;
    return ERROR_SUCCESS;
}

std::wstring ConsoleBeside() {
    const std::wstring running = base::RunningProgramPath();
    const size_t slash = running.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    const std::wstring path = running.substr(0, slash + 1) + kProgramFile;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    return path;
}

}  // namespace

ConsoleBesideSeam& ConsoleBesideCall() {
    static ConsoleBesideSeam seam(&ConsoleBeside);
    return seam;
}

std::wstring InstalledProgramPath() {
    const std::wstring programFiles = ProgramFilesFolder();
    if (programFiles.empty()) return {};
    return programFiles + L"\\" + kProgramFolder + L"\\" + kProgramFile;
}

std::wstring& ProgramOpenTo() {
    static std::wstring who;
    return who;
}

InstallProgramSeam& InstallProgramCall() {
    static InstallProgramSeam seam(&Install);
    return seam;
}

}  // namespace revert
