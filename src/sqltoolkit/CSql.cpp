#include "sqltoolkit/CSql.h"

#include <exception>

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/recordset.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/sqltext.h"

namespace {

// ADO's number for a failure it cannot name more precisely (E_FAIL).
constexpr std::int32_t kUnspecifiedError = static_cast<std::int32_t>(0x80004005u);

// Runs one statement on the connection, without a records-affected output and with the options
// left to the provider; any failure is the answer False.
bool runStatement(data::Connection& conn, const QString& text) {
    try {
        conn.Execute(text, nullptr, -1);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Opens a catalogue procedure's result and answers whether it holds a row.
bool procedureHasRows(data::Connection& conn, const QString& text) {
    try {
        data::Recordset rs = conn.Execute(text, nullptr, -1);
        const bool found = !eFun().IsVazio(rs);
        rs.Close();
        return found;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

CSql& gobjSql() {
    static CSql instance;
    return instance;
}

namespace csqltexto {

using util::sqlApostrofos;

QString CheckField(const QString& strTable, const QString& strField) {
    return QStringLiteral("sp_columns @table_name = '") + sqlApostrofos(strTable) + QStringLiteral("',@COLUMN_NAME='") +
           sqlApostrofos(strField) + QStringLiteral("'");
}

QString CheckTable(const QString& strTable) {
    return QStringLiteral("sp_tables @table_name = '") + sqlApostrofos(strTable) + QStringLiteral("'");
}

QString CreateTable(const QString& strTable) {
    return QStringLiteral(" create table ") + strTable +
           QStringLiteral(" ( NumRegisto numeric (18,0) identity (1,1) not null )");
}

QString CreateKey(const QString& strTable) {
    return QStringLiteral("ALTER TABLE [dbo].[") + strTable + QStringLiteral("] WITH NOCHECK ADD  CONSTRAINT [PK_") +
           strTable + QStringLiteral("] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]");
}

QString AddField(const QString& strTable, const QString& strField, const QString& strTypes) {
    return QStringLiteral(" alter table ") + strTable + QStringLiteral(" add ") + strField + u' ' + strTypes;
}

QString ChangeField(const QString& strTable, const QString& strField, const QString& strTypes) {
    return QStringLiteral(" alter table ") + strTable + QStringLiteral(" ALTER COLUMN ") + strField + u' ' + strTypes;
}

QString CreateIndex(const QString& strName, const QString& strTable, const QString& strFields, bool blnUnique) {
    return (blnUnique ? QStringLiteral("CREATE UNIQUE INDEX [") : QStringLiteral("CREATE INDEX [")) + strName +
           QStringLiteral("] on [dbo].[") + strTable + QStringLiteral("] ( ") + strFields +
           QStringLiteral(" ) ON [PRIMARY]");
}

QString CheckIndex(const QString& strTable, const QString& strIndexName) {
    return QStringLiteral("sp_indexes @table_name = '") + sqlApostrofos(strTable) +
           QStringLiteral("' , @index_name= '") + sqlApostrofos(strIndexName) + QStringLiteral("'");
}

}  // namespace csqltexto

bool CSql::CreateDbConnection(data::Connection& connServer, const QString& Server, const QString& dDataBase,
                              const QString& uID, const QString& Pwd, std::int32_t lngTimeout,
                              Ref<std::int32_t> errCode, Ref<QString> errDescription) {
    // A value goes in as written unless it holds ";" or opens with a quote, which ADO's quotes
    // then enclose. The password is not part of the string at all: it travels only in the open
    // call, so no copy of the connection string ever holds it.
    const QString text = QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") +
                         data::quoteConnectionValue(uID) + QStringLiteral(";Initial Catalog=") +
                         data::quoteConnectionValue(dDataBase) + QStringLiteral(";Data Source=") +
                         data::quoteConnectionValue(Server);
    try {
        connServer.setCommandTimeout(0);
        connServer.setConnectionTimeout(lngTimeout);
        connServer.setConnectionString(text);
        connServer.Open(QString(), QString(), Pwd, -1);
        return true;
    } catch (const platform::RuntimeError& e) {
        *errCode = static_cast<std::int32_t>(e.number());
        *errDescription = e.description();
    } catch (const std::exception& e) {
        *errCode = kUnspecifiedError;
        *errDescription = QString::fromLocal8Bit(e.what());
    }
    return false;
}

bool CSql::SQLCheckField(data::Connection& conn, const QString& strTable, const QString& strField) {
    return procedureHasRows(conn, csqltexto::CheckField(strTable, strField));
}

bool CSql::SQLCheckTable(data::Connection& conn, const QString& strTable) {
    return procedureHasRows(conn, csqltexto::CheckTable(strTable));
}

bool CSql::SQLCreateTable(data::Connection& conn, const QString& strTable) {
    // The key is added only to a table this call created: an existing table is left alone.
    if (!runStatement(conn, csqltexto::CreateTable(strTable))) return false;
    return runStatement(conn, csqltexto::CreateKey(strTable));
}

data::Variant CSql::SQLAddField(data::Connection& conn, const QString& strTable, const QString& strField,
                                const QString& strTypes) {
    return Variant(runStatement(conn, csqltexto::AddField(strTable, strField, strTypes)));
}

data::Variant CSql::SQLChangeField(data::Connection& conn, const QString& strTable, const QString& strField,
                                   const QString& strTypes) {
    return Variant(runStatement(conn, csqltexto::ChangeField(strTable, strField, strTypes)));
}

data::Variant CSql::SQLCreateIndex(data::Connection& conn, const QString& strName, const QString& strTable,
                                   const QString& strFields, bool blnUnique) {
    return Variant(runStatement(conn, csqltexto::CreateIndex(strName, strTable, strFields, blnUnique)));
}

bool CSql::SQLCheckIndex(data::Connection& conn, const QString& strTable, const QString& strIndexName) {
    return procedureHasRows(conn, csqltexto::CheckIndex(strTable, strIndexName));
}
