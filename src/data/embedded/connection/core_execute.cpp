// Running a batch: its statements one by one, the engine's own write transactions, the
// statements SQLite runs as translated and those the engine carries out itself.
#include "data/embedded/connection/core.h"

#include <QVarLengthArray>
#include <optional>

#include "data/adoconstants.h"
#include "data/embedded/server/admin.h"
#include "data/embedded/translate/columnrules.h"
#include "data/embedded/server/permissions.h"
#include "data/embedded/translate/tokenops.h"
#include "data/embedded/procedures/procedures.h"
#include "data/embedded/connection/schemaops.h"

namespace data::embedded {

namespace {

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

}  // namespace

namespace {

// A plain read or write: neither begins nor ends a transaction, nor changes a schema.
bool readsOrWrites(StatementKind k) {
    return k == StatementKind::Query || k == StatementKind::Insert || k == StatementKind::Update ||
           k == StatementKind::Delete;
}

// The name SQLite gives a connection's own database.
const QString& mainSchema() {
    static const QString name = QStringLiteral("main");
    return name;
}

// Whether a request may be a plain query: a table by name or a text that begins with SELECT.
bool mayBeRead(const provider::Request& request) {
    if (request.commandType == ado::adCmdTable) return true;
    if (request.commandType == ado::adCmdStoredProc) return false;
    const QString& t = request.text;
    qsizetype i = 0;
    while (i < t.size() && t.at(i).isSpace()) ++i;
    return startsWithNoCase(QStringView(t).mid(i), "select");
}

// Whether a request is one plain write on the connection's own database: a single INSERT,
// UPDATE or DELETE without a name qualified by a database (so nothing is attached on its way).
// A dot or a semicolon outside the literals sends the text the ordinary way.
bool plainWrite(const provider::Request& request) {
    if (request.commandType == ado::adCmdTable || request.commandType == ado::adCmdStoredProc) return false;
    const QString& t = request.text;
    qsizetype i = 0;
    while (i < t.size() && t.at(i).isSpace()) ++i;
    const QStringView first = QStringView(t).mid(i);
    if (!startsWithNoCase(first, "insert") && !startsWithNoCase(first, "update") && !startsWithNoCase(first, "delete")) {
        return false;
    }
    QChar closing;
    for (; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (!closing.isNull()) {
            if (c == closing) closing = QChar();
        } else if (c == u'\'' || c == u'"') {
            closing = c;
        } else if (c == u'[') {
            closing = u']';
        } else if (c == u'.' || c == u';') {
            return false;
        }
    }
    return true;
}

// A query that counts the rows an UPDATE (as translated for SQLite) finds, and those of them
// it would change: "SELECT count(*), count(CASE WHEN NOT (a IS (x) AND …) THEN 1 END) FROM t
// WHERE …", its markers in the UPDATE's order. Empty for any UPDATE of another form.
QString unchangedProbe(const QString& updateSql) {
    const std::vector<Token> t = tokenize(updateSql);
    size_t i = nextAt(t, 0);
    if (!wordAt(t, i, "UPDATE")) return {};
    const size_t target = nextAt(t, i + 1);
    size_t set = t.size();
    size_t where = t.size();
    int depth = 0;
    for (size_t k = target; k < t.size(); ++k) {
        if (t[k].isPunct("(")) ++depth;
        if (t[k].isPunct(")")) --depth;
        if (depth != 0) continue;
        if (set == t.size()) {
            if (t[k].isWord("SET")) set = k;
            if (t[k].isWord("OR")) return {};
            continue;
        }
        if (t[k].isWord("FROM") || t[k].isWord("RETURNING") || t[k].isWord("ORDER") || t[k].isWord("LIMIT") ||
            t[k].isPunct(";")) {
            return {};
        }
        if (t[k].isWord("WHERE") && where == t.size()) where = k;
    }
    if (set == t.size()) return {};
    auto text = [&](size_t from, size_t to) {
        QString out;
        for (size_t k = from; k < to; ++k) out += t[k].text;
        return out.trimmed();
    };
    QStringList same;
    size_t start = set + 1;
    depth = 0;
    for (size_t k = start; k <= where; ++k) {
        const bool end = k == where || (depth == 0 && t[k].isPunct(","));
        if (k < where && t[k].isPunct("(")) ++depth;
        if (k < where && t[k].isPunct(")")) --depth;
        if (!end) continue;
        size_t eq = start;
        while (eq < k && !t[eq].isPunct("=")) ++eq;
        const QString column = text(start, eq);
        if (eq >= k || column.isEmpty() || column.startsWith(u'(')) return {};
        same << QStringLiteral("%1 IS (%2)").arg(column, text(eq + 1, k));
        start = k + 1;
    }
    if (same.isEmpty()) return {};
    return QStringLiteral("SELECT count(*), count(CASE WHEN NOT (%1) THEN 1 END) FROM %2")
               .arg(same.join(QStringLiteral(" AND ")), text(target, set)) +
           (where < t.size() ? u' ' + text(where, t.size()) : QString());
}

}  // namespace

void Core::beginOwnWrite() {
    auto begin = prepared(QStringLiteral("BEGIN IMMEDIATE"));
    begin.step();
    ownWrite_ = true;
}

void Core::endOwnWrite(bool commit) {
    ownWrite_ = false;
    if (sqlite3_get_autocommit(db()) != 0) return;  // already ended (a failure rolled it back)
    if (commit) {
        try {
            auto end = prepared(QStringLiteral("COMMIT"));
            end.step();
            return;
        } catch (...) {
            if (sqlite3_get_autocommit(db()) == 0) sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
}

std::vector<provider::Result> Core::execute(const provider::Request& request) {
    startClock();
    admin_->beforeStatement(request.text);
    if (!inTransaction() && plainWrite(request)) {
        // A table another connection holds is waited for before the write lock of the file is
        // taken: waiting with it would stop every writer of the database.
        if (admin_->holdsMayExist()) {
            Literals literals;
            for (const auto& tr : *translations(request.text, literals)) {
                admin_->waitWhileHeld(tr->schema, tr->table, [this] { return timedOut(); });
            }
        }
        return asOneWrite([&] { return executeChecked(request); });
    }
    return executeChecked(request);
}

void Core::stepWaiting(const std::function<void()>& stepAll, const QString& schema) {
    lockSchema_ = schema.isEmpty() ? QStringLiteral("main") : schema;
    deadlockVictim_ = false;
    lockGaveUp_ = false;
    QElapsedTimer waiting;
    struct WaitEnds {
        AdminState& state;
        ~WaitEnds() { state.endLockWait(); }
    } ends{*admin_};
    for (;;) {
        try {
            stepAll();
            return;
        } catch (const DbError&) {
            if (deadlockVictim_) {
                deadlockVictim_ = false;
                admin_->deadlockVictim();
            }
            // Without a time-out of its own, a lock is waited for as long as SQLite's wait would.
            if (!waiting.isValid()) waiting.start();
            if (sqlite3_extended_errcode(db()) != SQLITE_BUSY || !inTransaction() || timedOut() || lockGaveUp_ ||
                waiting.elapsed() >= busyMs()) {
                throw;
            }
        }
        admin_->checkKilled();
        if (admin_->deadlocked(lockSchema_, QString())) admin_->deadlockVictim();
        sqlite3_sleep(20);
    }
}

bool Core::timedOut() const { return commandTimeout_ > 0 && clock_.isValid() && clock_.elapsed() > commandTimeout_ * 1000; }

std::optional<long> Core::holdIfUnchanged(const Translation& tr, const QString& updateSql,
                                          const std::function<void(StatementCache::Lease&)>& bind) {
    if (tr.table.isEmpty()) return std::nullopt;
    const QString schema = tr.schema.isEmpty() ? QStringLiteral("main") : tr.schema;
    // Only before the transaction's first write to the database: after it the file's write
    // lock is held anyway.
    const QByteArray schemaName = tr.schema.isEmpty() ? QByteArrayLiteral("main") : tr.schema.toUtf8();
    if (sqlite3_txn_state(db(), schemaName.constData()) == SQLITE_TXN_WRITE) return std::nullopt;
    auto known = probeTexts_.find(updateSql);
    if (known == probeTexts_.end()) {
        if (probeTexts_.size() >= kCacheSize) probeTexts_.clear();
        known = probeTexts_.insert(updateSql, unchangedProbe(updateSql));
    }
    const QString probeSql = *known;
    if (probeSql.isEmpty()) return std::nullopt;
    {
        // The table's own triggers would run for an UPDATE that changes nothing.
        const QString stored = storedTableName(tr.schema, tr.table);
        auto triggers = prepared(QStringLiteral("SELECT 1 FROM ") + schemaRef(schema) +
                                 QStringLiteral(".sqlite_master WHERE type = 'trigger' AND tbl_name = ? COLLATE NOCASE"));
        triggers.bind(1, stored.isEmpty() ? tr.table : stored);
        if (triggers.step()) return std::nullopt;
    }
    StatementCache::Lease probe = statements_.acquire(db(), probeSql, context());
    bind(probe);
    if (!probe.step()) return std::nullopt;
    const long rows = static_cast<long>(sqlite3_column_int64(probe.get(), 0));
    const long changed = static_cast<long>(sqlite3_column_int64(probe.get(), 1));
    probe = StatementCache::Lease();
    if (changed != 0) return std::nullopt;
    if (rows > 0) admin_->holdTable(tr.schema, tr.table);
    // A transaction that has written nothing lets its read snapshot go, so that its later
    // writes start from the databases as they are now, not as they were at the probe.
    if (sqlite3_txn_state(db(), nullptr) < SQLITE_TXN_WRITE &&
        sqlite3_exec(db(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        exec(db(), QStringLiteral("BEGIN"), context());
    }
    return rows;
}

StatementCache::Lease Core::checkSchemaVersion(const QString& schema, bool own) {
    auto text = versionTexts_.find(schema);
    if (text == versionTexts_.end()) {
        text = versionTexts_.insert(schema, QStringLiteral("PRAGMA ") + schemaRef(schema) + QStringLiteral(".schema_version"));
    }
    auto v = prepared(*text);
    v.step();
    const qint64 version = sqlite3_column_int64(v.get(), 0);
    // By the name as attached: a name attached again in another case only counts as a change.
    auto it = schemaVersions_.find(schema);
    if (it == schemaVersions_.end() || *it != version) {
        schemaChanged();
        schemaVersions_.insert(schema, version);
    }
    if (own) {
        // Taken while the version statement holds its read transaction, so that both describe
        // one state of the file; inside a transaction that state may still be rolled back.
        const std::optional<unsigned int> data = mainDataVersion();
        mainSeen_ = {data.has_value() && sqlite3_get_autocommit(db()) != 0, data.value_or(0)};
    }
    return v;
}

std::optional<unsigned int> Core::mainDataVersion() {
    unsigned int v = 0;
    if (sqlite3_file_control(db(), "main", SQLITE_FCNTL_DATA_VERSION, &v) != SQLITE_OK) return std::nullopt;
    return v;
}

std::optional<std::vector<provider::Result>> Core::readOnSeenVersion(const provider::Request& request) {
    // A stream's rows are read after the request returns, so what it read is not known here.
    if (request.stream || request.commandType == ado::adCmdTable || ownWrite_ || sqlite3_get_autocommit(db()) == 0 ||
        !mayBeRead(request)) {
        return std::nullopt;
    }
    Literals literals;
    const std::shared_ptr<const TranslationList> translated = translations(request.text, literals);
    if (translated->size() != 1) return std::nullopt;
    const Translation& tr = *translated->front();
    // Only a query known, in this generation of the definitions, to use no attached database:
    // the version of the connection's own file then tells about all it read.
    if (tr.kind != StatementKind::Query || !tr.databases.isEmpty() || !tr.syntaxError.isEmpty() ||
        tr.attachedUsedGeneration != generation_ || !tr.attachedUsed.isEmpty()) {
        return std::nullopt;
    }
    const unsigned int seen = mainSeen_.data;
    const quint64 generation = generation_;
    auto unchanged = [&] {
        const std::optional<unsigned int> now = mainDataVersion();
        if (mainSeen_.valid && now == seen) return true;
        if (!mainSeen_.valid || !now) return false;
        // Another connection wrote the file since: the rows stand unless its schema changed
        // (the version only grows, so an equal one now was the one they were read by).
        checkSchemaVersion(mainSchema(), true);
        return generation_ == generation;
    };
    std::vector<provider::Result> results;
    size_t nextParameter = 0;
    try {
        results.push_back(run(tr, request, nextParameter, literals, false));
    } catch (...) {
        // A failure may come from definitions that no longer held: the checked way tells, and
        // reports its own failure when even the check fails.
        bool same = false;
        try {
            same = unchanged();
        } catch (...) {
        }
        transactionMayHaveChanged();
        if (!same) return std::nullopt;
        throw;
    }
    if (!unchanged()) return std::nullopt;
    return results;
}

std::vector<provider::Result> Core::executeChecked(const provider::Request& request) {
    // The schema of the connection's own file was read, and neither it nor anything of this
    // connection moved since: a plain read of that file checks afterwards, with no statement
    // of its own, that it read the file as it was then.
    if (mainSeen_.valid) {
        if (std::optional<std::vector<provider::Result>> rows = readOnSeenVersion(request)) return std::move(*rows);
    }
    // A read takes its schema check and its rows in one read transaction: the version
    // statements are kept running until the rows are read, so the files' locks are taken once
    // per request instead of twice. Anything that writes lets them go first, since a write
    // must not start from a read snapshot that another connection may have overtaken.
    QVarLengthArray<StatementCache::Lease, 4> heldVersions;
    const bool holdForRead = !inTransaction() && mayBeRead(request);
    // A schema changed by another connection makes the cached definitions stale.
    auto checkVersion = [&](const QString& s, bool own) {
        StatementCache::Lease v = checkSchemaVersion(s, own);
        if (holdForRead) heldVersions.push_back(std::move(v));
    };
    const bool check = !inTransaction() || versionsCheckedAt_ != transactionSerial_;
    if (check) {
        checkVersion(mainSchema(), true);
    }

    std::shared_ptr<const TranslationList> translated;
    Literals literals;
    if (request.commandType == ado::adCmdTable) {
        translated = std::make_shared<const TranslationList>(TranslationList{std::make_shared<const Translation>(
            translate(QStringLiteral("SELECT * FROM ") + request.text.trimmed() +
                          (request.columnsOnly ? QStringLiteral(" WHERE 1 = 0") : QString()),
                      database_))});
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
        translated = std::make_shared<const TranslationList>(TranslationList{std::move(tr)});
    } else {
        translated = translations(request.text, literals);
    }
    const TranslationList& list = *translated;
    if (list.empty()) {
        throw DbError(-2147217908, QStringLiteral("Command text was not set for the command object."));
    }
    if (check) {
        // An attached database's version only matters to the statements that use it: a company
        // database with the staging one attached reads its own tables one row at a time, and
        // each version read takes that database's locks. What a statement uses is known once it
        // ran in this generation of the definitions; until then, and for anything but a plain
        // statement, every attached database counts.
        bool every = false;
        QStringList used;
        for (const auto& tr : list) {
            const bool passedThrough = readsOrWrites(tr->kind) || tr->kind == StatementKind::Other;
            if (!passedThrough || !tr->syntaxError.isEmpty() || tr->attachedUsedGeneration != generation_) {
                every = true;
                break;
            }
            for (const QString& d : tr->attachedUsed) {
                if (!used.contains(d)) used.push_back(d);
            }
        }
        bool all = true;
        for (const QString& s : std::as_const(attached_)) {
            if (every || used.contains(s, Qt::CaseInsensitive)) {
                checkVersion(s, false);
            } else {
                all = false;
            }
        }
        versionsCheckedAt_ = inTransaction() && all ? transactionSerial_ : 0;
    }
    for (const auto& tr : list) {
        if (tr->kind != StatementKind::Query || !tr->databases.isEmpty()) {
            heldVersions.clear();
            break;
        }
    }
    // Only the plain writes run in the engine's own transaction; anything else the text turned
    // out to be runs as it always does.
    for (const auto& tr : list) {
        const bool write = tr->kind == StatementKind::Insert || tr->kind == StatementKind::Update ||
                           tr->kind == StatementKind::Delete;
        if (ownWrite_ && (!write || !tr->databases.isEmpty())) {
            endOwnWrite(true);
            break;
        }
    }
    std::vector<provider::Result> results;
    results.reserve(list.size());
    size_t nextParameter = 0;
    for (const auto& tr : list) {
        if (tr->kind == StatementKind::Procedure && tr->syntaxError.isEmpty()) {
            // A procedure may answer with several result sets.
            transactionMayHaveChanged();
            for (auto& r : runProcedure(*this, *tr, request)) results.push_back(std::move(r));
            transactionMayHaveChanged();
            continue;
        }
        const bool before = inTransaction();
        try {
            results.push_back(run(*tr, request, nextParameter, literals, request.stream && list.size() == 1));
        } catch (...) {
            transactionMayHaveChanged();
            throw;
        }
        if (!readsOrWrites(tr->kind) || inTransaction() != before) transactionMayHaveChanged();
    }
    return results;
}

provider::Result Core::run(const Translation& tr, const provider::Request& request, size_t& nextParameter,
                           const Literals& literals, bool stream) {
    if (tr.refusal != 0) raiseServerError(tr.refusal, tr.refusalText);
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
            return runPassThrough(tr, request, nextParameter, literals, stream && tr.kind == StatementKind::Query);
        case StatementKind::CreateDatabase: {
            // The login's roles as they are now: they may have changed since it connected.
            const LoginInfo now = admin_->login();
            Login login = login_;
            login.sysadmin = now.sysadmin();
            login.dbcreator = now.has("dbcreator");
            createDatabase(server_, tr.name, login, busyMs());
            return none;
        }
        case StatementKind::CreateTable:
            attach(tr.databases);
            admin_->rights().checkSchemaChange(tr);
            createTable(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::AddColumn:
            attach(tr.databases);
            admin_->rights().checkSchemaChange(tr);
            addColumn(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::AlterColumn:
            attach(tr.databases);
            admin_->rights().checkSchemaChange(tr);
            alterColumn(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::AddConstraint:
            attach(tr.databases);
            admin_->rights().checkSchemaChange(tr);
            addConstraint(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::CreateIndex:
            attach(tr.databases);
            admin_->rights().checkSchemaChange(tr);
            createIndex(*this, tr);
            schemaChanged();
            return none;
        case StatementKind::DropTable:
            attach(tr.databases);
            admin_->rights().checkSchemaChange(tr);
            dropTable(*this, tr);
            admin_->rights().dropped(tr);
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
            admin_->transactionEnded();
            return none;
        case StatementKind::RollbackTran:
            if (!inTransaction()) {
                raiseServerError(3903,
                                 QStringLiteral("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."));
            }
            exec(db(), QStringLiteral("ROLLBACK"), context());
            admin_->transactionEnded();
            return none;
        case StatementKind::Use:
            openDatabase(tr.name, false);
            return none;
        case StatementKind::NoOp:
            return none;
        case StatementKind::Admin: {
            admin_->rights().forget();
            provider::Result r = runAdmin(*this, tr);
            admin_->rights().forget();
            return r;
        }
    }
    return none;
}

provider::Result Core::runPassThrough(const Translation& tr, const provider::Request& request, size_t& nextParameter,
                                      const Literals& literals, bool stream) {
    attach(tr.databases);
    const bool write = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update;
    const QString* sql = &tr.sql;
    if (write && !tr.table.isEmpty()) {
        const QString& ruled = tr.ruled.get(generation_, [&] { return sqlWithRules(tr); });
        prepareWrite(tr.schema, tr.table, !ruled.isEmpty());
        if (!ruled.isEmpty()) sql = &ruled;
    }
    if (tr.starColumns) sql = &sqlWithStarColumns(*sql);
    // The plain and the ruled text's typed forms are kept with their translation; another
    // text's is a copy, since the cache it comes from may grow before the statement has run.
    QString typed;
    if (tr.kind != StatementKind::Other && sql == &tr.sql) {
        sql = &tr.typed.get(generation_, [&] { return typedSql(tr.sql); });
    } else if (sql == &tr.ruled.sql) {
        sql = &tr.ruledTyped.get(generation_, [&] { return typedSql(tr.ruled.sql); });
    } else if (tr.kind != StatementKind::Other) {
        typed = typedSql(*sql);
        sql = &typed;
    }
    // A streamed result writes nothing back: it needs no row key.
    bool keyed = request.updatable && !stream && tr.kind == StatementKind::Query && !tr.updatableSql.isEmpty();
    StatementCache::Lease st;
    // A stream keeps its statement running between the caller's reads, so it must be one that
    // no other request of the connection is lent (and resets) meanwhile.
    if (stream) st = StatementCache::own(db(), *sql, context());
    if (keyed) {
        try {
            st = prepared(tr.typedUpdatable.get(generation_, [&] { return typedSql(tr.updatableSql); }));
        } catch (const DbError&) {
            keyed = false;  // no row key (a table without rowid): read only
        }
    }
    // A write into another database reports failures (read-only, missing value) under its name.
    const bool elsewhere = tr.kind != StatementKind::Query && !tr.schema.isEmpty() &&
                           tr.schema.compare(QLatin1String("main"), Qt::CaseInsensitive) != 0;
    if (!st) st = statements_.acquire(db(), *sql, elsewhere ? ErrorContext{tr.schema, path_} : context());
    checkRights(st);
    if (tr.kind == StatementKind::Other) admin_->rights().checkSchemaText(*sql, st.uses());
    if (tr.attachedUsedGeneration != generation_) {
        tr.attachedUsed = st.databases();
        tr.attachedUsedGeneration = generation_;
    }
    auto bindTo = [&](StatementCache::Lease& lease, size_t& next) {
        const int params = sqlite3_bind_parameter_count(lease.get());
        if (!literals.empty()) {
            // A lifted shape: parameter k is the text's k-th literal.
            for (int k = 1; k <= params && k <= static_cast<int>(literals.size()); ++k) lease.bind(k, literals[k - 1]);
            return;
        }
        for (int k = 1; k <= params; ++k) {
            if (next >= request.parameters.size()) {
                raiseServerError(8178, QStringLiteral("The parameterized query expects a parameter which was not supplied."));
            }
            const auto& p = request.parameters[next++];
            typeForAdo(p.type).bind(lease.get(), k, p.value);
        }
    };
    const size_t firstParameter = nextParameter;
    bindTo(st, nextParameter);
    if (sqlite3_column_count(st.get()) > 0) {
        if (stream) return streamRows(std::move(st), tr.schema, tr.describingSql);
        return readRows(st, keyed, tr.schema, tr.table, tr.describingSql);
    }
    const bool counts = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete;
    if ((counts || tr.kind == StatementKind::Other) && !ownWrite_) {
        admin_->waitWhileHeld(tr.schema, tr.table, [this] { return timedOut(); });
    }
    if (tr.kind == StatementKind::Update && inTransaction()) {
        size_t probeParameter = firstParameter;
        if (const std::optional<long> held = holdIfUnchanged(tr, *sql, [&](StatementCache::Lease& probe) {
                bindTo(probe, probeParameter);
            })) {
            provider::Result r;
            r.recordsAffected = *held;
            return r;
        }
    }
    stepWaiting(
        [&st] {
            while (st.step()) {
            }
        },
        tr.schema);
    provider::Result r;
    r.recordsAffected = counts ? sqlite3_changes(db()) : -1;
    if (counts) admin_->wrote(tr.schema, tr.table);
    return r;
}

}  // namespace data::embedded
