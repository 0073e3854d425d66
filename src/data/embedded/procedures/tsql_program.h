#pragma once
// The inside of the procedure interpreter, shared by its parser (tsql_parser.cpp) and its
// runtime (tsql_interpreter.cpp). A body is parsed into a tree of statements and then laid out
// as one list of instructions with jumps, so that IF, WHILE, BREAK, CONTINUE and GOTO are all
// a jump and TRY ... CATCH is a range of instructions with the place its errors go.

#include <QString>
#include <vector>

#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/variant.h"

namespace data::embedded::tsql {

enum class NodeKind {
    Block,
    If,
    While,
    Break,
    Continue,
    Goto,
    Label,
    Try,            // children: the TRY block and the CATCH block
    Declare,
    DeclareTable,   // target: the variable; tokens: the column list with its parentheses
    DeclareCursor,  // target: the cursor; tokens: its SELECT; scroll: whether it may move back
    Open,
    Fetch,          // target: the cursor; fetch: the orientation; tokens: ABSOLUTE/RELATIVE's n
    Close,
    Deallocate,
    Set,
    SelectAssign,
    Statement,
    Return,
    Exec,
    Transaction,
    Raiserror,      // arguments: message, severity, state, values
    Throw,          // arguments: none (rethrow) or number, message, state
    Nothing,
};

struct DeclaredVariable {
    QString name;
    QString typeText;
    std::vector<Token> init;
};

struct ExecArgument {
    QString name;  // "@p" or empty
    std::vector<Token> value;
    bool output = false;
};

struct Node {
    NodeKind kind = NodeKind::Nothing;
    std::vector<Token> tokens;   // Statement; Return, Set: the expression; If, While: the condition
    std::vector<Node> children;  // Block; If: then and maybe else; While: the body; Try: try, catch
    std::vector<DeclaredVariable> declared;
    QString target;              // Set; Exec: the variable taking the return status; Goto, Label; cursors
    std::vector<std::pair<QString, std::vector<Token>>> assignments;  // SelectAssign
    std::vector<Token> head;     // SelectAssign: SELECT [DISTINCT] [TOP n]
    std::vector<Token> tail;     // SelectAssign: FROM ... to the end
    QString procedure;           // Exec
    std::vector<ExecArgument> arguments;  // Exec; Raiserror and Throw: their values
    QString fetch;               // Fetch: NEXT, PRIOR, FIRST, LAST, ABSOLUTE or RELATIVE
    std::vector<QString> into;   // Fetch: the variables
    bool scroll = false;         // DeclareCursor
    bool global = false;         // DeclareCursor: GLOBAL
};

struct Instruction {
    enum class Op { Run, Jump, JumpUnless };
    Op op = Op::Run;
    const Node* node = nullptr;  // Run: the statement; JumpUnless: the node with the condition
    size_t target = 0;
};

// [tryBegin, catchBegin) is guarded; its errors continue at catchBegin; [catchBegin, catchEnd)
// is the CATCH block, where ERROR_NUMBER() and the like answer.
struct TryRegion {
    size_t tryBegin = 0;
    size_t catchBegin = 0;
    size_t catchEnd = 0;
};

struct Program {
    std::vector<Node> nodes;
    std::vector<Instruction> code;
    std::vector<TryRegion> tries;
};

bool isStatementWord(const Token& t);
bool meaningfulIn(const std::vector<Token>& t);
[[noreturn]] void syntaxNear(const QString& text);
// 156 "near the keyword" for SQL Server's reserved words, 102 for anything else.
[[noreturn]] void syntaxAt(const Token& t);
// Lays program.nodes out as program.code and program.tries.
void layOut(Program& program);
// A construct the interpreter does not run: refused, never run with another meaning.
[[noreturn]] void outsideSubset(const QString& what);
// sysname is SQL Server's name type.
SqlType typeOf(const QString& typeText);
// A parameter's default or an EXEC argument written as a literal.
Variant literalValue(const std::vector<Token>& tokens);
// The global variables a body may read besides those the translator knows (@@IDENTITY, @@SPID).
bool isKnownGlobal(const QString& name);

}  // namespace data::embedded::tsql
