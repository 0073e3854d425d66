#include "data/embedded/core.h"

#include "data/adoconstants.h"
#include "data/embedded/procedures.h"
#include "data/embedded/schemaops.h"
#include "data/embedded/semantics.h"

namespace data::embedded {

namespace {

constexpr long kNoLimitSeconds = 600;  // what "no time-out" waits for a lock at most
constexpr int kMaxAttached = 9;
constexpr int kTranslationCacheSize = 512;

int progressHandler(void* p) {
    auto* clock = static_cast<std::pair<const QElapsedTimer*, const long*>*>(p);
    const long limit = *clock->second;
    return (limit > 0 && clock->first->isValid() && clock->first->elapsed() > limit * 1000) ? 1 : 0;
}

SqlType typeForAdo(int adoType) {
    switch (adoType) {
        case ado::adCurrency:
            return SqlType::parse(QStringLiteral("money"));
        case ado::adDBTimeStamp:
        case ado::adDate:
            return SqlType::parse(QStringLiteral("datetime"));
        case ado::adBoolean:
            return SqlType::parse(QStringLiteral("bit"));
        case ado::adSmallInt:
        case ado::adInteger:
        case ado::adBigInt:
        case ado::adTinyInt:
        case ado::adUnsignedTinyInt:
            return SqlType::parse(QStringLiteral("bigint"));
        case ado::adDouble:
        case ado::adSingle:
            return SqlType::parse(QStringLiteral("float"));
        case ado::adBinary:
        case ado::adVarBinary:
        case ado::adLongVarBinary:
            return SqlType::parse(QStringLiteral("image"));
        case ado::adChar:
        case ado::adVarChar:
        case ado::adLongVarChar:
        case ado::adWChar:
        case ado::adVarWChar:
        case ado::adLongVarWChar:
        case ado::adBSTR:
            return SqlType::parse(QStringLiteral("text"));
        default:
            return SqlType{};
    }
}

// Writes rows of an updatable recordset back to their table by the row key (rowid).
class EmbeddedRowWriter : public provider::RowWriter {
public:
    EmbeddedRowWriter(std::weak_ptr<Core> core, QString schema, QString table, std::vector<QString> origins,
                      std::vector<SqlType> types)
        : core_(std::move(core)), schema_(std::move(schema)), table_(std::move(table)), origins_(std::move(origins)),
          types_(std::move(types)) {}

    void update(const Variant& key, const provider::Changes& changes) override {
        auto core = lock();
        core->ensureChecks(schema_, table_);
        QStringList sets;
        for (const auto& c : changes) sets.push_back(quoteName(origins_[static_cast<size_t>(c.first)]) + QStringLiteral(" = ?"));
        Statement st(core->db(),
                     QStringLiteral("UPDATE ") + qualified() + QStringLiteral(" SET ") + sets.join(QStringLiteral(", ")) +
                         QStringLiteral(" WHERE rowid = ?"),
                     core->context());
        int k = 1;
        for (const auto& c : changes) types_[static_cast<size_t>(c.first)].bind(st.get(), k++, c.second);
        st.bind(k, key.toInt64());
        core->startClock();
        st.step();
        if (sqlite3_changes(core->db()) == 0) rowMissing();
    }

    std::pair<Variant, provider::Row> insert(const provider::Changes& values) override {
        auto core = lock();
        core->ensureChecks(schema_, table_);
        QStringList cols;
        QStringList marks;
        for (const auto& c : values) {
            cols.push_back(quoteName(origins_[static_cast<size_t>(c.first)]));
            marks.push_back(QStringLiteral("?"));
        }
        const QString sql = cols.isEmpty() ? QStringLiteral("INSERT INTO ") + qualified() + QStringLiteral(" DEFAULT VALUES")
                                           : QStringLiteral("INSERT INTO ") + qualified() + QStringLiteral(" (") +
                                                 cols.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                                                 marks.join(QStringLiteral(", ")) + u')';
        Statement st(core->db(), sql, core->context());
        int k = 1;
        for (const auto& c : values) types_[static_cast<size_t>(c.first)].bind(st.get(), k++, c.second);
        core->startClock();
        st.step();
        const qint64 key = sqlite3_last_insert_rowid(core->db());
        return {Variant(static_cast<std::int64_t>(key)), reload(*core, key)};
    }

