#include "data/embedded/translate/expressions.h"

#include <optional>

#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {

using Tokens = std::vector<Token>;

Token punct(const char* p) { return Token{TokenKind::Punct, QString::fromLatin1(p), false}; }
Token number(long n) { return Token{TokenKind::Number, QString::number(n), false}; }

void append(Tokens& out, const Tokens& more) { out.insert(out.end(), more.begin(), more.end()); }

// Words that are no operand: a name followed by "(" is a call, these followed by "(" are not.
bool isKeyword(const Token& t) {
    static const char* const words[] = {
        "SELECT", "FROM",  "WHERE",  "AND",    "OR",        "NOT",    "IS",       "IN",     "LIKE",  "BETWEEN",
        "EXISTS", "WHEN",  "THEN",   "ELSE",   "END",       "CASE",   "AS",       "ON",     "JOIN",  "INNER",
        "LEFT",   "RIGHT", "OUTER",  "CROSS",  "FULL",      "NATURAL", "USING",   "GROUP",  "BY",    "ORDER",
        "HAVING", "UNION", "ALL",    "ANY",    "SOME",      "DISTINCT", "TOP",    "PERCENT", "TIES", "SET",
        "VALUES", "INTO",  "INSERT", "UPDATE", "DELETE",    "LIMIT",  "OFFSET",   "ESCAPE", "COLLATE", "ASC",
        "DESC",   "INTERSECT", "EXCEPT", "WITH", "OVER",    "PARTITION", "DEFAULT", "OUTPUT", "APPLY", "GLOB",
        "REGEXP", "MATCH", "WINDOW", "OPTION"};
    if (t.kind != TokenKind::Word) return false;
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

bool isArithmetic(const Token& t) {
    return t.isPunct("+") || t.isPunct("-") || t.isPunct("*") || t.isPunct("/") || t.isPunct("%") || t.isPunct("||") ||
           t.isPunct("~");
}

// Words before "(SELECT" that make it a set of rows, not a value.
bool takesRows(const Token& t) {
    static const char* const words[] = {"IN",   "EXISTS", "ANY",       "SOME",   "ALL",  "FROM", "JOIN",
                                        "APPLY", "AS",    "UNION",     "INTERSECT", "EXCEPT", "INTO", "TABLE"};
    if (t.kind != TokenKind::Word) return false;
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}


// "+" with a number literal on either side: SQLite's addition is SQL Server's.
bool nextToNumber(const Tokens& t, size_t i) {
    const size_t p = prevAt(t, i);
    const size_t n = nextAt(t, i + 1);
    return (p < t.size() && t[p].kind == TokenKind::Number) || (n < t.size() && t[n].kind == TokenKind::Number);
}

// A number literal other than zero: a divisor that needs no check.
bool nonZeroNumber(const Token& t) { return t.kind == TokenKind::Number && t.text.toDouble() != 0.0; }

// Whether the statement holds anything the pass rewrites: one look at each token, so that the
// statements without such expressions pay nothing more.
bool worthParsing(const Tokens& t) {
    bool concat = false;
    bool arithmetic = false;
    for (size_t i = 0; i < t.size(); ++i) {
        const Token& k = t[i];
        if (k.kind == TokenKind::Punct) {
            if ((k.isPunct("/") || k.isPunct("%"))) {
                const size_t n = nextAt(t, i + 1);
                if (n >= t.size() || !nonZeroNumber(t[n])) return true;
                arithmetic = true;
            }
            if (k.isPunct("+")) {
                if (!nextToNumber(t, i)) return true;
                arithmetic = true;
            } else if (k.isPunct("||")) {
                concat = true;
            } else if (k.isPunct("*") || k.isPunct("-")) {
                arithmetic = true;
            } else if (k.isPunct("(") && wordAt(t, nextAt(t, i + 1), "SELECT")) {
                const size_t p = prevAt(t, i);
                if (p >= t.size() || !takesRows(t[p])) return true;
            }
        } else if ((k.isWord("CAST") || k.isWord("CONVERT")) && nextAt(t, i + 1) < t.size() &&
                   t[nextAt(t, i + 1)].isPunct("(")) {
            return true;
        }
    }
    return concat && arithmetic;
}

bool castable(SqlType::Kind k) {
    using K = SqlType::Kind;
    switch (k) {
        case K::Numeric:
        case K::Money:
        case K::SmallMoney:
        case K::Int:
        case K::SmallInt:
        case K::TinyInt:
        case K::BigInt:
        case K::Bit:
        case K::Float:
        case K::Real:
        case K::DateTime:
        case K::SmallDateTime:
        case K::Char:
        case K::VarChar:
        case K::NChar:
        case K::NVarChar:
            return true;
        default:
            return false;
    }
}

class Rewriter {
public:
    explicit Rewriter(const Tokens& t) : t_(t), groups_(t) {}

    // The rewritten tokens of [b, e); top: the statement itself, not a group inside it.
    Tokens range(size_t b, size_t e, bool top);

private:
    enum class Kind { Trivia, Operand, Operator, Other };
    struct Item {
        size_t begin = 0;
        size_t end = 0;
        Kind kind = Kind::Other;
        Tokens out;
        size_t subquery = kTop;  // the "(" of a group that starts with SELECT
    };
    // A factor: unary signs and one operand, as positions [first, last] among the meaningful items.
    struct Factor {
        size_t first;
        size_t last;
    };
    struct Term {
        std::vector<Factor> factors;
        std::vector<size_t> ops;  // the operator before each factor after the first
    };
    struct Chain {
        std::vector<Term> terms;
        std::vector<size_t> ops;  // the operator before each term after the first
        size_t end = 0;           // the meaningful position after the chain
    };

    size_t closeOf(size_t open, size_t e) const {
        const size_t c = groups_.close.value(open, kTop);
        return c < e ? c : kTop;
    }
    Item item(size_t i, size_t e);
    Tokens call(size_t name, size_t open, size_t close);
    std::optional<Tokens> cast(size_t open, size_t close, bool convert);
    bool scalar(const std::vector<Item>& items, size_t at, bool top) const;
    bool mayReturnRows(size_t open) const;
    Tokens checkedSubquery(const Item& group) const;
    Tokens chains(const std::vector<Item>& items);

    // Chain parsing over the meaningful items m.
    const Token& op(const std::vector<Item>& items, const std::vector<size_t>& m, size_t p) const {
        return t_[items[m[p]].begin];
    }
    std::optional<Factor> factor(const std::vector<Item>& items, const std::vector<size_t>& m, size_t p) const;
    std::optional<Term> term(const std::vector<Item>& items, const std::vector<size_t>& m, size_t p) const;
    std::optional<Chain> chain(const std::vector<Item>& items, const std::vector<size_t>& m, size_t p) const;
    Tokens join(const std::vector<Item>& items, size_t from, size_t to) const;  // items [from, to]
    Tokens termOut(const std::vector<Item>& items, const std::vector<size_t>& m, const Term& term) const;
    Tokens chainOut(const std::vector<Item>& items, const std::vector<size_t>& m, const Chain& c) const;
    bool needsAdd(const std::vector<Item>& items, const std::vector<size_t>& m, size_t p) const {
        return op(items, m, p).isPunct("+") && !nextToNumber(t_, items[m[p]].begin);
    }

    static constexpr int kDeepest = 200;
    const Tokens& t_;
    Groups groups_;
    int depth_ = 0;
};

Rewriter::Item Rewriter::item(size_t i, size_t e) {
    const Token& k = t_[i];
    Item it;
    it.begin = i;
    it.end = i + 1;
    if (k.isTrivia()) {
        it.kind = Kind::Trivia;
        it.out = {k};
        return it;
    }
    if (k.isPunct("(")) {
        const size_t c = closeOf(i, e);
        if (c == kTop) {
            it.out = {k};
            return it;
        }
        it.kind = Kind::Operand;
        it.end = c + 1;
        it.out = {k};
        append(it.out, range(i + 1, c, false));
        it.out.push_back(t_[c]);
        if (wordAt(t_, nextAt(t_, i + 1), "SELECT")) it.subquery = i;
        return it;
    }
    if (k.isWord("CASE")) {
        int nested = 0;
        for (size_t j = i + 1; j < e; ++j) {
            if (groups_.of[j] != groups_.of[i]) continue;
            if (t_[j].isWord("CASE")) ++nested;
            if (!t_[j].isWord("END")) continue;
            if (nested-- > 0) continue;
            it.kind = Kind::Operand;
            it.end = j + 1;
            it.out = {k};
            append(it.out, range(i + 1, j, false));
            it.out.push_back(t_[j]);
            return it;
        }
        it.out = {k};
        return it;
    }
    const size_t n = nextAt(t_, i + 1);
    const bool called = n < e && t_[n].isPunct("(") && closeOf(n, e) != kTop;
    // The name after COLLATE is no operand.
    if (k.isName() && !wordAt(t_, prevAt(t_, i), "COLLATE") && !(isKeyword(k) && !(called && (k.isWord("LEFT") || k.isWord("RIGHT"))))) {
        it.kind = Kind::Operand;
        size_t j = i + 1;
        while (j + 1 < e && t_[j].isPunct(".") && (t_[j + 1].isName() || t_[j + 1].isPunct("*"))) j += 2;
        const size_t open = nextAt(t_, j);
        if (open < e && t_[open].isPunct("(") && closeOf(open, e) != kTop) {
            const size_t close = closeOf(open, e);
            it.end = close + 1;
            if (j == i + 1) {
                it.out = call(i, open, close);
            } else {
                it.out.assign(t_.begin() + static_cast<long>(i), t_.begin() + static_cast<long>(open + 1));
                append(it.out, range(open + 1, close, false));
                it.out.push_back(t_[close]);
            }
            return it;
        }
        it.end = j;
        it.out.assign(t_.begin() + static_cast<long>(i), t_.begin() + static_cast<long>(j));
        return it;
    }
    it.out = {k};
    if (k.kind == TokenKind::Number || k.kind == TokenKind::String || k.kind == TokenKind::Variable ||
        k.kind == TokenKind::Parameter) {
        it.kind = Kind::Operand;
    } else if (isArithmetic(k)) {
        it.kind = Kind::Operator;
    }
    return it;
}

// A function call name(...): CAST and CONVERT of the types SQL Server converts otherwise than
// SQLite become tsql_cast; any other call keeps its text, its arguments rewritten.
Tokens Rewriter::call(size_t name, size_t open, size_t close) {
    if (t_[name].isWord("CAST") || t_[name].isWord("CONVERT")) {
        if (auto c = cast(open, close, t_[name].isWord("CONVERT"))) return *c;
    }
    Tokens out(t_.begin() + static_cast<long>(name), t_.begin() + static_cast<long>(open + 1));
    append(out, range(open + 1, close, false));
    out.push_back(t_[close]);
    return out;
}

std::optional<Tokens> Rewriter::cast(size_t open, size_t close, bool convert) {
    // CAST(value AS type) or CONVERT(type, value); CONVERT with a style is left as it is.
    size_t split = kTop;
    size_t second = kTop;
    for (size_t j = open + 1; j < close; ++j) {
        if (groups_.of[j] != open) continue;
        if (convert && t_[j].isPunct(",")) {
            if (split == kTop) {
                split = j;
            } else if (second == kTop) {
                second = j;
            }
        }
        if (!convert && t_[j].isWord("AS")) split = j;
    }
    if (split == kTop || second != kTop) return std::nullopt;
    const size_t typeBegin = convert ? open + 1 : split + 1;
    const size_t typeEnd = convert ? split : close;
    QString typeText;
    for (size_t j = typeBegin; j < typeEnd; ++j) typeText += t_[j].isName() ? t_[j].value() : t_[j].text;
    const SqlType type = SqlType::parse(typeText);
    if (!castable(type.kind)) return std::nullopt;
    size_t b = nextAt(t_, convert ? split + 1 : open + 1);
    const size_t e = prevAt(t_, convert ? close : split) + 1;
    if (b >= e) return std::nullopt;
    const bool character = type.isText();
    long size = type.kind == SqlType::Kind::Numeric ? type.precision : type.length;
    if (character && size == 0) size = 30;  // SQL Server's length when none is given
    Tokens out{word(QStringLiteral("tsql_cast")), punct("(")};
    append(out, range(b, e, false));
    // No text literal among the arguments: the statement's shape lifts every text literal.
    for (const Token& a : {number(static_cast<long>(type.kind)), number(size), number(type.scale)}) {
        out.push_back(punct(","));
        out.push_back(space());
        out.push_back(a);
    }
    out.push_back(punct(")"));
    return out;
}

// Whether the group at items[at] is a subquery used as a value: not the rows of IN, EXISTS,
// ANY / SOME / ALL, a derived table, a member of a UNION or a common table.
bool Rewriter::scalar(const std::vector<Item>& items, size_t at, bool top) const {
    size_t p = at;
    while (p > 0 && items[p - 1].kind == Kind::Trivia) --p;
    size_t n = at + 1;
    while (n < items.size() && items[n].kind == Kind::Trivia) ++n;
    if (n < items.size() && isSetWord(t_[items[n].begin])) return false;
    if (p == 0) return !top;
    const Item& before = items[p - 1];
    if (before.kind == Kind::Operand) return false;
    const Token& b = t_[before.begin];
    if (takesRows(b)) return false;
    if (b.isPunct(",")) {
        // A comma of a FROM list joins a derived table.
        for (size_t k = p - 1; k-- > 0;) {
            const Token& w = t_[items[k].begin];
            if (w.isWord("FROM") || w.isWord("JOIN") || w.isWord("ON")) return false;
            if (w.isWord("SELECT") || w.isWord("WHERE") || w.isWord("SET") || w.isWord("VALUES") ||
                w.isWord("HAVING") || w.isWord("BY") || w.isWord("WHEN") || w.isWord("THEN") || w.isWord("ELSE")) {
                break;
            }
        }
    }
    return true;
}

// Whether the subquery opened at open may return more than one row: not without FROM, not with
// TOP 1 or LIMIT 1, not an aggregate without GROUP BY.
bool Rewriter::mayReturnRows(size_t open) const {
    const size_t close = groups_.close.value(open);
    bool from = false;
    bool grouped = false;
    bool compound = false;
    bool one = false;
    bool aggregate = false;
    auto isOne = [&](size_t j) {
        j = nextAt(t_, j + 1);
        if (j < close && t_[j].isPunct("(")) j = nextAt(t_, j + 1);
        return j < close && t_[j].kind == TokenKind::Number && t_[j].text == u"1";
    };
    for (size_t j = open + 1; j < close; ++j) {
        if (groups_.of[j] != open || t_[j].kind != TokenKind::Word) continue;
        const Token& w = t_[j];
        if (w.isWord("FROM")) from = true;
        if (w.isWord("GROUP")) grouped = true;
        if (isSetWord(w)) compound = true;
        if ((w.isWord("TOP") || w.isWord("LIMIT")) && isOne(j)) one = true;
        if (!from && (w.isWord("COUNT") || w.isWord("SUM") || w.isWord("MIN") || w.isWord("MAX") || w.isWord("AVG") ||
                      w.isWord("COUNT_BIG") || w.isWord("STDEV") || w.isWord("STDEVP") || w.isWord("VAR") ||
                      w.isWord("VARP"))) {
            const size_t n = nextAt(t_, j + 1);
            aggregate = aggregate || (n < close && t_[n].isPunct("("));
        }
    }
    if (compound) return true;
    return from && !one && !(aggregate && !grouped);
}

// "(SELECT ...)" as "(SELECT * FROM (SELECT ... LIMIT 2) GROUP BY NULL HAVING ...)": the one
// row's value with its type and origin, NULL without a row, error 512 on a second row.
Tokens Rewriter::checkedSubquery(const Item& group) const {
    const size_t open = group.subquery;
    const size_t close = groups_.close.value(open);
    bool limited = false;
    for (size_t j = open + 1; j < close; ++j) {
        limited = limited || (groups_.of[j] == open && (t_[j].isWord("TOP") || t_[j].isWord("LIMIT")));
    }
    Tokens out = tokenize(QStringLiteral("(SELECT * FROM "));
    append(out, group.out);  // "(" ... ")"
    if (!limited) out.insert(out.end() - 1, {space(), word(QStringLiteral("LIMIT")), space(), number(2)});
    append(out, tokenize(QStringLiteral(" GROUP BY NULL HAVING CASE WHEN count(*) > 1 THEN tsql_raise(512) ELSE 1 END)")));
    return out;
}

Tokens Rewriter::range(size_t b, size_t e, bool top) {
    // Nesting deeper than any statement a program writes is left as written: the stack stays
    // small on any thread.
    if (depth_ > kDeepest) return Tokens(t_.begin() + static_cast<long>(b), t_.begin() + static_cast<long>(e));
    ++depth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{depth_};
    std::vector<Item> items;
    for (size_t i = b; i < e;) {
        items.push_back(item(i, e));
        i = items.back().end;
    }
    for (size_t k = 0; k < items.size(); ++k) {
        if (items[k].subquery != kTop && scalar(items, k, top) && mayReturnRows(items[k].subquery)) {
            items[k].out = checkedSubquery(items[k]);
        }
    }
    return chains(items);
}

std::optional<Rewriter::Factor> Rewriter::factor(const std::vector<Item>& items, const std::vector<size_t>& m,
                                                 size_t p) const {
    const size_t first = p;
    while (p < m.size() && items[m[p]].kind == Kind::Operator &&
           (op(items, m, p).isPunct("-") || op(items, m, p).isPunct("+") || op(items, m, p).isPunct("~"))) {
        ++p;
    }
    if (p >= m.size() || items[m[p]].kind != Kind::Operand) return std::nullopt;
    return Factor{first, p};
}

std::optional<Rewriter::Term> Rewriter::term(const std::vector<Item>& items, const std::vector<size_t>& m,
                                             size_t p) const {
    auto f = factor(items, m, p);
    if (!f) return std::nullopt;
    Term t;
    t.factors.push_back(*f);
    for (p = f->last + 1; p < m.size() && items[m[p]].kind == Kind::Operator; p = f->last + 1) {
        const Token& o = op(items, m, p);
        if (!o.isPunct("*") && !o.isPunct("/") && !o.isPunct("%")) break;
        f = factor(items, m, p + 1);
        if (!f) break;
        t.ops.push_back(p);
        t.factors.push_back(*f);
    }
    return t;
}

std::optional<Rewriter::Chain> Rewriter::chain(const std::vector<Item>& items, const std::vector<size_t>& m,
                                               size_t p) const {
    auto t = term(items, m, p);
    if (!t) return std::nullopt;
    Chain c;
    c.terms.push_back(*t);
    for (p = t->factors.back().last + 1; p < m.size() && items[m[p]].kind == Kind::Operator;
         p = t->factors.back().last + 1) {
        const Token& o = op(items, m, p);
        if (!o.isPunct("+") && !o.isPunct("-") && !o.isPunct("||")) break;
        t = term(items, m, p + 1);
        if (!t) break;
        c.ops.push_back(p);
        c.terms.push_back(*t);
    }
    c.end = c.terms.back().factors.back().last + 1;
    return c;
}

Tokens Rewriter::join(const std::vector<Item>& items, size_t from, size_t to) const {
    Tokens out;
    for (size_t k = from; k <= to; ++k) append(out, items[k].out);
    return out;
}

Tokens Rewriter::termOut(const std::vector<Item>& items, const std::vector<size_t>& m, const Term& term) const {
    Tokens out = join(items, m[term.factors[0].first], m[term.factors[0].last]);
    for (size_t k = 1; k < term.factors.size(); ++k) {
        const Factor& f = term.factors[k];
        append(out, join(items, m[term.factors[k - 1].last] + 1, m[f.first] - 1));
        Tokens value = join(items, m[f.first], m[f.last]);
        if (op(items, m, term.ops[k - 1]).isPunct("*") || (f.first == f.last && nonZeroNumber(t_[items[m[f.first]].begin]))) {
            append(out, value);
        } else {
            out.push_back(word(QStringLiteral("tsql_divisor")));
            out.push_back(punct("("));
            append(out, value);
            out.push_back(punct(")"));
        }
    }
    return out;
}

Tokens Rewriter::chainOut(const std::vector<Item>& items, const std::vector<size_t>& m, const Chain& c) const {
    bool add = false;
    bool concat = false;
    bool multiplied = c.terms[0].factors.size() > 1;
    bool additiveBeforeConcat = false;
    bool additive = false;
    for (size_t k = 0; k < c.ops.size(); ++k) {
        const Token& o = op(items, m, c.ops[k]);
        add = add || needsAdd(items, m, c.ops[k]);
        multiplied = multiplied || c.terms[k + 1].factors.size() > 1;
        if (o.isPunct("||")) {
            concat = true;
            additiveBeforeConcat = additiveBeforeConcat || additive;
        } else {
            additive = true;
        }
    }
    if (!add && !(concat && (multiplied || additiveBeforeConcat))) {
        // Only divisors to check: the chain keeps its text around them.
        Tokens out = termOut(items, m, c.terms[0]);
        for (size_t k = 0; k < c.ops.size(); ++k) {
            append(out, join(items, m[c.terms[k].factors.back().last] + 1, m[c.terms[k + 1].factors.front().first] - 1));
            append(out, termOut(items, m, c.terms[k + 1]));
        }
        return out;
    }
    // Built again left to right. Precedence of what acc holds in SQLite: 0 an operand or call,
    // 1 a product, 2 a sum or difference, 3 a "||".
    auto parenthesized = [](Tokens v) {
        v.insert(v.begin(), punct("("));
        v.push_back(punct(")"));
        return v;
    };
    Tokens acc = termOut(items, m, c.terms[0]);
    int level = c.terms[0].factors.size() > 1 ? 1 : 0;
    for (size_t k = 0; k < c.ops.size(); ++k) {
        const Token& o = op(items, m, c.ops[k]);
        Tokens value = termOut(items, m, c.terms[k + 1]);
        const bool product = c.terms[k + 1].factors.size() > 1;
        if (needsAdd(items, m, c.ops[k])) {
            Tokens next{word(QStringLiteral("tsql_add")), punct("(")};
            append(next, acc);
            next.push_back(punct(","));
            next.push_back(space());
            append(next, value);
            next.push_back(punct(")"));
            acc = std::move(next);
            level = 0;
        } else if (o.isPunct("||")) {
            if (level == 1 || level == 2) acc = parenthesized(std::move(acc));
            acc.insert(acc.end(), {space(), o, space()});
            append(acc, product ? parenthesized(std::move(value)) : value);
            level = 3;
        } else {
            acc.insert(acc.end(), {space(), o, space()});
            append(acc, value);
            level = 2;
        }
    }
    return acc;
}

Tokens Rewriter::chains(const std::vector<Item>& items) {
    std::vector<size_t> m;
    for (size_t k = 0; k < items.size(); ++k) {
        if (items[k].kind != Kind::Trivia) m.push_back(k);
    }
    Tokens out;
    size_t done = 0;  // items up to here are in out
    for (size_t p = 0; p < m.size();) {
        const Kind kind = items[m[p]].kind;
        std::optional<Chain> c;
        if (kind == Kind::Operand || kind == Kind::Operator) c = chain(items, m, p);
        if (!c) {
            ++p;
            continue;
        }
        bool plain = true;
        for (const Term& t : c->terms) plain = plain && t.factors.size() == 1;
        if (!(plain && c->ops.empty())) {
            for (; done < m[p]; ++done) append(out, items[done].out);
            append(out, chainOut(items, m, *c));
            done = m[c->end - 1] + 1;
        }
        p = c->end;
    }
    for (; done < items.size(); ++done) append(out, items[done].out);
    return out;
}

}  // namespace

std::vector<Token> sqlServerExpressions(std::vector<Token> statement) {
    const size_t head = nextAt(statement, 0);
    const bool computes = wordAt(statement, head, "SELECT") || wordAt(statement, head, "WITH") ||
                          wordAt(statement, head, "INSERT") || wordAt(statement, head, "UPDATE") ||
                          wordAt(statement, head, "DELETE") || (head < statement.size() && statement[head].isPunct("("));
    if (!computes || !worthParsing(statement)) return statement;
    Rewriter r(statement);
    return r.range(0, statement.size(), true);
}

}  // namespace data::embedded
