#include "data/embedded/core.h"

#include <cstring>

#include "data/adoconstants.h"
#include "data/embedded/admin.h"
#include "data/embedded/columnrules.h"
#include "data/embedded/procedures.h"
#include "data/embedded/schemaops.h"
#include "data/embedded/semantics.h"

namespace data::embedded {

namespace {

constexpr long kNoLimitSeconds = 600;  // what "no time-out" waits for a lock at most
constexpr int kMaxAttached = 9;
constexpr int kTranslationCacheSize = 512;

// Every database the engine opens keeps a write-ahead log, so a commit costs one append
// instead of a rewritten journal, and readers on other connections never block the writer.
// NORMAL syncs the log at checkpoints only: a commit survives the process being killed (the
// log is in the file system), and a power loss may lose the last commits but never corrupts
// the database. A read-only file, or one that another connection holds in another mode,
// keeps its mode.
void useWriteAheadLog(sqlite3* db, const QString& schema) {
    const QByteArray s = schemaRef(schema).toUtf8();
    sqlite3_exec(db, ("PRAGMA " + s + ".journal_mode = WAL").constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, ("PRAGMA " + s + ".synchronous = NORMAL").constData(), nullptr, nullptr, nullptr);
}

// SQLite's Bloom filters (3.38 and later) hash a text by its length: two texts that the
// engine's collation holds equal but that differ in length ('abc' and 'ABC ', a date and the
// same date with its time) then never meet, and a join silently loses rows. The bits are
// SQLite's own optimisation flags (SQLITE_BloomFilter, SQLITE_BloomPulldown); the call sets
// the connection's whole set of disabled optimisations.
constexpr unsigned kCollationUnsafeOptimisations = 0x00080000u | 0x00100000u;

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
    EmbeddedRowWriter(std::weak_ptr<Core> core, QString schema, std::shared_ptr<const ColumnPlan> plan)
        : core_(std::move(core)), schema_(std::move(schema)), table_(plan->storedTable), plan_(std::move(plan)),
          origins_(plan_->origins), types_(plan_->types), qualified_(plan_->qualifiedTable) {}

    void update(const Variant& key, const provider::Changes& changes) override {
        auto core = lock();
        const TextForColumns::Text& text = writeText(*core, plan_->updateText, changes, false);
        core->prepareWrite(schema_, table_, text.ruled);
        core->asOneWrite([&] { updateRow(*core, text.sql, key, changes); });
    }

    std::pair<Variant, provider::Row> insert(const provider::Changes& values) override {
        auto core = lock();
        const TextForColumns::Text& text = writeText(*core, plan_->insertText, values, true);
        core->prepareWrite(schema_, table_, text.ruled);
        return core->asOneWrite([&] { return insertRow(*core, text.sql, values); });
    }

    provider::Row stored(const Variant& key) override {
        auto core = lock();
        return reload(*core, key.toInt64());
    }

    void remove(const Variant& key) override {
        auto core = lock();
        core->asOneWrite([&] { removeRow(*core, key); });
    }

private:
    // The INSERT or UPDATE text for the columns written, each value with its column's rules
    // when the table's definition is known (and, for an INSERT, no column left out has a
    // default that needs them).
    const TextForColumns::Text& writeText(Core& core, TextForColumns& cache, const provider::Changes& changes,
                                          bool inserting) {
        return cache.textFor(qualified(), core.schemaGeneration(), changes, [&] {
            const TableDefinition* def = core.table(schema_, table_);
            std::vector<int> at;
            std::vector<bool> set(def ? def->columns.size() : 0, false);
            bool ruled = def != nullptr;
            for (const auto& c : changes) {
                at.push_back(def ? def->find(origins_[static_cast<size_t>(c.first)]) : -1);
                ruled = ruled && at.back() >= 0;
                if (at.back() >= 0) set[static_cast<size_t>(at.back())] = true;
            }
            ruled = ruled && !(inserting && omitsRuledDefault(*def, set));
            QStringList cols;
            QStringList values;
            for (size_t i = 0; i < changes.size(); ++i) {
                cols.push_back(quoteName(origins_[static_cast<size_t>(changes[i].first)]));
                values.push_back(ruled ? withColumnRules(QStringLiteral("?"), def->columns[static_cast<size_t>(at[i])])
                                       : QStringLiteral("?"));
            }
            if (!inserting) {
                QStringList sets;
                for (qsizetype i = 0; i < cols.size(); ++i) sets.push_back(cols[i] + QStringLiteral(" = ") + values[i]);
                return TextForColumns::Text{QStringLiteral("UPDATE ") + qualified() + QStringLiteral(" SET ") +
                                                sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE rowid = ?"),
                                            ruled};
            }
            return TextForColumns::Text{
                cols.isEmpty() ? QStringLiteral("INSERT INTO ") + qualified() + QStringLiteral(" DEFAULT VALUES")
                               : QStringLiteral("INSERT INTO ") + qualified() + QStringLiteral(" (") +
                                     cols.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                                     values.join(QStringLiteral(", ")) + u')',
                ruled};
        });
    }

    void updateRow(Core& c, const QString& sql, const Variant& key, const provider::Changes& changes) {
        Core* core = &c;
        auto st = core->prepared(sql);
        int k = 1;
        for (const auto& c : changes) types_[static_cast<size_t>(c.first)].bind(st.get(), k++, c.second);
        st.bind(k, key.toInt64());
        core->startClock();
        st.step();
        if (sqlite3_changes(core->db()) == 0) rowMissing();
    }

