// PData on any typed date under any regional date format and separator. Input: one control
// line "dateSeparator|shortDateFormat|typed text" (UTF-8). The answer is empty ("no date")
// or year, month and day of a real date joined by the separator.

#include <QDate>

#include "fuzz_support.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/Locale.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::SilentBoxes::install();
    const fuzz::Split in = fuzz::splitControl(fuzz::bytesOf(data, size));
    LocaleRecord& loc = Locale();
    loc.gstrDataSep = fuzz::field(in, 0);
    loc.gstrFormatoData = fuzz::field(in, 1);
    // The typed text may hold "|" and line breaks too.
    const QString typed = in.fields.mid(2).join(u'|') + (in.rest.isEmpty() ? QString() : u'\n' + QString::fromUtf8(in.rest));

    const QString result = eFun().PData(typed);
    if (result.isEmpty()) return 0;
    const QString& sep = loc.gstrDataSep;
    if (sep.size() != 1 || sep.at(0).isDigit()) return 0;
    const QStringList parts = result.split(sep.at(0));
    fuzz::check(parts.size() == 3, "the date has not three parts", result);
    bool okY = false;
    bool okM = false;
    bool okD = false;
    const int y = parts[0].toInt(&okY);
    const int m = parts[1].toInt(&okM);
    const int d = parts[2].toInt(&okD);
    for (const QString& p : parts) {
        for (const QChar c : p) fuzz::check(c >= u'0' && c <= u'9', "a date part is not digits", result);
    }
    fuzz::check(okY && okM && okD && QDate(y, m, d).isValid() && y >= 100 && y <= 9999, "not a real date", result);
    return 0;
}
