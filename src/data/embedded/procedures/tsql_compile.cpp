// What SQL Server does when it compiles a procedure, before anything runs: the body laid out
// as instructions (jumps resolved, BREAK and CONTINUE inside their loops, labels unique), and
// the check at CREATE/ALTER PROCEDURE that refuses a body with an error, so that it is never
// stored.
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/translate/translator.h"
#include "data/embedded/procedures/tsql_interpreter.h"
#include "data/embedded/procedures/tsql_program.h"

namespace data::embedded::tsql {

namespace {

// Lays the tree out as instructions; BREAK, CONTINUE and GOTO become jumps.
class Compiler {
public:
    explicit Compiler(Program& p) : p_(p) {}

    void compileAll(const std::vector<Node>& nodes) {
        for (const auto& n : nodes) compile(n);
        for (const auto& [at, label] : gotos_) {
            auto it = labels_.find(label.toLower());
            if (it == labels_.end()) {
                raiseServerError(133, QStringLiteral("A GOTO statement references the label '%1' but the label has not been "
                                                     "declared.")
                                          .arg(label));
            }
            p_.code[at].target = *it;
        }
    }

private:
    size_t place(Instruction::Op op, const Node* n) {
        p_.code.push_back(Instruction{op, n, 0});
        return p_.code.size() - 1;
    }

    void compile(const Node& n) {
        switch (n.kind) {
            case NodeKind::Block:
                for (const auto& c : n.children) compile(c);
                return;
            case NodeKind::If: {
                const size_t test = place(Instruction::Op::JumpUnless, &n);
                compile(n.children[0]);
                if (n.children.size() > 1) {
                    const size_t skip = place(Instruction::Op::Jump, nullptr);
                    p_.code[test].target = p_.code.size();
                    compile(n.children[1]);
                    p_.code[skip].target = p_.code.size();
                } else {
                    p_.code[test].target = p_.code.size();
                }
                return;
            }
            case NodeKind::While: {
                const size_t start = place(Instruction::Op::JumpUnless, &n);
                loops_.push_back(Loop{start, {}});
                compile(n.children[0]);
                p_.code[place(Instruction::Op::Jump, nullptr)].target = start;
                const size_t after = p_.code.size();
                p_.code[start].target = after;
                for (size_t b : loops_.back().breaks) p_.code[b].target = after;
                loops_.pop_back();
                return;
            }
            case NodeKind::Break:
                if (loops_.empty()) {
                    raiseServerError(135, QStringLiteral("Cannot use a BREAK statement outside the scope of a WHILE statement."));
                }
                loops_.back().breaks.push_back(place(Instruction::Op::Jump, nullptr));
                return;
            case NodeKind::Continue:
                if (loops_.empty()) {
                    raiseServerError(136, QStringLiteral("Cannot use a CONTINUE statement outside the scope of a WHILE "
                                                         "statement."));
                }
                p_.code[place(Instruction::Op::Jump, nullptr)].target = loops_.back().start;
                return;
            case NodeKind::Label:
                if (labels_.contains(n.target.toLower())) {
                    raiseServerError(132, QStringLiteral("The label '%1' has already been declared. Label names must be unique "
                                                         "within a query batch or stored procedure.")
                                              .arg(n.target));
                }
                labels_.insert(n.target.toLower(), p_.code.size());
                return;
            case NodeKind::Goto:
                gotos_.emplace_back(place(Instruction::Op::Jump, nullptr), n.target);
                return;
            case NodeKind::Try: {
                TryRegion r;
                r.tryBegin = p_.code.size();
                compile(n.children[0]);
                const size_t skip = place(Instruction::Op::Jump, nullptr);
                r.catchBegin = p_.code.size();
                compile(n.children[1]);
                r.catchEnd = p_.code.size();
                p_.code[skip].target = r.catchEnd;
                p_.tries.push_back(r);
                return;
            }
            case NodeKind::Nothing:
                return;
            default:
                place(Instruction::Op::Run, &n);
                return;
        }
    }

    struct Loop {
        size_t start;
        std::vector<size_t> breaks;
    };
    Program& p_;
    std::vector<Loop> loops_;
    QHash<QString, size_t> labels_;
    std::vector<std::pair<size_t, QString>> gotos_;
};

}  // namespace

void layOut(Program& program) { Compiler(program).compileAll(program.nodes); }

namespace {

void tableVariables(const std::vector<Node>& nodes, QSet<QString>& out) {
    for (const auto& n : nodes) {
        if (n.kind == NodeKind::DeclareTable) out.insert(n.target.toLower());
        tableVariables(n.children, out);
    }
}

class Checker {
public:
    Checker(Core& core, QSet<QString> tables) : core_(core), tables_(std::move(tables)) {}

