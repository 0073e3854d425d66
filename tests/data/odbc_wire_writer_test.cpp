// Rows of a table without key columns (a heap, as most company tables are) written back
// through the SQL Server provider, on the wire: the real unixODBC and FreeTDS talk to the
// loopback responder (support/tds_responder.py), whose log shows what the writer sent.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/dberror.h"
#include "data/odbc/odbc_provider.h"
#include "data/odbc_wire_fixture.h"
#include "util/EDiv.h"

using namespace data;
using namespace data::provider;
using testsupport::TdsTestServer;

namespace {

constexpr long kRowNotFound = -2147217864;
constexpr long kNoKey = -2147467259;

// What SQL Server answers for a heap: no primary key and no best row identifier. The rows of
// Clientes and of Log (whose id is an identity column).
const char* const kHeapRules = R"js(
    {"proc": "sp_pkeys", "reply": [{"result": {"columns": [{"name": "TABLE_QUALIFIER", "type": "nvarchar(128)"},
        {"name": "TABLE_OWNER", "type": "nvarchar(128)"}, {"name": "TABLE_NAME", "type": "nvarchar(128)"},
        {"name": "COLUMN_NAME", "type": "nvarchar(128)"}, {"name": "KEY_SEQ", "type": "smallint"},
        {"name": "PK_NAME", "type": "nvarchar(128)"}], "rows": []}}]},
    {"proc": "sp_special_columns", "reply": [{"result": {"columns": [{"name": "SCOPE", "type": "smallint"},
        {"name": "COLUMN_NAME", "type": "nvarchar(128)"}, {"name": "DATA_TYPE", "type": "smallint"},
        {"name": "TYPE_NAME", "type": "nvarchar(128)"}, {"name": "PRECISION", "type": "int"},
        {"name": "LENGTH", "type": "int"}, {"name": "SCALE", "type": "smallint"},
        {"name": "PSEUDO_COLUMN", "type": "smallint"}], "rows": []}}]},
    {"text": "(?i)^select top \\(1\\) \\[Foto\\]", "reply": [{"result": {"columns": [{"name": "Foto", "type": "image"}],
        "rows": [["0x0A0B"]]}}]},
    {"text": "(?i)^select Foto from", "reply": [{"result": {"columns": [{"name": "Foto", "type": "image"}],
        "rows": [["0x0102"]]}}]},
    {"text": "(?i)^select id, Nome from Log", "reply": [{"result": {"columns": [
        {"name": "id", "type": "int", "identity": true, "nullable": false}, {"name": "Nome", "type": "nvarchar(20)"}],
        "rows": [[7, "x"]]}}]},
    {"text": "(?i)^select", "reply": [{"result": {"columns": [{"name": "Codigo", "type": "varchar(10)"},
        {"name": "Nome", "type": "nvarchar(20)"}, {"name": "Saldo", "type": "money"}, {"name": "Foto", "type": "image"},
        {"name": "Dt", "type": "datetime"}], "rows": [["C1", null, 12.5, "0x0102", "2017-01-05 10:11:12.003"]]}}]},
    {"text": "(?i)^(update|delete)", "times": 3, "reply": [{"count": 1}]},
    {"text": "(?i)^(update|delete)", "reply": [{"count": 0}]})js";

class OdbcWireWriter : public wiretest::OdbcWire {
protected:
    void SetUp() override {
        OdbcWire::SetUp();
        if (!IsSkipped()) start();
    }

    // A fresh responder (its counts of replies start again) and a session on it.
    void start() {
        session_.reset();
        OdbcWire::start((std::string("{\"rules\": [") + kHeapRules + "]}").c_str());
    }

    Result open(const QString& text, long commandType = ado::adCmdText, std::vector<Parameter> params = {}) {
        Request r;
        r.text = text;
        r.commandType = commandType;
        r.updatable = true;
        r.parameters = std::move(params);
        auto results = session_->execute(r);
        EXPECT_EQ(results.size(), 1u);
        EXPECT_TRUE(!results.empty() && results.front().writer);
        return results.empty() ? Result{} : results.front();
    }

    // The writer's statements (UPDATE, DELETE, SELECT TOP) as the server received them, each
    // marker replaced by its value in braces.
    std::string written() const {
        QStringList out;
        for (const auto& rpc : server_->requestsOf(QStringLiteral("rpc"))) {
            QString text = rpc[QStringLiteral("text")].toString();
            if (!text.contains(QRegularExpression(QStringLiteral("^(UPDATE|DELETE|SELECT TOP)")))) continue;
            // sp_executesql: the text, the declarations, then one value per marker.
            const QJsonArray params = rpc[QStringLiteral("params")].toArray();
            for (qsizetype i = params.size() - 1; i >= 2; --i) {
                text.replace(QStringLiteral("@P%1").arg(i - 1),
                             u'{' + params[i][QStringLiteral("value")].toVariant().toString() + u'}');
            }
            out << text;
        }
        return out.join(u'\n').toStdString();
    }

};

