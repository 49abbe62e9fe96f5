// The console's JSON writer: every string escaped so any reader in any code page gets it back, and
// the structure is what a reader parses.

#include <gtest/gtest.h>

#include "base/JsonWriter.h"
#include "console/Output.h"
#include "support/JsonReader.h"

namespace {

using base::JsonQuoted;

TEST(ConsoleJson, StringsAreEscapedToPrintableAscii) {
    struct Case {
        std::wstring text;
        std::wstring json;
    };
    const Case cases[] = {
        {L"", L"\"\""},
        {L"plain 3389", L"\"plain 3389\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"HKLM\\SYSTEM", L"\"HKLM\\\\SYSTEM\""},
        {L"a\r\nb\tc\bd\fe", L"\"a\\r\\nb\\tc\\bd\\fe\""},
        {std::wstring(L"nul\0x", 5), L"\"nul\\u0000x\""},
        {L"\x01\x1f\x7f", L"\"\\u0001\\u001f\\u007f\""},
        {L"/", L"\"/\""},
        {L"拒绝访问。", L"\"\\u62d2\\u7edd\\u8bbf\\u95ee\\u3002\""},
        {L"\xD83D\xDE00", L"\"\\ud83d\\ude00\""},  // U+1F600 as its surrogate pair
        {L"\xDC00", L"\"\\udc00\""},              // a lone surrogate still reads back as itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(console::Utf8(c.json));
        const std::wstring quoted = JsonQuoted(c.text);
        EXPECT_EQ(quoted, c.json);
        for (const wchar_t ch : quoted) EXPECT_TRUE(ch >= 0x20 && ch <= 0x7E) << "character " << unsigned(ch);
        const auto parsed = testkit::ParseJson(console::Utf8(quoted));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->text, c.text);
    }
}

TEST(ConsoleJson, WriterSeparatesMembersAndItemsAtEveryDepth) {
    base::JsonWriter json;
    json.BeginObject()
        .Key("a").Number(1)
        .Key("list").BeginArray().Number(-9223372036854775807LL - 1).BeginObject().EndObject().BeginArray().EndArray()
        .Null().EndArray()
        .Key("nested").BeginObject().Key("x").Bool(true).Key("y").Bool(false).EndObject()
        .Key("maybe").NumberOrNull(std::optional<int>()).Key("some").NumberOrNull(std::optional<int>(65535))
        .Key("flag").BoolOrNull(std::nullopt)
        .EndObject();
    EXPECT_EQ(json.Text(), L"{\"a\":1,\"list\":[-9223372036854775808,{},[],null],\"nested\":{\"x\":true,\"y\":false},"
                           L"\"maybe\":null,\"some\":65535,\"flag\":null}");
    const auto parsed = testkit::ParseJson(console::Utf8(json.Text()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)["list"].items.size(), 4u);
    EXPECT_EQ((*parsed)["list"].items[0].number, INT64_MIN);
    EXPECT_TRUE((*parsed)["nested"]["x"].boolean);
}

}  // namespace
