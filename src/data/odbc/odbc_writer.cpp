// Writing rows of a single-table result back to their table: UPDATE, INSERT and DELETE with
// parameter markers, the row found by its key columns (the table's primary key, or the
// driver's best row identifier). A result without them (company tables are mostly heaps)
// finds its row by its identity column, else by the statement's own condition and the row's
// values as read, touching one row at most (TOP (1)).

#include <algorithm>
#include <optional>

#include "data/adoconstants.h"
#include "data/odbc/odbc_internal.h"

namespace data::odbc {

namespace {

using provider::Changes;
using provider::Column;
using provider::Columns;
using provider::Parameter;
using provider::Result;
using provider::Row;

// ---------------------------------------------------------------------------------------------
// Reading just enough of a statement to find its table

struct Token {
    enum Kind { Word, Name, String, Punct } kind = Punct;
    QString text;  // names without their brackets or quotes
    qsizetype begin = 0;
    qsizetype end = 0;
};

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$'; }

// Reads a delimited part ending in `close`, where a doubled `close` stands for itself.
qsizetype readDelimited(const QString& s, qsizetype i, QChar close, QString* out) {
    for (++i; i < s.size(); ++i) {
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                if (out) out->append(close);
                ++i;
                continue;
            }
            return i + 1;
        }
        if (out) out->append(s[i]);
    }
    return s.size();
}

std::vector<Token> tokenize(const QString& s) {
    std::vector<Token> tokens;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < s.size() && s[i + 1] == u'-') {
            while (i < s.size() && s[i] != u'\n') ++i;
        } else if (c == u'/' && i + 1 < s.size() && s[i + 1] == u'*') {
            const qsizetype close = s.indexOf(QStringLiteral("*/"), i + 2);
            i = close < 0 ? s.size() : close + 2;
        } else if (c == u'[' || c == u'"') {
            Token t{Token::Name, {}, i, 0};
            i = readDelimited(s, i, c == u'[' ? QChar(u']') : QChar(u'"'), &t.text);
            t.end = i;
            tokens.push_back(std::move(t));
        } else if (c == u'\'') {
            Token t{Token::String, {}, i, 0};
            i = readDelimited(s, i, QChar(u'\''), nullptr);
            t.end = i;
            tokens.push_back(std::move(t));
        } else if (isWordChar(c)) {
            Token t{Token::Word, {}, i, 0};
            while (i < s.size() && isWordChar(s[i])) ++i;
            t.end = i;
            t.text = s.mid(t.begin, t.end - t.begin);
            tokens.push_back(std::move(t));
        } else {
            tokens.push_back(Token{Token::Punct, QString(c), i, i + 1});
            ++i;
        }
    }
    return tokens;
}

bool isWord(const Token& t, const char16_t* word) {
    return t.kind == Token::Word && t.text.compare(QStringView(word), Qt::CaseInsensitive) == 0;
}

bool isPunct(const Token& t, char16_t c) { return t.kind == Token::Punct && t.text.size() == 1 && t.text[0] == c; }

bool isClauseWord(const Token& t) {
    static const char16_t* const words[] = {u"where", u"with",   u"order",     u"group", u"having", u"union",
                                            u"except", u"intersect", u"option", u"for",   u"join",   u"inner",
                                            u"left",  u"right",  u"full",      u"cross", u"outer",  u"apply",
                                            u"into",  u"compute"};
    for (const char16_t* w : words) {
        if (isWord(t, w)) return true;
    }
    return false;
}

bool isNamePart(const Token& t) { return t.kind == Token::Name || (t.kind == Token::Word && !isClauseWord(t)); }

// Skips a parenthesised group that starts at tokens[i]; returns the index after it.
size_t skipGroup(const std::vector<Token>& t, size_t i) {
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (isPunct(t[i], u'(')) ++depth;
        if (isPunct(t[i], u')') && --depth == 0) return i + 1;
    }
    return t.size();
}

