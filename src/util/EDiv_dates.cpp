// Date members of EDiv.
//
// The screens and the runs speak two date texts: the user's regional short date (Locale's
// gstrFormatoData with gstrDataSep between the parts) and the sortable year-month-day text.
// PData and FormataData move typed or printed dates into the sortable text; the helpers below
// give the date values in between (reading a date text, adding intervals, printing the regional
// short date) the rules of the system's date type: years 100 to 9999, month arithmetic clamped
// to the last day of the month, a text that names no date is a type mismatch.

#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/text.h"
#include "util/Locale.h"

namespace {

using data::Variant;

using util::trimBlanks;

// Mid with 1-based start: a start before the first character or a negative length is the
// invalid-call error; past the end reads as empty.
QString midText(const QString& s, qsizetype start, qsizetype length) {
    if (start < 1 || length < 0) platform::raiseInvalidCall();
    if (start > s.size()) return QString();
    return s.mid(start - 1, length);
}

// Mid as a statement: writes `repl` over `target` from `start`, never growing the text.
void overwriteText(QString& target, qsizetype start, qsizetype length, const QString& repl) {
    if (start < 1 || start > target.size() || length < 0) platform::raiseInvalidCall();
    const qsizetype n = std::min({length, repl.size(), target.size() - start + 1});
    for (qsizetype k = 0; k < n; ++k) target[start - 1 + k] = repl.at(k);
}

QString pad2(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

bool allDigits(const QString& s) {
    if (s.isEmpty()) return false;
    for (const QChar c : s)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// A part of digits only, read as a number; leading zeros do not count toward its size.
bool digitsValue(const QString& s, long long& out) {
    if (!allDigits(s)) return false;
    qsizetype k = 0;
    while (k < s.size() - 1 && s.at(k) == u'0') ++k;
    if (s.size() - k > 9) return false;
    out = s.mid(k).toLongLong();
    return true;
}

// The day exists in its month, in a year the date type can hold (100 to 9999): a two-digit
// year padded to 0024 is refused rather than stored as the first century.
bool isCalendarDate(const QString& y, const QString& m, const QString& d) {
    long long yy = 0;
    long long mm = 0;
    long long dd = 0;
    if (!digitsValue(y, yy) || !digitsValue(m, mm) || !digitsValue(d, dd)) return false;
    if (yy < 100 || yy > 9999 || mm > 12 || dd > 31) return false;
    return QDate(static_cast<int>(yy), static_cast<int>(mm), static_cast<int>(dd)).isValid();
}

bool inDateRange(const QDate& d) { return d.isValid() && d.year() >= 100 && d.year() <= 9999; }

// The regional format's letter for one character: 'D', 'M' or 'Y' ("a" is the year of the
// Portuguese formats), or 0 for a literal.
char formatLetter(QChar c) {
    switch (c.toUpper().unicode()) {
        case u'D': return 'D';
        case u'M': return 'M';
        case u'Y':
        case u'A': return 'Y';
        default: return 0;
    }
}

// The date as the regional short date. Literal runs between the parts are written as the
// regional date separator (the platform rewrites the short date when the separator changes);
// an empty format prints the sortable text, which FormataData reads with its own default.
QString formatShortDate(const QDate& date, EDiv& e) {
    const LocaleRecord& loc = Locale();
    QString fmt = loc.gstrFormatoData;
    if (trimBlanks(fmt).isEmpty()) fmt = QStringLiteral("yyyy-MM-dd");
    QString out;
    QString pendingLiteral;
    bool anyToken = false;
    qsizetype i = 0;
    while (i < fmt.size()) {
        const QChar c = fmt.at(i);
        if (c == u'\'') {  // quoted text is copied as it stands
            qsizetype j = fmt.indexOf(u'\'', i + 1);
            if (j < 0) j = fmt.size();
            out += pendingLiteral + fmt.mid(i + 1, j - i - 1);
            pendingLiteral.clear();
            i = j + 1;
            continue;
        }
        const char letter = formatLetter(c);
        if (!letter) {
            pendingLiteral += c;
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < fmt.size() && formatLetter(fmt.at(j)) == letter) ++j;
        const qsizetype run = j - i;
        if (!pendingLiteral.isEmpty()) {
            out += (anyToken && !loc.gstrDataSep.isEmpty()) ? loc.gstrDataSep : pendingLiteral;
            pendingLiteral.clear();
        }
        switch (letter) {
            case 'D':
                if (run == 1) out += QString::number(date.day());
                else if (run == 2) out += pad2(date.day());
                else out += e.Dias(static_cast<std::int16_t>(date.dayOfWeek()), run >= 4);
                break;
            case 'M':
                if (run == 1) out += QString::number(date.month());
                else if (run == 2) out += pad2(date.month());
                else out += e.meses(static_cast<std::int16_t>(date.month()), run >= 4);
                break;
            default:
                if (run == 1) out += QString::number(date.year() % 100);
                else if (run == 2) out += pad2(date.year() % 100);
                else out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
                break;
        }
        anyToken = true;
        i = j;
    }
    return out + pendingLiteral;
}

// The regional order with "A" read as the year, e.g. "DMY".
QString normalisedOrder(EDiv& e) {
    QString order = e.CreateStrPos();
    order.replace(u'A', u'Y');
    return order;
}

bool isPermutationOfDMY(const QString& order) {
    return order.size() == 3 && order.contains(u'D') && order.contains(u'M') && order.contains(u'Y');
}

int expandYear(const QString& digits) {
    const int v = digits.toInt();
    if (digits.size() <= 2) return v < 30 ? 2000 + v : 1900 + v;
    return v;
}

// A time of day "h:m[:s]".
std::optional<QTime> readTime(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).isEmpty() ? 0 : m.captured(3).toInt());
    if (!t.isValid()) return std::nullopt;
    return t;
}

// The date part of a date text: two or three numbers with date separators between them. A
// first number of three or more digits is the year of a sortable text; otherwise the parts
// follow the regional order (two numbers are the day and month of this year).
std::optional<QDate> readDatePart(const QString& text, EDiv& e) {
    const QString sep = Locale().gstrDataSep;
    auto isSep = [&](QChar c) {
        return c == u'-' || c == u'/' || c == u'.' || c == u',' || (sep.size() == 1 && c == sep.at(0));
    };
    // number (separator number)*, blanks allowed around the separators and as one.
    QStringList nums;
    qsizetype i = 0;
    const qsizetype n = text.size();
    for (;;) {
        while (i < n && text.at(i) == u' ') ++i;
        const qsizetype start = i;
        while (i < n && text.at(i) >= u'0' && text.at(i) <= u'9') ++i;
        if (i == start) return std::nullopt;
        nums << text.mid(start, i - start);
        const qsizetype afterNumber = i;
        while (i < n && text.at(i) == u' ') ++i;
        if (i == n) break;
        if (isSep(text.at(i))) ++i;
        else if (i == afterNumber) return std::nullopt;
        if (nums.size() > 3) return std::nullopt;
    }
    for (const QString& num : nums)
        if (num.size() > 4) return std::nullopt;

    QString order = normalisedOrder(e);
    if (!isPermutationOfDMY(order)) order = QStringLiteral("DMY");
    auto tryMake = [](int y, int m, int d) -> std::optional<QDate> {
        const QDate q(y, m, d);
        if (inDateRange(q)) return q;
        return std::nullopt;
    };

    if (nums.size() == 3) {
        if (nums[0].size() >= 3) {
            const int y = expandYear(nums[0]);
            if (auto q = tryMake(y, nums[1].toInt(), nums[2].toInt())) return q;
            // Only a year-day-month region writes the day second.
            if (order == u"YDM") return tryMake(y, nums[2].toInt(), nums[1].toInt());
            return std::nullopt;
        }
        const int y = expandYear(nums[order.indexOf(u'Y')]);
        const int m = nums[order.indexOf(u'M')].toInt();
        const int d = nums[order.indexOf(u'D')].toInt();
        return tryMake(y, m, d);
    }
    if (nums.size() == 2) {
        if (nums[0].size() >= 3) return tryMake(expandYear(nums[0]), nums[1].toInt(), 1);
        if (nums[1].size() >= 3) return tryMake(expandYear(nums[1]), nums[0].toInt(), 1);
        const bool dayFirst = order.indexOf(u'D') < order.indexOf(u'M');
        const int d = nums[dayFirst ? 0 : 1].toInt();
        const int m = nums[dayFirst ? 1 : 0].toInt();
        return tryMake(platform::today().year(), m, d);
    }
    return std::nullopt;
}

// A serial date number: whole days from 30 December 1899, the fraction the time of day.
QDateTime fromSerial(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 3.0e6) platform::raiseOverflow();
    const double whole = std::trunc(v);
    const QDate d = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    if (!inDateRange(d)) platform::raiseOverflow();
    const qint64 ms = std::llround(std::fabs(v - whole) * 86400000.0);
    return QDateTime(d, QTime(0, 0), Qt::UTC).addMSecs(std::min<qint64>(ms, 86399999));
}

