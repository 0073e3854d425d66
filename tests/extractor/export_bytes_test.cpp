// The writer builds its records in the code page's bytes, reading plain values where the
// recordset keeps them: values that need the general way (beyond ASCII, outside the code page,
// line breaks, blanks around them), many rows, and the numbers' digits made without FDNum's
// texts all give the bytes the layout asks for.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <tuple>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "platform/runtime_error.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"
#include "util/EDiv.h"
#include "util/Locale.h"

namespace {

using data::Currency;
using data::Variant;
using Access = clsVelmoraTestAccess;

QByteArray L(const QByteArray& bytes, int width) { return bytes.leftJustified(width, ' '); }

Variant money(const char* text) { return *Currency::parse(QString::fromLatin1(text)); }

// FormataNumero as FDNum and Zerar make it, the way the writer always made its numbers.
QString formataPorFDNum(const Variant& valor, std::int16_t largura, std::int16_t decimais, bool comSinal,
                        const QString& caracter) {
    const Currency c = valor.toCurrency();
    QString semMilhares = QStringLiteral("SSM");
    QString separador;
    const QString s = eFun().FDNum(c, decimais, 0, 0, semMilhares, separador);
    QString digitos;
    for (const QChar ch : s) {
        if (ch >= u'0' && ch <= u'9') digitos += ch;
    }
    if (comSinal) digitos += c.raw() < 0 ? u'-' : u'+';
    std::int16_t n = largura;
    QString enchimento = caracter.left(1);
    QString r = eFun().Zerar(digitos, n, enchimento);
    if (r.endsWith(u'+')) r[r.size() - 1] = u' ';
    if (r.size() > largura) return QStringLiteral("<overflow>");
    return r;
}

QString formata(const Variant& valor, std::int16_t largura, std::int16_t decimais, bool comSinal,
                const QString& caracter) {
    clsVelmora v;
    try {
        return Access::FormataNumero(v, valor, largura, decimais, comSinal, caracter);
    } catch (const platform::RuntimeError& e) {
        return e.number() == 6 ? QStringLiteral("<overflow>") : QStringLiteral("<error>");
    }
}

class ExportBytesTest : public ::testing::Test {
protected:

    // The file's records without the header; "<failed>" when the writer stopped.
    QByteArray write() {
        const QString path = dir_.path() + QStringLiteral("/NRT170307.MOV");
        clsVelmora v;
        try {
            Access::EscreveFicheiro(v, *db_.geral, path, QStringLiteral("NRT170307.MOV"), QStringLiteral("S"));
        } catch (const platform::RuntimeError&) {
            return "<failed>";
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return "<no file>";
        const QByteArray all = f.readAll();
        return all.mid(all.indexOf("\r\n") + 2);
    }

    void sale(const char* status, const Variant& tipoVenda, const Variant& iec, const char* data = "2017-01-05") {
        db_.insertStaging("Movimentos", {{"Status", status}, {"Mascara", "V"}, {"Data", data}, {"TipoVenda", tipoVenda},
                              {"CodigoVendedor", "01"}, {"CodigoCliente", "C1"}, {"CodigoProduto", "P1"},
                              {"Quantidade", money("1")}, {"Valor", money("2")}, {"UnidadeVenda", "UN"}, {"IEC", iec}});
    }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    testsupport::RunDatabases db_;
};

TEST_F(ExportBytesTest, ValuesBeyondPlainAsciiTakeTheGeneralWay) {
    // Outside the code page: one "?" a character (a pair of surrogates is one character);
    // characters 0x80-0x9F of the code page; line breaks as blanks; blanks around values,
    // also inside the first ten characters of the taxpayer number.
    db_.insertStaging("Clientes",
           {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", " C1\r"}, {"Descricao", "\u0416 \U0001F600 \u2022"},
            {"Designacao", "a\r\nb"}, {"Contribuinte", " 1234567890123"}, {"BI_NIPC", "\u0081\u00ff"},
            {"Morada", QString(30, u'\u00e7')}, {"Localidade", Variant::null()}, {"Distrito", "  "}});
    // Status letters are exact: lower case and blanks after them are no letter.
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", "n"}, {"Codigo", "C2"}});
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", "N "}, {"Codigo", "C3"}});
    const QByteArray got = write();
    const QByteArray record = "1 011 " + L("C1", 10) + L("? ? \x95", 80) + L("a  b", 80) + " 123456789" +
                              L("\x81\xff", 10) + L(QByteArray(30, '\xe7'), 60) + L("", 50) + L("", 50) + L("", 50) +
                              L("", 60) + L("", 50) + L("", 50) + "\r\n";
    EXPECT_EQ(got.left(record.size()), record);
    EXPECT_EQ(got.mid(record.size(), 9), QByteArray("900000001"));

    db_.execStaging("delete from Clientes");
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", QString(9, u'\u0416') + u'x'}});
    EXPECT_TRUE(write().startsWith("1 011 ?????????x")) << "ten characters fit";
}

TEST_F(ExportBytesTest, OneCharacterFieldsAndDates) {
    // TipoVenda and IEC: one character as stored, a blank for Null or nothing, a character
    // outside the code page as "?".
    sale("N", Variant::null(), "", "2017-01-05");
    sale("A", "\u20ac", "\u0416", "2017-01-06");
    sale("E", " ", "\n", "2017-01-07");
    QByteArray got = write();
    const auto line = [](const char* status, const QByteArray& tipo, const QByteArray& iec, const char* day = "05") {
        return QByteArray("1 30") + status + "201701" + day + tipo + L("01", 5) + L("C1", 10) + L("P1", 15) +
               "000000000100 " + "000000000200 " + "EUR  " + L("UN", 5) + iec + "\r\n";
    };
    EXPECT_EQ(got.left(3 * 84).toStdString(),
              (line("1 ", " ", " ") + line("2 ", "\x80", "?", "06") + line("3 ", " ", " ", "07")).toStdString());
    db_.execStaging("delete from Movimentos");
    sale("N", "V", "\U0001F600");
    EXPECT_EQ(write().left(84).toStdString(), line("1 ", "V", "?").toStdString()) << "a surrogate pair is one character";

    // Dates are taken as stored: Left(4) & Mid(5, 2) & Right(2), eight characters or an error.
    const auto withDate = [&](const Variant& data) {
        db_.execStaging("delete from Movimentos");
        db_.insertStaging("Movimentos", {{"Status", "N"}, {"Mascara", "EO"}, {"Data", data}, {"Quantidade", money("1")},
                              {"Valor", money("0")}});
        const QByteArray r = write();
        return r == "<failed>" ? r : r.mid(6, 8);
    };
    EXPECT_EQ(withDate("2017-01-05"), QByteArray("20170105"));
    EXPECT_EQ(withDate("2017x01y05"), QByteArray("20170105"));
    EXPECT_EQ(withDate("2017-1-5"), QByteArray("20171--5"));
    EXPECT_EQ(withDate("2017-01"), QByteArray("20170101"));
    EXPECT_EQ(withDate("2017-1"), QByteArray("<failed>"));
    EXPECT_EQ(withDate(""), QByteArray("<failed>"));
    EXPECT_EQ(withDate("\u00e9017-01-05"), QByteArray("\xe9" "0170105"));
    EXPECT_EQ(withDate(Variant::null()), QByteArray("<failed>"));
}

TEST_F(ExportBytesTest, ManyLinesKeepTheirOrderCountsAndTotal) {
    // Enough lines for the packed result to move to new blocks many times; every line differs so
    // that a lost or repeated one shows.
    const int n = 300;
    for (int i = 0; i < n; ++i) {
        const QString cliente = QStringLiteral("C%1").arg(i, 5, 10, QChar(u'0'));
        db_.insertStaging("Movimentos", {{"Status", i % 3 == 0 ? "N" : (i % 3 == 1 ? "A" : "E")}, {"Mascara", "D"},
                              {"Data", QStringLiteral("2017-%1-01").arg(i % 12 + 1, 2, 10, QChar(u'0'))},
                              {"CodigoCliente", cliente}, {"Quantidade", money("1")},
                              {"Valor", Variant(Currency::fromRaw(-(i + 1) * 100))},
                              {"Motivo", QString(100, u'm')}, {"IEC", "S"}});
    }
    const QByteArray got = write();
    const QList<QByteArray> lines = got.split('\n');
    ASSERT_EQ(lines.size(), n + 2);  // the records, the trailer and what follows its CR LF
    QByteArray lastDate;
    QSet<QByteArray> clientes;
    for (int i = 0; i < n; ++i) {
        const QByteArray& l = lines[i];
        ASSERT_EQ(l.size(), 182) << i;
        const QByteArray date = l.mid(6, 8);
        EXPECT_LE(lastDate, date) << i;
        lastDate = date;
        clientes.insert(l.mid(19, 10));
        EXPECT_EQ(l.mid(80, 100), QByteArray(100, 'm')) << i;
    }
    EXPECT_EQ(clientes.size(), n) << "every line once";
    // Trailer: n records, a third of each letter, n returns; the total is -(1 + ... + n) cents.
    const QByteArray trailer = lines[n];
    EXPECT_EQ(trailer.left(9), QByteArray("900000300"));
    EXPECT_EQ(trailer.mid(9, 24), QByteArray("000001000000010000000100"));
    EXPECT_EQ(trailer.mid(49, 8), QByteArray("00000300"));
    EXPECT_EQ(trailer.mid(73, 16).trimmed(), QByteArray::number(static_cast<qint64>(n) * (n + 1) / 2));
}

TEST_F(ExportBytesTest, AFileOfManyMegabytesKeepsEveryRecordWhole) {
    // Customers of the longest record, doubled up to 8192 of them (about 5 MB): the file is
    // built in parts of a few megabytes, and no record may be split, lost or repeated where one
    // part ends and the next begins.
    db_.insertStaging("Clientes", {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", "C"},
                                   {"Descricao", QString(60, u'd')}, {"Designacao", QString(60, u'e')},
                                   {"Morada", QString(60, u'm')}, {"Segmento", QString(50, u's')}});
    for (int i = 0; i < 13; ++i) {
        db_.execStaging(QStringLiteral("insert into Clientes (Activo, Status, Codigo, Descricao, Designacao, Morada, "
                                       "Segmento) select Activo, Status, Codigo, Descricao, Designacao, Morada, "
                                       "Segmento from Clientes"));
    }
    db_.execStaging(QStringLiteral("update Clientes set Codigo = NumRegisto"));
    const int n = 8192;
    const QByteArray got = write();
    ASSERT_GT(got.size(), 4 << 20);
    const QList<QByteArray> lines = got.split('\n');
    ASSERT_EQ(lines.size(), n + 2);
    const QByteArray resto = L(QByteArray(60, 'd'), 80) + L(QByteArray(60, 'e'), 80) + QByteArray(20, ' ') +
                             L(QByteArray(60, 'm'), 60) + QByteArray(260, ' ') + L(QByteArray(50, 's'), 50) + '\r';
    QSet<QByteArray> codigos;
    for (int i = 0; i < n; ++i) {
        const QByteArray& l = lines[i];
        ASSERT_EQ(l.left(6), "1 011 ") << i;
        ASSERT_EQ(l.mid(16), resto) << i;
        codigos.insert(l.mid(6, 10).trimmed());
    }
    EXPECT_EQ(codigos.size(), n) << "every record once";
    EXPECT_TRUE(codigos.contains("1") && codigos.contains("8192"));
    EXPECT_EQ(lines[n].left(9), QByteArray("900008192"));

    // A record that fails once megabytes of the new file are on disk: the file written before
    // stays as it was, and nothing else is left in the folder.
    const QString path = dir_.path() + QStringLiteral("/NRT170307.MOV");
    QFile antes(path);
    ASSERT_TRUE(antes.open(QIODevice::ReadOnly));
    const QByteArray anterior = antes.readAll();
    antes.close();
    db_.insertStaging("Produtos",
                      {{"Activo", std::int16_t{1}}, {"Status", "N"}, {"Codigo", "P"}, {"PVP", money("100000000000")}});
    EXPECT_EQ(write(), QByteArray("<failed>"));
    ASSERT_TRUE(antes.open(QIODevice::ReadOnly));
    EXPECT_EQ(antes.readAll(), anterior);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("NRT170307.MOV")});
}

