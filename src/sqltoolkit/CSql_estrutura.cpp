// Table structures: the creation script of a copy of a table (read from sp_help), the field
// list of a recordset, and dropping a column.

#include <vector>

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "sqltoolkit/CSql_textos.h"
#include "util/EDiv.h"
#include "util/text.h"

using namespace csql::interno;

namespace {

constexpr std::int32_t kTimeoutEstrutura = 90;

struct Coluna {
    QString nome;
    QString tipo;
    std::int16_t comprimento = 0;
    std::int16_t precisao = 0;
    std::int16_t escala = 0;
    std::int16_t nula = 0;
    QString omissao;
    std::int16_t identidade = 0;
    std::int32_t semente = 0;
    std::int32_t incremento = 0;
    std::int16_t rowGuid = 0;
    std::int16_t chavePrimaria = 0;
};

// The numeric value at the start of a text, as a 16-bit number (overflow beyond it).
std::int16_t valor16(const data::Variant& v) {
    if (v.isNull() || v.isEmpty()) return 0;
    if (v.isString()) return data::Variant(data::leadingNumber(v.toString())).toInt16();
    return v.toInt16();
}

std::int32_t valor32(const data::Variant& v) {
    if (v.isNull() || v.isEmpty()) return 0;
    if (v.isString()) return data::Variant(data::leadingNumber(v.toString())).toInt32();
    return v.toInt32();
}

QString parteTamanho(const Coluna& c) {
    const QString tipo = c.tipo.toLower();
    if (tipo == u"binary" || tipo == u"char" || tipo == u"nchar" || tipo == u"nvarchar" || tipo == u"varbinary" ||
        tipo == u"varchar") {
        return u'(' + QString::number(c.comprimento) + u')';
    }
    if (tipo == u"decimal" || tipo == u"numeric") {
        QString s = u'(' + QString::number(c.precisao) + u',' + QString::number(c.escala) + u')';
        if (c.identidade == 1) {
            s += QStringLiteral(" IDENTITY (") + QString::number(c.semente) + u',' + QString::number(c.incremento) +
                 u')';
        }
        return s;
    }
    if (tipo == u"uniqueidentifier") return c.rowGuid == 1 ? QStringLiteral("ROWGUIDCOL") : QString();
    return QString();
}

// The next result of sp_help (a closed recordset for a result without rows); a closed one
// too when the results have run out.
data::Recordset seguinte(data::Recordset& rs) {
    try {
        return rs.NextRecordset();
    } catch (const std::exception&) {
        return data::Recordset();
    }
}

}  // namespace

