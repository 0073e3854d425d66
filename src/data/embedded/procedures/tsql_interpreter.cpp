#include "data/embedded/procedures/tsql_interpreter.h"

#include <QHash>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/translate/translator.h"
#include "data/embedded/procedures/tsql_program.h"

namespace data::embedded::tsql {

namespace {

constexpr int kMaxNesting = 32;

// An error raised by RAISERROR or THROW: it keeps the severity and state that a CATCH block
// reads back.
class RaisedError : public DbError {
public:
    RaisedError(const DbError& e, int severity, int state) : DbError(e), severity(severity), state(state) {}
    int severity;
    int state;
};

// The error a CATCH block is handling.
struct Caught {
    long number = 0;
    QString message;
    int severity = 16;
    int state = 1;
};

// A cursor's rows, read when it is opened.
struct Cursor {
    std::vector<Token> select;
    bool scroll = false;
    bool open = false;
    provider::Result rows;
    long position = -1;  // -1 before the first row, rows.size() after the last
};

// What the calls of one request share: the cursors declared GLOBAL and @@FETCH_STATUS, which
// belong to the connection rather than to one procedure.
struct Shared {
    QHash<QString, Cursor> globalCursors;
    int fetchStatus = -9;
};

Token literalToken(const Variant& v) {
    if (v.isNull() || v.isEmpty()) return Token{TokenKind::Word, QStringLiteral("NULL"), false};
    if (v.isString()) return Token{TokenKind::String, quoteString(v.toString()), false};
    return Token{TokenKind::Number, v.toString(), false};
}

// RAISERROR's message: printf-style specifications (%[flags][width][.precision][h|l]type with
// d, i, u, o, x, X and s) take the values in turn; a missing or Null value shows "(null)".
QString formatMessage(const QString& format, const std::vector<Variant>& values) {
    QString out;
    size_t next = 0;
    auto take = [&]() -> const Variant* { return next < values.size() ? &values[next++] : nullptr; };
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%') {
            out += c;
            continue;
        }
        if (i + 1 < format.size() && format.at(i + 1) == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        qsizetype k = i + 1;
        QString flags;
        while (k < format.size() && QStringLiteral("-+0# ").contains(format.at(k))) flags += format.at(k++);
        auto number = [&]() -> int {
            if (k < format.size() && format.at(k) == u'*') {
                ++k;
                const Variant* v = take();
                return v && !v->isNull() ? static_cast<int>(v->toInt64()) : 0;
            }
            int n = 0;
            while (k < format.size() && format.at(k).isDigit()) n = n * 10 + format.at(k++).digitValue();
            return n;
        };
        const int width = number();
        int precision = -1;
        if (k < format.size() && format.at(k) == u'.') {
            ++k;
            precision = number();
        }
        if (k < format.size() && (format.at(k) == u'h' || format.at(k) == u'l')) ++k;
        if (k >= format.size() || !QStringLiteral("diuoxXs").contains(format.at(k))) {
            out += format.mid(i, k - i);
            i = k - 1;
            continue;
        }
        const QChar type = format.at(k);
        i = k;
        const Variant* v = take();
        QString text;
        if (!v || v->isNull() || v->isEmpty()) {
            text = QStringLiteral("(null)");
        } else if (type == u's') {
            text = v->toString();
            if (precision >= 0) text = text.left(precision);
        } else {
            const qint64 n = v->toInt64();
            const bool hash = flags.contains(u'#');
            if (type == u'd' || type == u'i') {
                text = QString::number(n);
                if (n >= 0 && flags.contains(u'+')) text.prepend(u'+');
                else if (n >= 0 && flags.contains(u' ')) text.prepend(u' ');
            } else {
                const quint64 u = static_cast<quint32>(n);
                text = type == u'u' ? QString::number(u) : type == u'o' ? QString::number(u, 8) : QString::number(u, 16);
                if (type == u'X') text = text.toUpper();
                if (hash && u != 0 && type != u'u') text.prepend(type == u'o' ? QStringLiteral("0") : type == u'x' ? QStringLiteral("0x") : QStringLiteral("0X"));
            }
        }
        if (text.size() < width) {
            if (flags.contains(u'-')) {
                text = text.leftJustified(width, u' ');
            } else if (flags.contains(u'0') && type != u's' && v && !v->isNull()) {
                const bool sign = text.startsWith(u'-') || text.startsWith(u'+');
                text.insert(sign ? 1 : 0, QString(width - text.size(), u'0'));
            } else {
                text = text.rightJustified(width, u' ');
            }
        }
        out += text;
    }
    // Longer messages are cut and end in an ellipsis.
    if (out.size() > 2047) out = out.left(2044) + QStringLiteral("...");
    return out;
}

CallResult callWith(Core& core, const ProcedureDef& def, const std::vector<Argument>& arguments, int depth, Shared& shared);

// The runtime of one call: its variables (parameters included) and its result sets.
class Runner {
public:
    Runner(Core& core, int depth, Shared& shared) : core_(core), depth_(depth), shared_(shared) {}
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;
    // The call's table variables go with it, whichever way it ends.
    ~Runner() {
        for (const QString& table : std::as_const(tables_)) {
            try {
                provider::Request r;
                r.text = QStringLiteral("DROP TABLE ") + table;
                core_.execute(r);
            } catch (...) {
            }
        }
    }

