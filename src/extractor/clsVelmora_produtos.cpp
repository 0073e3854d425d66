// Step 3 of a run: the product import. New company products that a rule of LigaProdutos selects
// are staged with "N"; then every staged product is checked against the company database: a
// product whose code is gone gets "E", one whose description, price or sales unit changed gets
// "A" and the new value (one still "N", not yet sent, stays "N"). Whether a product is active
// (and so exported) is decided later, by the sales-line import.
//
// A product without a price in its column is staged at 0, as the company's own totals read it:
// stopping the import there would leave every product after it unstaged and so every sales line
// of those products unread.

#include <QHash>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/RunHost.h"
#include "extractor/LoteDeEscritas.h"
#include "extractor/MarcaAlterado.h"
#include "extractor/ValorOuZero.h"
#include "extractor/clsVelmora.h"
#include "platform/runtime_error.h"
#include "util/sqltext.h"
#include "util/text.h"

namespace {

using data::Variant;
using util::sqlApostrofos;

// A value concatenated into a text: Null adds nothing.
QString texto(const Variant& v) { return (v.isNull() || v.isEmpty()) ? QString() : v.toString(); }

// A rule field is blank when nothing but blanks is left; a Null field is not text and stops
// the step, as it always did.
bool emBranco(const QString& campo) { return util::trimBlanks(campo).isEmpty(); }

// The re-check compares exactly (case and trailing blanks count, amounts by value); a Null on
// either side is never a difference, so the re-check never overwrites a Null.
bool difere(const Variant& staged, const Variant& company) {
    if (staged.isNull() || staged.isEmpty() || company.isNull() || company.isEmpty()) return false;
    return Variant::compare(staged, company) != 0;
}

// Codes are looked up the way the server compares them: without case and trailing blanks.
QString chaveCodigo(const QString& codigo) {
    qsizetype n = codigo.size();
    while (n > 0 && codigo.at(n - 1) == u' ') --n;
    return codigo.left(n).toCaseFolded();
}

}  // namespace

