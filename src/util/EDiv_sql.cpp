// The SQL-text and record-set members of EDiv: statement builders, running a statement,
// emptiness tests, reading one value, and moving an image between a picture control and a
// binary column.

#include <QCoreApplication>
#include <QFile>
#include <exception>

#include "data/command.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "platform/runtime_error.h"
#include "platform/tempfolder.h"
#include "util/EDiv.h"
#include "util/PictureHolder.h"
#include "util/sqltext.h"
#include "util/text.h"

namespace {

using data::Variant;
using Kind = data::Variant::Type;

constexpr qint64 kPedaco = 2048;  // the size of the pieces an image travels in

bool isNumberKind(const Variant& v) {
    switch (v.type()) {
        case Kind::Integer:
        case Kind::Long:
        case Kind::LongLong:
        case Kind::Single:
        case Kind::Double:
        case Kind::Currency:
        case Kind::Boolean:
            return true;
        default:
            return false;
    }
}

bool isTextKind(const Variant& v) { return v.type() == Kind::String || v.type() == Kind::Date; }

// The number as the system's conversion writes it, with "." as the decimal point whatever the
// regional separator: a statement text only understands the point.
QString numberText(const Variant& v) {
    QString t = util::trimBlanks(v.toString());
    const QString dec = data::regionalDecimalSeparator();
    if (dec != QStringLiteral(".") && (v.type() == Kind::Single || v.type() == Kind::Double || v.type() == Kind::Currency)) {
        t.replace(dec, QStringLiteral("."));
    }
    return t;
}

// Booleans go into statements as the system's integers: True is -1.
void booleanToInteger(Variant& v) {
    if (v.type() == Kind::Boolean) v = Variant(static_cast<std::int16_t>(v.toBool() ? -1 : 0));
}

QString quoted(const Variant& v) { return u'\'' + util::sqlApostrofos(v.toString()) + u'\''; }

QString imageQuery(const QString& strTable, const QString& strField, const QString& sqlWHERE) {
    return QStringLiteral("select ") + strField + QStringLiteral(" from ") + strTable + QStringLiteral(" where ") +
           sqlWHERE;
}

// Lets the screen repaint between the pieces of a long image.
void processPendingEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

[[noreturn]] void raiseFileAccess() {
    throw platform::RuntimeError(75, QStringLiteral("Path/File access error"));
}

}  // namespace

QString EDiv::InsertSQL(const QString& Tabela, const std::vector<QString>& aCampos, std::vector<Variant>& AValores) {
    QString campos;
    for (std::size_t i = 1; i < aCampos.size(); ++i) campos += aCampos[i] + u',';
    campos.chop(1);

    QString valores;
    for (std::size_t i = 1; i < AValores.size(); ++i) {
        Variant& v = AValores[i];
        booleanToInteger(v);
        if (isNumberKind(v)) {
            valores += numberText(v) + QStringLiteral(" , ");
        } else if (isTextKind(v)) {
            valores += quoted(v) + QStringLiteral(" , ");
        }
        // Empty, Null and bytes add nothing: the value list is then shorter than the columns.
    }
    // The comma and the blank after it go; the blank before the comma stays.
    valores.chop(2);
    return QStringLiteral("INSERT INTO ") + util::trimBlanks(Tabela) + QStringLiteral(" (") + campos +
           QStringLiteral(") VALUES (") + valores + u')';
}

QString EDiv::UpdateSQL(const QString& Tabela, const std::vector<QString>& aCampos, std::vector<Variant>& AValores,
                        const QString& SWhere) {
    QString sets;
    for (std::size_t i = 1; i < aCampos.size(); ++i) {
        // A column without a value in the array is left out rather than given another's value.
        if (i >= AValores.size()) continue;
        Variant& v = AValores[i];
        booleanToInteger(v);
        QString texto;
        if (isNumberKind(v)) {
            texto = numberText(v);
        } else if (isTextKind(v)) {
            texto = quoted(v);
        } else {
            texto = QStringLiteral("NULL");
        }
        sets += aCampos[i] + u'=' + texto + u',';
    }
    sets.chop(1);
    return QStringLiteral("UPDATE ") + Tabela + QStringLiteral(" SET ") + sets + u' ' + SWhere;
}

