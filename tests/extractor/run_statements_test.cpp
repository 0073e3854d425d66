// A whole automatic and a whole manual run recorded statement by statement (every request a
// session runs, with the database it runs in and its kind: 1 text, 2 a table by name), on a
// company with one product, one customer and one sales line, all of them new, and compared with
// the texts the run must send: a statement that gives the same rows here but differs from the
// one the run sends to SQL Server, a blank or a clause, is caught.

#include <gtest/gtest.h>

#include <QStringList>

#include "data/provider.h"
#include "support/expect_statements.h"
#include "support/run_fixture.h"

namespace {

using namespace Qt::StringLiterals;

// Rows written back through a recordset are not requests and do not show here.
const QStringList kInicioAutomatico{
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Início do processame"
    u"nto automático...','2017-03-07')"_s,
};
const QStringList kInicioManual{
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Início do processame"
    u"nto manual...','2017-03-07')"_s,
};
// The three imports, the same in both runs.
const QStringList kImportacoes{
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Processando produtos"
    u"...','')"_s,
    u"Velmora | 1 | Select * from LigaProdutos"_s,
    u"Empresa | 1 | Select Produtos.UnidadeVenda,Produtos.Codigo,ForneceExterno,Produtos.Descricao,For"
    u"nece.Descricao as NomeFornece,PrecoVenda1 from Produtos   Left outer join Fornece on Produtos.Fo"
    u"rneceExterno=Fornece.Codigo  Where Produtos.NumRegisto>0 "_s,
    u"Velmora | 1 | Select * from Produtos Where Codigo='P1'"_s,
    u"Velmora | 1 | Select * from Produtos"_s,
    u"Empresa | 1 | Select Descricao,UnidadeVenda,PrecoVenda1,PrecoVenda2,PrecoVenda3,PrecoVenda4,Prec"
    u"oVenda5,PrecoVenda6,PrecoVenda7 from Produtos Where Codigo='P1'"_s,
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Processando clientes"
    u"...','')"_s,
    u"Velmora | 1 | Select * from LigaClientes"_s,
    u"Empresa | 1 | Select clientes.CodPost,clientes.Codigo,clientes.Descricao,clientes.Contribuinte,M"
    u"orada,local as Localidade,  TabPostal.descricao as PostalDesc,clientes.Pais,clientes.Distrito  f"
    u"rom clientes   inner join tabpostal on tabpostal.codigo=clientes.codpost  Where clientes.NumRegi"
    u"sto>0 "_s,
    u"Velmora | 1 | Select * from Clientes Where Codigo='C1'"_s,
    u"Velmora | 1 | Select * from Clientes"_s,
    u"Empresa | 1 | Select Descricao,Contribuinte,Morada,local from Clientes Where Codigo='C1'"_s,
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Processando moviment"
    u"os...','')"_s,
    u"Empresa | 1 |  Select MovProduto.NumRegisto as NumReg,MovProduto.ObsLinha,MovProduto.Vendedor,Ta"
    u"bTipoMov.AfectaCli, Velmora..LigaMovimentos.Mascara,Velmora..LigaMovimentos.ApenasMovComValor, i"
    u"snull(Velmora..LigaMovimentos.TipoOferta,'0') as TipoOferta, isnull(MovProduto.ValorIliq,0)-isnu"
    u"ll(MovProduto.TotalDesconto,0) as IliqDesc,  isnull(ImpostosMovproduto.CodigoImposto,'') as Codi"
    u"goImposto,  MovProduto.Identifica,Movproduto.Codigo,Movproduto.Tipo,Movproduto.Numero,Movproduto"
    u".Ano,Movproduto.Data,Movproduto.Preco,Movproduto.QuantNormal,Movproduto.Terceiro,Movproduto.Clif"
    u"or,  MovProduto.Unidade  From MovProduto With (NoLock)  Inner Join TabTipoMov on MovProduto.Tipo"
    u"=TabTipoMov.Codigo  Inner join Velmora..Produtos on Velmora..Produtos.Codigo=MovProduto.Codigo I"
    u"nner join Velmora..Clientes on Velmora..Clientes.Codigo=MovProduto.Terceiro Inner join Velmora.."
    u"LigaMovimentos on Velmora..LigaMovimentos.Tipo=MovProduto.Tipo left outer join ImpostosMovprodut"
    u"o With (NoLock) on (MovProduto.Identifica=ImpostosMovProduto.Identifica and ImpostosMovProduto.C"
    u"odigoImposto='IEC')  Where  Movproduto.Clifor='C'  and Movproduto.Fechado='S' and Movproduto.Num"
    u"ero<>''  and Movproduto.data>='2017-01-01' and Movproduto.data<='2017-03-07'"_s,
    u"Velmora | 1 | Select * from movimentos Where chave='L1'"_s,
    u"Velmora | 1 | Update Clientes Set activo=1 Where codigo='C1'"_s,
    u"Velmora | 1 | Update Produtos Set Activo=1 Where Codigo='P1'"_s,
    u"Velmora | 1 | Select Chave,Status,NumRegisto from Movimentos Where data>='2017-01-01' and data<="
    u"'2017-03-07'"_s,
    u"Empresa | 1 | Select NumRegisto from MovProduto Where Identifica='L1'"_s,
};
// The automatic run drops what the company no longer selects.
const QStringList kAutomaticoLimpa{
    u"Velmora | 1 | Delete from produtos Where isnull(Activo,0)<>1"_s,
    u"Velmora | 1 | Delete from clientes where isnull(activo,0)<>1"_s,
};
// The manual run marks every staged line of the period, and what it names, to be sent again.
const QStringList kManualMarca{
    u"Velmora | 1 | Update Movimentos Set Status='A' Where Data>='2017-01-01' and data<='2017-03-07' a"
    u"nd isnull(status,'')=''"_s,
    u"Velmora | 1 | Select CodigoProduto,CodigoCliente from movimentos Where Data>='2017-01-01' and da"
    u"ta<='2017-03-07'"_s,
    u"Velmora | 1 | Update Clientes Set Status='A' ,Activo= 1 Where Codigo='C1' and isnull(Status,'')="
    u"'' "_s,
    u"Velmora | 1 | Update Produtos Set Status='A' ,Activo=1 Where Codigo='P1' and isnull(Status,'')='"
    u"' "_s,
};
// The file and its zipped copy.
const QStringList kFicheiro{
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Criando ficheiro...'"
    u",'<pasta>/NRT170307.MOV')"_s,
    u"Velmora | 1 | Select * from Clientes Where Activo=1 and isnull(status,'')<>'' order by codigo"_s,
    u"Velmora | 1 | Select * from Produtos Where Activo=1 and isnull(status,'')<>'' Order by codigo "_s,
    u"Velmora | 1 | Select * from movimentos Where isnull(status,'')<>'' order by Mascara DESC,Data AS"
    u"C"_s,
    u"Velmora | 2 | HistFiles"_s,
};
// The manual run puts the letters back as the period found them.
const QStringList kManualRepoe{
    u"Velmora | 1 | Update Clientes Set Status='' Where Status='A'  or Status='E' "_s,
    u"Velmora | 1 | Update Produtos Set Status='' Where Status='A'  or Status='E' "_s,
    u"Velmora | 1 | Delete from Produtos Where Status='N'"_s,
    u"Velmora | 1 | Delete from Clientes Where Status='N'"_s,
    u"Velmora | 1 | Delete from movimentos Where Status='N'"_s,
};
// The letters of the sent records are reset.
const QStringList kReposicao{
    u"Velmora | 1 | delete from movimentos where status='E' "_s,
    u"Velmora | 1 | Update Clientes Set Status=''"_s,
    u"Velmora | 1 | Update Produtos Set Status=''"_s,
    u"Velmora | 1 | Update Movimentos Set Status=''"_s,
};
const QStringList kFimAutomatico{
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Fim do processamento"
    u" automático.','2017-03-07')"_s,
};
const QStringList kFimManual{
    u"Velmora | 1 | Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Fim do processamento"
    u" manual.','2017-03-07')"_s,
};
const QStringList kAutomatico = kInicioAutomatico + kImportacoes + kAutomaticoLimpa + kFicheiro + kReposicao + kFimAutomatico;
const QStringList kManual = kInicioManual + kImportacoes + kManualMarca + kFicheiro + kManualRepoe + kReposicao + kFimManual;

QStringList& gravados() {
    static QStringList g;
    return g;
}

class RunStatements : public testsupport::RunFixture {
protected:
    // Before the fixture opens its connections, so that every session of the test is observed.
    static void SetUpTestSuite() {
        data::provider::setRequestObserver([](const QString& database, const data::provider::Request& r) {
            gravados() << database + u" | "_s + QString::number(r.commandType) + u" | "_s + r.text;
        });
    }
    static void TearDownTestSuite() { data::provider::setRequestObserver({}); }

    void SetUp() override {
        db_.setExport(dir_.path());
        auto& c = db_.company;
        c.addFornecedor("F1", "Torrefacção Lda");
        c.addProduto({.codigo = "P1", .descricao = "Café", .forneceExterno = "F1"});
        c.addPostal("1000-001", "LISBOA");
        c.addCliente({.codigo = "C1", .descricao = "Ana", .codPost = "1000-001"});
        c.addTipoMov("FT", "D");
        c.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01"});
        c.addIec("L1");
        db_.addLigaProduto({});
        db_.addLigaCliente({});
        db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
        gravados().clear();
    }

    QStringList gravar(bool manual) {
        run(manual);
        EXPECT_TRUE(host_.criticalMessages.isEmpty());
        QStringList g = gravados();
        g.replaceInStrings(dir_.path(), u"<pasta>"_s);
        return g;
    }
};

TEST_F(RunStatements, AnAutomaticRunSendsExactlyItsStatements) { testsupport::expectStatements(gravar(false), kAutomatico); }

TEST_F(RunStatements, AManualRunSendsExactlyItsStatements) { testsupport::expectStatements(gravar(true), kManual); }

}  // namespace
