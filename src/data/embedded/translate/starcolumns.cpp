#include "data/embedded/translate/starcolumns.h"

#include <map>

#include "data/embedded/connection/errors.h"
#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {

const char* const kMark = "/*tsql_columns*/";

// Words after a FROM item that are no alias of it.
bool followsItem(const Token& t) {
    static const char* const words[] = {"ON",    "JOIN",   "INNER", "LEFT",  "RIGHT",     "FULL",   "CROSS",
                                        "OUTER", "NATURAL", "USING", "WHERE", "GROUP",     "HAVING", "ORDER",
                                        "LIMIT", "UNION",  "INTERSECT", "EXCEPT", "WINDOW", "OPTION", "INDEXED", "NOT"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

bool endsFrom(const Token& t) {
    static const char* const words[] = {"WHERE", "GROUP",     "HAVING", "ORDER",  "LIMIT",
                                        "UNION", "INTERSECT", "EXCEPT", "WINDOW", "OPTION"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

[[noreturn]] void refuse() {
    raiseServerError(50000, QStringLiteral("The embedded server does not expand a star over a parenthesized join, or "
                                           "over a FROM item without a name, where duplicate rows are removed; name "
                                           "the columns instead."));
}

// The names that refer to the FROM items of [from, end) at level g, in order (empty for an item
// without a name).
QStringList itemNames(const std::vector<Token>& t, const Groups& groups, size_t g, size_t from, size_t end) {
    QStringList names;
    bool expectItem = true;
    size_t k = nextAt(t, from + 1);
    auto alias = [&](size_t& at, QString& name) {
        if (wordAt(t, at, "AS")) at = nextAt(t, at + 1);
        if (at < end && t[at].isName() && !followsItem(t[at])) {
            name = t[at].text;
            at = nextAt(t, at + 1);
        }
    };
    while (k < end) {
        if (groups.of[k] != g) {
            ++k;
            continue;
        }
        if (!expectItem) {
            expectItem = t[k].isPunct(",") || t[k].isWord("JOIN");
            k = nextAt(t, k + 1);
            continue;
        }
        QString name;
        if (t[k].isPunct("(")) {
            const size_t inner = nextAt(t, k + 1);
            if (!wordAt(t, inner, "SELECT") && !wordAt(t, inner, "WITH") && !wordAt(t, inner, "VALUES")) refuse();
            k = nextAt(t, groups.close.value(k, end) + 1);
            alias(k, name);
        } else if (t[k].isName()) {
            size_t last = k;
            while (nextAt(t, last + 1) < end && t[nextAt(t, last + 1)].isPunct(".") &&
                   nextAt(t, nextAt(t, last + 1) + 1) < end && t[nextAt(t, nextAt(t, last + 1) + 1)].isName()) {
                last = nextAt(t, nextAt(t, last + 1) + 1);
            }
            name = t[last].text;
            k = nextAt(t, last + 1);
            alias(k, name);
        } else {
            k = nextAt(t, k + 1);
            continue;
        }
        names.push_back(name);
        expectItem = false;
    }
    return names;
}

}  // namespace

Token starMark() { return Token{TokenKind::Comment, QString::fromLatin1(kMark), false}; }

bool isStarMark(const Token& t) { return t.kind == TokenKind::Comment && t.text == QLatin1String(kMark); }

QString expandStars(const QString& sql, const std::function<QStringList(const QString&)>& columnsOf) {
    const std::vector<Token> t = tokenize(sql);
    const Groups groups(t);
    // The common table expressions of the statement, which its FROM clauses may name.
    QString prefix;
    if (const size_t w = nextAt(t, 0); wordAt(t, w, "WITH")) {
        for (size_t k = w + 1; k < t.size(); ++k) {
            if (groups.of[k] == kTop && t[k].isWord("SELECT")) {
                prefix = joinTokens(t, w, k);
                break;
            }
        }
    }
    std::map<size_t, std::pair<size_t, QString>> replaced;  // by first token: the last one and the text
    for (size_t m = 0; m < t.size(); ++m) {
        if (!isStarMark(t[m])) continue;
        const size_t star = prevAt(t, m);
        if (star >= t.size() || !t[star].isPunct("*")) continue;
        const size_t g = groups.of[star];
        const size_t levelEnd = g == kTop ? t.size() : groups.close.value(g, t.size());
        size_t first = star;
        QString qualifier;
        if (const size_t d = prevAt(t, star); d < t.size() && t[d].isPunct(".")) {
            first = prevAt(t, d);
            qualifier = t[first].text;
        }
        size_t from = levelEnd;
        for (size_t k = star + 1; k < levelEnd && from == levelEnd; ++k) {
            if (groups.of[k] == g && t[k].isWord("FROM")) from = k;
        }
        if (from == levelEnd) raiseServerError(263, QStringLiteral("Must specify table to select from."));
        size_t fromEnd = levelEnd;
        for (size_t k = from + 1; k < levelEnd && fromEnd == levelEnd; ++k) {
            if (groups.of[k] == g && endsFrom(t[k])) fromEnd = k;
        }
        const QString fromText = joinTokens(t, from, prevAt(t, fromEnd) + 1);
        const QStringList items = qualifier.isEmpty() ? itemNames(t, groups, g, from, fromEnd) : QStringList{qualifier};
        QStringList columns;
        auto add = [&](const QString& item, const QString& probe) {
            for (const QString& c : columnsOf(prefix + probe + fromText)) {
                columns.push_back((item.isEmpty() ? QString() : item + u'.') + quoteName(c) +
                                  QStringLiteral(" COLLATE TSQL_TEXT"));
            }
        };
        if (items.size() == 1 && items[0].isEmpty()) {
            add(QString(), QStringLiteral("SELECT * "));
        } else {
            for (const QString& item : items) {
                if (item.isEmpty()) refuse();
                add(item, QStringLiteral("SELECT ") + item + QStringLiteral(".* "));
            }
        }
        replaced.emplace(first, std::make_pair(m, columns.join(QStringLiteral(", "))));
    }
    QString out;
    out.reserve(sql.size() * 2);
    for (size_t k = 0; k < t.size(); ++k) {
        if (auto r = replaced.find(k); r != replaced.end()) {
            out += r->second.second;
            k = r->second.first;
            continue;
        }
        out += t[k].text;
    }
    return out;
}

}  // namespace data::embedded
