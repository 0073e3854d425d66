// Step 4 of a run: the customer import. New company customers that a rule of LigaClientes
// selects (and whose postal code is known) are staged with "N" and Activo 0; then every staged
// customer is checked against the company database: a customer whose code is gone gets "E",
// one whose name, tax number, address or town changed gets "A" and the new values (one still
// "N", not yet sent, stays "N"). A customer becomes active only when the sales-line import
// finds a new line of it.

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/RunHost.h"
#include "extractor/LoteDeEscritas.h"
#include "extractor/MarcaAlterado.h"
#include "extractor/clsVelmora.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/sqltext.h"
#include "util/text.h"

namespace {

using data::Variant;
using util::sqlApostrofos;

// A value concatenated into a text: Null adds nothing.
QString texto(const Variant& v) { return (v.isNull() || v.isEmpty()) ? QString() : v.toString(); }

bool emBranco(const QString& campo) { return util::trimBlanks(campo).isEmpty(); }

// Exact comparison (case and trailing blanks count); a Null on either side is no difference.
bool difere(const Variant& staged, const Variant& company) {
    if (staged.isNull() || staged.isEmpty() || company.isNull() || company.isEmpty()) return false;
    return Variant::compare(staged, company) != 0;
}

// The export's postal code: "1234 - 567 Place". Blanks anywhere in the company code are
// dropped first, so "1234 - 567" reads like "1234-567"; the fifth character is the code's own
// separator and never kept.
QString codigoPostal(const Variant& codPost, const Variant& postalDesc) {
    const QString c = eFun().Tirar_Espacos_str(util::trimBlanks(texto(codPost)), QStringLiteral(" "));
    // A place name of 50 characters makes the text one character wider than the staged column;
    // cut to the column so one long place name cannot stop the customer import at every run.
    constexpr qsizetype kLarguraCodPost = 60;
    return (c.left(4) + QStringLiteral(" - ") + c.mid(5, 3) + u' ' + texto(postalDesc)).left(kLarguraCodPost);
}

}  // namespace

