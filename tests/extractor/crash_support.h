#pragma once
// Helpers for runs that a test kills and starts again.
//
// A killed process keeps nothing in memory, so whatever a test wants to know about it has to
// be on disk: the run's world is a program folder (Velmora.ini, pointing at an embedded server
// and an export folder), and the mail window of such a run notes each call in a file there.
// freshRun() does what a newly started program does before a run: it reads the settings file
// again, opens both databases through the program's own openers and makes a new run object.
//
// Export files are read back as "changes": (table, code, letter) for each detail record, so
// that a test can count how often each change reached a whole file.

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "data/connection.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/PeriodoAutomatico.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "support/recording_run_host.h"
#include "util/text.h"

namespace crashsupport {

// One detail record of an export file: 'C' customer, 'P' product, 'L' sales line (by its
// seller code, which the tests keep unique per line); letter 'N', 'A' or 'E'.
struct Change {
    char table = 0;
    QString code;
    char letter = 0;
    bool operator==(const Change& o) const { return table == o.table && code == o.code && letter == o.letter; }
    bool operator<(const Change& o) const {
        return std::tie(table, code, letter) < std::tie(o.table, o.code, o.letter);
    }
};

inline std::string describe(const Change& c) {
    return std::string(1, c.table) + ':' + c.code.toStdString() + ':' + std::string(1, c.letter);
}

// How GoogleTest shows a change in a failure message.
inline void PrintTo(const Change& c, std::ostream* os) { *os << describe(c); }

inline std::vector<Change> sorted(std::vector<Change> v) {
    std::sort(v.begin(), v.end());
    return v;
}

inline QList<QByteArray> records(const QByteArray& bytes) {
    QList<QByteArray> out = bytes.split('\n');
    if (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
    return out;
}

// Empty when the bytes are a whole export file (a header first, a trailer last whose detail
// count agrees with the records between them, every record ending in CR LF); else why not.
inline QString wholeFileProblem(const QByteArray& bytes) {
    if (bytes.isEmpty()) return QStringLiteral("empty");
    if (!bytes.endsWith("\r\n")) return QStringLiteral("does not end with CR LF");
    const QList<QByteArray> recs = records(bytes);
    for (const QByteArray& r : recs) {
        if (!r.endsWith('\r')) return QStringLiteral("a record without CR LF");
    }
    if (recs.size() < 2) return QStringLiteral("no trailer");
    if (!recs.first().startsWith('0') || recs.first().size() != 62) return QStringLiteral("no header");
    const QByteArray& trailer = recs.last();
    if (!trailer.startsWith('9') || trailer.size() != 90) return QStringLiteral("no trailer");
    bool ok = false;
    const int detalhe = trailer.mid(1, 8).toInt(&ok);
    if (!ok || detalhe != recs.size() - 2) return QStringLiteral("trailer count disagrees with the records");
    return QString();
}

inline std::vector<Change> changesIn(const QByteArray& bytes) {
    std::vector<Change> out;
    const auto letra = [](char d) { return d == '1' ? 'N' : d == '2' ? 'A' : d == '3' ? 'E' : '?'; };
    for (const QByteArray& r : records(bytes)) {
        if (r.size() < 21) continue;
        if (r.startsWith("1 01")) {
            out.push_back({'C', QString::fromLatin1(r.mid(6, 10)).trimmed(), letra(r[4])});
        } else if (r.startsWith("1 10")) {
            out.push_back({'P', QString::fromLatin1(r.mid(6, 15)).trimmed(), letra(r[4])});
        } else if (r.startsWith("1 30")) {
            out.push_back({'L', QString::fromLatin1(r.mid(15, 5)).trimmed(), letra(r[4])});
        }
    }
    return out;
}

// The one entry of a zip held in memory (empty when it cannot be read).
inline QByteArray unzipEntry(const QByteArray& zipBytes, const QString& entry) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/copia.zip");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(zipBytes) != zipBytes.size()) return {};
    f.close();
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, entry});
    if (!unzip.waitForFinished() || unzip.exitCode() != 0) return {};
    return unzip.readAllStandardOutput();
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The mail window of a run that may be killed: each call is one line of "mail-calls.txt" in
// the program folder, with the file name and whether the file was whole at that moment.
class NotingMail : public MailHost {
public:
    explicit NotingMail(QString programFolder) : folder_(std::move(programFolder)) {}
    bool SendMail(const QString&, const QString&, const QString&, const QString&, const QString&, const QString&,
                  platform::Ref<QString> AttachPath, const QString& AttachPattern, const QString&, const QString&,
                  bool, const QString&, std::int32_t, bool) override {
        const QString file = *AttachPath + u'/' + AttachPattern;
        const QString state = !QFile::exists(file)                       ? QStringLiteral("missing")
                              : wholeFileProblem(readAll(file)).isEmpty() ? QStringLiteral("whole")
                                                                          : QStringLiteral("half");
        QFile notes(folder_ + QStringLiteral("/mail-calls.txt"));
        if (notes.open(QIODevice::Append)) {
            notes.write((AttachPattern + u'\t' + state + u'\n').toUtf8());
            notes.close();
        }
        return false;
    }
    void UnloadSendMail() override {}

    static QStringList calls(const QString& programFolder) {
        const QString text = QString::fromUtf8(readAll(programFolder + QStringLiteral("/mail-calls.txt")));
        return text.split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QString folder_;
};

// One run as a newly started program makes it. An automatic run takes its period as the
// scheduler does: from the date of P11, or the earlier start of the last run whose sales-line
// import ended (1 January when neither is set), to today. Returns the
// critical messages the run showed (and why a database did not open).
inline QStringList freshRun(const QString& programFolder, bool manual, QString dataIni = QString(),
                            QString dataFim = QString()) {
    gstrFicheiroIni() = QStringLiteral("Velmora.ini");
    setPastaFicheiroIni(programFolder);
    Configuracao() = ConfiguracaoRecord();
    LerConfiguracao();
    if (!manual) {
        dataIni = inicioDoPeriodoAutomatico(platform::today());
        dataFim = platform::today().toString(QStringLiteral("yyyy-MM-dd"));
    }
    bool ok = false;
    const std::int16_t p7 = LerIni(QStringLiteral("Extractor"), QStringLiteral("P7")).toShort(&ok);

    data::Connection geral;
    data::Connection gestao;
    std::int32_t numero = 0;
    QString texto;
    if (!OpenVelmora(geral, numero, texto, kTimeoutLigacao)) return {QStringLiteral("OpenVelmora: ") + texto};
    if (!OpenGeral(gestao, numero, texto, kTimeoutLigacao)) return {QStringLiteral("OpenGeral: ") + texto};

    NotingMail mail(programFolder);
    testsupport::RecordingRunHost host;
    host.mail = &mail;
    clsVelmora().Processa(geral, gestao, dataIni, dataFim, ok ? p7 : std::int16_t{3}, host, manual);
    geral.Close();
    gestao.Close();
    return host.criticalMessages;
}

}  // namespace crashsupport
