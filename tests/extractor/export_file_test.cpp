// The export file written from staged records: every record type byte for byte, the trailer's
// counts and total, the end of the file, and what a failing writer leaves behind.
//
// Expected records are written out here from the layout of each record (field by field, with
// their widths), in Windows-1252 bytes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace {

using data::Variant;
using testsupport::RunDatabases;
using Access = clsVelmoraTestAccess;

const QByteArray kCrLf("\r\n");

// A left-justified field: the bytes followed by blanks up to the width.
QByteArray L(const QByteArray& bytes, int width) {
    EXPECT_LE(bytes.size(), width) << bytes.constData();
    return bytes.leftJustified(width, ' ');
}

Variant money(const char* text) { return *data::Currency::parse(QString::fromLatin1(text)); }


class ExportFileTest : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("NRT170307.MOV")) const {
        return dir_.path() + u'/' + name;
    }

    void write(const QString& name = QStringLiteral("NRT170307.MOV"), const QString& sistema = QStringLiteral("SISTEMA NORTA"),
               bool manual = false) {
        clsVelmora v;
        Access::CriaFicheiro(v, *db_.geral, "2017-01-01", "2017-03-07", path(name), name, sistema, manual, host_);
    }

    QByteArray file(const QString& name = QStringLiteral("NRT170307.MOV")) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }

    std::vector<std::pair<QString, QString>> log() const {
        std::vector<std::pair<QString, QString>> out;
        for (const auto& r : db_.staging("select Opcao, Texto from LogGeral order by NumRegisto")) {
            out.emplace_back(r[0].toString(), r[1].isNull() ? QStringLiteral("<null>") : r[1].toString());
        }
        return out;
    }

    // Names in the export folder other than the given ones: a failed write must leave none.
    QStringList othersInFolder(const QStringList& expected = {}) const {
        QStringList names = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& e : expected) names.removeAll(e);
        return names;
    }

    void expectFailure(const QString& why) {
        SCOPED_TRACE(why.toStdString());
        ASSERT_EQ(host_.criticalMessages, QStringList{QStringLiteral("Falha no Processo")});
        ASSERT_EQ(log().size(), 1u);
        EXPECT_EQ(log()[0].first, QStringLiteral("Função Cria Ficheiro"));
        EXPECT_FALSE(log()[0].second.isEmpty());
        EXPECT_TRUE(host_.events.contains(QStringLiteral("pointer:default")));
    }

    static QByteArray header(const QByteArray& name = "NRT170307.MOV") {
        return "0" + L("SISTEMA NORTA", 32) + "2017" + "03" + "07" + "140509" + L(name, 14) + kCrLf;
    }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    RunDatabases db_;
    testsupport::RecordingRunHost host_;
};

TEST_F(ExportFileTest, NothingToSendGivesHeaderAndTrailerOnly) {
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", ""}, {"Codigo", "C1"}});
    write();
    const QByteArray expected = header() + "9" + QByteArray("00000000").repeated(9) + QByteArray(13, ' ') + "000" +
                                kCrLf;
    EXPECT_EQ(file(), expected);
    EXPECT_EQ(expected.size(), 61 + 2 + 89 + 2);
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(othersInFolder({"NRT170307.MOV"}), QStringList());
}

