#include "extractor/gui/ProcessoEmCurso.h"

namespace {

int& emCurso() {
    static int n = 0;
    return n;
}

}  // namespace

ProcessoEmCurso::ProcessoEmCurso() { ++emCurso(); }

ProcessoEmCurso::~ProcessoEmCurso() { --emCurso(); }

bool ProcessoEmCurso::activo() { return emCurso() > 0; }
