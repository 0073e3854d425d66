#include "data/embedded/translate/selecttop.h"

#include <algorithm>

#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

namespace {


void refuse(Translation& tr, const QString& text) {
    if (tr.refusal != 0) return;
    tr.refusal = 50000;
    tr.refusalText = text;
}

struct Insertion {
    size_t at;  // before the token at this index (t.size(): at the end)
    std::vector<Token> tokens;
};

}  // namespace

std::vector<Token> topToLimit(const std::vector<Token>& t, Translation& tr) {
    if (std::none_of(t.begin(), t.end(), [](const Token& k) { return k.isWord("TOP"); })) return t;
    const Groups groups(t);
    std::vector<bool> removed(t.size(), false);
    std::vector<Insertion> inserted;
    for (size_t s = 0; s < t.size(); ++s) {
        if (!t[s].isWord("SELECT")) continue;
        size_t i = nextAt(t, s + 1);
        if (wordAt(t, i, "DISTINCT") || wordAt(t, i, "ALL")) i = nextAt(t, i + 1);
        if (!wordAt(t, i, "TOP")) continue;
        const size_t j = nextAt(t, i + 1);
        QString count;
        size_t end = j;
        if (j < t.size() && t[j].kind == TokenKind::Number) {
            count = t[j].text;
            end = j + 1;
        } else if (j < t.size() && t[j].isPunct("(")) {
            const size_t k = nextAt(t, j + 1);
            const size_t c = nextAt(t, k + 1);
            if (k < t.size() && t[k].kind == TokenKind::Number && c < t.size() && t[c].isPunct(")")) {
                count = t[k].text;
                end = c + 1;
            }
        }
        const size_t after = nextAt(t, end);
        if (count.isEmpty() || count.contains(u'.') || wordAt(t, after, "PERCENT") ||
            (wordAt(t, after, "WITH") && wordAt(t, nextAt(t, after + 1), "TIES"))) {
            refuse(tr, QStringLiteral("The embedded server takes TOP with a whole number of rows only (no PERCENT, "
                                      "WITH TIES or expression)."));
            return t;
        }
        std::fill(removed.begin() + static_cast<long>(i), removed.begin() + static_cast<long>(end), true);
        const std::vector<Token> limit{space(), word(QStringLiteral("LIMIT")), space(),
                                       Token{TokenKind::Number, count, false}};

        // The SELECT's own level: its parentheses, or the statement.
        const size_t g = groups.of[s];
        const size_t levelEnd = g == kTop ? t.size() : groups.close.value(g, t.size());
        size_t nextSet = levelEnd;
        size_t order = levelEnd;
        bool compound = false;
        for (size_t k = g == kTop ? 0 : g + 1; k < levelEnd; ++k) {
            if (groups.of[k] != g || t[k].kind != TokenKind::Word) continue;
            if (isSetWord(t[k])) {
                compound = true;
                if (k > s && nextSet == levelEnd) nextSet = k;
            }
            if (k > s && t[k].isWord("ORDER") && order == levelEnd) order = k;
        }
        if (!compound) {
            // The only query of its level: the LIMIT goes last, after its own ORDER BY.
            inserted.push_back(Insertion{g == kTop ? trimmedEnd(t, 0) : prevAt(t, levelEnd) + 1, limit});
            continue;
        }
        // A member of a set: its rows end at the next set operator or, for the last member, at
        // the ORDER BY of the whole set.
        const size_t memberEnd = prevAt(t, std::min(nextSet, order)) + 1;
        inserted.push_back(Insertion{s, {Token{TokenKind::Punct, QStringLiteral("("), false}}});
        std::vector<Token> closing = limit;
        closing.push_back(Token{TokenKind::Punct, QStringLiteral(")"), false});
        inserted.push_back(Insertion{memberEnd, closing});
    }
    std::stable_sort(inserted.begin(), inserted.end(), [](const Insertion& a, const Insertion& b) { return a.at < b.at; });
    std::vector<Token> out;
    out.reserve(t.size() + inserted.size() * 5);
    size_t next = 0;
    for (size_t i = 0; i <= t.size(); ++i) {
        for (; next < inserted.size() && inserted[next].at == i; ++next) {
            out.insert(out.end(), inserted[next].tokens.begin(), inserted[next].tokens.end());
        }
        if (i < t.size() && !removed[i]) out.push_back(t[i]);
    }
    return out;
}

}  // namespace data::embedded
