// Rounding and number formatting of EDiv.
//
// Amounts are worked on as their raw count of ten-thousandths, widened to 128 bits, so that no
// intermediate value (the floor of the most negative amount, a rounding past the largest one)
// can overflow and no binary fraction ever enters a digit decision. Only a result that must be
// handed back as an amount is checked against the currency range.

#include <algorithm>
#include <cmath>
#include <optional>

#include <QLocale>

#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/text.h"
#include "util/Locale.h"

namespace {

using i128 = __int128;
using data::Currency;

constexpr i128 kScale = Currency::kScale;

i128 pow10(int n) {
    i128 p = 1;
    for (int k = 0; k < n; ++k) p *= 10;
    return p;
}

bool fitsCurrency(i128 raw) { return raw >= INT64_MIN && raw <= INT64_MAX; }

Currency currencyOrOverflow(i128 raw) {
    if (!fitsCurrency(raw)) platform::raiseOverflow();
    return Currency::fromRaw(static_cast<std::int64_t>(raw));
}

// a / b rounded toward minus infinity, for b > 0.
i128 floorDiv(i128 a, i128 b) {
    i128 q = a / b;
    if (a % b < 0) q -= 1;
    return q;
}

// a / b rounded half to even, for b > 0.
i128 divRoundHalfEven(i128 a, i128 b) {
    const i128 q = floorDiv(a, b);
    const i128 twice = 2 * (a - q * b);
    if (twice > b || (twice == b && q % 2 != 0)) return q + 1;
    return q;
}

QString digitsText(i128 v) {
    if (v == 0) return QStringLiteral("0");
    const bool negative = v < 0;
    QString out;
    while (v != 0) {
        const int d = static_cast<int>(v % 10);
        out.prepend(QChar(u'0' + (negative ? -d : d)));
        v /= 10;
    }
    if (negative) out.prepend(u'-');
    return out;
}

// The separator of the plain text of an amount: the regional one, "." while none is known.
QString regionalDecimal() {
    const QString& s = Locale().gstrDecSep;
    return s.isEmpty() ? QStringLiteral(".") : s;
}

// The plain text of an amount given in ten-thousandths (any size).
QString plainText(i128 raw, const QString& sep) {
    const bool negative = raw < 0;
    const i128 mag = negative ? -raw : raw;
    QString out = digitsText(mag / kScale);
    const int frac = static_cast<int>(mag % kScale);
    if (frac != 0) {
        QString f = QString::number(frac).rightJustified(4, u'0');
        while (f.endsWith(u'0')) f.chop(1);
        out += sep;
        out += f;
    }
    if (negative) out.prepend(u'-');
    return out;
}

// The floor of an amount in whole units and the digits of its fraction (amount minus floor,
// so never negative) without trailing zeros.
struct FractionSplit {
    i128 floorUnits = 0;
    QString digits;
};

FractionSplit splitFraction(i128 raw) {
    FractionSplit s;
    s.floorUnits = floorDiv(raw, kScale);
    const int frac = static_cast<int>(raw - s.floorUnits * kScale);
    if (frac != 0) {
        s.digits = QString::number(frac).rightJustified(4, u'0');
        while (s.digits.endsWith(u'0')) s.digits.chop(1);
    }
    return s;
}

i128 digitsValue(const QString& digits) {
    i128 v = 0;
    for (const QChar c : digits) v = v * 10 + (c.unicode() - u'0');
    return v;
}

// A text read the lenient way: an optional sign, digits and at most one "." as decimal
// point, blanks anywhere skipped, stopping at the first character that cannot continue.
struct LenientNumber {
    bool negative = false;
    QString intDigits;   // as written, leading zeros included
    QString fracDigits;  // as written
};

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
bool isDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

LenientNumber readLenient(const QString& text) {
    LenientNumber n;
    bool started = false;
    bool point = false;
    for (const QChar c : text) {
        if (isBlank(c)) continue;
        if (!started && (c == u'-' || c == u'+')) {
            n.negative = c == u'-';
            started = true;
        } else if (isDigit(c)) {
            (point ? n.fracDigits : n.intDigits) += c;
            started = true;
        } else if (c == u'.' && !point) {
            point = true;
            started = true;
        } else {
            break;
        }
    }
    return n;
}

QString withoutLeadingZeros(const QString& digits) {
    qsizetype i = 0;
    while (i < digits.size() && digits.at(i) == u'0') ++i;
    return i == digits.size() ? QStringLiteral("0") : digits.mid(i);
}

// The number as ten-thousandths, extra decimals rounded half to even; nullopt beyond the
// currency range.
std::optional<i128> lenientRaw(const LenientNumber& n) {
    const QString units = withoutLeadingZeros(n.intDigits);
    if (units.size() > 20) return std::nullopt;
    i128 raw = digitsValue(units) * kScale + digitsValue(n.fracDigits.left(4).leftJustified(4, u'0'));
    if (n.fracDigits.size() > 4) {
        const int next = n.fracDigits.at(4).unicode() - u'0';
        bool tail = false;
        for (qsizetype i = 5; i < n.fracDigits.size() && !tail; ++i) tail = n.fracDigits.at(i) != u'0';
        if (next > 5 || (next == 5 && (tail || raw % 2 != 0))) raw += 1;
    }
    if (n.negative) raw = -raw;
    if (!fitsCurrency(raw)) return std::nullopt;
    return raw;
}

// The last `count` characters of an integer text read as a number; a "-" among them counts.
i128 lastDigits(const QString& integerText, int count) {
    const LenientNumber n = readLenient(integerText.right(count));
    const i128 v = digitsValue(n.intDigits);
    return n.negative ? -v : v;
}

// Rounding of mode 1: with decimals an exact half goes to the even neighbour; with none a
// fraction of exactly one half is first raised by 0.01, so halves always go up. Decimals beyond
// those present leave the amount as it is.
i128 roundMode1(i128 raw, int decimals) {
    const FractionSplit s = splitFraction(raw);
    decimals = std::clamp<int>(decimals, 0, static_cast<int>(s.digits.size()));
    if (decimals >= 1) {
        const i128 unit = pow10(4 - decimals);
        return divRoundHalfEven(raw, unit) * unit;
    }
    if (s.digits == QStringLiteral("5")) raw += kScale / 100;
    return divRoundHalfEven(raw, kScale) * kScale;
}

// The value of the text I "." K (integer text, point, kept digits as a number).
i128 rebuiltValue(i128 integerUnits, i128 kept) {
    const int keptLength = static_cast<int>(digitsText(kept).size());
    const i128 fraction = keptLength <= 4 ? kept * pow10(4 - keptLength) : 0;
    return integerUnits < 0 ? integerUnits * kScale - fraction : integerUnits * kScale + fraction;
}

int regionalGroupSize() {
    const QString& g = Locale().gstrAgrupamento;
    if (g.isEmpty() || !isDigit(g.at(0))) return 0;
    return g.at(0).unicode() - u'0';
}

// Digits grouped from the right, `sep` before every complete group that has digits in front.
QString grouped(const QString& digits, int group, const QString& sep) {
    if (group <= 0 || sep.isEmpty()) return digits;
    QString out;
    int inGroup = 0;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        out.prepend(digits.at(i));
        if (++inGroup == group && i > 0) {
            out.prepend(sep);
            inGroup = 0;
        }
    }
    return out;
}

