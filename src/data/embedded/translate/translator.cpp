#include "data/embedded/translate/translator.h"

#include "data/embedded/translate/joinedwrites.h"

#include <algorithm>
#include <optional>

#include "data/embedded/server/admin.h"
#include "data/embedded/translate/collation.h"
#include "data/embedded/translate/expressions.h"
#include "data/embedded/translate/joinedwrites.h"
#include "data/embedded/translate/selecttop.h"
#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {


struct Part {
    QString value;
    QString text;
    bool quoted = false;
    bool empty = false;
};

// Reads a dotted name starting at t[i] (a name token); returns the index after it.
size_t readDotted(const std::vector<Token>& t, size_t i, std::vector<Part>& parts) {
    parts.push_back(Part{t[i].value(), t[i].text, t[i].kind == TokenKind::QuotedName, false});
    size_t j = i + 1;
    while (j < t.size() && t[j].isPunct(".")) {
        if (j + 1 < t.size() && t[j + 1].isName()) {
            parts.push_back(Part{t[j + 1].value(), t[j + 1].text, t[j + 1].kind == TokenKind::QuotedName, false});
            j += 2;
        } else if (j + 1 < t.size() && t[j + 1].isPunct(".")) {
            parts.push_back(Part{QString(), QString(), false, true});
            j += 1;
        } else {
            break;
        }
    }
    return j;
}

struct Context {
    QString current;
    QStringList databases;

    // The SQLite schema for a database name: main for the connection's own database.
    QString schemaOf(const QString& db) {
        if (db.isEmpty() || db.compare(current, Qt::CaseInsensitive) == 0) return QStringLiteral("main");
        bool known = false;
        for (const auto& d : databases) known = known || d.compare(db, Qt::CaseInsensitive) == 0;
        if (!known) databases.push_back(db);
        return db;
    }
};

struct ObjectName {
    QString schema = QStringLiteral("main");
    QString table;
    QString column;  // the fourth part, or the second of dbo.table.column
};

// What a dotted name means: [db, owner, table, column], [db, owner, table] or [dbo, table, column],
// [dbo, table] or [table, column], [name].
ObjectName meaning(const std::vector<Part>& parts, Context& ctx, bool* hasSchema = nullptr, bool asTable = false) {
    ObjectName o;
    const size_t n = parts.size();
    bool schema = false;
    if (asTable && n >= 1 && n <= 3 && isLocalTempName(parts.back().value)) {
        // A temporary table belongs to the connection, whatever database or owner it is named with.
        o.schema = QStringLiteral("temp");
        o.table = parts.back().value;
        if (hasSchema) *hasSchema = true;
        return o;
    }
    auto isDbo = [](const Part& p) { return !p.empty && p.value.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0; };
    if (n >= 4) {
        o.schema = ctx.schemaOf(parts[n - 4].value);
        o.table = parts[n - 2].value;
        o.column = parts[n - 1].value;
        schema = true;
    } else if (n == 3) {
        if (isDbo(parts[0])) {
            o.table = parts[1].value;
            o.column = parts[2].value;
        } else {
            o.schema = ctx.schemaOf(parts[0].value);
            o.table = parts[2].value;
            schema = true;
        }
    } else if (n == 2) {
        if (isDbo(parts[0])) {
            o.table = parts[1].value;
        } else if (asTable) {
            o.schema = ctx.schemaOf(parts[0].value);
            o.table = parts[1].value;
            schema = true;
        } else {
            o.table = parts[0].value;
            o.column = parts[1].value;
        }
    } else if (n == 1) {
        o.table = parts[0].value;
    }
    if (hasSchema) *hasSchema = schema;
    return o;
}

Token nameToken(const Part& p) {
    // SQLite reads a name holding "#" (a temporary table's) only quoted.
    if (p.quoted || p.value.contains(u'#')) return Token{TokenKind::QuotedName, quoteName(p.value), false};
    return Token{TokenKind::Word, p.text, false};
}

