// What follows the export file: its zipped copy as one HistFiles row and the status reset of the
// staging tables (the automatic run's P12 = "Concluído" follows in CriaFicheiro); and the
// chunked copies between files and long fields. Files above the threshold move in pieces of 16384 bytes (characters
// for text fields, one byte each in the code page) so a large copy is never one block.

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/LoteDeEscritas.h"
#include "extractor/clsVelmora.h"
#include "extractor/zip/frmCtrls.h"
#include "platform/clock.h"
#include "platform/crashpoint.h"
#include "platform/runtime_error.h"
#include "platform/tempfolder.h"
#include "platform/win1252.h"

namespace {

constexpr std::int64_t kPedaco = 16384;

bool campoTexto(int tipo) { return tipo == data::ado::adLongVarChar || tipo == data::ado::adLongVarWChar; }
bool campoBinario(int tipo) { return tipo == data::ado::adLongVarBinary; }

[[noreturn]] void falhaFicheiro(long numero, const QString& texto, const QFile& file) {
    throw platform::RuntimeError(numero, texto + QStringLiteral(": ") + file.fileName());
}

QByteArray leBytes(QFile& file, std::int64_t n) {
    const QByteArray b = file.read(n);
    if (b.size() != n) falhaFicheiro(62, QStringLiteral("Input past end of file"), file);
    return b;
}

void escreveBytes(QFile& file, const QByteArray& b) {
    if (file.write(b) != b.size()) falhaFicheiro(61, QStringLiteral("Disk full"), file);
}


}  // namespace

