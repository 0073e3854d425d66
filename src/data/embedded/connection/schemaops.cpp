#include "data/embedded/connection/schemaops.h"

#include <functional>

#include "data/embedded/connection/errors.h"

namespace data::embedded {

namespace {

[[noreturn]] void objectMissing(const QString& table) {
    raiseServerError(4902, QStringLiteral("Cannot find the object \"%1\" because it does not exist or you do not have "
                                          "permissions.")
                               .arg(table));
}

// One column definition read from T-SQL tokens (name, type, constraints).
ColumnDef readColumn(const std::vector<Token>& definition, bool& ok) {
    std::vector<Token> tokens = tokenize(QStringLiteral("CREATE TABLE x ("));
    tokens.insert(tokens.end(), definition.begin(), definition.end());
    const auto close = tokenize(QStringLiteral(")"));
    tokens.insert(tokens.end(), close.begin(), close.end());
    TableDefinition def = TableDefinition::parse(tokens);
    ok = def.ok && def.columns.size() == 1 && def.constraints.empty() && !def.columns[0].typeText.isEmpty();
    return ok ? def.columns[0] : ColumnDef{};
}

// SQL Server makes a character or binary type without a length one unit long.
void defaultLength(ColumnDef& c) {
    using K = SqlType::Kind;
    const K k = c.type.kind;
    if ((k == K::Char || k == K::VarChar || k == K::NChar || k == K::NVarChar || k == K::Binary || k == K::VarBinary) &&
        !c.typeText.contains(u'(')) {
        c.typeText += QStringLiteral("(1)");
        c.type = SqlType::parse(c.typeText);
    }
}

bool identityTypeAllowed(const SqlType& t) {
    using K = SqlType::Kind;
    return t.kind == K::Int || t.kind == K::BigInt || t.kind == K::SmallInt || t.kind == K::TinyInt ||
           t.kind == K::SqliteInteger || (t.kind == K::Numeric && t.scale == 0);
}

void checkIdentity(const ColumnDef& c) {
    if (!identityTypeAllowed(c.type)) {
        raiseServerError(2749, QStringLiteral("Identity column '%1' must be of data type int, bigint, smallint, tinyint, or "
                                              "decimal or numeric with a scale of 0, and constrained to be nonnullable.")
                                   .arg(c.name));
    }
    if (c.increment != 1) {
        raiseServerError(50000, QStringLiteral("The embedded server keeps identity columns with an increment of 1 only "
                                               "(column '%1').")
                                    .arg(c.name));
    }
}

// Prefixes the object name of a stored CREATE INDEX / CREATE TRIGGER text with a schema.
QString qualifyCreate(const QString& sql, const QString& schema) {
    if (schema == u"main") return sql;
    auto t = tokenize(sql);
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].isWord("INDEX") || t[i].isWord("TRIGGER")) {
            size_t j = i + 1;
            while (j < t.size() && (t[j].isTrivia() || t[j].isWord("IF") || t[j].isWord("NOT") || t[j].isWord("EXISTS"))) ++j;
            if (j < t.size()) t[j].text = schemaRef(schema) + u'.' + t[j].text;
            break;
        }
    }
    return joinTokens(t);
}

