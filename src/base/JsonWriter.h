#pragma once
// A small streaming JSON writer for the console's --json output and the firewall snapshot. Every
// character outside printable ASCII is written as a \u escape, so the output reads the same in any code
// page a shell or an automation tool decodes it with, and is valid UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// The text as a JSON string literal, quotes included.
std::wstring JsonQuoted(std::wstring_view text);

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // Names the next value of the enclosing object (the program's keys are plain ASCII).
    JsonWriter& Key(std::string_view name);

    JsonWriter& String(std::wstring_view text);
    JsonWriter& Number(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // null when empty.
    template <class T>
    JsonWriter& NumberOrNull(const std::optional<T>& value) {
        return value ? Number(static_cast<std::int64_t>(*value)) : Null();
    }
    JsonWriter& BoolOrNull(const std::optional<bool>& value) { return value ? Bool(*value) : Null(); }

    const std::wstring& Text() const { return m_text; }

private:
    void BeforeValue();
    JsonWriter& Open(wchar_t bracket);
    JsonWriter& Close(wchar_t bracket);

    std::wstring m_text;
    std::vector<bool> m_hasMembers;  // one entry per open object or array
    bool m_afterKey = false;
};

}  // namespace base