using util::trimBlanks;

// An exact decimal: sign, integer digits, fraction digits.
struct Decimal {
    bool negative = false;
    QString intDigits;
    QString fracDigits;
};

// Reads sign, digits, "." and digits with an optional exponent, as number-to-text of a
// floating value writes them.
std::optional<Decimal> decimalFromText(const QString& text) {
    Decimal d;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+')) d.negative = text.at(i++) == u'-';
    while (i < n && isDigit(text.at(i))) d.intDigits += text.at(i++);
    if (i < n && text.at(i) == u'.') {
        ++i;
        while (i < n && isDigit(text.at(i))) d.fracDigits += text.at(i++);
    }
    if (d.intDigits.isEmpty() && d.fracDigits.isEmpty()) return std::nullopt;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        ++i;
        bool negExp = false;
        if (i < n && (text.at(i) == u'-' || text.at(i) == u'+')) negExp = text.at(i++) == u'-';
        int exp = 0;
        bool any = false;
        while (i < n && isDigit(text.at(i))) {
            exp = std::min(exp * 10 + (text.at(i++).unicode() - u'0'), 100000);
            any = true;
        }
        if (!any || exp > 4000) return std::nullopt;
        if (negExp) {
            const QString all = d.intDigits.rightJustified(exp + 1, u'0');
            d.fracDigits = all.right(exp) + d.fracDigits;
            d.intDigits = all.left(all.size() - exp);
        } else {
            const QString frac = d.fracDigits.leftJustified(exp, u'0');
            d.intDigits += frac.left(exp);
            d.fracDigits = frac.mid(exp);
        }
    }
    if (i != n) return std::nullopt;
    return d;
}