bool clsVelmora::ProcessaClientes(data::Connection& gconnGeral, data::Connection& gconnGestao, RunHost& host) {
    using namespace data::ado;
    LoteDeEscritas lote(gconnGeral, "clientes");
    QString registo;  // the customer at hand, for the trap's row
    try {
        // Phase 1: new customers.
        data::Recordset rsLiga;
        rsLiga.Open(QStringLiteral("Select * from LigaClientes"), gconnGeral, adOpenForwardOnly, adLockReadOnly);
        if (!(rsLiga.EOF() && rsLiga.BOF())) {
            while (!rsLiga.EOF()) {
                registo.clear();
                // A Null rule field is not text and stops the step.
                const QString grupo = rsLiga.Fields(QStringLiteral("Grupo")).Value().toString();
                const QString familia = rsLiga.Fields(QStringLiteral("Familia")).Value().toString();
                const QString subfamilia = rsLiga.Fields(QStringLiteral("Subfamilia")).Value().toString();

                QString condicoes;
                if (!emBranco(grupo)) condicoes += QStringLiteral(" and Grupo='") + sqlApostrofos(grupo) + u'\'';
                if (!emBranco(familia)) condicoes += QStringLiteral(" and Familia='") + sqlApostrofos(familia) + u'\'';
                if (!emBranco(subfamilia)) {
                    condicoes += QStringLiteral(" and Subfamilia='") + sqlApostrofos(subfamilia) + u'\'';
                }

                const QString sql =
                    QStringLiteral("Select clientes.CodPost,clientes.Codigo,clientes.Descricao,clientes.Contribuinte,"
                                   "Morada,local as Localidade, ") +
                    QStringLiteral(" TabPostal.descricao as PostalDesc,clientes.Pais,clientes.Distrito ") +
                    QStringLiteral(" from clientes  ") +
                    QStringLiteral(" inner join tabpostal on tabpostal.codigo=clientes.codpost ") +
                    QStringLiteral(" Where clientes.NumRegisto>0 ") + condicoes;

                data::Recordset rsGestao;
                rsGestao.Open(sql, gconnGestao, adOpenForwardOnly, adLockReadOnly);
                while (!rsGestao.EOF()) {
                    registo = QStringLiteral("Cliente ") + texto(rsGestao.Fields(QStringLiteral("Codigo")).Value());
                    const QString codigo = rsGestao.Fields(QStringLiteral("Codigo")).Value().toString();
                    data::Recordset rsCliente;
                    rsCliente.Open(QStringLiteral("Select * from Clientes Where Codigo='") + sqlApostrofos(codigo) + u'\'',
                                   gconnGeral, adOpenDynamic, adLockOptimistic);
                    if (rsCliente.EOF()) {
                        const Variant descricao = rsGestao.Fields(QStringLiteral("Descricao")).Value();
                        rsCliente.AddNew();
                        rsCliente.Fields(QStringLiteral("Activo")).setValue(std::int16_t{0});
                        rsCliente.Fields(QStringLiteral("Codigo")).setValue(codigo);
                        rsCliente.Fields(QStringLiteral("Status")).setValue(QStringLiteral("N"));
                        rsCliente.Fields(QStringLiteral("Descricao")).setValue(descricao);
                        rsCliente.Fields(QStringLiteral("Designacao")).setValue(descricao);
                        rsCliente.Fields(QStringLiteral("Contribuinte"))
                            .setValue(rsGestao.Fields(QStringLiteral("Contribuinte")).Value());
                        rsCliente.Fields(QStringLiteral("BI_NIPC")).setValue(QString(""));
                        rsCliente.Fields(QStringLiteral("Morada")).setValue(rsGestao.Fields(QStringLiteral("Morada")).Value());
                        rsCliente.Fields(QStringLiteral("Localidade"))
                            .setValue(rsGestao.Fields(QStringLiteral("Localidade")).Value());
                        rsCliente.Fields(QStringLiteral("Distrito"))
                            .setValue(rsGestao.Fields(QStringLiteral("Distrito")).Value());
                        rsCliente.Fields(QStringLiteral("Concelho")).setValue(QString(""));
                        rsCliente.Fields(QStringLiteral("CodPost"))
                            .setValue(codigoPostal(rsGestao.Fields(QStringLiteral("CodPost")).Value(),
                                                   rsGestao.Fields(QStringLiteral("PostalDesc")).Value()));
                        rsCliente.Fields(QStringLiteral("Pais")).setValue(rsGestao.Fields(QStringLiteral("Pais")).Value());
                        rsCliente.Fields(QStringLiteral("Segmento")).setValue(QString(""));
                    }
                    rsCliente.Update();
                    rsCliente.Close();
                    lote.passo();
                    rsGestao.MoveNext();
                }
                rsGestao.Close();
                rsLiga.MoveNext();
            }
        }
        rsLiga.Close();
        registo.clear();

        // Phase 2: every staged customer against the company database.
        data::Recordset rsStaged;
        rsStaged.Open(QStringLiteral("Select * from Clientes"), gconnGeral, adOpenDynamic, adLockOptimistic);
        while (!rsStaged.EOF()) {
            const QString codigo = texto(rsStaged.Fields(QStringLiteral("Codigo")).Value());
            registo = QStringLiteral("Cliente ") + codigo;
            data::Recordset rsGestao;
            rsGestao.Open(QStringLiteral("Select Descricao,Contribuinte,Morada,local from Clientes Where Codigo='") +
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
                    rsStaged.Fields(QStringLiteral("Designacao")).setValue(descricao);
                }
                const Variant contribuinte = rsGestao.Fields(QStringLiteral("Contribuinte")).Value();
                if (difere(rsStaged.Fields(QStringLiteral("Contribuinte")).Value(), contribuinte)) {
                    marcaAlterado(rsStaged);
                    rsStaged.Fields(QStringLiteral("Contribuinte")).setValue(contribuinte);
                }
                const Variant morada = rsGestao.Fields(QStringLiteral("Morada")).Value();
                if (difere(rsStaged.Fields(QStringLiteral("Morada")).Value(), morada)) {
                    marcaAlterado(rsStaged);
                    rsStaged.Fields(QStringLiteral("Morada")).setValue(morada);
                }
                const Variant local = rsGestao.Fields(QStringLiteral("local")).Value();
                if (difere(rsStaged.Fields(QStringLiteral("Localidade")).Value(), local)) {
                    marcaAlterado(rsStaged);
                    rsStaged.Fields(QStringLiteral("Localidade")).setValue(local);
                }
                rsStaged.Update();
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
        FalhaNoProcesso(host, QStringLiteral("Função Processa Clientes"), e, registo);
    }
    return false;
}
