#pragma once
// Where the console program's text goes. Commands write through an OutputSink so tests can record
// the two streams; the program's own sink writes to the standard handles.

#include <string>
#include <string_view>

namespace console {

class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void Out(std::wstring_view text) = 0;  // results (and the one JSON object)
    virtual void Err(std::wstring_view text) = 0;  // warnings, refusals and failures
};

// The text as UTF-8.
std::string Utf8(std::wstring_view text);

// Standard output and standard error: a handle that is a console gets the text through the console's
// own wide-character output (any code page shows it right); a redirected one (file, pipe) gets UTF-8,
// which PowerShell, Ansible and files read correctly once told the encoding.
class StandardSink final : public OutputSink {
public:
    void Out(std::wstring_view text) override;
    void Err(std::wstring_view text) override;
};

}  // namespace console
