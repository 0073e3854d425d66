// Statement shapes: which texts run as one prepared statement per shape, with their text
// literals as parameters, and which go to the server as written.

#include "data/adoconstants.h"
#include "data/embedded/translate/tokenops.h"
#include "data/odbc/odbc_internal.h"

namespace data::odbc {

namespace {

using embedded::Token;
using embedded::TokenKind;
using provider::Parameter;

bool startsStatement(const Token& t) {
    static const char* const words[] = {"INSERT", "UPDATE",  "DELETE",   "CREATE", "DROP",  "ALTER", "EXEC",
                                        "EXECUTE", "DECLARE", "SET",     "IF",     "BEGIN", "USE",   "PRINT",
                                        "TRUNCATE", "WHILE",  "RETURN",  "MERGE",  "GRANT", "DENY",  "REVOKE",
                                        "COMMIT",  "ROLLBACK", "SAVE",   "WAITFOR", "GOTO", "RAISERROR", "DBCC"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// SELECT ... INTO #name, at the statement's own level.
bool makesTemporaryTable(const std::vector<Token>& t) {
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].isPunct("(")) ++depth;
        if (t[i].isPunct(")")) --depth;
        if (depth != 0 || !t[i].isWord("INTO")) continue;
        const size_t n = embedded::nextAt(t, i + 1);
        if (n < t.size() && t[n].isName() && t[n].value().startsWith(u'#')) return true;
    }
    return false;
}

}  // namespace

bool isSingleStatement(const std::vector<Token>& t) {
    const size_t first = embedded::nextAt(t, 0);
    if (first >= t.size()) return false;
    const Token& head = t[first];
    if (!(head.isWord("SELECT") || head.isWord("INSERT") || head.isWord("UPDATE") || head.isWord("DELETE"))) {
        return false;
    }
    const bool insert = head.isWord("INSERT");
    int depth = 0;
    bool sourceSeen = false;  // an INSERT's VALUES list or SELECT
    for (size_t i = first + 1; i < t.size(); ++i) {
        const Token& tok = t[i];
        if (tok.isPunct("(")) ++depth;
        if (tok.isPunct(")")) --depth;
        if (depth != 0 || tok.isTrivia()) continue;
        if (tok.isPunct(";")) return embedded::nextAt(t, i + 1) >= t.size();
        if (startsStatement(tok)) {
            // "ON DELETE"/"ON UPDATE" cannot occur in these statements; SET belongs to UPDATE.
            if (tok.isWord("SET") && head.isWord("UPDATE")) continue;
            return false;
        }
        if (tok.isWord("VALUES") && insert) sourceSeen = true;
        if (!tok.isWord("SELECT")) continue;
        const size_t p = embedded::prevAt(t, i);
        const bool compound = p < t.size() && (embedded::isSetWord(t[p]) || t[p].isWord("ALL"));
        if (compound) continue;
        if (insert && !sourceSeen) {
            sourceSeen = true;
            continue;
        }
        return false;
    }
    return true;
}

bool isSingleStatement(const QString& text) { return isSingleStatement(embedded::tokenize(text)); }

bool runsPreparedWhole(const QString& text) {
    const std::vector<Token> tokens = embedded::tokenize(text);
    const size_t first = embedded::nextAt(tokens, 0);
    if (first >= tokens.size() || tokens[first].isWord("SELECT")) return false;
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::Parameter || t.unterminated) return false;
    }
    return isSingleStatement(tokens) && !makesTemporaryTable(tokens);
}

bool liftLiterals(const QString& text, QString& shape, std::vector<Parameter>& literals) {
    const std::vector<Token> tokens = embedded::tokenize(text);
    auto meaningful = [&](size_t i, int step) {
        for (auto k = static_cast<long>(i) + step; k >= 0 && k < static_cast<long>(tokens.size()); k += step) {
            if (!tokens[static_cast<size_t>(k)].isTrivia()) return static_cast<size_t>(k);
        }
        return tokens.size();
    };
    const size_t first = meaningful(static_cast<size_t>(-1), 1);
    if (first >= tokens.size()) return false;
    // Inside the server's call a temporary table made by the text would end with the call, and
    // the counts of several statements would merge: such texts go as written.
    if (!isSingleStatement(tokens) || makesTemporaryTable(tokens)) return false;
    shape.clear();
    literals.clear();
    int depth = 0;
    int valuesDepth = -1;  // the depth of a VALUES list, -1 outside one
    bool afterValues = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == TokenKind::Parameter || (t.kind == TokenKind::String && t.unterminated)) return false;
        if (t.isWord("VALUES")) afterValues = true;
        if (t.isPunct("(")) {
            ++depth;
            if (afterValues && valuesDepth < 0) valuesDepth = depth;
        } else if (t.isPunct(")")) {
            if (depth == valuesDepth) valuesDepth = -1;
            --depth;
        }
        if (t.kind != TokenKind::String) {
            shape += t.text;
            continue;
        }
        // A value only: never a name written as a text ('alias' = ..., AS 'alias').
        const size_t p = meaningful(i, -1);
        const size_t n = meaningful(i, 1);
        const Token* before = p < tokens.size() ? &tokens[p] : nullptr;
        const Token* after = n < tokens.size() ? &tokens[n] : nullptr;
        const bool comparison = before && (before->isPunct("=") || before->isPunct("<>") || before->isPunct("!=") ||
                                           before->isPunct("<") || before->isPunct(">") || before->isPunct("<=") ||
                                           before->isPunct(">=") || before->isWord("LIKE"));
        const bool inList = before && (before->isPunct("(") || before->isPunct(",")) &&
                            (valuesDepth == depth ||
                             [&] {
                                 // x IN ('a', 'b'): the list's opening parenthesis follows IN.
                                 size_t k = i;
                                 while (k < tokens.size()) {
                                     const size_t b = meaningful(k, -1);
                                     if (b >= tokens.size()) return false;
                                     if (tokens[b].isPunct("(")) {
                                         const size_t w = meaningful(b, -1);
                                         return w < tokens.size() && tokens[w].isWord("IN");
                                     }
                                     if (!(tokens[b].isPunct(",") || tokens[b].kind == TokenKind::String)) return false;
                                     k = b;
                                 }
                                 return false;
                             }());
        const bool named = after && (after->isPunct("=") || after->isWord("AS"));
        if (!(comparison || inList) || named) {
            shape += t.text;
            continue;
        }
        Parameter lit;
        lit.type = (t.text.startsWith(u'N') || t.text.startsWith(u'n')) ? ado::adVarWChar : ado::adVarChar;
        lit.value = t.value();
        // One declared size for every value of the shape, so that the server's prepared
        // statement serves every execution; a longer value goes as a long type.
        const long declared = lit.type == ado::adVarWChar ? 4000 : 8000;
        lit.size = std::max<long>(declared, static_cast<long>(lit.value.toString().size()));
        literals.push_back(lit);
        shape += u'?';
    }
    return !literals.empty();
}

}  // namespace data::odbc
