#include "data/embedded/translate/likematch.h"

#include <vector>

namespace data::embedded {

namespace {

struct Element {
    enum Kind { Any, One, Literal, Set } kind = Literal;
    QChar c;                                   // Literal
    bool negated = false;                      // Set
    std::vector<std::pair<QChar, QChar>> ranges;  // Set: single characters are ranges of one

    bool matches(QChar v) const {
        switch (kind) {
            case One:
                return true;
            case Literal:
                return v == c;
            case Set: {
                bool in = false;
                for (const auto& [from, to] : ranges) in = in || (v >= from && v <= to);
                return in != negated;
            }
            case Any:
                break;
        }
        return false;
    }
};

// The pattern as elements; a "[" without its "]" stands for itself.
std::vector<Element> parse(const QString& p, QChar escape) {
    std::vector<Element> out;
    for (qsizetype i = 0; i < p.size(); ++i) {
        const QChar c = p.at(i);
        if (!escape.isNull() && c == escape && i + 1 < p.size()) {
            out.push_back(Element{Element::Literal, p.at(++i), false, {}});
        } else if (c == u'%') {
            if (out.empty() || out.back().kind != Element::Any) out.push_back(Element{Element::Any, {}, false, {}});
        } else if (c == u'_') {
            out.push_back(Element{Element::One, {}, false, {}});
        } else if (c == u'[') {
            Element e{Element::Set, {}, false, {}};
            qsizetype j = i + 1;
            if (j < p.size() && p.at(j) == u'^') {
                e.negated = true;
                ++j;
            }
            const qsizetype close = j < p.size() ? p.indexOf(u']', j) : -1;
            if (close <= j) {
                out.push_back(Element{Element::Literal, c, false, {}});
                continue;
            }
            for (qsizetype k = j; k < close; ++k) {
                if (k + 2 < close && p.at(k + 1) == u'-') {
                    e.ranges.emplace_back(p.at(k), p.at(k + 2));
                    k += 2;
                } else {
                    e.ranges.emplace_back(p.at(k), p.at(k));
                }
            }
            out.push_back(std::move(e));
            i = close;
        } else {
            out.push_back(Element{Element::Literal, c, false, {}});
        }
    }
    return out;
}

}  // namespace

bool likeMatches(const QString& rawValue, const QString& rawPattern, QChar escape) {
    qsizetype n = rawValue.size();
    while (n > 0 && rawValue.at(n - 1) == u' ') --n;
    const QString value = rawValue.left(n).toCaseFolded();
    const std::vector<Element> pattern = parse(rawPattern.toCaseFolded(), escape.isNull() ? escape : escape.toCaseFolded());
    // Every element but % takes one character, so the greedy walk with one way back to the last
    // % decides the match.
    size_t p = 0;
    qsizetype s = 0;
    size_t starP = pattern.size();
    qsizetype starS = 0;
    while (s < value.size()) {
        if (p < pattern.size() && pattern[p].kind == Element::Any) {
            starP = p++;
            starS = s;
        } else if (p < pattern.size() && pattern[p].matches(value.at(s))) {
            ++p;
            ++s;
        } else if (starP < pattern.size()) {
            p = starP + 1;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p].kind == Element::Any) ++p;
    return p == pattern.size();
}

}  // namespace data::embedded
