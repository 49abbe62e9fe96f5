#include "base/JsonReader.h"

#include <functional>
#include <unordered_set>

#include "base/DecimalText.h"

namespace base {
namespace {

using Member = std::pair<std::wstring, JsonValue>;

// The keys of one object, held as indexes into its members so the set stays valid while the
// vector grows. Keeps the duplicate test linear on objects with many members.
struct KeyHash {
    const std::vector<Member>* members;
    std::size_t operator()(std::size_t i) const { return std::hash<std::wstring_view>{}((*members)[i].first); }
};
struct KeyEqual {
    const std::vector<Member>* members;
    bool operator()(std::size_t a, std::size_t b) const { return (*members)[a].first == (*members)[b].first; }
};

std::wstring Hex(std::uint32_t value, int digits) {
    std::wstring text(static_cast<std::size_t>(digits), L'0');
    for (std::size_t i = text.size(); i > 0; --i, value >>= 4) text[i - 1] = L"0123456789ABCDEF"[value & 0xF];
    return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the UTF-8 sequence at `at` and its code point; 0 when the bytes there are not
// valid UTF-8: a stray continuation byte, a sequence cut short, an overlong form, a UTF-16
// surrogate or a code point above U+10FFFF.
std::size_t Utf8Sequence(std::string_view text, std::size_t at, char32_t& cp) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned low = 0x80;   // the range of the second byte, narrowed for the leads that need it
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (byte < low || byte > high) return 0;
        low = 0x80;
        high = 0xBF;
        cp = (cp << 6) | (byte & 0x3F);
    }
    return length;
}

void AppendUtf16(std::wstring& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<wchar_t>(cp);
        return;
    }
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
}

// A character as a message names it: in quotes when it shows, by its code point when it does not.
std::wstring Shown(char32_t cp) {
    if (cp <= 0x20 || (cp >= 0x7F && cp <= 0xA0) || cp == 0xFEFF) return L"字符 U+" + Hex(cp, 4);
    std::wstring text = L"“";
    AppendUtf16(text, cp);
    return text + L"”";
}

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}
    JsonParseResult Read();

private:
    bool AtEnd() const { return m_pos == m_text.size(); }
    char Peek() const { return m_text[m_pos]; }
    bool At(char c) const { return !AtEnd() && Peek() == c; }
    void SkipWhitespace();

    // Each reads from m_pos and leaves it after what it read; false once it has recorded an error.
    bool Value(JsonValue& out, int depth);
    bool Array(JsonValue& out, int depth);
    bool Object(JsonValue& out, int depth);
    bool ClosesAtOnce(char close);
    bool AfterItem(char close, bool& closed);
    bool String(std::wstring& out);
    bool Escape(std::wstring& out, std::size_t open);
    bool UnicodeEscape(std::wstring& out, std::size_t backslash);
    bool HexUnit(unsigned& unit);
    bool Number(JsonValue& out);
    bool Word(std::string_view word);

    bool Fail(std::size_t at, std::wstring what);
    // What is at m_pos where `expected` should be: the end, a byte that is no UTF-8, or a character.
    bool Unexpected(std::wstring_view expected);
    bool InvalidUtf8() {
        return Fail(m_pos, L"不是有效的 UTF-8 编码（字节 0x" + Hex(static_cast<unsigned char>(Peek()), 2) + L"）");
    }
    std::wstring Position(std::size_t at) const;

    std::string_view m_text;
    std::size_t m_start = 0;  // after the byte order mark, where lines and columns count from
    std::size_t m_pos = 0;
    std::size_t m_errorAt = 0;
    std::wstring m_error;
};

JsonParseResult Reader::Read() {
    JsonParseResult result;
    JsonValue value;
    bool ok = false;
    if (m_text.size() > kJsonMaxBytes) {
        Fail(0, L"文本超过 " + DecimalText64(static_cast<std::int64_t>(kJsonMaxBytes)) + L" 字节的上限");
    } else {
        if (m_text.starts_with("\xEF\xBB\xBF")) m_start = m_pos = 3;
        SkipWhitespace();
        if (AtEnd()) {
            Fail(m_pos, L"文本中没有 JSON 值");
        } else if (Value(value, 0)) {
            SkipWhitespace();
            ok = AtEnd() || Unexpected(L"JSON 值之后只能有空白");
        }
    }
    if (ok) {
        result.value = std::move(value);
    } else {
        result.error = Position(m_errorAt) + m_error;
    }
    return result;
}

void Reader::SkipWhitespace() {
    while (At(' ') || At('\t') || At('\r') || At('\n')) ++m_pos;
}

