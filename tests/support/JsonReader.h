#pragma once
// A small strict JSON reader for the tests: it parses what rdpport.com prints, so the tests check the
// output as a script would see it, not as the program meant to write it. Strings come back as UTF-16.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testkit {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    std::int64_t number = 0;  // the program writes integers only; a fraction or exponent is refused
    std::wstring text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    bool IsNull() const { return type == Type::Null; }
    // The member's value; a null value when there is no such member (see Has).
    const JsonValue& operator[](const std::string& key) const;
    bool Has(const std::string& key) const;
    std::vector<std::string> Keys() const;
};

// The one JSON value the text holds (surrounding white space allowed); nothing when the text is not
// exactly one valid value (the error says where it went wrong).
std::optional<JsonValue> ParseJson(std::string_view utf8, std::string* error = nullptr);

}  // namespace testkit