TEST_F(ExportBytesTest, NumbersMatchWhatFDNumAndZerarMake) {
    const std::vector<std::int64_t> raws{0,      1,      49,      50,       51,       149,     150,     250,
                                         5000,   15000,  25000,   -1,       -50,      -150,    -5000,   -15000,
                                         99995,  99994,  12345678, -12345678, 9999999999999, 100000000000000,
                                         INT64_MAX, INT64_MIN, INT64_MIN + 1, INT64_MAX - 4999};
    const std::vector<std::int16_t> decimals{-1, 0, 1, 2, 3, 4, 5};
    for (const std::int64_t raw : raws) {
        for (const std::int16_t d : decimals) {
            for (const auto& [largura, sinal, fill] :
                 std::vector<std::tuple<std::int16_t, bool, QString>>{{13, true, "0"},
                                                                      {16, false, " "},
                                                                      {8, false, "0"},
                                                                      {25, true, ""},
                                                                      {3, true, "xy"},
                                                                      {0, false, "0"},
                                                                      {-2, true, "0"}}) {
                const Variant v(Currency::fromRaw(raw));
                EXPECT_EQ(formata(v, largura, d, sinal, fill), formataPorFDNum(v, largura, d, sinal, fill))
                    << raw << " d=" << d << " w=" << largura << " sign=" << sinal;
            }
        }
    }
    // Other kinds of values convert first, as before.
    EXPECT_EQ(formata(std::int32_t{42}, 8, 0, false, "0"), QStringLiteral("00000042"));
    EXPECT_EQ(formata(2.675, 13, 2, true, "0"), formataPorFDNum(2.675, 13, 2, true, "0"));
    EXPECT_EQ(formata(QStringLiteral("-0.005"), 13, 2, true, "0"), QStringLiteral("000000000000-"));
    EXPECT_EQ(formata(Variant::null(), 13, 2, true, "0"), QStringLiteral("<error>"));

    // A regional decimal separator: "," as any other, and even one holding a digit gives what
    // FDNum gives.
    const QString kept = Locale().gstrDecSep;
    for (const QString& sep : {QStringLiteral(","), QStringLiteral("5")}) {
        Locale().gstrDecSep = sep;
        for (const std::int64_t raw : {std::int64_t{0}, std::int64_t{12345}, std::int64_t{-150}}) {
            const Variant v(Currency::fromRaw(raw));
            EXPECT_EQ(formata(v, 13, 2, true, "0"), formataPorFDNum(v, 13, 2, true, "0")) << sep.toStdString();
        }
    }
    Locale().gstrDecSep = kept;
}

}  // namespace