Token schemaToken(const QString& schema) {
    if (schema == u"main") return Token{TokenKind::Word, QStringLiteral("main"), false};
    return Token{TokenKind::QuotedName, quoteName(schema), false};
}

Token dot() { return Token{TokenKind::Punct, QStringLiteral("."), false}; }

void emitName(std::vector<Token>& out, const std::vector<Part>& parts, Context& ctx) {
    const size_t n = parts.size();
    auto isDbo = [](const Part& p) { return !p.empty && p.value.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0; };
    std::vector<Token> pieces;
    if (n >= 4) {
        pieces = {schemaToken(ctx.schemaOf(parts[n - 4].value)), nameToken(parts[n - 2]), nameToken(parts[n - 1])};
    } else if (n == 3) {
        if (isLocalTempName(parts[2].value)) {
            pieces = {nameToken(parts[2])};  // tempdb..#T, db.dbo.#T: the connection's own
        } else if (isDbo(parts[0])) {
            pieces = {nameToken(parts[1]), nameToken(parts[2])};
        } else {
            pieces = {schemaToken(ctx.schemaOf(parts[0].value)), nameToken(parts[2])};
        }
    } else if (n == 2) {
        if (isDbo(parts[0])) {
            pieces = {nameToken(parts[1])};
        } else {
            pieces = {nameToken(parts[0]), nameToken(parts[1])};
        }
    } else {
        pieces = {nameToken(parts[0])};
    }
    for (size_t k = 0; k < pieces.size(); ++k) {
        if (k) out.push_back(dot());
        out.push_back(pieces[k]);
    }
}

bool isHintWord(const Token& t) {
    static const char* const hints[] = {"NOLOCK",   "READUNCOMMITTED", "UPDLOCK",       "ROWLOCK",     "PAGLOCK",
                                        "TABLOCK",  "TABLOCKX",        "HOLDLOCK",      "READCOMMITTED", "REPEATABLEREAD",
                                        "SERIALIZABLE", "READPAST",    "XLOCK",         "NOWAIT",      "NOEXPAND",
                                        "FASTFIRSTROW", "READCOMMITTEDLOCK"};
    for (const char* h : hints) {
        if (t.isWord(h)) return true;
    }
    return false;
}

// When t[i] is "(" opening a list of table hints only, the index after its ")".
std::optional<size_t> hintListEnd(const std::vector<Token>& t, size_t i) {
    if (i >= t.size() || !t[i].isPunct("(")) return std::nullopt;
    bool any = false;
    for (size_t j = i + 1; j < t.size(); ++j) {
        if (t[j].isTrivia() || t[j].isPunct(",")) continue;
        if (t[j].isPunct(")")) return any ? std::optional<size_t>(j + 1) : std::nullopt;
        if (!isHintWord(t[j])) return std::nullopt;
        any = true;
    }
    return std::nullopt;
}