bool clsVelmora::ProcessaProdutos(data::Connection& gconnGeral, data::Connection& gconnGestao, RunHost& host) {
    using namespace data::ado;
    LoteDeEscritas lote(gconnGeral, "produtos");
    QString registo;  // the product at hand, for the trap's row
    try {
        // The price column each product was staged (or is selected now) under: the first rule row
        // that selects it. The staging table keeps no price level, so the re-check takes the
        // level from here; a product no rule selects any more is compared with the last rule
        // row's level, and with no rule at all its price is not compared.
        QHash<QString, QString> colunaPorProduto;
        QString ultimaColuna;

        // Phase 1: new products.
        data::Recordset rsLiga;
        rsLiga.Open(QStringLiteral("Select * from LigaProdutos"), gconnGeral, adOpenForwardOnly, adLockReadOnly);
        if (!(rsLiga.EOF() && rsLiga.BOF())) {
            while (!rsLiga.EOF()) {
                registo.clear();
                const QString grupo = rsLiga.Fields(QStringLiteral("Grupo")).Value().toString();
                const QString familia = rsLiga.Fields(QStringLiteral("Familia")).Value().toString();
                const QString subfamilia = rsLiga.Fields(QStringLiteral("Subfamilia")).Value().toString();
                const QString fornecedor = rsLiga.Fields(QStringLiteral("Fornecedor")).Value().toString();
                const QString pvp = rsLiga.Fields(QStringLiteral("PVP")).Value().toString();

                const QString coluna = emBranco(pvp) ? QStringLiteral("PrecoVenda1") : QStringLiteral("PrecoVenda") + pvp;
                ultimaColuna = coluna;

                QString condicoes;
                if (!emBranco(grupo)) condicoes += QStringLiteral(" and Produtos.Grupo='") + sqlApostrofos(grupo) + u'\'';
                if (!emBranco(familia)) {
                    condicoes += QStringLiteral(" and Produtos.Familia='") + sqlApostrofos(familia) + u'\'';
                }
                if (!emBranco(subfamilia)) {
                    condicoes += QStringLiteral(" and Produtos.Subfamilia='") + sqlApostrofos(subfamilia) + u'\'';
                }
                if (!emBranco(fornecedor)) {
                    condicoes += QStringLiteral(" and ForneceExterno='") + sqlApostrofos(fornecedor) + u'\'';
                }

                const QString sql =
                    QStringLiteral("Select Produtos.UnidadeVenda,Produtos.Codigo,ForneceExterno,Produtos.Descricao,"
                                   "Fornece.Descricao as NomeFornece,") +
                    coluna + QStringLiteral(" from Produtos  ") +
                    QStringLiteral(" Left outer join Fornece on Produtos.ForneceExterno=Fornece.Codigo ") +
                    QStringLiteral(" Where Produtos.NumRegisto>0 ") + condicoes;

                data::Recordset rsGestao;
                rsGestao.Open(sql, gconnGestao, adOpenForwardOnly, adLockReadOnly);
                while (!rsGestao.EOF()) {
                    registo = QStringLiteral("Produto ") + texto(rsGestao.Fields(QStringLiteral("Codigo")).Value());
                    const QString codigo = rsGestao.Fields(QStringLiteral("Codigo")).Value().toString();
                    const data::Currency preco = valorOuZero(rsGestao.Fields(coluna).Value());
                    const QString chave = chaveCodigo(codigo);
                    if (!colunaPorProduto.contains(chave)) colunaPorProduto.insert(chave, coluna);

                    data::Recordset rsProduto;
                    rsProduto.Open(QStringLiteral("Select * from Produtos Where Codigo='") + sqlApostrofos(codigo) + u'\'',
                                   gconnGeral, adOpenDynamic, adLockOptimistic);
                    if (rsProduto.EOF()) {
                        rsProduto.AddNew();
                        rsProduto.Fields(QStringLiteral("Status")).setValue(QStringLiteral("N"));
                        rsProduto.Fields(QStringLiteral("Codigo")).setValue(codigo);
                        rsProduto.Fields(QStringLiteral("CodigoBarras")).setValue(codigo);
                        rsProduto.Fields(QStringLiteral("Descricao"))
                            .setValue(rsGestao.Fields(QStringLiteral("Descricao")).Value());
                        rsProduto.Fields(QStringLiteral("PVP")).setValue(preco);
                        rsProduto.Fields(QStringLiteral("UnidadeVenda"))
                            .setValue(rsGestao.Fields(QStringLiteral("UnidadeVenda")).Value());
                        rsProduto.Fields(QStringLiteral("NomeFornecedor"))
                            .setValue(rsGestao.Fields(QStringLiteral("NomeFornece")).Value());
                        rsProduto.Fields(QStringLiteral("Cambio")).setValue(QStringLiteral("EUR"));
                    }
                    rsProduto.Update();
                    rsProduto.Close();
                    lote.passo();
                    rsGestao.MoveNext();
                }
                rsGestao.Close();
                rsLiga.MoveNext();
            }
        }
        rsLiga.Close();
        registo.clear();

        // Phase 2: every staged product against the company database.
        data::Recordset rsStaged;
        rsStaged.Open(QStringLiteral("Select * from Produtos"), gconnGeral, adOpenDynamic, adLockOptimistic);
        while (!rsStaged.EOF()) {
            const QString codigo = texto(rsStaged.Fields(QStringLiteral("Codigo")).Value());
            registo = QStringLiteral("Produto ") + codigo;
            data::Recordset rsGestao;
            rsGestao.Open(QStringLiteral("Select Descricao,UnidadeVenda,PrecoVenda1,PrecoVenda2,PrecoVenda3,PrecoVenda4,"
                                         "PrecoVenda5,PrecoVenda6,PrecoVenda7 from Produtos Where Codigo='") +
                              sqlApostrofos(codigo) + u'\'',
                          gconnGestao, adOpenForwardOnly, adLockReadOnly);
            if (rsGestao.EOF()) {
                rsStaged.Fields(QStringLiteral("Status")).setValue(QStringLiteral("E"));
                rsStaged.Update();
            } else {
                const Variant descricao = rsGestao.Fields(QStringLiteral("Descricao")).Value();
                if (difere(rsStaged.Fields(QStringLiteral("Descricao")).Value(), descricao)) {
                    marcaAlterado(rsStaged);
                    rsStaged.Fields(QStringLiteral("Descricao")).setValue(descricao);
                    rsStaged.Update();
                }
                const QString coluna = colunaPorProduto.value(chaveCodigo(codigo), ultimaColuna);
                if (!coluna.isEmpty()) {
                    const Variant preco = rsGestao.Fields(coluna).Value();
                    if (difere(rsStaged.Fields(QStringLiteral("PVP")).Value(), preco)) {
                        marcaAlterado(rsStaged);
                        rsStaged.Fields(QStringLiteral("PVP")).setValue(preco);
                        rsStaged.Update();
                    }
                }
                const Variant unidade = rsGestao.Fields(QStringLiteral("UnidadeVenda")).Value();
                if (difere(rsStaged.Fields(QStringLiteral("UnidadeVenda")).Value(), unidade)) {
                    marcaAlterado(rsStaged);
                    rsStaged.Fields(QStringLiteral("UnidadeVenda")).setValue(unidade);
                    rsStaged.Update();
                }
            }
            rsGestao.Close();
            lote.passo();
            rsStaged.MoveNext();
        }
        rsStaged.Close();
        registo.clear();
        lote.confirma();
        return true;
    } catch (const std::exception& e) {
        lote.termina();
        FalhaNoProcesso(host, QStringLiteral("Função Processa Produtos"), e, registo);
    }
    return false;
}
