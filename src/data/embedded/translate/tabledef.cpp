#include "data/embedded/translate/tabledef.h"
#include "data/embedded/translate/tokenops.h"

#include <QRegularExpression>

namespace data::embedded {

namespace {

bool isConstraintStart(const Token& t) {
    static const char* const words[] = {"CONSTRAINT", "PRIMARY", "NOT",   "NULL",      "UNIQUE",   "CHECK",
                                        "DEFAULT",    "COLLATE", "REFERENCES", "GENERATED", "AS", "IDENTITY",
                                        "ROWGUIDCOL", "AUTOINCREMENT"};
    for (const char* w : words) {
        if (t.isWord(w)) return true;
    }
    return false;
}

bool isTableConstraintStart(const Token& t) {
    return t.isWord("CONSTRAINT") || t.isWord("PRIMARY") || t.isWord("UNIQUE") || t.isWord("CHECK") ||
           t.isWord("FOREIGN");
}

std::vector<Token> trimmed(const std::vector<Token>& in) {
    size_t b = 0;
    size_t e = in.size();
    while (b < e && in[b].isTrivia()) ++b;
    while (e > b && in[e - 1].kind == TokenKind::Space) --e;
    return {in.begin() + static_cast<long>(b), in.begin() + static_cast<long>(e)};
}

QStringList columnList(const std::vector<Token>& t, size_t& i) {
    QStringList cols;
    i = nextAt(t, i);
    if (i >= t.size() || !t[i].isPunct("(")) return cols;
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i].isPunct("(")) {
            ++depth;
        } else if (t[i].isPunct(")")) {
            if (--depth == 0) {
                ++i;
                break;
            }
        } else if (depth == 1 && t[i].isName() && !t[i].isWord("ASC") && !t[i].isWord("DESC")) {
            cols.push_back(t[i].value());
        }
    }
    return cols;
}

// The declared type as SQL Server reads it: a bracketed or quoted name ("[varchar] (3)") is the
// same type as the bare one, so the type keeps its bare name wherever it is written again.
QString typeTextOf(const std::vector<Token>& tokens, size_t begin, size_t end) {
    QString out;
    for (size_t i = begin; i < end && i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        out += t.kind == TokenKind::QuotedName ? t.value() : t.text;
    }
    return out.simplified();
}

