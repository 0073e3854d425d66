#pragma once
// Where an automatic run's period starts, and the settings key that keeps it from skipping days.
//
// P11 (section Extractor) is the start of the last automatic run: the scheduler's guard against
// a second start in one minute and what the settings screen shows. Taken alone as the next
// period's start it loses lines: a run whose sales-line import stopped (a value that does not
// convert, a lost connection) or that was killed before the import's end has already moved P11
// to its own start, and the lines of the days it did not finish would never be read again. The
// same holds for a stopped product or customer import: the sales-line import takes only the
// lines of staged products and customers, so the lines of those not staged are skipped.
//
// So the same section holds a second key, InicioMovimentos: the start of the last automatic run
// whose product, customer and sales-line imports all ran to their end (date and time, written
// like P11). The run writes it after the sales-line import's last commit; an automatic run that finds it missing writes its own
// period's start first, so an install upgraded from a settings file without it loses nothing
// from its second run on. The next period starts on the earlier of the two days: the lines of
// the days in between come again, and those already staged are skipped by their Chave.
// A settings file without the key behaves as before: the period starts on P11's day.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

// The settings key above.
inline const QString kInicioMovimentos = QStringLiteral("InicioMovimentos");

// P11 (or InicioMovimentos) as a date and time. The run writes "yyyy-mm-dd hh:mm:ss"; a value in
// the regional short date (the settings screen writes back what it shows, a user may have
// typed it) is read too. Nothing for an empty or unreadable text.
std::optional<QDateTime> dataHoraDeExecucao(const QString& texto);

// The first day, "yyyy-mm-dd", of an automatic run made today. An empty, unreadable or future
// value counts as 1 January of today's year: a period that ended before it starts would skip
// the days in between.
QString inicioDoPeriodoAutomatico(const QDate& hoje);
