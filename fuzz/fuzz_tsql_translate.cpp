// The T-SQL tokenizer and translator on any text. Input: the statement text (UTF-8). Every
// character belongs to exactly one token, the statements split from the tokens hold every
// token outside the separating semicolons, and each translates without a fault.

#include "data/embedded/translate/tokenizer.h"
#include "data/embedded/translate/translator.h"
#include "fuzz_support.h"

using namespace data::embedded;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytesOf(data, size));
    const std::vector<Token> tokens = tokenize(text);
    fuzz::check(joinTokens(tokens) == text, "the tokens do not rebuild the text");
    for (const Token& t : tokens) {
        fuzz::check(!t.text.isEmpty(), "an empty token");
        const QString v = t.value();
        // The quoting the engine builds its own statements with reads back as one token of
        // the same value, whatever the value holds.
        if (t.kind == TokenKind::QuotedName || t.kind == TokenKind::String) {
            const bool name = t.kind == TokenKind::QuotedName;
            const std::vector<Token> again = tokenize(name ? quoteName(v) : quoteString(v));
            fuzz::check(again.size() == 1 && again[0].kind == t.kind && !again[0].unterminated && again[0].value() == v,
                        name ? "quoteName does not read back" : "quoteString does not read back", v);
        }
    }

    const std::vector<std::vector<Token>> statements = splitStatements(tokens);
    for (const auto& statement : statements) {
        bool meaningful = false;
        for (const Token& t : statement) meaningful = meaningful || !t.isTrivia();
        fuzz::check(meaningful, "an empty statement was kept");
        const Translation tr = translate(statement, QStringLiteral("Velmora"));
        if (tr.syntaxError.isEmpty() && (tr.kind == StatementKind::Query || tr.kind == StatementKind::Insert ||
                                         tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete)) {
            fuzz::check(!tr.sql.isEmpty(), "a statement translated to nothing");
        }
        // A translation translated again must not fault either (the engine caches and may
        // see its own text again, e.g. in a view's definition).
        (void)translate(tr.sql, QStringLiteral("Velmora"));
        if (!tr.updatableSql.isEmpty()) (void)tokenize(tr.updatableSql);
    }
    (void)translate(text, QStringLiteral("master"));
    return 0;
}