// `depth` counts the arrays and objects around the value.
bool Reader::Value(JsonValue& out, int depth) {
    if (AtEnd()) return Unexpected(L"应为 JSON 值");
    switch (Peek()) {
        case '[':
        case '{':
            if (depth >= kJsonMaxDepth) return Fail(m_pos, L"嵌套超过 " + DecimalText64(kJsonMaxDepth) + L" 层");
            return Peek() == '[' ? Array(out, depth + 1) : Object(out, depth + 1);
        case '"':
            out.type = JsonValue::Type::String;
            return String(out.text);
        case 't':
        case 'f':
            out.type = JsonValue::Type::Bool;
            out.boolean = Peek() == 't';
            return Word(out.boolean ? "true" : "false");
        case 'n':
            return Word("null");
        default:
            if (Peek() == '-' || IsDigit(Peek())) return Number(out);
            return Unexpected(L"应为 JSON 值");
    }
}

// Past the opening bracket: true when the container closes at once.
bool Reader::ClosesAtOnce(char close) {
    ++m_pos;
    SkipWhitespace();
    if (!At(close)) return false;
    ++m_pos;
    return true;
}

// After an item: the container's close (`closed`), or a comma and the next item, or the error.
bool Reader::AfterItem(char close, bool& closed) {
    const wchar_t* const expected = close == ']' ? L"应为“,”或“]”" : L"应为“,”或“}”";
    const wchar_t* const trailing = close == ']' ? L"“]”之前多了一个逗号" : L"“}”之前多了一个逗号";
    SkipWhitespace();
    closed = At(close);
    if (closed) {
        ++m_pos;
        return true;
    }
    if (!At(',')) return Unexpected(expected);
    const std::size_t comma = m_pos++;
    SkipWhitespace();
    if (At(close)) return Fail(comma, trailing);
    return true;
}

// `depth` counts the arrays and objects around the items, this one included.
bool Reader::Array(JsonValue& out, int depth) {
    out.type = JsonValue::Type::Array;
    if (ClosesAtOnce(']')) return true;
    for (bool closed = false; !closed;) {
        out.items.emplace_back();
        if (!Value(out.items.back(), depth) || !AfterItem(']', closed)) return false;
    }
    return true;
}

bool Reader::Object(JsonValue& out, int depth) {
    out.type = JsonValue::Type::Object;
    if (ClosesAtOnce('}')) return true;
    std::unordered_set<std::size_t, KeyHash, KeyEqual> keys(8, KeyHash{&out.members}, KeyEqual{&out.members});
    for (bool closed = false; !closed;) {
        if (!At('"')) return Unexpected(L"应为用双引号括起的键");
        const std::size_t keyAt = m_pos;
        out.members.emplace_back();
        if (!String(out.members.back().first)) return false;
        if (!keys.insert(out.members.size() - 1).second) return Fail(keyAt, L"对象中已有同名的键");
        SkipWhitespace();
        if (!At(':')) return Unexpected(L"键之后应为“:”");
        ++m_pos;
        SkipWhitespace();
        if (!Value(out.members.back().second, depth) || !AfterItem('}', closed)) return false;
    }
    return true;
}

bool Reader::String(std::wstring& out) {
    const std::size_t open = m_pos++;
    for (;;) {
        if (AtEnd()) return Fail(open, L"字符串没有结束（缺少右引号）");
        const auto byte = static_cast<unsigned char>(Peek());
        if (byte == '"') {
            ++m_pos;
            return true;
        }
        if (byte == '\\') {
            if (!Escape(out, open)) return false;
        } else if (byte < 0x20) {
            return Fail(m_pos, L"字符串中有未转义的控制字符");
        } else if (byte < 0x80) {
            out += static_cast<wchar_t>(byte);
            ++m_pos;
        } else {
            char32_t cp = 0;
            const std::size_t length = Utf8Sequence(m_text, m_pos, cp);
            if (length == 0) return InvalidUtf8();
            AppendUtf16(out, cp);
            m_pos += length;
        }
    }
}

// m_pos at the backslash; `open` is the string's opening quote.
bool Reader::Escape(std::wstring& out, std::size_t open) {
    const std::size_t backslash = m_pos++;
    if (AtEnd()) return Fail(open, L"字符串没有结束（缺少右引号）");
    wchar_t decoded = 0;
    switch (Peek()) {
        case '"': decoded = L'"'; break;
        case '\\': decoded = L'\\'; break;
        case '/': decoded = L'/'; break;
        case 'b': decoded = L'\b'; break;
        case 'f': decoded = L'\f'; break;
        case 'n': decoded = L'\n'; break;
        case 'r': decoded = L'\r'; break;
        case 't': decoded = L'\t'; break;
        case 'u': return UnicodeEscape(out, backslash);
        default: return Unexpected(L"“\\”之后应为 \"、\\、/、b、f、n、r、t 或 u");
    }
    out += decoded;
    ++m_pos;
    return true;
}