    struct Variable {
        SqlType type;
        Variant value;
    };

    void declare(const QString& name, const QString& typeText, const Variant& value) {
        const QString key = name.toLower();
        if (vars_.contains(key) || tables_.contains(key)) {
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

    void run(const Program& program) {
        program_ = &program;
        caught_.assign(program.tries.size(), Caught{});
        pc_ = 0;
        while (pc_ < program.code.size() && !returned_) {
            const Instruction& in = program.code[pc_];
            nested_ = false;
            try {
                switch (in.op) {
                    case Instruction::Op::Jump:
                        pc_ = in.target;
                        break;
                    case Instruction::Op::JumpUnless:
                        pc_ = condition(in.node->tokens) ? pc_ + 1 : in.target;
                        error_ = 0;
                        break;
                    case Instruction::Op::Run:
                        exec(*in.node);
                        ++pc_;
                        // @@ERROR tells of the statement just before only.
                        error_ = 0;
                        break;
                }
            } catch (const platform::RuntimeError& e) {
                // Names that cannot be resolved end the call even inside TRY; from a called
                // procedure they are an error like any other.
                const bool resolution = !nested_ && (e.number() == 207 || e.number() == 208);
                const int region = resolution ? -1 : innermost(pc_, false);
                if (region < 0) throw;
                Caught c{e.number(), e.description(), 16, 1};
                if (const auto* r = dynamic_cast<const RaisedError*>(&e)) {
                    c.severity = r->severity;
                    c.state = r->state;
                }
                caught_[static_cast<size_t>(region)] = c;
                error_ = e.number();
                pc_ = program.tries[static_cast<size_t>(region)].catchBegin;
            }
        }
    }

    std::vector<provider::Result> results;
    qint64 returnValue = 0;

private:
    // The innermost TRY block (or, with inCatch, CATCH block) holding instruction pc.
    int innermost(size_t pc, bool inCatch) const {
        int best = -1;
        size_t width = 0;
        for (size_t r = 0; r < program_->tries.size(); ++r) {
            const TryRegion& t = program_->tries[r];
            const size_t from = inCatch ? t.catchBegin : t.tryBegin;
            const size_t to = inCatch ? t.catchEnd : t.catchBegin;
            if (pc < from || pc >= to) continue;
            if (best < 0 || to - from < width) {
                best = static_cast<int>(r);
                width = to - from;
            }
        }
        return best;
    }

    // Table variables become their temporary tables; ERROR_NUMBER() and the like and the
    // global variables of the interpreter become their values.
    std::vector<Token> resolved(const std::vector<Token>& in) {
        std::vector<Token> t;
        t.reserve(in.size());
        for (size_t i = 0; i < in.size(); ++i) {
            const Token& x = in[i];
            if (x.kind == TokenKind::Variable) {
                const QString key = x.text.toLower();
                if (auto it = tables_.find(key); it != tables_.end()) {
                    t.push_back(Token{TokenKind::Word, *it, false});
                    continue;
                }
                if (key == u"@@fetch_status") {
                    t.push_back(literalToken(static_cast<std::int64_t>(shared_.fetchStatus)));
                    continue;
                }
                if (key == u"@@rowcount") {
                    t.push_back(literalToken(static_cast<std::int64_t>(rowCount_)));
                    continue;
                }
                if (key == u"@@error") {
                    t.push_back(literalToken(static_cast<std::int64_t>(error_)));
                    continue;
                }
            }
            if (x.isWord("ERROR_NUMBER") || x.isWord("ERROR_MESSAGE") || x.isWord("ERROR_SEVERITY") || x.isWord("ERROR_STATE")) {
                size_t open = i + 1;
                while (open < in.size() && in[open].isTrivia()) ++open;
                size_t close = open + 1;
                while (close < in.size() && in[close].isTrivia()) ++close;
                if (close < in.size() && in[open].isPunct("(") && in[close].isPunct(")")) {
                    const int region = innermost(pc_, true);
                    const Caught* c = region < 0 ? nullptr : &caught_[static_cast<size_t>(region)];
                    Variant v = Variant::null();
                    if (c && x.isWord("ERROR_NUMBER")) v = static_cast<std::int64_t>(c->number);
                    if (c && x.isWord("ERROR_MESSAGE")) v = c->message;
                    if (c && x.isWord("ERROR_SEVERITY")) v = static_cast<std::int64_t>(c->severity);
                    if (c && x.isWord("ERROR_STATE")) v = static_cast<std::int64_t>(c->state);
                    t.push_back(literalToken(v));
                    i = close;
                    continue;
                }
            }
            t.push_back(x);
        }
        return t;
    }

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
        Translation tr = translate(withJoins(resolved(tokens)), core_.database());
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
            r.text = joinTokens(resolved(tokens));
            for (auto& res : core_.execute(r)) {
                if (res.hasRows) results.push_back(std::move(res));
            }
            rowCount_ = 0;
            return;
        }
        core_.startClock();
        if (p->tr.kind == StatementKind::Query) {
            results.push_back(core_.readRows(p->st.get(), false, QString(), QString(), p->tr.describingSql));
            rowCount_ = static_cast<qint64>(results.back().rows.size());
            return;
        }
        core_.stepWaiting(
            [&p] {
                while (p->st.step()) {
                }
            },
            p->tr.schema);
        rowCount_ = sqlite3_changes(core_.db());
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
        rowCount_ = 0;
        while (p->st.step()) {
            ++rowCount_;
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
            CallResult r;
            try {
                r = callWith(core_, *def, args, depth_ + 1, shared_);
            } catch (...) {
                nested_ = true;
                throw;
            }
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
            case NodeKind::DeclareTable:
                declareTable(n);
                return;
            case NodeKind::DeclareCursor:
                declareCursor(n);
                return;
            case NodeKind::Open:
                openCursor(cursor(n.target));
                return;
            case NodeKind::Fetch:
                fetch(n);
                return;
            case NodeKind::Close: {
                Cursor& c = cursor(n.target);
                if (!c.open) raiseServerError(16917, QStringLiteral("Cursor is not open."));
                c.open = false;
                c.rows = provider::Result{};
                rowCount_ = 0;
                return;
            }
            case NodeKind::Deallocate:
                if (!cursors_.remove(n.target.toLower()) && !shared_.globalCursors.remove(n.target.toLower())) {
                    raiseServerError(16916, QStringLiteral("A cursor with the name '%1' does not exist.").arg(n.target));
                }
                rowCount_ = 0;
                return;
            case NodeKind::Raiserror:
                raiserror(n);
                return;
            case NodeKind::Throw:
                throwError(n);
                return;
            case NodeKind::Declare:
                for (const auto& d : n.declared) {
                    declare(d.name, d.typeText, d.init.empty() ? Variant::null() : evaluate(d.init));
                }
                return;
            case NodeKind::Set: {
                Variable& v = variable(n.target);
                v.value = coerce(evaluate(n.tokens), v.type);
                rowCount_ = 1;
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
                rowCount_ = 0;
                return;
            }
            default:
                // Blocks, conditions, loops and jumps are laid out as instructions.
                return;
        }
    }