// The parts of a table name as the statement writes it: "Velmora..Log" gives
// ("Velmora", "", "Log").
QStringList nameParts(const QString& name) {
    const std::vector<Token> t = tokenize(name);
    QStringList parts;
    bool expectName = true;
    for (const Token& tok : t) {
        if (isPunct(tok, u'.')) {
            if (expectName) parts << QString();
            expectName = true;
        } else if (expectName && (tok.kind == Token::Name || tok.kind == Token::Word)) {
            parts << tok.text;
            expectName = false;
        } else {
            return {};
        }
    }
    if (expectName || parts.size() > 4) return {};
    return parts;
}


bool isLongType(int type) {
    return type == ado::adLongVarChar || type == ado::adLongVarWChar || type == ado::adLongVarBinary;
}

QString bracketed(const QString& name) {
    QString n = name;
    n.replace(u']', QStringLiteral("]]"));
    return u'[' + n + u']';
}

// ---------------------------------------------------------------------------------------------
// Key columns

QStringList columnNamesFrom(const std::vector<Result>& results, size_t nameColumn, long seqColumn, long pseudoColumn) {
    std::vector<std::pair<long, QString>> found;
    for (const Result& r : results) {
        if (!r.hasRows) continue;
        for (const Row& row : r.rows) {
            if (row.size() <= nameColumn || row[nameColumn].isNull()) continue;
            if (pseudoColumn >= 0 && static_cast<size_t>(pseudoColumn) < row.size() && !row[pseudoColumn].isNull() &&
                row[pseudoColumn].toInt64() == SQL_PC_PSEUDO) {
                continue;
            }
            long seq = static_cast<long>(found.size());
            if (seqColumn >= 0 && static_cast<size_t>(seqColumn) < row.size() && !row[seqColumn].isNull()) {
                seq = static_cast<long>(row[seqColumn].toInt64());
            }
            found.emplace_back(seq, row[nameColumn].toString());
        }
        break;
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList names;
    for (auto& f : found) names << f.second;
    return names;
}

SQLWCHAR* optionalText(const QString& s) { return s.isEmpty() ? nullptr : wide(s); }
SQLSMALLINT optionalLength(const QString& s) { return s.isEmpty() ? 0 : SQL_NTS; }

// The columns that identify a row of the table; empty when the table has none that the
// driver can tell. Lookup failures only mean that rows cannot be found again.
QStringList keyColumns(Link& link, const QStringList& parts) {
    const QString table = parts.value(parts.size() - 1);
    const QString schema = parts.size() >= 2 ? parts[parts.size() - 2] : QString();
    const QString catalog = parts.size() >= 3 ? parts[parts.size() - 3] : QString();
    try {
        Statement st(link);
        const SQLRETURN rc =
            SQLPrimaryKeysW(st.handle(), optionalText(catalog), optionalLength(catalog), optionalText(schema),
                            optionalLength(schema), wide(table), SQL_NTS);
        if (succeeded(rc)) {
            const QStringList names = columnNamesFrom(readResults(st), 3, 4, -1);
            if (!names.isEmpty()) return names;
        }
    } catch (const platform::RuntimeError&) {
    }
    if (!catalog.isEmpty()) {
        // SQL Server answers the key of another database's table only from that database's
        // own catalogue procedure.
        try {
            std::vector<Parameter> params(2);
            params[0].type = ado::adVarWChar;
            params[0].value = table;
            params[1].type = ado::adVarWChar;
            params[1].value = schema.isEmpty() ? Variant::null() : Variant(schema);
            const QStringList names = columnNamesFrom(
                run(link, QStringLiteral("EXEC %1..sp_pkeys @table_name = ?, @table_owner = ?").arg(bracketed(catalog)),
                    params),
                3, 4, -1);
            if (!names.isEmpty()) return names;
        } catch (const platform::RuntimeError&) {
        }
    }
    try {
        Statement st(link);
        const SQLRETURN rc = SQLSpecialColumnsW(st.handle(), SQL_BEST_ROWID, optionalText(catalog),
                                                optionalLength(catalog), optionalText(schema), optionalLength(schema),
                                                wide(table), SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE);
        if (succeeded(rc)) return columnNamesFrom(readResults(st), 1, -1, 7);
    } catch (const platform::RuntimeError&) {
    }
    return {};
}

// ---------------------------------------------------------------------------------------------

class Writer : public provider::RowWriter {
public:
    // byValues: keyColumns are the row's values, which find it together with condition
    // (the statement's own, "(…)", empty for none; null when it cannot be used).
    Writer(std::shared_ptr<Link> link, QString table, Columns columns, std::vector<int> keyColumns,
           bool byValues, std::optional<QString> condition)
        : link_(std::move(link)),
          table_(std::move(table)),
          columns_(std::move(columns)),
          keyColumns_(std::move(keyColumns)),
          byValues_(byValues),
          condition_(std::move(condition)) {}

    // Registers the key values of a row; the returned handle is the row's key for the
    // recordset.
    Variant addRow(const Row& row) {
        Row key;
        for (int c : keyColumns_) key.push_back(static_cast<size_t>(c) < row.size() ? row[static_cast<size_t>(c)] : Variant::null());
        keys_.push_back(std::move(key));
        inserted_.push_back(false);
        return Variant(static_cast<std::int64_t>(keys_.size() - 1));
    }

    void update(const Variant& key, const Changes& changes) override {
        link_->requireOpen();
        if (changes.empty()) return;
        Row& keyValues = keyOf(key);
        std::vector<Parameter> params;
        QStringList sets;
        for (const auto& [column, value] : changes) {
            sets << bracketed(columnAt(column).name) + QStringLiteral(" = ?");
            params.push_back(parameter(column, value));
        }
        const QString sql = QStringLiteral("UPDATE %1%2 SET %3").arg(top(), table_, sets.join(QStringLiteral(", "))) +
                            where(key, params);
        requireOneRow(run(*link_, sql, params), QStringLiteral("updating"));
        for (const auto& [column, value] : changes) {
            for (size_t k = 0; k < keyColumns_.size(); ++k) {
                if (keyColumns_[k] == column) keyValues[k] = value;
            }
        }
    }

    std::pair<Variant, Row> insert(const Changes& values) override {
        link_->requireOpen();
        std::vector<Parameter> params;
        QStringList names;
        QStringList markers;
        for (const auto& [column, value] : values) {
            names << bracketed(columnAt(column).name);
            markers << QStringLiteral("?");
            params.push_back(parameter(column, value));
        }
        QString sql = values.empty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table_)
                                     : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                           .arg(table_, names.join(QStringLiteral(", ")), markers.join(QStringLiteral(", ")));
        int identityColumn = -1;
        for (size_t i = 0; i < static_cast<size_t>(columns_.size()); ++i) {
            if (columns_[i].identity) {
                identityColumn = static_cast<int>(i);
                break;
            }
        }
        const provider::OdbcOptions& options = link_->options;
        const bool askIdentity = identityColumn >= 0 && !options.identityQuery.isEmpty();
        Variant identity = Variant::null();
        if (askIdentity && options.identityInSameBatch) sql += QStringLiteral("; ") + options.identityQuery;
        std::vector<Result> results = run(*link_, sql, params);
        if (askIdentity && !options.identityInSameBatch) results = run(*link_, options.identityQuery, {});
        if (askIdentity) {
            for (const Result& r : results) {
                if (r.hasRows && !r.rows.empty() && !r.rows.front().empty()) {
                    identity = r.rows.front().front();
                    break;
                }
            }
        }

        Row stored(columns_.size(), Variant::null());
        for (const auto& [column, value] : values) {
            if (column >= 0 && static_cast<size_t>(column) < stored.size()) stored[static_cast<size_t>(column)] = value;
        }
        if (identityColumn >= 0 && !identity.isNull()) stored[static_cast<size_t>(identityColumn)] = identity;
        Row key;
        bool keyKnown = !keyColumns_.empty() && !byValues_;
        for (int c : keyColumns_) {
            const bool given = c == identityColumn ? !identity.isNull()
                                                   : std::any_of(values.begin(), values.end(),
                                                                 [c](const auto& v) { return v.first == c; });
            keyKnown = keyKnown && given;
            key.push_back(stored[static_cast<size_t>(c)]);
        }
        if (keyKnown) {
            // The row as the table keeps it: defaults and conversions of the server.
            try {
                QStringList all;
                for (const Column& c : columns_) all << bracketed(c.name);
                std::vector<Parameter> keyParams;
                const QString select =
                    QStringLiteral("SELECT %1 FROM %2").arg(all.join(QStringLiteral(", ")), table_) +
                    QStringLiteral(" WHERE ") + keyTerms(key, keyParams).join(QStringLiteral(" AND "));
                // What was just written is not fetched back: a long value is read if looked at.
                QStringList keyNames;
                for (int c : keyColumns_) keyNames << columns_[static_cast<size_t>(c)].name;
                const std::vector<Result> reread = run(*link_, select, keyParams, keyNames);
                if (!reread.empty() && reread.front().rows.size() == 1 &&
                    reread.front().rows.front().size() == static_cast<size_t>(columns_.size())) {
                    stored = reread.front().rows.front();
                }
            } catch (const platform::RuntimeError&) {
                // The values as given stand for the row.
            }
        }
        const Variant handle = addRow(stored);
        // The statement's condition need not hold for a row added here: its values find it.
        inserted_.back() = true;
        return {handle, stored};
    }

    void remove(const Variant& key) override {
        link_->requireOpen();
        std::vector<Parameter> params;
        const QString sql = QStringLiteral("DELETE %1FROM %2").arg(top(), table_) + where(key, params);
        requireOneRow(run(*link_, sql, params), QStringLiteral("deleting"));
    }

    Variant longValue(const Variant& key, int column) override {
        link_->requireOpen();
        std::vector<Parameter> params;
        const QString sql = QStringLiteral("SELECT %1%2 FROM %3").arg(top(), bracketed(columnAt(column).name), table_) +
                            where(key, params);
        const std::vector<Result> found = run(*link_, sql, params);
        if (found.empty() || found.front().rows.empty() || found.front().rows.front().empty()) return Variant::null();
        return found.front().rows.front().front();
    }

    bool sameRow(const Variant& key, const RowWriter& other, const Variant& otherKey) const override {
        const auto* w = dynamic_cast<const Writer*>(&other);
        // Equal values are no proof of the same row.
        if (!w || keyColumns_.empty() || byValues_ || w->byValues_ || keyColumns_ != w->keyColumns_) return false;
        const Row* mine = keyAt(key);
        const Row* theirs = w->keyAt(otherKey);
        if (!mine || !theirs) return false;
        for (size_t k = 0; k < mine->size(); ++k) {
            if ((*mine)[k].isNull() || !((*mine)[k] == (*theirs)[k])) return false;
        }
        return true;
    }

private:
    const Column& columnAt(int index) const {
        if (index < 0 || index >= columns_.size()) adoerr::raise(adoerr::ItemNotFound);
        return columns_[static_cast<size_t>(index)];
    }

    Parameter parameter(int column, const Variant& value) const {
        Parameter p;
        p.type = columnAt(column).type;
        p.value = value;
        return p;
    }

    [[noreturn]] static void raiseNoKey() {
        throw DbError(kUnspecifiedError, QStringLiteral("Insufficient key column information for updating or refreshing."));
    }

    size_t indexOf(const Variant& key) const {
        if (keyColumns_.empty() && !byValues_) raiseNoKey();
        std::int64_t index = -1;
        if (!key.isNull() && !key.isEmpty()) index = key.toInt64();
        if (index < 0 || static_cast<size_t>(index) >= keys_.size()) adoerr::raise(adoerr::ArgumentsWrong);
        return static_cast<size_t>(index);
    }

    Row& keyOf(const Variant& key) { return keys_[indexOf(key)]; }

    QString top() const { return byValues_ ? QStringLiteral("TOP (1) ") : QString(); }

    const Row* keyAt(const Variant& key) const {
        if (key.isNull() || key.isEmpty()) return nullptr;
        const std::int64_t index = key.toInt64();
        return index >= 0 && static_cast<size_t>(index) < keys_.size() ? &keys_[static_cast<size_t>(index)] : nullptr;
    }

    // The WHERE clause that finds the row of the key.
    QString where(const Variant& key, std::vector<Parameter>& params) const {
        const size_t index = indexOf(key);
        QStringList terms;
        if (byValues_ && !inserted_[index]) {
            // Without its condition a row of the statement might be taken for another row of
            // the table that happens to hold the same values.
            if (!condition_) raiseNoKey();
            if (!condition_->isEmpty()) terms << *condition_;
        }
        terms << keyTerms(keys_[index], params);
        // Nothing that tells the row from any other of the table.
        if (terms.isEmpty()) raiseNoKey();
        return QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    }

    QStringList keyTerms(const Row& keyValues, std::vector<Parameter>& params) const {
        QStringList terms;
        for (size_t k = 0; k < keyColumns_.size(); ++k) {
            const int column = keyColumns_[k];
            if (keyValues[k].isNull() || keyValues[k].isEmpty()) {
                terms << bracketed(columns_[static_cast<size_t>(column)].name) + QStringLiteral(" IS NULL");
            } else {
                terms << comparison(columns_[static_cast<size_t>(column)]);
                params.push_back(parameter(column, keyValues[k]));
            }
        }
        return terms;
    }

    // A key column is compared as it is, so the server may seek it. A value is compared as it
    // was read, to the millisecond (a datetime2 column holds more), and a decimal of more than
    // four places was read as a double.
    QString comparison(const Column& c) const {
        const QString name = bracketed(c.name);
        if (byValues_ && c.type == ado::adDBTimeStamp) return QStringLiteral("CAST(%1 AS datetime2(3)) = ?").arg(name);
        if (byValues_ && (c.type == ado::adNumeric || c.type == ado::adDecimal) && c.numericScale > 4) {
            return QStringLiteral("%1 = CAST(? AS decimal(38, %2))").arg(name).arg(c.numericScale);
        }
        return name + QStringLiteral(" = ?");
    }

    static void requireOneRow(const std::vector<Result>& results, const QString& what) {
        long affected = -1;
        for (const Result& r : results) {
            if (!r.hasRows) {
                affected = r.recordsAffected;
                break;
            }
        }
        if (affected == 0) {
            throw DbError(kRowNotFound, QStringLiteral("Row cannot be located for %1. Some values may have been "
                                                       "changed since it was last read.")
                                            .arg(what));
        }
    }

    std::shared_ptr<Link> link_;
    QString table_;
    Columns columns_;
    std::vector<int> keyColumns_;
    bool byValues_ = false;
    std::optional<QString> condition_;
    std::vector<Row> keys_;
    std::vector<bool> inserted_;  // per key: the row was added by this writer
};

}  // namespace