// \uXXXX, m_pos at the u. A surrogate must come as a high one escaped right before a low one.
bool Reader::UnicodeEscape(std::wstring& out, std::size_t backslash) {
    ++m_pos;
    unsigned unit = 0;
    if (!HexUnit(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return Fail(backslash, L"孤立的低代理项 \\u" + Hex(unit, 4) + L"（它之前应是高代理项的转义）");
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        const std::wstring lone = L"孤立的高代理项 \\u" + Hex(unit, 4) + L"（它之后应是低代理项的转义）";
        if (!m_text.substr(m_pos).starts_with("\\u")) return Fail(backslash, lone);
        m_pos += 2;
        unsigned second = 0;
        if (!HexUnit(second)) return false;
        if (second < 0xDC00 || second > 0xDFFF) return Fail(backslash, lone);
        out += static_cast<wchar_t>(unit);
        out += static_cast<wchar_t>(second);
        return true;
    }
    out += static_cast<wchar_t>(unit);
    return true;
}

bool Reader::HexUnit(unsigned& unit) {
    for (int i = 0; i < 4; ++i, ++m_pos) {
        const char c = AtEnd() ? '\0' : Peek();
        unsigned digit = 0;
        if (IsDigit(c)) {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return Unexpected(L"\\u 之后应为 4 位十六进制数字");
        }
        unit = unit << 4 | digit;
    }
    return true;
}

bool Reader::Number(JsonValue& out) {
    const std::size_t start = m_pos;
    const bool negative = At('-');
    if (negative) ++m_pos;
    if (AtEnd() || !IsDigit(Peek())) return Unexpected(L"“-”之后应为数字");
    if (At('0') && m_pos + 1 < m_text.size() && IsDigit(m_text[m_pos + 1])) {
        return Fail(m_pos, L"数字不能以 0 开头");
    }
    // The magnitude may reach 2^63 for a negative number; past the limit the digits are only skipped.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t magnitude = 0;
    bool tooLarge = false;
    for (; !AtEnd() && IsDigit(Peek()); ++m_pos) {
        const auto digit = static_cast<unsigned>(Peek() - '0');
        if (tooLarge || magnitude > (limit - digit) / 10) {
            tooLarge = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (At('.') || At('e') || At('E')) return Fail(m_pos, L"只接受整数，不接受小数或指数");
    if (tooLarge) return Fail(start, L"整数超出范围（-9223372036854775808 到 9223372036854775807）");
    out.type = JsonValue::Type::Number;
    out.number = static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);  // modular: 2^63 is the lowest
    return true;
}

bool Reader::Word(std::string_view word) {
    if (!m_text.substr(m_pos).starts_with(word)) {
        return Fail(m_pos, L"应为 " + std::wstring(word.begin(), word.end()));
    }
    m_pos += word.size();
    return true;
}

bool Reader::Fail(std::size_t at, std::wstring what) {
    m_errorAt = at;
    m_error = std::move(what);
    return false;
}

bool Reader::Unexpected(std::wstring_view expected) {
    std::wstring what(expected);
    if (AtEnd()) return Fail(m_pos, what + L"，但文本已结束");
    char32_t cp = 0;
    if (Utf8Sequence(m_text, m_pos, cp) == 0) return InvalidUtf8();
    return Fail(m_pos, what + L"，而不是" + Shown(cp));
}

// "第 L 行第 C 列：". Everything before `at` has been read, so it is valid UTF-8 and its characters are
// the bytes that are not continuation bytes. A line ends at LF, CR LF or a lone CR.
std::wstring Reader::Position(std::size_t at) const {
    std::int64_t line = 1;
    std::int64_t column = 1;
    for (std::size_t i = m_start; i < at; ++i) {
        const char c = m_text[i];
        if (c == '\n' || (c == '\r' && (i + 1 == m_text.size() || m_text[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return L"第 " + DecimalText64(line) + L" 行第 " + DecimalText64(column) + L" 列：";
}

}  // namespace

const JsonValue* JsonValue::Find(std::wstring_view key) const {
    if (type != Type::Object) return nullptr;
    for (const auto& [name, value] : members) {
        if (name == key) return &value;
    }
    return nullptr;
}

JsonParseResult ParseJson(std::string_view utf8) { return Reader(utf8).Read(); }

}  // namespace base
