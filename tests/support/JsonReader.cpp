#include "support/JsonReader.h"

#include <windows.h>

namespace testkit {
namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    std::optional<JsonValue> Document(std::string* error) {
        JsonValue value;
        SkipSpace();
        const bool ok = Value(value, 0) && (SkipSpace(), m_pos == m_text.size());
        if (ok) return value;
        if (error) *error = "invalid JSON at byte " + std::to_string(m_pos);
        return std::nullopt;
    }

private:
    void SkipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r' ||
                                         m_text[m_pos] == '\n'))
            ++m_pos;
    }
    bool Take(char c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) return ++m_pos, true;
        return false;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word) return false;
        m_pos += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        if (depth > 32 || m_pos >= m_text.size()) return false;
        const char c = m_text[m_pos];
        if (c == '{') return Object(out, depth);
        if (c == '[') return Array(out, depth);
        if (c == '"') return out.type = JsonValue::Type::String, String(out.text);
        if (Word("null")) return out.type = JsonValue::Type::Null, true;
        if (Word("true")) return out.type = JsonValue::Type::Bool, out.boolean = true;
        if (Word("false")) return out.type = JsonValue::Type::Bool, !(out.boolean = false);
        return Number(out);
    }

    bool Number(JsonValue& out) {
        const bool negative = Take('-');
        const size_t start = m_pos;
        std::uint64_t magnitude = 0;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            magnitude = magnitude * 10 + static_cast<unsigned>(m_text[m_pos++] - '0');
            if (magnitude > (1ull << 63)) return false;
        }
        const size_t digits = m_pos - start;
        if (digits == 0 || (digits > 1 && m_text[start] == '0')) return false;
        if (!negative && magnitude == (1ull << 63)) return false;
        out.type = JsonValue::Type::Number;
        out.number = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
        return true;
    }

    bool Hex4(unsigned& unit) {
        if (m_pos + 4 > m_text.size()) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_pos++];
            const unsigned digit = h >= '0' && h <= '9'   ? static_cast<unsigned>(h - '0')
                                   : h >= 'a' && h <= 'f' ? static_cast<unsigned>(h - 'a' + 10)
                                   : h >= 'A' && h <= 'F' ? static_cast<unsigned>(h - 'A' + 10)
                                                          : 16u;
            if (digit == 16) return false;
            unit = unit * 16 + digit;
        }
        return true;
    }

    bool Escape(std::wstring& out) {
        if (m_pos >= m_text.size()) return false;
        const char c = m_text[m_pos++];
        const std::string_view simple = "\"\\/bfnrt";
        const wchar_t meaning[] = L"\"\\/\b\f\n\r\t";
        if (const size_t i = simple.find(c); i != std::string_view::npos) return out += meaning[i], true;
        unsigned unit = 0;
        if (c != 'u' || !Hex4(unit)) return false;
        out += static_cast<wchar_t>(unit);
        return true;
    }

    // Raw (unescaped) UTF-8 runs are decoded strictly: invalid sequences are refused.
    bool Utf8Run(std::wstring& out) {
        const size_t start = m_pos;
        while (m_pos < m_text.size() && static_cast<unsigned char>(m_text[m_pos]) >= 0x80) ++m_pos;
        const int size = static_cast<int>(m_pos - start);
        const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, m_text.data() + start, size, nullptr, 0);
        if (wide == 0) return false;
        std::wstring run(static_cast<size_t>(wide), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, m_text.data() + start, size, run.data(), wide);
        out += run;
        return true;
    }

    bool String(std::wstring& out) {
        if (!Take('"')) return false;
        out.clear();
        while (m_pos < m_text.size()) {
            const auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c == '"') return ++m_pos, true;
            if (c < 0x20) return false;
            if (c == '\\') {
                ++m_pos;
                if (!Escape(out)) return false;
            } else if (c >= 0x80) {
                if (!Utf8Run(out)) return false;
            } else {
                out += static_cast<wchar_t>(c);
                ++m_pos;
            }
        }
        return false;
    }

    bool Array(JsonValue& out, int depth) {
        out.type = JsonValue::Type::Array;
        Take('[');
        SkipSpace();
        if (Take(']')) return true;
        do {
            SkipSpace();
            JsonValue item;
            if (!Value(item, depth + 1)) return false;
            out.items.push_back(std::move(item));
            SkipSpace();
        } while (Take(','));
        return Take(']');
    }

    bool Object(JsonValue& out, int depth) {
        out.type = JsonValue::Type::Object;
        Take('{');
        SkipSpace();
        if (Take('}')) return true;
        do {
            SkipSpace();
            std::wstring key;
            if (!String(key)) return false;
            SkipSpace();
            if (!Take(':')) return false;
            SkipSpace();
            JsonValue value;
            if (!Value(value, depth + 1)) return false;
            out.members.emplace_back(std::string(key.begin(), key.end()), std::move(value));
            SkipSpace();
        } while (Take(','));
        return Take('}');
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
    static const JsonValue kMissing;
    for (const auto& [name, value] : members)
        if (name == key) return value;
    return kMissing;
}

bool JsonValue::Has(const std::string& key) const {
    for (const auto& member : members)
        if (member.first == key) return true;
    return false;
}

std::vector<std::string> JsonValue::Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : members) keys.push_back(member.first);
    return keys;
}

std::optional<JsonValue> ParseJson(std::string_view utf8, std::string* error) { return Parser(utf8).Document(error); }

}  // namespace testkit