TEST_F(ExportFileTest, EveryRecordTypeByteForByte) {
    // Customers: new, changed (most columns Null), gone; inactive, unmarked and unknown letters
    // stay out of the file.
    db_.insertStaging("Clientes",
           {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", "C1"}, {"Descricao", "João Ávila"},
            {"Designacao", "Mercearia Ção"}, {"Contribuinte", "123456789"}, {"BI_NIPC", "BI1"},
            {"Morada", "Rua d'Ouro 1"}, {"Localidade", "Lisboa"}, {"Distrito", "Lisboa"}, {"Concelho", "Oeiras"},
            {"CodPost", "1000-001 LISBOA"}, {"Pais", "Portugal"}, {"Segmento", "Retalho"}});
    db_.insertStaging("Clientes",
           {{"Activo", std::int16_t{1}}, {"Status", "A"}, {"Codigo", "C2"}, {"Descricao", "Cliente Dois"},
            {"Contribuinte", "PT5012345678"}});
    db_.insertStaging("Clientes",
           {{"Activo", std::int16_t{1}}, {"Status", "E"}, {"Codigo", "C3"}, {"Descricao", "Euro € Lda"},
            {"Designacao", "  Espaços  "}, {"Contribuinte", "  12 "}, {"Pais", ""}});
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{0}}, {"Status", "N"}, {"Codigo", "C4"}});
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", ""}, {"Codigo", "C5"}});
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", "X"}, {"Codigo", "C6"}});

    // Products: a price with ten integer digits still fits its 13 characters.
    db_.insertStaging("Produtos",
           {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", "P1"}, {"CodigoBarras", "P1"},
            {"Descricao", "Café Moído"}, {"UnidadeVenda", "KG"}, {"PVP", money("12.5")},
            {"NomeFornecedor", "Torrefacção Lda"}});
    db_.insertStaging("Produtos",
           {{"Activo", std::int16_t{1}}, {"Status", "A"}, {"Codigo", "P2"}, {"Descricao", "Produto Dois"},
            {"UnidadeVenda", "UN"}, {"PVP", money("9999999999.99")}});
    db_.insertStaging("Produtos",
           {{"Activo", std::int16_t{1}}, {"Status", "E"}, {"Codigo", "P3"}, {"Descricao", "Tr\u00eas"},
            {"UnidadeVenda", "CX"}, {"PVP", money("-3")}, {"NomeFornecedor", "F"}});
    db_.insertStaging("Produtos", {{"Status", "N"}, {"Codigo", "P4"}, {"PVP", money("1")}});

    // Sales lines in the order of their kind (sales, offers, returns), each by date.
    db_.insertStaging("Movimentos",
           {{"Status", "N"}, {"Mascara", "V"}, {"Data", "2017-01-05"}, {"TipoVenda", "C"}, {"CodigoVendedor", "01"},
            {"CodigoCliente", "C1"}, {"CodigoProduto", "P1"}, {"Quantidade", money("2")}, {"Valor", money("25")},
            {"UnidadeVenda", "KG"}, {"IEC", "S"}});
    db_.insertStaging("Movimentos",
           {{"Status", "E"}, {"Mascara", "V"}, {"Data", "2017-01-03"}, {"CodigoVendedor", "2"},
            {"CodigoCliente", "C2"}, {"CodigoProduto", "P2"}, {"Quantidade", money("-2")},
            {"Valor", money("-10.5")}, {"UnidadeVenda", "UN"}});
    db_.insertStaging("Movimentos",
           {{"Status", "A"}, {"Mascara", "V"}, {"Data", "2017-01-04"}, {"TipoVenda", "V"}, {"CodigoVendedor", "01"},
            {"CodigoCliente", "C1"}, {"CodigoProduto", "P2"}, {"Quantidade", money("0.333")},
            {"Valor", money("7.3")}, {"UnidadeVenda", "UN"}, {"IEC", "N"}});
    db_.insertStaging("Movimentos",
           {{"Status", "N"}, {"Mascara", "EO"}, {"Data", "2017-01-06"}, {"CodigoVendedor", "01"},
            {"CodigoCliente", "C1"}, {"CodigoProduto", "P1"}, {"Quantidade", money("1")}, {"Valor", money("4.25")},
            {"UnidadeVenda", "KG"}});
    db_.insertStaging("Movimentos",
           {{"Status", "A"}, {"Mascara", "D"}, {"Data", "2017-01-02"}, {"CodigoVendedor", "03"},
            {"CodigoCliente", "C2"}, {"CodigoProduto", "P3"}, {"Quantidade", money("-1")},
            {"Valor", money("-12.5")}, {"UnidadeVenda", "UN"}, {"IEC", "N"}});
    // A sales adjustment has no record type: out of the file, the counts and the total.
    db_.insertStaging("Movimentos",
           {{"Status", "N"}, {"Mascara", "AV"}, {"Data", "2017-01-07"}, {"CodigoCliente", "C1"},
            {"CodigoProduto", "P1"}, {"Quantidade", money("1")}, {"Valor", money("100")}});
    db_.insertStaging("Movimentos",
           {{"Status", ""}, {"Mascara", "V"}, {"Data", "2017-01-01"}, {"CodigoCliente", "C1"},
            {"CodigoProduto", "P1"}, {"Quantidade", money("1")}, {"Valor", money("1000")}});

    write();

    QByteArray expected = header();
    // Customers (566 characters).
    expected += "1 011 " + L("C1", 10) + L("Jo\xe3o \xc1vila", 80) + L("Mercearia \xc7\xe3o", 80) + " 123456789" +
                L("BI1", 10) + L("Rua d'Ouro 1", 60) + L("Lisboa", 50) + L("Lisboa", 50) + L("Oeiras", 50) +
                L("1000-001 LISBOA", 60) + L("Portugal", 50) + L("Retalho", 50) + kCrLf;
    expected += "1 012 " + L("C2", 10) + L("Cliente Dois", 80) + L("", 80) + "PT50123456" + L("", 10) + L("", 60) +
                L("", 50) + L("", 50) + L("", 50) + L("", 60) + L("", 50) + L("", 50) + kCrLf;
    expected += "1 013 " + L("C3", 10) + L("Euro \x80 Lda", 80) + L("Espa\xe7os", 80) + "        12" + L("", 10) +
                L("", 60) + L("", 50) + L("", 50) + L("", 50) + L("", 60) + L("", 50) + L("", 50) + kCrLf;
    // Products (189 characters).
    expected += "1 101 " + L("P1", 15) + L("P1", 20) + L("Caf\xe9 Mo\xed" "do", 80) + L("KG", 5) + "000000001250 " +
                L("Torrefac\xe7\xe3o Lda", 50) + kCrLf;
    expected += "1 102 " + L("P2", 15) + L("P2", 20) + L("Produto Dois", 80) + L("UN", 5) + "999999999999 " +
                L("", 50) + kCrLf;
    expected += "1 103 " + L("P3", 15) + L("P3", 20) + L("Tr\xeas", 80) + L("CX", 5) + "000000000300-" + L("F", 50) +
                kCrLf;
    // Sales (82), offer delivery (62), return (181).
    expected += QByteArray("1 30") + "3 " + "20170103" + " " + L("2", 5) + L("C2", 10) + L("P2", 15) +
                "000000000200-" + "000000001050-" + "EUR  " + L("UN", 5) + " " + kCrLf;
    expected += QByteArray("1 30") + "2 " + "20170104" + "V" + L("01", 5) + L("C1", 10) + L("P2", 15) +
                "000000000033 " + "000000000730 " + "EUR  " + L("UN", 5) + "N" + kCrLf;
    expected += QByteArray("1 30") + "1 " + "20170105" + "C" + L("01", 5) + L("C1", 10) + L("P1", 15) +
                "000000000200 " + "000000002500 " + "EUR  " + L("KG", 5) + "S" + kCrLf;
    expected += QByteArray("1 40") + "1 " + "20170106" + L("01", 5) + L("C1", 10) + L("P1", 15) + "000000000100 " +
                L("KG", 5) + kCrLf;
    expected += QByteArray("1 31") + "2 " + "20170102" + L("03", 5) + L("C2", 10) + L("P3", 15) + "000000000100-" +
                "000000001250-" + "EUR  " + L("UN", 5) + L("", 100) + "N" + kCrLf;
    // Trailer: 11 records; N 4, A 4, E 3; 3 customers, 3 products, 4 sales and returns, 1
    // offer; the ninth count; 25 - 10.5 + 7.3 + 4.25 - 12.5 = 13.55.
    expected += QByteArray("9") + "00000011" + "00000004" + "00000004" + "00000003" + "00000003" + "00000003" +
                "00000004" + "00000001" + "00000000" + QByteArray(12, ' ') + "1355" + kCrLf;

    const QByteArray got = file();
    EXPECT_EQ(got, expected);
    // The expected records have the lengths of the layout.
    const QList<QByteArray> expLines = expected.split('\n');
    const std::vector<int> lengths{61, 566, 566, 566, 189, 189, 189, 82, 82, 82, 62, 181, 89};
    for (std::size_t i = 0; i < lengths.size(); ++i) EXPECT_EQ(expLines[i].size(), lengths[i] + 1) << i;
    EXPECT_TRUE(got.endsWith("\r\n") && !got.endsWith("\r\n\r\n"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ExportFileTest, AFailingWriterLeavesNoFileAndTheLettersAsTheyWere) {
    const auto reset = [&] {
        host_ = testsupport::RecordingRunHost();
        db_.execStaging("delete from LogGeral");
        db_.execStaging("delete from Produtos");
        db_.execStaging("delete from Movimentos");
    };
    const auto lettersKept = [&] {
        EXPECT_EQ(db_.stagingScalar("select count(*) from Produtos where Status<>''").toInt32() +
                      db_.stagingScalar("select count(*) from Movimentos where Status<>''").toInt32(),
                  db_.stagingScalar("select count(*) from Produtos").toInt32() +
                      db_.stagingScalar("select count(*) from Movimentos").toInt32());
        EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);
    };
    {
        QFile old(path());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("OLD");
    }
    const auto product = [&](const Variant& pvp) {
        db_.insertStaging("Produtos",
               {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", "P1"}, {"Descricao", "X"}, {"PVP", pvp}});
    };

    // A system name of 33 characters does not fit the header.
    product(money("1"));
    write(QStringLiteral("NRT170307.MOV"), QString(33, u'S'));
    expectFailure("system name");
    lettersKept();
    EXPECT_EQ(file(), QByteArray("OLD"));

    // A prefix of five characters makes a file name of 15.
    reset();
    product(money("1"));
    write(QStringLiteral("NORTA170307.MOV"));
    expectFailure("file name");
    EXPECT_FALSE(QFile::exists(path("NORTA170307.MOV")));

    // A price with eleven integer digits would be 14 characters wide.
    reset();
    product(money("99999999999.99"));
    write();
    expectFailure("price too wide");
    lettersKept();
    EXPECT_EQ(file(), QByteArray("OLD"));

    // A Null date, which no record can be written without.
    reset();
    db_.insertStaging("Movimentos",
           {{"Status", "N"}, {"Mascara", "EO"}, {"Data", Variant::null()}, {"CodigoCliente", "C1"},
            {"CodigoProduto", "P1"}, {"Quantidade", money("1")}, {"Valor", money("1")}});
    write();
    expectFailure("null date");
    lettersKept();
    EXPECT_EQ(file(), QByteArray("OLD"));

    // A date too short for its eight digits.
    reset();
    db_.insertStaging("Movimentos",
           {{"Status", "N"}, {"Mascara", "V"}, {"Data", "17-1-6"}, {"TipoVenda", "C"}, {"Quantidade", money("1")},
            {"Valor", money("1")}, {"IEC", "N"}});
    write();
    expectFailure("short date");
    EXPECT_EQ(file(), QByteArray("OLD"));

    // A folder that does not exist: nothing is created anywhere.
    reset();
    product(money("1"));
    clsVelmora v;
    Access::CriaFicheiro(v, *db_.geral, "2017-01-01", "2017-03-07", dir_.path() + "/missing/NRT170307.MOV",
                         "NRT170307.MOV", "SISTEMA NORTA", false, host_);
    expectFailure("missing folder");
    lettersKept();
    EXPECT_FALSE(QDir(dir_.path() + "/missing").exists());
    EXPECT_EQ(othersInFolder({"NRT170307.MOV"}), QStringList());
}

TEST_F(ExportFileTest, Formatters) {
    clsVelmora v;
    // Text fields: trimmed, left-justified, blank-filled; exactly full; too long is an error.
    EXPECT_EQ(Access::PreencheEspacos(v, "  ab ", 5), QStringLiteral("ab   "));
    EXPECT_EQ(Access::PreencheEspacos(v, "", 3), QStringLiteral("   "));
    EXPECT_EQ(Access::PreencheEspacos(v, "abcde", 5), QStringLiteral("abcde"));
    EXPECT_EQ(Access::PreencheEspacos(v, "\tx", 3), QStringLiteral("\tx "));
    EXPECT_THROW(Access::PreencheEspacos(v, "abcdef", 5), platform::RuntimeError);
    EXPECT_THROW(Access::PreencheEspacos(v, QString(40000, u'x'), 32767), platform::RuntimeError);
    EXPECT_EQ(Access::PreencheEspacos(v, QString(32767, u'x'), 32767).size(), 32767);

    // Numbers (the file tests show the usual cases): a negative total without its sign, zero
    // with its sign position, an empty fill, numeric text, and what cannot be written.
    const auto num = [&](const Variant& x, int w, int d, bool s, const char* fill) {
        return Access::FormataNumero(v, x, static_cast<std::int16_t>(w), static_cast<std::int16_t>(d), s,
                                     QString::fromLatin1(fill));
    };
    EXPECT_EQ(num(money("0"), 13, 2, true, "0"), QStringLiteral("000000000000 "));
    EXPECT_EQ(num(std::int32_t{7}, 8, 0, false, "0"), QStringLiteral("00000007"));
    EXPECT_EQ(num(money("-10.5"), 16, 2, false, " "), QStringLiteral("            1050"));
    EXPECT_EQ(num(money("5"), 4, 0, false, ""), QStringLiteral("0005")) << "an empty fill is zeros";
    EXPECT_EQ(num(QStringLiteral("12.5"), 13, 2, true, "0"), QStringLiteral("000000001250 ")) << "numeric text";
    EXPECT_THROW(num(money("99999999999.99"), 13, 2, true, "0"), platform::RuntimeError) << "too wide";
    EXPECT_THROW(num(Variant::null(), 13, 2, true, "0"), platform::RuntimeError) << "Null amount";
    EXPECT_THROW(num(QStringLiteral("abc"), 13, 2, true, "0"), platform::RuntimeError) << "not a number";

    // Dates: yyyy-mm-dd to yyyymmdd; short texts give what they have, never a crash.
    EXPECT_EQ(Access::DataParaAAAAMMDD(v, "2017-03-07").toString(), QStringLiteral("20170307"));
    EXPECT_EQ(Access::DataParaAAAAMMDD(v, "").toString(), QString());
    EXPECT_EQ(Access::DataParaAAAAMMDD(v, "2017").toString().size(), 6);
}

}  // namespace
