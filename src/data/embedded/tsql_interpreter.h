#pragma once
// A small T-SQL interpreter for the bodies of stored procedures. The subset: parameters with
// types, defaults and OUTPUT; DECLARE; SET and SELECT assignments to variables; IF [NOT]
// EXISTS (...) or any condition, with ELSE; BEGIN ... END; SELECT (each one a result set);
// INSERT, UPDATE, DELETE and the other statements of the engine; EXEC of another procedure;
// BEGIN/COMMIT/ROLLBACK TRAN; PRINT; RETURN. Expressions are SQL: they are translated like any
// statement and run with the variables bound, so every function and comparison means what it
// means elsewhere in the engine. A procedure that goes beyond the subset is refused when it is
// created, never half run.

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "data/embedded/sqltype.h"
#include "data/embedded/tokenizer.h"
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

struct Node;

struct ProcedureDef {
    QString name;
    std::vector<ParameterDecl> parameters;
    std::vector<Token> body;  // after AS
    std::shared_ptr<const std::vector<Node>> statements;
};

// Reads CREATE/ALTER PROCEDURE text. Raises 102 (or 50000 for a statement outside the subset).
ProcedureDef parseProcedure(const std::vector<Token>& statement);

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