std::optional<Decimal> decimalOf(const data::Variant& v) {
    using T = data::Variant::Type;
    switch (v.type()) {
        case T::Empty:
            return Decimal{false, QStringLiteral("0"), QString()};
        case T::Currency:
            return decimalFromText(v.toCurrency().toPlainText(QStringLiteral(".")));
        case T::Integer:
        case T::Long:
        case T::LongLong:
        case T::Boolean:
            return decimalFromText(QString::number(v.toInt64()));
        case T::Single: {
            const double d = v.toDouble();
            if (!std::isfinite(d)) return std::nullopt;
            return decimalFromText(QString::number(d, 'g', 7));
        }
        case T::Double: {
            const double d = v.toDouble();
            if (!std::isfinite(d)) return std::nullopt;
            return decimalFromText(QString::number(d, 'g', QLocale::FloatingPointShortest));
        }
        case T::String: {
            double ignored = 0;
            const QString dec = regionalDecimal();
            QString t = v.toString().trimmed();
            if (!data::parseNumber(t, ignored, dec)) return std::nullopt;
            if (dec.size() == 1 && dec != QStringLiteral(".")) t.replace(dec.at(0), u'.');
            return decimalFromText(t);
        }
        default:
            return std::nullopt;  // Null, dates, byte arrays: not a number
    }
}

// Rounded to `decimals` places, halves away from zero, as a mask format shows it; the
// fraction is padded with zeros to exactly `decimals` digits.
Decimal roundedAwayFromZero(Decimal d, int decimals) {
    bool up = false;
    if (d.fracDigits.size() > decimals) {
        up = d.fracDigits.at(decimals).unicode() >= u'5';
        d.fracDigits.truncate(decimals);
    }
    d.fracDigits = d.fracDigits.leftJustified(decimals, u'0');
    QString all = d.intDigits + d.fracDigits;
    if (up) {
        qsizetype i = all.size() - 1;
        while (i >= 0 && all.at(i) == u'9') all[i--] = u'0';
        if (i >= 0)
            all[i] = QChar(all.at(i).unicode() + 1);
        else
            all.prepend(u'1');
    }
    d.intDigits = withoutLeadingZeros(all.left(all.size() - decimals));
    d.fracDigits = all.right(decimals);
    return d;
}

}  // namespace

data::Currency EDiv::ArredondaVal(Currency curVal, std::int16_t lngCasasDec, std::int32_t lngTipo) {
    if (lngTipo == 0) return curVal;

    const i128 raw = curVal.raw();
    const FractionSplit s = splitFraction(raw);
    // A negative count of decimals is taken as none.
    const int decimals = std::clamp<int>(lngCasasDec, 0, static_cast<int>(s.digits.size()));

    // A result outside the currency range is never assigned: the member then answers what it
    // had, 0 before the rounding, the rounded amount before a step to tens.
    if (lngTipo < 5) {
        i128 r = roundMode1(raw, decimals);
        if (!fitsCurrency(r)) r = 0;
        if (lngTipo >= 2) {
            const int count = lngTipo - 1;
            const i128 step = pow10(count);
            const i128 whole = floorDiv(r, kScale);
            const i128 last = lastDigits(digitsText(whole), count);
            const i128 stepped = (2 * last < step ? whole - last : whole + step - last) * kScale;
            if (fitsCurrency(stepped)) r = stepped;
        }
        return Currency::fromRaw(static_cast<std::int64_t>(r));
    }

    const i128 kept = digitsValue(s.digits.left(decimals));
    const i128 rest = digitsValue(s.digits.mid(decimals));
    // Mode 8 and, with decimals, modes 5 to 8 and those above 12 cut; the others raise.
    const bool cutModes = lngTipo <= 8 || lngTipo > 12;
    const bool raise = !cutModes || (decimals == 0 && lngTipo != 8);
    i128 value = rebuiltValue(s.floorUnits, kept);
    if (raise && rest > 0) {
        if (digitsText(kept + 1).size() > decimals)
            value = (s.floorUnits + 1) * kScale;
        else
            value = rebuiltValue(s.floorUnits, kept + 1);
    }
    if (!fitsCurrency(value)) return Currency();

    int count = 0;
    if (lngTipo >= 6 && lngTipo <= 8 && !raise) count = lngTipo - 5;
    if (lngTipo >= 10 && lngTipo <= 12) count = lngTipo - 9;
    if (count > 0) {
        // The integer part as the text shows it: sign and the digits before the separator.
        const i128 wholeUnits = (value < 0 ? -value : value) / kScale;
        const QString integerPart = (value < 0 ? QStringLiteral("-") : QString()) + digitsText(wholeUnits);
        const i128 last = lastDigits(integerPart, count);
        // Raising adds a full step even to an exact multiple.
        const i128 stepped = cutModes ? value - last * kScale : value + (pow10(count) - last) * kScale;
        if (fitsCurrency(stepped)) value = stepped;
    }
    return Currency::fromRaw(static_cast<std::int64_t>(value));
}

