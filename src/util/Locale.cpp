#include "util/Locale.h"

LocaleRecord& Locale() {
    static LocaleRecord record;
    return record;
}

QString& gstrAno() {
    static QString year;
    return year;
}

QString& gstrMes() {
    static QString month;
    return month;
}
