// The common end of every error trap of a run.

#include "extractor/MainMod_ligacoes.h"
#include "extractor/RunHost.h"
#include "extractor/clsVelmora.h"

void clsVelmora::FalhaNoProcesso(RunHost& host, const QString& label, const QString& errorText) {
    host.SetBusyPointer(false);
    LancaLog(label, errorText);  // over a connection of its own; a lost row is not a new failure
    host.ShowCriticalMessage(QStringLiteral("Falha no Processo"));
}