// A value as the system's date type: a date stays, a number is a serial date, a text must name
// a date (the sortable text, the regional short date, with an optional time of day).
QDateTime toDateValue(const Variant& v, EDiv& e) {
    if (v.isDate()) return v.toDateTime();
    if (v.isNull()) (void)v.toString();  // invalid use of Null
    if (v.isEmpty()) return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    if (!v.isString()) {
        if (v.isNumber() && v.type() != Variant::Type::Boolean) return fromSerial(v.toDouble());
        platform::raiseTypeMismatch();
    }
    const QString t = v.toString().trimmed();
    if (t.isEmpty() || t.size() > 64) platform::raiseTypeMismatch();

    // "2024-03-15T10:30:00" and the like.
    QString datePart = t;
    std::optional<QTime> time;
    const qsizetype colon = t.indexOf(u':');
    if (colon >= 0) {
        qsizetype startOfTime = colon;
        while (startOfTime > 0 && t.at(startOfTime - 1).isDigit()) --startOfTime;
        time = readTime(t.mid(startOfTime));
        if (!time) platform::raiseTypeMismatch();
        datePart = t.left(startOfTime);
        if (datePart.endsWith(u'T')) datePart.chop(1);
        datePart = datePart.trimmed();
        if (datePart.isEmpty()) return QDateTime(QDate(1899, 12, 30), *time, Qt::UTC);
    }
    const auto d = readDatePart(datePart, e);
    if (!d) platform::raiseTypeMismatch();
    return QDateTime(*d, time.value_or(QTime(0, 0)), Qt::UTC);
}

