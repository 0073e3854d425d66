// Step 5 of a run: the sales-line import. The period's closed customer lines whose document type
// has a rule in LigaMovimentos and whose product and customer are staged come in once, with "N",
// and make their customer and product active; then the staged lines of a window reaching
// CutOffMovimentos months back are checked, and those whose company line is gone get "E". A
// staged line is never marked changed here.
//
// A company line without an identity (Identifica Null) is never staged: the gone-line pass
// could not find it again and would send it as gone in the run that staged it. It is named in
// one log row per run instead. A Null discount is no discount and a Null quantity counts as 0:
// neither may turn a sale into an offer or stop every later export file.

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QStringBuilder>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/RunHost.h"
#include "extractor/LoteDeEscritas.h"
#include "extractor/ValorOuZero.h"
#include "extractor/clsVelmora.h"
#include "platform/runtime_error.h"
#include "util/sqltext.h"

namespace {

using data::Variant;
using util::sqlApostrofos;

// A value concatenated into a text: Null adds nothing.
QString texto(const Variant& v) { return (v.isNull() || v.isEmpty()) ? QString() : v.toString(); }

// A period date: year, any one separator, month, separator, day. The scheduler may hand the end
// over with the regional date separator; every date the step compares as text is written
// again as "yyyy-mm-dd", so the comparisons order dates whatever the separator was.
QDate lerData(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^ *(\\d{4})[^0-9](\\d{1,2})[^0-9](\\d{1,2}) *$"));
    const QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch()) platform::raiseTypeMismatch();
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid()) platform::raiseTypeMismatch();
    return d;
}

// The staged Data holds the line's day as "yyyy-mm-dd", whatever time the company line carries.
// A text that is no day of the calendar (a database file written by another tool may hold
// "2017-02-30") stops the step like any value that does not convert: staged, it would reach
// the export file as an impossible date.
Variant dataDaLinha(const Variant& v) {
    if (v.isNull() || v.isEmpty()) return Variant::null();
    if (v.isDate()) return data::isoDateText(v.toDateTime().date());
    const QDate dia = QDate::fromString(v.toString().left(10), QStringLiteral("yyyy-MM-dd"));
    if (!dia.isValid()) platform::raiseTypeMismatch();
    return data::isoDateText(dia);
}

}  // namespace