// The statement's condition and every value read (the long ones aside) find the row, and one
// row at most is touched; a second update finds the row by the values the first one wrote.
TEST_F(OdbcWireWriter, HeapRowsAreFoundByTheirConditionAndValues) {
    const struct {
        QString text;
        long commandType;
        QString where;
    } cases[] = {
        // A comment inside the condition keeps its line end; the one after it is left behind.
        {QStringLiteral("select Codigo, Nome, Saldo, Foto, Dt from Clientes with (nolock) where Codigo = 'C1' -- or\n"
                        " or Nome like '%a' -- the old ones\norder by Nome"),
         ado::adCmdText, QStringLiteral(" WHERE (Codigo = 'C1' -- or\n or Nome like '%a') AND")},
        {QStringLiteral("Clientes"), ado::adCmdTable, QStringLiteral(" WHERE")},
    };
    const QString dt = QStringLiteral("{2017-01-05T10:11:12.003}");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        start();
        Result r = open(c.text, c.commandType);
        ASSERT_EQ(r.rows.size(), 1u);
        EXPECT_EQ(r.rows[0][3].toBytes(), QByteArray::fromHex("0102")) << "a keyless result reads long values at once";
        r.writer->update(r.keys[0], {{2, Variant(Currency::fromRaw(200000))}});
        r.writer->update(r.keys[0], {{2, Variant(Currency::fromRaw(300000))}, {3, Variant(QByteArray("\x0C"))}});
        EXPECT_EQ(r.writer->longValue(r.keys[0], 3).toBytes(), QByteArray::fromHex("0A0B"));
        r.writer->remove(r.keys[0]);
        try {
            r.writer->update(r.keys[0], {{1, Variant(QStringLiteral("y"))}});
            ADD_FAILURE() << "a row that is gone was updated";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), kRowNotFound);
        }
        const QString values =
            QStringLiteral(" [Codigo] = {C1} AND [Nome] IS NULL AND [Saldo] = {%1} AND CAST([Dt] AS datetime2(3)) = ") + dt;
        const QStringList expected{
            "UPDATE TOP (1) Clientes SET [Saldo] = {20.0000}" + c.where + values.arg("12.5000"),
            "UPDATE TOP (1) Clientes SET [Saldo] = {30.0000}, [Foto] = {0x0C}" + c.where + values.arg("20.0000"),
            "SELECT TOP (1) [Foto] FROM Clientes" + c.where + values.arg("30.0000"),
            "DELETE TOP (1) FROM Clientes" + c.where + values.arg("30.0000"),
            "UPDATE TOP (1) Clientes SET [Nome] = {y}" + c.where + values.arg("30.0000"),
        };
        EXPECT_EQ(written(), expected.join(u'\n').toStdString());
    }
}

// The identity column alone finds a row, and two results of it know the same row; without a
// condition that the writer can repeat, or without anything to compare, no row is touched; a
// row added through a result is found by its values.
TEST_F(OdbcWireWriter, TheIdentityColumnOrNothingElseFindsTheRow) {
    Result log = open(QStringLiteral("select id, Nome from Log where Nome = 'x'"));
    log.writer->update(log.keys[0], {{1, Variant(QStringLiteral("z"))}});
    EXPECT_EQ(written(), "UPDATE Log SET [Nome] = {z} WHERE [id] = {7}");
    Result again = open(QStringLiteral("select id, Nome from Log where Nome = 'x'"));
    EXPECT_TRUE(log.writer->sameRow(log.keys[0], *again.writer, again.keys[0]));

    Result heap = open(QStringLiteral("Clientes"), ado::adCmdTable);
    Result heapAgain = open(QStringLiteral("Clientes"), ado::adCmdTable);
    EXPECT_FALSE(heap.writer->sameRow(heap.keys[0], *heapAgain.writer, heapAgain.keys[0]))
        << "equal values are no proof of the same row";

    Parameter code{QString(), ado::adVarChar, ado::adParamInput, 10, Variant(QStringLiteral("C1"))};
    const struct {
        QString text;
        std::vector<Parameter> params;
    } unfound[] = {
        {QStringLiteral("select Foto from Clientes where Codigo = ?"), {code}},
        {QStringLiteral("select Foto from Clientes"), {}},
    };
    for (const auto& c : unfound) {
        SCOPED_TRACE(c.text.toStdString());
        Result r = open(c.text, ado::adCmdText, c.params);
        try {
            r.writer->update(r.keys[0], {{0, Variant(QByteArray("\x01"))}});
            ADD_FAILURE() << "a row without a way to find it was written";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), kNoKey);
        }
    }
    EXPECT_EQ(written(), "UPDATE Log SET [Nome] = {z} WHERE [id] = {7}") << "nothing more was written";

    // A row added through the result need not meet the statement's condition: its values find it.
    Result empty = open(QStringLiteral("select Codigo, Nome, Saldo, Foto, Dt from Clientes where 1 = 0"));
    const Variant added = empty.writer->insert({{0, Variant(QStringLiteral("N1"))}}).first;
    empty.writer->update(added, {{1, Variant(QStringLiteral("n"))}});
    EXPECT_EQ(written(), "UPDATE Log SET [Nome] = {z} WHERE [id] = {7}\n"
                         "UPDATE TOP (1) Clientes SET [Nome] = {n} WHERE [Codigo] = {N1} AND [Nome] IS NULL AND "
                         "[Saldo] IS NULL AND [Dt] IS NULL");
}

// The image member's recordset on a heap: the file's bytes go to the row of the condition.
TEST_F(OdbcWireWriter, AnImageReachesItsHeapRow) {
    QTemporaryDir temp;
    QByteArray bytes(5000, '\0');
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    QFile file(temp.filePath(QStringLiteral("foto.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    Connection connection;
    connection.Open(connectionString(), QString(), QStringLiteral("secret"));
    EDiv e;
    e.AddImagemToTable(file.fileName(), connection, QStringLiteral("Clientes"), QStringLiteral("Foto"),
                       QStringLiteral("Codigo='C1'"));
    EXPECT_EQ(written(), "UPDATE TOP (1) Clientes SET [Foto] = {0x" + bytes.toHex().toUpper().toStdString() +
                             "} WHERE (Codigo='C1')");
}

}  // namespace
