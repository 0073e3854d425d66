#include "extractor/LoteDeEscritas.h"

#include <QtGlobal>
#include <string>

#include "platform/crashpoint.h"

namespace {

// 500 rows a group; VELMORA_LINHAS_POR_GRUPO (a positive number, read once) makes the groups
// smaller, so that the crash tests reach a first, a middle and a last group of each import with
// a company of a few records.
int linhasPorGrupo() {
    static const int n = [] {
        bool ok = false;
        const int v = qEnvironmentVariableIntValue("VELMORA_LINHAS_POR_GRUPO", &ok);
        return ok && v > 0 ? v : 500;
    }();
    return n;
}

}  // namespace

LoteDeEscritas::LoteDeEscritas(data::Connection& conn) noexcept : conn_(conn) { comeca(); }

LoteDeEscritas::LoteDeEscritas(data::Connection& conn, const char* nome) noexcept : conn_(conn), nome_(nome) {
    comeca();
}

LoteDeEscritas::LoteDeEscritas(data::Connection& conn, Exigida) : conn_(conn) {
    conn_.BeginTrans();
    aberta_ = true;
}

void LoteDeEscritas::comeca() noexcept {
    linhas_ = 0;
    try {
        conn_.BeginTrans();
        aberta_ = true;
    } catch (...) {
    }
}

void LoteDeEscritas::passo() {
    if (!aberta_ || ++linhas_ < linhasPorGrupo()) return;
    if (nome_ != nullptr) platform::crashPoint((std::string(nome_) + ".grupo-" + std::to_string(++grupos_)).c_str());
    conn_.CommitTrans();
    aberta_ = false;
    comeca();
}

LoteDeEscritas::~LoteDeEscritas() {
    if (!aberta_) return;
    try {
        conn_.RollbackTrans();
    } catch (...) {
    }
}

void LoteDeEscritas::confirma() {
    if (!aberta_) return;
    if (nome_ != nullptr) platform::crashPoint((std::string(nome_) + ".ultimo-grupo").c_str());
    conn_.CommitTrans();
    aberta_ = false;
}

void LoteDeEscritas::termina() noexcept {
    if (!aberta_) return;
    try {
        conn_.CommitTrans();
        aberta_ = false;
        return;
    } catch (...) {
    }
    try {
        conn_.RollbackTrans();
    } catch (...) {
    }
    aberta_ = false;
}
