#include "data/embedded/translate/tokenizer.h"

#include <cstring>

namespace data::embedded {

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == u'_' || c == u'#'; }
bool isNamePart(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'#' || c == u'$' || c == u'@'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

}  // namespace

bool Token::isWord(const char* word) const {
    return kind == TokenKind::Word && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool Token::isPunct(const char* p) const { return kind == TokenKind::Punct && text == QLatin1String(p); }

QString Token::value() const {
    switch (kind) {
        case TokenKind::QuotedName: {
            if (text.isEmpty()) return {};
            const QChar open = text.front();
            const QChar close = open == u'[' ? u']' : u'"';
            QString inner = text.mid(1, text.size() - (unterminated ? 1 : 2));
            inner.replace(QString(2, close), QString(close));
            return inner;
        }
        case TokenKind::String: {
            const qsizetype start = text.startsWith(u'N') || text.startsWith(u'n') ? 2 : 1;
            QString inner = text.mid(start, text.size() - start - (unterminated ? 0 : 1));
            inner.replace(QStringLiteral("''"), QStringLiteral("'"));
            return inner;
        }
        default:
            return text;
    }
}

std::vector<Token> tokenize(const QString& s) {
    std::vector<Token> out;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto push = [&](TokenKind k, qsizetype from, qsizetype to, bool unterminated = false) {
        out.push_back(Token{k, s.mid(from, to - from), unterminated});
    };
    while (i < n) {
        const QChar c = s.at(i);
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && s.at(i).isSpace()) ++i;
            push(TokenKind::Space, start, i);
        } else if (c == u'-' && i + 1 < n && s.at(i + 1) == u'-') {
            while (i < n && s.at(i) != u'\n') ++i;
            push(TokenKind::Comment, start, i);
        } else if (c == u'/' && i + 1 < n && s.at(i + 1) == u'*') {
            int depth = 0;
            bool closed = false;
            while (i < n) {
                if (s.at(i) == u'/' && i + 1 < n && s.at(i + 1) == u'*') {
                    ++depth;
                    i += 2;
                } else if (s.at(i) == u'*' && i + 1 < n && s.at(i + 1) == u'/') {
                    i += 2;
                    if (--depth == 0) {
                        closed = true;
                        break;
                    }
                } else {
                    ++i;
                }
            }
            push(TokenKind::Comment, start, i, !closed);
        } else if (c == u'\'' || ((c == u'N' || c == u'n') && i + 1 < n && s.at(i + 1) == u'\'')) {
            i += (c == u'\'') ? 1 : 2;
            bool closed = false;
            while (i < n) {
                if (s.at(i) == u'\'') {
                    if (i + 1 < n && s.at(i + 1) == u'\'') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                ++i;
            }
            push(TokenKind::String, start, i, !closed);
        } else if (c == u'[' || c == u'"') {
            const QChar close = c == u'[' ? u']' : u'"';
            ++i;
            bool closed = false;
            while (i < n) {
                if (s.at(i) == close) {
                    if (i + 1 < n && s.at(i + 1) == close) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                ++i;
            }
            push(TokenKind::QuotedName, start, i, !closed);
        } else if (isDigit(c) || (c == u'.' && i + 1 < n && isDigit(s.at(i + 1)))) {
            if (c == u'0' && i + 1 < n && (s.at(i + 1) == u'x' || s.at(i + 1) == u'X')) {
                i += 2;
                while (i < n && (isDigit(s.at(i)) || QStringLiteral("abcdefABCDEF").contains(s.at(i)))) ++i;
            } else {
                while (i < n && isDigit(s.at(i))) ++i;
                if (i < n && s.at(i) == u'.') {
                    ++i;
                    while (i < n && isDigit(s.at(i))) ++i;
                }
                if (i < n && (s.at(i) == u'e' || s.at(i) == u'E')) {
                    qsizetype j = i + 1;
                    if (j < n && (s.at(j) == u'+' || s.at(j) == u'-')) ++j;
                    if (j < n && isDigit(s.at(j))) {
                        i = j;
                        while (i < n && isDigit(s.at(i))) ++i;
                    }
                }
            }
            push(TokenKind::Number, start, i);
        } else if (c == u'@') {
            ++i;
            while (i < n && (isNamePart(s.at(i)) || s.at(i) == u'@')) ++i;
            push(TokenKind::Variable, start, i);
        } else if (isNameStart(c)) {
            ++i;
            while (i < n && isNamePart(s.at(i))) ++i;
            push(TokenKind::Word, start, i);
        } else if (c == u'?') {
            ++i;
            push(TokenKind::Parameter, start, i);
        } else {
            static const char* const two[] = {"<>", "!=", "<=", ">=", "!<", "!>", "==", "||", "::"};
            bool matched = false;
            if (i + 1 < n) {
                const QString pair = s.mid(i, 2);
                for (const char* t : two) {
                    if (pair == QLatin1String(t)) {
                        i += 2;
                        matched = true;
                        break;
                    }
                }
            }
            if (!matched) ++i;
            push(TokenKind::Punct, start, i);
        }
    }
    return out;
}

std::vector<std::vector<Token>> splitStatements(const std::vector<Token>& tokens) {
    std::vector<std::vector<Token>> out;
    std::vector<Token> cur;
    int depth = 0;
    auto flush = [&] {
        bool meaningful = false;
        for (const auto& t : cur) meaningful = meaningful || !t.isTrivia();
        if (meaningful) out.push_back(std::move(cur));
        cur.clear();
    };
    for (const auto& t : tokens) {
        if (t.isPunct("(")) ++depth;
        if (t.isPunct(")") && depth > 0) --depth;
        if (t.isPunct(";") && depth == 0) {
            flush();
            continue;
        }
        cur.push_back(t);
    }
    flush();
    return out;
}

QString joinTokens(const std::vector<Token>& tokens, size_t begin, size_t end) {
    QString out;
    end = std::min(end, tokens.size());
    for (size_t i = begin; i < end; ++i) out += tokens[i].text;
    return out;
}

bool isLocalTempName(const QString& name) {
    return name.size() > 1 && name.at(0) == u'#' && name.at(1) != u'#';
}

QString quoteName(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString quoteString(const QString& text) {
    QString q = text;
    q.replace(u'\'', QStringLiteral("''"));
    return u'\'' + q + u'\'';
}

namespace {

char16_t foldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c; }

}  // namespace

bool startsWithNoCase(QStringView text, const char* lowerAscii) {
    const auto m = static_cast<qsizetype>(std::strlen(lowerAscii));
    if (text.size() < m) return false;
    for (qsizetype k = 0; k < m; ++k) {
        const char16_t c = text[k].unicode();
        // Outside ASCII Qt's folding decides (a few letters fold into ASCII ones).
        if (c >= 0x80) return text.first(m).compare(QLatin1String(lowerAscii, m), Qt::CaseInsensitive) == 0;
        if (foldAscii(c) != static_cast<unsigned char>(lowerAscii[k])) return false;
    }
    return true;
}

bool containsNoCase(const QString& text, const char* lowerAscii) {
    const qsizetype m = static_cast<qsizetype>(std::strlen(lowerAscii));
    if (m == 0) return true;
    const auto* p = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    // Horspool's search, which looks at about one character in m. A character outside ASCII
    // where one is looked at leaves the text to Qt, whose case folding may turn it into the
    // ASCII looked for; where none is looked at, every place it could have been part of a
    // match was already ruled out by an ASCII character.
    // The table of steps is kept for the word last looked for.
    constexpr qsizetype kKept = 64;
    thread_local char tableFor[kKept];
    thread_local qsizetype tableLength = 0;
    thread_local qsizetype shift[128];
    if (m >= kKept || tableLength != m || std::memcmp(tableFor, lowerAscii, static_cast<size_t>(m)) != 0) {
        for (qsizetype& s : shift) s = m;
        for (qsizetype k = 0; k + 1 < m; ++k) shift[static_cast<unsigned char>(lowerAscii[k]) & 0x7f] = m - 1 - k;
        tableLength = m < kKept ? m : 0;
        if (m < kKept) std::memcpy(tableFor, lowerAscii, static_cast<size_t>(m));
    }
    for (qsizetype i = 0; i + m <= n;) {
        const char16_t last = p[i + m - 1];
        if (last >= 0x80) return text.contains(QLatin1String(lowerAscii, m), Qt::CaseInsensitive);
        const char16_t c = foldAscii(last);
        if (c == static_cast<unsigned char>(lowerAscii[m - 1])) {
            qsizetype k = m - 2;
            while (k >= 0) {
                const char16_t d = p[i + k];
                if (d >= 0x80) return text.contains(QLatin1String(lowerAscii, m), Qt::CaseInsensitive);
                if (foldAscii(d) != static_cast<unsigned char>(lowerAscii[k])) break;
                --k;
            }
            if (k < 0) return true;
        }
        i += shift[c];
    }
    return false;
}

}  // namespace data::embedded
