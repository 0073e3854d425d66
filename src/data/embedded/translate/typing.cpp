#include "data/embedded/translate/typing.h"

#include <algorithm>

#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {

using Tokens = std::vector<Token>;
using K = SqlType::Kind;

enum class Cat { Unknown, Text, Integer, Exact, Float, Date };

struct Ty {
    Cat cat = Cat::Unknown;
    K kind = K::Unknown;
    int precision = 0;
    int scale = 0;
    bool literal = false;  // a literal or lifted literal: converted once, not row by row

    bool isMoney() const { return cat == Cat::Exact && (kind == K::Money || kind == K::SmallMoney); }
};

Ty typeOf(const SqlType& t) {
    Ty ty;
    ty.kind = t.kind;
    switch (t.kind) {
        case K::Char:
        case K::VarChar:
        case K::Text:
        case K::NChar:
        case K::NVarChar:
        case K::NText:
            ty.cat = Cat::Text;
            break;
        case K::Bit:
            ty = Ty{Cat::Integer, t.kind, 1, 0, false};
            break;
        case K::TinyInt:
            ty = Ty{Cat::Integer, t.kind, 3, 0, false};
            break;
        case K::SmallInt:
            ty = Ty{Cat::Integer, t.kind, 5, 0, false};
            break;
        case K::Int:
            ty = Ty{Cat::Integer, t.kind, 10, 0, false};
            break;
        case K::BigInt:
            ty = Ty{Cat::Integer, t.kind, 19, 0, false};
            break;
        case K::Money:
            ty = Ty{Cat::Exact, t.kind, 19, 4, false};
            break;
        case K::SmallMoney:
            ty = Ty{Cat::Exact, t.kind, 10, 4, false};
            break;
        case K::Numeric:
            ty = Ty{Cat::Exact, t.kind, t.precision > 0 ? t.precision : 18, t.scale, false};
            break;
        case K::Float:
        case K::Real:
            ty.cat = Cat::Float;
            break;
        case K::DateTime:
        case K::SmallDateTime:
            ty.cat = Cat::Date;
            break;
        default:
            break;
    }
    return ty;
}

Ty ofKind(K kind, int precision = 0, int scale = 0) {
    SqlType t;
    t.kind = kind;
    t.precision = precision;
    t.scale = scale;
    return typeOf(t);
}

// The higher of two types by SQL Server's precedence (datetime, float, decimal, money,
// bigint, int, smallint, tinyint, bit, then the character types).
int rank(const Ty& t) {
    switch (t.cat) {
        case Cat::Date:
            return 100;
        case Cat::Float:
            return 90;
        case Cat::Exact:
            return t.kind == K::Numeric ? 80 : t.kind == K::Money ? 75 : 74;
        case Cat::Integer:
            return t.kind == K::BigInt ? 60 : t.kind == K::Int ? 59 : t.kind == K::SmallInt ? 58 : t.kind == K::TinyInt ? 57 : 56;
        case Cat::Text:
            return 10;
        case Cat::Unknown:
            break;
    }
    return 0;
}

Ty numberLiteral(const QString& text) {
    Ty ty;
    ty.literal = true;
    if (text.contains(u'e') || text.contains(u'E')) {
        ty.cat = Cat::Float;
        ty.kind = K::Float;
        return ty;
    }
    const qsizetype dot = text.indexOf(u'.');
    if (dot < 0) {
        bool ok = false;
        const qint64 v = text.toLongLong(&ok);
        if (ok && v <= 2147483647) {
            ty = ofKind(K::Int);
        } else {
            ty = Ty{Cat::Exact, K::Numeric, std::min<int>(38, static_cast<int>(text.size())), 0, false};
        }
        ty.literal = true;
        return ty;
    }
    QString digits = text;
    digits.remove(u'.');
    while (digits.size() > 1 && digits.startsWith(u'0')) digits.remove(0, 1);
    const int scale = static_cast<int>(text.size() - dot - 1);
    ty = Ty{Cat::Exact, K::Numeric, std::min(38, std::max<int>(scale, static_cast<int>(digits.size()))), scale, true};
    return ty;
}

// Precision and scale past 38 digits lose scale first, keeping at least 6 decimals.
Ty exact(int precision, int scale) {
    if (precision > 38) {
        scale = std::max(std::min(scale, 6), scale - (precision - 38));
        precision = 38;
    }
    return Ty{Cat::Exact, K::Numeric, precision, scale, false};
}

Ty asExact(const Ty& t) {
    if (t.cat == Cat::Integer) return Ty{Cat::Exact, K::Numeric, t.precision, 0, false};
    return t;
}