    void declareTable(const Node& n) {
        const QString key = n.target.toLower();
        if (vars_.contains(key) || tables_.contains(key)) {
            raiseServerError(134, QStringLiteral("The variable name '%1' has already been declared. Variable names must be unique "
                                                 "within a query batch or stored procedure.")
                                      .arg(n.target));
        }
        // A temporary table of this connection, named after the call's depth so that nested
        // calls declaring the same name do not meet.
        const QString table = QStringLiteral("#tsql_tv%1_%2").arg(depth_).arg(n.target.mid(1));
        sqlite3_exec(core_.db(), ("DROP TABLE IF EXISTS temp." + quoteName(table).toUtf8()).constData(), nullptr, nullptr, nullptr);
        core_.schemaChanged();
        provider::Request r;
        r.text = QStringLiteral("CREATE TABLE ") + table + u' ' + joinTokens(n.tokens);
        core_.execute(r);
        tables_.insert(key, table);
    }

    void declareCursor(const Node& n) {
        QHash<QString, Cursor>& scope = n.global ? shared_.globalCursors : cursors_;
        if (scope.contains(n.target.toLower())) {
            raiseServerError(16915, QStringLiteral("A cursor with the name '%1' already exists.").arg(n.target));
        }
        Cursor c;
        c.select = n.tokens;
        c.scroll = n.scroll;
        scope.insert(n.target.toLower(), std::move(c));
        rowCount_ = 1;
    }