QString singleTableOf(const QString& selectText) { return selectTargetOf(selectText).table; }

SelectTarget selectTargetOf(const QString& selectText) {
    std::vector<Token> t = tokenize(selectText);
    while (!t.empty() && isPunct(t.back(), u';')) t.pop_back();
    if (t.empty() || !isWord(t[0], u"select")) return {};
    size_t i = 1;
    if (i < t.size() && isWord(t[i], u"distinct")) return {};
    int depth = 0;
    size_t from = t.size();
    for (; i < t.size(); ++i) {
        if (isPunct(t[i], u'(')) ++depth;
        if (isPunct(t[i], u')')) --depth;
        if (depth != 0) continue;
        if (isWord(t[i], u"into") || isWord(t[i], u"union") || isPunct(t[i], u';')) return {};
        if (isWord(t[i], u"from")) {
            from = i;
            break;
        }
    }
    if (from == t.size()) return {};
    i = from + 1;
    if (i >= t.size() || !isNamePart(t[i])) return {};
    const size_t first = i;
    size_t last = i;
    ++i;
    while (i < t.size() && isPunct(t[i], u'.')) {
        ++i;
        if (i < t.size() && isNamePart(t[i])) {
            last = i;
            ++i;
        } else if (!(i < t.size() && isPunct(t[i], u'.'))) {
            return {};
        }
    }
    const QString table = selectText.mid(t[first].begin, t[last].end - t[first].begin);
    // An alias, then table hints.
    if (i < t.size() && isWord(t[i], u"as")) {
        ++i;
        if (i >= t.size() || !isNamePart(t[i])) return {};
        ++i;
    } else if (i < t.size() && isNamePart(t[i])) {
        ++i;
    }
    if (i + 1 < t.size() && isWord(t[i], u"with") && isPunct(t[i + 1], u'(')) {
        i = skipGroup(t, i + 1);
    } else if (i < t.size() && isPunct(t[i], u'(')) {
        i = skipGroup(t, i);
    }
    if (i < t.size() && !(isWord(t[i], u"where") || isWord(t[i], u"order") || isWord(t[i], u"option"))) return {};
    SelectTarget condition{table, {}, true};
    const size_t whereAt = i < t.size() && isWord(t[i], u"where") ? i : t.size();
    size_t whereEnd = t.size();
    depth = 0;
    for (; i < t.size(); ++i) {
        if (isPunct(t[i], u'(')) ++depth;
        if (isPunct(t[i], u')')) --depth;
        if (isPunct(t[i], u'?') && i > whereAt && i < whereEnd) condition.usable = false;
        if (depth != 0) continue;
        if (whereEnd == t.size() && i > whereAt && (isWord(t[i], u"order") || isWord(t[i], u"option"))) whereEnd = i;
        if (isPunct(t[i], u';') || isWord(t[i], u"union") || isWord(t[i], u"except") || isWord(t[i], u"intersect") ||
            isWord(t[i], u"group") || isWord(t[i], u"having") || isWord(t[i], u"into") || isWord(t[i], u"for") ||
            isWord(t[i], u"compute")) {
            return {};
        }
    }
    if (whereAt + 1 < whereEnd) {
        condition.where =
            u'(' + selectText.mid(t[whereAt + 1].begin, t[whereEnd - 1].end - t[whereAt + 1].begin) + u')';
    } else if (whereAt < t.size()) {
        condition.usable = false;
    }
    return condition;
}