// Words that are no column or function name of an expression.
bool isKeyword(const Token& t) {
    static const char* const words[] = {
        "SELECT", "FROM",   "WHERE",  "AND",    "OR",        "NOT",     "IS",       "IN",      "LIKE",    "BETWEEN",
        "EXISTS", "WHEN",   "THEN",   "ELSE",   "END",       "CASE",    "AS",       "ON",      "JOIN",    "INNER",
        "LEFT",   "RIGHT",  "OUTER",  "CROSS",  "FULL",      "NATURAL", "USING",    "GROUP",   "BY",      "ORDER",
        "HAVING", "UNION",  "ALL",    "ANY",    "SOME",      "DISTINCT", "SET",     "VALUES",  "INTO",    "INSERT",
        "UPDATE", "DELETE", "LIMIT",  "OFFSET", "ESCAPE",    "COLLATE", "ASC",      "DESC",    "INTERSECT", "EXCEPT",
        "WITH",   "OVER",   "PARTITION", "DEFAULT", "GLOB",  "REGEXP",  "MATCH",    "WINDOW",  "NULL",    "CAST",
        "TABLE", "VIEW",   "CREATE", "RECURSIVE", "ROWS",    "RANGE",    "FILTER",  "INDEXED", "CONFLICT",
        "DO",     "NOTHING", "ABORT", "FAIL",   "IGNORE",    "ROLLBACK", "CURRENT_TIMESTAMP"};
    return isAnyWord(t, words);
}

bool isComparison(const Token& t) {
    return t.isPunct("=") || t.isPunct("==") || t.isPunct("<>") || t.isPunct("!=") || t.isPunct("<") ||
           t.isPunct("<=") || t.isPunct(">") || t.isPunct(">=");
}

Token punct(const char* p) { return Token{TokenKind::Punct, QString::fromLatin1(p), false}; }
Token number(long n) { return Token{TokenKind::Number, QString::number(n), false}; }

void append(Tokens& out, const Tokens& more) { out.insert(out.end(), more.begin(), more.end()); }

// fn(inner, extra...) around the meaningful tokens of inner, its leading and trailing blanks
// kept outside.
Tokens call(const char* fn, const Tokens& inner, const std::vector<long>& extra = {}) {
    size_t b = 0;
    while (b < inner.size() && inner[b].isTrivia()) ++b;
    size_t e = inner.size();
    while (e > b && inner[e - 1].isTrivia()) --e;
    Tokens out(inner.begin(), inner.begin() + static_cast<long>(b));
    out.push_back(word(QString::fromLatin1(fn)));
    out.push_back(punct("("));
    out.insert(out.end(), inner.begin() + static_cast<long>(b), inner.begin() + static_cast<long>(e));
    for (long x : extra) {
        out.push_back(punct(","));
        out.push_back(space());
        out.push_back(number(x));
    }
    out.push_back(punct(")"));
    out.insert(out.end(), inner.begin() + static_cast<long>(e), inner.end());
    return out;
}

struct Expr {
    Tokens out;
    Ty ty;
};

// A run of tokens up to a stop: its text, and its type when it is one expression alone.
struct Seq {
    Tokens out;
    Tokens tail;  // the comma after a list member
    Ty ty;
    int expressions = 0;
    bool other = false;  // holds a token that is no part of an expression
    bool single() const { return expressions == 1 && !other; }
};

// A result term of a SELECT: where its value lies in the output, and its type.
struct Term {
    size_t begin = 0;
    size_t end = 0;
    Ty ty;
    int expressions = 0;
};

struct Source {
    QString table;
    QString alias;
    ColumnTypes columns;
};

class Typer {
public:
    Typer(const Tokens& t, const ColumnLookup& lookup) : t_(t), groups_(t) { collectSources(lookup); }

    Tokens run() {
        Seq s = sequence(t_.size(), false);
        return std::move(s.out);
    }
    bool changed() const { return changed_; }

private:
    void collectSources(const ColumnLookup& lookup);
    Ty column(const QString& qualifier, const QString& name) const;

    size_t peek(size_t end) const {
        size_t j = i_;
        while (j < end && t_[j].isTrivia()) ++j;
        return j;
    }
    // Copies the tokens up to j (blanks before an operator) into out.
    void take(Tokens& out, size_t j) {
        for (; i_ < j; ++i_) out.push_back(t_[i_]);
    }
    bool startsExpression(const Token& k) const {
        if (k.kind == TokenKind::Number || k.kind == TokenKind::String || k.kind == TokenKind::Parameter ||
            k.kind == TokenKind::Variable || k.kind == TokenKind::QuotedName) {
            return true;
        }
        if (k.kind == TokenKind::Word) return !isKeyword(k) || k.isWord("CASE") || k.isWord("NULL") || k.isWord("CAST");
        return k.isPunct("(") || k.isPunct("-") || k.isPunct("+") || k.isPunct("~");
    }

    Seq sequence(size_t end, bool caseWords, bool commas = false);
    std::vector<Seq> list(size_t close);
    Expr comparison(size_t end);
    Expr additive(size_t end);
    Expr multiplicative(size_t end);
    Expr unary(size_t end);
    Expr primary(size_t end);
    Expr group(size_t open);
    Expr caseExpression(size_t end);
    // name(...): head holds the name and any blanks before the "(".
    Expr functionCall(const Token& name, const Tokens& head, size_t open);