void parseColumn(ColumnDef& c, const std::vector<Token>& tokens) {
    c.tokens = tokens;
    size_t i = 0;
    c.name = tokens.empty() ? QString() : (tokens[0].kind == TokenKind::String ? tokens[0].value() : tokens[0].value());
    i = 1;
    // The type: every token up to the first constraint keyword outside parentheses.
    QString typeText;
    int depth = 0;
    size_t typeEnd = i;
    for (; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (depth == 0 && (isConstraintStart(t) || t.kind == TokenKind::Comment)) break;
        if (t.isPunct("(")) ++depth;
        if (t.isPunct(")")) --depth;
        typeEnd = i + 1;
    }
    typeText = typeTextOf(tokens, 1, typeEnd);
    size_t rest = typeEnd;
    // The stored identity: INTEGER followed by the comment holding the declared type.
    const size_t commentAt = nextAt(tokens, rest) < tokens.size() ? rest : rest;
    for (size_t k = commentAt; k < tokens.size() && tokens[k].isTrivia(); ++k) {
        if (tokens[k].kind != TokenKind::Comment) continue;
        static const QRegularExpression re(
            QStringLiteral("^/\\*\\s*(.*?)\\s+identity\\s*(?:\\(\\s*(-?\\d+)\\s*,\\s*(-?\\d+)\\s*\\))?\\s*\\*/$"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const auto m = re.match(tokens[k].text);
        if (m.hasMatch()) {
            typeText = m.captured(1).simplified();
            c.identity = true;
            if (!m.captured(2).isEmpty()) {
                c.seed = m.captured(2).toLongLong();
                c.increment = m.captured(3).toLongLong();
            }
            rest = k + 1;
        }
        break;
    }
    c.typeText = typeText;
    c.type = SqlType::parse(typeText);
    c.constraints = trimmed({tokens.begin() + static_cast<long>(rest), tokens.end()});
    // Constraints that matter to the engine.
    const auto& k = c.constraints;
    for (size_t j = 0; j < k.size(); ++j) {
        if (k[j].isWord("NOT")) {
            const size_t n = nextAt(k, j + 1);
            if (n < k.size() && k[n].isWord("NULL")) c.notNull = true;
        } else if (k[j].isWord("PRIMARY")) {
            c.primaryKey = true;
        } else if (k[j].isWord("CONSTRAINT")) {
            const size_t n = nextAt(k, j + 1);
            const size_t after = n < k.size() ? nextAt(k, n + 1) : k.size();
            if (after < k.size() && k[after].isWord("PRIMARY")) c.keyName = k[n].value();
        } else if (k[j].isWord("IDENTITY")) {
            c.identity = true;
            size_t n = nextAt(k, j + 1);
            if (n < k.size() && k[n].isPunct("(")) {
                std::vector<QString> nums;
                bool negative = false;
                for (++n; n < k.size() && !k[n].isPunct(")"); ++n) {
                    if (k[n].isPunct("-")) negative = true;
                    if (k[n].kind == TokenKind::Number) {
                        nums.push_back((negative ? QStringLiteral("-") : QString()) + k[n].text);
                        negative = false;
                    }
                }
                if (nums.size() == 2) {
                    c.seed = nums[0].toLongLong();
                    c.increment = nums[1].toLongLong();
                }
            }
        }
    }
}

void parseConstraint(TableConstraint& tc, const std::vector<Token>& tokens) {
    tc.tokens = tokens;
    size_t i = nextAt(tokens, 0);
    if (i < tokens.size() && tokens[i].isWord("CONSTRAINT")) {
        i = nextAt(tokens, i + 1);
        if (i < tokens.size()) tc.name = tokens[i].value();
        i = nextAt(tokens, i + 1);
    }
    if (i >= tokens.size()) return;
    if (tokens[i].isWord("PRIMARY") || tokens[i].isWord("FOREIGN")) {
        tc.kind = tokens[i].isWord("PRIMARY") ? QStringLiteral("PRIMARY KEY") : QStringLiteral("FOREIGN KEY");
        i = nextAt(tokens, i + 1);  // KEY
        ++i;
        // CLUSTERED / NONCLUSTERED may stand before the list.
        size_t j = nextAt(tokens, i);
        while (j < tokens.size() && (tokens[j].isWord("CLUSTERED") || tokens[j].isWord("NONCLUSTERED"))) {
            j = nextAt(tokens, j + 1);
        }
        tc.columns = columnList(tokens, j);
    } else if (tokens[i].isWord("UNIQUE")) {
        tc.kind = QStringLiteral("UNIQUE");
        size_t j = nextAt(tokens, i + 1);
        while (j < tokens.size() && (tokens[j].isWord("CLUSTERED") || tokens[j].isWord("NONCLUSTERED"))) {
            j = nextAt(tokens, j + 1);
        }
        tc.columns = columnList(tokens, j);
    } else {
        tc.kind = tokens[i].text.toUpper();
    }
}

}  // namespace

TableDefinition TableDefinition::parse(const QString& createSql) { return parse(tokenize(createSql)); }

TableDefinition TableDefinition::parse(const std::vector<Token>& t) {
    TableDefinition def;
    size_t i = nextAt(t, 0);
    if (i >= t.size() || !t[i].isWord("CREATE")) return def;
    i = nextAt(t, i + 1);
    while (i < t.size() && (t[i].isWord("TEMP") || t[i].isWord("TEMPORARY"))) i = nextAt(t, i + 1);
    if (i >= t.size() || !t[i].isWord("TABLE")) return def;
    i = nextAt(t, i + 1);
    if (i < t.size() && t[i].isWord("IF")) {
        i = nextAt(t, i + 1);  // NOT
        i = nextAt(t, i + 1);  // EXISTS
        i = nextAt(t, i + 1);
    }
    // The name: the last part of a dotted name.
    while (i < t.size() && !t[i].isPunct("(")) {
        if (t[i].isName() || t[i].kind == TokenKind::String) def.name = t[i].value();
        ++i;
    }
    if (i >= t.size()) return def;
    ++i;  // the opening parenthesis
    int depth = 1;
    std::vector<Token> element;
    auto flush = [&] {
        auto el = trimmed(element);
        element.clear();
        if (el.empty()) return;
        if (isTableConstraintStart(el.front())) {
            TableConstraint tc;
            parseConstraint(tc, el);
            def.constraints.push_back(std::move(tc));
        } else {
            ColumnDef c;
            parseColumn(c, el);
            def.columns.push_back(std::move(c));
        }
    };
    for (; i < t.size(); ++i) {
        if (t[i].isPunct("(")) ++depth;
        if (t[i].isPunct(")")) {
            if (--depth == 0) {
                flush();
                ++i;
                break;
            }
        }
        if (depth == 1 && t[i].isPunct(",")) {
            flush();
            continue;
        }
        element.push_back(t[i]);
    }
    if (depth != 0) return def;
    def.tail = trimmed({t.begin() + static_cast<long>(std::min(i, t.size())), t.end()});
    def.ok = !def.columns.empty();
    return def;
}

int TableDefinition::find(const QString& column) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(column, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    }
    return -1;
}

