#include "platform/regional.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <mutex>

#include "platform/profile.h"
#include "platform/win1252.h"

namespace platform {

namespace {

const QString kSection = QStringLiteral("International");

struct Setting {
    int code;
    const char* key;
    qsizetype maxLength;
};

// Key names and the longest text each setting takes (its buffer less the terminating NUL).
constexpr Setting kSettings[] = {
    {lc::DecimalSeparator, "sDecimal", 3}, {lc::ThousandSeparator, "sThousand", 3},
    {lc::Grouping, "sGrouping", 9},        {lc::DateSeparator, "sDate", 3},
    {lc::TimeSeparator, "sTime", 3},       {lc::ShortDate, "sShortDate", 79},
};

const Setting* settingOf(int code) {
    for (const Setting& s : kSettings) {
        if (s.code == code) return &s;
    }
    return nullptr;
}

struct Store {
    std::mutex lock;
    QString overridePath;
    bool loaded = false;
    QMap<int, QString> values;
};

Store& store() {
    static Store s;
    return s;
}

QString pathOf(const Store& s) {
    if (!s.overridePath.isEmpty()) return s.overridePath;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velmora/regional.ini");
}

// The text as the single-byte store holds it (the file's writer turns line breaks into blanks).
QString asStored(const QString& value) {
    QString stored = fromAnsi(toAnsi(value));
    for (QChar& c : stored) {
        if (c == u'\r' || c == u'\n' || c == u'\0') c = u' ';
    }
    return stored;
}

bool writeValue(const QString& path, const Setting& setting, const QString& value) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return false;
    // Quoted, so that blanks (a blank thousands separator) survive the reader's trimming.
    return WritePrivateProfileString(kSection, QString::fromLatin1(setting.key), u'"' + value + u'"', path);
}

void loadLocked(Store& s) {
    if (s.loaded) return;
    const QString path = pathOf(s);
    QMap<int, QString> seed;
    for (const Setting& setting : kSettings) {
        std::optional<QString> v = privateProfileValue(kSection, QString::fromLatin1(setting.key), path);
        if (!v) {
            if (seed.isEmpty()) seed = regionalSeed(QLocale::system());
            v = seed.value(setting.code);
            // The store works from memory even where the file cannot be written.
            writeValue(path, setting, *v);
        }
        s.values.insert(setting.code, *v);
    }
    s.loaded = true;
}

// A separator of a seed, or the fallback when the code page lacks it. Space-like separators
// (narrow or thin no-break spaces) become the no-break space the code page has.
QString seedSeparator(const QString& text, const QString& fallback) {
    QString out;
    for (const QChar c : text) {
        if (inCodePage(c)) {
            out += c;
        } else if (c.category() == QChar::Separator_Space) {
            out += QChar(0x00A0);
        } else {
            return fallback;
        }
    }
    if (out.isEmpty() || out.size() > 3) return fallback;
    return out;
}

QString groupingOf(const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(QLocale::DefaultNumberOptions);
    const QString sep = l.groupSeparator();
    if (sep.isEmpty()) return QStringLiteral("3;0");
    const QStringList parts = l.toString(1234567890123LL).split(sep);
    if (parts.size() < 2) return QStringLiteral("3;0");
    const auto digits = [](const QString& s) { return s.toUcs4().size(); };
    const qsizetype primary = digits(parts.at(parts.size() - 1));
    if (primary < 1 || primary > 9) return QStringLiteral("3;0");
    if (parts.size() >= 3) {
        const qsizetype secondary = digits(parts.at(parts.size() - 2));
        if (secondary != primary && secondary >= 1 && secondary <= 9) {
            return QStringLiteral("%1;%2;0").arg(primary).arg(secondary);
        }
    }
    return QStringLiteral("%1;0").arg(primary);
}

// A Qt date format in Windows letters: both use d, M and y and quote literals with
// apostrophes, so only characters the code page lacks (direction marks, other scripts) go.
QString windowsDateFormat(const QString& qtFormat) {
    QString out;
    for (qsizetype i = 0; i < qtFormat.size(); ++i) {
        const QChar c = qtFormat.at(i);
        if (c != u'\'') {
            if (inCodePage(c)) out += c;
            continue;
        }
        // A quoted literal; '' inside it (or on its own) is an apostrophe.
        qsizetype j = i + 1;
        QString inner;
        bool hadInner = false;
        while (j < qtFormat.size()) {
            if (qtFormat.at(j) == u'\'') {
                if (j + 1 < qtFormat.size() && qtFormat.at(j + 1) == u'\'') {
                    inner += QStringLiteral("''");
                    hadInner = true;
                    j += 2;
                    continue;
                }
                break;
            }
            hadInner = true;
            if (inCodePage(qtFormat.at(j))) inner += qtFormat.at(j);
            ++j;
        }
        if (!inner.isEmpty() || !hadInner) out += u'\'' + inner + u'\'';
        i = j;
    }
    return out.trimmed();
}

bool isFieldLetter(QChar c) { return c.isLetter(); }

// The separator after the first field of a format: the run of characters between the first
// run of field letters and the next letter or quote.
QString separatorAfterFirstField(const QString& format, const QString& fieldLetters, const QString& fallback) {
    qsizetype i = 0;
    while (i < format.size() && !fieldLetters.contains(format.at(i))) ++i;
    while (i < format.size() && fieldLetters.contains(format.at(i))) ++i;
    QString sep;
    while (i < format.size() && !isFieldLetter(format.at(i)) && format.at(i) != u'\'') {
        if (inCodePage(format.at(i))) sep += format.at(i);
        ++i;
    }
    if (sep.isEmpty() || sep.size() > 3) return fallback;
    return sep;
}

}  // namespace

