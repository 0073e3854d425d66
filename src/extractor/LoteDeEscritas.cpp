#include "extractor/LoteDeEscritas.h"

namespace {
constexpr int kLinhasPorGrupo = 500;
}

LoteDeEscritas::LoteDeEscritas(data::Connection& conn) noexcept : conn_(conn) { comeca(); }

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
    if (!aberta_ || ++linhas_ < kLinhasPorGrupo) return;
    confirma();
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