QStringList TableDefinition::primaryKeyColumns() const {
    for (const auto& c : columns) {
        if (c.primaryKey) return {c.name};
    }
    for (const auto& tc : constraints) {
        if (tc.kind == u"PRIMARY KEY") return tc.columns;
    }
    return {};
}

QString TableDefinition::primaryKeyName() const {
    for (const auto& c : columns) {
        if (c.primaryKey) return c.keyName;
    }
    for (const auto& tc : constraints) {
        if (tc.kind == u"PRIMARY KEY") return tc.name;
    }
    return {};
}

QString TableDefinition::createSql(const QString& quotedName) const {
    QStringList parts;
    for (const auto& c : columns) parts.push_back(joinTokens(c.tokens));
    for (const auto& tc : constraints) parts.push_back(joinTokens(tc.tokens));
    QString sql = QStringLiteral("CREATE TABLE ") + quotedName + QStringLiteral(" (") + parts.join(QStringLiteral(", ")) +
                  u')';
    if (!tail.empty()) sql += u' ' + joinTokens(tail);
    return sql;
}

QString translateDdlTokens(const std::vector<Token>& tokens) {
    QString out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.isWord("CLUSTERED") || t.isWord("NONCLUSTERED") || t.isWord("ROWGUIDCOL")) continue;
        if (t.kind == TokenKind::QuotedName) {
            out += quoteName(t.value());
        } else if (t.kind == TokenKind::Word && (t.text.contains(u'#') || t.text.contains(u'@'))) {
            // T-SQL names may hold "#" and "@" (a temporary table's constraint names carry its
            // name); SQLite reads them only quoted.
            out += quoteName(t.text);
        } else if (t.kind == TokenKind::String) {
            out += quoteString(t.value());
        } else {
            out += t.text;
        }
    }
    return out.simplified();
}

QString sqliteTypeText(const QString& typeText) {
    static const QRegularExpression max(QStringLiteral("\\(\\s*max\\s*\\)"), QRegularExpression::CaseInsensitiveOption);
    return typeText.contains(max) ? quoteName(typeText) : typeText;
}

QString sqliteColumnText(const ColumnDef& c) {
    QString out = quoteName(c.name) + u' ';
    if (!c.identity) {
        out += sqliteTypeText(c.typeText);
        const QString rest = translateDdlTokens(c.constraints);
        if (!rest.isEmpty()) out += u' ' + rest;
        return out;
    }
    // Identity: SQLite's own counter, with the declared type kept in a comment.
    out += QStringLiteral("INTEGER /*") + c.typeText + QStringLiteral(" identity (") + QString::number(c.seed) + u',' +
           QString::number(c.increment) + QStringLiteral(")*/");
    // The remaining constraints, without the identity clause and any primary key: the key is
    // put back once, in the form SQLite needs for its counter.
    std::vector<Token> kept;
    const auto& k = c.constraints;
    for (size_t j = 0; j < k.size(); ++j) {
        if (k[j].isWord("IDENTITY")) {
            size_t n = nextAt(k, j + 1);
            if (n < k.size() && k[n].isPunct("(")) {
                while (n < k.size() && !k[n].isPunct(")")) ++n;
                j = n;
            }
            continue;
        }
        if (k[j].isWord("CONSTRAINT")) {
            const size_t n = nextAt(k, j + 1);
            const size_t after = n < k.size() ? nextAt(k, n + 1) : k.size();
            if (after < k.size() && k[after].isWord("PRIMARY")) {
                j = n;
                continue;
            }
        }
        if (k[j].isWord("PRIMARY")) {
            const size_t n = nextAt(k, j + 1);
            j = n;  // KEY
            continue;
        }
        if (k[j].isWord("AUTOINCREMENT") || k[j].isWord("ASC") || k[j].isWord("DESC")) continue;
        kept.push_back(k[j]);
    }
    if (!c.keyName.isEmpty()) out += QStringLiteral(" CONSTRAINT ") + quoteName(c.keyName);
    out += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
    const QString rest = translateDdlTokens(kept);
    if (!rest.isEmpty()) out += u' ' + rest;
    return out;
}

}  // namespace data::embedded
