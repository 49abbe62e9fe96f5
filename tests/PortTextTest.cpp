#include "common/PortText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>

namespace {

using common::IsPlainNumber;
using common::NumberFormat;
using common::RoundedValue;
using common::ToPortNumber;

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
const NumberFormat kDot{L".", L","};

// port is what ToPortNumber must give; a text that is not plain always gives 0.
struct Case { const wchar_t* text; bool plain; std::int32_t port; };

void ExpectAll(const NumberFormat& fmt, std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(IsPlainNumber(c.text, fmt), c.plain) << L"[" << c.text << L"]";
        EXPECT_EQ(ToPortNumber(c.text, fmt), c.port) << L"[" << c.text << L"]";
        EXPECT_EQ(RoundedValue(c.text, fmt).has_value(), c.plain) << L"[" << c.text << L"]";
    }
}

TEST(PortText, SeparatorsBlanksAndSigns) {
    ExpectAll(kDot, {{L"3389", true, 3389}, {L" 80 ", true, 80}, {L"\t80\t ", true, 80},
                     {L"+80", true, 80}, {L"-1", true, -1}, {L"03390", true, 3390},
                     {L"8,080", true, 8080}, {L"8,080.6", true, 8081}, {L"80,5", true, 805},
                     {L".6", true, 1}, {L"5.", true, 5}, {L"+ 80", false, 0}, {L"8 080", false, 0}});
    ExpectAll({L",", L"."}, {{L"8.080", true, 8080}, {L"80,5", true, 80}, {L"81,5", true, 82},
                             {L"1.234,6", true, 1235}, {L"80.5", true, 805}, {L"8,0,8", false, 0}});
    ExpectAll({L"..", L"\u00A0"}, {{L"81..5", true, 82}, {L"80.5", false, 0}, {L"8\u00A0080", true, 8080}});
    ExpectAll({L",", L","}, {{L"1,5", true, 2}, {L"1,234", true, 1}, {L"1,2,3", false, 0}});
    ExpectAll({L"", L""}, {{L"80", true, 80}, {L"80.5", false, 0}, {L"8,080", false, 0}});
    ExpectAll({L".", L""}, {{L"80.5", true, 80}, {L"8,080", false, 0}});
    ExpectAll({L".", L" "}, {{L" 8 080 ", true, 8080}, {L"80 ", true, 80}});
}

TEST(PortText, RoundsHalfToEvenExactly) {
    ExpectAll(kDot, {{L"0.5", true, 0}, {L"1.5", true, 2}, {L"2.5", true, 2}, {L"-2.5", true, -2},
                     {L"-0.5", true, 0}, {L"-1.5", true, -2}, {L"80.4", true, 80}, {L"80.5", true, 80},
                     {L"80.6", true, 81}, {L"81.5", true, 82}, {L"80.49999999999999999999", true, 80},
                     {L"80.50000000000000000000", true, 80}, {L"80.50000000000000000001", true, 81}});
}

TEST(PortText, Int32Edges) {
    ExpectAll(kDot, {{L"2147483647", true, kMax32}, {L"-2147483648", true, kMin32},
                     {L"2147483648", true, 0}, {L"-2147483649", true, 0}, {L"12345678901", true, 0},
                     {L"-12345678901", true, 0}, {L"2147483647.5", true, 0},
                     {L"2147483646.5", true, 2147483646}, {L"-2147483648.5", true, kMin32},
                     {L"-2147483647.5", true, kMin32}, {L"000000000002147483647", true, kMax32}});
}

TEST(PortText, RadixFormsAndTheLetterE) {
    ExpectAll(kDot, {{L"&H1F90", true, 8080}, {L"&h1f90", true, 8080}, {L"&O17", true, 15},
                     {L" &o17\t", true, 15}, {L"&H7FFFFFFF", true, kMax32}, {L"&HFFFFFFFF", true, -1},
                     {L"&H80000000", true, kMin32}, {L"&H100000000", true, 0}, {L"&H000000001", true, 1},
                     {L"&O37777777777", true, -1}, {L"&O40000000000", true, 0}, {L"&O8", false, 0},
                     {L"&X10", false, 0}, {L"& H10", false, 0}, {L"&H1.5", false, 0},
                     {L"&HE0", false, 0}, {L"&hbe", false, 0}, {L"1e3", false, 0}, {L"1E3", false, 0},
                     {L"1e-2", false, 0}, {L"1.5E+2", false, 0}, {L"1e", false, 0}});
}

TEST(PortText, JunkIsNotANumber) {
    ExpectAll(kDot, {{L"80abc", false, 0}, {L"", false, 0}, {L" ", false, 0}, {L"abc", false, 0},
                     {L"--1", false, 0}, {L"1.2.3", false, 0}, {L"&h", false, 0}, {L"+&h10", false, 0},
                     {L",80", false, 0}, {L".", false, 0}, {L"+", false, 0}, {L"(80)", false, 0},
                     {L"80-", false, 0}, {L"80\n", false, 0}, {L"\uFF18\uFF10", false, 0}});
    EXPECT_FALSE(IsPlainNumber(std::wstring(L"80\0", 3), kDot));
}

TEST(PortText, RoundedValueHasNo32BitLimit) {
    const struct { const wchar_t* text; std::int64_t value; } rows[] = {
        {L"12345678901", 12345678901}, {L"-12345678901", -12345678901}, {L"2147483647.5", 2147483648},
        {L"9223372036854775807", kMax64}, {L"-9223372036854775808", kMin64},
        {L"9223372036854775808", kMax64}, {L"-99999999999999999999999999.5", kMin64},
        {L"9223372036854775806.5", 9223372036854775806}, {L"&H100000000", kMax64},
        {L"&HFFFFFFFFFFFFFFFFFFFF", kMax64}, {L"&HFFFFFFFF", -1}};
    for (const auto& r : rows) EXPECT_EQ(RoundedValue(r.text, kDot), r.value) << r.text;
    for (const wchar_t* text : {L"10000000000", L"-10000000000", L"-99999999999"}) {
        const auto value = RoundedValue(text, kDot);
        EXPECT_TRUE(value && (*value < 0 || *value > 65535)) << text;
    }
    EXPECT_EQ(RoundedValue(L"1e30", kDot), std::nullopt);
}

TEST(PortText, DecimalTextRoundTripsEveryInt32Edge) {
    for (std::int32_t value : {0, 1, -1, 9, 10, 3389, 65535, -65536, kMax32, kMin32, kMax32 - 1, kMin32 + 1}) {
        const std::wstring text = common::DecimalText(value);
        EXPECT_EQ(text, std::to_wstring(value));
        EXPECT_EQ(ToPortNumber(text, kDot), value);
    }
}

}  // namespace
