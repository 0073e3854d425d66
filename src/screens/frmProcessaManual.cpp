#include "screens/frmProcessaManual.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "data/connection.h"
#include "data/variant.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/ProcessoEmCurso.h"
#include "extractor/gui/WMenu.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "screens/Edatas.h"
#include "screens/frmConfigura.h"
#include "util/EDiv.h"
#include "util/gui/ControlEnterFilter.h"
#include "util/gui/IconeDoMenu.h"

namespace {

// P7 as the nearest 16-bit integer of its leading number; beyond that range, its nearest end.
std::int16_t mesesCutOff(const QString& p7) {
    const double n = data::leadingNumber(p7);
    try {
        return data::Variant(n).toInt16();
    } catch (const std::exception&) {
        return n < 0 ? std::int16_t{-32768} : std::int16_t{32767};
    }
}

void aviso(const QString& texto) { platform::MsgBox(texto, platform::mb::Exclamation); }

}  // namespace

frmProcessaManual::frmProcessaManual(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmProcessaManual"));
    setWindowTitle(QStringLiteral("Processar Manualmente"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    edatDataInicial = new Edatas(this);
    edatDataInicial->setObjectName(QStringLiteral("edatDataInicial"));
    edatDataFinal = new Edatas(this);
    edatDataFinal->setObjectName(QStringLiteral("edatDataFinal"));
    for (Edatas* d : {edatDataInicial, edatDataFinal}) {
        d->setProperty("Tag", QStringLiteral("1"));
        d->setMaximumWidth(110);
    }
    cmdProcessar = new QPushButton(QStringLiteral("&Processar"), this);
    cmdProcessar->setObjectName(QStringLiteral("cmdProcessar"));
    cmdSair = new QPushButton(QStringLiteral("&Sair"), this);
    cmdSair->setObjectName(QStringLiteral("cmdSair"));
    cmdProcessar->setAutoDefault(false);
    cmdSair->setAutoDefault(false);

    auto* campos = new QFormLayout;
    campos->addRow(QStringLiteral("Data Inicial :"), edatDataInicial);
    campos->addRow(QStringLiteral("Data Final :"), edatDataFinal);
    auto* botoes = new QHBoxLayout;
    botoes->addStretch();
    botoes->addWidget(cmdProcessar);
    botoes->addWidget(cmdSair);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(campos);
    layout->addLayout(botoes);

    connect(cmdProcessar, &QPushButton::clicked, this, [this] { Processar(); });
    connect(cmdSair, &QPushButton::clicked, this, &QDialog::reject);

    new ControlEnterFilter(this);
    SelecionaAoEntrar(this);
    Form_Load();
}

frmProcessaManual::~frmProcessaManual() {
    if (ponteiroOcupado_) QApplication::restoreOverrideCursor();
}

void frmProcessaManual::Form_Load() {
    SetIcon(this);
    adjustSize();
    eFun().CenterForm(this);
    // The period of an automatic run is offered: this year so far.
    const QDate hoje = platform::today();
    edatDataInicial->setData(QDate(hoje.year(), 1, 1).toString(QStringLiteral("yyyy-MM-dd")));
    edatDataFinal->setData(hoje.toString(QStringLiteral("yyyy-MM-dd")));
}

bool frmProcessaManual::Processar() {
    // A date typed and not yet read is read now; a refused one has shown its message.
    if (!edatDataInicial->Valida() || !edatDataFinal->Valida()) return false;
    const QString DataIni = edatDataInicial->Data();
    const QString DataFim = edatDataFinal->Data();
    if (DataIni.isEmpty() || DataFim.isEmpty()) {
        aviso(QStringLiteral("Indique a data inicial e a data final do período a processar!"));
        (DataIni.isEmpty() ? edatDataInicial : edatDataFinal)->setFocus();
        return false;
    }
    // Dates are "yyyy-mm-dd": the year is the first four characters, and text order is date order.
    if (DataIni.left(4) != DataFim.left(4)) {
        aviso(QStringLiteral("As datas do período têm de pertencer ao mesmo ano!"));
        edatDataFinal->setFocus();
        return false;
    }
    if (DataFim < DataIni) {
        aviso(QStringLiteral("A data final não pode ser anterior à data inicial!"));
        edatDataFinal->setFocus();
        return false;
    }
    if (ProcessoEmCurso::activo()) return false;
    ProcessoEmCurso emCurso;

    const std::int16_t CutOffMovimentos = mesesCutOff(LerIni(QStringLiteral("Extractor"), QStringLiteral("P7")));
    data::Connection gconnGeral;
    if (!OpenVelmora(gconnGeral, errC(), errD(), kTimeoutLigacao)) {
        platform::MsgBox(QString::number(errC()) + QChar(u'\r') + errD(), platform::mb::Critical);
        return false;
    }
    data::Connection gconnGestao;
    if (!OpenGeral(gconnGestao, errC(), errD(), kTimeoutLigacao)) {
        gconnGeral.Close();
        platform::MsgBox(QString::number(errC()) + QChar(u'\r') + errD(), platform::mb::Critical);
        return false;
    }

    SetBusyPointer(true);
    clsVelmora().Processa(gconnGeral, gconnGestao, DataIni, DataFim, CutOffMovimentos, *this, true);
    SetBusyPointer(false);
    try {
        gconnGestao.Close();
        gconnGeral.Close();
    } catch (const std::exception&) {
        // Both are released with their objects all the same.
    }
    return true;
}

RunHost* frmProcessaManual::statusB() const {
    if (statusB_ != nullptr) return statusB_;
    return WMenu::instancia();
}

void frmProcessaManual::SetPanelText(const QString& text) {
    if (RunHost* h = statusB()) h->SetPanelText(text);
}

void frmProcessaManual::RefreshStatusBar() {
    if (RunHost* h = statusB()) h->RefreshStatusBar();
}

void frmProcessaManual::SetBusyPointer(bool busy) {
    if (busy == ponteiroOcupado_) return;
    ponteiroOcupado_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void frmProcessaManual::ShowCriticalMessage(const QString& text) { platform::MsgBox(text, platform::mb::Critical); }