bool isClauseWord(const Token& t) {
    static const char* const words[] = {"WHERE", "ORDER", "GROUP", "HAVING", "LIMIT", "UNION", "INTERSECT", "EXCEPT",
                                        "JOIN",  "INNER", "LEFT",  "RIGHT",  "FULL",  "CROSS", "OUTER",     "ON",
                                        "SET",   "VALUES", "SELECT", "FROM", "NATURAL", "USING", "WINDOW", "OPTION"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// Pass 1: names, isnull, hints, N'', !< and !>.
std::vector<Token> rewrite(const std::vector<Token>& in, Context& ctx, int& parameters) {
    std::vector<Token> out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const Token& t = in[i];
        const bool afterDot = i > 0 && in[i - 1].isPunct(".");
        if (t.isName() && !afterDot) {
            const size_t n = nextAt(in, i + 1);
            if (t.isWord("isnull") && n < in.size() && in[n].isPunct("(")) {
                out.push_back(word(QStringLiteral("ifnull")));
                continue;
            }
            if (t.isWord("SCOPE_IDENTITY") && n < in.size() && in[n].isPunct("(")) {
                out.push_back(word(QStringLiteral("last_insert_rowid")));
                continue;
            }
            if (t.isWord("WITH")) {
                if (auto end = hintListEnd(in, n)) {
                    i = *end - 1;
                    continue;
                }
            }
            std::vector<Part> parts;
            const size_t end = readDotted(in, i, parts);
            emitName(out, parts, ctx);
            i = end - 1;
            continue;
        }
        if (t.isPunct("(")) {
            // An old-style hint right after a table name: T (NOLOCK).
            const size_t p = prevAt(in, i);
            if (p < in.size() && in[p].isName() && !isClauseWord(in[p])) {
                if (auto end = hintListEnd(in, i)) {
                    i = *end - 1;
                    continue;
                }
            }
        }
        if (t.isPunct("{")) {
            // ODBC's date, time and timestamp escapes: {d '2017-01-05'}, {ts '...'} are their
            // texts, which a date-time column they meet reads as a date.
            const size_t k = nextAt(in, i + 1);
            const size_t v = nextAt(in, k + 1);
            const size_t c = nextAt(in, v + 1);
            if (c < in.size() && (in[k].isWord("d") || in[k].isWord("t") || in[k].isWord("ts")) &&
                in[v].kind == TokenKind::String && in[c].isPunct("}")) {
                out.push_back(in[v]);
                i = c;
                continue;
            }
        }
        if (t.kind == TokenKind::String && (t.text.startsWith(u'N') || t.text.startsWith(u'n'))) {
            out.push_back(Token{TokenKind::String, t.text.mid(1), t.unterminated});
            continue;
        }
        if (t.isPunct("!<")) {
            out.push_back(Token{TokenKind::Punct, QStringLiteral(">="), false});
            continue;
        }
        if (t.isPunct("!>")) {
            out.push_back(Token{TokenKind::Punct, QStringLiteral("<="), false});
            continue;
        }
        if (t.isPunct("+")) {
            // SQL Server joins texts with "+": a text literal on either side makes it a join.
            const size_t p = prevAt(in, i);
            const size_t n = nextAt(in, i + 1);
            const bool textBefore = p < in.size() && in[p].kind == TokenKind::String;
            const bool textAfter = n < in.size() && in[n].kind == TokenKind::String;
            const bool numberBefore = p < in.size() && in[p].kind == TokenKind::Number;
            const bool numberAfter = n < in.size() && in[n].kind == TokenKind::Number;
            if ((textBefore && !numberAfter) || (textAfter && !numberBefore)) {
                out.push_back(Token{TokenKind::Punct, QStringLiteral("||"), false});
                continue;
            }
        }
        if (t.kind == TokenKind::Variable && (t.text.compare(QLatin1String("@@IDENTITY"), Qt::CaseInsensitive) == 0)) {
            out.push_back(word(QStringLiteral("last_insert_rowid()")));
            continue;
        }
        if (t.kind == TokenKind::Variable && (t.text.compare(QLatin1String("@@SPID"), Qt::CaseInsensitive) == 0)) {
            out.push_back(word(QStringLiteral("tsql_spid()")));
            continue;
        }
        if (t.kind == TokenKind::Parameter) ++parameters;
        out.push_back(t);
    }
    return out;
}

// A COLLATE clause of the statement: the server's default collation and its case-insensitive,
// accent-sensitive kin are the engine's own; any other would compare with another meaning
// (case or accents), so the statement is refused.
void namedCollations(std::vector<Token>& t, Translation& tr) {
    for (size_t i = 0; i < t.size(); ++i) {
        if (!t[i].isWord("COLLATE")) continue;
        const size_t n = nextAt(t, i + 1);
        if (n >= t.size() || !t[n].isName()) continue;
        const QString name = t[n].value();
        if (name.compare(QLatin1String("database_default"), Qt::CaseInsensitive) == 0 ||
            name.endsWith(QLatin1String("_CI_AS"), Qt::CaseInsensitive)) {
            t[n] = word(QStringLiteral("TSQL_TEXT"));
        } else if (tr.refusal == 0) {
            tr.refusal = 448;
            tr.refusalText = QStringLiteral("Invalid collation '%1'.").arg(name);
        }
    }
}

// SQLite takes no parentheses around the members of a UNION, INTERSECT or EXCEPT: a member
// "(SELECT ...)" loses them, or, when it sorts or limits its own rows, becomes a query of its
// rows ("SELECT * FROM (SELECT ... ORDER BY ... LIMIT n)"), whose columns keep its collation.
std::vector<Token> compoundMembers(const std::vector<Token>& t) {
    const Groups groups(t);
    auto setOperator = [&](size_t i) {
        return i < t.size() && (isSetWord(t[i]) || t[i].isWord("ALL"));
    };
    auto closesCte = [&](size_t c) {
        if (c >= t.size() || !t[c].isPunct(")")) return false;
        for (auto it = groups.close.begin(); it != groups.close.end(); ++it) {
            if (it.value() == c) return wordAt(t, prevAt(t, it.key()), "AS");
        }
        return false;
    };
    std::vector<size_t> drop;
    std::vector<size_t> wrap;
    for (size_t g = 0; g < t.size(); ++g) {
        if (!t[g].isPunct("(") || !groups.close.contains(g) || !wordAt(t, nextAt(t, g + 1), "SELECT")) continue;
        const size_t close = groups.close.value(g);
        const size_t before = prevAt(t, g);
        // The first member of its set: at the start of the statement or of its parentheses, or
        // right after the common table expressions ("WITH w AS (...) (SELECT ...) UNION ...").
        const bool first = before >= t.size() || t[before].isPunct("(") || closesCte(before);
        if (!(setOperator(before) || ((first || setOperator(before)) && setOperator(nextAt(t, close + 1))))) continue;
        bool own = false;  // ORDER BY or LIMIT of the member itself
        for (size_t k = g + 1; k < close; ++k) own = own || (groups.of[k] == g && (t[k].isWord("ORDER") || t[k].isWord("LIMIT")));
        (own ? wrap : drop).push_back(g);
        if (!own) drop.push_back(close);
    }
    if (drop.empty() && wrap.empty()) return t;
    std::vector<Token> out;
    out.reserve(t.size() + wrap.size() * 6);
    for (size_t i = 0; i < t.size(); ++i) {
        if (std::find(drop.begin(), drop.end(), i) != drop.end()) continue;
        if (std::find(wrap.begin(), wrap.end(), i) != wrap.end()) {
            for (const Token& w : {word(QStringLiteral("SELECT")), space(), Token{TokenKind::Punct, QStringLiteral("*"), false},
                                   space(), word(QStringLiteral("FROM")), space()}) {
                out.push_back(w);
            }
        }
        out.push_back(t[i]);
    }
    return out;
}

// A query over exactly one table: the text with the row key added as the last column.
void singleTable(const std::vector<Token>& t, Translation& tr) {
    int depth = 0;
    size_t from = t.size();
    int froms = 0;
    const size_t first = nextAt(t, 0);
    if (!wordAt(t, first, "SELECT")) return;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].isPunct("(")) ++depth;
        if (t[i].isPunct(")")) --depth;
        if (depth != 0) continue;
        if (t[i].isWord("UNION") || t[i].isWord("INTERSECT") || t[i].isWord("EXCEPT") || t[i].isWord("GROUP") ||
            t[i].isWord("HAVING") || t[i].isWord("DISTINCT") || t[i].isWord("INTO")) {
            return;
        }
        if (t[i].isWord("FROM")) {
            ++froms;
            from = i;
        }
    }
    if (froms != 1) return;
    size_t i = nextAt(t, from + 1);
    if (i >= t.size() || !t[i].isName()) return;
    std::vector<Part> parts;
    const size_t end = readDotted(t, i, parts);
    if (parts.size() > 2) return;
    const QString ref = joinTokens(t, i, end);
    QString schema = QStringLiteral("main");
    QString table = parts.back().value;
    if (parts.size() == 2) schema = parts[0].value;
    size_t j = nextAt(t, end);
    QString alias;
    if (wordAt(t, j, "AS")) j = nextAt(t, j + 1);
    if (j < t.size() && t[j].isName() && !isClauseWord(t[j])) {
        alias = t[j].text;
        j = nextAt(t, j + 1);
    }
    if (j < t.size() && !(t[j].isWord("WHERE") || t[j].isWord("ORDER") || t[j].isWord("LIMIT"))) return;
    tr.schema = schema;
    tr.table = table;
    tr.updatableSql = joinTokens(t, 0, from) + QStringLiteral(", ") + (alias.isEmpty() ? ref : alias) +
                      QStringLiteral(".rowid AS \"__rowkey\" ") + joinTokens(t, from);
}