bool EDiv::RunSQL(data::Connection& conn, const QString& strSQL) {
    try {
        data::Command cmd;
        cmd.setActiveConnection(&conn);
        cmd.setCommandText(strSQL);
        cmd.setCommandType(data::ado::adCmdText);
        cmd.Execute(nullptr, data::ado::adExecuteNoRecords);
        cmd.setActiveConnection(nullptr);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool EDiv::VerSeExiste(data::Connection& conn, const QString& strSQL) {
    data::Recordset rs = conn.Execute(strSQL, nullptr, -1);
    const bool existe = !IsVazio(rs);
    rs.Close();
    return existe;
}

bool EDiv::IsVazio(const data::Recordset& rstRecordset) {
    try {
        return rstRecordset.EOF() && rstRecordset.BOF();
    } catch (const std::exception&) {
        return false;
    }
}

data::Variant EDiv::GetFieldValue(data::Connection& connTemp, const QString& strSQL, const QString& strField) {
    try {
        data::Recordset rs;
        rs.Open(strSQL, connTemp, data::ado::adOpenForwardOnly, data::ado::adLockReadOnly, -1);
        Variant valor;
        if (!IsVazio(rs)) valor = rs.Fields(strField).Value();
        rs.Close();
        return valor;
    } catch (const std::exception&) {
        return Variant::null();
    }
}

data::Variant EDiv::GetImagemFromTable(PictureHolder& ctrlPicture, data::Connection& connDb, const QString& strTable,
                                       const QString& strField, const QString& sqlWHERE) {
    QFile ficheiro(platform::tempFolder() + QStringLiteral("/output.bin"));
    try {
        data::Recordset rs;
        rs.Open(imageQuery(strTable, strField, sqlWHERE), connDb, data::ado::adOpenForwardOnly,
                data::ado::adLockReadOnly, -1);
        if (IsVazio(rs)) return Variant();

        // The file is emptied first: a smaller image must not keep the tail of an earlier one.
        if (!ficheiro.open(QIODevice::WriteOnly | QIODevice::Truncate)) raiseFileAccess();
        data::Field campo = rs.Fields(0L);
        const qint64 n = campo.ActualSize();
        auto escreve = [&](qint64 tamanho) {
            if (tamanho <= 0) return;
            const QByteArray pedaco = campo.GetChunk(static_cast<long>(tamanho)).toBytes();
            if (ficheiro.write(pedaco) != pedaco.size()) raiseFileAccess();
        };
        escreve(n % kPedaco);
        for (qint64 k = 0; k < n / kPedaco; ++k) {
            escreve(kPedaco);
            processPendingEvents();
        }
        ficheiro.close();
        rs.Close();
        ctrlPicture.LoadPicture(ficheiro.fileName());
    } catch (const std::exception&) {
        // The picture keeps what it showed; the file is closed below.
    }
    if (ficheiro.isOpen()) ficheiro.close();
    return Variant();
}

bool EDiv::AddImagemToTable(const QString& strImgFilePath, data::Connection& connDb, const QString& strTable,
                            const QString& strField, const QString& sqlWHERE, std::int32_t lngLimpaImagem) {
    if (strImgFilePath.isEmpty() && lngLimpaImagem != 0) return false;
    try {
        data::Recordset rs;
        rs.Open(imageQuery(strTable, strField, sqlWHERE), connDb, data::ado::adOpenDynamic,
                data::ado::adLockOptimistic, -1);
        data::Field campo = rs.Fields(0L);
        if (strImgFilePath.isEmpty()) {
            campo.setValue(Variant(QString()));
            rs.Update();
            rs.Close();
            return false;
        }
        QFile ficheiro(strImgFilePath);
        if (!ficheiro.open(QIODevice::ReadOnly)) raiseFileAccess();
        const qint64 n = ficheiro.size();
        auto le = [&](qint64 tamanho) {
            const QByteArray pedaco = ficheiro.read(tamanho);
            if (pedaco.size() != tamanho) raiseFileAccess();
            return pedaco;
        };
        // The first piece replaces what the column held, even when it is empty, so the column
        // ends up holding exactly the file's bytes.
        campo.AppendChunk(Variant(le(n % kPedaco)));
        for (qint64 k = 0; k < n / kPedaco; ++k) {
            campo.AppendChunk(Variant(le(kPedaco)));
            processPendingEvents();
        }
        rs.Update();
        rs.Close();
    } catch (const std::exception&) {
        // The member ends silently; a row whose update did not run keeps its old image.
    }
    return false;
}
