#pragma once
// Small steps over a token list that the translation passes share.

#include <QHash>
#include <QString>
#include <vector>

#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

// The first meaningful index from i on; t.size() when none.
inline size_t nextAt(const std::vector<Token>& t, size_t i) {
    while (i < t.size() && t[i].isTrivia()) ++i;
    return i;
}

// The last meaningful index before i; t.size() when none.
inline size_t prevAt(const std::vector<Token>& t, size_t i) {
    while (i > 0) {
        --i;
        if (!t[i].isTrivia()) return i;
    }
    return t.size();
}

inline bool wordAt(const std::vector<Token>& t, size_t i, const char* w) { return i < t.size() && t[i].isWord(w); }

// Whether t is a bare word among words (without case).
template <size_t N>
bool isAnyWord(const Token& t, const char* const (&words)[N]) {
    if (t.kind != TokenKind::Word) return false;
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// UNION, INTERSECT or EXCEPT: a word that joins the SELECTs of a compound.
inline bool isSetWord(const Token& t) { return t.isWord("UNION") || t.isWord("INTERSECT") || t.isWord("EXCEPT"); }

// The end of [from, end of t) without its trailing blanks and comments.
inline size_t trimmedEnd(const std::vector<Token>& t, size_t from) {
    size_t e = t.size();
    while (e > from && t[e - 1].isTrivia()) --e;
    return e;
}

inline Token space() { return Token{TokenKind::Space, QStringLiteral(" "), false}; }
inline Token word(const QString& w) { return Token{TokenKind::Word, w, false}; }

constexpr size_t kTop = static_cast<size_t>(-1);

// The parenthesis structure of a token list: for every token the "(" of the innermost group
// around it (kTop outside any), and for every "(" its ")".
struct Groups {
    std::vector<size_t> of;
    QHash<size_t, size_t> close;

    explicit Groups(const std::vector<Token>& t) : of(t.size(), kTop) {
        std::vector<size_t> open;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].isPunct(")") && !open.empty()) {
                close.insert(open.back(), i);
                open.pop_back();
            }
            of[i] = open.empty() ? kTop : open.back();
            if (t[i].isPunct("(")) open.push_back(i);
        }
    }
};

}  // namespace data::embedded
