// The run driver and its log writer.
//
// Steps: (automatic) P11 and P12 = "Em Curso"; the start row; products, customers and the
// period's sales lines, (automatic) InicioMovimentos = this run's start once they are all
// staged (see PeriodoAutomatico.h); (manual) the period re-marked to be sent again, or (automatic) the
// inactive customers and products deleted; the file named; the export writer (file, zipped
// copy, status reset, P12 = "Concluído"); the mail when recipients are set; the end row.
//
// The imports and the export writer trap their own errors and the run goes on after them. Any
// other failure (a settings write, a log row, a panel text, the re-marking, the deletions, the
// naming, the mail call) ends the run at once through the trap "Função Processa": no file, no
// mail, no end row.

#include <QDate>
#include <QFileInfo>
#include <exception>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/RunHost.h"
#include "extractor/LoteDeEscritas.h"
#include "extractor/PeriodoAutomatico.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "platform/crashpoint.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/sqltext.h"
#include "util/text.h"

namespace {

void painel(RunHost& host, const QString& texto) {
    host.SetPanelText(texto);
    host.RefreshStatusBar();
}

// A column's value joined into a text: Null joins as nothing.
QString valorTexto(const data::Variant& v) { return v.isNull() ? QString() : v.toString(); }

// A settings file that cannot be written ends the run through its trap: without P11 the
// scheduler's same-minute guard would start the run again at every later tick of the minute,
// and P12 would keep the previous run's "Concluído" whatever becomes of this one.
void escreveIni(const QString& chave, const QString& valor) {
    const QString ficheiro = caminhoFicheiroIni();
    if (!platform::WritePrivateProfileString(QStringLiteral("Extractor"), chave, valor, ficheiro)) {
        throw platform::RuntimeError(75, QStringLiteral("Path/File access error: ") + ficheiro);
    }
}

}  // namespace

data::Variant clsVelmora::LancaLogGeral(data::Connection& conn, const QString& strOpcao, const QString& strTexto) {
    // Apostrophes are doubled, so a path or a recipient list holding one is logged intact
    // instead of breaking the statement and ending the run.
    conn.Execute(QStringLiteral("Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'") +
                     util::sqlApostrofos(strOpcao) + QStringLiteral("','") + util::sqlApostrofos(strTexto) +
                     QStringLiteral("')"),
                 nullptr, data::ado::adCmdText | data::ado::adExecuteNoRecords);
    return data::Variant();
}

