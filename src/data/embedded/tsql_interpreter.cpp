#include "data/embedded/tsql_interpreter.h"

#include <QHash>

#include "data/embedded/admin_common.h"
#include "data/embedded/translator.h"

namespace data::embedded::tsql {

enum class NodeKind { Block, If, Declare, Set, SelectAssign, Statement, Return, Exec, Transaction, Nothing };

struct DeclaredVariable {
    QString name;
    QString typeText;
    std::vector<Token> init;
};

struct ExecArgument {
    QString name;           // "@p" or empty
    std::vector<Token> value;
    bool output = false;
};

struct Node {
    NodeKind kind = NodeKind::Nothing;
    std::vector<Token> tokens;    // Statement, Return (its expression), If (its condition), Set (its expression)
    std::vector<Node> children;   // Block; If: then and maybe else
    std::vector<DeclaredVariable> declared;
    QString target;               // Set; Exec: the variable taking the return status
    std::vector<std::pair<QString, std::vector<Token>>> assignments;  // SelectAssign
    std::vector<Token> head;      // SelectAssign: SELECT [DISTINCT] [TOP n]
    std::vector<Token> tail;      // SelectAssign: FROM ... to the end
    QString procedure;            // Exec
    std::vector<ExecArgument> arguments;
};

namespace {

constexpr int kMaxNesting = 32;

std::vector<Token> slice(const std::vector<Token>& t, size_t from, size_t to) {
    to = std::min(to, t.size());
    if (from >= to) return {};
    return {t.begin() + static_cast<long>(from), t.begin() + static_cast<long>(to)};
}

bool meaningfulIn(const std::vector<Token>& t) {
    for (const auto& x : t) {
        if (!x.isTrivia()) return true;
    }
    return false;
}

[[noreturn]] void syntaxNear(const QString& text) { raiseServerError(102, msg::syntaxNear(text)); }

// sysname is SQL Server's name type.
SqlType typeOf(const QString& typeText) {
    if (typeText.compare(QLatin1String("sysname"), Qt::CaseInsensitive) == 0) return SqlType::parse(QStringLiteral("nvarchar(128)"));
    return SqlType::parse(typeText);
}

[[noreturn]] void outsideSubset(const QString& word) {
    raiseServerError(50000, QStringLiteral("The embedded server runs procedures made of DECLARE, SET, SELECT, INSERT, UPDATE, "
                                           "DELETE, IF ... ELSE, BEGIN ... END, EXEC, PRINT and RETURN statements; '%1' is not "
                                           "among them.")
                                .arg(word));
}

bool isStatementWord(const Token& t) {
    static const char* const words[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "SET",    "DECLARE",  "IF",    "ELSE",
                                        "BEGIN",  "END",    "RETURN", "PRINT",  "EXEC",   "EXECUTE",  "WHILE", "COMMIT",
                                        "ROLLBACK", "CREATE", "DROP", "ALTER",  "TRUNCATE", "USE",    "BREAK", "CONTINUE",
                                        "GOTO",   "RAISERROR", "WAITFOR"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

bool isClauseWord(const Token& t) {
    static const char* const words[] = {"FROM", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "INTO"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

class Parser {
public:
    explicit Parser(const std::vector<Token>& t) : t_(t) {}

    std::vector<Node> parseAll(size_t from, size_t to) {
        std::vector<Node> out;
        size_t i = next(from);
        while (i < to) {
            if (t_[i].isWord("END") || t_[i].isWord("ELSE")) syntaxNear(t_[i].text);
            out.push_back(parseStatement(i, to));
            i = next(i);
        }
        return out;
    }

private:
    size_t next(size_t i) const {
        while (i < t_.size() && t_[i].isTrivia()) ++i;
        return i;
    }
    size_t previous(size_t i) const {
        while (i > 0) {
            --i;
            if (!t_[i].isTrivia()) return i;
        }
        return t_.size();
    }

    // Where the statement starting at start ends: the first token at depth 0 (outside CASE)
    // that begins another statement.
    size_t statementEnd(size_t start, size_t end) const {
        const Token& head = t_[start];
        int depth = 0;
        int cases = 0;
        bool insertTail = false;
        bool updateSet = false;
        for (size_t i = next(start + 1); i < end; i = next(i + 1)) {
            const Token& tok = t_[i];
            if (tok.isPunct("(")) {
                ++depth;
                continue;
            }
            if (tok.isPunct(")")) {
                --depth;
                continue;
            }
            if (depth > 0) continue;
            if (tok.isPunct(";")) return i;
            if (tok.isWord("CASE")) {
                ++cases;
                continue;
            }
            if (tok.isWord("END") && cases > 0) {
                --cases;
                continue;
            }
            if (cases > 0 || !isStatementWord(tok)) continue;
            const size_t p = previous(i);
            const bool afterSetOperator = p < t_.size() && (t_[p].isWord("UNION") || t_[p].isWord("ALL") ||
                                                             t_[p].isWord("EXCEPT") || t_[p].isWord("INTERSECT"));
            if (tok.isWord("SELECT") && afterSetOperator) continue;
            if (head.isWord("INSERT") && !insertTail && (tok.isWord("SELECT") || tok.isWord("EXEC") || tok.isWord("EXECUTE"))) {
                insertTail = true;
                continue;
            }
            if (head.isWord("UPDATE") && !updateSet && tok.isWord("SET")) {
                updateSet = true;
                continue;
            }
            if (tok.isWord("UPDATE") && p < t_.size() && t_[p].isWord("FOR")) continue;
            return i;
        }
        return end;
    }

    Node parseStatement(size_t& i, size_t end) {
        const Token& first = t_[i];
        Node n;
        if (first.isPunct(";")) {
            ++i;
            return n;
        }
        if (first.isWord("BEGIN")) {
            const size_t k = next(i + 1);
            if (k < end && (t_[k].isWord("TRAN") || t_[k].isWord("TRANSACTION"))) {
                const size_t e = statementEnd(i, end);
                n.kind = NodeKind::Transaction;
                n.tokens = slice(t_, i, e);
                i = e;
                return n;
            }
            n.kind = NodeKind::Block;
            size_t j = k;
            while (j < end && !t_[j].isWord("END")) {
                if (t_[j].isWord("ELSE")) syntaxNear(t_[j].text);
                n.children.push_back(parseStatement(j, end));
                j = next(j);
            }
            if (j >= end) syntaxNear(QStringLiteral("BEGIN"));
            i = j + 1;
            return n;
        }
        if (first.isWord("IF")) {
            n.kind = NodeKind::If;
            const size_t c = statementEnd(i, end);
            n.tokens = slice(t_, i + 1, c);
            if (!meaningfulIn(n.tokens) || c >= end) syntaxNear(QStringLiteral("IF"));
            size_t j = c;
            n.children.push_back(parseStatement(j, end));
            const size_t e = next(j);
            if (e < end && t_[e].isWord("ELSE")) {
                j = next(e + 1);
                if (j >= end) syntaxNear(QStringLiteral("ELSE"));
                n.children.push_back(parseStatement(j, end));
            }
            i = j;
            return n;
        }
        const size_t e = statementEnd(i, end);
        const std::vector<Token> whole = slice(t_, i, e);
        i = e;
        if (first.isWord("DECLARE")) return declare(whole);
        if (first.isWord("SET")) return set(whole);
        if (first.isWord("SELECT")) return select(whole);
        if (first.isWord("RETURN")) {
            n.kind = NodeKind::Return;
            n.tokens = slice(whole, 1, whole.size());
            return n;
        }
        if (first.isWord("PRINT")) return n;
        if (first.isWord("EXEC") || first.isWord("EXECUTE")) return exec(whole);
        if (first.isWord("COMMIT") || first.isWord("ROLLBACK")) {
            n.kind = NodeKind::Transaction;
            n.tokens = whole;
            return n;
        }
        if (first.isWord("INSERT") || first.isWord("UPDATE") || first.isWord("DELETE") || first.isWord("TRUNCATE") ||
            first.isWord("CREATE") || first.isWord("DROP") || first.isWord("ALTER")) {
            n.kind = NodeKind::Statement;
            n.tokens = whole;
            return n;
        }
        if (first.kind == TokenKind::Word && isStatementWord(first)) outsideSubset(first.text.toUpper());
        syntaxNear(first.text);
    }

    static std::vector<std::vector<Token>> splitTop(const std::vector<Token>& t, size_t from) {
        std::vector<std::vector<Token>> parts(1);
        int depth = 0;
        for (size_t i = from; i < t.size(); ++i) {
            if (t[i].isPunct("(")) ++depth;
            if (t[i].isPunct(")")) --depth;
            if (depth == 0 && t[i].isPunct(",")) {
                parts.emplace_back();
                continue;
            }
            parts.back().push_back(t[i]);
        }
        return parts;
    }

    static size_t firstMeaningful(const std::vector<Token>& t, size_t i = 0) {
        while (i < t.size() && t[i].isTrivia()) ++i;
        return i;
    }

    Node declare(const std::vector<Token>& whole) {
        Node n;
        n.kind = NodeKind::Declare;
        for (const auto& item : splitTop(whole, 1)) {
            size_t i = firstMeaningful(item);
            if (i >= item.size() || item[i].kind != TokenKind::Variable) syntaxNear(i < item.size() ? item[i].text : QStringLiteral("DECLARE"));
            DeclaredVariable v;
            v.name = item[i].text;
            i = firstMeaningful(item, i + 1);
            if (i < item.size() && item[i].isWord("AS")) i = firstMeaningful(item, i + 1);
            if (i < item.size() && (item[i].isWord("TABLE") || item[i].isWord("CURSOR"))) outsideSubset(item[i].text.toUpper());
            size_t j = i;
            while (j < item.size() && !item[j].isPunct("=")) ++j;
            v.typeText = joinTokens(item, i, j).simplified();
            if (v.typeText.isEmpty()) syntaxNear(v.name);
            if (j < item.size()) v.init = slice(item, j + 1, item.size());
            n.declared.push_back(v);
        }
        return n;
    }

    Node set(const std::vector<Token>& whole) {
        Node n;
        const size_t v = firstMeaningful(whole, 1);
        if (v >= whole.size() || whole[v].kind != TokenKind::Variable) return n;  // SET NOCOUNT ON and the like
        const size_t eq = firstMeaningful(whole, v + 1);
        if (eq >= whole.size() || !whole[eq].isPunct("=")) syntaxNear(eq < whole.size() ? whole[eq].text : whole[v].text);
        n.kind = NodeKind::Set;
        n.target = whole[v].text;
        n.tokens = slice(whole, eq + 1, whole.size());
        if (!meaningfulIn(n.tokens)) syntaxNear(QStringLiteral("="));
        return n;
    }

    Node select(const std::vector<Token>& whole) {
        Node n;
        n.kind = NodeKind::Statement;
        n.tokens = whole;
        size_t i = firstMeaningful(whole, 1);
        if (i < whole.size() && (whole[i].isWord("DISTINCT") || whole[i].isWord("ALL"))) i = firstMeaningful(whole, i + 1);
        if (i < whole.size() && whole[i].isWord("TOP")) {
            i = firstMeaningful(whole, i + 1);
            if (i < whole.size() && whole[i].isPunct("(")) {
                while (i < whole.size() && !whole[i].isPunct(")")) ++i;
            }
            i = firstMeaningful(whole, i + 1);
            if (i < whole.size() && whole[i].isWord("PERCENT")) i = firstMeaningful(whole, i + 1);
        }
        const size_t itemsStart = i;
        size_t itemsEnd = i;
        int depth = 0;
        for (; itemsEnd < whole.size(); ++itemsEnd) {
            if (whole[itemsEnd].isPunct("(")) ++depth;
            if (whole[itemsEnd].isPunct(")")) --depth;
            if (depth == 0 && isClauseWord(whole[itemsEnd])) break;
        }
        std::vector<std::pair<QString, std::vector<Token>>> assignments;
        int plain = 0;
        for (auto& item : splitTop(slice(whole, itemsStart, itemsEnd), 0)) {
            const size_t a = firstMeaningful(item);
            const size_t eq = firstMeaningful(item, a + 1);
            if (a < item.size() && item[a].kind == TokenKind::Variable && !item[a].text.startsWith(QLatin1String("@@")) &&
                eq < item.size() && item[eq].isPunct("=")) {
                assignments.emplace_back(item[a].text, slice(item, eq + 1, item.size()));
            } else {
                ++plain;
            }
        }
        if (assignments.empty()) return n;
        if (plain > 0) {
            raiseServerError(141, QStringLiteral("A SELECT statement that assigns a value to a variable must not be combined with "
                                                 "data-retrieval operations."));
        }
        n.kind = NodeKind::SelectAssign;
        n.assignments = std::move(assignments);
        n.head = slice(whole, 0, itemsStart);
        n.tail = slice(whole, itemsEnd, whole.size());
        return n;
    }

    Node exec(const std::vector<Token>& whole) {
        Node n;
        n.kind = NodeKind::Exec;
        size_t i = firstMeaningful(whole, 1);
        if (i < whole.size() && whole[i].kind == TokenKind::Variable) {
            const size_t eq = firstMeaningful(whole, i + 1);
            if (eq >= whole.size() || !whole[eq].isPunct("=")) syntaxNear(whole[i].text);
            n.target = whole[i].text;
            i = firstMeaningful(whole, eq + 1);
        }
        if (i >= whole.size() || !whole[i].isName()) syntaxNear(QStringLiteral("EXEC"));
        n.procedure = whole[i].value();
        ++i;
        while (i + 1 < whole.size() && whole[i].isPunct(".") && whole[i + 1].isName()) {
            n.procedure = whole[i + 1].value();
            i += 2;
        }
        if (!meaningfulIn(slice(whole, i, whole.size()))) return n;
        for (auto& item : splitTop(whole, i)) {
            ExecArgument a;
            size_t k = firstMeaningful(item);
            const size_t eq = firstMeaningful(item, k + 1);
            if (k < item.size() && item[k].kind == TokenKind::Variable && eq < item.size() && item[eq].isPunct("=")) {
                a.name = item[k].text;
                k = firstMeaningful(item, eq + 1);
            }
            size_t e = item.size();
            while (e > k && item[e - 1].isTrivia()) --e;
            if (e > k && (item[e - 1].isWord("OUTPUT") || item[e - 1].isWord("OUT"))) {
                a.output = true;
                --e;
            }
            a.value = slice(item, k, e);
            if (!meaningfulIn(a.value)) syntaxNear(QStringLiteral(","));
            n.arguments.push_back(a);
        }
        return n;
    }

    const std::vector<Token>& t_;
};

Variant literalValue(const std::vector<Token>& tokens) {
    QString text;
    bool negative = false;
    for (const auto& t : tokens) {
        if (t.isTrivia()) continue;
        if (t.isWord("NULL")) return Variant::null();
        if (t.isPunct("-")) {
            negative = true;
            continue;
        }
        if (t.kind == TokenKind::String) return t.value();
        if (t.kind == TokenKind::Number) {
            bool ok = false;
            const qint64 whole = t.text.toLongLong(&ok);
            if (ok) return static_cast<std::int64_t>(negative ? -whole : whole);
            return negative ? -t.text.toDouble() : t.text.toDouble();
        }
        text += t.value();
    }
    return text;
}

// The runtime of one call: its variables (parameters included) and its result sets.
class Runner {
public:
    Runner(Core& core, int depth) : core_(core), depth_(depth) {}

    struct Variable {
        SqlType type;
        Variant value;
    };

    void declare(const QString& name, const QString& typeText, const Variant& value) {
        const QString key = name.toLower();
        if (vars_.contains(key)) {
            raiseServerError(134, QStringLiteral("The variable name '%1' has already been declared. Variable names must be unique "
                                                 "within a query batch or stored procedure.")
                                      .arg(name));
        }
        const SqlType type = typeOf(typeText);
        if (type.kind == SqlType::Kind::Unknown) {
            raiseServerError(2715, QStringLiteral("Column, parameter, or variable %1: Cannot find data type %2.").arg(name, typeText));
        }
        vars_.insert(key, Variable{type, coerce(value, type)});
    }

    Variable& variable(const QString& name) {
        auto it = vars_.find(name.toLower());
        if (it == vars_.end()) raiseServerError(137, QStringLiteral("Must declare the scalar variable \"%1\".").arg(name));
        return *it;
    }

    void run(const std::vector<Node>& nodes) {
        for (const auto& n : nodes) {
            if (returned_) return;
            exec(n);
        }
    }

    std::vector<provider::Result> results;
    qint64 returnValue = 0;

private:
    // A value as a variable of the type holds it: converted as SQL Server converts on
    // assignment, character values cut to the declared length.
    Variant coerce(const Variant& v, const SqlType& type) {
        if (v.isNull() || v.isEmpty()) return Variant::null();
        if (type.kind == SqlType::Kind::Unknown) return v;
        Statement st(core_.db(), QStringLiteral("SELECT ?"), core_.context());
        type.bind(st.get(), 1, v);
        st.step();
        Variant out = type.decode(st.get(), 0);
        if (type.isText() && type.length > 0 && out.isString() && out.toString().size() > type.length) {
            out = out.toString().left(type.length);
        }
        return out;
    }

    // "+" beside a character variable joins texts, as it does beside a text literal.
    std::vector<Token> withJoins(std::vector<Token> t) {
        auto textVariable = [&](size_t i) {
            if (i >= t.size() || t[i].kind != TokenKind::Variable) return false;
            auto it = vars_.find(t[i].text.toLower());
            return it != vars_.end() && it->type.isText();
        };
        for (size_t i = 0; i < t.size(); ++i) {
            if (!t[i].isPunct("+")) continue;
            size_t p = i;
            while (p > 0 && t[p - 1].isTrivia()) --p;
            size_t n = i + 1;
            while (n < t.size() && t[n].isTrivia()) ++n;
            if ((p > 0 && textVariable(p - 1)) || textVariable(n)) t[i] = Token{TokenKind::Punct, QStringLiteral("||"), false};
        }
        return t;
    }

    struct Prepared {
        Translation tr;
        Statement st;
    };

    // A statement translated as any statement of the engine, with the variables bound.
    std::optional<Prepared> prepare(const std::vector<Token>& tokens) {
        Translation tr = translate(withJoins(tokens), core_.database());
        if (!tr.syntaxError.isEmpty()) syntaxNear(tr.syntaxError);
        if (tr.refusal != 0) raiseServerError(tr.refusal, tr.refusalText);
        if (tr.kind != StatementKind::Query && tr.kind != StatementKind::Insert && tr.kind != StatementKind::Update &&
            tr.kind != StatementKind::Delete && tr.kind != StatementKind::Other) {
            return std::nullopt;
        }
        core_.attach(tr.databases);
        if ((tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update) && !tr.table.isEmpty()) {
            core_.ensureChecks(tr.schema, tr.table);
        }
        Statement st(core_.db(), tr.sql, core_.context());
        const int count = sqlite3_bind_parameter_count(st.get());
        for (int k = 1; k <= count; ++k) {
            const char* raw = sqlite3_bind_parameter_name(st.get(), k);
            if (!raw) {
                raiseServerError(8178, QStringLiteral("The parameterized query expects a parameter which was not supplied."));
            }
            const Variable& v = variable(QString::fromUtf8(raw));
            v.type.bind(st.get(), k, v.value);
        }
        return Prepared{std::move(tr), std::move(st)};
    }

    Variant evaluate(const std::vector<Token>& expression) {
        std::vector<Token> t = tokenize(QStringLiteral("SELECT "));
        t.insert(t.end(), expression.begin(), expression.end());
        auto p = prepare(t);
        if (!p) syntaxNear(joinTokens(expression).trimmed());
        core_.startClock();
        if (!p->st.step()) return Variant::null();
        return SqlType{}.decode(p->st.get(), 0);
    }

    bool condition(const std::vector<Token>& cond) {
        std::vector<Token> t = tokenize(QStringLiteral("CASE WHEN "));
        t.insert(t.end(), cond.begin(), cond.end());
        const auto tail = tokenize(QStringLiteral(" THEN 1 ELSE 0 END"));
        t.insert(t.end(), tail.begin(), tail.end());
        const Variant v = evaluate(t);
        return !v.isNull() && v.toInt64() != 0;
    }

    void statement(const std::vector<Token>& tokens) {
        bool variables = false;
        for (const auto& t : tokens) {
            variables = variables || (t.kind == TokenKind::Variable && !t.text.startsWith(QLatin1String("@@")));
        }
        auto p = prepare(tokens);
        if (!p) {
            // Schema statements and the like run as the engine runs them anywhere.
            if (variables) outsideSubset(joinTokens(tokens).trimmed().section(u' ', 0, 1));
            provider::Request r;
            r.text = joinTokens(tokens);
            for (auto& res : core_.execute(r)) {
                if (res.hasRows) results.push_back(std::move(res));
            }
            return;
        }
        core_.startClock();
        if (p->tr.kind == StatementKind::Query) {
            results.push_back(core_.readRows(p->st.get(), false, QString(), QString(), p->tr.describingSql));
            return;
        }
        while (p->st.step()) {
        }
        if (p->tr.kind != StatementKind::Other) core_.admin().wrote(p->tr.schema, p->tr.table);
    }

    void selectAssign(const Node& n) {
        std::vector<Token> t = n.head;
        t.push_back(Token{TokenKind::Space, QStringLiteral(" "), false});
        for (size_t k = 0; k < n.assignments.size(); ++k) {
            if (k) t.push_back(Token{TokenKind::Punct, QStringLiteral(","), false});
            const auto& e = n.assignments[k].second;
            t.insert(t.end(), e.begin(), e.end());
        }
        t.push_back(Token{TokenKind::Space, QStringLiteral(" "), false});
        t.insert(t.end(), n.tail.begin(), n.tail.end());
        std::vector<Variable*> targets;
        for (const auto& a : n.assignments) targets.push_back(&variable(a.first));
        auto p = prepare(t);
        if (!p || p->tr.kind != StatementKind::Query) syntaxNear(QStringLiteral("SELECT"));
        core_.startClock();
        // Each row assigns in turn: the variables end with the last row's values.
        while (p->st.step()) {
            for (size_t k = 0; k < targets.size(); ++k) {
                Variant v = targets[k]->type.decode(p->st.get(), static_cast<int>(k));
                targets[k]->value = coerce(v, targets[k]->type);
            }
        }
    }

    Variant argumentValue(const std::vector<Token>& value, bool& useDefault, QString& variableName) {
        std::vector<const Token*> m;
        for (const auto& t : value) {
            if (!t.isTrivia()) m.push_back(&t);
        }
        if (m.size() == 1 && m[0]->isWord("DEFAULT")) {
            useDefault = true;
            return Variant();
        }
        if (m.size() == 1 && m[0]->kind == TokenKind::Variable) {
            variableName = m[0]->text;
            return variable(variableName).value;
        }
        return literalValue(value);
    }

    void execNode(const Node& n) {
        std::vector<Argument> args;
        std::vector<QString> outputs;
        for (const auto& a : n.arguments) {
            Argument arg;
            arg.name = a.name;
            QString var;
            arg.value = argumentValue(a.value, arg.useDefault, var);
            arg.output = a.output && !var.isEmpty();
            args.push_back(arg);
            outputs.push_back(arg.output ? var : QString());
        }
        if (auto def = admin::loadStoredProcedure(core_, n.procedure)) {
            CallResult r = call(core_, *def, args, depth_ + 1);
            for (auto& res : r.results) results.push_back(std::move(res));
            // OUTPUT arguments take the parameter's final value.
            size_t positional = 0;
            for (size_t k = 0; k < args.size(); ++k) {
                int index = -1;
                if (args[k].name.isEmpty()) {
                    index = static_cast<int>(positional++);
                } else {
                    for (size_t p = 0; p < def->parameters.size(); ++p) {
                        if (admin::sameName(def->parameters[p].name, args[k].name)) index = static_cast<int>(p);
                    }
                }
                if (!outputs[k].isEmpty() && index >= 0 && static_cast<size_t>(index) < r.finalValues.size() &&
                    def->parameters[static_cast<size_t>(index)].output) {
                    Variable& v = variable(outputs[k]);
                    v.value = coerce(r.finalValues[static_cast<size_t>(index)], v.type);
                }
            }
            if (!n.target.isEmpty()) variable(n.target).value = static_cast<std::int64_t>(r.returnValue);
            return;
        }
        // A system procedure.
        Translation tr;
        tr.kind = StatementKind::Procedure;
        tr.procedure = n.procedure;
        for (const auto& a : args) {
            QString text;
            if (!a.useDefault && !a.value.isNull() && !a.value.isEmpty()) text = a.value.toString();
            if (!a.useDefault && !a.value.isNull() && text.isNull()) text = QStringLiteral("");
            tr.arguments.emplace_back(a.name.startsWith(u'@') ? a.name.mid(1) : a.name, text);
        }
        for (auto& res : runProcedure(core_, tr, provider::Request{})) {
            if (res.hasRows) results.push_back(std::move(res));
        }
        if (!n.target.isEmpty()) variable(n.target).value = static_cast<std::int64_t>(0);
    }

    void exec(const Node& n) {
        switch (n.kind) {
            case NodeKind::Nothing:
                return;
            case NodeKind::Block:
                run(n.children);
                return;
            case NodeKind::If:
                if (condition(n.tokens)) {
                    exec(n.children[0]);
                } else if (n.children.size() > 1) {
                    exec(n.children[1]);
                }
                return;
            case NodeKind::Declare:
                for (const auto& d : n.declared) {
                    declare(d.name, d.typeText, d.init.empty() ? Variant::null() : evaluate(d.init));
                }
                return;
            case NodeKind::Set: {
                Variable& v = variable(n.target);
                v.value = coerce(evaluate(n.tokens), v.type);
                return;
            }
            case NodeKind::SelectAssign:
                selectAssign(n);
                return;
            case NodeKind::Statement:
                statement(n.tokens);
                return;
            case NodeKind::Return: {
                const Variant v = meaningfulIn(n.tokens) ? evaluate(n.tokens) : Variant::null();
                try {
                    returnValue = v.isNull() ? 0 : v.toInt64();
                } catch (const platform::RuntimeError&) {
                    raiseServerError(245, QStringLiteral("Conversion failed when converting the varchar value '%1' to data type int.")
                                              .arg(v.toString()));
                }
                returned_ = true;
                return;
            }
            case NodeKind::Exec:
                execNode(n);
                return;
            case NodeKind::Transaction: {
                provider::Request r;
                r.text = joinTokens(n.tokens);
                core_.execute(r);
                return;
            }
        }
    }

    Core& core_;
    int depth_;
    bool returned_ = false;
    QHash<QString, Variable> vars_;
};

}  // namespace

ProcedureDef parseProcedure(const std::vector<Token>& t) {
    ProcedureDef def;
    std::vector<size_t> m;
    for (size_t i = 0; i < t.size(); ++i) {
        if (!t[i].isTrivia()) m.push_back(i);
    }
    size_t k = 2;  // after CREATE PROCEDURE
    if (m.size() <= k || !t[m[k]].isName()) syntaxNear(QStringLiteral("PROCEDURE"));
    def.name = t[m[k++]].value();
    while (k + 1 < m.size() && t[m[k]].isPunct(".") && t[m[k + 1]].isName()) {
        def.name = t[m[k + 1]].value();
        k += 2;
    }
    // A group number (";1") belongs to the name.
    if (k + 1 < m.size() && t[m[k]].isPunct(";") && t[m[k + 1]].kind == TokenKind::Number) k += 2;
    bool parenthesised = false;
    if (k < m.size() && t[m[k]].isPunct("(")) {
        parenthesised = true;
        ++k;
    }
    while (k < m.size() && t[m[k]].kind == TokenKind::Variable) {
        ParameterDecl p;
        p.name = t[m[k]].text;
        ++k;
        // "@p AS int" names the type; "@p AS SELECT ..." is a parameter without one.
        if (k + 1 < m.size() && t[m[k]].isWord("AS") && !isStatementWord(t[m[k + 1]])) ++k;
        const size_t typeStart = k;
        int depth = 0;
        while (k < m.size()) {
            const Token& x = t[m[k]];
            if (depth == 0 && (x.isPunct("=") || x.isPunct(",") || x.isWord("OUTPUT") || x.isWord("OUT") || x.isWord("AS") ||
                               x.isWord("READONLY") || x.isWord("WITH") || (x.isPunct(")") && parenthesised))) {
                break;
            }
            if (x.isPunct("(")) ++depth;
            if (x.isPunct(")")) --depth;
            ++k;
        }
        if (k == typeStart) syntaxNear(p.name);
        p.typeText = joinTokens(t, m[typeStart], m[k - 1] + 1).simplified();
        p.type = typeOf(p.typeText);
        if (p.type.kind == SqlType::Kind::Unknown) {
            raiseServerError(2715, QStringLiteral("Column, parameter, or variable %1: Cannot find data type %2.").arg(p.name, p.typeText));
        }
        if (k < m.size() && t[m[k]].isPunct("=")) {
            ++k;
            std::vector<Token> value;
            if (k < m.size() && t[m[k]].isPunct("-")) value.push_back(t[m[k++]]);
            if (k >= m.size()) syntaxNear(QStringLiteral("="));
            value.push_back(t[m[k++]]);
            p.defaultValue = literalValue(value);
        }
        while (k < m.size() && (t[m[k]].isWord("OUTPUT") || t[m[k]].isWord("OUT") || t[m[k]].isWord("READONLY"))) {
            if (!t[m[k]].isWord("READONLY")) p.output = true;
            ++k;
        }
        for (const auto& q : def.parameters) {
            if (admin::sameName(q.name, p.name)) {
                raiseServerError(134, QStringLiteral("The variable name '%1' has already been declared. Variable names must be "
                                                     "unique within a query batch or stored procedure.")
                                          .arg(p.name));
            }
        }
        def.parameters.push_back(p);
        if (k < m.size() && t[m[k]].isPunct(",")) ++k;
    }
    if (parenthesised) {
        if (k >= m.size() || !t[m[k]].isPunct(")")) syntaxNear(k < m.size() ? t[m[k]].text : QStringLiteral("("));
        ++k;
    }
    if (k < m.size() && t[m[k]].isWord("WITH")) {
        while (k < m.size() && !t[m[k]].isWord("AS")) ++k;
    }
    if (k >= m.size() || !t[m[k]].isWord("AS")) syntaxNear(k < m.size() ? t[m[k]].text : def.name);
    def.body = slice(t, m[k] + 1, t.size());
    def.statements = std::make_shared<const std::vector<Node>>(Parser(def.body).parseAll(0, def.body.size()));
    return def;
}

CallResult call(Core& core, const ProcedureDef& def, const std::vector<Argument>& arguments, int depth) {
    if (depth > kMaxNesting) {
        raiseServerError(217, QStringLiteral("Maximum stored procedure, function, trigger, or view nesting level exceeded (limit "
                                             "%1).")
                                  .arg(kMaxNesting));
    }
    std::vector<const Argument*> given(def.parameters.size(), nullptr);
    size_t positional = 0;
    for (const auto& a : arguments) {
        if (a.name.isEmpty()) {
            if (positional >= def.parameters.size()) {
                raiseServerError(8144, QStringLiteral("Procedure or function %1 has too many arguments specified.").arg(def.name));
            }
            given[positional++] = &a;
            continue;
        }
        bool found = false;
        for (size_t p = 0; p < def.parameters.size(); ++p) {
            const QString name = a.name.startsWith(u'@') ? a.name : u'@' + a.name;
            if (admin::sameName(def.parameters[p].name, name)) {
                given[p] = &a;
                found = true;
            }
        }
        if (!found) {
            raiseServerError(8145, QStringLiteral("%1 is not a parameter for procedure %2.")
                                       .arg(a.name.startsWith(u'@') ? a.name : u'@' + a.name, def.name));
        }
    }
    Runner runner(core, depth);
    for (size_t p = 0; p < def.parameters.size(); ++p) {
        const ParameterDecl& decl = def.parameters[p];
        Variant value;
        if (given[p] && !given[p]->useDefault) {
            value = given[p]->value;
        } else if (decl.defaultValue) {
            value = *decl.defaultValue;
        } else {
            raiseServerError(201, QStringLiteral("Procedure or function '%1' expects parameter '%2', which was not supplied.")
                                      .arg(def.name, decl.name));
        }
        runner.declare(decl.name, decl.typeText, value);
    }
    runner.run(*def.statements);
    CallResult out;
    out.results = std::move(runner.results);
    out.returnValue = runner.returnValue;
    for (const auto& decl : def.parameters) out.finalValues.push_back(runner.variable(decl.name).value);
    return out;
}

}  // namespace data::embedded::tsql
