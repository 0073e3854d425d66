// The common end of every error trap of a run.

#include "extractor/MainMod_ligacoes.h"
#include "extractor/RunHost.h"
#include "extractor/clsVelmora.h"
#include "platform/runtime_error.h"

void clsVelmora::FalhaNoProcesso(RunHost& host, const QString& label, const QString& errorText) {
    host.SetBusyPointer(false);
    LancaLog(label, errorText);  // over a connection of its own; a lost row is not a new failure
    host.ShowCriticalMessage(QStringLiteral("Falha no Processo"));
}

void clsVelmora::FalhaNoProcesso(RunHost& host, const QString& label, const std::exception& e,
                                 const QString& registo) {
    const auto* erro = dynamic_cast<const platform::RuntimeError*>(&e);
    QString texto = erro != nullptr ? erro->description() : QString::fromLocal8Bit(e.what());
    if (!registo.isEmpty()) texto += QStringLiteral(" (") + registo + u')';
    FalhaNoProcesso(host, label, texto);
}
