#pragma once
// A file read whole into memory, refused before reading when it is larger than the caller allows.

#include <windows.h>

#include <string>

namespace base {

struct FileRead {
    DWORD error = ERROR_SUCCESS;  // Windows' error of opening or reading
    bool tooLarge = false;        // more than the caller allows: nothing was read
    bool Ok() const { return error == ERROR_SUCCESS && !tooLarge; }
};
FileRead ReadWholeFile(const std::wstring& path, ULONGLONG mostBytes, std::string& bytes);

}  // namespace base
