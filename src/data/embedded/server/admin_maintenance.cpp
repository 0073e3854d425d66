// Table maintenance and structure: DBCC UPDATEUSAGE and DBREINDEX, UPDATE STATISTICS,
// ALTER TABLE ... DROP COLUMN, and sp_help with the result sets SQL Server gives a table.
#include "data/embedded/server/admin_common.h"
#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/tabledef.h"
#include "data/embedded/translate/translator.h"

namespace data::embedded::admin {

namespace {

using Kind = SqlType::Kind;

std::vector<const Token*> meaningful(const std::vector<Token>& in) {
    std::vector<const Token*> t;
    for (const auto& tok : in) {
        if (!tok.isTrivia()) t.push_back(&tok);
    }
    return t;
}

[[noreturn]] void syntaxAt(const std::vector<const Token*>& t, size_t i) {
    raiseServerError(102, msg::syntaxNear(i < t.size() ? t[i]->text : (t.empty() ? QString() : t.back()->text)));
}

// A dotted object name starting at t[i]: its database (empty for the current one) and name.
struct ObjectRef {
    QString database;
    QString name;
    QString written;
};

ObjectRef objectAt(const std::vector<const Token*>& t, size_t& i) {
    QStringList parts;
    QString written;
    bool expectName = true;
    while (i < t.size()) {
        if (expectName && (t[i]->isName() || t[i]->kind == TokenKind::String)) {
            parts.push_back(t[i]->value());
            written += t[i]->text;
            expectName = false;
            ++i;
        } else if (t[i]->isPunct(".")) {
            if (expectName) parts.push_back(QString());
            written += t[i]->text;
            expectName = true;
            ++i;
        } else {
            break;
        }
    }
    if (parts.isEmpty() || parts.back().isEmpty()) syntaxAt(t, i);
    ObjectRef r;
    r.name = parts.back();
    r.written = written;
    if (parts.size() >= 3) r.database = parts[parts.size() - 3];
    return r;
}

// The schema (main or an attached alias) of a database named in a statement.
QString schemaFor(Core& core, const QString& database) {
    if (database.isEmpty() || sameName(database, core.database())) return QStringLiteral("main");
    core.attach({database});
    return database;
}

void requireMaintainer(Core& core, const QString& what) {
    const DbRights r = rightsHere(core);
    if (!r.has("db_ddladmin")) {
        raiseServerError(2571, QStringLiteral("User '%1' does not have permission to run DBCC %2.").arg(core.login().name, what));
    }
}

[[noreturn]] void noTable(const QString& name) {
    raiseServerError(2501, QStringLiteral("Cannot find a table or object with the name \"%1\". Check the system catalog.").arg(name));
}

// The arguments of a DBCC command between its parentheses, as written values.
QStringList dbccArguments(const std::vector<const Token*>& t, size_t& i) {
    QStringList out;
    if (i >= t.size() || !t[i]->isPunct("(")) return out;
    ++i;
    QString cur;
    bool any = false;
    for (; i < t.size(); ++i) {
        if (t[i]->isPunct(")")) {
            ++i;
            if (any) out.push_back(cur);
            return out;
        }
        if (t[i]->isPunct(",")) {
            out.push_back(cur);
            cur.clear();
            continue;
        }
        cur += (t[i]->kind == TokenKind::String || t[i]->kind == TokenKind::QuotedName) ? t[i]->value() : t[i]->text;
        any = true;
    }
    syntaxAt(t, i);
}

}  // namespace

provider::Result dbcc(Core& core, const Translation& tr) {
    const auto t = meaningful(tr.definition);
    size_t i = 1;
    if (i >= t.size() || t[i]->kind != TokenKind::Word) syntaxAt(t, i);
    const QString command = t[i++]->text.toUpper();
    const QStringList args = dbccArguments(t, i);
    if (i < t.size() && !t[i]->isWord("WITH")) syntaxAt(t, i);
    if (command == u"UPDATEUSAGE") {
        // SQLite keeps no page counts to correct: the command checks its names and is done.
        if (args.isEmpty()) syntaxAt(t, i);
        const QString db = args[0].trimmed();
        const QString database = (db == u"0" || db.isEmpty()) ? core.database() : db;
        if (core.server().databaseFile(database).isEmpty()) {
            raiseServerError(2520, QStringLiteral("Could not find database '%1'. The database either does not exist, or was "
                                                  "dropped before a statement tried to use it. Verify if the database exists by "
                                                  "querying the sys.databases catalog view.")
                                       .arg(database));
        }
        const LoginInfo me = core.admin().login();
        const auto info = databaseInfo(core.admin(), database);
        if (sameName(database, core.database())) {
            requireMaintainer(core, command);
        } else if (!me.sysadmin() && !(info && info->ownerSid == me.sid)) {
            raiseServerError(2571, QStringLiteral("User '%1' does not have permission to run DBCC %2.").arg(core.login().name, command));
        }
        if (args.size() > 1 && !args[1].trimmed().isEmpty()) {
            const QString schema = schemaFor(core, database);
            if (core.storedTableName(schema, args[1].trimmed()).isEmpty()) noTable(args[1].trimmed());
        }
        return noRows();
    }
    if (command == u"DBREINDEX") {
        if (args.isEmpty()) syntaxAt(t, i);
        requireMaintainer(core, command);
        const QString stored = core.storedTableName(QStringLiteral("main"), args[0].trimmed());
        if (stored.isEmpty()) noTable(args[0].trimmed());
        exec(core.db(), QStringLiteral("REINDEX main.") + quoteName(stored), core.context());
        return noRows();
    }
    if (command == u"CHECKDB") {
        Statement q(core.db(), QStringLiteral("PRAGMA main.integrity_check"), core.context());
        if (q.step() && q.text(0) != u"ok") {
            raiseServerError(8939, QStringLiteral("Table error: database '%1': %2").arg(core.database(), q.text(0)));
        }
        return noRows();
    }
    raiseServerError(2526, QStringLiteral("Incorrect DBCC statement. Check the documentation for the correct DBCC syntax and options."));
}

provider::Result updateStatistics(Core& core, const Translation& tr) {
    const auto t = meaningful(tr.definition);
    size_t i = 2;
    const ObjectRef o = objectAt(t, i);
    const QString schema = schemaFor(core, o.database);
    const QString stored = core.storedTableName(schema, o.name);
    if (stored.isEmpty()) raiseServerError(2706, QStringLiteral("Table '%1' does not exist.").arg(o.name));
    if (schema == u"main" && !rightsHere(core).has("db_ddladmin")) noPermission();
    exec(core.db(), QStringLiteral("ANALYZE ") + schemaRef(schema) + u'.' + quoteName(stored), core.context());
    return noRows();
}

namespace {

// The column-level constraints of a definition: its named or unnamed DEFAULT.
struct ColumnDefault {
    QString name;        // empty when unnamed
    QString expression;  // as SQL Server shows it, in parentheses
};

std::optional<ColumnDefault> columnDefault(const ColumnDef& c) {
    const auto& k = c.constraints;
    QString pendingName;
    for (size_t i = 0; i < k.size(); ++i) {
        if (k[i].isWord("CONSTRAINT")) {
            size_t n = i + 1;
            while (n < k.size() && k[n].isTrivia()) ++n;
            if (n < k.size()) pendingName = k[n].value();
            i = n;
            continue;
        }
        if (!k[i].isWord("DEFAULT")) {
            if (!k[i].isTrivia()) pendingName.clear();
            continue;
        }
        int depth = 0;
        QString expr;
        size_t j = i + 1;
        for (; j < k.size(); ++j) {
            if (k[j].isPunct("(")) ++depth;
            if (k[j].isPunct(")")) --depth;
            if (depth == 0 && (k[j].isWord("CONSTRAINT") || k[j].isWord("NOT") || k[j].isWord("NULL") ||
                               k[j].isWord("PRIMARY") || k[j].isWord("UNIQUE") || k[j].isWord("CHECK") ||
                               k[j].isWord("REFERENCES") || k[j].isWord("COLLATE"))) {
                break;
            }
            if (k[j].kind != TokenKind::Comment) expr += k[j].text;
        }
        expr = expr.trimmed();
        bool wrapped = expr.startsWith(u'(') && expr.endsWith(u')');
        if (wrapped) {
            int d = 0;
            for (qsizetype p = 0; p < expr.size() - 1; ++p) {
                if (expr[p] == u'(') ++d;
                if (expr[p] == u')') --d;
                if (d == 0) {
                    wrapped = false;
                    break;
                }
            }
        }
        return ColumnDefault{pendingName, wrapped ? expr : u'(' + expr + u')'};
    }
    return std::nullopt;
}

QString defaultName(const QString& table, const ColumnDef& c, const ColumnDefault& d) {
    return d.name.isEmpty() ? QStringLiteral("DF__%1__%2").arg(table, c.name) : d.name;
}

struct IndexInfo {
    QString name;
    bool unique = false;
    bool primary = false;
    QStringList columns;
};

std::vector<IndexInfo> indexesOf(Core& core, const QString& schema, const QString& table, const TableDefinition& def) {
    std::vector<IndexInfo> out;
    for (const auto& c : def.columns) {
        if (c.primaryKey && (c.identity || c.type.kind == Kind::SqliteInteger)) {
            out.push_back({c.keyName.isEmpty() ? QStringLiteral("PK__") + table : c.keyName, true, true, {c.name}});
        }
    }
    Statement list(core.db(), QStringLiteral("PRAGMA ") + schemaRef(schema) + QStringLiteral(".index_list(") + quoteName(table) + u')',
                   core.context());
    std::vector<std::tuple<QString, bool, QString>> found;
    while (list.step()) found.emplace_back(list.text(1), list.int64(2) != 0, list.text(3));
    for (const auto& [name, unique, origin] : found) {
        IndexInfo ix{name, unique, origin == u"pk", {}};
        if (ix.primary) ix.name = def.primaryKeyName().isEmpty() ? QStringLiteral("PK__") + table : def.primaryKeyName();
        Statement info(core.db(), QStringLiteral("PRAGMA ") + schemaRef(schema) + QStringLiteral(".index_info(") + quoteName(name) + u')',
                       core.context());
        while (info.step()) ix.columns.push_back(info.text(2));
        if (!ix.primary && ix.name.startsWith(QLatin1String("sqlite_autoindex_"))) {
            // A UNIQUE constraint's own index: shown under the constraint's name.
            for (const auto& tc : def.constraints) {
                if (tc.kind == u"UNIQUE" && tc.columns.size() == ix.columns.size() && !tc.name.isEmpty()) ix.name = tc.name;
            }
        }
        out.push_back(ix);
    }
    return out;
}

}  // namespace

provider::Result dropColumn(Core& core, const Translation& tr) {
    const auto t = meaningful(tr.definition);
    size_t i = 2;
    const ObjectRef o = objectAt(t, i);
    if (i + 1 >= t.size() || !t[i]->isWord("DROP") || !t[i + 1]->isWord("COLUMN")) syntaxAt(t, i);
    i += 2;
    QStringList columns;
    while (i < t.size()) {
        if (!t[i]->isName()) syntaxAt(t, i);
        columns.push_back(t[i]->value());
        ++i;
        if (i < t.size()) {
            if (!t[i]->isPunct(",")) syntaxAt(t, i);
            ++i;
        }
    }
    if (columns.isEmpty()) syntaxAt(t, i);
    const QString schema = schemaFor(core, o.database);
    const QString stored = core.storedTableName(schema, o.name);
    if (stored.isEmpty()) {
        raiseServerError(4902, QStringLiteral("Cannot find the object \"%1\" because it does not exist or you do not have "
                                              "permissions.")
                                   .arg(o.name));
    }
    const TableDefinition* found = core.table(schema, stored);
    if (!found) raiseServerError(4902, QStringLiteral("Cannot find the object \"%1\".").arg(o.name));
    const TableDefinition def = *found;
    const auto indexes = indexesOf(core, schema, stored, def);
    for (const QString& col : columns) {
        const int at = def.find(col);
        if (at < 0) {
            raiseServerError(4924, QStringLiteral("ALTER TABLE DROP COLUMN failed because column '%1' does not exist in table '%2'.")
                                       .arg(col, stored));
        }
        const ColumnDef& c = def.columns[static_cast<size_t>(at)];
        if (def.columns.size() <= static_cast<size_t>(columns.size())) {
            raiseServerError(4923, QStringLiteral("ALTER TABLE DROP COLUMN failed because '%1' is the only data column in table "
                                                  "'%2'. A table must have at least one data column.")
                                       .arg(c.name, stored));
        }
        QString dependent;
        for (const auto& ix : indexes) {
            if (dependent.isEmpty() && ix.columns.contains(c.name, Qt::CaseInsensitive)) dependent = ix.name;
        }
        for (const auto& tc : def.constraints) {
            if (dependent.isEmpty() && tc.columns.contains(c.name, Qt::CaseInsensitive)) {
                dependent = tc.name.isEmpty() ? tc.kind : tc.name;
            }
        }
        if (dependent.isEmpty() && c.identity) dependent = QStringLiteral("PK__") + stored;
        if (dependent.isEmpty()) {
            if (const auto d = columnDefault(c)) dependent = defaultName(stored, c, *d);
        }
        if (!dependent.isEmpty()) {
            raiseErrors({{5074, QStringLiteral("The object '%1' is dependent on column '%2'.").arg(dependent, c.name)},
                         {4922, QStringLiteral("ALTER TABLE DROP COLUMN %1 failed because one or more objects access this "
                                               "column.")
                                    .arg(c.name)}});
        }
    }
    // This connection's write checks name the columns: they are made again at the next write.
    {
        Statement q(core.db(), QStringLiteral("SELECT name FROM temp.sqlite_master WHERE type = 'trigger' AND tbl_name = ? COLLATE NOCASE"),
                    core.context());
        q.bind(1, stored);
        QStringList triggers;
        while (q.step()) triggers.push_back(q.text(0));
        for (const QString& trig : triggers) exec(core.db(), QStringLiteral("DROP TRIGGER temp.") + quoteName(trig), core.context());
    }
    exec(core.db(), QStringLiteral("SAVEPOINT tsql_dropcolumn"), core.context());
    try {
        for (const QString& col : columns) {
            exec(core.db(),
                 QStringLiteral("ALTER TABLE ") + schemaRef(schema) + u'.' + quoteName(stored) + QStringLiteral(" DROP COLUMN ") +
                     quoteName(def.columns[static_cast<size_t>(def.find(col))].name),
                 core.context());
        }
        exec(core.db(), QStringLiteral("RELEASE tsql_dropcolumn"), core.context());
    } catch (...) {
        sqlite3_exec(core.db(), "ROLLBACK TO tsql_dropcolumn; RELEASE tsql_dropcolumn", nullptr, nullptr, nullptr);
        core.schemaChanged();
        throw;
    }
    core.schemaChanged();
    return noRows();
}

namespace {

long storageLength(const SqlType& t) {
    switch (t.kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::Binary:
        case Kind::VarBinary:
            return t.length > 0 ? t.length : 8000;
        case Kind::NChar:
        case Kind::NVarChar:
            return t.length > 0 ? 2 * t.length : 8000;
        case Kind::Text:
        case Kind::NText:
        case Kind::Image:
        case Kind::SqliteText:
        case Kind::SqliteBlob:
        case Kind::UniqueIdentifier:
            return 16;
        case Kind::Bit:
        case Kind::TinyInt:
            return 1;
        case Kind::SmallInt:
            return 2;
        case Kind::Int:
        case Kind::SqliteInteger:
        case Kind::SmallMoney:
        case Kind::Real:
        case Kind::SmallDateTime:
            return 4;
        case Kind::BigInt:
        case Kind::Money:
        case Kind::Float:
        case Kind::SqliteReal:
        case Kind::DateTime:
            return 8;
        case Kind::Numeric:
            return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
        case Kind::Unknown:
            return 0;
    }
    return 0;
}

// Prec and Scale as sp_help writes them: right-aligned in five characters, blank where the
// type has none.
std::pair<QString, QString> precisionScale(const SqlType& t) {
    auto f = [](int v) { return QStringLiteral("%1").arg(v, 5); };
    const QString blank(5, u' ');
    switch (t.kind) {
        case Kind::TinyInt:
            return {f(3), f(0)};
        case Kind::SmallInt:
            return {f(5), f(0)};
        case Kind::Int:
        case Kind::SqliteInteger:
            return {f(10), f(0)};
        case Kind::BigInt:
            return {f(19), f(0)};
        case Kind::Money:
            return {f(19), f(4)};
        case Kind::SmallMoney:
            return {f(10), f(4)};
        case Kind::Numeric:
            return {f(t.precision > 0 ? t.precision : 18), f(t.scale)};
        case Kind::Float:
        case Kind::SqliteReal:
            return {f(53), blank};
        case Kind::Real:
            return {f(24), blank};
        default:
            return {blank, blank};
    }
}

bool characterType(const SqlType& t) {
    return t.kind == Kind::Char || t.kind == Kind::VarChar || t.kind == Kind::NChar || t.kind == Kind::NVarChar ||
           t.kind == Kind::Text || t.kind == Kind::NText || t.kind == Kind::SqliteText;
}

std::vector<provider::Result> helpTable(Core& core, const QString& schema, const QString& stored, const TableDefinition& def,
                                        bool view) {
    std::vector<provider::Result> out;
    const auto info = databaseInfo(core.admin(), core.database());
    {
        ResultBuilder b;
        b.wide("Name", 128).wide("Owner", 128).text("Type", 31).text("Created_datetime", 23);
        QString created;
        if (info) {
            Statement q(core.admin().master(), QStringLiteral("SELECT crdate FROM sysdatabases WHERE dbid = ?"), ErrorContext{});
            q.bind(1, info->dbid);
            if (q.step()) created = q.text(0);
        }
        b.row({stored, QStringLiteral("dbo"), view ? QStringLiteral("view") : QStringLiteral("user table"), textOrNull(created)});
        out.push_back(b.done());
    }
    {
        ResultBuilder b;
        b.wide("Column_name", 128).wide("Type", 128).text("Computed", 35).integer("Length").text("Prec", 5).text("Scale", 5);
        b.text("Nullable", 35).text("TrimTrailingBlanks", 35).text("FixedLenNullInSource", 35).wide("Collation", 128);
        for (const auto& c : def.columns) {
            const bool nullable = !c.notNull && !c.identity && !c.primaryKey;
            const auto [prec, scale] = precisionScale(c.type);
            const bool chars = characterType(c.type);
            const bool fixedOrVar = chars || c.type.isBinary();
            b.row({c.name, c.type.typeName(), QStringLiteral("no"), static_cast<std::int32_t>(storageLength(c.type)), prec, scale,
                   nullable ? QStringLiteral("yes") : QStringLiteral("no"), fixedOrVar ? QStringLiteral("no") : QStringLiteral("(n/a)"),
                   fixedOrVar ? (nullable ? QStringLiteral("yes") : QStringLiteral("no")) : QStringLiteral("(n/a)"),
                   chars ? Variant(QStringLiteral("SQL_Latin1_General_CP1_CI_AS")) : Variant::null()});
        }
        out.push_back(b.done());
    }
    if (view) return out;
    {
        ResultBuilder b;
        b.wide("Identity", 128).integer("Seed").integer("Increment").integer("Not For Replication");
        bool any = false;
        for (const auto& c : def.columns) {
            if (!c.identity) continue;
            b.row({c.name, static_cast<std::int32_t>(c.seed), static_cast<std::int32_t>(c.increment), static_cast<std::int32_t>(0)});
            any = true;
            break;
        }
        if (!any) b.row({QStringLiteral("No identity column defined."), Variant::null(), Variant::null(), Variant::null()});
        out.push_back(b.done());
    }
    {
        ResultBuilder b;
        b.wide("RowGuidCol", 128);
        QString guid;
        for (const auto& c : def.columns) {
            for (const auto& k : c.constraints) {
                if (k.isWord("ROWGUIDCOL") && guid.isEmpty()) guid = c.name;
            }
        }
        b.row({guid.isEmpty() ? QStringLiteral("No rowguidcol column defined.") : guid});
        out.push_back(b.done());
    }
    {
        ResultBuilder b;
        b.wide("Data_located_on_filegroup", 128);
        b.row({QStringLiteral("PRIMARY")});
        out.push_back(b.done());
    }
    // The server's own work between the lists leaves two results without rows; callers count
    // on the constraint list being the ninth result.
    const auto indexes = indexesOf(core, schema, stored, def);
    out.push_back(noRows(static_cast<long>(indexes.size())));
    {
        ResultBuilder b;
        b.wide("index_name", 128).text("index_description", 210).wide("index_keys", 2126);
        for (const auto& ix : indexes) {
            QString d = QStringLiteral("nonclustered");
            if (ix.unique) d += QStringLiteral(", unique");
            if (ix.primary) d += QStringLiteral(", primary key");
            b.row({ix.name, d + QStringLiteral(" located on PRIMARY"), ix.columns.join(QStringLiteral(", "))});
        }
        out.push_back(b.done());
    }
    ResultBuilder b;
    b.text("constraint_type", 146).wide("constraint_name", 128).text("delete_action", 9).text("update_action", 9);
    b.text("status_enabled", 8).text("status_for_replication", 19).wide("constraint_keys", 2126);
    const QString na = QStringLiteral("(n/a)");
    const QStringList pk = def.primaryKeyColumns();
    if (!pk.isEmpty()) {
        const QString name = def.primaryKeyName().isEmpty() ? QStringLiteral("PK__") + stored : def.primaryKeyName();
        b.row({QStringLiteral("PRIMARY KEY (non-clustered)"), name, na, na, na, na, pk.join(QStringLiteral(", "))});
    }
    for (const auto& c : def.columns) {
        if (const auto d = columnDefault(c)) {
            b.row({QStringLiteral("DEFAULT on column ") + c.name, defaultName(stored, c, *d), na, na, na, na, d->expression});
        }
    }
    for (const auto& tc : def.constraints) {
        if (tc.kind == u"UNIQUE") {
            b.row({QStringLiteral("UNIQUE (non-clustered)"), tc.name, na, na, na, na, tc.columns.join(QStringLiteral(", "))});
        } else if (tc.kind == u"FOREIGN KEY") {
            b.row({QStringLiteral("FOREIGN KEY"), tc.name, QStringLiteral("No Action"), QStringLiteral("No Action"),
                   QStringLiteral("Enabled"), QStringLiteral("Is_For_Replication"), tc.columns.join(QStringLiteral(", "))});
        } else if (tc.kind == u"CHECK") {
            b.row({QStringLiteral("CHECK Table Level "), tc.name, na, na, QStringLiteral("Enabled"),
                   QStringLiteral("Is_For_Replication"), joinTokens(tc.tokens)});
        }
    }
    provider::Result list = b.done();
    out.push_back(noRows(static_cast<long>(list.rows.size())));
    out.push_back(std::move(list));
    return out;
}

std::vector<provider::Result> spHelp(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("objname")}, QStringLiteral("sp_help"));
    const QString given = a.value(QStringLiteral("objname"));
    std::vector<provider::Result> out;
    if (given.isNull()) {
        ResultBuilder b;
        b.wide("Name", 128).wide("Owner", 128).text("Object_type", 31);
        Statement q(core.db(),
                    QStringLiteral("SELECT type, name FROM main.sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE "
                                   "'sqlite\\_%' ESCAPE '\\' AND name NOT LIKE 'tsql\\_%' ESCAPE '\\' ORDER BY name"),
                    core.context());
        while (q.step()) {
            const bool system = sameName(q.text(1), QStringLiteral("sysusers")) || sameName(q.text(1), QStringLiteral("sysmembers"));
            b.row({q.text(1), QStringLiteral("dbo"),
                   q.text(0) == u"view" ? QStringLiteral("view") : system ? QStringLiteral("system table") : QStringLiteral("user table")});
        }
        out.push_back(b.done());
        return out;
    }
    const auto tokens = tokenize(given);
    QString name;
    for (const auto& t : tokens) {
        if (t.isName()) name = t.value();
    }
    if (name.isEmpty()) name = given.trimmed();
    const QString schema = isLocalTempName(name) ? QStringLiteral("temp") : QStringLiteral("main");
    const QString stored = core.storedTableName(schema, name);
    if (!stored.isEmpty()) {
        if (const TableDefinition* def = core.table(schema, stored)) return helpTable(core, schema, stored, *def, false);
    }
    {
        Statement q(core.db(), QStringLiteral("SELECT name FROM main.sqlite_master WHERE type = 'view' AND name = ? COLLATE NOCASE"),
                    core.context());
        q.bind(1, name);
        if (q.step()) {
            const QString view = q.text(0);
            TableDefinition def;
            Statement cols(core.db(), QStringLiteral("PRAGMA main.table_info(") + quoteName(view) + u')', core.context());
            while (cols.step()) {
                ColumnDef c;
                c.name = cols.text(1);
                c.typeText = cols.text(2);
                c.type = SqlType::parse(c.typeText);
                c.notNull = cols.int64(3) != 0;
                def.columns.push_back(c);
            }
            return helpTable(core, QStringLiteral("main"), view, def, true);
        }
    }
    raiseServerError(15009, QStringLiteral("The object '%1' does not exist in database '%2' or is invalid for this operation.")
                                .arg(given, core.database()));
}

}  // namespace

Handler maintenanceProcedure(const QString& n) {
    if (n == u"sp_help") return spHelp;
    return nullptr;
}

}  // namespace data::embedded::admin
