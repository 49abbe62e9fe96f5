// libFuzzer target for the port text routines (common/PortText.h): IsPlainNumber, ToPortNumber,
// RoundedValue and DecimalText; and rdpport.com's strict port operand (console/PortArgument.h), which
// must take exactly ASCII digits standing for 0 to 65535 between spaces and tabs.
//
// Input layout:
//   byte 0     picks the locale separators: its low nibble indexes kFormats (modulo its size), so
//              the characters '0'..'9', ':' and ';' pick the formats in order, which keeps seed files readable.
//   the rest   is decoded into the text, one token at a time:
//     0x00-0x7F  that ASCII character (digits, signs, "&h", "e", blanks, NUL, newlines...);
//     0x80       the format's decimal separator, 0x81 its group separator;
//     0x82       U+00A0 (no-break space), 0x83 U+202F (narrow no-break space),
//     0x84       U+3000 (ideographic space);
//     0x85-0x8E  one of the digits 0-9 (keeps digits frequent in mutated input);
//     0x8F       a full-width digit U+FF10 + (next byte % 10);
//     0xFF       a raw 32-bit code unit from the next four bytes (little endian), including
//                values that alias ASCII in their low 8 or 16 bits and negative ones;
//     0xC2-0xF4  the start of a UTF-8 sequence; a malformed sequence yields U+FFFD;
//     other      the byte value as a Latin-1 code point.
//
// On every input it checks what callers of the routines rely on and traps when one fails.

#include "common/PortText.h"
#include "console/PortArgument.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

using common::NumberFormat;

const NumberFormat kFormats[] = {
    {L".", L","},            // 0: English
    {L",", L"."},            // 1: German
    {L",", L"\u00A0"},       // 2: French with a no-break space
    {L".", L" "},            // 3: space as the group separator
    {L"..", L"\u00A0"},      // 4: multi-character decimal separator
    {L",", L","},            // 5: both separators the same
    {L"", L""},              // 6: no separators at all
    {L".", L""},             // 7: no group separator
    {L".", L"\u2019"},       // 8: Swiss (right single quotation mark)
    {L",", L"\u202F"},       // 9: narrow no-break space
    {L"\u066B", L"\u066C"},  // 10: Arabic decimal and thousands separators
    {L",", L". "},           // 11: multi-character group separator
};
constexpr std::size_t kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);

constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

std::string Describe(const std::wstring& text, const NumberFormat& fmt) {
    auto hex = [](const std::wstring& s) {
        std::string out;
        char buf[16];
        for (wchar_t c : s) {
            if (c >= 0x20 && c < 0x7F && c != L'\\') {
                out += static_cast<char>(c);
            } else {
                std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(c));
                out += buf;
            }
        }
        return out;
    };
    return "text [" + hex(text) + "] decimal [" + hex(fmt.decimalSeparator) + "] group [" +
           hex(fmt.groupSeparator) + "]";
}

[[noreturn]] void Fail(const char* what, const std::wstring& text, const NumberFormat& fmt) {
    std::fprintf(stderr, "PortTextFuzz: invariant failed: %s\n  %s\n", what, Describe(text, fmt).c_str());
    std::fflush(stderr);
    __builtin_trap();
}

#define CHECK(cond, what)                        \
    do {                                         \
        if (!(cond)) Fail(what, text, fmt);      \
    } while (0)

