// The export file: a header "0", the customers, the products and the sales lines that carry a
// status letter, and a trailer "9" with the control counts and the value total; fixed-width
// records of Windows-1252 bytes, each ending in CR LF (the file ends with the trailer's own
// CR LF, no empty last line).
//
// The whole file is built in memory and written in one go under a temporary name in the
// target folder, then renamed: a failure anywhere leaves the previous file of that name (if
// any) untouched and never a half-written one.
//
// Every field keeps its width: a value that does not fit stops the writer through its trap
// instead of shifting the rest of the record; a Null in a text field is written as blanks of
// the field's width (a product without a supplier name row would otherwise block every later
// file); a Null amount or date still stops the writer. Rows whose kind (Mascara) or letter has
// no record type are left out of the file, of every count and of the total, so the trailer
// always agrees with the records.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cstring>
#include <deque>
#include <exception>
#include <utility>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/RunHost.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "platform/crashpoint.h"
#include "platform/runtime_error.h"
#include "platform/win1252.h"
#include "util/EDiv.h"
#include "util/text.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// What the field will be in the file: a character outside the code page is one "?" there, so
// widths are counted on the text as it will be written.
// A line break typed into a name or an address would end the record in the middle and make
// the rest of the file unreadable: it is written as a blank, which keeps the field's width.
QString comoNoFicheiro(const QString& texto) {
    bool ascii = true;
    bool quebras = false;
    for (const QChar ch : texto) {
        if (ch.unicode() >= 0x80) ascii = false;
        if (ch == u'\r' || ch == u'\n') quebras = true;
    }
    // Plain ASCII, by far the common case, is the same text in the code page.
    QString r = ascii ? texto : platform::fromAnsi(platform::toAnsi(texto));
    if (quebras) {
        r.replace(u'\r', u' ');
        r.replace(u'\n', u' ');
    }
    return r;
}

// The text of a column for a text field; Null is written as blanks, like an empty value.
QString textoDe(const data::Field& campo) {
    const data::Variant v = campo.Value();
    if (v.isNull() || v.isEmpty()) return QString();
    return comoNoFicheiro(v.toString());
}

[[noreturn]] void falhaEscrita(long numero, const QString& texto, const QString& ficheiro) {
    throw platform::RuntimeError(numero, texto + QStringLiteral(": ") + ficheiro);
}

// Writes the bytes as the file at path: a temporary file beside it, renamed when complete.
void gravaFicheiro(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) falhaEscrita(76, QStringLiteral("Path not found"), path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        falhaEscrita(75, QStringLiteral("Path/File access error"), path + QStringLiteral(" (") + file.errorString() + u')');
    }
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        falhaEscrita(61, QStringLiteral("Disk full"), path + QStringLiteral(" (") + why + u')');
    }
    platform::crashPoint("ficheiro.escrita");
    if (!file.commit()) {
        falhaEscrita(57, QStringLiteral("Device I/O error"), path + QStringLiteral(" (") + file.errorString() + u')');
    }
}

struct Contagens {
    std::int32_t detalhe = 0;
    std::int32_t n = 0;
    std::int32_t a = 0;
    std::int32_t e = 0;
    std::int32_t clientes = 0;
    std::int32_t produtos = 0;
    std::int32_t vendasDevolucoes = 0;
    std::int32_t ofertas = 0;
    data::Currency total;

    // Adds one to the letter's count; false for a letter without a record type.
    bool contaLetra(const QString& status) {
        if (status == QStringLiteral("N")) {
            ++n;
        } else if (status == QStringLiteral("E")) {
            ++e;
        } else if (status == QStringLiteral("A")) {
            ++a;
        } else {
            return false;
        }
        return true;
    }
};

// The record type of a customer or product by its letter: N, A, E in this order of codes.
QString tipoPorLetra(const QString& status, const QString& n, const QString& a, const QString& e) {
    if (status == QStringLiteral("N")) return n;
    if (status == QStringLiteral("E")) return e;
    if (status == QStringLiteral("A")) return a;
    return QString();
}