    Expr arithmetic(Expr a, const Tokens& op, Expr b);
    // Converts the lower of two compared operands to the other's type.
    void compare(Tokens& a, Ty& at, Tokens& b, Ty& bt);
    Tokens converted(const Tokens& value, const Ty& from, const Ty& to);
    void unifyMembers(Tokens& out, const std::vector<std::vector<Term>>& members);
    // Every value of a list converted to the highest type among them.
    void unify(std::vector<Tokens*>& values, std::vector<Ty>& types, Ty& result);

    const Tokens& t_;
    Groups groups_;
    size_t i_ = 0;
    std::vector<Source> sources_;
    bool changed_ = false;
    int depth_ = 0;
};

void Typer::collectSources(const ColumnLookup& lookup) {
    auto readSource = [&](size_t i) -> size_t {
        i = nextAt(t_, i);
        if (i >= t_.size()) return i;
        if (t_[i].isPunct("(")) {
            const size_t c = groups_.close.value(i, kTop);
            return c == kTop ? t_.size() : c + 1;  // a derived table: its columns are not typed
        }
        if (!t_[i].isName() || isKeyword(t_[i])) return i;
        QString schema;
        QString table = t_[i].value();
        size_t j = i + 1;
        if (j + 1 < t_.size() && t_[j].isPunct(".") && t_[j + 1].isName()) {
            schema = table;
            table = t_[j + 1].value();
            j += 2;
        }
        Source s;
        s.table = table;
        size_t a = nextAt(t_, j);
        if (wordAt(t_, a, "AS")) a = nextAt(t_, a + 1);
        if (a < t_.size() && t_[a].isName() && !isKeyword(t_[a])) {
            s.alias = t_[a].value();
            j = a + 1;
        }
        if (lookup(schema, table, s.columns)) sources_.push_back(std::move(s));
        return j;
    };
    for (size_t i = 0; i < t_.size(); ++i) {
        const Token& k = t_[i];
        if (!(k.isWord("FROM") || k.isWord("JOIN") || k.isWord("UPDATE") || k.isWord("INTO"))) continue;
        size_t j = readSource(i + 1);
        // A FROM list: "FROM a x, b y".
        while (k.isWord("FROM") && nextAt(t_, j) < t_.size() && t_[nextAt(t_, j)].isPunct(",") &&
               groups_.of[nextAt(t_, j)] == groups_.of[i]) {
            j = readSource(nextAt(t_, j) + 1);
        }
    }
}

Ty Typer::column(const QString& qualifier, const QString& name) const {
    Ty found;
    bool any = false;
    for (const Source& s : sources_) {
        if (!qualifier.isEmpty() && qualifier.compare(s.alias, Qt::CaseInsensitive) != 0 &&
            !(s.alias.isEmpty() && qualifier.compare(s.table, Qt::CaseInsensitive) == 0)) {
            continue;
        }
        for (const auto& [col, type] : s.columns) {
            if (col.compare(name, Qt::CaseInsensitive) != 0) continue;
            const Ty t = typeOf(type);
            // A name that more than one table holds, with other types: not typed (the
            // statement's scopes decide which it is).
            if (any && (t.cat != found.cat || t.kind != found.kind || t.scale != found.scale)) return Ty{};
            found = t;
            any = true;
        }
    }
    return found;
}

Seq Typer::sequence(size_t end, bool caseWords, bool commas) {
    Seq s;
    bool inSet = false;
    // The result terms of each SELECT at this level, for a compound's members.
    std::vector<std::vector<Term>> members;
    bool inList = false;
    bool compound = false;
    if (++depth_ > 150) {
        // Deeper than any statement a program writes: left as it is.
        take(s.out, end);
        s.other = true;
        --depth_;
        return s;
    }
    while (i_ < end) {
        const Token& k = t_[i_];
        if (k.isTrivia()) {
            s.out.push_back(k);
            ++i_;
            continue;
        }
        if (caseWords && (k.isWord("WHEN") || k.isWord("THEN") || k.isWord("ELSE") || k.isWord("END"))) break;
        // Groups are read whole by the expressions, so a comma here is one of this list.
        if (commas && k.isPunct(",")) break;
        if (k.isWord("SET")) inSet = true;
        if (k.isWord("WHERE") || k.isWord("FROM")) inSet = false;
        if (inSet && k.isName() && !isKeyword(k)) {
            // An UPDATE's assignment target: no operand of a comparison.
            size_t j = i_ + 1;
            while (j + 1 < end && t_[j].isPunct(".") && t_[j + 1].isName()) j += 2;
            const size_t eq = nextAt(t_, j);
            if (eq < end && t_[eq].isPunct("=")) {
                take(s.out, eq + 1);
                s.other = true;
                continue;
            }
        }
        if (startsExpression(k)) {
            const size_t begin = s.out.size();
            Expr e = comparison(end);
            append(s.out, e.out);
            s.ty = e.ty;
            ++s.expressions;
            // The first expression of a result term is its value; what follows is its alias.
            if (inList && !members.empty() && members.back().back().expressions++ == 0) {
                members.back().back() = Term{begin, s.out.size(), e.ty, 1};
            }
            continue;
        }
        if (k.isWord("SELECT")) {
            members.emplace_back(1, Term{});
            inList = true;
        } else if (inList && k.isPunct(",")) {
            members.back().push_back(Term{});
        } else if (isSetWord(k)) {
            compound = true;
            inList = false;
        } else if (k.isWord("FROM") || k.isWord("WHERE") || k.isWord("GROUP") || k.isWord("ORDER") ||
                   k.isWord("HAVING") || k.isWord("LIMIT") || k.isWord("INTO") || k.isWord("WINDOW")) {
            inList = false;
        }
        s.out.push_back(k);
        ++i_;
        s.other = true;
    }
    if (compound && members.size() > 1) unifyMembers(s.out, members);
    --depth_;
    return s;
}