bool clsVelmora::ProcessaMovimentos(data::Connection& gconnGeral, data::Connection& gconnGestao, QString DataIni,
                                    QString DataFim, std::int16_t& CutOffMovimentos, RunHost& StatusB) {
    using namespace data::ado;
    LoteDeEscritas lote(gconnGeral, "movimentos");
    // The line at hand, for the trap's row: the company line's Identifica, then the staged
    // line's Chave in the gone-line pass.
    const char* registoTipo = nullptr;
    Variant registo;
    try {
        // Period and re-check window. A run never takes lines of two years: a period that starts
        // in an earlier year starts on 1 January of the end's year, and the window never
        // reaches back into the year before the period's start.
        QDate inicio = lerData(DataIni);
        const QDate fim = lerData(DataFim);
        if (inicio.year() != fim.year()) inicio = QDate(fim.year(), 1, 1);
        QDate janela = inicio.addMonths(-static_cast<int>(CutOffMovimentos));
        if (!janela.isValid() || janela.year() != inicio.year()) janela = QDate(inicio.year(), 1, 1);
        DataIni = data::isoDateText(inicio);
        DataFim = data::isoDateText(fim);
        const QString inicioJanela = data::isoDateText(janela);

        const QString sql =
            QStringLiteral(" Select MovProduto.NumRegisto as NumReg,MovProduto.ObsLinha,MovProduto.Vendedor,"
                           "TabTipoMov.AfectaCli,") +
            QStringLiteral(" Velmora..LigaMovimentos.Mascara,Velmora..LigaMovimentos.ApenasMovComValor,") +
            QStringLiteral(" isnull(Velmora..LigaMovimentos.TipoOferta,'0') as TipoOferta,") +
            QStringLiteral(" isnull(MovProduto.ValorIliq,0)-isnull(MovProduto.TotalDesconto,0) as IliqDesc, ") +
            QStringLiteral(" isnull(ImpostosMovproduto.CodigoImposto,'') as CodigoImposto, ") +
            QStringLiteral(" MovProduto.Identifica,Movproduto.Codigo,Movproduto.Tipo,Movproduto.Numero,Movproduto.Ano,"
                           "Movproduto.Data,Movproduto.Preco,Movproduto.QuantNormal,Movproduto.Terceiro,"
                           "Movproduto.Clifor, ") +
            QStringLiteral(" MovProduto.Unidade ") + QStringLiteral(" From MovProduto With (NoLock) ") +
            QStringLiteral(" Inner Join TabTipoMov on MovProduto.Tipo=TabTipoMov.Codigo ") +
            QStringLiteral(" Inner join Velmora..Produtos on Velmora..Produtos.Codigo=MovProduto.Codigo") +
            QStringLiteral(" Inner join Velmora..Clientes on Velmora..Clientes.Codigo=MovProduto.Terceiro") +
            QStringLiteral(" Inner join Velmora..LigaMovimentos on Velmora..LigaMovimentos.Tipo=MovProduto.Tipo") +
            QStringLiteral(" left outer join ImpostosMovproduto With (NoLock) on "
                           "(MovProduto.Identifica=ImpostosMovProduto.Identifica and "
                           "ImpostosMovProduto.CodigoImposto='IEC') ") +
            QStringLiteral(" Where  Movproduto.Clifor='C'  and Movproduto.Fechado='S' and Movproduto.Numero<>'' ") +
            QStringLiteral(" and Movproduto.data>='") + sqlApostrofos(DataIni) +
            QStringLiteral("' and Movproduto.data<='") + sqlApostrofos(DataFim) + u'\'';

        QSet<QString> semIdentidade;  // the lines without an identity already named in the log
        data::Recordset rsGestao;
        rsGestao.Open(sql, gconnGestao, adOpenForwardOnly, adLockReadOnly);
        registoTipo = "Linha Identifica ";
        while (!rsGestao.EOF()) {
            lote.passo();
            const Variant mascara = rsGestao.Fields(QStringLiteral("Mascara")).Value();
            const Variant identifica = rsGestao.Fields(QStringLiteral("Identifica")).Value();
            registo = identifica;
            const QString tipoOferta = texto(rsGestao.Fields(QStringLiteral("TipoOferta")).Value());
            const data::Currency iliqDesc = rsGestao.Fields(QStringLiteral("IliqDesc")).Value().toCurrency();

            const QString linha = texto(rsGestao.Fields(QStringLiteral("Data")).Value()) % u' ' %
                                  texto(rsGestao.Fields(QStringLiteral("Tipo")).Value()) % u'/' %
                                  texto(rsGestao.Fields(QStringLiteral("Numero")).Value());
            StatusB.SetPanelText(linha);
            StatusB.RefreshStatusBar();

            const Variant apenas = rsGestao.Fields(QStringLiteral("ApenasMovComValor")).Value();
            const bool apenasComValor = !apenas.isNull() && !apenas.isEmpty() && apenas.toInt32() == 1;
            if (iliqDesc == data::Currency() && apenasComValor) {
                rsGestao.MoveNext();
                continue;
            }

            if (identifica.isNull() || identifica.isEmpty()) {
                const QString linhaSemIdentidade =
                    QStringLiteral("Linha sem Identifica: Tipo ") % texto(rsGestao.Fields(QStringLiteral("Tipo")).Value()) %
                    QStringLiteral(", Numero ") % texto(rsGestao.Fields(QStringLiteral("Numero")).Value()) %
                    QStringLiteral(", Ano ") % texto(rsGestao.Fields(QStringLiteral("Ano")).Value());
                if (!semIdentidade.contains(linhaSemIdentidade)) {
                    semIdentidade.insert(linhaSemIdentidade);
                    LancaLogGeral(gconnGeral, QStringLiteral("Movimento não importado"), linhaSemIdentidade);
                }
                rsGestao.MoveNext();
                continue;
            }

            data::Recordset rsLinha;
            rsLinha.Open(QStringLiteral("Select * from movimentos Where chave='") % sqlApostrofos(texto(identifica)) %
                             u'\'',
                         gconnGeral, adOpenDynamic, adLockOptimistic);
            if (!rsLinha.EOF()) {
                rsLinha.Close();
                rsGestao.MoveNext();
                continue;
            }

            StatusB.SetPanelText(linha % QStringLiteral(" (Nº Reg.") %
                                 texto(rsGestao.Fields(QStringLiteral("NumReg")).Value()) % u')');
            StatusB.RefreshStatusBar();

            const Variant terceiro = rsGestao.Fields(QStringLiteral("Terceiro")).Value();
            const Variant produto = rsGestao.Fields(QStringLiteral("Codigo")).Value();
            gconnGeral.Execute(QStringLiteral("Update Clientes Set activo=1 Where codigo='") %
                                   sqlApostrofos(texto(terceiro)) % u'\'',
                               nullptr, adCmdText | adExecuteNoRecords);
            gconnGeral.Execute(QStringLiteral("Update Produtos Set Activo=1 Where Codigo='") %
                                   sqlApostrofos(texto(produto)) % u'\'',
                               nullptr, adCmdText | adExecuteNoRecords);

            const QString afectaCli = texto(rsGestao.Fields(QStringLiteral("AfectaCli")).Value()).left(1);
            const QString codigoImposto = texto(rsGestao.Fields(QStringLiteral("CodigoImposto")).Value());

            rsLinha.AddNew();
            rsLinha.Fields(QStringLiteral("Status")).setValue(QStringLiteral("N"));
            rsLinha.Fields(QStringLiteral("Chave")).setValue(identifica);
            rsLinha.Fields(QStringLiteral("Data")).setValue(dataDaLinha(rsGestao.Fields(QStringLiteral("Data")).Value()));
            rsLinha.Fields(QStringLiteral("CodigoVendedor")).setValue(rsGestao.Fields(QStringLiteral("Vendedor")).Value());
            rsLinha.Fields(QStringLiteral("CodigoCliente")).setValue(terceiro);
            rsLinha.Fields(QStringLiteral("CodigoProduto")).setValue(produto);
            rsLinha.Fields(QStringLiteral("Quantidade")).setValue(valorOuZero(rsGestao.Fields(QStringLiteral("QuantNormal")).Value()));
            rsLinha.Fields(QStringLiteral("Cambio")).setValue(QStringLiteral("EUR"));
            rsLinha.Fields(QStringLiteral("UnidadeVenda")).setValue(rsGestao.Fields(QStringLiteral("Unidade")).Value());
            if (afectaCli == u"D") {
                rsLinha.Fields(QStringLiteral("TipoVenda")).setValue(QStringLiteral("C"));
            } else if (afectaCli == u"S") {
                rsLinha.Fields(QStringLiteral("TipoVenda")).setValue(QStringLiteral("V"));
            }
            rsLinha.Fields(QStringLiteral("Valor")).setValue(iliqDesc);
            rsLinha.Fields(QStringLiteral("IEC")).setValue(codigoImposto.isEmpty() ? QStringLiteral("N")
                                                                                   : QStringLiteral("S"));
            rsLinha.Fields(QStringLiteral("Motivo")).setValue(QString(""));
            rsLinha.Fields(QStringLiteral("Observacoes")).setValue(QString(""));
            // "0" and "1" differ only on the rule screen; any other offer handling leaves the kind
            // unset.
            if (tipoOferta == u"0" || tipoOferta == u"1") {
                rsLinha.Fields(QStringLiteral("Mascara"))
                    .setValue(iliqDesc == data::Currency() ? Variant(QStringLiteral("EO")) : mascara);
            }
            rsLinha.Update();
            rsLinha.Close();
            rsGestao.MoveNext();
        }
        rsGestao.Close();
        registoTipo = nullptr;

        // Gone lines of the window.
        data::Recordset rsStaged;
        rsStaged.Open(QStringLiteral("Select Chave,Status,NumRegisto from Movimentos Where data>='") +
                          sqlApostrofos(inicioJanela) + QStringLiteral("' and data<='") + sqlApostrofos(DataFim) +
                          u'\'',
                      gconnGeral, adOpenDynamic, adLockOptimistic);
        while (!rsStaged.EOF()) {
            const QString chave = texto(rsStaged.Fields(QStringLiteral("Chave")).Value());
            registoTipo = "Movimento Chave ";
            registo = chave;
            StatusB.SetPanelText(chave);
            data::Recordset rsExiste;
            rsExiste.Open(QStringLiteral("Select NumRegisto from MovProduto Where Identifica='") % sqlApostrofos(chave) %
                              u'\'',
                          gconnGestao, adOpenForwardOnly, adLockReadOnly);
            if (rsExiste.EOF()) {
                rsStaged.Fields(QStringLiteral("Status")).setValue(QStringLiteral("E"));
                rsStaged.Update();
            }
            rsExiste.Close();
            lote.passo();
            rsStaged.MoveNext();
        }
        rsStaged.Close();
        registoTipo = nullptr;
        StatusB.SetPanelText(QString());
        lote.confirma();
        return true;
    } catch (const std::exception& e) {
        lote.termina();
        FalhaNoProcesso(StatusB, QStringLiteral("Função Processa Movimentos"), e,
                        registoTipo == nullptr ? QString() : QString::fromLatin1(registoTipo) + texto(registo));
    }
    return false;
}
