#pragma once
// The system's variant value: what a database field, a by-reference "variant" argument or an
// array element holds. Empty (never assigned) and Null (the database's missing value) are
// distinct. Dates are held as naked wall-clock date-times (no time zone): a QDateTime in UTC
// spec whose fields are the local date and time the system means.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <compare>
#include <cstdint>
#include <variant>

#include "data/currency.h"

namespace data {

struct NullValue {
    bool operator==(const NullValue&) const = default;
};

class Variant {
public:
    // Type numbers as the system's type test reports them.
    enum class Type {
        Empty = 0,
        Null = 1,
        Integer = 2,   // 16-bit
        Long = 3,      // 32-bit
        Single = 4,
        Double = 5,
        Currency = 6,
        Date = 7,
        String = 8,
        Boolean = 11,
        LongLong = 20,
        Bytes = 8209,  // array of bytes
    };

    Variant() = default;
    static Variant null() { return Variant(NullValue{}); }
    Variant(NullValue) : v_(NullValue{}) {}
    Variant(std::int16_t i) : v_(i) {}
    Variant(std::int32_t i) : v_(i) {}
    Variant(std::int64_t i) : v_(i) {}
    Variant(float f) : v_(f) {}
    Variant(double d) : v_(d) {}
    Variant(Currency c) : v_(c) {}
    Variant(const QDateTime& d) : v_(d) {}
    Variant(const QString& s) : v_(s) {}
    Variant(const char16_t* s) : v_(QString::fromUtf16(s)) {}
    Variant(const char* s) : v_(QString::fromUtf8(s)) {}
    Variant(bool b) : v_(b) {}
    Variant(const QByteArray& b) : v_(b) {}

    Type type() const;
    bool isEmpty() const { return std::holds_alternative<std::monostate>(v_); }
    bool isNull() const { return std::holds_alternative<NullValue>(v_); }
    bool isNumber() const;  // an integer, floating, currency or Boolean value
    bool isString() const { return std::holds_alternative<QString>(v_); }
    bool isDate() const { return std::holds_alternative<QDateTime>(v_); }

    // Conversions as the system's conversion functions make them. Null raises "Invalid use of
    // Null" (94); a text that is not a number raises type mismatch (13); results out of the
    // target's range raise overflow (6). Integer conversions round half to even. Texts are read
    // with the point or the regional decimal separator.
    QString toString() const;           // Empty gives "", numbers their plain text
    double toDouble() const;
    Currency toCurrency() const;
    std::int16_t toInt16() const;
    std::int32_t toInt32() const;
    std::int64_t toInt64() const;
    bool toBool() const;
    QDateTime toDateTime() const;
    QByteArray toBytes() const;

    // Numbers by value, texts by exact character comparison, a number against a text by
    // value when the text is numeric and otherwise the number first; Empty counts as 0 / "".
    // Null sorts first.
    static int compare(const Variant& a, const Variant& b);
    bool operator==(const Variant& o) const { return compare(*this, o) == 0 && isNull() == o.isNull(); }

    const auto& storage() const { return v_; }

    // Holds the Latin-1 text p[0, n): in the text it holds already when that one is its own and
    // large enough, which spares an allocation to a value read row after row into one place.
    void assignLatin1(const char* p, qsizetype n);

private:
    std::variant<std::monostate, NullValue, std::int16_t, std::int32_t, std::int64_t, float, double, Currency,
                 QDateTime, QString, bool, QByteArray>
        v_;
};

// Reads a whole text as a number: blanks around it allowed, an optional sign, digits with at
// most one decimal point ("." or the given regional separator) and an optional exponent.
// Returns false when the text is not a number.
bool parseNumber(const QString& text, double& out, const QString& regionalDecimal = QString());

// The lenient leading-number reading: an optional sign, digits and at most one "." as decimal
// point, blanks anywhere skipped, stopping at the first character that cannot continue the
// number; a text without a number reads as 0.
double leadingNumber(const QString& text);

// The regional decimal separator used by text conversions (the user's regional setting; "."
// until set). The start-up sets it once it has checked the regional settings.
QString regionalDecimalSeparator();
// A day as "yyyy-MM-dd", written without the calendar and locale machinery of the general
// formatter (which a day outside the years 1 to 9999, or no day, still goes through).
QString isoDateText(const QDate& day);
void setRegionalDecimalSeparator(const QString& sep);

}  // namespace data