    std::pair<Variant, provider::Row> insertRow(Core& c, const QString& sql, const provider::Changes& values) {
        Core* core = &c;
        auto st = core->prepared(sql);
        int k = 1;
        for (const auto& c : values) types_[static_cast<size_t>(c.first)].bind(st.get(), k++, c.second);
        core->startClock();
        st.step();
        // The stored row is read when somebody looks at it (stored()).
        return {Variant(static_cast<std::int64_t>(sqlite3_last_insert_rowid(core->db()))), provider::Row()};
    }

    void removeRow(Core& c, const Variant& key) {
        Core* core = &c;
        auto st = core->prepared(QStringLiteral("DELETE FROM ") + qualified() + QStringLiteral(" WHERE rowid = ?"));
        st.bind(1, static_cast<qint64>(key.toInt64()));
        core->startClock();
        st.step();
        if (sqlite3_changes(core->db()) == 0) rowMissing();
    }

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

    const QString& qualified() const { return qualified_; }

    provider::Row reload(Core& core, qint64 key) const {
        provider::Row row(origins_.size(), Variant::null());
        const QString& sql = plan_->reloadText.textFor(qualified(), 0, {}, [&] {
            QStringList cols;
            plan_->reloadAt.clear();
            for (size_t i = 0; i < origins_.size(); ++i) {
                if (origins_[i].isEmpty()) continue;
                cols.push_back(quoteName(origins_[i]));
                plan_->reloadAt.push_back(i);
            }
            return TextForColumns::Text{cols.isEmpty() ? QStringLiteral("")
                                                       : QStringLiteral("SELECT ") + cols.join(QStringLiteral(", ")) +
                                                             QStringLiteral(" FROM ") + qualified() +
                                                             QStringLiteral(" WHERE rowid = ?"),
                                        false};
        }).sql;
        if (sql.isEmpty()) return row;
        auto st = core.prepared(sql);
        st.bind(1, key);
        // Gone since (another connection deleted it): the recordset keeps what it wrote.
        if (!st.step()) return {};
        for (size_t k = 0; k < plan_->reloadAt.size(); ++k) {
            row[plan_->reloadAt[k]] = types_[plan_->reloadAt[k]].decode(st.get(), static_cast<int>(k));
        }
        return row;
    }

    std::weak_ptr<Core> core_;
    QString schema_;
    QString table_;
    std::shared_ptr<const ColumnPlan> plan_;
    const std::vector<QString>& origins_;  // base column per result column; empty when not of the table
    const std::vector<SqlType>& types_;
    const QString qualified_;
};

}  // namespace

QString schemaRef(const QString& schema) {
    return schema.compare(QLatin1String("main"), Qt::CaseInsensitive) == 0 ? QStringLiteral("main") : quoteName(schema);
}

Core::Core(ServerFolder server, Login login, long connectionTimeout, long commandTimeout)
    : server_(std::move(server)), login_(std::move(login)), connectionTimeout_(connectionTimeout),
      commandTimeout_(commandTimeout), admin_(makeAdminState(*this)) {}

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
    // Options (offline, single user, read only) and the login's access are checked there.
    DbHandle h = admin_->open(name, file, atLogin, static_cast<int>(std::min<long>(openSeconds, 86400) * 1000), ctx);
    statements_.clear();  // they belong to the handle that is replaced now
    transactionMayHaveChanged();
    db_ = std::move(h);
    database_ = server_.canonicalName(name);
    if (database_.isEmpty()) database_ = name;
    path_ = file;
    attached_.clear();
    translationCache_.clear();
    shapeCache_.clear();
    schemaChanged();
    checks_.clear();
    schemaVersions_.clear();
    installConnection();
    admin_->entered();
}

void Core::installConnection() {
    sqlite3* db = db_.get();
    installSemantics(db);
    installColumnRules(db);
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, kCollationUnsafeOptimisations);
    StatementCache::watchDatabases(db);
    sqlite3_busy_timeout(db, busyMs());
    sqlite3_exec(db, "PRAGMA recursive_triggers = OFF", nullptr, nullptr, nullptr);
    useWriteAheadLog(db, QStringLiteral("main"));
    progressClock_ = {&clock_, &commandTimeout_};
    sqlite3_progress_handler(db, 10000, progressHandler, &progressClock_);
    // The triggers of ensureChecks are made inside whatever transaction is open; a rollback
    // takes them back with it, so what was verified before has to be looked at again.
    sqlite3_rollback_hook(
        db,
        [](void* core) {
            ++static_cast<Core*>(core)->rollbacks_;
            static_cast<Core*>(core)->transactionMayHaveChanged();
        },
        this);
    sqlite3_commit_hook(
        db,
        [](void* core) {
            static_cast<Core*>(core)->transactionMayHaveChanged();
            return 0;
        },
        this);
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
            transactionMayHaveChanged();
        }
        Statement st(db(), QStringLiteral("ATTACH DATABASE ? AS ") + quoteName(name), ErrorContext{name, file});
        st.bind(1, admin_->attachTarget(name, file));
        st.step();
        attached_.push_back(name);
        transactionMayHaveChanged();
        useWriteAheadLog(db(), name);
    }
}

