#include "screens/ValidateTime.h"

#include <QRegularExpression>

#include "platform/win1252.h"
#include "screens/entryvalue.h"
#include "util/text.h"

namespace ValidateTime {

QString FormataHora(const QTime& hora) {
    return QStringLiteral("%1%2%3")
        .arg(hora.hour(), 2, 10, QLatin1Char('0'))
        .arg(screens::timeSeparator())
        .arg(hora.minute(), 2, 10, QLatin1Char('0'));
}

bool ValidaHora(const QString& texto, platform::Ref<QString> hora) {
    QString t = util::trimBlanks(texto);
    const QString sep = screens::timeSeparator();
    if (sep != u":") t.replace(sep, QStringLiteral(":"));
    static const QRegularExpression withSeparator(QStringLiteral("^([0-9]{1,2}):([0-9]{1,2})$"));
    static const QRegularExpression fourDigits(QStringLiteral("^([0-9]{2})([0-9]{2})$"));
    QRegularExpressionMatch m = withSeparator.match(t);
    if (!m.hasMatch()) m = fourDigits.match(t);
    if (!m.hasMatch()) return false;
    const int h = m.captured(1).toInt();
    const int min = m.captured(2).toInt();
    if (h > 23 || min > 59) return false;
    *hora = FormataHora(QTime(h, min));
    return true;
}

void HoraKeyPress(platform::Ref<std::int16_t> KeyAscii) {
    const int k = *KeyAscii;
    if (k == 8 || k == 13 || k == 27 || (k >= '0' && k <= '9')) return;
    const QString sep = screens::timeSeparator();
    if (sep.size() == 1 && k == platform::ansiCode(sep.at(0))) return;
    if (k == ':') {
        *KeyAscii = sep.size() == 1 ? static_cast<std::int16_t>(platform::ansiCode(sep.at(0))) : std::int16_t{58};
        return;
    }
    *KeyAscii = 0;
}

}  // namespace ValidateTime
