// Program Files is read from the registry (ProgramFilesDir under CurrentVersion), not from the
// environment, which the caller controls: the copy must land where only administrators write.

#include "revert/ProgramCopy.h"

#include <vector>

#include "base/Handles.h"
#include "base/ProgramPath.h"
#include "revert/PendingRevert.h"

namespace revert {
namespace {

std::wstring ProgramFilesFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    const LONG status = RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                     L"ProgramFilesDir", RRF_RT_REG_SZ, nullptr, path, &size);
    return status == ERROR_SUCCESS ? path : L"";
}

// The file's bytes; false when it cannot be read.
bool Contents(const std::wstring& path, std::vector<char>& bytes) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    const base::UniqueKernelHandle file(opened);
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
}

bool SameBytes(const std::wstring& a, const std::wstring& b) {
    std::vector<char> first, second;
    return Contents(a, first) && Contents(b, second) && first == second;
}

DWORD Install(std::wstring& installedPath) {
    const std::wstring programFiles = ProgramFilesFolder();
    const std::wstring running = base::RunningProgramPath();
    if (programFiles.empty() || running.empty()) return ERROR_PATH_NOT_FOUND;
    const std::wstring folder = programFiles + L"\\" + kProgramFolder;
    const std::wstring target = folder + L"\\" + kProgramFile;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    // The copy may be running as the watch of an earlier revert: a running program cannot be replaced,
    // and need not be when it is this very program.
    if (!SameBytes(running, target) && !CopyFileW(running.c_str(), target.c_str(), FALSE)) return GetLastError();
    installedPath = target;
    return ERROR_SUCCESS;
}

}  // namespace

InstallProgramSeam& InstallProgramCall() {
    static InstallProgramSeam seam(&Install);
    return seam;
}

}  // namespace revert