void AppendUtf8(const std::uint8_t*& p, const std::uint8_t* end, std::wstring& out) {
    const std::uint8_t lead = *p++;
    int more = 0;
    std::uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) { more = 1; cp = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { more = 2; cp = lead & 0x0F; }
    else { more = 3; cp = lead & 0x07; }
    for (int i = 0; i < more; ++i) {
        if (p == end || (*p & 0xC0) != 0x80) {
            out += L'\uFFFD';
            return;
        }
        cp = (cp << 6) | (*p++ & 0x3F);
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    out += static_cast<wchar_t>(cp);
}

std::wstring Decode(const std::uint8_t* p, const std::uint8_t* end, const NumberFormat& fmt) {
    std::wstring out;
    while (p != end) {
        const std::uint8_t b = *p;
        if (b < 0x80) { out += static_cast<wchar_t>(b); ++p; continue; }
        if (b >= 0xC2 && b <= 0xF4) { AppendUtf8(p, end, out); continue; }
        ++p;
        switch (b) {
        case 0x80: out += fmt.decimalSeparator; break;
        case 0x81: out += fmt.groupSeparator; break;
        case 0x82: out += L'\u00A0'; break;
        case 0x83: out += L'\u202F'; break;
        case 0x84: out += L'\u3000'; break;
        case 0x8F:
            if (p != end) out += static_cast<wchar_t>(0xFF10 + *p++ % 10);
            break;
        case 0xFF: {
            std::uint32_t raw = 0;
            for (int i = 0; i < 4 && p != end; ++i) raw |= static_cast<std::uint32_t>(*p++) << (8 * i);
            out += static_cast<wchar_t>(raw);
            break;
        }
        default:
            if (b >= 0x85 && b <= 0x8E) out += static_cast<wchar_t>(L'0' + (b - 0x85));
            else out += static_cast<wchar_t>(b);
        }
    }
    return out;
}

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// A decimal text in its simplest shape: blanks, an optional sign, digits, optionally the decimal
// separator and more digits (at least one digit in all), blanks; no group separators, no
// exponent, no radix. Its value is worked out here from the digit strings alone.
struct SimpleDecimal {
    bool negative = false;
    std::string whole;     // without leading zeros; empty for zero
    std::string fraction;  // as written
};

std::optional<SimpleDecimal> ParseSimple(const std::wstring& text, const NumberFormat& fmt) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    SimpleDecimal d;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) d.negative = text[i++] == L'-';
    std::size_t digits = 0;
    while (i < n && IsAsciiDigit(text[i])) {
        if (!(d.whole.empty() && text[i] == L'0')) d.whole += static_cast<char>(text[i]);
        ++i;
        ++digits;
    }
    const std::wstring& dec = fmt.decimalSeparator;
    if (!dec.empty() && text.compare(i, dec.size(), dec) == 0) {
        i += dec.size();
        while (i < n && IsAsciiDigit(text[i])) {
            d.fraction += static_cast<char>(text[i++]);
            ++digits;
        }
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i != n || digits == 0) return std::nullopt;
    return d;
}

// Adds one to a decimal digit string (no leading zeros).
std::string Increment(std::string s) {
    std::size_t i = s.size();
    while (i > 0 && s[i - 1] == '9') s[--i] = '0';
    if (i == 0) return "1" + s;
    ++s[i - 1];
    return s;
}

// The magnitude rounded to the nearest whole number, exact halves to the even neighbour.
std::string RoundedMagnitude(const SimpleDecimal& d) {
    const std::string& f = d.fraction;
    if (f.empty() || f[0] < '5') return d.whole;
    bool tailNonZero = false;
    for (std::size_t i = 1; i < f.size(); ++i) tailNonZero |= f[i] != '0';
    if (f[0] > '5' || tailNonZero) return Increment(d.whole);
    const bool odd = !d.whole.empty() && (d.whole.back() - '0') % 2 == 1;
    return odd ? Increment(d.whole) : d.whole;
}

// Compares two digit strings without leading zeros.
int CompareDigits(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

void CheckSimpleDecimal(const std::wstring& text, const NumberFormat& fmt, bool plain, std::int32_t port,
                        const std::optional<std::int64_t>& rounded) {
    const auto d = ParseSimple(text, fmt);
    if (!d) return;
    CHECK(plain, "a simple decimal number is not taken as a plain number");
    const std::string mag = RoundedMagnitude(*d);
    const bool neg = d->negative && !mag.empty();
    // int32 range: 2147483647 up, 2147483648 down.
    const bool fits32 = CompareDigits(mag, neg ? "2147483648" : "2147483647") <= 0;
    const bool fits64 = CompareDigits(mag, neg ? "9223372036854775808" : "9223372036854775807") <= 0;
    std::int64_t expected64 = neg ? kMin64 : kMax64;
    if (fits64) {
        __int128 v = 0;
        for (char c : mag) v = v * 10 + (c - '0');
        expected64 = static_cast<std::int64_t>(neg ? -v : v);
    }
    CHECK(rounded.has_value() && *rounded == expected64,
          "RoundedValue differs from the exactly rounded value (saturated at the int64 range)");
    if (fits32) CHECK(port == expected64, "ToPortNumber differs from the exactly rounded value");
    else CHECK(port == 0, "ToPortNumber is not 0 for a value beyond 32 bits");
}

// A radix form: blanks, "&h" and hexadecimal digits or "&o" and octal digits, blanks. Its
// value is computed here; up to 31 bits it is taken as it stands, beyond 32 bits it is too large
// (0, and out of any port range), and a 32-bit pattern with the top bit set may be read either
// as its two's complement or as too large.
void CheckRadix(const std::wstring& text, const NumberFormat& fmt, bool plain, std::int32_t port,
                const std::optional<std::int64_t>& rounded) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    if (i + 1 >= n || text[i] != L'&') return;
    const wchar_t letter = text[i + 1];
    unsigned base = 0;
    if (letter == L'h' || letter == L'H') base = 16;
    else if (letter == L'o' || letter == L'O') base = 8;
    else return;
    i += 2;
    std::uint64_t value = 0;
    bool tooLarge = false;
    bool hasE = false;
    std::size_t digits = 0;
    for (; i < n; ++i, ++digits) {
        const wchar_t c = text[i];
        unsigned d = 99;
        if (IsAsciiDigit(c)) d = static_cast<unsigned>(c - L'0');
        else if (c >= L'a' && c <= L'f') d = static_cast<unsigned>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F') d = static_cast<unsigned>(c - L'A' + 10);
        if (d >= base) break;
        hasE |= d == 14;
        if (!tooLarge) {
            value = value * base + d;
            tooLarge = value > 0xFFFFFFFFu;
        }
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i != n || digits == 0) return;
    if (hasE) {
        CHECK(!plain, "a radix form with the digit e is plain");
        return;
    }
    CHECK(plain, "a radix form without the digit e is not plain");
    if (tooLarge) {
        CHECK(port == 0, "a radix form beyond 32 bits does not convert to 0");
        CHECK(rounded && (*rounded < 0 || *rounded > 65535), "a radix form beyond 32 bits is a valid port");
    } else if (value <= 0x7FFFFFFFu) {
        CHECK(rounded && *rounded == static_cast<std::int64_t>(value), "RoundedValue of a radix form is wrong");
        CHECK(port == static_cast<std::int64_t>(value), "ToPortNumber of a radix form is wrong");
    } else {
        const std::int64_t complement = static_cast<std::int64_t>(value) - (std::int64_t{1} << 32);
        CHECK(port == complement || port == 0, "a 32-bit radix pattern is neither its complement nor 0");
        CHECK(rounded && (*rounded < 0 || *rounded > 65535), "a 32-bit radix pattern with the top bit is a valid port");
    }
}