    Cursor& cursor(const QString& name) {
        auto it = cursors_.find(name.toLower());
        if (it != cursors_.end()) return *it;
        it = shared_.globalCursors.find(name.toLower());
        if (it != shared_.globalCursors.end()) return *it;
        raiseServerError(16916, QStringLiteral("A cursor with the name '%1' does not exist.").arg(name));
    }

    // The rows are read once, as a STATIC cursor reads them: later writes do not show.
    void openCursor(Cursor& c) {
        if (c.open) raiseServerError(16905, QStringLiteral("The cursor is already open."));
        auto p = prepare(c.select);
        if (!p || p->tr.kind != StatementKind::Query) syntaxNear(QStringLiteral("FOR"));
        core_.startClock();
        c.rows = core_.readRows(p->st.get(), false, QString(), QString(), p->tr.describingSql);
        c.open = true;
        c.position = -1;
    }

    void fetch(const Node& n) {
        Cursor& c = cursor(n.target);
        if (!c.open) raiseServerError(16917, QStringLiteral("Cursor is not open."));
        if (!c.scroll && n.fetch != u"NEXT") {
            raiseServerError(16911, QStringLiteral("fetch: The fetch type %1 cannot be used with forward only cursors.").arg(n.fetch));
        }
        const long count = static_cast<long>(c.rows.rows.size());
        long offset = 0;
        if (!n.tokens.empty()) {
            const Variant v = evaluate(n.tokens);
            offset = v.isNull() ? 0 : static_cast<long>(v.toInt64());
        }
        long to = c.position;
        if (n.fetch == u"NEXT") to = c.position + 1;
        if (n.fetch == u"PRIOR") to = c.position - 1;
        if (n.fetch == u"FIRST") to = 0;
        if (n.fetch == u"LAST") to = count - 1;
        if (n.fetch == u"ABSOLUTE") to = offset > 0 ? offset - 1 : offset < 0 ? count + offset : -1;
        if (n.fetch == u"RELATIVE") to = c.position + offset;
        const bool found = to >= 0 && to < count;
        c.position = found ? to : (to < 0 ? -1 : count);
        shared_.fetchStatus = found ? 0 : -1;
        rowCount_ = 1;
        if (!n.into.empty() && n.into.size() != static_cast<size_t>(c.rows.columns.size())) {
            raiseServerError(16924, QStringLiteral("Cursorfetch: The number of variables declared in the INTO list must match "
                                                   "that of selected columns."));
        }
        if (n.into.empty()) {
            provider::Result r;
            r.hasRows = true;
            r.columns = c.rows.columns;
            if (found) r.rows.push_back(c.rows.rows.row(static_cast<size_t>(to)));
            results.push_back(std::move(r));
            return;
        }
        if (!found) return;
        const provider::Row row = c.rows.rows.row(static_cast<size_t>(to));
        for (size_t k = 0; k < n.into.size(); ++k) {
            Variable& v = variable(n.into[k]);
            v.value = coerce(row[k], v.type);
        }
    }

