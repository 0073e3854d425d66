#pragma once
// The system's currency type: a signed 64-bit count of ten-thousandths, so amounts keep
// exactly four decimals and never pick up binary rounding errors. Conversions from floating
// point and from longer decimal texts round half to even, as the original's currency
// conversion does. Arithmetic that leaves the range raises the overflow run-time error.

#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

namespace data {

class Currency {
public:
    static constexpr std::int64_t kScale = 10000;

    constexpr Currency() = default;

    static constexpr Currency fromRaw(std::int64_t tenThousandths) { return Currency(tenThousandths); }
    // Whole units; raises overflow when out of range.
    static Currency fromUnits(std::int64_t units);
    // Rounded half to even to four decimals; raises overflow for NaN, infinities and values
    // out of range.
    static Currency fromDouble(double value);
    // Exact reading of a decimal text in point notation: optional blanks, an optional sign,
    // digits, an optional "." and digits. Decimals beyond the fourth round half to even.
    // Anything else (or a value out of range) gives nullopt.
    static std::optional<Currency> parse(const QString& text);

    static constexpr Currency max() { return Currency(INT64_MAX); }
    static constexpr Currency min() { return Currency(INT64_MIN); }

    constexpr std::int64_t raw() const { return value_; }
    double toDouble() const { return static_cast<double>(value_) / kScale; }

    // Largest whole amount not above the value (-2.5 gives -3).
    Currency floor() const;
    // value - floor(): from 0 up to, not including, 1, also for negative amounts.
    Currency fraction() const { return *this - floor(); }
    bool hasFraction() const { return value_ % kScale != 0; }
    // Whole units toward zero.
    std::int64_t truncatedUnits() const { return value_ / kScale; }
    // Rounded to the given decimals (0-4), an exact half going to the even neighbour.
    Currency roundHalfEven(int decimals) const;
    Currency abs() const;

    // The shortest decimal text: an optional "-", the integer digits without grouping and,
    // only when there is a fraction, the separator and the fraction digits without trailing
    // zeros (0.5 -> "0" sep "5", 3 -> "3").
    QString toPlainText(const QString& decimalSeparator = QStringLiteral(".")) const;

    Currency operator-() const;
    Currency operator+(Currency o) const;
    Currency operator-(Currency o) const;
    // Product rounded half to even to four decimals.
    Currency operator*(Currency o) const;
    Currency operator*(std::int64_t n) const;
    Currency& operator+=(Currency o) { return *this = *this + o; }
    Currency& operator-=(Currency o) { return *this = *this - o; }

    constexpr auto operator<=>(const Currency&) const = default;

private:
    constexpr explicit Currency(std::int64_t v) : value_(v) {}
    std::int64_t value_ = 0;
};

}  // namespace data