    void remove(const Variant& key) override {
        auto core = lock();
        Statement st(core->db(), QStringLiteral("DELETE FROM ") + qualified() + QStringLiteral(" WHERE rowid = ?"),
                     core->context());
        st.bind(1, key.toInt64());
        core->startClock();
        st.step();
        if (sqlite3_changes(core->db()) == 0) rowMissing();
    }

private:
    std::shared_ptr<Core> lock() const {
        auto core = core_.lock();
        if (!core) {
            throw DbError(3709, QStringLiteral("The connection cannot be used to perform this operation. It is either "
                                               "closed or invalid in this context."));
        }
        return core;
    }

    [[noreturn]] static void rowMissing() {
        throw DbError(-2147217864, QStringLiteral("Row cannot be located for updating. Some values may have been changed "
                                                  "since it was last read."));
    }

    QString qualified() const { return schemaRef(schema_) + u'.' + quoteName(table_); }

    provider::Row reload(Core& core, qint64 key) const {
        provider::Row row(origins_.size(), Variant::null());
        QStringList cols;
        std::vector<size_t> at;
        for (size_t i = 0; i < origins_.size(); ++i) {
            if (origins_[i].isEmpty()) continue;
            cols.push_back(quoteName(origins_[i]));
            at.push_back(i);
        }
        if (cols.isEmpty()) return row;
        Statement st(core.db(),
                     QStringLiteral("SELECT ") + cols.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + qualified() +
                         QStringLiteral(" WHERE rowid = ?"),
                     core.context());
        st.bind(1, key);
        if (st.step()) {
            for (size_t k = 0; k < at.size(); ++k) row[at[k]] = types_[at[k]].decode(st.get(), static_cast<int>(k));
        }
        return row;
    }

