// Date-time texts as SQL Server reads them under the default language (us_english, month
// before day): the forms it reads whatever the language ('yyyymmdd', ISO 8601 with its 'T',
// 'yyyy-mm-dd'), the numeric forms with '/', '-' or '.' in month-day-year order, and month
// names ('Jan 5 2017', '5 January 2017'), each with an optional time.
#include <QRegularExpression>
#include <cmath>

#include "data/embedded/translate/sqltype.h"

namespace data::embedded {

namespace {

int monthByName(const QString& name) {
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    const QString l = name.toLower();
    if (l.size() < 3) return 0;
    static const char* const full[] = {"january", "february", "march",     "april",   "may",      "june",
                                       "july",    "august",   "september", "october", "november", "december"};
    for (int m = 0; m < 12; ++m) {
        if (l == QLatin1String(months[m]) || l == QLatin1String(full[m])) return m + 1;
    }
    return 0;
}

int fullYear(const QString& digits) {
    const int y = digits.toInt();
    if (digits.size() > 2) return y;
    return y < 50 ? 2000 + y : 1900 + y;  // the two-digit year cutoff 2049
}

struct Parts {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    double millis = 0.0;
};

// The time part: h:mm[:ss[.fraction | :milliseconds]] [AM|PM], or h AM|PM. False when it is
// none; error 241 too when its fraction has more digits than datetime keeps.
bool readTime(const QString& text, Parts& p) {
    static const QRegularExpression re(QStringLiteral(
        "^(\\d{1,2})(?::(\\d{1,2})(?::(\\d{1,2})(?:([.:])(\\d{1,3}))?)?)?\\s*([AaPp][Mm])?Z?$"));
    const auto m = re.match(text);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(6).isEmpty())) return false;
    p.hour = m.captured(1).toInt();
    p.minute = m.captured(2).toInt();
    p.second = m.captured(3).toInt();
    const QString fraction = m.captured(5);
    if (!fraction.isEmpty()) {
        p.millis = m.captured(4) == u":" ? fraction.toDouble() : (fraction + QStringLiteral("00")).left(3).toDouble();
    }
    if (!m.captured(6).isEmpty()) {
        if (p.hour < 1 || p.hour > 12) return false;
        const bool pm = m.captured(6).startsWith(u'p', Qt::CaseInsensitive);
        p.hour = (p.hour % 12) + (pm ? 12 : 0);
    }
    return p.hour < 24 && p.minute < 60 && p.second < 60;
}

// The date part; false when the text is none of the forms.
bool readDate(const QString& text, Parts& p) {
    static const QRegularExpression unseparated(QStringLiteral("^(\\d{4}|\\d{2})(\\d{2})(\\d{2})$"));
    static const QRegularExpression yearFirst(QStringLiteral("^(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})$"));
    static const QRegularExpression monthFirst(QStringLiteral("^(\\d{1,2})([-/.])(\\d{1,2})\\2(\\d{4}|\\d{2})$"));
    static const QRegularExpression named(
        QStringLiteral("^([A-Za-z]+)\\.?\\s*(\\d{1,2})?,?\\s*(\\d{4})$|^(\\d{1,2})\\s*([A-Za-z]+)\\.?,?\\s*(\\d{4}|\\d{2})$"));
    QRegularExpressionMatch m;
    if ((m = unseparated.match(text)).hasMatch()) {
        p.year = fullYear(m.captured(1));
        p.month = m.captured(2).toInt();
        p.day = m.captured(3).toInt();
        return true;
    }
    if ((m = yearFirst.match(text)).hasMatch()) {
        p.year = m.captured(1).toInt();
        p.month = m.captured(3).toInt();
        p.day = m.captured(4).toInt();
        return true;
    }
    if ((m = monthFirst.match(text)).hasMatch()) {
        p.month = m.captured(1).toInt();
        p.day = m.captured(3).toInt();
        p.year = fullYear(m.captured(4));
        return true;
    }
    if ((m = named.match(text)).hasMatch()) {
        const bool monthFirstForm = !m.captured(1).isEmpty();
        p.month = monthByName(monthFirstForm ? m.captured(1) : m.captured(5));
        p.day = monthFirstForm ? (m.captured(2).isEmpty() ? 1 : m.captured(2).toInt()) : m.captured(4).toInt();
        p.year = fullYear(monthFirstForm ? m.captured(3) : m.captured(6));
        return p.month != 0;
    }
    return false;
}

}  // namespace

int readDateTimeText(const QString& input, bool small, QDateTime& out) {
    const QString text = input.trimmed();
    Parts p;
    bool ok = text.isEmpty();
    if (!ok) {
        // The date and the time, split at the first blank (or ISO 8601's 'T'); a time alone
        // falls on 1900-01-01.
        static const QRegularExpression split(QStringLiteral("^([A-Za-z]+\\.?\\s+\\d{1,2},?\\s+\\d{2,4}|\\d{1,2}\\s+[A-Za-z]+\\.?,?\\s+\\d{2,4}|\\S+?)(?:(?:\\s+|(?<=\\d)T)(.+))?$"));
        const auto m = split.match(text);
        if (readTime(text, p)) {
            ok = true;
        } else if (m.hasMatch() && readDate(m.captured(1), p)) {
            ok = m.captured(2).isEmpty() || readTime(m.captured(2).trimmed(), p);
        } else if (readDate(text, p)) {
            ok = true;
        }
    }
    if (!ok) return 241;
    const QDate date(p.year, p.month, p.day);
    if (!date.isValid()) return 242;
    // datetime keeps time in 1/300 seconds: .001 reads as .000, .002 as .003, .005 as .007.
    const qint64 ticks = std::llround(p.millis * 0.3);
    QDateTime d(date, QTime(p.hour, p.minute, p.second), Qt::UTC);
    d = d.addMSecs(std::llround(static_cast<double>(ticks) * 10.0 / 3.0));
    if (small) {
        const qint64 ms = d.time().msecsSinceStartOfDay() % 60000;
        d = d.addMSecs(ms >= 29999 ? 60000 - ms : -ms);
        if (d.date() < QDate(1900, 1, 1) || d > QDateTime(QDate(2079, 6, 6), QTime(23, 59), Qt::UTC)) return 242;
    } else if (d.date().year() < 1753 || d.date().year() > 9999) {
        return 242;
    }
    out = d;
    return 0;
}

}  // namespace data::embedded