// Adds `number` intervals (fraction ignored) of one of the platform's interval codes.
QDateTime addInterval(const QString& interval, double number, const QDateTime& from) {
    if (!std::isfinite(number) || std::fabs(number) > 1.0e12) platform::raiseInvalidCall();
    const qint64 n = static_cast<qint64>(std::trunc(number));
    const QString code = interval.toLower();
    QDateTime r;
    auto months = [&](qint64 k) {
        if (std::llabs(k) > 200000) platform::raiseInvalidCall();
        return from.addMonths(static_cast<int>(k));  // clamps to the month's last day
    };
    if (code == u"yyyy") r = months(n * 12);
    else if (code == u"q") r = months(n * 3);
    else if (code == u"m") r = months(n);
    else if (code == u"y" || code == u"d" || code == u"w") r = from.addDays(n);
    else if (code == u"ww") r = from.addDays(n * 7);
    else if (code == u"h") r = from.addSecs(n * 3600);
    else if (code == u"n") r = from.addSecs(n * 60);
    else if (code == u"s") r = from.addSecs(n);
    else platform::raiseInvalidCall();
    if (!inDateRange(r.date())) platform::raiseInvalidCall();
    return r;
}

std::int32_t roundHalfEvenToInt32(double v) {
    const double fl = std::floor(v);
    const double diff = v - fl;
    double r = fl;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(fl, 2.0) != 0.0)) r = fl + 1.0;
    return static_cast<std::int32_t>(r);
}

