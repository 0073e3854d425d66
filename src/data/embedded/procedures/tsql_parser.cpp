// The parser of procedure bodies: the tree of their statements, with SQL Server's syntax
// errors for what it cannot place.
#include <QSet>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/translate/translator.h"
#include "data/embedded/procedures/tsql_interpreter.h"
#include "data/embedded/procedures/tsql_program.h"

namespace data::embedded::tsql {

namespace {

std::vector<Token> slice(const std::vector<Token>& t, size_t from, size_t to) {
    to = std::min(to, t.size());
    if (from >= to) return {};
    return {t.begin() + static_cast<long>(from), t.begin() + static_cast<long>(to)};
}

bool isClauseWord(const Token& t) {
    static const char* const words[] = {"FROM", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "INTO"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// SQL Server's reserved words: a syntax error next to one of them is reported as 156.
bool isReservedWord(const QString& word) {
    static const QSet<QString> words = [] {
        QSet<QString> s;
        for (const char* w :
             {"ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN", "BETWEEN", "BREAK", "BROWSE",
              "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE", "COLLATE", "COLUMN",
              "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTINUE", "CONVERT", "CREATE", "CROSS", "CURRENT",
              "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATABASE", "DBCC",
              "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC", "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE",
              "DROP", "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE", "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT", "EXTERNAL",
              "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN", "FREETEXT", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT",
              "GROUP", "HAVING", "HOLDLOCK", "IDENTITY", "IDENTITY_INSERT", "IDENTITYCOL", "IF", "IN", "INDEX", "INNER",
              "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD", "MERGE",
              "NATIONAL", "NOCHECK", "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF", "OFFSETS", "ON", "OPEN",
              "OPTION", "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PIVOT", "PLAN", "PRECISION", "PRIMARY", "PRINT", "PROC",
              "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT", "RECONFIGURE", "REFERENCES", "REPLICATION",
              "RESTORE", "RESTRICT", "RETURN", "REVERT", "REVOKE", "RIGHT", "ROLLBACK", "ROWCOUNT", "ROWGUIDCOL", "RULE",
              "SAVE", "SCHEMA", "SELECT", "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATISTICS",
              "SYSTEM_USER", "TABLE", "TABLESAMPLE", "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION", "TRIGGER",
              "TRUNCATE", "TSEQUAL", "UNION", "UNIQUE", "UNPIVOT", "UPDATE", "UPDATETEXT", "USE", "USER", "VALUES",
              "VARYING", "VIEW", "WAITFOR", "WHEN", "WHERE", "WHILE", "WITH", "WRITETEXT"}) {
            s.insert(QString::fromLatin1(w));
        }
        return s;
    }();
    return words.contains(word.toUpper());
}

}  // namespace

void syntaxAt(const Token& t) {
    if (t.kind == TokenKind::Word && isReservedWord(t.text)) {
        raiseServerError(156, QStringLiteral("Incorrect syntax near the keyword '%1'.").arg(t.text));
    }
    syntaxNear(t.text);
}

namespace {

class Parser {
public:
    explicit Parser(const std::vector<Token>& t) : t_(t) {}

    std::vector<Node> parseAll(size_t from, size_t to) {
        std::vector<Node> out;
        size_t i = next(from);
        while (i < to) {
            if (t_[i].isWord("END") || t_[i].isWord("ELSE")) syntaxAt(t_[i]);
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
    bool isLabel(size_t i, size_t end) const {
        if (t_[i].kind != TokenKind::Word || isStatementWord(t_[i])) return false;
        const size_t k = next(i + 1);
        return k < end && t_[k].isPunct(":");
    }

    // Where the statement starting at start ends: the first token at depth 0 (outside CASE)
    // that begins another statement or is a label.
    size_t statementEnd(size_t start, size_t end) const {
        const Token& head = t_[start];
        int depth = 0;
        int cases = 0;
        bool insertTail = false;
        bool updateSet = false;
        bool values = false;  // INSERT ... VALUES: a SELECT after it is a statement of its own
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
            if (cases > 0) continue;
            if (tok.isWord("VALUES")) values = true;
            if (isLabel(i, end)) return i;
            if (!isStatementWord(tok)) continue;
            const size_t p = previous(i);
            const bool afterSetOperator = p < t_.size() && (t_[p].isWord("UNION") || t_[p].isWord("ALL") ||
                                                             t_[p].isWord("EXCEPT") || t_[p].isWord("INTERSECT"));
            if (tok.isWord("SELECT") && afterSetOperator) continue;
            if (head.isWord("INSERT") && !insertTail && !values && (tok.isWord("SELECT") || tok.isWord("EXEC") || tok.isWord("EXECUTE"))) {
                insertTail = true;
                continue;
            }
            if (head.isWord("UPDATE") && !updateSet && tok.isWord("SET")) {
                updateSet = true;
                continue;
            }
            if (tok.isWord("UPDATE") && p < t_.size() && t_[p].isWord("FOR")) continue;
            // ORDER BY ... OFFSET n ROWS FETCH NEXT m ROWS ONLY
            if (tok.isWord("FETCH") && p < t_.size() && (t_[p].isWord("ROWS") || t_[p].isWord("ROW"))) continue;
            return i;
        }
        return end;
    }

    // BEGIN ... END [word]: the statements up to the END, which is followed by closing when given.
    Node block(size_t& i, size_t from, size_t end, const char* closing) {
        Node n;
        n.kind = NodeKind::Block;
        size_t j = next(from);
        while (j < end && !t_[j].isWord("END")) {
            if (t_[j].isWord("ELSE")) syntaxAt(t_[j]);
            n.children.push_back(parseStatement(j, end));
            j = next(j);
        }
        if (j >= end) syntaxNear(closing ? QString::fromLatin1(closing) : QStringLiteral("BEGIN"));
        i = j + 1;
        if (closing) {
            const size_t k = next(i);
            if (k >= end || !t_[k].isWord(closing)) syntaxAt(t_[j]);
            i = k + 1;
        }
        return n;
    }

    Node parseStatement(size_t& i, size_t end) {
        const Token& first = t_[i];
        Node n;
        if (first.isPunct(";")) {
            ++i;
            return n;
        }
        if (isLabel(i, end)) {
            n.kind = NodeKind::Label;
            n.target = first.value();
            i = next(i + 1) + 1;
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
            if (k < end && t_[k].isWord("TRY")) return tryCatch(i, k, end);
            if (k < end && t_[k].isWord("CATCH")) syntaxAt(t_[k]);
            return block(i, k, end, nullptr);
        }
        if (first.isWord("IF") || first.isWord("WHILE")) {
            n.kind = first.isWord("IF") ? NodeKind::If : NodeKind::While;
            const size_t c = statementEnd(i, end);
            n.tokens = slice(t_, i + 1, c);
            if (!meaningfulIn(n.tokens) || c >= end) syntaxAt(first);
            size_t j = next(c);
            if (t_[j].isWord("END") || t_[j].isWord("ELSE")) syntaxAt(t_[j]);
            n.children.push_back(parseStatement(j, end));
            const size_t e = next(j);
            if (n.kind == NodeKind::If && e < end && t_[e].isWord("ELSE")) {
                j = next(e + 1);
                if (j >= end) syntaxAt(t_[e]);
                n.children.push_back(parseStatement(j, end));
            }
            i = j;
            return n;
        }
        if (first.isWord("DECLARE")) {
            const size_t k = next(i + 1);
            if (k < end && t_[k].isName()) return cursor(i, k, end);
        }
        const size_t e = statementEnd(i, end);
        const std::vector<Token> whole = slice(t_, i, e);
        i = e;
        const std::vector<Token> words = meaningful(whole);
        auto only = [&](size_t count) {
            if (words.size() > count) syntaxAt(words[count]);
            if (words.size() < count) syntaxAt(words.back());
        };
        if (first.isWord("DECLARE")) return declare(whole);
        if (first.isWord("SET")) return set(whole);
        if (first.isWord("SELECT")) return select(whole);
        if (first.isWord("RETURN")) {
            n.kind = NodeKind::Return;
            n.tokens = slice(whole, 1, whole.size());
            return n;
        }
        if (first.isWord("PRINT")) {
            if (words.size() < 2) syntaxAt(first);
            return n;
        }
        if (first.isWord("EXEC") || first.isWord("EXECUTE")) return exec(whole);
        if (first.isWord("COMMIT") || first.isWord("ROLLBACK")) {
            n.kind = NodeKind::Transaction;
            n.tokens = whole;
            return n;
        }
        if (first.isWord("BREAK") || first.isWord("CONTINUE")) {
            only(1);
            n.kind = first.isWord("BREAK") ? NodeKind::Break : NodeKind::Continue;
            return n;
        }
        if (first.isWord("GOTO")) {
            only(2);
            if (!words[1].isName()) syntaxAt(words[1]);
            n.kind = NodeKind::Goto;
            n.target = words[1].value();
            return n;
        }
        if (first.isWord("OPEN") || first.isWord("CLOSE") || first.isWord("DEALLOCATE")) {
            n.kind = first.isWord("OPEN") ? NodeKind::Open : first.isWord("CLOSE") ? NodeKind::Close : NodeKind::Deallocate;
            size_t k = 1;
            if (words.size() > 2 && words[1].isWord("GLOBAL")) ++k;
            only(k + 1);
            if (words[k].kind == TokenKind::Variable) outsideSubset(QStringLiteral("cursor variables"));
            if (!words[k].isName()) syntaxAt(words[k]);
            n.target = words[k].value();
            return n;
        }
        if (first.isWord("FETCH")) return fetch(words);
        if (first.isWord("RAISERROR")) return raiserror(words);
        if (first.isWord("THROW")) return throwNode(words);
        if (first.isWord("USE")) {
            raiseServerError(154, QStringLiteral("a USE database statement is not allowed in a procedure, function or trigger."));
        }
        if ((first.isWord("CREATE") || first.isWord("ALTER")) && words.size() > 1 &&
            (words[1].isWord("PROC") || words[1].isWord("PROCEDURE"))) {
            raiseServerError(111, QStringLiteral("'CREATE/ALTER PROCEDURE' must be the first statement in a query batch."));
        }
        if (first.isWord("INSERT") || first.isWord("UPDATE") || first.isWord("DELETE") || first.isWord("TRUNCATE") ||
            first.isWord("CREATE") || first.isWord("DROP") || first.isWord("ALTER")) {
            n.kind = NodeKind::Statement;
            n.tokens = whole;
            return n;
        }
        if (first.kind == TokenKind::Word && isStatementWord(first)) outsideSubset(first.text.toUpper());
        syntaxAt(first);
    }

    static std::vector<Token> meaningful(const std::vector<Token>& t) {
        std::vector<Token> out;
        for (const auto& x : t) {
            if (!x.isTrivia()) out.push_back(x);
        }
        return out;
    }

    Node tryCatch(size_t& i, size_t tryWord, size_t end) {
        Node n;
        n.kind = NodeKind::Try;
        size_t j = 0;
        n.children.push_back(block(j, tryWord + 1, end, "TRY"));
        const size_t b = next(j);
        const size_t c = next(b + 1);
        if (b >= end || !t_[b].isWord("BEGIN") || c >= end || !t_[c].isWord("CATCH")) {
            syntaxAt(b < end ? t_[b] : t_[tryWord]);
        }
        ++catches_;
        n.children.push_back(block(j, c + 1, end, "CATCH"));
        --catches_;
        i = j;
        return n;
    }

    // DECLARE name [INSENSITIVE] [SCROLL] CURSOR [options] FOR SELECT ... [FOR READ ONLY]
    Node cursor(size_t& i, size_t nameAt, size_t end) {
        Node n;
        n.kind = NodeKind::DeclareCursor;
        n.target = t_[nameAt].value();
        bool forwardOnly = false;
        bool isStatic = false;
        bool seenCursor = false;
        size_t k = next(nameAt + 1);
        for (; k < end && !t_[k].isWord("FOR"); k = next(k + 1)) {
            const Token& w = t_[k];
            if (w.isWord("CURSOR")) {
                seenCursor = true;
            } else if (w.isWord("SCROLL")) {
                n.scroll = true;
            } else if (w.isWord("INSENSITIVE") && !seenCursor) {
                isStatic = true;
            } else if (w.isWord("STATIC")) {
                isStatic = true;
            } else if (w.isWord("FORWARD_ONLY") || w.isWord("FAST_FORWARD")) {
                forwardOnly = true;
            } else if (w.isWord("GLOBAL")) {
                n.global = true;
            } else if (w.isWord("LOCAL") || w.isWord("READ_ONLY") || w.isWord("TYPE_WARNING")) {
            } else if (w.isWord("KEYSET") || w.isWord("DYNAMIC") || w.isWord("SCROLL_LOCKS") || w.isWord("OPTIMISTIC")) {
                outsideSubset(w.text.toUpper() + QStringLiteral(" cursors"));
            } else {
                syntaxAt(w);
            }
        }
        if (!seenCursor) syntaxAt(t_[nameAt]);
        if (forwardOnly && n.scroll) {
            raiseServerError(1048, QStringLiteral("Conflicting cursor options FORWARD_ONLY and SCROLL."));
        }
        // STATIC without FORWARD_ONLY makes a scrollable cursor.
        n.scroll = n.scroll || (isStatic && !forwardOnly);
        const size_t s = next(k + 1);
        if (k >= end || s >= end || !t_[s].isWord("SELECT")) syntaxAt(k < end ? (s < end ? t_[s] : t_[k]) : t_[nameAt]);
        const size_t e = statementEnd(s, end);
        n.tokens = slice(t_, s, e);
        i = e;
        // A closing FOR READ ONLY changes nothing; FOR UPDATE asks for positioned writes.
        const std::vector<Token> m = meaningful(n.tokens);
        for (size_t f = 0; f + 1 < m.size(); ++f) {
            if (!m[f].isWord("FOR")) continue;
            if (m[f + 1].isWord("UPDATE")) outsideSubset(QStringLiteral("cursors FOR UPDATE"));
            if (m[f + 1].isWord("READ")) {
                if (f + 3 != m.size() || !m[f + 2].isWord("ONLY")) syntaxAt(m[f + 1]);
                size_t cut = n.tokens.size();
                for (size_t c = 0; c < 3; ++c) {
                    do {
                        --cut;
                    } while (n.tokens[cut].isTrivia());
                }
                n.tokens.resize(cut);
            }
        }
        return n;
    }

    // FETCH [NEXT | PRIOR | FIRST | LAST | ABSOLUTE n | RELATIVE n] [FROM] [GLOBAL] name [INTO @a, ...]
    Node fetch(const std::vector<Token>& w) {
        Node n;
        n.kind = NodeKind::Fetch;
        n.fetch = QStringLiteral("NEXT");
        size_t k = 1;
        bool oriented = false;
        for (const char* o : {"NEXT", "PRIOR", "FIRST", "LAST", "ABSOLUTE", "RELATIVE"}) {
            if (k < w.size() && w[k].isWord(o)) {
                n.fetch = QString::fromLatin1(o);
                oriented = true;
                ++k;
                if (n.fetch == u"ABSOLUTE" || n.fetch == u"RELATIVE") {
                    if (k < w.size() && w[k].isPunct("-")) n.tokens.push_back(w[k++]);
                    if (k >= w.size() || (w[k].kind != TokenKind::Number && w[k].kind != TokenKind::Variable)) {
                        syntaxAt(w[k - 1]);
                    }
                    n.tokens.push_back(w[k++]);
                }
                break;
            }
        }
        if (k < w.size() && w[k].isWord("FROM")) {
            ++k;
        } else if (oriented) {
            syntaxAt(k < w.size() ? w[k] : w.back());
        }
        if (k < w.size() && w[k].isWord("GLOBAL") && k + 1 < w.size() && w[k + 1].isName()) ++k;
        if (k >= w.size()) syntaxAt(w.back());
        if (w[k].kind == TokenKind::Variable) outsideSubset(QStringLiteral("cursor variables"));
        if (!w[k].isName()) syntaxAt(w[k]);
        n.target = w[k++].value();
        if (k < w.size()) {
            if (!w[k].isWord("INTO")) syntaxAt(w[k]);
            ++k;
            while (true) {
                if (k >= w.size() || w[k].kind != TokenKind::Variable) syntaxAt(k < w.size() ? w[k] : w.back());
                n.into.push_back(w[k++].text);
                if (k >= w.size()) break;
                if (!w[k].isPunct(",")) syntaxAt(w[k]);
                ++k;
            }
        }
        return n;
    }

    // The parenthesised or bare list after a statement's word, split at its commas.
    static std::vector<ExecArgument> values(const std::vector<Token>& w, size_t from, size_t to) {
        std::vector<ExecArgument> out(1);
        int depth = 0;
        for (size_t k = from; k < to; ++k) {
            if (w[k].isPunct("(")) ++depth;
            if (w[k].isPunct(")")) --depth;
            if (depth == 0 && w[k].isPunct(",")) {
                if (out.back().value.empty()) syntaxAt(w[k]);
                out.emplace_back();
                continue;
            }
            out.back().value.push_back(w[k]);
        }
        if (out.back().value.empty()) syntaxAt(w[to - 1]);
        return out;
    }

    // RAISERROR (message, severity, state [, value ...]) [WITH option [, ...]]
    Node raiserror(const std::vector<Token>& w) {
        Node n;
        n.kind = NodeKind::Raiserror;
        if (w.size() < 2 || !w[1].isPunct("(")) syntaxAt(w.size() < 2 ? w[0] : w[1]);
        size_t close = 1;
        int depth = 0;
        for (; close < w.size(); ++close) {
            if (w[close].isPunct("(")) ++depth;
            if (w[close].isPunct(")") && --depth == 0) break;
        }
        if (close >= w.size() || close == 2) syntaxAt(w.back());
        n.arguments = values(w, 2, close);
        if (n.arguments.size() < 3) syntaxAt(w[close]);
        if (n.arguments.size() > 23) {
            raiseServerError(2748, QStringLiteral("Cannot specify more than 20 arguments to the raiserror system function."));
        }
        size_t k = close + 1;
        if (k < w.size()) {
            if (!w[k].isWord("WITH") || k + 1 >= w.size()) syntaxAt(w[k]);
            for (++k; k < w.size(); ++k) {
                if (w[k].isWord("NOWAIT") || w[k].isWord("SETERROR")) continue;
                if (w[k].isWord("LOG")) outsideSubset(QStringLiteral("RAISERROR ... WITH LOG"));
                if (w[k].isPunct(",") && k + 1 < w.size()) continue;
                syntaxAt(w[k]);
            }
        }
        return n;
    }

    // THROW [number, message, state]
    Node throwNode(const std::vector<Token>& w) {
        Node n;
        n.kind = NodeKind::Throw;
        if (w.size() == 1) {
            if (catches_ == 0) {
                raiseServerError(10704, QStringLiteral("To rethrow an error, a THROW statement must be used inside a CATCH block. "
                                                       "Insert the THROW statement inside a CATCH block, or add error parameters to "
                                                       "the THROW statement."));
            }
            return n;
        }
        n.arguments = values(w, 1, w.size());
        if (n.arguments.size() != 3) syntaxAt(w.back());
        return n;
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
        const auto items = splitTop(whole, 1);
        for (const auto& item : items) {
            size_t i = firstMeaningful(item);
            if (i >= item.size() || item[i].kind != TokenKind::Variable) {
                if (i < item.size()) syntaxAt(item[i]);
                syntaxNear(QStringLiteral("DECLARE"));
            }
            DeclaredVariable v;
            v.name = item[i].text;
            i = firstMeaningful(item, i + 1);
            if (i < item.size() && item[i].isWord("AS")) i = firstMeaningful(item, i + 1);
            if (i < item.size() && item[i].isWord("CURSOR")) outsideSubset(QStringLiteral("cursor variables"));
            if (i < item.size() && item[i].isWord("TABLE")) {
                // DECLARE @t TABLE (...) stands alone.
                if (items.size() > 1) syntaxAt(item[i]);
                const size_t open = firstMeaningful(item, i + 1);
                if (open >= item.size() || !item[open].isPunct("(")) syntaxAt(open < item.size() ? item[open] : item[i]);
                size_t e = item.size();
                while (e > open && item[e - 1].isTrivia()) --e;
                if (!item[e - 1].isPunct(")") || e - 1 == firstMeaningful(item, open + 1)) syntaxAt(item[e - 1]);
                n.kind = NodeKind::DeclareTable;
                n.target = v.name;
                n.tokens = slice(item, open, e);
                return n;
            }
            size_t j = i;
            while (j < item.size() && !item[j].isPunct("=")) ++j;
            v.typeText = joinTokens(item, i, j).simplified();
            if (v.typeText.isEmpty()) syntaxNear(v.name);
            if (j < item.size()) {
                v.init = slice(item, j + 1, item.size());
                if (!meaningfulIn(v.init)) syntaxAt(item[j]);
            }
            n.declared.push_back(v);
        }
        return n;
    }

    Node set(const std::vector<Token>& whole) {
        Node n;
        const size_t v = firstMeaningful(whole, 1);
        if (v >= whole.size()) syntaxAt(whole[0]);
        if (whole[v].kind != TokenKind::Variable) return n;  // SET NOCOUNT ON and the like
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
    int catches_ = 0;
};

// A line holding only GO is a batch separator to the client tools; the server receives it as
// a word it cannot place.
void refuseSeparatorLines(const std::vector<Token>& body) {
    bool lineStart = true;
    for (size_t i = 0; i < body.size(); ++i) {
        const Token& t = body[i];
        if (t.kind == TokenKind::Space) {
            if (t.text.contains(u'\n') || t.text.contains(u'\r')) lineStart = true;
            continue;
        }
        if (lineStart && t.isWord("GO")) {
            size_t k = i + 1;
            while (k < body.size() && body[k].kind == TokenKind::Space && !body[k].text.contains(u'\n') &&
                   !body[k].text.contains(u'\r')) {
                ++k;
            }
            if (k >= body.size() || body[k].kind == TokenKind::Space || body[k].kind == TokenKind::Comment) syntaxNear(t.text);
        }
        lineStart = false;
    }
}

}  // namespace

bool isStatementWord(const Token& t) {
    static const char* const words[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "SET",      "DECLARE",  "IF",        "ELSE",
                                        "BEGIN",  "END",    "RETURN", "PRINT",  "EXEC",     "EXECUTE",  "WHILE",     "COMMIT",
                                        "ROLLBACK", "CREATE", "DROP", "ALTER",  "TRUNCATE", "USE",      "BREAK",     "CONTINUE",
                                        "GOTO",   "RAISERROR", "WAITFOR", "OPEN", "CLOSE",  "FETCH",    "DEALLOCATE", "THROW"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

bool meaningfulIn(const std::vector<Token>& t) {
    for (const auto& x : t) {
        if (!x.isTrivia()) return true;
    }
    return false;
}

void syntaxNear(const QString& text) { raiseServerError(102, msg::syntaxNear(text)); }

void outsideSubset(const QString& what) {
    raiseServerError(50000, QStringLiteral("The embedded server does not run %1 in a procedure.").arg(what));
}

SqlType typeOf(const QString& typeText) {
    if (typeText.compare(QLatin1String("sysname"), Qt::CaseInsensitive) == 0) return SqlType::parse(QStringLiteral("nvarchar(128)"));
    return SqlType::parse(typeText);
}

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
    refuseSeparatorLines(def.body);
    auto program = std::make_shared<Program>();
    program->nodes = Parser(def.body).parseAll(0, def.body.size());
    layOut(*program);
    def.program = std::move(program);
    return def;
}

}  // namespace data::embedded::tsql
