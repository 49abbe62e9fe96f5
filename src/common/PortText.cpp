#include "common/PortText.h"

#include <limits>
#include <string_view>

namespace common {
namespace {

constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();
// Radix forms carry 32 bits; wider values are too large rather than wrapped.
constexpr std::uint64_t kRadixLimit = std::numeric_limits<std::uint32_t>::max();

// Everything the rounding needs, gathered while scanning, so that no digit string is copied
// and arbitrarily long texts are still judged exactly.
struct Scanned {
    bool negative = false;
    bool radix = false;
    std::uint64_t magnitude = 0;  // whole part (or radix value), kSaturated once beyond 64 bits
    unsigned lastWholeDigit = 0;  // parity of the whole part survives saturation
    bool hasFraction = false;
    unsigned firstFractionDigit = 0;
    bool fractionTailNonZero = false;  // tells an exact half from a little more than half
};

std::uint64_t AppendDigit(std::uint64_t acc, unsigned base, unsigned digit) noexcept {
    if (acc > (kSaturated - digit) / base) return kSaturated;
    return acc * base + digit;
}

class Cursor {
public:
    explicit Cursor(std::wstring_view text) noexcept : text_(text) {}

    bool AtEnd() const noexcept { return pos_ == text_.size(); }

    bool Eat(wchar_t c) noexcept {
        if (AtEnd() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    // Letters in numbers are matched without regard to case; only ASCII letters occur here.
    bool EatLetter(wchar_t lower) noexcept {
        return Eat(lower) || Eat(static_cast<wchar_t>(lower - L'a' + L'A'));
    }

    bool StartsWith(std::wstring_view s) const noexcept {
        return !s.empty() && text_.substr(pos_).starts_with(s);
    }

    bool EatLiteral(std::wstring_view s) noexcept {
        if (!StartsWith(s)) return false;
        pos_ += s.size();
        return true;
    }

    // Locales differ on other white space; only space and tab are taken as blanks.
    void SkipBlanks() noexcept {
        while (Eat(L' ') || Eat(L'\t')) {}
    }

    std::optional<unsigned> EatDigit(unsigned base) noexcept {
        if (AtEnd()) return std::nullopt;
        const wchar_t c = text_[pos_];
        unsigned value = base;
        if (c >= L'0' && c <= L'9') value = static_cast<unsigned>(c - L'0');
        else if (c >= L'a' && c <= L'f') value = static_cast<unsigned>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F') value = static_cast<unsigned>(c - L'A' + 10);
        if (value >= base) return std::nullopt;
        ++pos_;
        return value;
    }

private:
    std::wstring_view text_;
    std::size_t pos_ = 0;
};

bool ScanRadix(Cursor& in, Scanned& out) noexcept {
    unsigned base = 0;
    if (in.EatLetter(L'h')) base = 16;
    else if (in.EatLetter(L'o')) base = 8;
    else return false;
    out.radix = true;
    bool any = false;
    while (auto d = in.EatDigit(base)) {
        out.magnitude = AppendDigit(out.magnitude, base, *d);
        any = true;
    }
    return any;
}

// An exponent never reaches the value (plain numbers have none), but it still has to be
// recognised so that "1e3" is a number, only not a plain one.
bool ScanExponent(Cursor& in) noexcept {
    if (!in.EatLetter(L'e')) return true;
    if (!in.Eat(L'+')) in.Eat(L'-');
    bool any = false;
    while (in.EatDigit(10)) any = true;
    return any;
}

bool ScanDecimal(Cursor& in, const NumberFormat& fmt, Scanned& out) noexcept {
    if (!in.Eat(L'+')) out.negative = in.Eat(L'-');
    std::size_t wholeDigits = 0;
    for (;;) {
        if (auto d = in.EatDigit(10)) {
            out.magnitude = AppendDigit(out.magnitude, 10, *d);
            out.lastWholeDigit = *d;
            ++wholeDigits;
            continue;
        }
        // The decimal separator wins when a locale uses the same string for both, and a group
        // separator only counts once a digit has been seen, so ",80" is refused.
        if (in.StartsWith(fmt.decimalSeparator)) break;
        if (wholeDigits == 0 || !in.EatLiteral(fmt.groupSeparator)) break;
    }
    std::size_t fractionDigits = 0;
    if (in.EatLiteral(fmt.decimalSeparator)) {
        while (auto d = in.EatDigit(10)) {
            if (fractionDigits++ == 0) out.firstFractionDigit = *d;
            else if (*d != 0) out.fractionTailNonZero = true;
        }
        out.hasFraction = fractionDigits > 0;
    }
    return wholeDigits + fractionDigits > 0 && ScanExponent(in);
}

std::optional<Scanned> Scan(std::wstring_view text, const NumberFormat& fmt) noexcept {
    Cursor in(text);
    Scanned out;
    in.SkipBlanks();
    const bool ok = in.Eat(L'&') ? ScanRadix(in, out) : ScanDecimal(in, fmt, out);
    if (!ok) return std::nullopt;
    in.SkipBlanks();
    if (!in.AtEnd()) return std::nullopt;
    return out;
}

bool ContainsLetterE(std::wstring_view text) noexcept {
    return text.find_first_of(L"eE") != std::wstring_view::npos;
}

// Half to even is symmetric about zero, so it is decided on the magnitude alone.
bool RoundsUp(const Scanned& n) noexcept {
    if (!n.hasFraction || n.firstFractionDigit < 5) return false;
    if (n.firstFractionDigit > 5 || n.fractionTailNonZero) return true;
    return n.lastWholeDigit % 2 != 0;
}

std::int64_t SignedSaturated(bool negative, std::uint64_t magnitude) noexcept {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) return magnitude > kMax ? std::numeric_limits<std::int64_t>::max()
                                           : static_cast<std::int64_t>(magnitude);
    if (magnitude > kMax) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(magnitude);
}

std::int64_t ValueOf(const Scanned& n) noexcept {
    if (n.radix) {
        if (n.magnitude > kRadixLimit) return std::numeric_limits<std::int64_t>::max();
        // Eight hex digits are a 32-bit pattern, so "&HFFFFFFFF" is -1 as the user would
        // expect from a register dump, not 4294967295.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(n.magnitude));
    }
    std::uint64_t magnitude = n.magnitude;
    if (RoundsUp(n) && magnitude != kSaturated) ++magnitude;
    return SignedSaturated(n.negative, magnitude);
}

}  // namespace

bool IsPlainNumber(const std::wstring& text, const NumberFormat& fmt) noexcept {
    return !ContainsLetterE(text) && Scan(text, fmt).has_value();
}

std::optional<std::int64_t> RoundedValue(const std::wstring& text, const NumberFormat& fmt) noexcept {
    if (ContainsLetterE(text)) return std::nullopt;
    const auto scanned = Scan(text, fmt);
    if (!scanned) return std::nullopt;
    return ValueOf(*scanned);
}

std::int32_t ToPortNumber(const std::wstring& text, const NumberFormat& fmt) noexcept {
    const auto value = RoundedValue(text, fmt);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    return static_cast<std::int32_t>(*value);
}

}  // namespace common