QStringList tableKeys(Link& link, const QString& tableName) {
    const QStringList parts = nameParts(tableName);
    if (parts.isEmpty() || parts.last().isEmpty()) return {};
    return keyColumns(link, parts);
}

void attachWriter(const std::shared_ptr<Link>& link, const QString& tableName, Result& result,
                  const std::optional<QString>& rowCondition, const QStringList* keys) {
    if (!result.hasRows || tableName.isEmpty()) return;
    const QStringList parts = nameParts(tableName);
    if (parts.isEmpty() || parts.last().isEmpty()) return;
    std::vector<int> keyIndexes;
    for (const QString& name : keys ? *keys : keyColumns(*link, parts)) {
        int found = -1;
        for (size_t c = 0; c < static_cast<size_t>(result.columns.size()); ++c) {
            if (result.columns[c].name.compare(name, Qt::CaseInsensitive) == 0) {
                found = static_cast<int>(c);
                break;
            }
        }
        if (found < 0) {
            // Without every key column in the result its rows cannot be found again; new rows
            // may still be added.
            keyIndexes.clear();
            break;
        }
        keyIndexes.push_back(found);
    }
    bool byValues = false;
    std::optional<QString> condition;
    if (keyIndexes.empty()) {
        // No key in the result: its identity column, else the row's values that a comparison
        // can find again within the statement's own condition.
        for (size_t c = 0; c < static_cast<size_t>(result.columns.size()) && keyIndexes.empty(); ++c) {
            if (result.columns[c].identity) keyIndexes.push_back(static_cast<int>(c));
        }
        if (keyIndexes.empty()) {
            byValues = true;
            for (size_t c = 0; c < static_cast<size_t>(result.columns.size()); ++c) {
                const Column& column = result.columns[c];
                if (column.writable && !isLongType(column.type)) keyIndexes.push_back(static_cast<int>(c));
            }
            // The statement's own condition (none for a table opened by name); one with
            // parameter markers leaves the rows unfound.
            condition = rowCondition;
        }
    }
    auto writer = std::make_shared<Writer>(link, tableName.trimmed(), result.columns, std::move(keyIndexes), byValues,
                                           std::move(condition));
    result.keys.clear();
    result.keys.reserve(result.rows.size());
    for (const Row& row : result.rows) result.keys.push_back(writer->addRow(row));
    result.writer = std::move(writer);
}

}  // namespace data::odbc