const char16_t* const kMonthsFull[] = {u"Janeiro", u"Fevereiro", u"Março",    u"Abril",   u"Maio",     u"Junho",
                                       u"Julho",   u"Agosto",    u"Setembro", u"Outubro", u"Novembro", u"Dezembro"};
const char16_t* const kMonthsShort[] = {u"Jan", u"Fev", u"Mar", u"Abr", u"Mai", u"Jun",
                                        u"Jul", u"Ago", u"Set", u"Out", u"Nov", u"Dez"};
const char16_t* const kDaysFull[] = {u"Segunda Feira", u"Terça Feira", u"Quarta Feira", u"Quinta Feira",
                                     u"Sexta Feira",   u"Sábado",      u"Domingo"};
const char16_t* const kDaysShort[] = {u"Seg", u"Ter", u"Qua", u"Qui", u"Sex", u"Sáb", u"Dom"};

}  // namespace

QString EDiv::CreateStrPos() {
    const LocaleRecord& loc = Locale();
    const QString& fmt = loc.gstrFormatoData;
    if (fmt.isEmpty()) return QString();
    QString result = fmt.left(1);
    QString last = result;
    for (const QChar c : fmt) {
        const QString ch(c);
        if (ch == loc.gstrDataSep) continue;
        if (ch != last) {
            last = trimBlanks(ch);
            result += last;
        }
    }
    return result.toUpper();
}

QString EDiv::PData(const QString& strData) {
    // Every step goes on past its own run-time errors; the only answers to the user are the two
    // messages below, after which the caller gets the empty text ("no date").
    pdataParts_.fill(QString());
    pdataMarks_.fill(QString());
    if (trimBlanks(strData).isEmpty()) return QString();

    const LocaleRecord& loc = Locale();
    QString order;
    try {
        order = CreateStrPos();
    } catch (const platform::RuntimeError&) {
    }

    std::int16_t seps = 0;
    try {
        seps = ContaCHR(strData, loc.gstrDataSep);
    } catch (const platform::RuntimeError&) {
    }

    if (seps >= 1) {
        std::vector<Variant> parts;
        try {
            StripString(strData, loc.gstrDataSep, parts);
        } catch (const platform::RuntimeError&) {
        }
        if (parts.empty() || (parts.size() == 1 && trimBlanks(parts[0].toString()).isEmpty())) return QString();
        for (std::size_t i = 0; i < 3 && i < parts.size(); ++i) pdataParts_[i] = parts[i].toString();
    } else {
        // Typed without separators: the parts stand at fixed places. The month-first order reads
        // like the day-first one (both end with the four-digit year).
        QString layout = order;
        layout.replace(u'A', u'Y');
        auto read = [&](qsizetype a, qsizetype na, qsizetype b, qsizetype nb, qsizetype c, qsizetype nc) {
            pdataParts_[0] = trimBlanks(midText(strData, a, na));
            pdataParts_[1] = trimBlanks(midText(strData, b, nb));
            pdataParts_[2] = trimBlanks(midText(strData, c, nc));
        };
        if (layout == u"YMD" || layout == u"YDM") read(1, 4, 5, 2, 7, 2);
        else if (layout == u"DYM" || layout == u"MYD") read(1, 2, 3, 4, 7, 2);
        else if (layout == u"DMY" || layout == u"MDY") read(1, 2, 3, 2, 5, 4);
    }

    const QDate today = platform::today();
    auto fill = [&](std::size_t i, int width, int todayValue, const char* mark) {
        try {
            const QString part = trimBlanks(pdataParts_[i]).isEmpty() ? QString::number(todayValue) : pdataParts_[i];
            pdataParts_[i] = Zerar(part, static_cast<std::int16_t>(width));
        } catch (const platform::RuntimeError&) {
        }
        pdataMarks_[i] = QString::fromLatin1(mark);
    };
    for (qsizetype i = 0; i < order.size() && i < 3; ++i) {
        const QChar letter = order.at(i);
        const auto idx = static_cast<std::size_t>(i);
        if (letter == u'D') fill(idx, 2, today.day(), "D");
        else if (letter == u'M') fill(idx, 2, today.month(), "M");
        else if (letter == u'Y' || letter == u'A') fill(idx, 4, today.year(), "Y");
    }

    for (std::size_t i = 0; i < 3; ++i) {
        const double v = data::leadingNumber(pdataParts_[i]);
        const QString& mark = pdataMarks_[i];
        const bool bad = (mark == u"D" && (v < 1 || v > 31)) || (mark == u"M" && (v < 1 || v > 12)) ||
                         (mark == u"Y" && v == 0);
        if (bad) {
            platform::MsgBox(QStringLiteral("Data Inválida de Acordo com o formato de data existente no  Painel de "
                                            "Control (") +
                                 loc.gstrFormatoData + QStringLiteral(")"),
                             platform::mb::Critical);
            return QString();
        }
    }

    auto partMarked = [&](const char* mark) {
        for (std::size_t i = 0; i < 3; ++i)
            if (pdataMarks_[i] == QLatin1String(mark)) return pdataParts_[i];
        return QString();
    };
    const QString y = partMarked("Y");
    const QString m = partMarked("M");
    const QString d = partMarked("D");
    const QString result = y + loc.gstrDataSep + m + loc.gstrDataSep + d;
    if (isCalendarDate(y, m, d)) return result;
    platform::MsgBox(QStringLiteral("Data Invalida") + QChar(u'\r') + result, platform::mb::Critical);
    return QString();
}

