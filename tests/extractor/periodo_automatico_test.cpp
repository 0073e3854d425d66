// Where the next automatic run's period starts: P11's day, or the earlier start of the last
// run whose sales-line import ended, and 1 January for what cannot be trusted.
#include <gtest/gtest.h>

#include "extractor/PeriodoAutomatico.h"
#include "support/program_folder.h"

TEST(PeriodoAutomatico, StartsOnTheEarlierOfP11AndTheLastCompleteImport) {
    struct Caso {
        const char* p11;
        const char* inicioMovimentos;  // nullptr: the key is not in the file
        const char* inicio;
    };
    const Caso casos[] = {
        // A settings file from before the key: as P11 says.
        {"2017-03-07 09:00:00", nullptr, "2017-03-07"},
        {"", nullptr, "2017-01-01"},
        // The last import that ended began earlier: its days come again.
        {"2017-03-09 10:00:00", "2017-03-07 09:00:00", "2017-03-07"},
        {"2017-03-09 10:00:00", "2017-03-01", "2017-03-01"},
        {"2017-03-09 10:00:00", "2017-03-09 10:00:00", "2017-03-09"},
        // A key later than P11 (P11 put back by hand) never moves the start forward.
        {"2017-03-02 10:00:00", "2017-03-09 10:00:00", "2017-03-02"},
        // A key that reads as no day, or as one after today, covers the whole year.
        {"2017-03-09 10:00:00", "2017-02-30", "2017-01-01"},
        {"2017-03-09 10:00:00", "2017-12-31 08:00:00", "2017-01-01"},
        {"2017-03-09 10:00:00", "  ", "2017-03-09"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.p11) + " / " + (c.inicioMovimentos ? c.inicioMovimentos : "(none)"));
        testsupport::TempProgramFolder pasta;
        pasta.set("Extractor", "P11", QString::fromLatin1(c.p11));
        if (c.inicioMovimentos != nullptr) {
            pasta.set("Extractor", kInicioMovimentos, QString::fromLatin1(c.inicioMovimentos));
        }
        EXPECT_EQ(inicioDoPeriodoAutomatico(QDate(2017, 3, 10)), QString::fromLatin1(c.inicio));
    }
}
