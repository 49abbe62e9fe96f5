#include "base/FileContents.h"

#include "base/Handles.h"

namespace base {

FileRead ReadWholeFile(const std::wstring& path, ULONGLONG mostBytes, std::string& bytes) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return {GetLastError()};
    const UniqueKernelHandle file(opened);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) return {GetLastError()};
    if (static_cast<ULONGLONG>(size.QuadPart) > mostBytes) return {ERROR_SUCCESS, true};
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return {GetLastError()};
    return {};
}

}  // namespace base