// Rebuilds a table with a new definition: new table, rows copied, old table dropped, new one
// renamed, indexes and triggers made again, identity counter kept. verify runs on the new
// table before the swap and raises to refuse. All inside a savepoint: a failure leaves the
// table as it was.
void rebuild(Core& core, const QString& schema, const QString& table, const TableDefinition& oldDef,
             const TableDefinition& newDef, const std::function<void(const QString&)>& verify) {
    sqlite3* db = core.db();
    const ErrorContext ctx = core.context();
    const QString s = schemaRef(schema);
    const QString tmp = QStringLiteral("tsql_rebuild_") + table;
    const QString tmpRef = s + u'.' + quoteName(tmp);
    const QString oldRef = s + u'.' + quoteName(table);

    std::vector<QString> objects;
    {
        Statement q(db,
                    QStringLiteral("SELECT sql FROM ") + s +
                        QStringLiteral(".sqlite_master WHERE tbl_name = ? COLLATE NOCASE AND type IN ('index', 'trigger') "
                                       "AND sql IS NOT NULL AND name NOT LIKE 'tsqlchk\\_%' ESCAPE '\\' AND name NOT LIKE "
                                       "'tsqlfit\\_%' ESCAPE '\\' ORDER BY type"),
                    ctx);
        q.bind(1, table);
        while (q.step()) objects.push_back(q.text(0));
    }
    std::optional<qint64> sequence;
    {
        Statement q(db, QStringLiteral("SELECT count(*) FROM ") + s + QStringLiteral(".sqlite_master WHERE name = 'sqlite_sequence'"),
                    ctx);
        q.step();
        if (q.int64(0) > 0) {
            Statement seq(db, QStringLiteral("SELECT seq FROM ") + s + QStringLiteral(".sqlite_sequence WHERE name = ? COLLATE NOCASE"),
                          ctx);
            seq.bind(1, table);
            if (seq.step()) sequence = seq.int64(0);
        }
    }
    QStringList common;
    for (const auto& c : newDef.columns) {
        if (oldDef.find(c.name) >= 0) common.push_back(quoteName(c.name));
    }

    exec(db, QStringLiteral("PRAGMA legacy_alter_table = ON; SAVEPOINT tsql_rebuild"), ctx);
    try {
        exec(db, newDef.createSql(tmpRef), ctx);
        if (!common.isEmpty()) {
            const QString cols = common.join(QStringLiteral(", "));
            exec(db, QStringLiteral("INSERT INTO ") + tmpRef + QStringLiteral(" (") + cols + QStringLiteral(") SELECT ") + cols +
                         QStringLiteral(" FROM ") + oldRef,
                 ctx);
        }
        if (verify) verify(tmpRef);
        exec(db, QStringLiteral("DROP TABLE ") + oldRef, ctx);
        exec(db, QStringLiteral("ALTER TABLE ") + tmpRef + QStringLiteral(" RENAME TO ") + quoteName(table), ctx);
        for (const QString& sql : objects) exec(db, qualifyCreate(sql, schema), ctx);
        if (sequence) {
            Statement up(db, QStringLiteral("UPDATE ") + s + QStringLiteral(".sqlite_sequence SET seq = max(seq, ?) WHERE name = ?"), ctx);
            up.bind(1, *sequence);
            up.bind(2, table);
            up.step();
            if (sqlite3_changes(db) == 0) {
                Statement ins(db, QStringLiteral("INSERT INTO ") + s + QStringLiteral(".sqlite_sequence (name, seq) VALUES (?, ?)"), ctx);
                ins.bind(1, table);
                ins.bind(2, *sequence);
                ins.step();
            }
        }
        exec(db, QStringLiteral("RELEASE tsql_rebuild; PRAGMA legacy_alter_table = OFF"), ctx);
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK TO tsql_rebuild; RELEASE tsql_rebuild; PRAGMA legacy_alter_table = OFF", nullptr, nullptr,
                     nullptr);
        throw;
    }
}

std::vector<Token> withoutNullability(const std::vector<Token>& k) {
    std::vector<Token> out;
    for (size_t j = 0; j < k.size(); ++j) {
        if (k[j].isWord("NOT")) {
            size_t n = j + 1;
            while (n < k.size() && k[n].isTrivia()) ++n;
            if (n < k.size() && k[n].isWord("NULL")) {
                j = n;
                continue;
            }
        }
        if (k[j].isWord("NULL")) continue;
        out.push_back(k[j]);
    }
    return out;
}

