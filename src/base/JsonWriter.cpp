#include "base/JsonWriter.h"

#include "base/DecimalText.h"

namespace base {
namespace {

constexpr wchar_t kHexDigits[] = L"0123456789abcdef";

void AppendUnicodeEscape(std::wstring& out, wchar_t c) {
    const auto unit = static_cast<unsigned>(c);
    out += L"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

}  // namespace

std::wstring JsonQuoted(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + 2);
    out += L'"';
    for (const wchar_t c : text) {
        switch (c) {
            case L'"': out += L"\\\""; break;
            case L'\\': out += L"\\\\"; break;
            case L'\b': out += L"\\b"; break;
            case L'\f': out += L"\\f"; break;
            case L'\n': out += L"\\n"; break;
            case L'\r': out += L"\\r"; break;
            case L'\t': out += L"\\t"; break;
            default:
                // UTF-16 code units escape one by one: a surrogate pair becomes the two escapes JSON
                // expects for a character outside the basic plane.
                if (c < 0x20 || c > 0x7E) {
                    AppendUnicodeEscape(out, c);
                } else {
                    out += c;
                }
        }
    }
    out += L'"';
    return out;
}

void JsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_hasMembers.empty()) return;
    if (m_hasMembers.back()) m_text += L',';
    m_hasMembers.back() = true;
}

JsonWriter& JsonWriter::Open(wchar_t bracket) {
    BeforeValue();
    m_text += bracket;
    m_hasMembers.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::Close(wchar_t bracket) {
    if (!m_hasMembers.empty()) m_hasMembers.pop_back();
    m_text += bracket;
    return *this;
}

JsonWriter& JsonWriter::BeginObject() { return Open(L'{'); }
JsonWriter& JsonWriter::EndObject() { return Close(L'}'); }
JsonWriter& JsonWriter::BeginArray() { return Open(L'['); }
JsonWriter& JsonWriter::EndArray() { return Close(L']'); }

JsonWriter& JsonWriter::Key(std::string_view name) {
    BeforeValue();
    m_text += JsonQuoted(std::wstring(name.begin(), name.end()));
    m_text += L':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::wstring_view text) {
    BeforeValue();
    m_text += JsonQuoted(text);
    return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
    BeforeValue();
    m_text += base::DecimalText64(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    m_text += value ? L"true" : L"false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    m_text += L"null";
    return *this;
}

}  // namespace base