void Typer::unifyMembers(Tokens& out, const std::vector<std::vector<Term>>& members) {
    // Each column of a UNION, INTERSECT or EXCEPT takes the highest type among its members.
    std::vector<std::pair<const Term*, Ty>> wraps;
    for (size_t c = 0; c < members[0].size(); ++c) {
        std::vector<Ty> types;
        for (const auto& m : members) {
            if (m.size() != members[0].size()) return;
            types.push_back(m[c].ty);
        }
        Ty result;
        bool known = true;
        for (const Ty& t : types) {
            if (t.cat == Cat::Unknown && !t.literal) known = false;
            if (rank(t) > rank(result)) result = t;
        }
        if (!known || result.cat == Cat::Unknown || result.cat == Cat::Text) continue;
        for (const auto& m : members) {
            if (m[c].ty.cat == Cat::Text) wraps.emplace_back(&m[c], result);
        }
    }
    // From the last, so that the places of the earlier ones hold.
    std::sort(wraps.begin(), wraps.end(), [](const auto& a, const auto& b) { return a.first->begin > b.first->begin; });
    for (const auto& [term, to] : wraps) {
        const Tokens value(out.begin() + static_cast<long>(term->begin), out.begin() + static_cast<long>(term->end));
        const Tokens conv = converted(value, term->ty, to);
        out.erase(out.begin() + static_cast<long>(term->begin), out.begin() + static_cast<long>(term->end));
        out.insert(out.begin() + static_cast<long>(term->begin), conv.begin(), conv.end());
    }
}

std::vector<Seq> Typer::list(size_t close) {
    std::vector<Seq> items;
    while (i_ < close) {
        items.push_back(sequence(close, false, true));
        if (i_ < close && t_[i_].isPunct(",")) {
            items.back().tail.push_back(t_[i_]);
            ++i_;
            if (i_ >= close) items.push_back(Seq{});
        }
    }
    return items;
}

Expr Typer::comparison(size_t end) {
    Expr left = additive(end);
    size_t j = peek(end);
    if (j >= end) return left;
    if (isComparison(t_[j])) {
        Tokens op;
        take(op, j + 1);
        Expr right = additive(end);
        compare(left.out, left.ty, right.out, right.ty);
        append(left.out, op);
        append(left.out, right.out);
        left.ty = Ty{};
        return left;
    }
    Tokens op;
    size_t k = j;
    if (t_[k].isWord("NOT")) k = nextAt(t_, k + 1);
    if (k < end && t_[k].isWord("BETWEEN")) {
        take(op, k + 1);
        Expr low = additive(end);
        const size_t a = peek(end);
        if (a >= end || !t_[a].isWord("AND")) {
            append(left.out, op);
            append(left.out, low.out);
            return left;
        }
        Tokens andWord;
        take(andWord, a + 1);
        Expr high = additive(end);
        Ty lt = left.ty;
        compare(left.out, left.ty, low.out, low.ty);
        compare(left.out, lt, high.out, high.ty);
        append(left.out, op);
        append(left.out, low.out);
        append(left.out, andWord);
        append(left.out, high.out);
        left.ty = Ty{};
        return left;
    }
    if (k < end && t_[k].isWord("IN")) {
        const size_t open = nextAt(t_, k + 1);
        if (open >= end || !t_[open].isPunct("(") || wordAt(t_, nextAt(t_, open + 1), "SELECT") ||
            wordAt(t_, nextAt(t_, open + 1), "WITH")) {
            return left;
        }
        const size_t close = groups_.close.value(open, kTop);
        if (close == kTop || close >= end) return left;
        take(op, open + 1);
        std::vector<Seq> items = list(close);
        Ty lt = left.ty;
        for (Seq& item : items) {
            if (!item.single()) continue;
            Ty it = item.ty;
            Ty l = lt;
            Tokens probe = left.out;
            compare(probe, l, item.out, it);
            // The left side converted for one member is converted for all (the same call).
            if (probe.size() != left.out.size()) left.out = std::move(probe);
        }
        append(left.out, op);
        for (const Seq& item : items) {
            append(left.out, item.out);
            append(left.out, item.tail);
        }
        left.out.push_back(t_[close]);
        i_ = close + 1;
        left.ty = Ty{};
        return left;
    }
    return left;
}