void Core::detach(const QString& name) {
    for (qsizetype i = 0; i < attached_.size(); ++i) {
        if (attached_[i].compare(name, Qt::CaseInsensitive) != 0) continue;
        exec(db(), QStringLiteral("DETACH DATABASE ") + quoteName(attached_[i]), context());
        attached_.removeAt(i);
        transactionMayHaveChanged();
        return;
    }
}

void Core::detachAll() {
    while (!attached_.isEmpty()) detach(attached_.back());
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

void Core::schemaChanged() {
    tables_.clear();
    // A kept statement learns of the change only when it next steps: until then it would
    // describe the columns it had (a "select *" read after an added column missed it).
    statements_.clear();
    ++generation_;
}

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

const QString& Core::sqlWithRules(const Translation& tr) {
    auto it = ruled_.find(tr.sql);
    if (it != ruled_.end() && it->generation == generation_) return it->sql;
    const TableDefinition* def = table(tr.schema, tr.table);
    QString sql = def ? statementWithRules(tr.sql, *def) : QString();
    if (ruled_.size() >= kTranslationCacheSize) ruled_.clear();
    return ruled_.insert(tr.sql, RuledText{generation_, std::move(sql)})->sql;
}

void Core::prepareWrite(const QString& schema, const QString& table, bool ruled) {
    // Triggers made before for the table on this connection are kept up to date all the same:
    // they would refuse by the table's former definition.
    if (ruled && checks_.isEmpty()) return;
    if (ruled) {
        auto it = checks_.find(schema.toLower() + u'\x1f' + table.toLower());
        if (it == checks_.end() || it->made.isEmpty()) return;
    }
    ensureChecks(schema, table);
}

void Core::ensureChecks(const QString& schema, const QString& table) {
    const QString key = schema.toLower() + u'\x1f' + table.toLower();
    // Verified since the last schema change (of any connection): nothing to look at again.
    if (auto known = checks_.find(key);
        known != checks_.end() && known->generation == generation_ && known->rollbacks == rollbacks_) {
        return;
    }
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
    const QString fitInsertName = QStringLiteral("tsqlfit_i_") + schema.toLower() + u'_' + stored;
    const QString fitUpdateName = QStringLiteral("tsqlfit_u_") + schema.toLower() + u'_' + stored;
    // The triggers there are now, by name and text: made here for this table before, maybe by a
    // transaction rolled back since, which brings back the ones it had replaced.
    QHash<QString, QString> present;
    {
        Statement q(db(), QStringLiteral("SELECT name, sql FROM temp.sqlite_master WHERE type = 'trigger' AND tbl_name = ? "
                                         "COLLATE NOCASE"),
                    context());
        q.bind(1, stored);
        auto ours = [&](const QString& name) {
            if (name == insertName || name == updateName || name == fitInsertName || name == fitUpdateName) return true;
            for (const QString& base : {updateName, fitUpdateName}) {
                if (name.size() > base.size() + 1 && name.startsWith(base) && name.at(base.size()) == u'_') {
                    bool digits = true;
                    for (qsizetype i = base.size() + 1; i < name.size(); ++i) digits = digits && name.at(i).isDigit();
                    if (digits) return true;
                }
            }
            return false;
        };
        while (q.step()) {
            if (ours(q.text(0))) present.insert(q.text(0), q.text(1));
        }
    }
    auto it = checks_.find(key);
    if (it != checks_.end() && it->sql == sql) {
        bool same = it->made.size() == present.size();
        for (auto m = it->made.cbegin(); same && m != it->made.cend(); ++m) same = present.value(m.key()) == m.value();
        if (same) {
            it->generation = generation_;
            it->rollbacks = rollbacks_;
            return;
        }
    }
    for (auto p = present.cbegin(); p != present.cend(); ++p) {
        exec(db(), QStringLiteral("DROP TRIGGER IF EXISTS temp.") + quoteName(p.key()), context());
    }
    const TableDefinition def = TableDefinition::parse(sql);
    // Each trigger runs its body only when its condition finds something to refuse or fit:
    // most rows need neither, and then a written row costs one expression, not a statement
    // per column.
    QString onInsert;
    QString fit;
    QStringList insertWhen;
    QStringList fitWhen;
    // An update fires only the triggers of the columns it sets, each with a condition on its
    // column alone: setting one column of a wide table looks at that column only.
    struct ColumnRules {
        QString column;
        QString onUpdate;
        QStringList updateWhen;
        QString fit;
        QStringList fitWhen;
    };
    std::vector<ColumnRules> perColumn;
    for (const auto& c : def.columns) {
        ColumnRules r{quoteName(c.name), {}, {}, {}, {}};
        const QString& col = r.column;
        const QString ref = QStringLiteral("NEW.") + col;
        for (const auto& check : c.type.checks(ref)) {
            onInsert += QStringLiteral(" SELECT %1 WHERE %2;").arg(check.raise, check.condition);
            insertWhen.push_back(u'(' + check.condition + u')');
            r.onUpdate += QStringLiteral(" SELECT %1 WHERE %2 IS NOT OLD.%3 AND %4;").arg(check.raise, ref, col, check.condition);
            r.updateWhen.push_back(QStringLiteral("(%1 IS NOT OLD.%2 AND %3)").arg(ref, col, check.condition));
        }
        // What SQL Server stores: blanks beyond a character column's width dropped, char(n)
        // filled with blanks to its width.
        using K = SqlType::Kind;
        const long n = c.type.length;
        if ((c.type.kind == K::VarChar || c.type.kind == K::NVarChar || c.type.kind == K::Char || c.type.kind == K::NChar) &&
            n > 0 && n < 8001) {
            r.fit += QStringLiteral(" UPDATE %1 SET %2 = substr(%2, 1, %3) WHERE rowid = NEW.rowid AND typeof(%2) = 'text' AND "
                                    "length(%2) > %3;")
                         .arg(quoteName(stored), col)
                         .arg(n);
            r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'text' AND length(%1) > %2)").arg(ref).arg(n));
            if (c.type.kind == K::Char || c.type.kind == K::NChar) {
                r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'text' AND length(%1) < %2)").arg(ref).arg(n));
                // "!": the width counts characters; without it printf counts UTF-8 bytes and
                // an accented value came out short of the column's width.
                r.fit += QStringLiteral(" UPDATE %1 SET %2 = printf('%-!%3s', %2) WHERE rowid = NEW.rowid AND typeof(%2) = "
                                        "'text' AND length(%2) < %3;")
                             .arg(quoteName(stored), col)
                             .arg(n);
            }
            fit += r.fit;
            fitWhen += r.fitWhen;
        }
        // A numeric column keeps a value rounded to its scale, as SQL Server does.
        if (c.type.kind == K::Numeric && !c.identity) {
            const QString rounded = QStringLiteral("tsql_numeric(%1, %2)").arg(col).arg(c.type.scale);
            r.fit += QStringLiteral(" UPDATE %1 SET %2 = %3 WHERE rowid = NEW.rowid AND typeof(%2) = 'real' AND %2 <> %3;")
                         .arg(quoteName(stored), col, rounded);
            r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'real' AND %1 <> tsql_numeric(%1, %2))").arg(ref).arg(c.type.scale));
            fit += r.fit;
            fitWhen += r.fitWhen;
        }
        if (c.type.kind == K::DateTime || c.type.kind == K::SmallDateTime) {
            r.fit += QStringLiteral(" UPDATE %1 SET %2 = tsql_datetime(%2) WHERE rowid = NEW.rowid AND typeof(%2) = 'text' "
                                    "AND length(%2) <> 23;")
                         .arg(quoteName(stored), col);
            r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'text' AND length(%1) <> 23)").arg(ref));
            fit += r.fit;
            fitWhen += r.fitWhen;
        }
        perColumn.push_back(std::move(r));
    }
    // A very wide table keeps its triggers unconditional (SQLite limits an expression's depth).
    auto when = [](const QStringList& terms) {
        return terms.isEmpty() || terms.size() > 200 ? QString()
                                                     : QStringLiteral(" WHEN ") + terms.join(QStringLiteral(" OR "));
    };
    CachedChecks cc{sql, generation_, rollbacks_, {}};
    const QString target = schemaRef(schema) + u'.' + quoteName(stored);
    // A trigger body names its table without a database, so the fitting is only done where
    // that name finds this very table (and never on tables without row ids).
    bool withoutRowid = false;
    for (const auto& t : def.tail) withoutRowid = withoutRowid || t.isWord("ROWID");
    const bool fits = !fit.isEmpty() && !withoutRowid && resolvesTo(schema, stored);
    auto create = [&](const QString& name, const QString& event, const QStringList& terms, const QString& body) {
        exec(db(),
             QStringLiteral("CREATE TEMP TRIGGER ") + quoteName(name) + u' ' + event + QStringLiteral(" ON ") + target +
                 when(terms) + QStringLiteral(" BEGIN") + body + QStringLiteral(" END"),
             context());
        cc.made.insert(name, QString());
    };
    if (fits) {
        // One trigger a row instead of two: the checks raise from the fitting's trigger, before
        // it fits anything, and the refused statement is undone all the same.
        create(fitInsertName, QStringLiteral("AFTER INSERT"), insertWhen + fitWhen, onInsert + fit);
        for (size_t i = 0; i < perColumn.size(); ++i) {
            const ColumnRules& r = perColumn[i];
            if (r.onUpdate.isEmpty() && r.fit.isEmpty()) continue;
            create(fitUpdateName + u'_' + QString::number(i), QStringLiteral("AFTER UPDATE OF ") + r.column,
                   r.updateWhen + r.fitWhen, r.onUpdate + r.fit);
        }
    } else if (!onInsert.isEmpty()) {
        create(insertName, QStringLiteral("BEFORE INSERT"), insertWhen, onInsert);
        for (size_t i = 0; i < perColumn.size(); ++i) {
            const ColumnRules& r = perColumn[i];
            if (r.onUpdate.isEmpty()) continue;
            create(updateName + u'_' + QString::number(i), QStringLiteral("BEFORE UPDATE OF ") + r.column, r.updateWhen,
                   r.onUpdate);
        }
    }
    // The texts as SQLite keeps them, to tell these triggers from others of the same names.
    if (!cc.made.isEmpty()) {
        Statement q(db(), QStringLiteral("SELECT name, sql FROM temp.sqlite_master WHERE type = 'trigger' AND tbl_name = ? "
                                         "COLLATE NOCASE"),
                    context());
        q.bind(1, stored);
        while (q.step()) {
            if (cc.made.contains(q.text(0))) cc.made[q.text(0)] = q.text(1);
        }
    }
    checks_.insert(key, cc);
}

