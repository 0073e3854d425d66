#include "data/embedded/translate/joinedwrites.h"

#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {

// A dotted name from t[i]: its end (the next meaningful token), its text and its last part.
struct Dotted {
    size_t end = 0;
    QString text;
    QString last;
};

Dotted dottedAt(const std::vector<Token>& t, size_t i) {
    Dotted d;
    i = nextAt(t, i);
    if (i >= t.size() || !t[i].isName()) return d;
    d.text = t[i].text;
    d.last = t[i].value();
    size_t j = nextAt(t, i + 1);
    while (j < t.size() && t[j].isPunct(".")) {
        const size_t k = nextAt(t, j + 1);
        if (k >= t.size() || !t[k].isName()) break;
        d.text += u'.' + t[k].text;
        d.last = t[k].value();
        j = nextAt(t, k + 1);
    }
    d.end = j;
    return d;
}

// The first index from i on, at i's depth, of a word of words; t.size() when none.
size_t findAtDepth(const std::vector<Token>& t, size_t i, std::initializer_list<const char*> words) {
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i].isPunct("(")) ++depth;
        if (t[i].isPunct(")")) {
            if (depth == 0) return t.size();
            --depth;
        }
        if (depth != 0) continue;
        for (const char* w : words) {
            if (t[i].isWord(w)) return i;
        }
        if (t[i].isPunct(";")) return t.size();
    }
    return t.size();
}

bool clauseWord(const Token& t) {
    for (const char* w : {"ON", "USING", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "OUTER", "NATURAL", "WHERE"}) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// Where the FROM list [from, end) names target: as an alias (the table it stands for then) or
// as a table without one. Empty text when it does not.
QString tableOfTarget(const std::vector<Token>& t, size_t from, size_t end, const QString& target, bool& found) {
    found = false;
    int depth = 0;
    bool itemNext = true;
    for (size_t i = from; i < end; ++i) {
        if (t[i].isTrivia()) continue;
        if (t[i].isPunct("(")) ++depth;
        if (t[i].isPunct(")") && --depth == 0) itemNext = false;  // a subquery's alias follows
        if (depth != 0) continue;
        if (t[i].isPunct(",") || t[i].isWord("JOIN")) {
            itemNext = true;
            continue;
        }
        if (!itemNext || !t[i].isName() || clauseWord(t[i])) continue;
        itemNext = false;
        const Dotted table = dottedAt(t, i);
        size_t a = table.end;
        if (wordAt(t, a, "AS")) a = nextAt(t, a + 1);
        const bool aliased = a < end && t[a].isName() && !clauseWord(t[a]);
        const QString name = aliased ? t[a].value() : table.last;
        if (name.compare(target, Qt::CaseInsensitive) == 0) {
            found = true;
            return table.text;
        }
        i = (aliased ? a + 1 : table.end) - 1;
    }
    return {};
}

}  // namespace

std::vector<Token> joinedWrite(std::vector<Token> out, size_t head) {
    const bool update = out[head].isWord("UPDATE");
    size_t i = nextAt(out, head + 1);
    if (!update) {
        if (!wordAt(out, i, "FROM")) return out;
        i = nextAt(out, i + 1);
    }
    const Dotted target = dottedAt(out, i);
    if (target.text.isEmpty()) return out;
    size_t set = target.end;
    if (update) {
        if (!wordAt(out, set, "SET")) return out;
    }
    const size_t from = update ? findAtDepth(out, set + 1, {"FROM"}) : target.end;
    if (from >= out.size() || !out[from].isWord("FROM")) return out;
    const size_t where = findAtDepth(out, from + 1, {"WHERE"});
    // ORDER BY, LIMIT (TOP) and RETURNING keep the statement as it is.
    if (findAtDepth(out, from + 1, {"ORDER", "LIMIT", "RETURNING"}) < out.size()) return out;
    const size_t end = trimmedEnd(out, from);
    const size_t listEnd = std::min(where, end);
    bool found = false;
    const QString aliased = tableOfTarget(out, from + 1, listEnd, target.last, found);
    // An UPDATE whose FROM list leaves its target out is SQLite's own form already.
    if (update && !found) return out;
    const QString table = found ? aliased : target.text;
    const QString ref = target.text;
    QString list = joinTokens(out, from + 1, listEnd).trimmed();
    if (!found) list = table + QStringLiteral(", ") + list;
    const QString condition = where < end ? QStringLiteral(" ") + joinTokens(out, where, end).trimmed() : QString();
    QString sql;
    if (!update) {
        sql = QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT %2.rowid FROM %3%4)").arg(table, ref, list, condition);
    } else {
        // Each value is worked out beside the row key, in the FROM list's own names.
        QStringList sets;
        QStringList values;
        size_t start = nextAt(out, set + 1);
        int depth = 0;
        for (size_t k = start; k <= from; ++k) {
            const bool last = k == from;
            if (!last && out[k].isPunct("(")) ++depth;
            if (!last && out[k].isPunct(")")) --depth;
            if (!last && !(depth == 0 && out[k].isPunct(","))) continue;
            size_t eq = start;
            while (eq < k && !out[eq].isPunct("=")) ++eq;
            if (eq >= k) return out;
            const QString column = dottedAt(out, start).last;
            const QString value = joinTokens(out, eq + 1, k).trimmed();
            const QString name = QStringLiteral("\"__v%1\"").arg(values.size() + 1);
            values.push_back(QStringLiteral("(%1) AS %2").arg(value, name));
            sets.push_back(quoteName(column) + QStringLiteral(" = \"__joined\".") + name);
            start = nextAt(out, k + 1);
        }
        sql = QStringLiteral("UPDATE %1 SET %2 FROM (SELECT %3.rowid AS \"__rowkey\", %4 FROM %5%6) AS \"__joined\" WHERE "
                             "%1.rowid = \"__joined\".\"__rowkey\"")
                  .arg(table, sets.join(QStringLiteral(", ")), ref, values.join(QStringLiteral(", ")), list, condition);
    }
    std::vector<Token> rewritten(out.begin(), out.begin() + static_cast<long>(head));
    const std::vector<Token> body = tokenize(sql);
    rewritten.insert(rewritten.end(), body.begin(), body.end());
    rewritten.insert(rewritten.end(), out.begin() + static_cast<long>(end), out.end());
    return rewritten;
}

}  // namespace data::embedded
