#include "console/Output.h"

#include <windows.h>

#include <algorithm>

#include "base/AnsiText.h"

namespace console {
namespace {

// WriteConsoleW and WriteFile may write less than asked: keep going until everything is out or a
// write fails (a closed pipe, say), which nothing here can repair.
void WriteToConsole(HANDLE console, std::wstring_view text) {
    while (!text.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 8192));
        if (chunk < text.size() && IS_HIGH_SURROGATE(text[chunk - 1])) --chunk;  // keep pairs whole
        DWORD written = 0;
        if (!WriteConsoleW(console, text.data(), chunk, &written, nullptr) || written == 0) return;
        text.remove_prefix(written);
    }
}

void WriteToFile(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 65536));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
}

void WriteTo(DWORD which, std::wstring_view text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;  // started without that stream
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteToConsole(handle, text);
    } else {
        WriteToFile(handle, Utf8(text));
    }
}

}  // namespace

std::string Utf8(std::wstring_view text) { return base::ToMultiByte(text, CP_UTF8); }

void StandardSink::Out(std::wstring_view text) { WriteTo(STD_OUTPUT_HANDLE, text); }
void StandardSink::Err(std::wstring_view text) { WriteTo(STD_ERROR_HANDLE, text); }

}  // namespace console
