// A year of zipped copies kept in HistFiles does not grow a run: adding today's copy reads
// none of the earlier ones, so the run's peak of memory stays what the export file asks.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace {

constexpr int kCopies = 300;
constexpr int kCopyBytes = 1024 * 1024;
const QString kNome = QStringLiteral("NRT170307.MOV");

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
qint64 statusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new peak of resident memory from what the process holds now.
bool resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

}  // namespace

TEST(HistoryMemory, AYearOfCopiesIsNeitherReadNorHeldByTheRun) {
    testsupport::RunDay day;
    testsupport::RunDatabases db;
    testsupport::RecordingRunHost host;
    QTemporaryDir dir;
    db.program.set("Extractor", "P12", "Em Curso");
    db.execStaging("insert into Clientes (Activo, Status, Codigo) values (1, 'N', 'C1')");
    {
        // Written as another program would: this process holds none of it.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(db.server.databaseFile(QStringLiteral("Velmora")).toUtf8().constData(), &raw), SQLITE_OK);
        const QByteArray fill = QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                                               "insert into HistFiles (Filename, Ficheiro, Datasys) select 'NRT' || i || "
                                               "'.MOV', zeroblob(%2), '2016-03-07 14:05:09.000' from n")
                                    .arg(kCopies)
                                    .arg(kCopyBytes)
                                    .toUtf8();
        const int rc = sqlite3_exec(raw, fill.constData(), nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        ASSERT_EQ(rc, SQLITE_OK);
    }
    if (!resetPeak()) GTEST_SKIP() << "the peak of resident memory cannot be reset here";
    const qint64 before = statusKb("VmRSS");

    clsVelmora v;
    clsVelmoraTestAccess::CriaFicheiro(v, *db.geral, "2017-03-01", "2017-03-07", dir.path() + u'/' + kNome, kNome,
                                       "SISTEMA", false, host);
    const qint64 grown = statusKb("VmHWM") - before;
    ASSERT_TRUE(host.criticalMessages.isEmpty()) << host.criticalMessages.join(u'\n').toStdString();

    // Today's copy is there, after the year's.
    EXPECT_EQ(db.stagingScalar("select count(*) from HistFiles").toInt64(), kCopies + 1);
    EXPECT_EQ(db.stagingScalar("select Filename from HistFiles where NumRegisto = (select max(NumRegisto) from HistFiles)")
                  .toString(),
              kNome);
    const qint64 file = QFileInfo(dir.path() + u'/' + kNome).size();
    const qint64 limitKb = (2 * file + 150LL * 1024 * 1024) / 1024;
    EXPECT_LT(grown, limitKb) << "the run held " << grown / 1024 << " MB more with " << kCopies << " copies of "
                              << kCopyBytes / 1024 << " kB kept";
}
