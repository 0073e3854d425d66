// velmora_screenshots: renders every window of the program into a PNG for review. It sets up
// what the windows read (an embedded server with the staging and company databases, link rules
// of every kind, a "Velmora.ini" with every key filled, Portuguese regional settings, a fixed
// clock), then builds each window as the program would, fills it, saves it and closes it. No
// window waits on anyone: message boxes go to standard error (and make the run fail, since
// none is expected), and the windows that only fill themselves inside their modal wait are
// closed from inside it.
//
//   velmora_screenshots OUTPUT_FOLDER
//
// Prints each file written; the exit status is 1 when any window could not be saved.

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>

#include "captura.h"
#include "data/variant.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/gui/WMenu.h"
#include "extractor/gui/frmSendMail.h"
#include "linkscreens/frmLigaClientes.h"
#include "linkscreens/frmLigaProdutos.h"
#include "linkscreens/frmLigaVendas.h"
#include "linkscreens/frmTabLigaClientes.h"
#include "linkscreens/frmTabLigaProdutos.h"
#include "linkscreens/frmTabLigaVendas.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "screens/frmBrowseFolders.h"
#include "screens/frmConfigura.h"
#include "screens/frmProcessaManual.h"
#include "support/company_db.h"
#include "util/Locale.h"
#include "util/gui/WAlert1.h"