namespace {

// Most statements a program sends are plain: words, numbers, punctuation and '...' strings.
// Their shape (the text with each string as one mark) and the strings' values come from one
// pass over the text, giving the same shape the tokens would give. Anything else (comments,
// quoted names, N'' strings, parameters, an unterminated string) answers false and goes the
// tokens' way.
bool plainShape(const QString& text, QString& shape, std::vector<QString>& values) {
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    shape.reserve(n);
    qsizetype run = 0;  // start of the text not yet copied into the shape
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = p[i].unicode();
        if (c == u'\'') {
            if (i > 0 && (p[i - 1].isLetterOrNumber() || p[i - 1] == u'_' || p[i - 1] == u'#' || p[i - 1] == u'$' ||
                          p[i - 1] == u'@')) {
                return false;
            }
            shape.append(p + run, i - run);
            QString value;
            qsizetype piece = ++i;
            bool closed = false;
            while (i < n) {
                if (p[i] != u'\'') {
                    ++i;
                } else if (i + 1 < n && p[i + 1] == u'\'') {
                    value.append(p + piece, i + 1 - piece);
                    i += 2;
                    piece = i;
                } else {
                    value.append(p + piece, i - piece);
                    ++i;
                    closed = true;
                    break;
                }
            }
            if (!closed) return false;
            values.push_back(std::move(value));
            shape += QStringLiteral("'\x01'");
            run = i;
            continue;
        }
        if (c == u'[' || c == u'"' || c == u'?' || (c == u'-' && i + 1 < n && p[i + 1] == u'-') ||
            (c == u'/' && i + 1 < n && p[i + 1] == u'*')) {
            return false;
        }
        ++i;
    }
    shape.append(p + run, n - run);
    return true;
}

}  // namespace