data::Variant clsVelmora::Processa(data::Connection& gconnGeral, data::Connection& gconnGestao,
                                   const QString& DataIni, const QString& DataFim, std::int16_t CutOffMovimentos,
                                   RunHost& StatusB, bool blnManual) {
    QString registo;  // the staged line being re-marked, for the trap's row
    try {
        using namespace data::ado;

        // 1. The scheduler reads P11 as the next period's start and as its guard against a
        //    second start in this minute, so it is written before anything else.
        //    A settings file that does not yet say where the last complete sales-line import
        //    started gets this period's start, so that a failure of this run loses no day.
        const QString inicioDaExecucao = platform::now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        if (!blnManual) {
            if (util::trimBlanks(LerIni(QStringLiteral("Extractor"), kInicioMovimentos)).isEmpty()) {
                escreveIni(kInicioMovimentos, DataIni);
            }
            escreveIni(QStringLiteral("P11"), inicioDaExecucao);
            escreveIni(QStringLiteral("P12"), QStringLiteral("Em Curso"));
            platform::crashPoint("processa.em-curso");
        }

        // 2.
        LancaLogGeral(gconnGeral,
                      blnManual ? QStringLiteral("Início do processamento manual...")
                                : QStringLiteral("Início do processamento automático..."),
                      DataFim);

        // 3. to 5. The imports, each under its own trap.
        LancaLogGeral(gconnGeral, QStringLiteral("Processando produtos..."), QString());
        painel(StatusB, QStringLiteral("Processando Produtos..."));
        const bool produtosCompletos = ProcessaProdutos(gconnGeral, gconnGestao, StatusB);

        LancaLogGeral(gconnGeral, QStringLiteral("Processando clientes..."), QString());
        painel(StatusB, QStringLiteral("Processando Clientes..."));
        const bool clientesCompletos = ProcessaClientes(gconnGeral, gconnGestao, StatusB);

        LancaLogGeral(gconnGeral, QStringLiteral("Processando movimentos..."), QString());
        painel(StatusB, QStringLiteral("Processando Movimentos (") + DataIni + QStringLiteral(" a ") + DataFim +
                            QStringLiteral(")"));
        std::int16_t cutOff = CutOffMovimentos;
        const bool movimentosCompletos = ProcessaMovimentos(gconnGeral, gconnGestao, DataIni, DataFim, cutOff, StatusB);
        // Every line up to this run's start is staged now: the next period may start here. The
        // sales-line import takes only lines of staged products and customers, so a product or
        // customer import that stopped half-way leaves lines unread as well.
        if (!blnManual && produtosCompletos && clientesCompletos && movimentosCompletos) {
            escreveIni(kInicioMovimentos, inicioDaExecucao);
        }
        platform::crashPoint("processa.importacoes");

        const QString dataIni = util::sqlApostrofos(DataIni);
        const QString dataFim = util::sqlApostrofos(DataFim);
        if (blnManual) {
            // 6a. What the period already sent is sent again. An error undoes the re-marking
            //     before the trap's log row; the run ends without a file either way.
            painel(StatusB, QStringLiteral("Acertando clientes/produtos"));
            LoteDeEscritas lote(gconnGeral);
            gconnGeral.Execute(QStringLiteral("Update Movimentos Set Status='A' Where Data>='") + dataIni +
                               QStringLiteral("' and data<='") + dataFim + QStringLiteral("' and isnull(status,'')=''"));
            data::Recordset rs;
            rs.Open(QStringLiteral("Select CodigoProduto,CodigoCliente from movimentos Where Data>='") + dataIni +
                        QStringLiteral("' and data<='") + dataFim + QStringLiteral("'"),
                    gconnGeral, adOpenForwardOnly, adLockReadOnly);
            if (!(rs.BOF() && rs.EOF())) {
                while (!rs.EOF()) {
                    const data::Variant cliente = rs.Fields(QStringLiteral("CodigoCliente")).Value();
                    const data::Variant produto = rs.Fields(QStringLiteral("CodigoProduto")).Value();
                    registo = QStringLiteral("Cliente ") + valorTexto(cliente) + QStringLiteral(", Produto ") +
                              valorTexto(produto);
                    gconnGeral.Execute(QStringLiteral("Update Clientes Set Status='A' ,Activo= 1 Where Codigo='") +
                                       util::sqlApostrofos(valorTexto(cliente)) +
                                       QStringLiteral("' and isnull(Status,'')='' "));
                    gconnGeral.Execute(QStringLiteral("Update Produtos Set Status='A' ,Activo=1 Where Codigo='") +
                                       util::sqlApostrofos(valorTexto(produto)) +
                                       QStringLiteral("' and isnull(Status,'')='' "));
                    rs.MoveNext();
                }
            }
            registo.clear();
            rs.Close();
            lote.confirma();
        } else {
            // 6b. Only what a sales line made active goes to the file.
            gconnGeral.Execute(QStringLiteral("Delete from produtos Where isnull(Activo,0)<>1"));
            gconnGeral.Execute(QStringLiteral("Delete from clientes where isnull(activo,0)<>1"));
        }

        platform::crashPoint("processa.acerto");

        // 7. The file's name: prefix, yymmdd of today, ".MOV", in the export folder.
        painel(StatusB, QStringLiteral("Finalizando Processo..."));
        QString strPasta = LerIni(QStringLiteral("Extractor"), QStringLiteral("P3"));
        const QString prefixoPasta =
            util::trimBlanks(strPasta).isEmpty() ? QString() : strPasta + QStringLiteral("/");
        const QDate hoje = platform::today();
        std::int16_t dois = 2;
        const QString strNomeFicheiro = LerIni(QStringLiteral("Extractor"), QStringLiteral("P15")) +
                                        eFun().Zerar(QString::number(hoje.year()).right(2), dois) +
                                        eFun().Zerar(QString::number(hoje.month()), dois) +
                                        eFun().Zerar(QString::number(hoje.day()), dois) + QStringLiteral(".MOV");
        const QString strFicheiro = prefixoPasta + strNomeFicheiro;
        const QString strSistema = LerIni(QStringLiteral("Extractor"), QStringLiteral("P8"));

        // 8. The export writer, under its own trap.
        LancaLogGeral(gconnGeral, QStringLiteral("Criando ficheiro..."), strFicheiro);
        painel(StatusB, QStringLiteral("Criando ficheiro ") + strNomeFicheiro);
        CriaFicheiro(gconnGeral, DataIni, DataFim, strFicheiro, strNomeFicheiro, strSistema, blnManual, StatusB);
        platform::crashPoint("processa.ficheiro-criado");

        // 9. The mail, also after a failed import or export.
        const ConfiguracaoRecord& cfg = Configuracao();
        if (!util::trimBlanks(cfg.gstrEmailTo).isEmpty()) {
            painel(StatusB, QStringLiteral("Enviando ficheiro ") + strNomeFicheiro);
            LancaLogGeral(gconnGeral, QStringLiteral("Enviando ficheiro..."), cfg.gstrEmailTo);
            MailHost* mail = StatusB.Mail();
            if (mail == nullptr) {
                throw platform::RuntimeError(429, QStringLiteral("ActiveX component can't create object"));
            }
            // An export that failed leaves no file: a mail without it would be logged as sent.
            if (!QFileInfo(strFicheiro).isFile()) {
                LancaLog(QStringLiteral("Envio de Email - Form_Activate"),
                         QStringLiteral("Não foi possível enviar E-mail\r\rFile not found: ") + strFicheiro);
            } else {
                mail->SendMail(cfg.gstrEmailServer, cfg.gstrEmailTo, cfg.gstrEmailFrom,
                               blnManual ? QStringLiteral("Extractor de Dados - Norta (Manual)")
                                         : QStringLiteral("Extractor de Dados - Norta"),
                               QString(), QString(), strPasta, strNomeFicheiro, cfg.gstrEmailLogin,
                               cfg.gstrEmailPassword, false, QString(), cfg.gintSMTPPort, cfg.gblnSMTPSSL);
                mail->UnloadSendMail();
            }
            platform::crashPoint("processa.mail-enviado");
        }

        // 10.
        LancaLogGeral(gconnGeral,
                      blnManual ? QStringLiteral("Fim do processamento manual.")
                                : QStringLiteral("Fim do processamento automático."),
                      DataFim);
        painel(StatusB, QString());
    } catch (const std::exception& e) {
        FalhaNoProcesso(StatusB, QStringLiteral("Função Processa"), e, registo);
    }
    return data::Variant();
}
