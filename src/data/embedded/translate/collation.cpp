#include "data/embedded/translate/collation.h"

#include <QHash>
#include <algorithm>
#include <set>

#include "data/embedded/translate/starcolumns.h"
#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {

const char* const kCollation = "TSQL_TEXT";

bool isComparison(const Token& t) {
    return t.isPunct("=") || t.isPunct("==") || t.isPunct("<>") || t.isPunct("!=") || t.isPunct("<") ||
           t.isPunct("<=") || t.isPunct(">") || t.isPunct(">=");
}

std::vector<Token> collateTokens() {
    return {space(), word(QStringLiteral("COLLATE")), space(), word(QString::fromLatin1(kCollation))};
}

void appendCollate(std::vector<Token>& out, size_t at) {
    const std::vector<Token> c = collateTokens();
    out.insert(out.begin() + static_cast<long>(at), c.begin(), c.end());
}

}  // namespace

std::vector<Token> collate(const std::vector<Token>& t, bool isUpdate) {
    std::vector<Token> out;
    out.reserve(t.size() + 16);
    int depth = 0;
    bool inSet = false;
    bool expectTarget = false;
    struct Order {
        int depth;
        long termStart;  // -1: no open term
        bool ordering;   // ORDER BY (a number names a result column there) rather than GROUP BY
    };
    std::vector<Order> orders;

    auto closeTerm = [&](Order& o) {
        if (o.termStart < 0) return;
        const auto start = static_cast<size_t>(o.termStart);
        o.termStart = -1;
        const size_t end = trimmedEnd(out, start);
        size_t meaningful = 0;
        bool number = false;
        for (size_t k = start; k < end; ++k) {
            if (out[k].isTrivia()) continue;
            ++meaningful;
            number = out[k].kind == TokenKind::Number;
        }
        // "ORDER BY 2" sorts by the second result column, which is a text as often as not.
        if (meaningful == 0 || (meaningful == 1 && number && !o.ordering)) return;
        appendCollate(out, end);
    };

    for (size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        Order* order = (!orders.empty() && orders.back().depth == depth) ? &orders.back() : nullptr;
        if (tok.isPunct("(")) {
            ++depth;
            out.push_back(tok);
            continue;
        }
        if (tok.isPunct(")")) {
            if (order) {
                closeTerm(*order);
                orders.pop_back();
            }
            --depth;
            out.push_back(tok);
            continue;
        }
        if (isUpdate && depth == 0) {
            if (tok.isWord("SET")) {
                inSet = true;
                expectTarget = true;
            } else if (tok.isWord("WHERE") || tok.isWord("FROM")) {
                inSet = false;
            } else if (inSet && tok.isPunct(",")) {
                expectTarget = true;
            }
        }
        if (order) {
            if (tok.isPunct(",")) {
                closeTerm(*order);
                out.push_back(tok);
                order->termStart = static_cast<long>(out.size());
                continue;
            }
            if (tok.isWord("ASC") || tok.isWord("DESC")) {
                closeTerm(*order);
                out.push_back(tok);
                continue;
            }
            if (tok.isWord("LIMIT") || tok.isWord("OFFSET") || tok.isWord("UNION") || tok.isWord("FOR") ||
                tok.isWord("OPTION") || tok.isWord("INTERSECT") || tok.isWord("EXCEPT") || tok.isWord("HAVING") ||
                tok.isWord("ORDER") || tok.isWord("WINDOW")) {
                closeTerm(*order);
                orders.pop_back();
                order = nullptr;
            }
        }
        if (tok.isWord("BY")) {
            const size_t p = prevAt(t, i);
            if (p < t.size() && (t[p].isWord("ORDER") || t[p].isWord("GROUP"))) {
                out.push_back(tok);
                orders.push_back(Order{depth, static_cast<long>(out.size()), t[p].isWord("ORDER")});
                continue;
            }
        }
        if (isComparison(tok)) {
            if (inSet && expectTarget && depth == 0 && tok.isPunct("=")) {
                expectTarget = false;
                out.push_back(tok);
                continue;
            }
            appendCollate(out, trimmedEnd(out, 0));
            out.push_back(space());
            out.push_back(tok);
            continue;
        }
        if (tok.isWord("IN") || tok.isWord("BETWEEN")) {
            size_t at = trimmedEnd(out, 0);
            const size_t p = prevAt(out, out.size());
            if (p < out.size() && out[p].isWord("NOT")) {
                at = p;
                while (at > 0 && out[at - 1].isTrivia()) --at;
            }
            appendCollate(out, at);
            out.push_back(space());
            out.push_back(tok);
            continue;
        }
        out.push_back(tok);
    }
    while (!orders.empty()) {
        closeTerm(orders.back());
        orders.pop_back();
    }
    return out;
}