std::vector<std::shared_ptr<const Translation>> Core::translations(const QString& text,
                                                                   std::vector<QString>& literals) {
    literals.clear();
    {
        QString shape;
        std::vector<QString> values;
        if (plainShape(text, shape, values) && !values.empty()) {
            auto found = shapeCache_.find(shape);
            if (found != shapeCache_.end() && !found->empty()) {
                literals = std::move(values);
                return *found;
            }
        }
    }
    const std::vector<Token> tokens = tokenize(text);
    // The statement's shape: its text with every literal as one mark.
    QString shape;
    shape.reserve(text.size());
    std::vector<QString> values;
    bool liftable = true;
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::String) {
            liftable = liftable && !t.unterminated;
            shape += QStringLiteral("'\x01'");
            values.push_back(t.value());
        } else {
            liftable = liftable && t.kind != TokenKind::Parameter;
            shape += t.text;
        }
    }
    if (liftable && !values.empty()) {
        auto found = shapeCache_.find(shape);
        if (found == shapeCache_.end()) {
            bool lasting = true;
            auto lifted = liftShape(tokens, lasting);
            if (!lasting) return translateInline(text, tokens);
            if (shapeCache_.size() >= kTranslationCacheSize) shapeCache_.clear();
            found = shapeCache_.insert(shape, std::move(lifted));
        }
        if (!found->empty()) {
            literals = std::move(values);
            return *found;
        }
    }
    return translateInline(text, tokens);
}

std::vector<std::shared_ptr<const Translation>> Core::translateInline(const QString& text,
                                                                      const std::vector<Token>& tokens) {
    auto it = translationCache_.find(text);
    if (it != translationCache_.end()) return *it;
    std::vector<std::shared_ptr<const Translation>> list;
    for (const auto& stmt : splitBatch(tokens)) {
        list.push_back(std::make_shared<const Translation>(translate(stmt, database_)));
    }
    if (translationCache_.size() >= kTranslationCacheSize) translationCache_.clear();
    translationCache_.insert(text, list);
    return list;
}

std::vector<std::shared_ptr<const Translation>> Core::liftShape(const std::vector<Token>& tokens, bool& lasting) {
    // The shape is translated with a probe for each literal, a text no statement holds, so that
    // each literal is found again in the translation: every probe once and in order, or the
    // shape keeps its literals inline.
    auto probe = [](size_t k) { return QStringLiteral("'\x01%1\x01'").arg(k); };
    std::vector<Token> probed = tokens;
    size_t count = 0;
    for (Token& t : probed) {
        if (t.kind == TokenKind::String) t = Token{TokenKind::String, probe(count++), false};
    }
    auto lift = [&](QString& sql, size_t first, size_t& end) {
        std::vector<Token> out = tokenize(sql);
        end = first;
        for (Token& t : out) {
            if (t.kind != TokenKind::String) continue;
            if (t.text != probe(end)) return false;
            t = Token{TokenKind::Parameter, u'?' + QString::number(end + 1), false};
            ++end;
        }
        sql = joinTokens(out);
        return true;
    };
    std::vector<std::shared_ptr<const Translation>> list;
    std::vector<std::vector<Token>> asWritten = splitBatch(tokens);
    std::vector<std::vector<Token>> statements = splitBatch(probed);
    if (asWritten.size() != statements.size()) return {};
    size_t next = 0;
    for (size_t i = 0; i < statements.size(); ++i) {
        Translation tr = translate(statements[i], database_);
        const bool passThrough = tr.kind == StatementKind::Query || tr.kind == StatementKind::Insert ||
                                 tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete;
        if (!passThrough || !tr.syntaxError.isEmpty() || tr.refusal != 0 || tr.parameters != 0) return {};
        size_t end = next;
        if (!lift(tr.sql, next, end)) return {};
        if (!tr.updatableSql.isEmpty()) {
            size_t keyedEnd = next;
            if (!lift(tr.updatableSql, next, keyedEnd) || keyedEnd != end) return {};
        }
        if (!tr.describingSql.isEmpty()) {
            size_t describingEnd = next;
            if (!lift(tr.describingSql, next, describingEnd) || describingEnd != end) return {};
        }
        // SQLite must take the literals as parameters (a literal used as a name is not one),
        // and the columns must be named as with the literals inline.
        try {
            attach(tr.databases);
            const Translation real = translate(asWritten[i], database_);
            Statement withLiterals(db(), real.sql, context());
            auto withParameters = prepared(tr.sql);
            const int n = sqlite3_column_count(withLiterals.get());
            if (n != sqlite3_column_count(withParameters.get())) return {};
            for (int c = 0; c < n; ++c) {
                const char* a = sqlite3_column_name(withLiterals.get(), c);
                const char* b = sqlite3_column_name(withParameters.get(), c);
                if (!a || !b || std::strcmp(a, b) != 0) return {};
            }
        } catch (const DbError&) {
            // Not runnable now (a table still missing, ...): decided again next time.
            lasting = false;
            return {};
        }
        next = end;
        list.push_back(std::make_shared<const Translation>(std::move(tr)));
    }
    if (next != count) return {};
    return list;
}