Expr Typer::additive(size_t end) {
    Expr left = multiplicative(end);
    for (;;) {
        const size_t j = peek(end);
        if (j >= end || !(t_[j].isPunct("+") || t_[j].isPunct("-") || t_[j].isPunct("||"))) return left;
        Tokens op;
        take(op, j + 1);
        Expr right = multiplicative(end);
        left = arithmetic(std::move(left), op, std::move(right));
    }
}

Expr Typer::multiplicative(size_t end) {
    Expr left = unary(end);
    for (;;) {
        const size_t j = peek(end);
        if (j >= end || !(t_[j].isPunct("*") || t_[j].isPunct("/") || t_[j].isPunct("%"))) return left;
        Tokens op;
        take(op, j + 1);
        Expr right = unary(end);
        left = arithmetic(std::move(left), op, std::move(right));
    }
}

Expr Typer::unary(size_t end) {
    Expr e;
    size_t j = peek(end);
    while (j < end && (t_[j].isPunct("-") || t_[j].isPunct("+") || t_[j].isPunct("~"))) {
        take(e.out, j + 1);
        j = peek(end);
    }
    Expr p = primary(end);
    append(e.out, p.out);
    e.ty = p.ty;
    // COLLATE keeps its operand's type.
    j = peek(end);
    if (j < end && t_[j].isWord("COLLATE")) {
        const size_t n = nextAt(t_, j + 1);
        take(e.out, std::min(n + 1, end));
    }
    return e;
}

Expr Typer::primary(size_t end) {
    Expr e;
    size_t j = peek(end);
    take(e.out, j);
    if (j >= end) return e;
    const Token& k = t_[j];
    if (k.kind == TokenKind::Number) {
        e.out.push_back(k);
        e.ty = numberLiteral(k.text);
        ++i_;
        return e;
    }
    if (k.kind == TokenKind::String) {
        e.out.push_back(k);
        e.ty = Ty{Cat::Text, K::VarChar, 0, 0, true};
        ++i_;
        return e;
    }
    if (k.kind == TokenKind::Parameter) {
        e.out.push_back(k);
        ++i_;
        // "?1": a text literal of the statement, lifted into a parameter.
        if (i_ < end && t_[i_].kind == TokenKind::Number) {
            e.out.push_back(t_[i_]);
            ++i_;
            e.ty = Ty{Cat::Text, K::VarChar, 0, 0, true};
        }
        return e;
    }
    if (k.isPunct("(")) return [&] {
        Expr g = group(j);
        g.out.insert(g.out.begin(), e.out.begin(), e.out.end());
        return g;
    }();
    if (k.isWord("CASE")) {
        Expr c = caseExpression(end);
        c.out.insert(c.out.begin(), e.out.begin(), e.out.end());
        return c;
    }
    if (k.isName() && (!isKeyword(k) || k.isWord("CAST"))) {
        size_t n = j + 1;
        QStringList parts{k.value()};
        while (n + 1 < end && t_[n].isPunct(".") && (t_[n + 1].isName() || t_[n + 1].isPunct("*"))) {
            parts << t_[n + 1].value();
            n += 2;
        }
        const size_t open = nextAt(t_, n);
        if (parts.size() == 1 && open < end && t_[open].isPunct("(") && groups_.close.value(open, kTop) < end) {
            Tokens head;
            take(head, open);
            Expr c = functionCall(k, head, open);
            append(e.out, c.out);
            e.ty = c.ty;
            return e;
        }
        take(e.out, n);
        e.ty = parts.size() >= 2 ? column(parts[parts.size() - 2], parts.back()) : column(QString(), parts.back());
        return e;
    }
    e.out.push_back(k);
    ++i_;
    e.ty.literal = k.isWord("NULL");
    return e;
}

Expr Typer::group(size_t open) {
    const size_t close = groups_.close.value(open, kTop);
    Expr e;
    if (close == kTop) {
        e.out.push_back(t_[open]);
        i_ = open + 1;
        return e;
    }
    e.out.push_back(t_[open]);
    i_ = open + 1;
    const bool query = wordAt(t_, nextAt(t_, open + 1), "SELECT") || wordAt(t_, nextAt(t_, open + 1), "WITH");
    Seq s = sequence(close, false);
    append(e.out, s.out);
    e.out.push_back(t_[close]);
    i_ = close + 1;
    if (!query && s.single()) e.ty = s.ty;
    e.ty.literal = e.ty.literal && !query;
    return e;
}