    std::weak_ptr<Core> core_;
    QString schema_;
    QString table_;
    std::vector<QString> origins_;  // base column per result column; empty when not of the table
    std::vector<SqlType> types_;
};

}  // namespace

QString schemaRef(const QString& schema) {
    return schema.compare(QLatin1String("main"), Qt::CaseInsensitive) == 0 ? QStringLiteral("main") : quoteName(schema);
}

Core::Core(ServerFolder server, Login login, long connectionTimeout, long commandTimeout)
    : server_(std::move(server)), login_(std::move(login)), connectionTimeout_(connectionTimeout),
      commandTimeout_(commandTimeout) {}

int Core::busyMs() const {
    const long s = commandTimeout_ > 0 ? commandTimeout_ : kNoLimitSeconds;
    return static_cast<int>(std::min<long>(s, 24L * 3600) * 1000);
}

void Core::setCommandTimeout(long seconds) {
    commandTimeout_ = seconds;
    if (db_) sqlite3_busy_timeout(db_.get(), busyMs());
}

void Core::startClock() { clock_.start(); }

void Core::openDatabase(const QString& requested, bool atLogin) {
    const QString name = requested.isEmpty() ? QStringLiteral("master") : requested;
    const QString file = server_.databaseFile(name);
    if (file.isEmpty()) {
        if (atLogin) raiseServerError(4060, msg::cannotOpenDatabase(name));
        raiseServerError(911, msg::databaseMissing(name));
    }
    const ErrorContext ctx{name, file};
    const long openSeconds = connectionTimeout_ > 0 ? connectionTimeout_ : kNoLimitSeconds;
    DbHandle h = openDatabaseFile(file, SQLITE_OPEN_READWRITE, static_cast<int>(std::min<long>(openSeconds, 86400) * 1000), ctx);
    {
        // Reading the schema finds a damaged or foreign file, or a lock held too long, now.
        Statement probe(h.get(), QStringLiteral("SELECT count(*) FROM sqlite_master"), ctx);
        probe.step();
    }
    db_ = std::move(h);
    database_ = server_.canonicalName(name);
    if (database_.isEmpty()) database_ = name;
    path_ = file;
    attached_.clear();
    translationCache_.clear();
    tables_.clear();
    checks_.clear();
    schemaVersions_.clear();
    installConnection();
}

void Core::installConnection() {
    sqlite3* db = db_.get();
    installSemantics(db);
    sqlite3_busy_timeout(db, busyMs());
    sqlite3_exec(db, "PRAGMA recursive_triggers = OFF", nullptr, nullptr, nullptr);
    progressClock_ = {&clock_, &commandTimeout_};
    sqlite3_progress_handler(db, 10000, progressHandler, &progressClock_);
}

void Core::attach(const QStringList& databases) {
    for (const QString& name : databases) {
        bool present = false;
        for (qsizetype i = 0; i < attached_.size(); ++i) {
            if (attached_[i].compare(name, Qt::CaseInsensitive) == 0) {
                attached_.move(i, attached_.size() - 1);
                present = true;
                break;
            }
        }
        if (present) continue;
        const QString file = server_.databaseFile(name);
        if (file.isEmpty()) raiseServerError(911, msg::databaseMissing(name));
        while (attached_.size() >= kMaxAttached) {
            qsizetype victim = -1;
            for (qsizetype i = 0; i < attached_.size() && victim < 0; ++i) {
                if (!databases.contains(attached_[i], Qt::CaseInsensitive)) victim = i;
            }
            if (victim < 0) break;
            exec(db(), QStringLiteral("DETACH DATABASE ") + quoteName(attached_[victim]), context());
            attached_.removeAt(victim);
        }
        Statement st(db(), QStringLiteral("ATTACH DATABASE ? AS ") + quoteName(name), ErrorContext{name, file});
        st.bind(1, file);
        st.step();
        attached_.push_back(name);
    }
}

QString Core::storedTableName(const QString& schema, const QString& name) {
    Statement q(db(),
                QStringLiteral("SELECT name FROM ") + schemaRef(schema) +
                    QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"),
                context());
    q.bind(1, name);
    return q.step() ? q.text(0) : QString();
}

const TableDefinition* Core::table(const QString& schema, const QString& name) {
    const QString key = schema.toLower() + u'\x1f' + name.toLower();
    auto it = tables_.find(key);
    if (it != tables_.end()) return &it->def;
    Statement q(db(),
                QStringLiteral("SELECT sql FROM ") + schemaRef(schema) +
                    QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"),
                context());
    q.bind(1, name);
    if (!q.step()) return nullptr;
    CachedTable ct{q.text(0), TableDefinition::parse(q.text(0))};
    if (!ct.def.ok) return nullptr;
    it = tables_.insert(key, std::move(ct));
    return &it->def;
}

void Core::schemaChanged() { tables_.clear(); }

bool Core::resolvesTo(const QString& schema, const QString& table) {
    // Unqualified names look in temp, main, then the attached databases in attachment order.
    Statement list(db(), QStringLiteral("PRAGMA database_list"), context());
    QStringList order;
    while (list.step()) order.push_back(list.text(1));
    for (const QString& s : order) {
        Statement q(db(),
                    QStringLiteral("SELECT count(*) FROM ") + quoteName(s) +
                        QStringLiteral(".sqlite_master WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE"),
                    context());
        q.bind(1, table);
        q.step();
        if (q.int64(0) > 0) return s.compare(schema, Qt::CaseInsensitive) == 0;
    }
    return false;
}

void Core::ensureChecks(const QString& schema, const QString& table) {
    const QString key = schema.toLower() + u'\x1f' + table.toLower();
    QString sql;
    QString stored;
    {
        Statement q(db(),
                    QStringLiteral("SELECT sql, name FROM ") + schemaRef(schema) +
                        QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"),
                    context());
        q.bind(1, table);
        if (!q.step()) return;  // the statement itself will report the missing table
        sql = q.text(0);
        stored = q.text(1);
    }
    const QString insertName = QStringLiteral("tsqlchk_i_") + schema.toLower() + u'_' + stored;
    const QString updateName = QStringLiteral("tsqlchk_u_") + schema.toLower() + u'_' + stored;
    auto it = checks_.find(key);
    if (it != checks_.end() && it->sql == sql) {
        if (!it->any) return;
        Statement q(db(), QStringLiteral("SELECT count(*) FROM temp.sqlite_master WHERE type = 'trigger' AND name = ?"),
                    context());
        q.bind(1, it->insertTrigger);
        q.step();
        if (q.int64(0) == 1) return;
    }
    const QString fitInsertName = QStringLiteral("tsqlfit_i_") + schema.toLower() + u'_' + stored;
    const QString fitUpdateName = QStringLiteral("tsqlfit_u_") + schema.toLower() + u'_' + stored;
    for (const QString& name : {insertName, updateName, fitInsertName, fitUpdateName}) {
        exec(db(), QStringLiteral("DROP TRIGGER IF EXISTS temp.") + quoteName(name), context());
    }
    const TableDefinition def = TableDefinition::parse(sql);
    QString onInsert;
    QString onUpdate;
    QString fit;
    for (const auto& c : def.columns) {
        const QString col = quoteName(c.name);
        const QString ref = QStringLiteral("NEW.") + col;
        for (const auto& check : c.type.checks(ref)) {
            onInsert += QStringLiteral(" SELECT %1 WHERE %2;").arg(check.raise, check.condition);
            onUpdate += QStringLiteral(" SELECT %1 WHERE %2 IS NOT OLD.%3 AND %4;").arg(check.raise, ref, col, check.condition);
        }
        // What SQL Server stores: blanks beyond a character column's width dropped, char(n)
        // filled with blanks to its width.
        using K = SqlType::Kind;
        const long n = c.type.length;
        if ((c.type.kind == K::VarChar || c.type.kind == K::NVarChar || c.type.kind == K::Char || c.type.kind == K::NChar) &&
            n > 0 && n < 8001) {
            fit += QStringLiteral(" UPDATE %1 SET %2 = substr(%2, 1, %3) WHERE rowid = NEW.rowid AND typeof(%2) = 'text' AND "
                                  "length(%2) > %3;")
                       .arg(quoteName(stored), col)
                       .arg(n);
            if (c.type.kind == K::Char || c.type.kind == K::NChar) {
                fit += QStringLiteral(" UPDATE %1 SET %2 = printf('%-%3s', %2) WHERE rowid = NEW.rowid AND typeof(%2) = "
                                      "'text' AND length(%2) < %3;")
                           .arg(quoteName(stored), col)
                           .arg(n);
            }
        }
    }
    CachedChecks cc{sql, insertName, updateName, !onInsert.isEmpty() || !fit.isEmpty()};
    const QString target = schemaRef(schema) + u'.' + quoteName(stored);
    if (!onInsert.isEmpty()) {
        exec(db(),
             QStringLiteral("CREATE TEMP TRIGGER ") + quoteName(insertName) + QStringLiteral(" BEFORE INSERT ON ") + target +
                 QStringLiteral(" BEGIN") + onInsert + QStringLiteral(" END"),
             context());
        exec(db(),
             QStringLiteral("CREATE TEMP TRIGGER ") + quoteName(updateName) + QStringLiteral(" BEFORE UPDATE ON ") + target +
                 QStringLiteral(" BEGIN") + onUpdate + QStringLiteral(" END"),
             context());
    }
    // A trigger body names its table without a database, so the fitting is only done where
    // that name finds this very table (and never on tables without row ids).
    bool withoutRowid = false;
    for (const auto& t : def.tail) withoutRowid = withoutRowid || t.isWord("ROWID");
    if (!fit.isEmpty() && !withoutRowid && resolvesTo(schema, stored)) {
        exec(db(),
             QStringLiteral("CREATE TEMP TRIGGER ") + quoteName(fitInsertName) + QStringLiteral(" AFTER INSERT ON ") + target +
                 QStringLiteral(" BEGIN") + fit + QStringLiteral(" END"),
             context());
        exec(db(),
             QStringLiteral("CREATE TEMP TRIGGER ") + quoteName(fitUpdateName) + QStringLiteral(" AFTER UPDATE ON ") + target +
                 QStringLiteral(" BEGIN") + fit + QStringLiteral(" END"),
             context());
    }
    if (onInsert.isEmpty()) cc.insertTrigger = fitInsertName;
    checks_.insert(key, cc);
}

std::vector<std::shared_ptr<const Translation>> Core::translations(const QString& text) {
    auto it = translationCache_.find(text);
    if (it != translationCache_.end()) return *it;
    std::vector<std::shared_ptr<const Translation>> list;
    for (const auto& stmt : splitStatements(tokenize(text))) {
        list.push_back(std::make_shared<const Translation>(translate(stmt, database_)));
    }
    if (translationCache_.size() >= kTranslationCacheSize) translationCache_.clear();
    translationCache_.insert(text, list);
    return list;
}

std::vector<provider::Result> Core::execute(const provider::Request& request) {
    startClock();
    // A schema changed by another connection makes the cached definitions stale.
    QStringList schemas{QStringLiteral("main")};
    schemas += attached_;
    for (const QString& s : schemas) {
        Statement v(db(), QStringLiteral("PRAGMA ") + schemaRef(s) + QStringLiteral(".schema_version"), context());
        v.step();
        const qint64 version = v.int64(0);
        auto it = schemaVersions_.find(s.toLower());
        if (it == schemaVersions_.end() || *it != version) {
            tables_.clear();
            schemaVersions_.insert(s.toLower(), version);
        }
    }

    std::vector<std::shared_ptr<const Translation>> list;
    if (request.commandType == ado::adCmdTable) {
        list.push_back(std::make_shared<const Translation>(
            translate(QStringLiteral("SELECT * FROM ") + request.text.trimmed(), database_)));
    } else if (request.commandType == ado::adCmdStoredProc) {
        auto tr = std::make_shared<Translation>();
        tr->kind = StatementKind::Procedure;
        const auto tokens = tokenize(request.text.trimmed());
        for (const auto& t : tokens) {
            if (t.isName()) tr->procedure = t.value();
        }
        for (const auto& p : request.parameters) {
            if (p.direction == ado::adParamReturnValue) continue;
            QString value;
            if (!p.value.isNull() && !p.value.isEmpty()) {
                value = p.value.toString();
                if (value.isNull()) value = QStringLiteral("");
            }
            tr->arguments.emplace_back(p.name.startsWith(u'@') ? p.name.mid(1) : p.name, value);
        }
        list.push_back(tr);
    } else {
        list = translations(request.text);
    }
    if (list.empty()) {
        throw DbError(-2147217908, QStringLiteral("Command text was not set for the command object."));
    }
    std::vector<provider::Result> results;
    size_t nextParameter = 0;
    for (const auto& tr : list) results.push_back(run(*tr, request, nextParameter));
    return results;
}

provider::Result Core::run(const Translation& tr, const provider::Request& request, size_t& nextParameter) {
    if (!tr.syntaxError.isEmpty()) {
        if (tr.syntaxError.startsWith(u'\'') || tr.syntaxError.startsWith(u'N')) {
            const QString rest = tr.syntaxError.mid(tr.syntaxError.indexOf(u'\'') + 1);
            raiseServerError(105, QStringLiteral("Unclosed quotation mark after the character string '%1'.").arg(rest));
        }
        raiseServerError(102, msg::syntaxNear(tr.syntaxError));
    }
    provider::Result none;
    switch (tr.kind) {
        case StatementKind::Query:
        case StatementKind::Insert:
        case StatementKind::Update:
        case StatementKind::Delete:
        case StatementKind::Other:
            return runPassThrough(tr, request, nextParameter);
        case StatementKind::CreateDatabase:
            createDatabase(server_, tr.name, login_, busyMs());
            return none;
        case StatementKind::CreateTable:
            attach(tr.databases);
            createTable(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::AddColumn:
            attach(tr.databases);
            addColumn(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::AlterColumn:
            attach(tr.databases);
            alterColumn(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::AddConstraint:
            attach(tr.databases);
            addConstraint(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::CreateIndex:
            attach(tr.databases);
            createIndex(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::DropTable:
            attach(tr.databases);
            dropTable(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::Procedure:
            return callProcedure(*this, tr.procedure, tr.arguments);
        case StatementKind::BeginTran:
            exec(db(), QStringLiteral("BEGIN"), context());
            return none;
        case StatementKind::CommitTran:
            if (!inTransaction()) {
                raiseServerError(3902,
                                 QStringLiteral("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."));
            }
            exec(db(), QStringLiteral("COMMIT"), context());
            return none;
        case StatementKind::RollbackTran:
            if (!inTransaction()) {
                raiseServerError(3903,
                                 QStringLiteral("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."));
            }
            exec(db(), QStringLiteral("ROLLBACK"), context());
            return none;
        case StatementKind::Use:
            openDatabase(tr.name, false);
            return none;
        case StatementKind::NoOp:
            return none;
    }
    return none;
}

provider::Result Core::runPassThrough(const Translation& tr, const provider::Request& request, size_t& nextParameter) {
    attach(tr.databases);
    const bool write = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update;
    if (write && !tr.table.isEmpty()) ensureChecks(tr.schema, tr.table);
    bool keyed = request.updatable && tr.kind == StatementKind::Query && !tr.updatableSql.isEmpty();
    std::optional<Statement> st;
    if (keyed) {
        try {
            st.emplace(db(), tr.updatableSql, context());
        } catch (const DbError&) {
            keyed = false;  // no row key (a table without rowid): read only
        }
    }
    if (!st) st.emplace(db(), tr.sql, context());
    const int params = sqlite3_bind_parameter_count(st->get());
    for (int k = 1; k <= params; ++k) {
        if (nextParameter >= request.parameters.size()) {
            raiseServerError(8178, QStringLiteral("The parameterized query expects a parameter which was not supplied."));
        }
        const auto& p = request.parameters[nextParameter++];
        typeForAdo(p.type).bind(st->get(), k, p.value);
    }
    if (sqlite3_column_count(st->get()) > 0) return readRows(st->get(), keyed, tr.schema, tr.table);
    while (st->step()) {
    }
    provider::Result r;
    const bool counts = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete;
    r.recordsAffected = counts ? sqlite3_changes(db()) : -1;
    return r;
}

provider::Result Core::readRows(sqlite3_stmt* stmt, bool keyed, const QString& schema, const QString& tableName) {
    provider::Result r;
    r.hasRows = true;
    const int n = sqlite3_column_count(stmt);
    const int visible = keyed ? n - 1 : n;
    std::vector<SqlType> types(static_cast<size_t>(visible));
    std::vector<QString> origins(static_cast<size_t>(visible));
    std::vector<bool> known(static_cast<size_t>(visible), false);
    r.columns.resize(static_cast<size_t>(visible));
    for (int i = 0; i < visible; ++i) {
        auto& c = r.columns[static_cast<size_t>(i)];
        c.name = QString::fromUtf8(sqlite3_column_name(stmt, i));
        const char* odb = sqlite3_column_database_name(stmt, i);
        const char* otab = sqlite3_column_table_name(stmt, i);
        const char* ocol = sqlite3_column_origin_name(stmt, i);
        bool typed = false;
        if (odb && otab && ocol) {
            const QString oSchema = QString::fromUtf8(odb);
            const QString oTable = QString::fromUtf8(otab);
            const QString oCol = QString::fromUtf8(ocol);
            if (const TableDefinition* def = table(oSchema, oTable)) {
                const int idx = def->find(oCol);
                if (idx >= 0) {
                    const ColumnDef& cd = def->columns[static_cast<size_t>(idx)];
                    types[static_cast<size_t>(i)] = cd.type;
                    c.identity = cd.identity;
                    c.nullable = !cd.notNull && !cd.identity;
                    typed = true;
                }
            }
            if (keyed && oSchema.compare(schema, Qt::CaseInsensitive) == 0 &&
                oTable.compare(tableName, Qt::CaseInsensitive) == 0) {
                origins[static_cast<size_t>(i)] = oCol;
                c.writable = !c.identity;
            }
        }
        if (!typed) {
            const char* decl = sqlite3_column_decltype(stmt, i);
            types[static_cast<size_t>(i)] = SqlType::parse(decl ? QString::fromUtf8(decl) : QString());
        }
        known[static_cast<size_t>(i)] = types[static_cast<size_t>(i)].kind != SqlType::Kind::Unknown;
    }
    auto* wrapped = stmt;
    const ErrorContext ctx = context();
    for (;;) {
        const int rc = sqlite3_step(wrapped);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) {
            DbError e = mapSqliteError(db(), rc, ctx);
            sqlite3_reset(wrapped);
            throw e;
        }
        provider::Row row(static_cast<size_t>(visible));
        for (int i = 0; i < visible; ++i) row[static_cast<size_t>(i)] = types[static_cast<size_t>(i)].decode(wrapped, i);
        r.rows.push_back(std::move(row));
        if (keyed) r.keys.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(wrapped, n - 1)));
    }
    for (int i = 0; i < visible; ++i) {
        auto& c = r.columns[static_cast<size_t>(i)];
        const SqlType& t = types[static_cast<size_t>(i)];
        if (known[static_cast<size_t>(i)]) {
            c.type = t.adoType();
            c.definedSize = t.definedSize();
            c.precision = t.adoPrecision();
            c.numericScale = t.adoScale();
            continue;
        }
        // An expression: its type from the values it gave.
        bool anyText = false, anyBlob = false, anyReal = false, anyBig = false, anyInt = false;
        long longest = 0;
        for (const auto& row : r.rows) {
            const auto& v = row[static_cast<size_t>(i)].storage();
            if (const auto* s = std::get_if<QString>(&v)) {
                anyText = true;
                longest = std::max(longest, static_cast<long>(s->size()));
            } else if (const auto* b = std::get_if<QByteArray>(&v)) {
                anyBlob = true;
                longest = std::max(longest, static_cast<long>(b->size()));
            } else if (std::holds_alternative<double>(v)) {
                anyReal = true;
            } else if (std::holds_alternative<std::int64_t>(v)) {
                anyBig = true;
            } else if (std::holds_alternative<std::int32_t>(v)) {
                anyInt = true;
            }
        }
        if (anyText) {
            c.type = ado::adVarChar;
            c.definedSize = std::max(longest, 1L);
        } else if (anyBlob) {
            c.type = ado::adLongVarBinary;
            c.definedSize = 2147483647;
        } else if (anyReal) {
            c.type = ado::adDouble;
            c.definedSize = 8;
            c.precision = 15;
        } else if (anyBig) {
            c.type = ado::adBigInt;
            c.definedSize = 8;
            c.precision = 19;
        } else if (anyInt) {
            c.type = ado::adInteger;
            c.definedSize = 4;
            c.precision = 10;
        } else {
            c.type = ado::adVarChar;
            c.definedSize = 1;
        }
        if (c.type != ado::adDouble && c.type != ado::adBigInt && c.type != ado::adInteger) c.precision = 255;
        c.numericScale = 255;
    }
    if (keyed) {
        r.writer = std::make_shared<EmbeddedRowWriter>(weak_from_this(), schema, storedTableName(schema, tableName),
                                                       std::move(origins), std::move(types));
    }
    return r;
}

}  // namespace data::embedded
