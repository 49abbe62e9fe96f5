#pragma once
// A strict JSON reader for files the program takes in: exactly RFC 8259's grammar in UTF-8, with whole
// numbers only, unique keys and bounded size and depth. What it refuses comes back as one message in
// Chinese with its line and column, ready to show as it stands.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    std::int64_t number = 0;     // integers only: a fraction or an exponent is refused
    std::wstring text;           // String: decoded to UTF-16
    std::vector<JsonValue> items;                               // Array
    std::vector<std::pair<std::wstring, JsonValue>> members;    // Object, in the order written; keys unique
    // Declared so that JsonValue is no aggregate: clang (C++20, libstdc++), which the native fuzz
    // build uses, otherwise rejects the pair of a key and a JsonValue.
    JsonValue() = default;
    // The member of that key; null when there is none (or this is no object).
    const JsonValue* Find(std::wstring_view key) const;
};

struct JsonParseResult {
    std::optional<JsonValue> value;  // nothing when the text is not exactly one valid JSON value
    std::wstring error;              // then: "第 L 行第 C 列：<what, in Simplified Chinese>", e.g. "第 3 行第 14 列：字符串中有未转义的控制字符"
};

inline constexpr std::size_t kJsonMaxBytes = 4 * 1024 * 1024;
inline constexpr int kJsonMaxDepth = 32;

// Reads one JSON value (an optional UTF-8 byte order mark before it, whitespace around it). Lines and
// columns of an error count from 1; columns count characters, not bytes, from after the mark. Never
// recurses deeper than kJsonMaxDepth, so no input can exhaust the stack.
JsonParseResult ParseJson(std::string_view utf8);

}  // namespace base