    std::vector<Variant> values(const std::vector<ExecArgument>& args, size_t from) {
        std::vector<Variant> out;
        for (size_t k = from; k < args.size(); ++k) out.push_back(evaluate(args[k].value));
        return out;
    }

    void raiserror(const Node& n) {
        const std::vector<Variant> v = values(n.arguments, 0);
        const int severity = v[1].isNull() ? 0 : static_cast<int>(v[1].toInt64());
        int state = v[2].isNull() ? 1 : static_cast<int>(v[2].toInt64());
        if (state < 0 || state > 255) state = 1;
        if (severity > 18) {
            raiseServerError(2754, QStringLiteral("Error severity levels greater than 18 can only be specified by members of the "
                                                  "sysadmin role, using the WITH LOG option."));
        }
        long number = 50000;
        QString text;
        if (v[0].isString() || v[0].isNull()) {
            text = formatMessage(v[0].isNull() ? QString() : v[0].toString(), std::vector<Variant>(v.begin() + 3, v.end()));
        } else {
            // A message number names a message added with sp_addmessage, which this server has not.
            number = static_cast<long>(v[0].toInt64());
            if (number < 13000 || number == 50000) {
                raiseServerError(2732, QStringLiteral("Error number %1 is invalid. The number must be from 13000 through 2147483647 "
                                                      "and it cannot be 50000.")
                                           .arg(number));
            }
            raiseServerError(18054, QStringLiteral("Error %1, severity %2, state %3 was raised, but no message with that error "
                                                   "number was found in sys.messages. If error is larger than 50000, make sure the "
                                                   "user-defined message is added using sp_addmessage.")
                                        .arg(number)
                                        .arg(severity)
                                        .arg(state));
        }
        // Severity 10 and below is a message, not an error.
        rowCount_ = 0;
        if (severity <= 10) return;
        throw RaisedError(serverError(number, text), severity, state);
    }

    void throwError(const Node& n) {
        if (n.arguments.empty()) {
            const int region = innermost(pc_, true);
            if (region < 0) return;
            const Caught& c = caught_[static_cast<size_t>(region)];
            throw RaisedError(serverError(c.number, c.message), c.severity, c.state);
        }
        const std::vector<Variant> v = values(n.arguments, 0);
        const qint64 number = v[0].isNull() ? 0 : v[0].toInt64();
        if (number < 50000) {
            raiseServerError(35100, QStringLiteral("Error number %1 in the THROW statement is outside the valid range. Specify an "
                                                   "error number in the valid range of 50000 to 2147483647.")
                                        .arg(number));
        }
        const qint64 state = v[2].isNull() ? 0 : v[2].toInt64();
        if (state < 0 || state > 255) {
            raiseServerError(35101, QStringLiteral("The THROW statement state %1 is outside the valid range. Specify a state in "
                                                   "the valid range of 0 to 255.").arg(state));
        }
        throw RaisedError(serverError(static_cast<long>(number), v[1].isNull() ? QString() : v[1].toString()), 16,
                          static_cast<int>(state));
    }

    Core& core_;
    int depth_;
    Shared& shared_;
    bool returned_ = false;
    QHash<QString, Variable> vars_;
    QHash<QString, QString> tables_;  // table variable (lower case) to its temporary table
    QHash<QString, Cursor> cursors_;  // LOCAL cursors
    const Program* program_ = nullptr;
    size_t pc_ = 0;
    bool nested_ = false;        // the failure came out of a called procedure
    std::vector<Caught> caught_;  // per TRY ... CATCH
    qint64 rowCount_ = 0;
    long error_ = 0;
};



CallResult callWith(Core& core, const ProcedureDef& def, const std::vector<Argument>& arguments, int depth, Shared& shared) {
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
    Runner runner(core, depth, shared);
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
    runner.run(*def.program);
    CallResult out;
    out.results = std::move(runner.results);
    out.returnValue = runner.returnValue;
    for (const auto& decl : def.parameters) out.finalValues.push_back(runner.variable(decl.name).value);
    return out;
}

}  // namespace

CallResult call(Core& core, const ProcedureDef& procedure, const std::vector<Argument>& arguments, int depth) {
    Shared shared;
    return callWith(core, procedure, arguments, depth, shared);
}

}  // namespace data::embedded::tsql