QString EDiv::FDNum(Currency Numero, std::int16_t NumDec, std::int16_t /*Align*/, std::int16_t /*MCompRet*/,
                    Ref<QString> SMil, Ref<QString> SDec) {
    const LocaleRecord& loc = Locale();
    const bool negative = Numero.raw() < 0;
    // 128 bits hold the magnitude of the most negative amount and a rounding past the largest.
    const i128 magnitude = negative ? -static_cast<i128>(Numero.raw()) : static_cast<i128>(Numero.raw());
    const int decimals = std::clamp<int>(NumDec, 0, 4);

    if (SDec->isEmpty()) *SDec = loc.gstrDecSep;
    if (SMil->isEmpty()) *SMil = loc.gstrMilSep;
    if (SDec->isEmpty()) *SDec = QStringLiteral(".");
    if (SMil->isEmpty()) *SMil = QStringLiteral(",");
    if (*SMil == QStringLiteral("SSM")) *SMil = QString();

    const int group = regionalGroupSize();
    const QString regional = regionalDecimal();
    const i128 rounded = roundMode1(magnitude, decimals);

    QString decimalPart;
    if (magnitude % kScale != 0) {
        const QString text = plainText(rounded, regional);
        const qsizetype at = text.indexOf(regional);
        decimalPart = at >= 0 ? text.mid(at + regional.size()) : QString(decimals, u'0');
    }
    if (decimalPart.size() < decimals) decimalPart = decimalPart.leftJustified(decimals, u'0');
    if (!decimalPart.isEmpty()) decimalPart.prepend(*SDec);

    if (magnitude == 0) return QStringLiteral("0") + decimalPart;

    QString out = grouped(digitsText(rounded / kScale), group, *SMil) + decimalPart;
    if (negative) out.prepend(u'-');
    return out;
}

data::Currency EDiv::StrToCurr(const QString& strValue, Ref<QString> MilSep, Ref<QString> DecSep) {
    const LocaleRecord& loc = Locale();
    if (MilSep->isEmpty()) *MilSep = loc.gstrMilSep;
    if (DecSep->isEmpty()) *DecSep = loc.gstrDecSep;
    const QString& mil = *MilSep;
    const QString& dec = *DecSep;

    QString text;
    text.reserve(strValue.size());
    for (const QChar c : strValue) {
        if (mil.size() == 1 && c == mil.at(0)) continue;
        text += (dec.size() == 1 && c == dec.at(0)) ? QChar(u'.') : c;
    }
    // An amount beyond the currency range cannot be answered: overflow, as any conversion.
    const auto raw = lenientRaw(readLenient(text));
    if (!raw) platform::raiseOverflow();
    return Currency::fromRaw(static_cast<std::int64_t>(*raw));
}

QString EDiv::CurToSQL(Currency curValue) {
    // The plain text with its decimal separator written as the point SQL expects.
    return curValue.toPlainText(QStringLiteral("."));
}

QString EDiv::NumToVBNum(QString strText, std::int16_t NumCasasDec) {
    const LocaleRecord& loc = Locale();
    const QString sep = regionalDecimal();
    const qsizetype at = strText.indexOf(sep);
    const QString decimalPart =
        at >= 0 ? strText.mid(at + sep.size()) : QString(std::max<int>(NumCasasDec, 0), u'0');

    // The integer part is cut toward zero and keeps its sign: the decimals come from the text
    // itself, so a floor would turn -12.5 into -13.5 and -0,5 into 0.5.
    const LenientNumber n = readLenient(strText);
    const QString digits = withoutLeadingZeros(n.intDigits);
    const auto nonZero = [](const QString& s) {
        return std::any_of(s.begin(), s.end(), [](QChar c) { return c != u'0' && isDigit(c); });
    };
    const bool negative =
        n.negative && (digits != QStringLiteral("0") || nonZero(n.fracDigits) || nonZero(decimalPart));
    QString integerPart = (negative ? QStringLiteral("-") : QStringLiteral(" ")) + digits;
    if (loc.gstrMilSep.size() == 1) integerPart.remove(loc.gstrMilSep.at(0));
    return integerPart + u'.' + decimalPart;
}

