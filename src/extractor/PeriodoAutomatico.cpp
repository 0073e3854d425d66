#include "extractor/PeriodoAutomatico.h"

#include <QStringList>
#include <QTime>
#include <algorithm>

#include "extractor/MainMod_configuracao.h"
#include "util/Locale.h"
#include "util/text.h"

std::optional<QDateTime> dataHoraDeExecucao(const QString& texto) {
    const QString t = util::trimBlanks(texto);
    if (t.isEmpty()) return std::nullopt;
    QString regional = Locale().gstrFormatoData;
    regional.replace(QStringLiteral("aaaa"), QStringLiteral("yyyy"), Qt::CaseInsensitive);
    regional.replace(QStringLiteral("YYYY"), QStringLiteral("yyyy"));
    const QString hs = Locale().gstrHoraSep.isEmpty() ? QStringLiteral(":") : Locale().gstrHoraSep;
    QStringList formatos = {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd H:mm:ss"),
                            QStringLiteral("yyyy-MM-dd HH:mm"),    QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
                            QStringLiteral("yyyy-MM-dd")};
    if (!regional.isEmpty()) {
        for (const QString& hora : {QStringLiteral(" HH:mm:ss"), QStringLiteral(" H:mm:ss"), QStringLiteral(" HH:mm")}) {
            QString h = hora;
            formatos << regional + h.replace(QStringLiteral(":"), hs);
        }
        formatos << regional;
    }
    for (const QString& f : formatos) {
        QDateTime dt = QDateTime::fromString(t, f);
        if (dt.isValid()) return dt;
        const QDate d = QDate::fromString(t, f);
        if (d.isValid()) return QDateTime(d, QTime(0, 0));
    }
    return std::nullopt;
}

QString inicioDoPeriodoAutomatico(const QDate& hoje) {
    const QDate primeiroDeJaneiro(hoje.year(), 1, 1);
    const auto dia = [&](const QString& chave) {
        const std::optional<QDateTime> v = dataHoraDeExecucao(LerIni(QStringLiteral("Extractor"), chave));
        return v && v->date() <= hoje ? v->date() : primeiroDeJaneiro;
    };
    QDate inicio = dia(QStringLiteral("P11"));
    if (!util::trimBlanks(LerIni(QStringLiteral("Extractor"), kInicioMovimentos)).isEmpty()) {
        inicio = std::min(inicio, dia(kInicioMovimentos));
    }
    return inicio.toString(QStringLiteral("yyyy-MM-dd"));
}