// The target of INSERT INTO x / UPDATE x / DELETE FROM x in the rewritten tokens.
void writeTarget(const std::vector<Token>& t, size_t i, Translation& tr) {
    i = nextAt(t, i);
    if (i >= t.size() || !t[i].isName()) return;
    std::vector<Part> parts;
    readDotted(t, i, parts);
    tr.table = parts.back().value;
    tr.schema = parts.size() >= 2 ? parts[parts.size() - 2].value : QStringLiteral("main");
}

// Reads a dotted name at in[i] of the original tokens as a table name.
ObjectName tableAt(const std::vector<Token>& in, size_t& i, Context& ctx) {
    i = nextAt(in, i);
    if (i >= in.size() || !in[i].isName()) return {};
    std::vector<Part> parts;
    const size_t end = readDotted(in, i, parts);
    i = end;
    return meaning(parts, ctx, nullptr, true);
}

QStringList parenList(const std::vector<Token>& in, size_t& i) {
    QStringList cols;
    i = nextAt(in, i);
    if (i >= in.size() || !in[i].isPunct("(")) return cols;
    int depth = 0;
    for (; i < in.size(); ++i) {
        if (in[i].isPunct("(")) {
            ++depth;
        } else if (in[i].isPunct(")")) {
            if (--depth == 0) {
                ++i;
                break;
            }
        } else if (depth == 1 && in[i].isName() && !in[i].isWord("ASC") && !in[i].isWord("DESC")) {
            cols.push_back(in[i].value());
        }
    }
    return cols;
}

