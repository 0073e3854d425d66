#pragma once
// A run's writes to the staging database grouped into transactions of its connection: the
// imports' row-by-row writes, since committed one by one every statement pays for a commit (the
// files' locks, the journal's frames) that costs several times the statement itself; and the
// writes that must stand or fall together.

#include "data/connection.h"

class LoteDeEscritas {
public:
    // A transaction that cannot begin leaves the statements to commit one by one, and the
    // trap of the step that follows meets whatever is wrong with the connection.
    explicit LoteDeEscritas(data::Connection& conn) noexcept;
    // An import's groups, named for the crash points before each commit ("<nome>.grupo-1",
    // "<nome>.grupo-2", ... and "<nome>.ultimo-grupo" before the last), so that a restart
    // after a kill in the middle of an import can be proved. The name must outlive the group.
    LoteDeEscritas(data::Connection& conn, const char* nome) noexcept;
    // For writes that must stand or fall together: a transaction that cannot begin raises.
    struct Exigida {};
    LoteDeEscritas(data::Connection& conn, Exigida);
    // Still open here means an error no trap of ours took: what was done is undone.
    ~LoteDeEscritas();
    LoteDeEscritas(const LoteDeEscritas&) = delete;
    LoteDeEscritas& operator=(const LoteDeEscritas&) = delete;

    // Once per row of a loop: every 500 rows (see linhasPorGrupo in the source) the group is
    // committed and another begun, so a killed process loses the work of one group at most.
    // Raises as the commit does.
    void passo();
    // Commits; raises as the commit does (the group then stays open for termina or the end).
    void confirma();
    // Ends the group inside an error trap, before the trap's log row, which goes over a
    // connection of its own and would otherwise wait for this one's locks: what was done before
    // the error stays done, as with statements committed one by one; if even that fails, it is
    // undone.
    void termina() noexcept;

private:
    void comeca() noexcept;

    data::Connection& conn_;
    const char* nome_ = nullptr;
    bool aberta_ = false;
    int linhas_ = 0;
    int grupos_ = 0;
};