namespace {

// A plain read or write: neither begins nor ends a transaction, nor changes a schema.
bool readsOrWrites(StatementKind k) {
    return k == StatementKind::Query || k == StatementKind::Insert || k == StatementKind::Update ||
           k == StatementKind::Delete;
}

// Whether a request may be a plain query: a table by name or a text that begins with SELECT.
bool mayBeRead(const provider::Request& request) {
    if (request.commandType == ado::adCmdTable) return true;
    if (request.commandType == ado::adCmdStoredProc) return false;
    const QString& t = request.text;
    qsizetype i = 0;
    while (i < t.size() && t.at(i).isSpace()) ++i;
    return t.mid(i, 6).compare(QLatin1String("select"), Qt::CaseInsensitive) == 0;
}

// Whether a request is one plain write on the connection's own database: a single INSERT,
// UPDATE or DELETE without a name qualified by a database (so nothing is attached on its way).
// A dot or a semicolon outside the literals sends the text the ordinary way.
bool plainWrite(const provider::Request& request) {
    if (request.commandType == ado::adCmdTable || request.commandType == ado::adCmdStoredProc) return false;
    const QString& t = request.text;
    qsizetype i = 0;
    while (i < t.size() && t.at(i).isSpace()) ++i;
    const QStringView first = QStringView(t).mid(i, 6);
    if (first.compare(QLatin1String("insert"), Qt::CaseInsensitive) != 0 &&
        first.compare(QLatin1String("update"), Qt::CaseInsensitive) != 0 &&
        first.compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
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
    if (!inTransaction() && plainWrite(request)) return asOneWrite([&] { return executeChecked(request); });
    return executeChecked(request);
}

std::vector<provider::Result> Core::executeChecked(const provider::Request& request) {
    // A read takes its schema check and its rows in one read transaction: the version
    // statements are kept running until the rows are read, so the files' locks are taken once
    // per request instead of twice. Anything that writes lets them go first, since a write
    // must not start from a read snapshot that another connection may have overtaken.
    std::vector<StatementCache::Lease> heldVersions;
    const bool holdForRead = !inTransaction() && mayBeRead(request);
    // A schema changed by another connection makes the cached definitions stale.
    auto checkVersion = [&](const QString& s) {
        auto text = versionTexts_.find(s);
        if (text == versionTexts_.end()) {
            text = versionTexts_.insert(s, QStringLiteral("PRAGMA ") + schemaRef(s) + QStringLiteral(".schema_version"));
        }
        auto v = prepared(*text);
        v.step();
        const qint64 version = sqlite3_column_int64(v.get(), 0);
        // By the name as attached: a name attached again in another case only counts as a change.
        auto it = schemaVersions_.find(s);
        if (it == schemaVersions_.end() || *it != version) {
            schemaChanged();
            schemaVersions_.insert(s, version);
        }
        if (holdForRead) heldVersions.push_back(std::move(v));
    };
    const bool check = !inTransaction() || versionsCheckedAt_ != transactionSerial_;
    if (check) {
        static const QString mainSchema = QStringLiteral("main");
        checkVersion(mainSchema);
    }

    std::vector<std::shared_ptr<const Translation>> list;
    std::vector<QString> literals;
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
        list = translations(request.text, literals);
    }
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
                checkVersion(s);
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
            results.push_back(run(*tr, request, nextParameter, literals));
        } catch (...) {
            transactionMayHaveChanged();
            throw;
        }
        if (!readsOrWrites(tr->kind) || inTransaction() != before) transactionMayHaveChanged();
    }
    return results;
}

provider::Result Core::run(const Translation& tr, const provider::Request& request, size_t& nextParameter,
                           const std::vector<QString>& literals) {
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
            return runPassThrough(tr, request, nextParameter, literals);
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
        case StatementKind::Admin:
            return runAdmin(*this, tr);
    }
    return none;
}