// The fields of the section's record set by column name, looked up at their first use.
class Colunas {
public:
    // A new section's record set: the handles of the last one no longer apply.
    void limpa() { campos_.clear(); }

    const data::Field& operator()(const data::Recordset& rs, const char* coluna) {
        for (const auto& [nome, f] : campos_) {
            if (nome == coluna || std::strcmp(nome, coluna) == 0) return f;
        }
        campos_.emplace_back(coluna, rs.Fields(QString::fromLatin1(coluna)));
        return campos_.back().second;
    }

private:
    std::deque<std::pair<const char*, data::Field>> campos_;
};

QString letraDe(const data::Field& status) {
    const data::Variant v = status.Value();
    return v.isNull() ? QString() : v.toString();
}

}  // namespace

void clsVelmora::EscreveFicheiro(data::Connection& gconnGeral, const QString& strFicheiro,
                                 const QString& strNomeFicheiro, const QString& strSistema) {
    using namespace data::ado;
    const QDateTime agora = platform::now();
    const QDate hoje = agora.date();
    Contagens c;

    // Field handles follow the current row, so each column is looked up once per section.
    Colunas campo;
    const auto texto = [&](const data::Recordset& rs, const char* coluna, std::int16_t largura) {
        return PreencheEspacos(textoDe(campo(rs, coluna)), largura);
    };
    const QString zero = QStringLiteral("0");
    const auto numero = [&](const data::Recordset& rs, const char* coluna) {
        return FormataNumero(campo(rs, coluna).Value(), 13, 2, true, zero);
    };
    // TipoVenda and IEC: one character, taken as stored; Null (or nothing) is one blank.
    const auto umCaracter = [&](const data::Recordset& rs, const char* coluna) {
        const QString t = textoDe(campo(rs, coluna));
        if (t.size() > 1) platform::raiseInvalidCall();
        return t.isEmpty() ? QStringLiteral(" ") : t;
    };
    const auto data8 = [&](const data::Recordset& rs) {
        const QString d = DataParaAAAAMMDD(campo(rs, "Data").Value().toString()).toString();
        if (d.size() != 8) platform::raiseInvalidCall();
        return d;
    };

    // 1. Header.
    std::int16_t dois = 2;
    QString ficheiro = QStringLiteral("0") + PreencheEspacos(comoNoFicheiro(strSistema), 32) +
                       QString::number(hoje.year()) + eFun().Zerar(QString::number(hoje.month()), dois) +
                       eFun().Zerar(QString::number(hoje.day()), dois) +
                       agora.time().toString(QStringLiteral("hhmmss")) +
                       PreencheEspacos(comoNoFicheiro(strNomeFicheiro), 14) + kCrLf;

    // 2. Customers.
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("Select * from Clientes Where Activo=1 and isnull(status,'')<>'' order by codigo"),
                gconnGeral, adOpenDynamic, adLockOptimistic);
        campo.limpa();
        if (!(rs.BOF() && rs.EOF())) {
            while (!rs.EOF()) {
                const QString status = letraDe(campo(rs, "Status"));
                const QString tipo = tipoPorLetra(status, QStringLiteral("1 011 "), QStringLiteral("1 012 "),
                                                  QStringLiteral("1 013 "));
                if (!tipo.isEmpty()) {
                    std::int16_t dez = 10;
                    QString espaco = QStringLiteral(" ");
                    QString corpo = texto(rs, "Codigo", 10);
                    corpo += texto(rs, "Descricao", 80);
                    corpo += texto(rs, "Designacao", 80);
                    corpo += eFun().Zerar(textoDe(campo(rs, "Contribuinte")).left(10), dez, espaco);
                    corpo += texto(rs, "BI_NIPC", 10);
                    corpo += texto(rs, "Morada", 60);
                    corpo += texto(rs, "Localidade", 50);
                    corpo += texto(rs, "Distrito", 50);
                    corpo += texto(rs, "Concelho", 50);
                    corpo += texto(rs, "CodPost", 60);
                    corpo += texto(rs, "Pais", 50);
                    corpo += texto(rs, "Segmento", 50);
                    c.contaLetra(status);
                    ++c.clientes;
                    ficheiro += tipo + corpo + kCrLf;
                    ++c.detalhe;
                }
                rs.MoveNext();
            }
        }
        rs.Close();
    }

    // 3. Products.
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("Select * from Produtos Where Activo=1 and isnull(status,'')<>'' Order by codigo "),
                gconnGeral, adOpenDynamic, adLockOptimistic);
        campo.limpa();
        if (!(rs.BOF() && rs.EOF())) {
            while (!rs.EOF()) {
                const QString status = letraDe(campo(rs, "Status"));
                const QString tipo = tipoPorLetra(status, QStringLiteral("1 101 "), QStringLiteral("1 102 "),
                                                  QStringLiteral("1 103 "));
                if (!tipo.isEmpty()) {
                    QString corpo = texto(rs, "Codigo", 15);
                    corpo += texto(rs, "Codigo", 20);
                    corpo += texto(rs, "Descricao", 80);
                    corpo += texto(rs, "UnidadeVenda", 5);
                    corpo += numero(rs, "PVP");
                    corpo += texto(rs, "NomeFornecedor", 50);
                    c.contaLetra(status);
                    ++c.produtos;
                    ficheiro += tipo + corpo + kCrLf;
                    ++c.detalhe;
                }
                rs.MoveNext();
            }
        }
        rs.Close();
    }

    // 4. Sales lines: sales first, then offer deliveries, then returns, each by date.
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("Select * from movimentos Where isnull(status,'')<>'' order by Mascara DESC,Data ASC"),
                gconnGeral, adOpenDynamic, adLockOptimistic);
        campo.limpa();
        if (!(rs.BOF() && rs.EOF())) {
            while (!rs.EOF()) {
                const data::Variant mascaraV = campo(rs, "Mascara").Value();
                const QString mascara = mascaraV.isNull() ? QString() : mascaraV.toString();
                const QString status = letraDe(campo(rs, "Status"));

                QString tipo;
                if (mascara == QStringLiteral("V")) {
                    tipo = QStringLiteral("1 30");
                } else if (mascara == QStringLiteral("D")) {
                    tipo = QStringLiteral("1 31");
                } else if (mascara == QStringLiteral("EO")) {
                    tipo = QStringLiteral("1 40");
                }
                QString parteStatus;
                if (status == QStringLiteral("N")) {
                    parteStatus = QStringLiteral("1 ");
                } else if (status == QStringLiteral("E")) {
                    parteStatus = QStringLiteral("3 ");
                } else if (status == QStringLiteral("A")) {
                    parteStatus = QStringLiteral("2 ");
                }

                if (!tipo.isEmpty() && !parteStatus.isEmpty()) {
                    QString corpo = data8(rs);
                    if (mascara == QStringLiteral("V")) {
                        corpo += umCaracter(rs, "TipoVenda");
                        corpo += texto(rs, "CodigoVendedor", 5);
                        corpo += texto(rs, "CodigoCliente", 10);
                        corpo += texto(rs, "CodigoProduto", 15);
                        corpo += numero(rs, "Quantidade");
                        corpo += numero(rs, "Valor");
                        corpo += QStringLiteral("EUR  ");
                        corpo += texto(rs, "UnidadeVenda", 5);
                        corpo += umCaracter(rs, "IEC");
                    } else if (mascara == QStringLiteral("D")) {
                        corpo += texto(rs, "CodigoVendedor", 5);
                        corpo += texto(rs, "CodigoCliente", 10);
                        corpo += texto(rs, "CodigoProduto", 15);
                        corpo += numero(rs, "Quantidade");
                        corpo += numero(rs, "Valor");
                        corpo += QStringLiteral("EUR  ");
                        corpo += texto(rs, "UnidadeVenda", 5);
                        corpo += texto(rs, "Motivo", 100);
                        corpo += umCaracter(rs, "IEC");
                    } else {
                        corpo += texto(rs, "CodigoVendedor", 5);
                        corpo += texto(rs, "CodigoCliente", 10);
                        corpo += texto(rs, "CodigoProduto", 15);
                        corpo += numero(rs, "Quantidade");
                        corpo += texto(rs, "UnidadeVenda", 5);
                    }
                    // Offer deliveries count in the total although their record has no value.
                    c.total += campo(rs, "Valor").Value().toCurrency();

                    if (mascara == QStringLiteral("EO")) {
                        ++c.ofertas;
                    } else {
                        ++c.vendasDevolucoes;
                    }
                    c.contaLetra(status);
                    ficheiro += tipo + parteStatus + corpo + kCrLf;
                    ++c.detalhe;
                }
                rs.MoveNext();
            }
        }
        rs.Close();
    }

    // 5. Trailer.
    const auto conta = [&](std::int32_t n) { return FormataNumero(n, 8, 0, false, QStringLiteral("0")); };
    ficheiro += QStringLiteral("9") + conta(c.detalhe) + conta(c.n) + conta(c.a) + conta(c.e) +
                conta(c.clientes) + conta(c.produtos) + conta(c.vendasDevolucoes) + conta(c.ofertas) +
                conta(0) + FormataNumero(c.total, 16, 2, false, QStringLiteral(" ")) + kCrLf;

    // 6. The file, in one write.
    gravaFicheiro(strFicheiro, platform::toAnsi(ficheiro));
}