data::Currency EDiv::Arredonda(Currency Num, std::int16_t NumCasas, Ref<std::int16_t> Comp) {
    if (*Comp == 0) *Comp = 12;
    if (NumCasas < 0 || NumCasas > 4) {
        platform::MsgBox(QString::fromUtf16(u"O Número de casas Decimais tem que ser  entre (0 e 4)"));
        return Currency();
    }
    const i128 raw = Num.raw();
    const i128 unit = pow10(4 - NumCasas);
    const i128 mag = raw < 0 ? -raw : raw;
    i128 units = mag / unit;
    if (2 * (mag % unit) >= unit) ++units;
    return currencyOrOverflow((raw < 0 ? -units : units) * unit);
}

data::Variant EDiv::ArredondaDez(Currency Numero, std::int16_t UpDown) {
    const Currency r = Arredonda(Numero, 0);
    const QString regional = regionalDecimal();
    QString s = r.toPlainText(regional);
    if (UpDown < 1) {
        s.chop(1);
        s += u'0';
    } else {
        // The tens digit goes up by one whatever it is (195 gives 1100); a missing tens digit
        // counts as 0, and the sign stays in front.
        const bool negative = s.startsWith(u'-');
        if (negative) s.remove(0, 1);
        s = s.rightJustified(2, u'0');
        const int tens = s.at(s.size() - 2).unicode() - u'0';
        s = s.left(s.size() - 2) + QString::number(tens + 1) + u'0';
        if (negative) s.prepend(u'-');
    }
    const auto back = lenientRaw(readLenient(s));
    if (!back) platform::raiseOverflow();
    return Variant(Currency::fromRaw(static_cast<std::int64_t>(*back)));
}

data::Variant EDiv::ArredondaValDecimal(Currency Valor, std::int16_t lngCasasDec, std::int32_t lngTipo) {
    if (lngTipo == 4) return Variant(Valor);
    const i128 raw = Valor.raw();
    const FractionSplit s = splitFraction(raw);
    const int decimals = std::max<int>(lngCasasDec, 0);
    if (s.digits.size() == decimals) return Variant(Valor);

    if (lngTipo == 1) return Variant(currencyOrOverflow(roundMode1(raw, decimals)));

    // The fraction digits counted from the floor are cut (down) or, when a dropped digit is not
    // zero, raised by one unit of the last kept decimal (up).
    const i128 unit = pow10(4 - std::min(decimals, 4));
    i128 result = floorDiv(raw, unit) * unit;
    if (lngTipo == 3 && result != raw) result += unit;
    return Variant(static_cast<double>(result) / static_cast<double>(kScale));
}

QString EDiv::OldFDNum(const Variant& Numero, std::int16_t NumDec, std::int16_t Align, std::int16_t /*MCompRet*/,
                       Ref<QString> SMil, Ref<QString> SDec) {
    const LocaleRecord& loc = Locale();
    const int decimals = std::max<int>(NumDec, 0);
    *SMil = loc.gstrMilSep;
    if (*SMil == QStringLiteral("EMPTY")) *SMil = QString();
    *SDec = loc.gstrDecSep;
    if (SDec->isEmpty()) *SDec = QStringLiteral(".");

    // Only the two alignments fill the result field; any other leaves nothing to return.
    if (Align != 1 && Align != 2) return QString();
    const auto number = decimalOf(Numero);
    if (!number) return QString();

    const Decimal d = roundedAwayFromZero(*number, decimals);
    const bool zero = d.intDigits == QStringLiteral("0") &&
                      std::all_of(d.fracDigits.begin(), d.fracDigits.end(), [](QChar c) { return c == u'0'; });
    QString out = grouped(d.intDigits, regionalGroupSize(), *SMil);
    if (d.negative && !zero) out.prepend(u'-');
    if (decimals > 0) out += *SDec + d.fracDigits;
    // The 18-character field keeps the leftmost characters of a longer text.
    return trimBlanks(out.left(18));
}