QString EDiv::GData(const Variant& strData) {
    try {
        if (strData.isEmpty() || strData.isNull()) return QString();
        if (strData.isString()) {
            // A numeric text is a serial date, as the platform's formatting reads it.
            double serial = 0;
            if (data::parseNumber(strData.toString(), serial)) return formatShortDate(fromSerial(serial).date(), *this);
        }
        return formatShortDate(toDateValue(strData, *this).date(), *this);
    } catch (const std::exception&) {
        return QString();
    }
}

bool EDiv::FormataData(const QString& strData, Ref<QString> strFormatoO, QString& strDataTrocada,
                       QString& strDataCerta) {
    if (trimBlanks(strData).isEmpty()) {
        strDataTrocada.clear();
        strDataCerta.clear();
        return true;
    }
    const LocaleRecord& loc = Locale();
    if (strFormatoO->isEmpty()) *strFormatoO = loc.gstrFormatoData;
    if (loc.gstrFormatoData.isEmpty()) *strFormatoO = QStringLiteral("yyyy-mm-dd");
    const QString fmt = *strFormatoO;
    const QString upper = fmt.toUpper();

    // The Portuguese formats write the year with "a": without any "y" those letters are the year.
    QString yearLetter = QStringLiteral("y");
    if (!upper.contains(u'Y') && upper.contains(u'A')) yearLetter = QStringLiteral("a");
    const qsizetype posY = upper.indexOf(yearLetter.toUpper()) + 1;
    const qsizetype posM = upper.indexOf(u'M') + 1;
    const qsizetype posD = upper.indexOf(u'D') + 1;
    const qsizetype cntY = ContaCHR(fmt, yearLetter);
    const qsizetype cntM = ContaCHR(fmt, QStringLiteral("m"));
    const qsizetype cntD = ContaCHR(fmt, QStringLiteral("d"));

    const QDate today = platform::today();
    const QString thisYear = QString::number(today.year());
    const QString thisMonth = QString::number(today.month());
    auto val = [](const QString& s) { return data::leadingNumber(s); };

    QString day;
    QString month;
    QString year;
    switch (strData.size()) {
        case 10:
            day = midText(strData, posD, cntD);
            month = midText(strData, posM, cntM);
            year = midText(strData, posY, cntY);
            break;
        case 8: {
            // Typed without its separators: each part moves left by the separators before it.
            auto packed = [&](qsizetype pos) {
                if (pos < 1) return pos;
                qsizetype literals = 0;
                for (qsizetype k = 0; k < pos - 1 && k < fmt.size(); ++k)
                    if (!formatLetter(fmt.at(k))) ++literals;
                return pos - literals;
            };
            day = midText(strData, packed(posD), cntD);
            month = midText(strData, packed(posM), cntM);
            year = midText(strData, packed(posY), cntY);
            break;
        }
        case 4:
            day = strData.mid(0, 2);
            month = strData.mid(2, 2);
            year = thisYear;
            break;
        case 3:
            day = val(strData.mid(0, 2)) <= 31 ? strData.mid(0, 2) : strData.mid(0, 1);
            month = val(strData.mid(0, 2)) <= 31 ? strData.mid(2, 1) : strData.mid(1, 2);
            year = thisYear;
            break;
        case 2:
            day = val(strData) <= 31 ? strData : strData.mid(0, 1);
            month = val(strData) <= 31 ? thisMonth : strData.mid(1, 1);
            year = thisYear;
            break;
        case 1:
            day = strData;
            month = thisMonth;
            year = thisYear;
            break;
        default:
            break;
    }

    if (val(month) < 1 || val(month) > 12 || val(day) < 1 || val(day) > 31 || val(year) < 1900) return false;
    day = Zerar(day, std::int16_t{2});
    month = Zerar(month, std::int16_t{2});
    if (!isCalendarDate(year, month, day)) return false;

    strDataCerta = year + QStringLiteral("-") + month + QStringLiteral("-") + day;
    QString swapped = fmt;
    overwriteText(swapped, posD, cntD, day);
    overwriteText(swapped, posM, cntM, month);
    overwriteText(swapped, posY, cntY, year);
    strDataTrocada = swapped;
    return true;
}

