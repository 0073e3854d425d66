#pragma once
// A T-SQL interpreter for the bodies of stored procedures. What it runs: parameters with types,
// defaults and OUTPUT; DECLARE of variables and of table variables (@t TABLE (...), a temporary
// table of the call, dropped when the call ends on any path); SET and SELECT assignments; IF
// ... ELSE; WHILE with BREAK and CONTINUE; GOTO and labels; BEGIN ... END; BEGIN TRY ... END TRY
// BEGIN CATCH ... END CATCH with ERROR_NUMBER(), ERROR_MESSAGE(), ERROR_SEVERITY() and
// ERROR_STATE(); RAISERROR and THROW; cursors (DECLARE c CURSOR [LOCAL | GLOBAL] [FORWARD_ONLY |
// SCROLL] [STATIC | FAST_FORWARD] [READ_ONLY] FOR SELECT ..., OPEN, FETCH ... INTO, CLOSE,
// DEALLOCATE, @@FETCH_STATUS), whose rows are read when the cursor is opened; @@ROWCOUNT and
// @@ERROR; SELECT (each one a result set), INSERT, UPDATE, DELETE and the other statements of
// the engine; EXEC of another procedure; BEGIN/COMMIT/ROLLBACK TRAN; PRINT; RETURN.
// Expressions are SQL: they are translated like any statement and run with the variables bound,
// so every function and comparison means what it means elsewhere in the engine.
// The whole body is parsed and its statements checked when the procedure is created, with SQL
// Server's numbers (102, 156, ...); tables that do not exist yet are no error then. A procedure
// that goes beyond what is run (KEYSET or DYNAMIC cursors, FOR UPDATE, cursor variables,
// WAITFOR, RAISERROR ... WITH LOG, ERROR_LINE() and ERROR_PROCEDURE(), other @@ variables) is
// refused when it is created, never half run.

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/provider.h"

namespace data::embedded {

class Core;

namespace tsql {

struct ParameterDecl {
    QString name;  // with "@"
    QString typeText;
    SqlType type;
    std::optional<Variant> defaultValue;
    bool output = false;
};

struct Program;

struct ProcedureDef {
    QString name;
    std::vector<ParameterDecl> parameters;
    std::vector<Token> body;  // after AS
    std::shared_ptr<const Program> program;
};

// Reads CREATE/ALTER PROCEDURE text. Raises 102, 156 and SQL Server's other numbers for a body
// it cannot parse, 50000 for a construct it does not run.
ProcedureDef parseProcedure(const std::vector<Token>& statement);

// Checks the statements of a parsed body as far as the engine can without running them, as SQL
// Server compiles a procedure when it is created: syntax, and what the translator refuses.
void checkProcedure(Core& core, const ProcedureDef& procedure);

// One argument of a call: by name (with "@") or by position.
struct Argument {
    QString name;
    Variant value;
    bool useDefault = false;
    bool output = false;
};

struct CallResult {
    std::vector<provider::Result> results;
    qint64 returnValue = 0;
    std::vector<Variant> finalValues;  // per declared parameter, after the call
};

// Runs a procedure with its arguments. depth counts the nesting (limit 32).
CallResult call(Core& core, const ProcedureDef& procedure, const std::vector<Argument>& arguments, int depth);

}  // namespace tsql

}  // namespace data::embedded
