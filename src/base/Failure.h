#pragma once
// A step that failed: Windows' code and the sentence that tells the administrator what it means.

#include <string>

namespace base {

struct Failure {
    long code = 0;  // the Windows error code (or HRESULT); 0 when there is none
    std::wstring text;
};

}  // namespace base