provider::Result Core::runPassThrough(const Translation& tr, const provider::Request& request, size_t& nextParameter,
                                      const std::vector<QString>& literals) {
    attach(tr.databases);
    const bool write = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update;
    const QString* sql = &tr.sql;
    if (write && !tr.table.isEmpty()) {
        const QString& ruled = sqlWithRules(tr);
        prepareWrite(tr.schema, tr.table, !ruled.isEmpty());
        if (!ruled.isEmpty()) sql = &ruled;
    }
    bool keyed = request.updatable && tr.kind == StatementKind::Query && !tr.updatableSql.isEmpty();
    StatementCache::Lease st;
    if (keyed) {
        try {
            st = prepared(tr.updatableSql);
        } catch (const DbError&) {
            keyed = false;  // no row key (a table without rowid): read only
        }
    }
    // A write into another database reports failures (read-only, missing value) under its name.
    const bool elsewhere = tr.kind != StatementKind::Query && !tr.schema.isEmpty() &&
                           tr.schema.compare(QLatin1String("main"), Qt::CaseInsensitive) != 0;
    if (!st) st = statements_.acquire(db(), *sql, elsewhere ? ErrorContext{tr.schema, path_} : context());
    if (tr.attachedUsedGeneration != generation_) {
        tr.attachedUsed = st.databases();
        tr.attachedUsedGeneration = generation_;
    }
    const int params = sqlite3_bind_parameter_count(st.get());
    if (!literals.empty()) {
        // A lifted shape: parameter k is the text's k-th literal.
        for (int k = 1; k <= params && k <= static_cast<int>(literals.size()); ++k) st.bind(k, literals[k - 1]);
    } else {
        for (int k = 1; k <= params; ++k) {
            if (nextParameter >= request.parameters.size()) {
                raiseServerError(8178, QStringLiteral("The parameterized query expects a parameter which was not supplied."));
            }
            const auto& p = request.parameters[nextParameter++];
            typeForAdo(p.type).bind(st.get(), k, p.value);
        }
    }
    if (sqlite3_column_count(st.get()) > 0) return readRows(st, keyed, tr.schema, tr.table, tr.describingSql);
    while (st.step()) {
    }
    provider::Result r;
    const bool counts = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete;
    r.recordsAffected = counts ? sqlite3_changes(db()) : -1;
    if (counts) admin_->wrote(tr.schema, tr.table);
    return r;
}

std::shared_ptr<const ColumnPlan> Core::columnPlan(sqlite3_stmt* run, bool keyed, const QString& schema,
                                                   const QString& tableName, const QString& describing) {
    // Prepared after the statement's first step, so on the schema that step saw.
    Statement description;
    if (!describing.isEmpty()) description = Statement(db(), describing, context());
    sqlite3_stmt* stmt = description.get() && sqlite3_column_count(description.get()) >= sqlite3_column_count(run) -
                                                                                        (keyed ? 1 : 0)
                             ? description.get()
                             : run;
    auto plan = std::make_shared<ColumnPlan>();
    plan->generation = generation_;
    plan->keyed = keyed;
    const int n = sqlite3_column_count(run);
    const int visible = keyed ? n - 1 : n;
    auto& types = plan->types;
    auto& origins = plan->origins;
    auto& known = plan->known;
    types.resize(static_cast<size_t>(visible));
    origins.resize(static_cast<size_t>(visible));
    known.assign(static_cast<size_t>(visible), false);
    plan->columns.resize(static_cast<size_t>(visible));
    for (int i = 0; i < visible; ++i) {
        auto& c = plan->columns[static_cast<size_t>(i)];
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
        if (known[static_cast<size_t>(i)]) {
            const SqlType& t = types[static_cast<size_t>(i)];
            c.type = t.adoType();
            c.definedSize = t.definedSize();
            c.precision = t.adoPrecision();
            c.numericScale = t.adoScale();
        }
    }
    if (keyed) {
        plan->storedTable = storedTableName(schema, tableName);
        plan->qualifiedTable = schemaRef(schema) + u'.' + quoteName(plan->storedTable);
    }
    return plan;
}

// The columns of a statement are read after its first step: a statement prepared while this
// connection still held a database's former schema (another connection changed it since) is
// prepared again by SQLite when it first steps, and only then has the columns it will return
// (a "select *" after an added column, the row key's place among them).
int Core::firstStep(sqlite3_stmt* stmt) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return rc;
    DbError e = mapSqliteError(db(), rc, context());
    sqlite3_reset(stmt);
    throw e;
}

provider::Result Core::readRows(sqlite3_stmt* stmt, bool keyed, const QString& schema, const QString& tableName,
                               const QString& describing) {
    const int first = firstStep(stmt);
    return readRows(stmt, columnPlan(stmt, keyed, schema, tableName, describing), schema, first);
}

provider::Result Core::readRows(StatementCache::Lease& st, bool keyed, const QString& schema, const QString& tableName,
                               const QString& describing) {
    const int before = sqlite3_stmt_status(st.get(), SQLITE_STMTSTATUS_REPREPARE, 0);
    const int first = firstStep(st.get());
    // The plan kept with the statement holds while no table definition changed and SQLite did
    // not prepare the statement again.
    std::shared_ptr<const ColumnPlan> plan = st.plan();
    if (!plan || plan->generation != generation_ || plan->keyed != keyed ||
        sqlite3_stmt_status(st.get(), SQLITE_STMTSTATUS_REPREPARE, 0) != before) {
        plan = columnPlan(st.get(), keyed, schema, tableName, describing);
        st.setPlan(plan);
    }
    return readRows(st.get(), plan, schema, first);
}

