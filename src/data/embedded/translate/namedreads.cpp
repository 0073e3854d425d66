#include "data/embedded/translate/namedreads.h"

#include <QSet>

#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {

// Words that end a FROM list at its own depth.
bool endsFromList(const Token& t) {
    static const char* const words[] = {"WHERE", "GROUP",  "HAVING",    "ORDER",    "LIMIT",
                                        "WINDOW", "UNION", "EXCEPT", "INTERSECT", "RETURNING"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return t.isPunct(";");
}

}  // namespace

std::vector<NamedObject> namedReads(const QString& sql) {
    std::vector<NamedObject> found;
    const std::vector<Token> t = tokenize(sql);
    const size_t first = nextAt(t, 0);
    if (!(wordAt(t, first, "SELECT") || wordAt(t, first, "WITH") || wordAt(t, first, "INSERT") ||
          wordAt(t, first, "UPDATE") || wordAt(t, first, "DELETE") || wordAt(t, first, "VALUES") ||
          wordAt(t, first, "REPLACE") || (first < t.size() && t[first].isPunct("(")))) {
        return found;
    }
    const Groups groups(t);
    QSet<QString> ctes;
    for (size_t i = 0; i < t.size(); ++i) {
        if (!t[i].isName()) continue;
        size_t j = nextAt(t, i + 1);
        if (j < t.size() && t[j].isPunct("(") && groups.close.contains(j)) j = nextAt(t, groups.close.value(j) + 1);
        if (wordAt(t, j, "AS")) {
            const size_t k = nextAt(t, j + 1);
            if (k < t.size() && t[k].isPunct("(")) ctes.insert(t[i].value().toLower());
        }
    }
    // One item of a FROM list starts at i: a dotted name (an object), or a parenthesised
    // subquery or join, whose own FROM lists the scan meets anyway.
    auto item = [&](size_t i) {
        i = nextAt(t, i);
        if (i >= t.size() || !t[i].isName() || endsFromList(t[i])) return;
        QStringList parts{t[i].value()};
        size_t j = nextAt(t, i + 1);
        while (j < t.size() && t[j].isPunct(".")) {
            const size_t k = nextAt(t, j + 1);
            if (k >= t.size() || !t[k].isName()) break;
            parts.push_back(t[k].value());
            j = nextAt(t, k + 1);
        }
        if (j < t.size() && t[j].isPunct("(")) return;  // a table function
        const QString object = parts.back();
        const QString schema = parts.size() >= 2 ? parts[parts.size() - 2].toLower() : QStringLiteral("main");
        if (schema == u"temp" || isLocalTempName(object)) return;
        if (parts.size() == 1 && ctes.contains(object.toLower())) return;
        for (const NamedObject& o : found) {
            if (o.database == schema && o.object.compare(object, Qt::CaseInsensitive) == 0) return;
        }
        found.push_back(NamedObject{schema, object});
    };
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].isWord("JOIN")) {
            item(i + 1);
            continue;
        }
        if (!t[i].isWord("FROM")) continue;
        const size_t before = prevAt(t, i);
        if (wordAt(t, before, "DELETE")) continue;  // its target: read only where its WHERE reads it
        if (wordAt(t, before, "DISTINCT")) continue;  // IS [NOT] DISTINCT FROM
        // The list runs to the first word that ends it at its own depth; its commas part items.
        item(i + 1);
        for (size_t k = i + 1; k < t.size() && groups.of[k] == groups.of[i]; ++k) {
            if (t[k].isPunct(",")) {
                item(k + 1);
            } else if (endsFromList(t[k])) {
                break;
            }
        }
    }
    return found;
}

}  // namespace data::embedded
