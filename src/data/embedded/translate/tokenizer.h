#pragma once
// A T-SQL tokenizer: the base of the T-SQL to SQLite translation. Every character of the
// input belongs to exactly one token, so a statement can be rebuilt from its tokens with only
// the rewritten ones changed.

#include <QString>
#include <vector>

namespace data::embedded {

enum class TokenKind {
    Space,       // blanks, tabs, line ends
    Comment,     // -- to the line end, or /* ... */ (nested, as T-SQL allows)
    Word,        // a bare name or keyword
    QuotedName,  // [name] or "name"
    String,      // 'text' or N'text'
    Number,
    Variable,    // @name, @@name
    Parameter,   // ?
    Punct,       // operators and punctuation, multi-character ones as one token
};

struct Token {
    TokenKind kind = TokenKind::Space;
    QString text;             // exactly as written
    bool unterminated = false;  // a string, quoted name or comment without its end

    bool isWord(const char* word) const;  // a bare word equal to word, without case
    bool isPunct(const char* p) const;
    bool isName() const { return kind == TokenKind::Word || kind == TokenKind::QuotedName; }
    bool isTrivia() const { return kind == TokenKind::Space || kind == TokenKind::Comment; }
    // A name without its brackets or quotes; a string's content without quotes, with doubled
    // apostrophes made single.
    QString value() const;
};

std::vector<Token> tokenize(const QString& text);

// Splits tokens into statements at the semicolons outside parentheses; empty statements
// (only blanks and comments) are dropped.
std::vector<std::vector<Token>> splitStatements(const std::vector<Token>& tokens);

// The text of tokens [begin, end).
QString joinTokens(const std::vector<Token>& tokens, size_t begin = 0, size_t end = static_cast<size_t>(-1));

// Whether text holds lowerAscii (lower-case ASCII) in any case, as QString::contains does
// without case; texts of plain ASCII, the statements nearly always, are searched without
// folding each character.
bool containsNoCase(const QString& text, const char* lowerAscii);
// Whether text begins with the word given in lower-case ASCII, without case (as Qt compares
// without case).
bool startsWithNoCase(QStringView text, const char* lowerAscii);

// Whether a table name is a local temporary table's ("#name"): such a table lives in the
// connection's own TEMP schema. "##name" names a global one, which is not.
bool isLocalTempName(const QString& name);

// A name quoted for SQLite: "name" with inner quotes doubled.
QString quoteName(const QString& name);
// A text as an SQL literal: 'text' with inner apostrophes doubled.
QString quoteString(const QString& text);

}  // namespace data::embedded
