#pragma once
// At most one extraction run at a time. A run holds the window thread, but it yields while a
// modal window of its own is up (a "Falha no Processo" box, the mail window), and the
// scheduler keeps ticking then: a tick that falls due during a manual run, or during an
// automatic run still waiting in such a window after its minute, must not start a second run
// on top of it. Whoever starts a run holds one of these for as long as the run lasts.

class ProcessoEmCurso {
public:
    ProcessoEmCurso();
    ~ProcessoEmCurso();
    ProcessoEmCurso(const ProcessoEmCurso&) = delete;
    ProcessoEmCurso& operator=(const ProcessoEmCurso&) = delete;

    // True while a run is in progress.
    static bool activo();
};
