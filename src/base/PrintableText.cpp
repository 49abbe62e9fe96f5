#include "base/PrintableText.h"

namespace base {
namespace {

bool Hidden(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF;
}

}  // namespace

std::wstring Printable(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        if (!Hidden(c)) {
            shown += c;
            continue;
        }
        const bool byte = c <= 0xFF;
        shown += byte ? L"\\x" : L"\\u";
        for (int shift = byte ? 4 : 12; shift >= 0; shift -= 4) shown += L"0123456789abcdef"[(c >> shift) & 0xF];
    }
    return shown;
}

}  // namespace base