namespace {

using screenshots::Captura;
using testsupport::storedPassword;

// The moment every window sees: the scheduler's time on the main window, the manual run's
// period, the last run in the settings.
const QDateTime kAgora(QDate(2025, 3, 14), QTime(10, 42, 0));

// The five movement kinds of the sales rules, in the menu's order.
const QStringList kTipos = {QStringLiteral("V"), QStringLiteral("D"), QStringLiteral("EO"), QStringLiteral("AV"),
                            QStringLiteral("AO")};

// Every box is written to standard error and answered with its default button; none is expected
// while the windows are only shown and closed, so each one counts against the run.
class CaixasContadas : public platform::MessageBoxHost {
public:
    CaixasContadas() { platform::setMessageBoxHost(this); }
    ~CaixasContadas() override { platform::setMessageBoxHost(nullptr); }
    CaixasContadas(const CaixasContadas&) = delete;
    CaixasContadas& operator=(const CaixasContadas&) = delete;
    int show(const QString& text, int style, const QString& title) override {
        ++vistas;
        return platform::showOnStandardError(text, style, title);
    }
    int vistas = 0;
};

// A private home and configuration folders, so the regional settings and per-user store of
// whoever runs the tool are never read or changed.
void pastasPrivadas(const QString& raiz) {
    // The X server's key stays where it was when the home folder moves.
    const QByteArray casa = qgetenv("HOME");
    if (qEnvironmentVariableIsEmpty("XAUTHORITY") && !casa.isEmpty()) {
        setenv("XAUTHORITY", (casa + "/.Xauthority").constData(), 1);
    }
    const QByteArray r = QFile::encodeName(raiz);
    setenv("HOME", r.constData(), 1);
    setenv("XDG_CONFIG_HOME", (r + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (r + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (r + "/cache").constData(), 1);
    const QString execucao = raiz + QStringLiteral("/runtime");
    QDir().mkpath(execucao);
    QFile::setPermissions(execucao, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("XDG_RUNTIME_DIR", QFile::encodeName(execucao).constData(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
}

void regionalPortugues() {
    LocaleRecord& l = Locale();
    l.gstrDecSep = QStringLiteral(",");
    l.gstrMilSep = QStringLiteral(".");
    l.gstrAgrupamento = QStringLiteral("3");
    l.gstrFormatoData = QStringLiteral("dd-MM-yyyy");
    l.gstrHoraSep = QStringLiteral(":");
    l.gstrDataSep = QStringLiteral("-");
    l.gstrDataSepSistema = QStringLiteral("-");
}

// Every key of the settings file, as a working installation has them.
void preencheDefinicoes(const testsupport::RunDatabases& db, const QString& pastaDados) {
    const testsupport::TempProgramFolder& p = db.program;
    p.set(QStringLiteral("Extractor"), QStringLiteral("Ligado"), QStringLiteral("1"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P1"), QStringLiteral("0"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P3"), pastaDados + QStringLiteral("/export"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P5"), QStringLiteral("6"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P6"), QStringLiteral("12"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P7"), QStringLiteral("3"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P8"), QStringLiteral("SISTEMA NORTA"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P9"), QStringLiteral("08:05"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P11"), QStringLiteral("2025-03-14 08:05:00"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P12"), QStringLiteral("Concluído"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P13"), pastaDados + QStringLiteral("/log"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P14"), QStringLiteral("OP1"));
    p.set(QStringLiteral("Extractor"), QStringLiteral("P15"), QStringLiteral("NRT"));
    p.set(QStringLiteral("Email"), QStringLiteral("Server"), QStringLiteral("smtp.norta.pt"));
    p.set(QStringLiteral("Email"), QStringLiteral("Login"), QStringLiteral("velmora"));
    p.set(QStringLiteral("Email"), QStringLiteral("Password"), storedPassword(QStringLiteral("correio")));
    p.set(QStringLiteral("Email"), QStringLiteral("From"), QStringLiteral("velmora@norta.pt"));
    p.set(QStringLiteral("Email"), QStringLiteral("To"), QStringLiteral("a@norta.pt;b@norta.pt"));
    p.set(QStringLiteral("Email"), QStringLiteral("SMTPPort"), QStringLiteral("587"));
    p.set(QStringLiteral("Email"), QStringLiteral("SMTPSSL"), QStringLiteral("1"));
    LerConfiguracao();
}

// Rules of every kind, with blank codes ("all") among them, so each list shows both.
void preencheRegras(const testsupport::RunDatabases& db) {
    db.addLigaCliente({.grupo = "01"});
    db.addLigaCliente({.grupo = "02", .familia = "10"});
    db.addLigaCliente({.grupo = "03", .familia = "10", .subfamilia = "101"});
    db.addLigaProduto({.pvp = ""});
    db.addLigaProduto({.grupo = "BEB", .pvp = "1"});
    db.addLigaProduto({.grupo = "ALI", .familia = "CON", .fornecedor = "0000000042", .pvp = "2"});
    db.addLigaMovimento({.mascara = "V", .tipo = "FT", .apenasMovComValor = std::int16_t{1}});
    db.addLigaMovimento({.mascara = "V", .tipo = "FS"});
    db.addLigaMovimento({.mascara = "V", .tipo = "VD", .tipoOferta = "1"});
    db.addLigaMovimento({.mascara = "D", .tipo = "NC"});
    db.addLigaMovimento({.mascara = "EO", .tipo = "OF", .tipoOferta = "1"});
    db.addLigaMovimento({.mascara = "AV", .tipo = "ACV"});
    db.addLigaMovimento({.mascara = "AO", .tipo = "ACO", .apenasMovComValor = std::int16_t{1}});
}

std::int64_t primeiraRegra(const testsupport::RunDatabases& db, const QString& sql) {
    const data::Variant v = db.stagingScalar(sql);
    return v.isNull() || v.isEmpty() ? 0 : v.toInt64();
}

class Sessao {
public:
    Sessao(const QString& saida, const QString& pastaDados) : captura_(saida), pastaDados_(pastaDados) {}

    // Runs one window's capture; a failure (or a raised error) is counted and the next window
    // goes on.
    void passo(const char* nome, const std::function<bool()>& f) {
        bool ok = false;
        try {
            ok = f();
        } catch (const platform::RuntimeError& e) {
            std::fprintf(stderr, "velmora_screenshots: %s: error %ld %s\n", nome, static_cast<long>(e.number()),
                         qPrintable(e.description()));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora_screenshots: %s: %s\n", nome, e.what());
        }
        if (!ok) {
            ++falhas;
            std::fprintf(stderr, "velmora_screenshots: %s: not saved\n", nome);
        }
    }

    void todas(const testsupport::RunDatabases& db) {
        // The main window lives through the whole session, as in the program: the screens take
        // its icon.
        WMenu menu;
        menu.Timer1->stop();
        // One tick at the fixed time: the clock in panel 2, and no run (P9 is not due).
        menu.Timer1_Timer();

        passo("WMenu", [&] { return captura_.janela(menu); });
        passo("mnuOpcoes", [&] { return menu_(*menu.mnuOpcoes); });
        passo("mnuConfig", [&] { return menu_(*menu.mnuConfig); });

        passo("frmConfigura", [&] {
            frmConfigura ecra;
            return captura_.janela(ecra);
        });
        passo("frmBrowseFolders", [&] {
            frmBrowseFolders ecra;
            // The folder model reads in the background: the tree is drawn once it has.
            ecra.escolherPasta(pastaDados_ + QStringLiteral("/export"));
            ecra.show();
            screenshots::assentar(600);
            ecra.escolherPasta(pastaDados_ + QStringLiteral("/export"));
            return captura_.janela(ecra);
        });
        passo("frmProcessaManual", [&] {
            frmProcessaManual ecra;
            return captura_.janela(ecra);
        });

        passo("frmTabLigaClientes", [&] {
            frmTabLigaClientes lista;
            return lista.Carregar() && captura_.janela(lista);
        });
        passo("frmLigaClientes", [&] {
            const std::int64_t n = primeiraRegra(db, QStringLiteral("select min(NumRegisto) from LigaClientes "
                                                                    "where Grupo='02'"));
            return captura_.modal(QStringLiteral("frmLigaClientes"), [n] {
                frmLigaClientes ecra;
                ecra.ShowForm(n);
            });
        });
        passo("frmTabLigaProdutos", [&] {
            frmTabLigaProdutos lista;
            return lista.Carregar() && captura_.janela(lista);
        });
        passo("frmLigaProdutos", [&] {
            const std::int64_t n = primeiraRegra(db, QStringLiteral("select min(NumRegisto) from LigaProdutos "
                                                                    "where Grupo='ALI'"));
            return captura_.modal(QStringLiteral("frmLigaProdutos"), [n] {
                frmLigaProdutos ecra;
                ecra.ShowForm(n);
            });
        });
        // The sales lists and their edit screens take their kind and caption only in ShowForm.
        for (const QString& tipo : kTipos) {
            passo(qPrintable(QStringLiteral("frmTabLigaVendas_") + tipo), [&] {
                return captura_.modal(
                    QStringLiteral("frmTabLigaVendas"),
                    [tipo] {
                        frmTabLigaVendas lista;
                        QString mascara = tipo;
                        lista.ShowForm(mascara);
                    },
                    tipo);
            });
            passo(qPrintable(QStringLiteral("frmLigaVendas_") + tipo), [&] {
                const std::int64_t n = primeiraRegra(
                    db, QStringLiteral("select min(NumRegisto) from LigaMovimentos where Mascara='") + tipo +
                            QStringLiteral("'"));
                return captura_.modal(
                    QStringLiteral("frmLigaVendas"),
                    [tipo, n] {
                        frmLigaVendas ecra;
                        ecra.ShowForm(tipo, n);
                    },
                    tipo);
            });
        }

        passo("frmSendMail", [&] { return envio(); });
        passo("WAlert1", [&] {
            WAlert1 alerta;
            alerta.Preparar(QStringLiteral("Confirma a Eliminação?"),
                            {data::Variant(QStringLiteral("Não")), data::Variant(QStringLiteral("Sim"))});
            return captura_.janela(alerta);
        });

        menu.hide();
    }

    const QStringList& ficheiros() const { return captura_.ficheiros(); }
    int falhas = 0;

private:
    bool menu_(QMenu& m) {
        m.popup(QPoint(40, 40));
        screenshots::assentar();
        const bool ok = captura_.guardar(m, QString(), false);
        m.hide();
        screenshots::assentar(30);
        return ok;
    }

    // The mail window part-way through a send. It starts sending once its show has been handled,
    // so it is saved and hidden before that: nothing is sent.
    bool envio() {
        bool escrito = false;
        frmSendMail::setLogWriter([&escrito](const QString&, const QString&) { return escrito = true; });
        frmSendMail& janela = frmSendMail::Instance();
        janela.mvSendMail_onMailSend(QStringLiteral("Sending message 1 of 1"), 100, 42);
        janela.show();
        const bool ok = captura_.guardar(janela, QString());
        janela.hide();
        screenshots::assentar(30);
        frmSendMail::Unload();
        frmSendMail::setLogWriter({});
        if (escrito) std::fprintf(stderr, "velmora_screenshots: frmSendMail: a send was started\n");
        return ok && !escrito;
    }

    Captura captura_;
    QString pastaDados_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString saida = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(saida)) {
        std::fprintf(stderr, "velmora_screenshots: cannot make %s\n", qPrintable(saida));
        return 2;
    }
    // Inside the output folder rather than among everything else of the temporary folder: the
    // folder picker shows its way down to the export folder, siblings included.
    QTemporaryDir casa(saida + QStringLiteral("/velmora-XXXXXX"));
    if (!casa.isValid()) return 2;
    pastasPrivadas(casa.path());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setQuitOnLastWindowClosed(false);

    CaixasContadas caixas;
    regionalPortugues();
    platform::setClock([] { return kAgora; });

    int falhas = 0;
    QStringList ficheiros;
    {
        const QString pastaDados = casa.path() + QStringLiteral("/dados");
        QDir().mkpath(pastaDados + QStringLiteral("/export"));
        QDir().mkpath(pastaDados + QStringLiteral("/log"));
        testsupport::RunDatabases db;
        preencheDefinicoes(db, pastaDados);
        preencheRegras(db);
        Sessao sessao(saida, pastaDados);
        sessao.todas(db);
        falhas = sessao.falhas;
        ficheiros = sessao.ficheiros();
    }
    platform::setClock({});

    if (caixas.vistas > 0) {
        std::fprintf(stderr, "velmora_screenshots: %d message box(es) came up\n", caixas.vistas);
        ++falhas;
    }
    std::fprintf(stderr, "velmora_screenshots: %lld PNG(s) in %s%s\n", static_cast<long long>(ficheiros.size()),
                 qPrintable(saida), falhas > 0 ? ", with failures" : "");
    return falhas > 0 ? 1 : 0;
}