Expr Typer::caseExpression(size_t end) {
    Expr e;
    const size_t caseAt = peek(end);
    take(e.out, caseAt + 1);
    // The value a simple CASE compares, each WHEN and each result, kept apart until the types
    // of all of them are known.
    std::vector<Tokens> pieces;
    std::vector<int> roles;  // 0 value, 1 WHEN, 2 result, 3 keyword or blank
    std::vector<Ty> types;
    auto piece = [&](Tokens t, int role, Ty ty) {
        pieces.push_back(std::move(t));
        roles.push_back(role);
        types.push_back(ty);
    };
    size_t j = peek(end);
    if (j < end && !t_[j].isWord("WHEN")) {
        Seq v = sequence(end, true);
        piece(std::move(v.out), v.single() ? 0 : 3, v.ty);
    }
    for (;;) {
        j = peek(end);
        Tokens pre;
        take(pre, j);
        if (j >= end) {
            piece(std::move(pre), 3, Ty{});
            break;
        }
        const Token& w = t_[j];
        if (w.isWord("END")) {
            pre.push_back(w);
            ++i_;
            piece(std::move(pre), 3, Ty{});
            break;
        }
        if (!(w.isWord("WHEN") || w.isWord("THEN") || w.isWord("ELSE"))) {
            pre.push_back(w);  // not a CASE this pass reads: kept as written
            ++i_;
            piece(std::move(pre), 3, Ty{});
            continue;
        }
        pre.push_back(w);
        ++i_;
        piece(std::move(pre), 3, Ty{});
        Seq s = sequence(end, true);
        const int role = !s.single() ? 3 : w.isWord("WHEN") ? 1 : 2;
        piece(std::move(s.out), role, s.ty);
    }
    // A simple CASE: each WHEN value compared with the CASE value.
    if (!roles.empty() && roles[0] == 0) {
        for (size_t p = 1; p < pieces.size(); ++p) {
            if (roles[p] != 1) continue;
            Tokens value = pieces[0];
            Ty vt = types[0];
            compare(value, vt, pieces[p], types[p]);
            if (value.size() != pieces[0].size()) pieces[0] = std::move(value);
        }
    }
    std::vector<Tokens*> results;
    std::vector<Ty> resultTypes;
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (roles[p] != 2) continue;
        results.push_back(&pieces[p]);
        resultTypes.push_back(types[p]);
    }
    unify(results, resultTypes, e.ty);
    for (const Tokens& p : pieces) append(e.out, p);
    return e;
}