QMap<int, QString> regionalSeed(const QLocale& locale) {
    QMap<int, QString> seed;
    if (locale.language() == QLocale::C) {
        seed.insert(lc::DecimalSeparator, QStringLiteral("."));
        seed.insert(lc::ThousandSeparator, QStringLiteral(","));
        seed.insert(lc::Grouping, QStringLiteral("3;0"));
        seed.insert(lc::DateSeparator, QStringLiteral("/"));
        seed.insert(lc::TimeSeparator, QStringLiteral(":"));
        seed.insert(lc::ShortDate, QStringLiteral("MM/dd/yyyy"));
        return seed;
    }
    seed.insert(lc::DecimalSeparator, seedSeparator(locale.decimalPoint(), QStringLiteral(".")));
    seed.insert(lc::ThousandSeparator, seedSeparator(locale.groupSeparator(), QStringLiteral(",")));
    seed.insert(lc::Grouping, groupingOf(locale));
    QString shortDate = windowsDateFormat(locale.dateFormat(QLocale::ShortFormat));
    if (shortDate.isEmpty() || shortDate.size() > 79) shortDate = QStringLiteral("MM/dd/yyyy");
    seed.insert(lc::ShortDate, shortDate);
    seed.insert(lc::DateSeparator, separatorAfterFirstField(shortDate, QStringLiteral("dMyg"), QStringLiteral("/")));
    seed.insert(lc::TimeSeparator, separatorAfterFirstField(locale.timeFormat(QLocale::ShortFormat),
                                                            QStringLiteral("hH"), QStringLiteral(":")));
    return seed;
}

std::optional<QString> getLocaleInfo(int lctype) {
    if (settingOf(lctype) == nullptr) return std::nullopt;
    Store& s = store();
    const std::lock_guard<std::mutex> guard(s.lock);
    loadLocked(s);
    return s.values.value(lctype);
}

bool setLocaleInfo(int lctype, const QString& value) {
    const Setting* setting = settingOf(lctype);
    if (setting == nullptr || value.size() > setting->maxLength) return false;
    Store& s = store();
    const std::lock_guard<std::mutex> guard(s.lock);
    loadLocked(s);
    const QString stored = asStored(value);
    if (!writeValue(pathOf(s), *setting, stored)) return false;
    s.values.insert(lctype, stored);
    return true;
}

QString regionalFile() {
    Store& s = store();
    const std::lock_guard<std::mutex> guard(s.lock);
    return pathOf(s);
}

void setRegionalFile(const QString& path) {
    Store& s = store();
    const std::lock_guard<std::mutex> guard(s.lock);
    s.overridePath = path;
    s.loaded = false;
    s.values.clear();
}

}  // namespace platform
