// Table locks for mutual exclusion between programs. The lock of a name N is the table N_ in
// the configuration database, whose one row an uncommitted update keeps locked. Nothing hands
// these members a connection, so the lock connection is this object's own: opened with the
// configured login by ActivaLock, kept open with its transaction, and closed by DesActivaLock.
// The configuration database is the one every program of the system reaches, so a lock there
// excludes all of them.
//
// The embedded engine holds the lock on the lock table alone, as SQL Server's row lock does:
// while it is held, other connections wait to write to that table, and every other table of
// the configuration database is read and written as usual.

#include <QCoreApplication>

#include "data/connection.h"
#include "data/dberror.h"
#include "data/recordset.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "sqltoolkit/CSql_textos.h"
#include "util/text.h"

using namespace csql::interno;

namespace {

const QString kBaseBloqueios = QStringLiteral("BorviaConfig");

QString chaveBloqueio(const QString& tabela) { return util::trimBlanks(tabela).toUpper(); }

void mensagensPendentes() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

}  // namespace

bool CSql::ActivaLock(Ref<QString> strTabela) {
    *strTabela += u'_';
    const QString tabela = *strTabela;
    const QString chave = chaveBloqueio(tabela);

    // A lock this program holds already is taken again on its own connection: another
    // connection would wait for it.
    std::shared_ptr<data::Connection> conn;
    if (auto it = bloqueios_.find(chave); it != bloqueios_.end() && it->second->State() == data::ado::adStateOpen) {
        conn = it->second;
    }
    try {
        if (!conn) {
            conn = std::make_shared<data::Connection>();
            std::int32_t errNum = 0;
            QString errText;
            if (!abreConfigurado(*conn, kBaseBloqueios, kTimeout120, errNum, errText)) return false;
        }
        for (int vez = 0; vez < 2; ++vez) {
            if (SQLCheckTable(*conn, tabela)) executa(*conn, csqltexto::DropTable(tabela));
            mensagensPendentes();
        }
        SQLCreateTable(*conn, tabela);
        mensagensPendentes();
        SQLAddField(*conn, tabela, QStringLiteral("XXX"), QStringLiteral("varchar (10) NULL "));
        mensagensPendentes();
        executa(*conn, csqltexto::InsereBloqueio(tabela));
    } catch (const std::exception&) {
        return false;
    }
    try {
        conn->CommitTrans();
    } catch (const std::exception&) {
        // No transaction was open.
    }
    try {
        conn->BeginTrans();
    } catch (const std::exception&) {
    }
    executaSemErros(*conn, csqltexto::ActualizaBloqueio(tabela));
    bloqueios_[chave] = conn;
    return true;
}

data::Variant CSql::DesActivaLock(Ref<QString> strTabela) {
    *strTabela += u'_';
    const QString tabela = *strTabela;
    // Only a lock this program holds is released; another program's lock table is its own
    // (dropping it would wait for that program's transaction).
    const auto it = bloqueios_.find(chaveBloqueio(tabela));
    if (it == bloqueios_.end()) return Variant();
    const std::shared_ptr<data::Connection> conn = it->second;
    bloqueios_.erase(it);
    try {
        if (SQLCheckTable(*conn, tabela)) executaSemErros(*conn, csqltexto::DropTable(tabela));
    } catch (const std::exception&) {
    }
    try {
        conn->CommitTrans();
    } catch (const std::exception&) {
    }
    fechaSemErros(*conn);
    return Variant();
}

bool CSql::SQLCheckLock(Ref<QString> strTable) {
    *strTable += u'_';
    const QString procurado = util::trimBlanks(*strTable).toUpper();
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    if (!abreConfigurado(conn, kBaseBloqueios, kTimeout120, errNum, errText)) throw data::DbError(errNum, errText);
    data::Recordset locks = executa(conn, csqltexto::Lock());
    while (!locks.EOF()) {
        const data::Variant objId = locks.Fields(QStringLiteral("OBJID")).Value();
        const QString id = objId.isNull() || objId.isEmpty() ? QStringLiteral("NULL") : objId.toString();
        data::Recordset nome = executa(conn, csqltexto::NomeObjecto(id));
        const QString a = textoDe(nome.Fields(QStringLiteral("a")).Value());
        nome.Close();
        if (util::trimBlanks(a).toUpper() == procurado) return false;  // the lock table is locked
        locks.MoveNext();
    }
    locks.Close();
    conn.Close();
    return true;
}
