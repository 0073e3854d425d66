#include "extractor/MainMod_moeda.h"

#include <exception>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "data/variant.h"
#include "extractor/MainMod_ligacoes.h"
#include "platform/messagebox.h"
#include "util/EDiv.h"
#include "util/Locale.h"
#include "util/sqltext.h"
#include "util/text.h"

namespace {

// The rate of a currency code as a single-precision number: 1 when cambios has no row for it
// (or no cambios table at all). A rate that is not a number raises, and the caller keeps what
// it had computed.
float taxa(data::Connection& conn, const QString& codigo, const QString& coluna) {
    data::Recordset rs;
    try {
        rs.Open(QStringLiteral("select * from cambios where codigo='") + util::sqlApostrofos(codigo) + u'\'', conn,
                data::ado::adOpenForwardOnly, data::ado::adLockReadOnly);
    } catch (const std::exception&) {
        return 1.0f;
    }
    float valor = 1.0f;
    if (!eFun().IsVazio(rs)) valor = static_cast<float>(rs.Fields(coluna).Value().toDouble());
    rs.Close();
    return valor;
}

}  // namespace

QString& gstrMoedaBase() {
    static QString value;
    return value;
}

QString& gstrMoedaSimples() {
    static QString value;
    return value;
}

data::Currency ConverteMoeda(const data::Currency& Valor, const QString& Codigo, const QString& Operacao,
                             const QString& CodigoBase, const QString& CodigoSimples, platform::Ref<QString> Ano) {
    if (util::trimBlanks(*Ano).isEmpty()) *Ano = gstrAno();
    const QString base = util::trimBlanks(CodigoBase).isEmpty() ? gstrMoedaBase() : CodigoBase;
    const QString simples = util::trimBlanks(CodigoSimples).isEmpty() ? gstrMoedaSimples() : CodigoSimples;

    const bool recente = QString::compare(*Ano, QStringLiteral("2001")) > 0;
    const QString coluna = recente ? QStringLiteral("valor1") : QStringLiteral("valor");

    if (util::trimBlanks(Codigo).toUpper() == util::trimBlanks(simples).toUpper()) return Valor;

    data::Connection conn;
    if (!OpenVelmora(conn, errC(), errD(), kTimeoutLigacao)) {
        platform::MsgBox(QString::number(errC()) + QChar(13) + errD(), platform::mb::Critical);
        return data::Currency();
    }

    data::Currency resultado;
    try {
        const double valor = Valor.toDouble();
        double r = 0;
        bool calculado = true;
        if (Operacao == QStringLiteral("+")) {
            if (Codigo == base || recente) {
                r = valor * taxa(conn, Codigo, coluna);
            } else {
                const float taxaBase = taxa(conn, base, coluna);
                const float quociente = static_cast<float>(valor / taxa(conn, Codigo, coluna));
                r = static_cast<double>(quociente) * taxaBase;
            }
        } else if (Operacao == QStringLiteral("-")) {
            if (Codigo.compare(base, Qt::CaseInsensitive) == 0 || recente) {
                r = valor / taxa(conn, Codigo, coluna);
            } else {
                const float taxaBase = taxa(conn, base, coluna);
                const float quociente = static_cast<float>(valor / taxaBase);
                r = static_cast<double>(quociente) * taxa(conn, Codigo, coluna);
            }
        } else {
            calculado = false;
        }
        // A rate of 0 divides to infinity, which no amount holds: the result stays 0.
        if (calculado) resultado = data::Currency::fromDouble(r);
    } catch (const std::exception&) {
    }

    try {
        conn.Close();
    } catch (const std::exception&) {
    }
    return resultado;
}

data::Currency TextoParaMoeda(QString Texto, const QString& SepMilhares, const QString& SepDecimal) {
    const QString texto = util::trimBlanks(Texto);
    QString recolhido;
    recolhido.reserve(texto.size());
    for (const QChar c : texto) {
        const QString t = util::trimBlanks(QString(c));
        if (t == SepMilhares) continue;
        recolhido += (t == SepDecimal) ? QStringLiteral(".") : QString(c);
    }
    try {
        return data::Currency::fromDouble(data::leadingNumber(recolhido));
    } catch (const std::exception&) {
        return data::Currency();
    }
}