QString EDiv::DataAdd(const QString& Interval, const Variant& nDias, const QString& strData) {
    const double n = nDias.toDouble();
    const QDateTime moved = addInterval(Interval, n, toDateValue(Variant(strData), *this));
    QString format = Locale().gstrFormatoData;
    QString swapped;
    QString certa;
    if (FormataData(formatShortDate(moved.date(), *this), format, swapped, certa)) return certa;
    platform::MsgBox(QStringLiteral("Erro Interno ( DataAdd )"), platform::mb::OKOnly);
    return strData;
}

QString EDiv::GetDate() {
    QString format = Locale().gstrFormatoData;
    QString swapped;
    QString certa;
    if (FormataData(formatShortDate(platform::today(), *this), format, swapped, certa)) return certa;
    platform::MsgBox(QStringLiteral("Erro Interno ( GetDate )"), platform::mb::OKOnly);
    return QString();
}

void EDiv::DivideDiasMesesAnos(const QString& strDataAMD1, const Variant& strDataAMD2, Currency& Anos,
                               Currency& meses, Currency& Dias) {
    if (strDataAMD1.isEmpty()) return;
    if (strDataAMD2.isEmpty()) return;
    const QString until = strDataAMD2.toString();
    if (until.isEmpty()) return;

    const QString sep = Locale().gstrDataSep;
    QDateTime running = toDateValue(Variant(strDataAMD1), *this);
    // The running date is kept as a value: printing it as the regional short date and reading
    // it back names the same day.
    auto count = [&](const QString& interval) {
        std::int64_t n = 0;
        for (;;) {
            QDateTime next;
            try {
                next = addInterval(interval, 1, running);
            } catch (const platform::RuntimeError&) {
                break;  // past the last day a date can have: after any second date
            }
            const QDate d = next.date();
            const QString candidate = QString::number(d.year()) + sep + pad2(d.month()) + sep + pad2(d.day());
            if (candidate > until) break;
            running = next;
            ++n;
        }
        return n;
    };
    const std::int64_t years = count(QStringLiteral("yyyy"));
    const std::int64_t months = count(QStringLiteral("m"));
    const std::int64_t days = count(QStringLiteral("d"));
    Anos = Currency::fromUnits(years);
    meses = Currency::fromUnits(months);
    Dias = Currency::fromUnits(days);
}