    void nodes(const std::vector<Node>& list) {
        for (const auto& n : list) node(n);
    }

private:
    static std::vector<Token> tokens(const char* text) { return tokenize(QString::fromLatin1(text)); }
    static std::vector<Token> joined(std::vector<Token> a, const std::vector<Token>& b, const char* after = nullptr) {
        a.push_back(Token{TokenKind::Space, QStringLiteral(" "), false});
        a.insert(a.end(), b.begin(), b.end());
        if (after) {
            const auto t = tokens(after);
            a.insert(a.end(), t.begin(), t.end());
        }
        return a;
    }

    void expression(const std::vector<Token>& e) { sql(joined(tokens("SELECT"), e)); }

    void node(const Node& n) {
        switch (n.kind) {
            case NodeKind::If:
            case NodeKind::While:
                sql(joined(tokens("SELECT CASE WHEN"), n.tokens, " THEN 1 ELSE 0 END"));
                break;
            case NodeKind::Declare:
                for (const auto& d : n.declared) {
                    if (!d.init.empty()) expression(d.init);
                }
                break;
            case NodeKind::Set:
                expression(n.tokens);
                break;
            case NodeKind::Return:
                if (meaningfulIn(n.tokens)) expression(n.tokens);
                break;
            case NodeKind::SelectAssign: {
                std::vector<Token> t = n.head;
                for (size_t k = 0; k < n.assignments.size(); ++k) {
                    if (k) t.push_back(Token{TokenKind::Punct, QStringLiteral(","), false});
                    t = joined(t, n.assignments[k].second);
                }
                sql(joined(t, n.tail));
                break;
            }
            case NodeKind::Statement:
            case NodeKind::DeclareCursor:
                sql(n.tokens);
                break;
            case NodeKind::DeclareTable:
                sql(joined(tokens("CREATE TABLE #tsql_check"), n.tokens));
                break;
            case NodeKind::Raiserror:
            case NodeKind::Throw:
                for (const auto& a : n.arguments) expression(a.value);
                break;
            default:
                break;
        }
        nodes(n.children);
    }

    // One statement, translated as it will be run; SQLite's parser judges the syntax of what
    // passes through. Tables it cannot find are no error: they may exist when the body runs.
    void sql(std::vector<Token> t) {
        Token last;
        for (size_t k = 0; k < t.size(); ++k) {
            Token& x = t[k];
            if (!x.isTrivia()) last = x;
            if (x.kind == TokenKind::Variable && tables_.contains(x.text.toLower())) {
                x = Token{TokenKind::Word, QStringLiteral("#tsql_check"), false};
            } else if (x.kind == TokenKind::Variable && x.text.startsWith(QLatin1String("@@"))) {
                if (!isKnownGlobal(x.text)) outsideSubset(x.text.toUpper());
                if (x.text.compare(QLatin1String("@@IDENTITY"), Qt::CaseInsensitive) != 0 &&
                    x.text.compare(QLatin1String("@@SPID"), Qt::CaseInsensitive) != 0) {
                    x = Token{TokenKind::Number, QStringLiteral("0"), false};
                }
            } else if (x.isWord("ERROR_LINE") || x.isWord("ERROR_PROCEDURE")) {
                outsideSubset(x.text.toUpper() + QStringLiteral("()"));
            }
        }
        const Translation tr = translate(t, core_.database());
        if (!tr.syntaxError.isEmpty()) syntaxNear(tr.syntaxError);
        if (tr.refusal != 0) raiseServerError(tr.refusal, tr.refusalText);
        if (tr.sql.isEmpty() || (tr.kind != StatementKind::Query && tr.kind != StatementKind::Insert &&
                                 tr.kind != StatementKind::Update && tr.kind != StatementKind::Delete &&
                                 tr.kind != StatementKind::Other)) {
            return;
        }
        sqlite3_stmt* st = nullptr;
        const QByteArray text = tr.sql.toUtf8();
        const int rc = sqlite3_prepare_v2(core_.db(), text.constData(), static_cast<int>(text.size()), &st, nullptr);
        const QString message = rc == SQLITE_OK ? QString() : QString::fromUtf8(sqlite3_errmsg(core_.db()));
        sqlite3_finalize(st);
        if (rc == SQLITE_OK) return;
        static const QRegularExpression near(QStringLiteral("^near \"(.*)\": syntax error$"));
        const auto m = near.match(message);
        if (m.hasMatch()) syntaxAt(Token{TokenKind::Word, m.captured(1), false});
        if (message == u"incomplete input") syntaxAt(last);
    }

    Core& core_;
    QSet<QString> tables_;
};

}  // namespace

bool isKnownGlobal(const QString& name) {
    for (const char* g : {"@@IDENTITY", "@@SPID", "@@FETCH_STATUS", "@@ROWCOUNT", "@@ERROR"}) {
        if (name.compare(QLatin1String(g), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

void checkProcedure(Core& core, const ProcedureDef& def) {
    QSet<QString> tables;
    tableVariables(def.program->nodes, tables);
    Checker(core, std::move(tables)).nodes(def.program->nodes);
}

}  // namespace data::embedded::tsql