bool InAlphabet(wchar_t c, const NumberFormat& fmt) {
    if (IsAsciiDigit(c) || IsBlank(c)) return true;
    if ((c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F')) return true;
    switch (c) {
    case L'h': case L'H': case L'o': case L'O': case L'+': case L'-': case L'&': case L'(': case L')':
        return true;
    default:
        break;
    }
    return fmt.decimalSeparator.find(c) != std::wstring::npos ||
           fmt.groupSeparator.find(c) != std::wstring::npos;
}

struct Results {
    bool plain;
    std::int32_t port;
    std::optional<std::int64_t> rounded;
    bool operator==(const Results&) const = default;
};

Results Evaluate(const std::wstring& text, const NumberFormat& fmt) {
    return {common::IsPlainNumber(text, fmt), common::ToPortNumber(text, fmt), common::RoundedValue(text, fmt)};
}

void CheckText(const std::wstring& text, const NumberFormat& fmt) {
    const std::wstring textBefore = text;
    const NumberFormat fmtBefore = fmt;

    const Results r = Evaluate(text, fmt);
    CHECK(text == textBefore, "the input text was changed");
    CHECK(fmt.decimalSeparator == fmtBefore.decimalSeparator && fmt.groupSeparator == fmtBefore.groupSeparator,
          "the number format was changed");
    CHECK(Evaluate(text, fmt) == r, "a second call gave a different result");

    // Only a plain number has a value; everything else converts to 0.
    CHECK(r.rounded.has_value() == r.plain, "RoundedValue has a value exactly when IsPlainNumber is true");
    if (!r.plain) CHECK(r.port == 0, "ToPortNumber is not 0 for a text that is not a plain number");

    // Any letter e refuses the text: exponents and radix digits alike.
    if (text.find_first_of(L"eE") != std::wstring::npos) CHECK(!r.plain, "a text with the letter e is plain");

    // Characters that belong to no number form refuse the text.
    bool alphabet = true;
    for (wchar_t c : text) alphabet = alphabet && InAlphabet(c, fmt);
    if (!alphabet) CHECK(!r.plain, "a text with a character outside every number form is plain");

    // The 32-bit conversion is the rounded value when that fits, 0 otherwise.
    if (r.rounded) {
        const bool fits = *r.rounded >= kMin32 && *r.rounded <= kMax32;
        CHECK(r.port == (fits ? *r.rounded : 0), "ToPortNumber is not RoundedValue within int32, 0 beyond");
    }

    // The port-change range test: a text that passes it is written as exactly the number tested.
    const bool passes = r.plain && r.rounded && *r.rounded >= 0 && *r.rounded <= 65535;
    if (passes) CHECK(r.port == *r.rounded, "a text passing the range test converts to another number");
    if (r.port < 0 || r.port > 65535) CHECK(!passes, "the range test passes a text that converts outside 0..65535");

    CheckSimpleDecimal(text, fmt, r.plain, r.port, r.rounded);
    CheckRadix(text, fmt, r.plain, r.port, r.rounded);

    // Group separators are ignored for the value: taking them out of a plain number keeps it a
    // plain number of the same value. Only for formats whose group separator is distinct from
    // the decimal one and shares no character with it.
    const std::wstring& group = fmt.groupSeparator;
    if (r.plain && !group.empty() && group.find_first_of(fmt.decimalSeparator) == std::wstring::npos &&
        text.find(group) != std::wstring::npos) {
        std::wstring stripped;
        for (std::size_t i = 0; i < text.size();) {
            if (text.compare(i, group.size(), group) == 0) i += group.size();
            else stripped += text[i++];
        }
        const Results g = Evaluate(stripped, fmt);
        CHECK(g.plain && g.rounded == r.rounded && g.port == r.port,
              "taking the group separators out changes the number");
    }

    // Blanks around a text change nothing.
    const std::wstring padded = L" \t" + text + L"\t ";
    const Results p = Evaluate(padded, fmt);
    CHECK(p.plain == r.plain && p.rounded == r.rounded && p.port == r.port,
          "blanks around the text change the result");

    // Half to even is symmetric about zero: a minus sign in front of an unsigned decimal text
    // negates its value (up to the int64 saturation, where -max and min are both acceptable).
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    const bool unsignedDecimal = first < text.size() &&
                                 (IsAsciiDigit(text[first]) ||
                                  (!fmt.decimalSeparator.empty() &&
                                   text.compare(first, fmt.decimalSeparator.size(), fmt.decimalSeparator) == 0));
    if (unsignedDecimal) {
        std::wstring negated = text;
        negated.insert(first, 1, L'-');
        const Results n = Evaluate(negated, fmt);
        CHECK(n.plain == r.plain, "a minus sign changes whether the text is plain");
        if (r.rounded) {
            CHECK(n.rounded.has_value(), "a minus sign takes the value away");
            const std::int64_t v = *r.rounded;
            CHECK(v >= 0, "an unsigned decimal text has a negative value");
            const bool ok = v == kMax64 ? (*n.rounded == kMin64 || *n.rounded == -kMax64) : *n.rounded == -v;
            CHECK(ok, "a minus sign does not negate the rounded value");
        }
    }
}

// The text a stored port is shown as: plain decimal digits, "-" in front when negative, which
// converts back to the same number in every format.
void CheckDecimalText(std::int32_t value, const NumberFormat& fmt) {
    const std::wstring text = common::DecimalText(value);
    CHECK(text == std::to_wstring(value), "DecimalText is not the plain decimal text of the number");
    CHECK(common::IsPlainNumber(text, fmt) && common::ToPortNumber(text, fmt) == value,
          "DecimalText does not convert back to its number");
}

}  // namespace

// The strict operand against an independent reading: trimmed of spaces and tabs, digits only, and at
// most five significant digits whose value is at most 65535.
void CheckStrictPort(const std::wstring& text, const NumberFormat& fmt) {
    std::optional<std::int32_t> expected;
    const size_t first = text.find_first_not_of(L" \t");
    if (first != std::wstring::npos) {
        const std::wstring core = text.substr(first, text.find_last_not_of(L" \t") - first + 1);
        bool digits = true;
        for (wchar_t c : core) digits = digits && c >= L'0' && c <= L'9';
        const size_t significant = core.find_first_not_of(L'0');
        const std::wstring number = significant == std::wstring::npos ? L"0" : core.substr(significant);
        if (digits && number.size() <= 5) {
            std::int32_t value = 0;
            for (wchar_t c : number) value = value * 10 + (c - L'0');
            if (value <= 65535) expected = value;
        }
    }
    if (console::PortArgument(text) != expected) Fail("PortArgument", text, fmt);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const NumberFormat& fmt = kFormats[(data[0] & 0x0F) % kFormatCount];
    const std::wstring text = Decode(data + 1, data + size, fmt);
    CheckText(text, fmt);
    CheckStrictPort(text, fmt);

    CheckDecimalText(common::ToPortNumber(text, fmt), fmt);
    if (size >= 5) {
        std::uint32_t raw = 0;
        std::memcpy(&raw, data + 1, sizeof raw);
        CheckDecimalText(static_cast<std::int32_t>(raw), fmt);
    }
    CheckDecimalText(static_cast<std::int32_t>(kMin32), fmt);
    return 0;
}