namespace {

bool isSetOperator(const std::vector<Token>& t, size_t i) {
    return isSetWord(t[i]) && !(t[i].isWord("UNION") && wordAt(t, nextAt(t, i + 1), "ALL"));
}

bool endsSelectList(const Token& t) {
    static const char* const words[] = {"FROM",   "INTO",  "WHERE",  "GROUP",  "HAVING", "ORDER",
                                        "UNION",  "INTERSECT", "EXCEPT", "LIMIT", "OPTION", "WINDOW"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// Words that end an expression and are no alias.
bool endsExpression(const Token& t) {
    return t.isWord("END") || t.isWord("NULL") || t.isWord("CURRENT_TIMESTAMP") || t.isWord("CURRENT_DATE") ||
           t.isWord("CURRENT_TIME");
}

bool isOperand(const Token& t) {
    return (t.isName() && !endsSelectList(t)) || t.kind == TokenKind::Number || t.kind == TokenKind::String ||
           t.kind == TokenKind::Variable || t.kind == TokenKind::Parameter || t.isPunct(")");
}

// Where a result term [from, to) takes the collation: before its alias when it has one, after
// its expression otherwise. kTop for a star, which has no expression to take it.
size_t resultCollationAt(const std::vector<Token>& t, size_t from, size_t to) {
    size_t last = prevAt(t, to);
    if (last >= t.size() || last < from) return kTop;
    if (t[last].isPunct("*")) {
        const size_t p = prevAt(t, last);
        if (p >= t.size() || p < from || t[p].isPunct(".")) return kTop;
    }
    const size_t before = prevAt(t, last);
    const bool hasBefore = before < t.size() && before >= from;
    if ((t[last].isName() || t[last].kind == TokenKind::String) && hasBefore && !endsExpression(t[last])) {
        if (t[before].isWord("AS")) return prevAt(t, before) + 1;
        if (t[before].isWord("COLLATE")) return last + 1;
        if (!t[before].isPunct(".") && isOperand(t[before])) return before + 1;
    }
    return last + 1;
}

}  // namespace

std::vector<Token> collateResults(const std::vector<Token>& t, bool* markedStars) {
    const Groups groups(t);
    // Groups (by their "(", kTop for the statement) that hold a set operator removing duplicates.
    std::set<size_t> compound;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == TokenKind::Word && isSetOperator(t, i)) compound.insert(groups.of[i]);
    }
    // A parenthesized member of such a set: "(SELECT ...) UNION (SELECT ...)".
    auto memberOfCompound = [&](size_t g) {
        if (g == kTop || !compound.count(groups.of[g])) return false;
        const size_t p = prevAt(t, g);
        const size_t n = nextAt(t, groups.close.value(g, t.size()) + 1);
        return (p < t.size() && (isSetWord(t[p]) || t[p].isWord("ALL"))) ||
               (n < t.size() && t[n].kind == TokenKind::Word && isSetOperator(t, n)) || p >= t.size();
    };

    std::set<size_t> at;     // indices before which the collation goes
    std::set<size_t> stars;  // indices before which a star's mark goes
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].isWord("SELECT")) {
            size_t k = nextAt(t, i + 1);
            const bool distinct = wordAt(t, k, "DISTINCT");
            if (distinct || wordAt(t, k, "ALL")) k = nextAt(t, k + 1);
            const size_t g = groups.of[i];
            if (!distinct && !compound.count(g) && !memberOfCompound(g)) continue;
            const size_t close = g == kTop ? t.size() : groups.close.value(g, t.size());
            size_t term = k;
            for (; k <= close; ++k) {
                const bool end = k == close || (groups.of[k] == g && endsSelectList(t[k]));
                if (end || (groups.of[k] == g && t[k].isPunct(","))) {
                    const size_t where = resultCollationAt(t, term, k);
                    if (where != kTop) at.insert(where);
                    // A star has no expression to take it: marked for the columns it stands for.
                    const size_t last = prevAt(t, k);
                    if (where == kTop && last < t.size() && last >= term && t[last].isPunct("*")) stars.insert(last + 1);
                    term = k + 1;
                    if (end) break;
                }
            }
            continue;
        }
        if ((t[i].isWord("MIN") || t[i].isWord("MAX") || t[i].isWord("COUNT") || t[i].isWord("SUM") ||
             t[i].isWord("AVG")) &&
            nextAt(t, i + 1) < t.size() && t[nextAt(t, i + 1)].isPunct("(")) {
            const size_t open = nextAt(t, i + 1);
            const bool minMax = t[i].isWord("MIN") || t[i].isWord("MAX");
            if (!minMax && !wordAt(t, nextAt(t, open + 1), "DISTINCT")) continue;
            const size_t close = groups.close.value(open, kTop);
            if (close != kTop) at.insert(close);
            continue;
        }
        if (t[i].isWord("CASE")) {
            const size_t k = nextAt(t, i + 1);
            if (k >= t.size() || t[k].isWord("WHEN")) continue;
            // A simple CASE: its value ends at the first WHEN of its own level.
            int nested = 0;
            for (size_t j = k; j < t.size(); ++j) {
                if (groups.of[j] != groups.of[i]) continue;
                if (t[j].isWord("CASE")) ++nested;
                if (t[j].isWord("END") && nested > 0) --nested;
                if (t[j].isWord("WHEN") && nested == 0) {
                    at.insert(prevAt(t, j) + 1);
                    break;
                }
            }
        }
    }
    if (markedStars) *markedStars = !stars.empty();
    if (at.empty() && stars.empty()) return t;
    std::vector<Token> out;
    out.reserve(t.size() + at.size() * 4 + stars.size() * 2);
    const std::vector<Token> c = collateTokens();
    for (size_t i = 0; i <= t.size(); ++i) {
        if (stars.count(i)) out.insert(out.end(), {space(), starMark()});
        if (at.count(i)) out.insert(out.end(), c.begin(), c.end());
        if (i < t.size()) out.push_back(t[i]);
    }
    return out;
}

}  // namespace data::embedded