Expr Typer::functionCall(const Token& name, const Tokens& head, size_t open) {
    const size_t close = groups_.close.value(open);
    Expr e;
    e.out.push_back(t_[open]);
    i_ = open + 1;
    std::vector<Seq> args = list(close);
    i_ = close + 1;
    auto argType = [&](size_t a) { return a < args.size() && args[a].expressions >= 1 ? args[a].ty : Ty{}; };
    auto body = [&]() {
        Tokens out{t_[open]};
        for (const Seq& a : args) {
            append(out, a.out);
            append(out, a.tail);
        }
        out.push_back(t_[close]);
        return out;
    };
    const QString fn = name.value().toLower();
    if (fn == u"tsql_cast" && args.size() == 4) {
        const auto kind = static_cast<K>(joinTokens(args[1].out).trimmed().toInt());
        const int size = joinTokens(args[2].out).trimmed().toInt();
        const int scale = joinTokens(args[3].out).trimmed().toInt();
        const Ty from = argType(0);
        e.ty = ofKind(kind, size, scale);
        if (e.ty.cat == Cat::Integer && from.cat == Cat::Float) {
            // A float beyond the integer type's range is its own error (232): the scale says
            // where the value comes from.
            args[3].out = Tokens{space(), Token{TokenKind::Number, QStringLiteral("-1"), false}};
            changed_ = true;
        }
        if (e.ty.cat == Cat::Integer && from.isMoney()) {
            // money to an integer type rounds; the other exact types truncate.
            args[0].out = call("round", args[0].out);
            changed_ = true;
        }
        e.out = body();
        e.out.insert(e.out.begin(), head.begin(), head.end());
        e.ty.literal = from.literal;
        return e;
    }
    if (fn == u"tsql_add" && args.size() == 2) {
        Expr r = arithmetic(Expr{Tokens{}, argType(0)}, Tokens{punct("+")}, Expr{Tokens{}, argType(1)});
        e.ty = argType(0).cat == Cat::Text && argType(1).cat == Cat::Text ? argType(0) : r.ty;
        e.out = head;
        append(e.out, body());
        if (e.ty.cat == Cat::Exact && !r.out.empty()) {
            e.out = call("tsql_numeric", e.out, {e.ty.scale});
            changed_ = true;
        }
        return e;
    }
    if ((fn == u"ifnull" || fn == u"coalesce") && !args.empty()) {
        std::vector<Tokens*> values;
        std::vector<Ty> types;
        for (Seq& a : args) {
            if (!a.single()) return Expr{[&] { Tokens o = head; append(o, body()); return o; }(), Ty{}};
            values.push_back(&a.out);
            types.push_back(a.ty);
        }
        if (fn == u"ifnull" && values.size() == 2) {
            // ISNULL takes its first argument's type; a number in place of a NULL text is its text.
            const auto number = [](const Ty& t) { return t.cat == Cat::Integer || t.cat == Cat::Exact || t.cat == Cat::Float; };
            e.ty = types[0];
            e.ty.literal = false;
            if (types[0].cat == Cat::Text && number(types[1])) {
                *values[1] = call("tsql_cast", *values[1], {static_cast<long>(K::VarChar), 30, 0});
                changed_ = true;
            } else if (types[0].cat != Cat::Text && types[0].cat != Cat::Unknown && types[1].cat == Cat::Text) {
                *values[1] = converted(*values[1], types[1], types[0]);
            }
        } else {
            unify(values, types, e.ty);
        }
        e.out = head;
        append(e.out, body());
        return e;
    }
    e.out = head;
    append(e.out, body());
    const Ty a0 = argType(0);
    if (fn == u"avg" || fn == u"sum") {
        if (a0.cat == Cat::Integer) {
            e.ty = ofKind(a0.kind == K::BigInt ? K::BigInt : K::Int);
            if (fn == u"avg") {
                // SQL Server's avg of integers is their integer quotient.
                Tokens cast{word(QStringLiteral("CAST")), punct("(")};
                append(cast, e.out);
                append(cast, {space(), word(QStringLiteral("AS")), space(), word(QStringLiteral("INTEGER")), punct(")")});
                e.out = std::move(cast);
                changed_ = true;
            }
        } else if (a0.cat == Cat::Exact) {
            e.ty = a0.isMoney() ? ofKind(K::Money) : exact(38, fn == u"avg" ? std::max(6, a0.scale) : a0.scale);
            e.out = call("tsql_numeric", e.out, {e.ty.scale});
            changed_ = true;
        } else if (a0.cat == Cat::Float) {
            e.ty = ofKind(K::Float);
        }
        return e;
    }
    if (fn == u"min" || fn == u"max" || fn == u"abs" || fn == u"round" || fn == u"tsql_divisor" ||
        fn == u"tsql_numeric" || fn == u"ceiling" || fn == u"floor") {
        e.ty = a0;
        e.ty.literal = false;
    } else if (fn == u"count" || fn == u"count_big" || fn == u"len" || fn == u"length" || fn == u"instr") {
        e.ty = ofKind(fn == u"count_big" ? K::BigInt : K::Int);
    } else if (fn == u"upper" || fn == u"lower" || fn == u"ltrim" || fn == u"rtrim" || fn == u"trim" ||
               fn == u"substr" || fn == u"substring" || fn == u"replace" || fn == u"tsql_space") {
        e.ty = ofKind(K::VarChar);
    } else if (fn == u"getdate") {
        e.ty = ofKind(K::DateTime);
    }
    return e;
}