namespace {

class RowLock {
public:
    explicit RowLock(sqlite3_mutex* m) : m_(m) { sqlite3_mutex_enter(m_); }
    ~RowLock() { sqlite3_mutex_leave(m_); }
    RowLock(const RowLock&) = delete;
    RowLock& operator=(const RowLock&) = delete;

private:
    sqlite3_mutex* m_;
};

// How readRows may take a column's values without decoding them into a Variant.
enum DirectKind : char { kDecoded, kDirectText, kDirectMoney, kDirectNullOnly };

char directKind(const SqlType& t, bool known) {
    if (!known) return kDirectNullOnly;
    if (t.isText()) return kDirectText;
    if (t.kind == SqlType::Kind::Money || t.kind == SqlType::Kind::SmallMoney) return kDirectMoney;
    return kDirectNullOnly;
}

// Adds the value to the row being built when its column's kind lets it be taken as it is (what
// the type's decoding would make of it, packed the same way); false leaves it to the decoding.
// The caller holds the connection's lock.
bool addDirect(provider::RowSet& rows, sqlite3_value* v, char kind) {
    const int storage = sqlite3_value_type(v);
    if (storage == SQLITE_NULL) {
        rows.addNull();
        return true;
    }
    if (kind == kDirectText && storage == SQLITE_TEXT) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
        const int bytes = sqlite3_value_bytes(v);
        for (int b = 0; b < bytes; ++b) {
            if (static_cast<unsigned char>(p[b]) >= 0x80) return false;
        }
        rows.addAscii(p, bytes);
        return true;
    }
    if (kind == kDirectMoney && (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER)) {
        try {
            const Currency c = storage == SQLITE_FLOAT ? Currency::fromDouble(sqlite3_value_double(v))
                                                       : Currency::fromUnits(sqlite3_value_int64(v));
            rows.addCurrency(c.raw());
            return true;
        } catch (const platform::RuntimeError&) {
            return false;  // beyond the currency range: the decoding reads it as a plain number
        }
    }
    return false;
}

}  // namespace

provider::Result Core::readRows(sqlite3_stmt* stmt, const std::shared_ptr<const ColumnPlan>& plan, const QString& schema,
                               int first) {
    provider::Result r;
    r.hasRows = true;
    r.columns = plan->columns;
    const bool keyed = plan->keyed;
    const int n = sqlite3_column_count(stmt);
    const int visible = static_cast<int>(plan->columns.size());
    const auto& types = plan->types;
    // The values an expression column gave decide its type.
    struct Seen {
        bool text = false, blob = false, real = false, big = false, integer = false;
        long longest = 0;
    };
    std::vector<Seen> seen(static_cast<size_t>(visible));
    const ErrorContext ctx = context();
    // The common values (Null, a text of plain ASCII, an amount) go into the packed rows as they
    // are read, without a Variant; the others are decoded by their column's type.
    std::vector<char> direct(static_cast<size_t>(visible));
    for (size_t k = 0; k < direct.size(); ++k) direct[k] = directKind(types[k], plan->known[k]);
    sqlite3_mutex* const mutex = sqlite3_db_mutex(db());
    for (int rc = first;; rc = sqlite3_step(stmt)) {
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) {
            DbError e = mapSqliteError(db(), rc, ctx);
            sqlite3_reset(stmt);
            throw e;
        }
        r.rows.beginRow();
        // The row's values are read under the connection's lock, held once for the row, which
        // lets them be read from the value objects without every call taking it again.
        const RowLock lock(mutex);
        for (int i = 0; i < visible; ++i) {
            const auto k = static_cast<size_t>(i);
            if (direct[k] != kDecoded && addDirect(r.rows, sqlite3_column_value(stmt, i), direct[k])) continue;
            const Variant value = types[k].decode(stmt, i);
            r.rows.add(value);
            if (plan->known[k]) continue;
            const auto& v = value.storage();
            Seen& f = seen[k];
            if (const auto* s = std::get_if<QString>(&v)) {
                f.text = true;
                f.longest = std::max(f.longest, static_cast<long>(s->size()));
            } else if (const auto* b = std::get_if<QByteArray>(&v)) {
                f.blob = true;
                f.longest = std::max(f.longest, static_cast<long>(b->size()));
            } else if (std::holds_alternative<double>(v)) {
                f.real = true;
            } else if (std::holds_alternative<std::int64_t>(v)) {
                f.big = true;
            } else if (std::holds_alternative<std::int32_t>(v)) {
                f.integer = true;
            }
        }
        r.rows.endRow();
        if (keyed) r.keys.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(stmt, n - 1)));
    }
    for (int i = 0; i < visible; ++i) {
        const auto k = static_cast<size_t>(i);
        if (plan->known[k]) continue;
        auto& c = r.columns[k];
        const Seen& f = seen[k];
        if (f.text) {
            c.type = ado::adVarChar;
            c.definedSize = std::max(f.longest, 1L);
        } else if (f.blob) {
            c.type = ado::adLongVarBinary;
            c.definedSize = 2147483647;
        } else if (f.real) {
            c.type = ado::adDouble;
            c.definedSize = 8;
            c.precision = 15;
        } else if (f.big) {
            c.type = ado::adBigInt;
            c.definedSize = 8;
            c.precision = 19;
        } else if (f.integer) {
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
    if (keyed) r.writer = std::make_shared<EmbeddedRowWriter>(weak_from_this(), schema, plan);
    return r;
}

}  // namespace data::embedded
