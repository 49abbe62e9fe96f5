// libFuzzer target for the strict JSON reader (base/JsonReader.h); the input is the text to read.
//
// On every input it checks what callers of the reader rely on and traps when one fails:
//   - there is a value or an error, never both, and an error names a line and column of the text;
//   - a second, independent reading of the same rules (Recogniser below) accepts exactly the texts
//     the reader accepts, and finds the same strings, numbers and structure in them;
//   - a value has unique keys, well-formed UTF-16 strings, at most kJsonMaxDepth levels, and Find
//     gives each member of an object by its key;
//   - a value written out again, compact with everything outside printable ASCII escaped or spread
//     over CR LF lines with raw UTF-8, reads back as the same value;
//   - a byte order mark in front changes nothing, not even the error.

#include "base/JsonReader.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

using base::JsonValue;
using Type = JsonValue::Type;
using Tokens = std::vector<std::string>;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "JsonReaderFuzz: invariant failed: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

#define CHECK(cond, what)         \
    do {                          \
        if (!(cond)) Fail(what);  \
    } while (0)

bool IsHigh(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 that CheckUtf16 has passed, as UTF-8.
std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        if (IsHigh(unit)) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00));
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                            : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
        if (n == 0 || s.size() - i < n) return false;
        std::uint32_t cp = n == 1 ? lead : lead & (0x3F >> (n - 1));
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = cp << 6 | (b & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

// The reader's rules read a second way: the whole text checked as UTF-8 up front, then the grammar
// with strings decoded to UTF-8. Gives what it found in order ("[", "]", "{", "}", "k" and "s" with a
// key's or a string's text, "n" with a number, the words), or nothing when the text breaks a rule.
class Recogniser {
public:
    explicit Recogniser(std::string_view text) : m_s(text) {}

    std::optional<Tokens> Read() {
        if (m_s.size() > base::kJsonMaxBytes || !IsValidUtf8(m_s)) return std::nullopt;
        if (m_s.starts_with(kBom)) m_i = kBom.size();
        if (!Value(0)) return std::nullopt;
        Space();
        if (m_i != m_s.size()) return std::nullopt;
        return std::move(m_tokens);
    }

private:
    char Next() const { return m_i < m_s.size() ? m_s[m_i] : '\0'; }  // a raw NUL is never valid either
    bool Eat(char c) {
        if (m_i == m_s.size() || m_s[m_i] != c) return false;
        ++m_i;
        return true;
    }
    void Space() {
        while (Eat(' ') || Eat('\t') || Eat('\r') || Eat('\n')) {
        }
    }

    bool Value(int depth) {
        Space();
        const bool array = Eat('[');
        if (array || Eat('{')) {
            if (depth == base::kJsonMaxDepth) return false;
            m_tokens.push_back(array ? "[" : "{");
            std::set<std::string> keys;
            Space();
            if (!Eat(array ? ']' : '}')) {
                do {
                    if (!array) {
                        Space();
                        std::string key;
                        if (!String(key) || !keys.insert(key).second) return false;
                        m_tokens.push_back("k" + key);
                        Space();
                        if (!Eat(':')) return false;
                    }
                    if (!Value(depth + 1)) return false;
                    Space();
                } while (Eat(','));
                if (!Eat(array ? ']' : '}')) return false;
            }
            m_tokens.push_back(array ? "]" : "}");
            return true;
        }
        if (Next() == '"') {
            std::string text;
            if (!String(text)) return false;
            m_tokens.push_back("s" + text);
            return true;
        }
        for (const std::string_view word : {"true", "false", "null"}) {
            if (m_s.substr(m_i).starts_with(word)) {
                m_i += word.size();
                m_tokens.emplace_back(word);
                return true;
            }
        }
        return Integer();
    }

    // -?(0|[1-9][0-9]*) within int64.
    bool Integer() {
        const std::size_t start = m_i;
        Eat('-');
        if (!Eat('0')) {
            if (Next() < '1' || Next() > '9') return false;
            while (Next() >= '0' && Next() <= '9') ++m_i;
        }
        std::int64_t value = 0;
        if (std::from_chars(m_s.data() + start, m_s.data() + m_i, value).ec != std::errc()) return false;
        m_tokens.push_back("n" + std::to_string(value));
        return true;
    }

    bool String(std::string& out) {
        if (!Eat('"')) return false;
        for (;;) {
            if (m_i == m_s.size()) return false;
            const auto c = static_cast<unsigned char>(m_s[m_i++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const std::string_view escapes = "\"\\/bfnrt", decoded = "\"\\/\b\f\n\r\t";
            const std::size_t simple = m_i < m_s.size() ? escapes.find(m_s[m_i]) : std::string_view::npos;
            if (simple != std::string_view::npos) {
                out += decoded[simple];
                ++m_i;
                continue;
            }
            std::uint32_t unit = 0, low = 0;
            if (!Eat('u') || !Hex(unit) || IsLow(unit)) return false;
            if (IsHigh(unit)) {
                if (!Eat('\\') || !Eat('u') || !Hex(low) || !IsLow(low)) return false;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            AppendUtf8(out, unit);
        }
    }

    bool Hex(std::uint32_t& unit) {
        if (m_s.size() - m_i < 4) return false;
        const char* first = m_s.data() + m_i;
        m_i += 4;
        const auto [end, ec] = std::from_chars(first, first + 4, unit, 16);
        return ec == std::errc() && end == first + 4;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
    Tokens m_tokens;
};

void CheckUtf16(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        CHECK(unit <= 0xFFFF, "a decoded string holds more than UTF-16 code units");
        CHECK(!IsLow(unit), "a decoded string holds a lone low surrogate");
        if (IsHigh(unit)) {
            CHECK(i + 1 < text.size() && IsLow(static_cast<std::uint32_t>(text[i + 1])),
                  "a decoded string holds a lone high surrogate");
            ++i;
        }
    }
}

// Checks the value's strings, keys and Find; adds what it holds to `tokens` the way Recogniser does,
// and gives its levels of arrays and objects.
int CheckShape(const JsonValue& v, Tokens& tokens) {
    CheckUtf16(v.text);
    int deepest = 0;
    switch (v.type) {
        case Type::Null: tokens.emplace_back("null"); break;
        case Type::Bool: tokens.emplace_back(v.boolean ? "true" : "false"); break;
        case Type::Number: tokens.push_back("n" + std::to_string(v.number)); break;
        case Type::String: tokens.push_back("s" + ToUtf8(v.text)); break;
        case Type::Array:
            tokens.emplace_back("[");
            for (const JsonValue& item : v.items) deepest = std::max(deepest, CheckShape(item, tokens));
            tokens.emplace_back("]");
            break;
        case Type::Object: {
            tokens.emplace_back("{");
            std::set<std::wstring> keys;
            for (const auto& [key, member] : v.members) {
                CheckUtf16(key);
                CHECK(keys.insert(key).second, "an object holds the same key twice");
                CHECK(v.Find(key) == &member, "Find does not give the member of its key");
                tokens.push_back("k" + ToUtf8(key));
                deepest = std::max(deepest, CheckShape(member, tokens));
            }
            tokens.emplace_back("}");
            break;
        }
    }
    CHECK(v.type == Type::Array || v.items.empty(), "a value that is no array has items");
    CHECK(v.type == Type::Object || (v.members.empty() && v.Find(L"") == nullptr),
          "a value that is no object has members");
    return deepest + (v.type == Type::Array || v.type == Type::Object ? 1 : 0);
}

// `escaped`: every unit outside printable ASCII as \uxxxx, '/' as \/; otherwise raw UTF-8 and the
// short escapes. The text has passed CheckUtf16.
void WriteString(const std::wstring& text, bool escaped, std::string& out) {
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        const char* shortForm = unit == '\b' ? "\\b" : unit == '\f' ? "\\f" : unit == '\n' ? "\\n"
                              : unit == '\r' ? "\\r" : unit == '\t' ? "\\t" : nullptr;
        char hex[8];
        if (unit == '"' || unit == '\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit == '/' && escaped) {
            out += "\\/";
        } else if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else if (shortForm && !escaped) {
            out += shortForm;
        } else if (escaped || unit < 0x20) {
            std::snprintf(hex, sizeof hex, escaped ? "\\u%04x" : "\\u%04X", static_cast<unsigned>(unit));
            out += hex;
        } else {
            const std::size_t units = IsHigh(unit) ? 2 : 1;  // a surrogate pair is one character
            out += ToUtf8(text.substr(i, units));
            i += units - 1;
        }
    }
    out += '"';
}

// Compact when `escaped`; otherwise one item or member a line, CR LF and tab indents.
void Write(const JsonValue& v, bool escaped, int indent, std::string& out) {
    const std::string newline = escaped ? "" : "\r\n" + std::string(static_cast<std::size_t>(indent + 1), '\t');
    const std::string close = escaped ? "" : "\r\n" + std::string(static_cast<std::size_t>(indent), '\t');
    switch (v.type) {
        case Type::Null: out += "null"; break;
        case Type::Bool: out += v.boolean ? "true" : "false"; break;
        case Type::Number: out += std::to_string(v.number); break;
        case Type::String: WriteString(v.text, escaped, out); break;
        case Type::Array:
            out += '[';
            for (std::size_t i = 0; i < v.items.size(); ++i) {
                out += (i ? "," : "") + newline;
                Write(v.items[i], escaped, indent + 1, out);
            }
            out += (v.items.empty() ? "" : close) + "]";
            break;
        case Type::Object:
            out += '{';
            for (std::size_t i = 0; i < v.members.size(); ++i) {
                out += (i ? "," : "") + newline;
                WriteString(v.members[i].first, escaped, out);
                out += escaped ? ":" : " : ";
                Write(v.members[i].second, escaped, indent + 1, out);
            }
            out += (v.members.empty() ? "" : close) + "}";
            break;
    }
}

bool Equal(const JsonValue& a, const JsonValue& b) {
    if (a.type != b.type || a.boolean != b.boolean || a.number != b.number || a.text != b.text ||
        a.items.size() != b.items.size() || a.members.size() != b.members.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        if (!Equal(a.items[i], b.items[i])) return false;
    }
    for (std::size_t i = 0; i < a.members.size(); ++i) {
        if (a.members[i].first != b.members[i].first || !Equal(a.members[i].second, b.members[i].second)) return false;
    }
    return true;
}

// "第 L 行第 C 列：what" with L a line of the text (after a byte order mark) and C at most one past
// the characters of that line. Lines end at LF, CR LF or a lone CR.
void CheckErrorPosition(std::string_view text, const std::wstring& error) {
    std::size_t at = 0;
    auto number = [&](std::wstring_view before) {
        CHECK(error.compare(at, before.size(), before) == 0, "the error does not start with its line and column");
        at += before.size();
        std::size_t value = 0;
        const std::size_t first = at;
        while (at < error.size() && error[at] >= L'0' && error[at] <= L'9' && at - first < 12) {
            value = value * 10 + static_cast<std::size_t>(error[at++] - L'0');
        }
        CHECK(at > first && error[first] != L'0', "a line or column is not a number from 1");
        return value;
    };
    const std::size_t line = number(L"第 ");
    const std::size_t column = number(L" 行第 ");
    CHECK(error.compare(at, 3, L" 列：") == 0 && error.size() > at + 3, "the error has no text after its position");
    if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
    std::size_t currentLine = 1;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size() && currentLine <= line; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++currentLine;
        } else if (currentLine == line && text[i] != '\r' && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++characters;
        }
    }
    CHECK(line <= currentLine, "the error's line is past the end of the text");
    CHECK(column <= characters + 1, "the error's column is past the end of its line");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The size limit, once: at the limit the text is read, one byte past it it is not.
    const std::string atLimit = "1" + std::string(base::kJsonMaxBytes - 1, ' ');
    CHECK(base::ParseJson(atLimit).value.has_value(), "a text of kJsonMaxBytes is refused");
    CHECK(!base::ParseJson(atLimit + " ").value.has_value(), "a text over kJsonMaxBytes is read");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const base::JsonParseResult result = base::ParseJson(text);
    CHECK(result.value.has_value() == result.error.empty(), "not exactly one of a value and an error");
    if (!result.value) CheckErrorPosition(text, result.error);

    if (!text.starts_with(kBom)) {
        const base::JsonParseResult marked = base::ParseJson(std::string(kBom) + std::string(text));
        CHECK(marked.value.has_value() == result.value.has_value() && marked.error == result.error &&
                  (!marked.value || Equal(*marked.value, *result.value)),
              "a byte order mark in front changes the result");
    }

    const std::optional<Tokens> expected = Recogniser(text).Read();
    CHECK(result.value.has_value() == expected.has_value(), "the reader and the second reading disagree on validity");
    if (!result.value) return 0;
    const JsonValue& value = *result.value;

    Tokens found;
    const int depth = CheckShape(value, found);
    CHECK(depth <= base::kJsonMaxDepth, "a value nests deeper than kJsonMaxDepth");
    CHECK(found == *expected, "the reader and the second reading find different contents");

    for (const bool escaped : {true, false}) {
        std::string written;
        Write(value, escaped, 0, written);
        const base::JsonParseResult again = base::ParseJson(written);
        CHECK(again.value && Equal(*again.value, value),
              escaped ? "the value written compact and escaped reads back differently"
                      : "the value written on lines in raw UTF-8 reads back differently");
    }
    return 0;
}