Expr Typer::arithmetic(Expr a, const Tokens& op, Expr b) {
    Expr r;
    const bool dry = a.out.empty() && b.out.empty();  // types only (a call's arguments)
    auto joined = [&] {
        Tokens out = a.out;
        append(out, op);
        append(out, b.out);
        return out;
    };
    const Token* o = nullptr;
    for (const Token& t : op) {
        if (!t.isTrivia()) o = &t;
    }
    if (!o) {
        r.out = joined();
        return r;
    }
    if (o->isPunct("||")) {
        // T-SQL has no "||": it is a "+" the translation took for a join of texts, which adds
        // when the other operand is a number.
        const auto number = [](const Ty& t) { return t.cat == Cat::Integer || t.cat == Cat::Exact || t.cat == Cat::Float; };
        if (dry || !((a.ty.cat == Cat::Text && number(b.ty)) || (b.ty.cat == Cat::Text && number(a.ty)))) {
            r.out = joined();
            if (a.ty.cat == Cat::Text && b.ty.cat == Cat::Text) r.ty = ofKind(K::VarChar);
            return r;
        }
        Tokens plus;
        for (const Token& t : op) plus.push_back(t.isPunct("||") ? punct("+") : t);
        return arithmetic(std::move(a), plus, std::move(b));
    }
    // A character operand of arithmetic on numbers is converted to the number's type.
    if (!dry && a.ty.cat == Cat::Text && (b.ty.cat == Cat::Integer || b.ty.cat == Cat::Exact || b.ty.cat == Cat::Float)) {
        a.out = converted(a.out, a.ty, b.ty);
        a.ty = b.ty;
        a.ty.literal = false;
    } else if (!dry && b.ty.cat == Cat::Text && (a.ty.cat == Cat::Integer || a.ty.cat == Cat::Exact || a.ty.cat == Cat::Float)) {
        b.out = converted(b.out, b.ty, a.ty);
        b.ty = a.ty;
        b.ty.literal = false;
    }
    r.out = joined();
    const Ty x = a.ty;
    const Ty y = b.ty;
    const auto numeric = [](const Ty& t) { return t.cat == Cat::Integer || t.cat == Cat::Exact || t.cat == Cat::Float; };
    if (!numeric(x) || !numeric(y)) return r;
    if (x.cat == Cat::Float || y.cat == Cat::Float) {
        r.ty = ofKind(K::Float);
        return r;
    }
    if (x.cat == Cat::Integer && y.cat == Cat::Integer) {
        r.ty = rank(x) >= rank(y) ? x : y;
        r.ty.literal = false;
        return r;
    }
    const bool modulo = o->isPunct("%");
    if ((x.isMoney() || x.cat == Cat::Integer) && (y.isMoney() || y.cat == Cat::Integer)) {
        r.ty = ofKind(x.kind == K::Money || y.kind == K::Money ? K::Money : K::SmallMoney);
    } else {
        const Ty p = asExact(x);
        const Ty q = asExact(y);
        const int p1 = p.precision, s1 = p.scale, p2 = q.precision, s2 = q.scale;
        if (o->isPunct("+") || o->isPunct("-")) {
            r.ty = exact(std::max(s1, s2) + std::max(p1 - s1, p2 - s2) + 1, std::max(s1, s2));
        } else if (o->isPunct("*")) {
            r.ty = exact(p1 + p2 + 1, s1 + s2);
        } else if (o->isPunct("/")) {
            const int s = std::max(6, s1 + p2 + 1);
            r.ty = exact(p1 - s1 + s2 + s, s);
        } else {
            r.ty = exact(std::min(p1 - s1, p2 - s2) + std::max(s1, s2), std::max(s1, s2));
        }
    }
    if (dry) {
        r.out = Tokens{punct("+")};  // marks a typed result for the caller
        return r;
    }
    changed_ = true;
    if (modulo) {
        // SQLite's "%" takes whole numbers: the exact remainder of the values as they are.
        Tokens args = a.out;
        args.push_back(punct(","));
        append(args, b.out);
        r.out = call("tsql_mod", args, {r.ty.scale});
    } else if (o->isPunct("/")) {
        // Whole amounts are stored as integers, which SQLite's "/" would divide as integers.
        Tokens real{word(QStringLiteral("CAST")), punct("(")};
        append(real, a.out);
        append(real, {space(), word(QStringLiteral("AS")), space(), word(QStringLiteral("REAL")), punct(")")});
        append(real, op);
        append(real, b.out);
        r.out = call("tsql_numeric", real, {r.ty.scale});
    } else {
        r.out = call("tsql_numeric", r.out, {r.ty.scale});
    }
    return r;
}

Tokens Typer::converted(const Tokens& value, const Ty& from, const Ty& to) {
    changed_ = true;
    long size = 0;
    long scale = 0;
    if (to.cat == Cat::Exact && to.kind == K::Numeric) {
        // A text compared with a decimal is read with every decimal it has.
        size = 38;
        scale = 16;
    }
    return call(from.literal ? "tsql_lit" : "tsql_cast", value, {static_cast<long>(to.kind), size, scale});
}

void Typer::compare(Tokens& a, Ty& at, Tokens& b, Ty& bt) {
    const auto convertible = [](const Ty& t) { return t.cat != Cat::Unknown && t.cat != Cat::Text; };
    if (at.cat == Cat::Text && convertible(bt)) {
        a = converted(a, at, bt);
        at = bt;
    } else if (bt.cat == Cat::Text && convertible(at)) {
        b = converted(b, bt, at);
        bt = at;
    }
}

void Typer::unify(std::vector<Tokens*>& values, std::vector<Ty>& types, Ty& result) {
    result = Ty{};
    bool known = !types.empty();
    for (const Ty& t : types) {
        if (t.cat == Cat::Unknown && !(t.literal)) known = false;
        if (rank(t) > rank(result)) result = t;
    }
    result.literal = false;
    if (!known || result.cat == Cat::Unknown || result.cat == Cat::Text) return;
    for (size_t k = 0; k < values.size(); ++k) {
        if (types[k].cat == Cat::Text) *values[k] = converted(*values[k], types[k], result);
    }
}

}  // namespace

QString typedStatement(const QString& sqliteText, const ColumnLookup& lookup) {
    const Tokens tokens = tokenize(sqliteText);
    Typer typer(tokens, lookup);
    const Tokens out = typer.run();
    if (!typer.changed()) return sqliteText;
    return joinTokens(out);
}

}  // namespace data::embedded