QString CSql::DuplicateStructure(const QString& strServer, const QString& strLogin, const QString& strPwd,
                                 const QString& strDataBase, const QString& strTable, const QString& strDestinTable) {
    data::Connection conn;
    std::int32_t& errC = util::programaErrC();
    QString& errD = util::programaErrD();
    if (!CreateDbConnection(conn, strServer, strDataBase, strLogin, strPwd, kTimeoutEstrutura, errC, errD)) {
        platform::MsgBox(QString::number(errC) + u'\r' + errD, platform::mb::Critical);
        return QString();
    }

    std::vector<Coluna> colunas;
    data::Recordset rs = executa(conn, csqltexto::Help(strTable));
    rs = seguinte(rs);  // the column list
    while (!rs.EOF()) {
        Coluna c;
        c.nome = textoDe(rs.Fields(QStringLiteral("Column_name")).Value());
        c.tipo = textoDe(rs.Fields(QStringLiteral("Type")).Value());
        c.comprimento = valor16(rs.Fields(QStringLiteral("Length")).Value());
        const QString tipo = c.tipo.toLower();
        if (tipo == u"nchar" || tipo == u"nvarchar") c.comprimento = static_cast<std::int16_t>(c.comprimento / 2);
        c.precisao = valor16(data::Variant(textoDe(rs.Fields(QStringLiteral("Prec")).Value())));
        c.escala = valor16(data::Variant(textoDe(rs.Fields(QStringLiteral("Scale")).Value())));
        c.nula = textoDe(rs.Fields(QStringLiteral("Nullable")).Value()) == QStringLiteral("yes") ? 1 : 0;
        colunas.push_back(c);
        rs.MoveNext();
    }

    rs = seguinte(rs);  // the identity column
    if (rs.State() == data::ado::adStateOpen && !eFun().IsVazio(rs)) {
        const QString identidade = textoDe(rs.Fields(QStringLiteral("Identity")).Value());
        for (Coluna& c : colunas) {
            if (c.nome == identidade) {
                c.identidade = 1;
                c.semente = valor32(rs.Fields(QStringLiteral("Seed")).Value());
                c.incremento = valor32(rs.Fields(QStringLiteral("Increment")).Value());
                break;
            }
        }
    }

    rs = seguinte(rs);  // the row-GUID column
    if (rs.State() == data::ado::adStateOpen && !eFun().IsVazio(rs)) {
        const QString rowGuid = textoDe(rs.Fields(QStringLiteral("RowGuidCol")).Value());
        for (Coluna& c : colunas) {
            if (c.nome == rowGuid) c.rowGuid = 1;
        }
    }

    for (int i = 0; i < 5; ++i) rs = seguinte(rs);  // the constraint list
    if (rs.State() == data::ado::adStateOpen) {
        while (!rs.EOF()) {
            const QString tipo = textoDe(rs.Fields(QStringLiteral("Constraint_Type")).Value()).toLower();
            const QString chaves = textoDe(rs.Fields(QStringLiteral("Constraint_keys")).Value());
            for (Coluna& c : colunas) {
                if (tipo.contains(QStringLiteral("primary key")) && chaves == c.nome) c.chavePrimaria = 1;
                if (tipo.contains(QStringLiteral("default")) && tipo.contains(c.nome.toLower())) c.omissao = chaves;
            }
            rs.MoveNext();
        }
        rs.Close();
    }
    conn.Close();

    // A temporary table's constraint names carry the time of day, so that copies made at
    // different moments do not share them.
    QString marcaDF = QStringLiteral("DF_");
    QString marcaPK = QStringLiteral("PK_");
    if (strDestinTable.startsWith(u'#')) {
        const QTime agora = platform::now().time();
        const QString hora =
            QString::number(agora.hour()) + QString::number(agora.minute()) + QString::number(agora.second()) + u'_';
        marcaDF = QStringLiteral("DF") + hora;
        marcaPK = QStringLiteral("PK") + hora;
    }

    QString script = QStringLiteral("Create Table [dbo].[") + strDestinTable + QStringLiteral("] (") + u'\r';
    for (std::size_t i = 0; i < colunas.size(); ++i) {
        const Coluna& c = colunas[i];
        script += u'[' + c.nome + QStringLiteral("] [") + c.tipo + QStringLiteral("] ") + parteTamanho(c);
        script += c.nula != 0 ? QStringLiteral(" NULL") : QStringLiteral(" NOT NULL");
        if (!c.omissao.isEmpty()) {
            script += QStringLiteral(" CONSTRAINT ") + marcaDF + strDestinTable + u'_' + c.nome +
                      QStringLiteral(" DEFAULT (") + c.omissao + QStringLiteral(") ");
        }
        if (i + 1 < colunas.size()) script += QStringLiteral(", ") + u'\r';
    }
    script += QStringLiteral(")  ON [PRIMARY]");
    for (const Coluna& c : colunas) {
        if (c.chavePrimaria != 1) continue;
        script += u'\r' + QStringLiteral("ALTER TABLE [dbo].[") + strDestinTable +
                  QStringLiteral("] WITH NOCHECK ADD CONSTRAINT [") + marcaPK + strDestinTable +
                  QStringLiteral("] PRIMARY KEY  NONCLUSTERED ( [") + c.nome + QStringLiteral("] )  ON [PRIMARY]");
    }
    return script;
}

QString CSql::CreateFieldList(const data::Recordset& rstRecordset, const QString& strFieldSep,
                              const QString& ExcludeFields) {
    const QString excluir = ExcludeFields.toUpper();
    const bool haExclusoes = !util::trimBlanks(ExcludeFields).isEmpty();
    QString lista;
    const data::FieldList campos = rstRecordset.Fields();
    for (long i = 0; i < campos.Count(); ++i) {
        const QString nome = campos.Item(i).Name();
        if (haExclusoes && excluir.contains(nome.toUpper())) continue;
        lista += nome + strFieldSep;
    }
    // Without a listed field there is no separator to remove: an invalid argument.
    if (lista.size() < strFieldSep.size()) platform::raiseInvalidCall();
    lista.chop(strFieldSep.size());
    return lista;
}

bool CSql::SQLDropField(data::Connection& connActiva, const QString& Table, const QString& Column,
                        Ref<std::int32_t> errC, Ref<QString> errD) {
    try {
        executa(connActiva, csqltexto::DropColumn(Table, Column));
        return true;
    } catch (const std::exception& e) {
        const Erro erro = erroDe(e);
        *errC = static_cast<std::int32_t>(erro.numero);
        *errD = erro.descricao;
        return false;
    }
}