void clsVelmora::GuardaHistorico(data::Connection& gconnGeral, const QString& strFicheiro,
                                 const QString& strNomeFicheiro, bool blnManual) {
    using Zip = DZACTXLibCtl::dzactxctrl;
    platform::crashPoint("historico.inicio");

    // 1. The zip file, in the temporary folder.
    {
        Zip& zip = frmCtrls().Zip;
        const QString temp = platform::tempFolder();
        zip.setProperty(8, std::int16_t{5});
        zip.setProperty(15, false);
        zip.setProperty(2, QStringLiteral("\"") + strFicheiro + QStringLiteral("\""));
        zip.setProperty(11, temp);
        zip.setProperty(1, temp + QStringLiteral("/") + strNomeFicheiro + QStringLiteral(".zip"));
        zip.setProperty(28, true);
        zip.setProperty(17, true);
        zip.setProperty(46, true);
        zip.setProperty(40, std::int16_t{4});

        // A compression that made nothing must not become an empty history copy.
        const QString zipFile = zip.property(1).toString();
        const QFileInfo zipInfo(zipFile);
        if (!zipInfo.isFile() || zipInfo.size() == 0) {
            QString porque = zip.property(Zip::kErrorText).toString();
            if (porque.isEmpty()) porque = QStringLiteral("The zip file was not made: ") + zipFile;
            throw platform::RuntimeError(75, porque);
        }

        platform::crashPoint("historico.zip-feito");

        // 2. The history row.
        data::Recordset rs;
        rs.Open(QStringLiteral("HistFiles"), gconnGeral, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
        rs.AddNew();
        rs.Fields(QStringLiteral("Filename")).setValue(strNomeFicheiro);
        rs.Fields(QStringLiteral("Datasys")).setValue(platform::now());
        FileToBlob(zipFile, rs.Fields(QStringLiteral("Ficheiro")), 1048576);
        rs.Update();
        rs.Close();
        platform::crashPoint("historico.linha-gravada");

        // 3. The zip file has served its purpose.
        if (!QFile::remove(zipFile)) throw platform::RuntimeError(75, QStringLiteral("Path/File access error: ") + zipFile);
    }

    // Steps 4 and 5 stand or fall together. Half a reset would let the next file miss records
    // that the letters still promise (a manual run that had deleted its new products but not
    // yet its new sales lines leaves lines whose product the next automatic run imports again
    // but never makes active, so the line goes out without its product); with the letters all
    // kept, the next file simply repeats this one's records.
    // The status reset as one transaction: undone unless confirmed, so an error (or a process
    // that dies) in the middle leaves every letter as the file found it; the undoing comes before
    // the trap's log row, which goes over a connection of its own.
    LoteDeEscritas transaccao(gconnGeral, LoteDeEscritas::Exigida{});

    // 4. A manual run sends again what was already sent, and leaves what it found new to the
    //    next automatic run, which imports and exports it as new.
    if (blnManual) {
        gconnGeral.Execute(QStringLiteral("Update Clientes Set Status='' Where Status='A'  or Status='E' "));
        gconnGeral.Execute(QStringLiteral("Update Produtos Set Status='' Where Status='A'  or Status='E' "));
        gconnGeral.Execute(QStringLiteral("Delete from Produtos Where Status='N'"));
        platform::crashPoint("historico.reset-manual");
        gconnGeral.Execute(QStringLiteral("Delete from Clientes Where Status='N'"));
        gconnGeral.Execute(QStringLiteral("Delete from movimentos Where Status='N'"));
    }

    // 5. Every run.
    gconnGeral.Execute(QStringLiteral("delete from movimentos where status='E' "));
    platform::crashPoint("historico.reset-1");
    gconnGeral.Execute(QStringLiteral("Update Clientes Set Status=''"));
    platform::crashPoint("historico.reset-2");
    gconnGeral.Execute(QStringLiteral("Update Produtos Set Status=''"));
    platform::crashPoint("historico.reset-3");
    gconnGeral.Execute(QStringLiteral("Update Movimentos Set Status=''"));
    platform::crashPoint("historico.reset-feito");
    transaccao.confirma();
}

void clsVelmora::FileToBlob(QString FName, data::Field fld, std::int32_t Threshold) {
    // A missing file is an error here, not an empty copy.
    QFile file(FName);
    if (!file.exists()) falhaFicheiro(53, QStringLiteral("File not found"), file);
    if (!file.open(QIODevice::ReadOnly)) falhaFicheiro(75, QStringLiteral("Path/File access error"), file);
    const std::int64_t n = file.size();
    const int tipo = fld.Type();
    if (campoTexto(tipo)) {
        if (n <= Threshold) {
            fld.setValue(platform::fromAnsi(leBytes(file, n)));
        } else {
            ReadToText(file, fld, n);
        }
    } else if (campoBinario(tipo)) {
        if (n <= Threshold) {
            fld.setValue(leBytes(file, n));
        } else {
            ReadToBinary(file, fld, n);
        }
    }
    file.close();
}

void clsVelmora::ReadToBinary(QFile& file, data::Field fld, std::int64_t ByteCount) {
    std::int64_t pos = 0;
    while (pos < ByteCount) {
        const std::int64_t n = std::min(kPedaco, ByteCount - pos);
        fld.AppendChunk(leBytes(file, n));
        pos += n;
    }
}

void clsVelmora::ReadToText(QFile& file, data::Field fld, std::int64_t CharCount) {
    std::int64_t pos = 0;
    while (pos < CharCount) {
        const std::int64_t n = std::min(kPedaco, CharCount - pos);
        fld.AppendChunk(platform::fromAnsi(leBytes(file, n)));
        pos += n;
    }
}

void clsVelmora::BlobToFile(data::Field fld, QString FName, std::int32_t FieldSize, std::int32_t Threshold) {
    // The target is emptied first: a shorter copy over a longer old file would keep its tail.
    QFile file(FName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        falhaFicheiro(75, QStringLiteral("Path/File access error"), file);
    }
    const int tipo = fld.Type();
    if (campoTexto(tipo)) {
        if (FieldSize == -1) {
            WriteFromUnsizedText(file, fld);
        } else if (FieldSize <= Threshold) {
            const data::Variant v = fld.Value();
            if (!v.isNull()) escreveBytes(file, platform::toAnsi(v.toString()));
        } else {
            WriteFromText(file, fld, FieldSize);
        }
    } else if (campoBinario(tipo)) {
        if (FieldSize == -1) {
            WriteFromUnsizedBinary(file, fld);
        } else if (FieldSize > Threshold) {
            WriteFromBinary(file, fld, FieldSize);
        } else {
            const data::Variant v = fld.Value();
            if (!v.isNull()) escreveBytes(file, v.toBytes());
        }
    }
    file.close();
}

void clsVelmora::WriteFromBinary(QFile& file, data::Field fld, std::int32_t FieldSize) {
    std::int64_t pos = 0;
    while (pos < FieldSize) {
        const std::int64_t n = std::min<std::int64_t>(kPedaco, FieldSize - pos);
        const data::Variant pedaco = fld.GetChunk(static_cast<long>(n));
        // A field shorter than the size given has nothing more to give.
        if (pedaco.isNull()) break;
        escreveBytes(file, pedaco.toBytes());
        pos += n;
    }
}

void clsVelmora::WriteFromUnsizedBinary(QFile& file, data::Field fld) {
    for (;;) {
        const data::Variant pedaco = fld.GetChunk(kPedaco);
        if (pedaco.isNull()) break;
        const QByteArray b = pedaco.toBytes();
        escreveBytes(file, b);
        if (b.size() != kPedaco) break;
    }
}

void clsVelmora::WriteFromText(QFile& file, data::Field fld, std::int32_t FieldSize) {
    std::int64_t pos = 0;
    while (pos < FieldSize) {
        const std::int64_t n = std::min<std::int64_t>(kPedaco, FieldSize - pos);
        const data::Variant pedaco = fld.GetChunk(static_cast<long>(n));
        if (pedaco.isNull()) break;
        escreveBytes(file, platform::toAnsi(pedaco.toString()));
        pos += n;
    }
}

void clsVelmora::WriteFromUnsizedText(QFile& file, data::Field fld) {
    for (;;) {
        const data::Variant pedaco = fld.GetChunk(kPedaco);
        if (pedaco.isNull()) break;
        const QString t = pedaco.toString();
        escreveBytes(file, platform::toAnsi(t));
        if (t.size() != kPedaco) break;
    }
}