data::Variant clsVelmora::CriaFicheiro(data::Connection& gconnGeral, const QString& /*DataIni*/,
                                       const QString& /*DataFim*/, const QString& strFicheiro,
                                       const QString& strNomeFicheiro, const QString& strSistema, bool blnManual,
                                       RunHost& host) {
    try {
        EscreveFicheiro(gconnGeral, strFicheiro, strNomeFicheiro, strSistema);
        // 7. Its zipped copy, the status reset and the end state.
        GuardaHistorico(gconnGeral, strFicheiro, strNomeFicheiro, blnManual);
    } catch (const platform::RuntimeError& e) {
        FalhaNoProcesso(host, QStringLiteral("Função Cria Ficheiro"), e.description());
    } catch (const std::exception& e) {
        FalhaNoProcesso(host, QStringLiteral("Função Cria Ficheiro"), QString::fromLocal8Bit(e.what()));
    }
    return data::Variant();
}

QString clsVelmora::PreencheEspacos(const QString& Texto, std::int16_t Largura) {
    const QString t = util::trimBlanks(Texto);
    // A value longer than its field has no place in a fixed-width record.
    if (t.size() > Largura) platform::raiseInvalidCall();
    return t + QString(Largura - t.size(), u' ');
}

QString clsVelmora::FormataNumero(const data::Variant& Valor, std::int16_t Largura, std::int16_t Decimais,
                                  bool ComSinal, const QString& Caracter) {
    const data::Currency valor = Valor.toCurrency();
    QString separadorMilhares = QStringLiteral("SSM");
    QString separadorDecimal;
    const QString s = eFun().FDNum(valor, Decimais, 0, 0, separadorMilhares, separadorDecimal);

    QString digitos;
    digitos.reserve(s.size() + 1);
    for (const QChar ch : s) {
        if (ch >= u'0' && ch <= u'9') digitos += ch;
    }
    if (ComSinal) digitos += valor.raw() < 0 ? u'-' : u'+';

    std::int16_t largura = Largura;
    QString preenchimento = Caracter.left(1);
    QString r = eFun().Zerar(digitos, largura, preenchimento);
    if (r.endsWith(u'+')) r[r.size() - 1] = u' ';
    // A number wider than its field would shift every later field of the record.
    if (r.size() > Largura) platform::raiseOverflow();
    return r;
}

data::Variant clsVelmora::DataParaAAAAMMDD(const QString& Texto) {
    return Texto.left(4) + Texto.mid(5, 2) + Texto.right(2);
}