std::vector<Token> slice(const std::vector<Token>& in, size_t from, size_t to = static_cast<size_t>(-1)) {
    to = std::min(to, in.size());
    if (from >= to) return {};
    return {in.begin() + static_cast<long>(from), in.begin() + static_cast<long>(to)};
}

void procedureCall(const std::vector<Token>& in, size_t i, Translation& tr) {
    tr.kind = StatementKind::Procedure;
    i = nextAt(in, i);
    if (i >= in.size() || !in[i].isName()) {
        tr.syntaxError = QStringLiteral("EXEC");
        return;
    }
    std::vector<Part> parts;
    i = readDotted(in, i, parts);
    tr.procedure = parts.back().value;
    // Arguments: [@name =] value, separated by commas.
    QString name;
    bool haveValue = false;
    QString value;
    bool isNull = false;
    auto flush = [&] {
        if (!haveValue && name.isEmpty()) return;
        tr.arguments.emplace_back(name, isNull ? QString() : (value.isNull() ? QStringLiteral("") : value));
        name.clear();
        value = QString();
        haveValue = false;
        isNull = false;
    };
    for (i = nextAt(in, i); i < in.size(); i = nextAt(in, i + 1)) {
        const Token& t = in[i];
        if (t.isPunct(",")) {
            flush();
            continue;
        }
        if (t.kind == TokenKind::Variable && !haveValue) {
            const size_t n = nextAt(in, i + 1);
            if (n < in.size() && in[n].isPunct("=")) {
                name = t.text.mid(1);
                i = n;
                continue;
            }
        }
        if (t.kind == TokenKind::String) {
            if (t.unterminated) {
                tr.syntaxError = t.text;
                return;
            }
            value = t.value();
        } else if (t.isWord("NULL")) {
            isNull = true;
        } else if (t.isWord("DEFAULT")) {
            value = QString();
            isNull = true;
        } else if (t.isPunct("-")) {
            value = QStringLiteral("-");
            continue;
        } else if (t.kind == TokenKind::Number || t.isName() || t.kind == TokenKind::Variable) {
            value = (value == u"-" ? value : QString()) + t.value();
        } else {
            tr.syntaxError = t.text;
            return;
        }
        haveValue = true;
    }
    flush();
}

}  // namespace

