#include "extractor/MainMod.h"

#include "data/variant.h"
#include "util/EDiv.h"
#include "util/Locale.h"

namespace {

enum Lctype : std::int32_t {
    kDecimal = 14,
    kThousand = 15,
    kGrouping = 16,
    kDateSep = 29,
    kTimeSep = 30,
    kShortDate = 31,
};

QString localeText(std::int32_t code) { return eFun().Get_locale(code).toString(); }

// The number and date routines understand a short date made of exactly "DD", "MM" and a
// four-letter year, joined by the date separator, in any of six orders.
bool isUsableShortDate(const QString& upperFormat, const QString& sep) {
    const QString year = upperFormat.contains(u'Y') ? QStringLiteral("YYYY") : QStringLiteral("AAAA");
    const QString d = QStringLiteral("DD");
    const QString m = QStringLiteral("MM");
    const QString arrangements[] = {d + sep + m + sep + year, m + sep + d + sep + year, m + sep + year + sep + d,
                                    year + sep + m + sep + d, year + sep + d + sep + m, d + sep + year + sep + m};
    for (const QString& a : arrangements) {
        if (upperFormat == a) return true;
    }
    return false;
}

bool isOnlyBlanks(const QString& s) {
    for (const QChar c : s) {
        if (c != u' ') return false;
    }
    return true;
}

}  // namespace

QString& gstrFicheiroIni() {
    static QString name;
    return name;
}

void AcertaLocale() {
    LocaleRecord& loc = Locale();
    EDiv& e = eFun();

    loc.gstrDecSep = localeText(kDecimal);
    loc.gstrMilSep = localeText(kThousand);
    loc.gstrAgrupamento = localeText(kGrouping).left(1);
    loc.gstrFormatoData = localeText(kShortDate);
    loc.gstrHoraSep = localeText(kTimeSep);
    loc.gstrDataSep = localeText(kDateSep);

    const QString upper = loc.gstrFormatoData.toUpper();
    if (!isUsableShortDate(upper, loc.gstrDataSep)) {
        loc.gstrFormatoData = upper.contains(u'Y') ? QStringLiteral("dd-MM-yyyy") : QStringLiteral("dd-MM-aaaa");
        e.Set_locale(kShortDate, loc.gstrFormatoData);
        loc.gstrFormatoData = localeText(kShortDate);
    }

    if (loc.gstrDecSep == QStringLiteral("-")) {
        e.Set_locale(kDecimal, QStringLiteral("."));
        loc.gstrDecSep = QStringLiteral(".");
    }
    if (loc.gstrMilSep == QStringLiteral("-")) {
        e.Set_locale(kThousand, QStringLiteral(","));
        loc.gstrMilSep = QStringLiteral(",");
    }
    if (loc.gstrMilSep == loc.gstrDecSep) {
        e.Set_locale(kThousand, QStringLiteral(","));
        e.Set_locale(kDecimal, QStringLiteral("."));
        loc.gstrMilSep = QStringLiteral(",");
        loc.gstrDecSep = QStringLiteral(".");
    }

    double ignored = 0;
    if (data::parseNumber(loc.gstrDataSep, ignored)) {
        loc.gstrDataSep = QStringLiteral("-");
        e.Set_locale(kDateSep, QStringLiteral("-"));
    }
    loc.gstrDataSepSistema = loc.gstrDataSep;
    if (isOnlyBlanks(loc.gstrDataSep)) {
        loc.gstrDataSep = QStringLiteral("-");
        e.Set_locale(kDateSep, QStringLiteral("-"));
    }

    // Text conversions of numbers follow the regional decimal separator, as the repaired
    // regional settings now give it.
    data::setRegionalDecimalSeparator(loc.gstrDecSep);
}