QString EDiv::DataExtenso(const QString& DataAMD) {
    const QString t = trimBlanks(DataAMD);
    if (t.size() != 10) return QString();
    const std::int16_t month = Variant(t.mid(5, 2)).toInt16();
    return t.right(2) + QStringLiteral(" de ") + meses(month, true) + QStringLiteral(" de ") + t.left(4);
}

void EDiv::GetDataIniFimParaMovs(QString& ByRefDataIni, QString& ByRefDataFim, QString Ano, QString Mes) {
    if (Ano.isEmpty()) Ano = gstrAno();
    if (!Mes.isEmpty()) Mes = Zerar(Mes, std::int16_t{2});
    else Mes = gstrMes();
    ByRefDataIni = Ano + QStringLiteral("-") + Mes + QStringLiteral("-01");
    // The last day of December 9999 is still a date even though the first of the next month is not.
    const QDate lastDay = toDateValue(Variant(ByRefDataIni), *this).date().addMonths(1).addDays(-1);
    if (!inDateRange(lastDay)) platform::raiseInvalidCall();
    ByRefDataFim = PData(formatShortDate(lastDay, *this));
}

QString EDiv::meses(std::int16_t Index, bool Completo) {
    if (Index >= 1 && Index <= 12) {
        const auto k = static_cast<std::size_t>(Index - 1);
        return QString::fromUtf16(Completo ? kMonthsFull[k] : kMonthsShort[k]);
    }
    return QString::number(Index) + QStringLiteral(" - Não Defenido");
}

QString EDiv::Dias(std::int16_t Index, bool Completo) {
    if (Index >= 1 && Index <= 7) {
        const auto k = static_cast<std::size_t>(Index - 1);
        return QString::fromUtf16(Completo ? kDaysFull[k] : kDaysShort[k]);
    }
    return QString::number(Index) + QStringLiteral(" - Não Defenido");
}

QString EDiv::MesesStr(std::int16_t Mes) {
    if (Mes < 1 || Mes > 12) platform::raiseSubscript();
    return mesesTabela_[static_cast<std::size_t>(Mes)];
}

std::int32_t EDiv::DataToMinutes(const Variant& mdata) {
    const QTime t = toDateValue(mdata, *this).time();
    return t.hour() * 60 + t.minute();
}

std::int32_t EDiv::ConvertDaysToOther(std::int32_t NumDays, QString ToUnit) {
    const QString unit = ToUnit.toUpper();
    if (unit == u"A") return roundHalfEvenToInt32(NumDays / 365.0);
    if (unit == u"M") return roundHalfEvenToInt32(NumDays / 31.0);
    if (unit == u"D") return NumDays;
    return 0;
}

std::int32_t EDiv::ConvertOtherToDays(std::int32_t Other, QString Unit) {
    const QString unit = Unit.toUpper();
    std::int64_t days = 0;
    if (unit == u"A") days = static_cast<std::int64_t>(Other) * 365;
    else if (unit == u"M") days = static_cast<std::int64_t>(Other) * 31;
    else if (unit == u"D") days = Other;
    if (days > std::numeric_limits<std::int32_t>::max() || days < std::numeric_limits<std::int32_t>::min())
        platform::raiseOverflow();
    return static_cast<std::int32_t>(days);
}