// Whether any object of the schema (table, index, or a table's key) is named name.
bool objectNamed(Core& core, const QString& schema, const QString& name) {
    Statement q(core.db(),
                QStringLiteral("SELECT type, name FROM ") + schemaRef(schema) +
                    QStringLiteral(".sqlite_master WHERE type IN ('table', 'index', 'view', 'trigger')"),
                core.context());
    QStringList tables;
    while (q.step()) {
        if (q.text(1).compare(name, Qt::CaseInsensitive) == 0) return true;
        if (q.text(0) == u"table") tables.push_back(q.text(1));
    }
    for (const QString& t : tables) {
        const TableDefinition* def = core.table(schema, t);
        if (def && def->primaryKeyName().compare(name, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

}  // namespace

void createTable(Core& core, const Translation& tr) {
    TableDefinition def = TableDefinition::parse(tr.definition);
    if (!def.ok || tr.table.isEmpty()) raiseServerError(102, msg::syntaxNear(tr.table.isEmpty() ? QStringLiteral("TABLE") : tr.table));
    if (tr.table.startsWith(QLatin1String("##"))) {
        raiseServerError(50000, QStringLiteral("The embedded server does not keep global temporary tables ('%1'); a local "
                                               "temporary table (#name) belongs to its connection.")
                                    .arg(tr.table));
    }
    if (!core.storedTableName(tr.schema, tr.table).isEmpty()) raiseServerError(2714, msg::objectExists(tr.table));
    int identities = 0;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        auto& c = def.columns[i];
        for (size_t j = 0; j < i; ++j) {
            if (def.columns[j].name.compare(c.name, Qt::CaseInsensitive) == 0) {
                raiseServerError(2705, msg::duplicateColumn(c.name, tr.table));
            }
        }
        defaultLength(c);
        if (c.identity) {
            ++identities;
            checkIdentity(c);
        }
    }
    if (identities > 1) {
        raiseServerError(2744, QStringLiteral("Multiple identity columns specified for table '%1'. Only one identity column "
                                              "per table is allowed.")
                                   .arg(tr.table));
    }
    QStringList parts;
    std::optional<ColumnDef> identity;
    for (const auto& c : def.columns) {
        if (c.identity) identity = c;
    }
    std::vector<TableConstraint> constraints;
    for (const auto& tc : def.constraints) {
        if (identity && tc.kind == u"PRIMARY KEY") {
            if (tc.columns.size() == 1 && tc.columns[0].compare(identity->name, Qt::CaseInsensitive) == 0) {
                for (auto& c : def.columns) {
                    if (c.identity) c.keyName = tc.name;
                }
                continue;
            }
            raiseServerError(50000, QStringLiteral("The embedded server keeps the identity column as the primary key of "
                                                   "table '%1'.")
                                        .arg(tr.table));
        }
        constraints.push_back(tc);
    }
    for (const auto& c : def.columns) parts.push_back(sqliteColumnText(c));
    for (const auto& tc : constraints) parts.push_back(translateDdlTokens(tc.tokens));
    const QString sql = QStringLiteral("CREATE TABLE ") + schemaRef(tr.schema) + u'.' + quoteName(tr.table) + QStringLiteral(" (") +
                        parts.join(QStringLiteral(", ")) + u')';
    exec(core.db(), sql, core.context());
    if (identity && identity->seed != 1) {
        Statement ins(core.db(), QStringLiteral("INSERT INTO ") + schemaRef(tr.schema) + QStringLiteral(".sqlite_sequence (name, seq) VALUES (?, ?)"),
                      core.context());
        ins.bind(1, tr.table);
        ins.bind(2, identity->seed - 1);
        ins.step();
    }
}

void addColumn(Core& core, const Translation& tr) {
    bool ok = false;
    ColumnDef c = readColumn(tr.definition, ok);
    if (!ok) raiseServerError(102, msg::syntaxNear(tr.column.isEmpty() ? QStringLiteral("add") : tr.column));
    const QString stored = core.storedTableName(tr.schema, tr.table);
    if (stored.isEmpty()) objectMissing(tr.table);
    const TableDefinition* def = core.table(tr.schema, stored);
    if (!def) objectMissing(tr.table);
    if (def->find(c.name) >= 0) raiseServerError(2705, msg::duplicateColumn(c.name, stored));
    if (c.identity || c.primaryKey) {
        raiseServerError(50000, QStringLiteral("The embedded server cannot add an identity or key column to table '%1'.").arg(stored));
    }
    defaultLength(c);
    try {
        exec(core.db(),
             QStringLiteral("ALTER TABLE ") + schemaRef(tr.schema) + u'.' + quoteName(stored) + QStringLiteral(" ADD COLUMN ") +
                 sqliteColumnText(c),
             core.context());
    } catch (const DbError& e) {
        if (e.description().contains(QStringLiteral("NOT NULL column"))) {
            raiseServerError(4901, QStringLiteral("ALTER TABLE only allows columns to be added that can contain nulls, or have "
                                                  "a DEFAULT definition specified. Column '%1' cannot be added to table '%2'.")
                                       .arg(c.name, stored));
        }
        throw;
    }
}

void alterColumn(Core& core, const Translation& tr) {
    bool ok = false;
    ColumnDef c = readColumn(tr.definition, ok);
    if (!ok) raiseServerError(102, msg::syntaxNear(tr.column.isEmpty() ? QStringLiteral("COLUMN") : tr.column));
    const QString stored = core.storedTableName(tr.schema, tr.table);
    if (stored.isEmpty()) objectMissing(tr.table);
    const TableDefinition* found = core.table(tr.schema, stored);
    if (!found) objectMissing(tr.table);
    const TableDefinition oldDef = *found;
    const int idx = oldDef.find(c.name);
    if (idx < 0) {
        raiseServerError(4924, QStringLiteral("ALTER TABLE ALTER COLUMN failed because column '%1' does not exist in table "
                                              "'%2'.")
                                   .arg(c.name, stored));
    }
    const ColumnDef& old = oldDef.columns[static_cast<size_t>(idx)];
    if (old.identity || c.identity) {
        raiseServerError(4928, QStringLiteral("Cannot alter column '%1' because it is 'IDENTITY'.").arg(old.name));
    }
    defaultLength(c);
    QString text = quoteName(old.name) + u' ' + sqliteTypeText(c.typeText);
    const QString rest = translateDdlTokens(withoutNullability(old.constraints));
    if (!rest.isEmpty()) text += u' ' + rest;
    text += c.notNull ? QStringLiteral(" NOT NULL") : QStringLiteral(" NULL");
    TableDefinition newDef = oldDef;
    newDef.columns[static_cast<size_t>(idx)].tokens = tokenize(text);
    const SqlType newType = SqlType::parse(c.typeText);
    const QString column = quoteName(old.name);
    const bool notNull = c.notNull;
    rebuild(core, tr.schema, stored, oldDef, newDef, [&](const QString& tmpRef) {
        for (const auto& check : newType.checks(column)) {
            Statement q(core.db(),
                        QStringLiteral("SELECT ") + check.raise + QStringLiteral(" FROM ") + tmpRef + QStringLiteral(" WHERE ") +
                            check.condition + QStringLiteral(" LIMIT 1"),
                        core.context());
            q.step();
        }
        if (notNull) {
            Statement q(core.db(), QStringLiteral("SELECT count(*) FROM ") + tmpRef + QStringLiteral(" WHERE ") + column + QStringLiteral(" IS NULL"),
                        core.context());
            q.step();
            if (q.int64(0) > 0) {
                raiseServerError(515, QStringLiteral("Cannot insert the value NULL into column '%1', table '%2.dbo.%3'; column "
                                                     "does not allow nulls. UPDATE fails.")
                                          .arg(old.name, core.database(), stored));
            }
        }
    });
}

void addConstraint(Core& core, const Translation& tr) {
    const QString stored = core.storedTableName(tr.schema, tr.table);
    if (stored.isEmpty()) objectMissing(tr.table);
    const TableDefinition* found = core.table(tr.schema, stored);
    if (!found) objectMissing(tr.table);
    const TableDefinition oldDef = *found;
    const QString name = tr.name.isEmpty() ? QStringLiteral("PK__") + stored : tr.name;
    for (const QString& col : tr.columns) {
        if (oldDef.find(col) < 0) {
            raiseServerError(1911, QStringLiteral("Column name '%1' does not exist in the target table or view.").arg(col));
        }
    }
    if (tr.columns.isEmpty()) raiseServerError(102, msg::syntaxNear(tr.constraintKind));
    if (tr.constraintKind == u"UNIQUE") {
        Translation index = tr;
        index.name = name;
        index.unique = true;
        createIndex(core, index);
        return;
    }
    if (tr.constraintKind != u"PRIMARY KEY") {
        raiseServerError(50000, QStringLiteral("The embedded server does not keep %1 constraints (table '%2').")
                                    .arg(tr.constraintKind, stored));
    }
    if (objectNamed(core, tr.schema, name)) raiseServerError(2714, msg::objectExists(name));
    if (!oldDef.primaryKeyName().isEmpty()) {
        raiseServerError(1779, QStringLiteral("Table '%1' already has a primary key defined on it.").arg(stored));
    }
    for (const QString& col : tr.columns) {
        const ColumnDef& cd = oldDef.columns[static_cast<size_t>(oldDef.find(col))];
        if (!cd.notNull && !cd.identity && !cd.primaryKey) {
            raiseServerError(8111, QStringLiteral("Cannot define PRIMARY KEY constraint on nullable column in table '%1'.")
                                       .arg(stored));
        }
    }
    TableDefinition newDef = oldDef;
    const QStringList existing = oldDef.primaryKeyColumns();
    auto sameColumns = [&] {
        if (existing.size() != tr.columns.size()) return false;
        for (qsizetype i = 0; i < existing.size(); ++i) {
            if (existing[i].compare(tr.columns[i], Qt::CaseInsensitive) != 0) return false;
        }
        return true;
    };
    if (!existing.isEmpty()) {
        // The table has an unnamed key already (the identity column is the key): name it.
        if (!sameColumns()) raiseServerError(1779, QStringLiteral("Table '%1' already has a primary key defined on it.").arg(stored));
        bool named = false;
        for (auto& c : newDef.columns) {
            if (!c.primaryKey) continue;
            c.keyName = name;
            if (c.identity) {
                c.tokens = tokenize(sqliteColumnText(c));
            } else {
                std::vector<Token> k;
                for (const auto& t : c.constraints) {
                    if (t.isWord("PRIMARY")) {
                        const auto add = tokenize(QStringLiteral("CONSTRAINT ") + quoteName(name) + u' ');
                        k.insert(k.end(), add.begin(), add.end());
                    }
                    k.push_back(t);
                }
                c.tokens = tokenize(quoteName(c.name) + u' ' + sqliteTypeText(c.typeText) + u' ' + joinTokens(k));
            }
            named = true;
        }
        for (auto& tc : newDef.constraints) {
            if (named || tc.kind != u"PRIMARY KEY") continue;
            auto t = tokenize(QStringLiteral("CONSTRAINT ") + quoteName(name) + u' ');
            t.insert(t.end(), tc.tokens.begin(), tc.tokens.end());
            tc.tokens = t;
            named = true;
        }
    } else {
        QStringList cols;
        for (const QString& c : tr.columns) cols.push_back(quoteName(c));
        TableConstraint tc;
        tc.name = name;
        tc.kind = QStringLiteral("PRIMARY KEY");
        tc.columns = tr.columns;
        tc.tokens = tokenize(QStringLiteral("CONSTRAINT ") + quoteName(name) + QStringLiteral(" PRIMARY KEY (") +
                             cols.join(QStringLiteral(", ")) + u')');
        newDef.constraints.push_back(tc);
    }
    try {
        rebuild(core, tr.schema, stored, oldDef, newDef, nullptr);
    } catch (const DbError& e) {
        if (e.number() == 2601) {
            raiseServerError(1505, QStringLiteral("The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                                                  "found for the object name 'dbo.%1' and the index name '%2'.")
                                       .arg(stored, name));
        }
        throw;
    }
}

void createIndex(Core& core, const Translation& tr) {
    const QString stored = core.storedTableName(tr.schema, tr.table);
    if (stored.isEmpty()) {
        raiseServerError(1088, QStringLiteral("Cannot find the object \"%1\" because it does not exist or you do not have "
                                              "permissions.")
                                   .arg(tr.table));
    }
    const TableDefinition* def = core.table(tr.schema, stored);
    QStringList cols;
    for (qsizetype n = 0; n < tr.columns.size(); ++n) {
        const QString& col = tr.columns[n];
        const bool descending = static_cast<size_t>(n) < tr.descending.size() && tr.descending[static_cast<size_t>(n)];
        if (def && def->find(col) < 0) {
            raiseServerError(1911, QStringLiteral("Column name '%1' does not exist in the target table or view.").arg(col));
        }
        // Kept in the collation that the translated comparisons use, so that SQLite can look
        // rows up through the index (and a unique index refuses what SQL Server's default
        // collation would: values that differ only in case or trailing blanks).
        cols.push_back(quoteName(col) + QStringLiteral(" COLLATE TSQL_TEXT") +
                       (descending ? QStringLiteral(" DESC") : QString()));
    }
    {
        Statement q(core.db(),
                    QStringLiteral("SELECT tbl_name FROM ") + schemaRef(tr.schema) +
                        QStringLiteral(".sqlite_master WHERE type = 'index' AND name = ? COLLATE NOCASE"),
                    core.context());
        q.bind(1, tr.name);
        if (q.step()) {
            raiseServerError(1913, QStringLiteral("The operation failed because an index or statistics with name '%1' already "
                                                  "exists on table '%2'.")
                                       .arg(tr.name, q.text(0)));
        }
    }
    try {
        exec(core.db(),
             QStringLiteral("CREATE ") + (tr.unique ? QStringLiteral("UNIQUE ") : QString()) + QStringLiteral("INDEX ") +
                 schemaRef(tr.schema) + u'.' + quoteName(tr.name) + QStringLiteral(" ON ") + quoteName(stored) + QStringLiteral(" (") +
                 cols.join(QStringLiteral(", ")) + u')',
             core.context());
    } catch (const DbError& e) {
        if (e.number() == 2601) {
            raiseServerError(1505, QStringLiteral("The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                                                  "found for the object name 'dbo.%1' and the index name '%2'.")
                                       .arg(stored, tr.name));
        }
        throw;
    }
}

void dropTable(Core& core, const Translation& tr) {
    const QString stored = core.storedTableName(tr.schema, tr.table);
    if (stored.isEmpty()) {
        raiseServerError(3701, QStringLiteral("Cannot drop the table '%1', because it does not exist or you do not have "
                                              "permission.")
                                   .arg(tr.table));
    }
    exec(core.db(), QStringLiteral("DROP TABLE ") + schemaRef(tr.schema) + u'.' + quoteName(stored), core.context());
}

}  // namespace data::embedded
