// Replacing a database's stored procedures with those of a script in batch form.

#include <vector>

#include "data/connection.h"
#include "data/recordset.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "sqltoolkit/CSql_textos.h"
#include "util/EDiv.h"

using namespace csql::interno;

data::Variant CSql::CreateStoredProcedures(data::Connection& connActiva, QString strToCreate) {
    data::Recordset rs;
    try {
        rs = executa(connActiva, csqltexto::StoredProcedures());
        if (rs.State() == data::ado::adStateOpen && !eFun().IsVazio(rs)) {
            while (!rs.EOF()) {
                // The listed name carries the server's group-number suffix ";1".
                const QString nome = textoDe(rs.Fields(QStringLiteral("Procedure_Name")).Value());
                if (nome.size() >= 2) executaSemErros(connActiva, csqltexto::DropProcedure(nome.left(nome.size() - 2)));
                rs.MoveNext();
            }
        }
    } catch (const std::exception&) {
    }
    fechaSemErros(rs);

    std::vector<data::Variant> partes;
    eFun().FastStripString(strToCreate, QStringLiteral("\r\nGO\r\n"), partes);
    for (const data::Variant& parte : partes) {
        const QString texto = parte.toString();
        // Text before the creation (comments, settings) is not sent.
        const qsizetype inicio = texto.indexOf(QStringLiteral("create"), 0, Qt::CaseInsensitive);
        if (inicio >= 0) executaSemErros(connActiva, texto.mid(inicio));
    }
    return Variant();
}