Translation translate(const QString& statement, const QString& currentDatabase) {
    return translate(tokenize(statement), currentDatabase);
}

Translation translate(const std::vector<Token>& in, const QString& currentDatabase) {
    Translation tr;
    Context ctx{currentDatabase, {}};
    for (const auto& t : in) {
        if (t.unterminated && t.kind == TokenKind::String) {
            tr.syntaxError = t.text;
            tr.kind = StatementKind::Other;
            return tr;
        }
    }
    const size_t f = nextAt(in, 0);
    if (f >= in.size()) {
        tr.kind = StatementKind::NoOp;
        return tr;
    }
    const Token& first = in[f];
    const size_t s = nextAt(in, f + 1);
    if (translateAdmin(in, f, tr)) return tr;

    if (first.isWord("CREATE") && wordAt(in, s, "DATABASE")) {
        tr.kind = StatementKind::CreateDatabase;
        const size_t n = nextAt(in, s + 1);
        if (n >= in.size() || !in[n].isName()) {
            tr.syntaxError = QStringLiteral("DATABASE");
        } else {
            tr.name = in[n].value();
        }
        return tr;
    }
    if (first.isWord("CREATE") && wordAt(in, s, "TABLE")) {
        tr.kind = StatementKind::CreateTable;
        size_t i = s + 1;
        const ObjectName o = tableAt(in, i, ctx);
        tr.schema = o.schema;
        tr.table = o.table;
        tr.definition = in;
        tr.databases = ctx.databases;
        return tr;
    }
    if (first.isWord("CREATE")) {
        size_t i = s;
        bool unique = false;
        while (wordAt(in, i, "UNIQUE") || wordAt(in, i, "CLUSTERED") || wordAt(in, i, "NONCLUSTERED")) {
            unique = unique || in[i].isWord("UNIQUE");
            i = nextAt(in, i + 1);
        }
        if (wordAt(in, i, "INDEX")) {
            tr.kind = StatementKind::CreateIndex;
            tr.unique = unique;
            i = nextAt(in, i + 1);
            if (i >= in.size() || !in[i].isName()) {
                tr.syntaxError = QStringLiteral("INDEX");
                return tr;
            }
            tr.name = in[i].value();
            i = nextAt(in, i + 1);
            if (!wordAt(in, i, "ON")) {
                tr.syntaxError = in.size() > i ? in[i].text : tr.name;
                return tr;
            }
            const ObjectName o = tableAt(in, ++i, ctx);
            tr.schema = o.schema;
            tr.table = o.table;
            {
                // The order of each key column counts: an index that reads in a query's order
                // spares it a sort.
                size_t k = i;
                tr.columns = parenList(in, k);
                for (size_t j = nextAt(in, i); j < k; ++j) {
                    if (in[j].isWord("DESC") && !tr.descending.empty()) tr.descending.back() = true;
                    if (in[j].isName() && !in[j].isWord("ASC") && !in[j].isWord("DESC")) tr.descending.push_back(false);
                }
                i = k;
            }
            if (tr.columns.isEmpty()) tr.syntaxError = tr.table;
            tr.databases = ctx.databases;
            return tr;
        }
    }
    if (first.isWord("ALTER") && wordAt(in, s, "TABLE")) {
        size_t i = s + 1;
        const ObjectName o = tableAt(in, i, ctx);
        tr.schema = o.schema;
        tr.table = o.table;
        tr.databases = ctx.databases;
        i = nextAt(in, i);
        if (wordAt(in, i, "WITH")) {
            i = nextAt(in, i + 1);  // CHECK / NOCHECK
            i = nextAt(in, i + 1);
        }
        if (wordAt(in, i, "ADD")) {
            const size_t a = nextAt(in, i + 1);
            if (wordAt(in, a, "CONSTRAINT") || wordAt(in, a, "PRIMARY") || wordAt(in, a, "UNIQUE") ||
                wordAt(in, a, "FOREIGN") || wordAt(in, a, "CHECK")) {
                tr.kind = StatementKind::AddConstraint;
                tr.definition = slice(in, a);
                size_t k = a;
                if (wordAt(in, k, "CONSTRAINT")) {
                    k = nextAt(in, k + 1);
                    if (k < in.size()) tr.name = in[k].value();
                    k = nextAt(in, k + 1);
                }
                if (wordAt(in, k, "PRIMARY") || wordAt(in, k, "FOREIGN")) {
                    tr.constraintKind = in[k].isWord("PRIMARY") ? QStringLiteral("PRIMARY KEY") : QStringLiteral("FOREIGN KEY");
                    k = nextAt(in, k + 1);  // KEY
                    k = nextAt(in, k + 1);
                } else if (k < in.size()) {
                    tr.constraintKind = in[k].text.toUpper();
                    k = nextAt(in, k + 1);
                }
                while (wordAt(in, k, "CLUSTERED") || wordAt(in, k, "NONCLUSTERED")) k = nextAt(in, k + 1);
                tr.columns = parenList(in, k);
                return tr;
            }
            tr.kind = StatementKind::AddColumn;
            if (wordAt(in, a, "COLUMN")) {
                tr.syntaxError = QStringLiteral("COLUMN");
                return tr;
            }
            tr.definition = slice(in, a);
            if (a < in.size()) tr.column = in[a].value();
            return tr;
        }
        if (wordAt(in, i, "ALTER") && wordAt(in, nextAt(in, i + 1), "COLUMN")) {
            tr.kind = StatementKind::AlterColumn;
            const size_t a = nextAt(in, nextAt(in, i + 1) + 1);
            tr.definition = slice(in, a);
            if (a < in.size()) tr.column = in[a].value();
            return tr;
        }
        // Anything else (DROP COLUMN, RENAME) passes through.
    }
    if (first.isWord("EXEC") || first.isWord("EXECUTE")) {
        procedureCall(in, f + 1, tr);
        return tr;
    }
    if (first.kind == TokenKind::Word &&
        (first.text.startsWith(QLatin1String("sp_"), Qt::CaseInsensitive) ||
         first.text.startsWith(QLatin1String("xp_"), Qt::CaseInsensitive))) {
        procedureCall(in, f, tr);
        return tr;
    }
    if (first.isWord("BEGIN") && (wordAt(in, s, "TRAN") || wordAt(in, s, "TRANSACTION"))) {
        tr.kind = StatementKind::BeginTran;
        return tr;
    }
    if (first.isWord("COMMIT")) {
        tr.kind = StatementKind::CommitTran;
        return tr;
    }
    if (first.isWord("ROLLBACK")) {
        tr.kind = StatementKind::RollbackTran;
        return tr;
    }
    if (first.isWord("USE")) {
        tr.kind = StatementKind::Use;
        if (s < in.size() && in[s].isName()) {
            tr.name = in[s].value();
        } else {
            tr.syntaxError = QStringLiteral("USE");
        }
        return tr;
    }
    if (first.isWord("SET")) {
        tr.kind = StatementKind::NoOp;
        return tr;
    }
    if (first.isWord("TRUNCATE") && wordAt(in, s, "TABLE")) {
        size_t i = s + 1;
        const ObjectName o = tableAt(in, i, ctx);
        tr.kind = StatementKind::Delete;
        tr.schema = o.schema;
        tr.table = o.table;
        tr.databases = ctx.databases;
        tr.sql = QStringLiteral("DELETE FROM ") + (o.schema == u"main" ? QStringLiteral("main") : quoteName(o.schema)) +
                 u'.' + quoteName(o.table);
        return tr;
    }

    std::vector<Token> out = rewrite(in, ctx, tr.parameters);
    tr.databases = ctx.databases;
    namedCollations(out, tr);
    const size_t o0 = nextAt(out, 0);
    if (o0 >= out.size()) {
        // Nothing but a table hint ("WITH (NOLOCK)"): dropping it left no statement.
        tr.kind = StatementKind::Other;
        tr.syntaxError = first.text;
        return tr;
    }
    out = sqlServerExpressions(std::move(out));
    const Token& head = out[o0];
    if (head.isWord("SELECT") || head.isWord("WITH") || head.isPunct("(")) {
        tr.kind = StatementKind::Query;
        out = collate(topToLimit(aliasAssignments(std::move(out)), tr), false);
        std::vector<Token> results = compoundMembers(collateResults(out, &tr.starColumns));
        if (results.size() != out.size()) tr.describingSql = joinTokens(compoundMembers(out));
        out = std::move(results);
        singleTable(out, tr);
    } else if (head.isWord("INSERT")) {
        tr.kind = StatementKind::Insert;
        size_t i = nextAt(out, o0 + 1);
        if (wordAt(out, i, "INTO")) ++i;
        writeTarget(out, i, tr);
        out = collateResults(collate(topToLimit(out, tr), false), &tr.starColumns);
    } else if (head.isWord("UPDATE")) {
        tr.kind = StatementKind::Update;
        out = joinedWrite(std::move(out), o0);
        writeTarget(out, o0 + 1, tr);
        out = collateResults(collate(topToLimit(out, tr), true), &tr.starColumns);
    } else if (head.isWord("DELETE")) {
        tr.kind = StatementKind::Delete;
        size_t i = nextAt(out, o0 + 1);
        if (!wordAt(out, i, "FROM")) {
            out.insert(out.begin() + static_cast<long>(o0 + 1), {space(), word(QStringLiteral("FROM"))});
            i = nextAt(out, o0 + 1);
        }
        out = joinedWrite(std::move(out), o0);
        writeTarget(out, i + 1, tr);
        out = collateResults(collate(topToLimit(out, tr), false), &tr.starColumns);
    } else if (head.isWord("CREATE") && wordAt(out, nextAt(out, o0 + 1), "VIEW")) {
        // A view compares, sorts and removes duplicates as its query would on its own.
        tr.kind = StatementKind::Other;
        int depth = 0;
        for (size_t i = o0; i < out.size(); ++i) {
            if (out[i].isPunct("(")) ++depth;
            if (out[i].isPunct(")")) --depth;
            if (depth != 0 || !out[i].isWord("AS")) continue;
            std::vector<Token> query = collate(topToLimit(aliasAssignments(slice(out, i + 1)), tr), false);
            query = compoundMembers(collateResults(query));
            out.resize(i + 1);
            out.insert(out.end(), query.begin(), query.end());
            break;
        }
    } else if (head.isWord("DROP") && wordAt(out, nextAt(out, o0 + 1), "TABLE")) {
        tr.kind = StatementKind::DropTable;
        writeTarget(out, nextAt(out, o0 + 1) + 1, tr);
    } else {
        tr.kind = StatementKind::Other;
    }
    if (isLocalTempName(tr.table) && tr.schema == u"main") tr.schema = QStringLiteral("temp");
    tr.sql = joinTokens(out);
    return tr;
}

}  // namespace data::embedded
