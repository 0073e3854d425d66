// Reading rows: the columns a statement describes and their types, the rows into memory,
// and the writer that puts an updatable recordset's changes back by row key.
#include "data/embedded/connection/core.h"

#include <algorithm>
#include <cstring>

#include "data/adoconstants.h"
#include "data/embedded/translate/columnrules.h"

namespace data::embedded {

namespace {

std::vector<char> directKinds(const ColumnPlan& plan);

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
        core->asOneWrite([&] { updateRow(*core, text.textFor(changes), key, changes); });
    }

    std::pair<Variant, provider::Row> insert(const provider::Changes& values) override {
        auto core = lock();
        const TextForColumns::Text& text = writeText(*core, plan_->insertText, values, true);
        core->prepareWrite(schema_, table_, text.ruled);
        return core->asOneWrite([&] { return insertRow(*core, text.textFor(values), values); });
    }

    provider::Row stored(const Variant& key) override {
        auto core = lock();
        return reload(*core, key.toInt64());
    }

    void remove(const Variant& key) override {
        auto core = lock();
        core->asOneWrite([&] { removeRow(*core, key); });
    }

    Variant longValue(const Variant& key, int column) override {
        auto core = lock();
        const auto c = static_cast<size_t>(column);
        if (column < 0 || c >= origins_.size() || origins_[c].isEmpty()) return Variant::null();
        auto st = core->prepared(QStringLiteral("SELECT ") + quoteName(origins_[c]) + QStringLiteral(" FROM ") +
                                 qualified() + QStringLiteral(" WHERE rowid = ?"));
        st.bind(1, static_cast<qint64>(key.toInt64()));
        if (!st.step()) return Variant::null();
        return types_[c].decode(st.get(), 0);
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
            QStringList bare;
            std::vector<DirectFit> fits;
            for (size_t i = 0; i < changes.size(); ++i) {
                const auto c = static_cast<size_t>(changes[i].first);
                cols.push_back(quoteName(origins_[c]));
                bare.push_back(QStringLiteral("?"));
                if (!ruled) continue;
                const ColumnDef& column = def->columns[static_cast<size_t>(at[i])];
                values.push_back(withColumnRules(QStringLiteral("?"), column));
                fits.emplace_back(column, types_[c]);
            }
            auto statement = [&](const QStringList& v) {
                if (!inserting) {
                    QStringList sets;
                    for (qsizetype i = 0; i < cols.size(); ++i) sets.push_back(cols[i] + QStringLiteral(" = ") + v[i]);
                    return QStringLiteral("UPDATE ") + qualified() + QStringLiteral(" SET ") +
                           sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE rowid = ?");
                }
                return cols.isEmpty() ? QStringLiteral("INSERT INTO ") + qualified() + QStringLiteral(" DEFAULT VALUES")
                                      : QStringLiteral("INSERT INTO ") + qualified() + QStringLiteral(" (") +
                                            cols.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                                            v.join(QStringLiteral(", ")) + u')';
            };
            TextForColumns::Text text;
            text.ruled = ruled;
            text.sql = statement(ruled ? values : bare);
            if (ruled) {
                text.direct = statement(bare);
                text.fits = std::move(fits);
            }
            return text;
        });
    }

    // Inside the client's transaction the write may wait for another's write lock.
    void write(Core& core, StatementCache::Lease& st) {
        core.stepWaiting([&st] { st.step(); }, schema_);
    }

    void updateRow(Core& c, const QString& sql, const Variant& key, const provider::Changes& changes) {
        Core* core = &c;
        auto st = core->prepared(sql);
        core->checkRights(st);
        int k = 1;
        for (const auto& c : changes) types_[static_cast<size_t>(c.first)].bind(st.get(), k++, c.second);
        st.bind(k, key.toInt64());
        core->startClock();
        write(*core, st);
        if (sqlite3_changes(core->db()) == 0) rowMissing();
    }

    std::pair<Variant, provider::Row> insertRow(Core& c, const QString& sql, const provider::Changes& values) {
        Core* core = &c;
        auto st = core->prepared(sql);
        core->checkRights(st);
        int k = 1;
        for (const auto& c : values) types_[static_cast<size_t>(c.first)].bind(st.get(), k++, c.second);
        core->startClock();
        write(*core, st);
        // The stored row is read when somebody looks at it (stored()).
        return {Variant(static_cast<std::int64_t>(sqlite3_last_insert_rowid(core->db()))), provider::Row()};
    }

    void removeRow(Core& c, const Variant& key) {
        Core* core = &c;
        auto st = core->prepared(QStringLiteral("DELETE FROM ") + qualified() + QStringLiteral(" WHERE rowid = ?"));
        core->checkRights(st);
        st.bind(1, static_cast<qint64>(key.toInt64()));
        core->startClock();
        write(*core, st);
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
        // A long value just written is read again only if somebody looks at it.
        for (size_t i = 0; i < row.size(); ++i) {
            if (plan_->late[i]) row[i] = Variant();
        }
        const QString& sql = plan_->reloadText.textFor(qualified(), 0, {}, [&] {
            QStringList cols;
            plan_->reloadAt.clear();
            for (size_t i = 0; i < origins_.size(); ++i) {
                if (origins_[i].isEmpty() || plan_->late[i]) continue;
                cols.push_back(quoteName(origins_[i]));
                plan_->reloadAt.push_back(i);
            }
            TextForColumns::Text text;
            if (!cols.isEmpty()) {
                text.sql = QStringLiteral("SELECT ") + cols.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
                           qualified() + QStringLiteral(" WHERE rowid = ?");
            } else {
                text.sql = QStringLiteral("");
            }
            return text;
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
    plan->late.assign(static_cast<size_t>(visible), false);
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
        plan->late[static_cast<size_t>(i)] = !origins[static_cast<size_t>(i)].isEmpty() &&
                                             known[static_cast<size_t>(i)] &&
                                             (c.type == ado::adLongVarBinary || c.type == ado::adLongVarChar ||
                                              c.type == ado::adLongVarWChar);
    }
    if (keyed) {
        plan->storedTable = storedTableName(schema, tableName);
        plan->qualifiedTable = schemaRef(schema) + u'.' + quoteName(plan->storedTable);
    }
    plan->direct = directKinds(*plan);
    plan->allKnown = std::find(plan->known.begin(), plan->known.end(), false) == plan->known.end();
    if (plan->allKnown) plan->columnsId = provider::nextColumnsSerial();
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
// The whole-number kinds pack a stored integer as their decoding types it: smallint and tinyint
// as 16 bits, int as 32 (both wider when the value is), bigint and numeric(p, 0) as 64.
// A column of unknown type (an expression's) takes its values as they are stored, and those
// values decide its type (Seen); a datetime column reads the engine's written forms; a numeric
// column with one to four decimals keeps a number as an amount rounded to them.
enum DirectKind : char { kDecoded, kDirectText, kDirectMoney, kDirectNullOnly, kLate, kDirectSmall, kDirectInt,
                         kDirectBig, kDirectStored, kDirectDate, kDirectNumeric };

char directKind(const SqlType& t, bool known, bool late) {
    using Kind = SqlType::Kind;
    if (late) return kLate;
    if (!known) return kDirectStored;
    if (t.isText()) return kDirectText;
    if (t.kind == Kind::Money || t.kind == Kind::SmallMoney) return kDirectMoney;
    if (t.kind == Kind::SmallInt || t.kind == Kind::TinyInt) return kDirectSmall;
    if (t.kind == Kind::Int || t.kind == Kind::SqliteInteger) return kDirectInt;
    if (t.kind == Kind::BigInt || (t.kind == Kind::Numeric && t.scale == 0)) return kDirectBig;
    if (t.kind == Kind::Numeric && t.scale >= 1 && t.scale <= 4) return kDirectNumeric;
    if (t.kind == Kind::DateTime || t.kind == Kind::SmallDateTime) return kDirectDate;
    return kDirectNullOnly;
}

// Whether every byte is below 0x80; eight at a time, the texts of a row being most of its bytes.
bool plainAscii(const char* p, int bytes) {
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    std::uint64_t seen = 0;
    int b = 0;
    for (; b + 8 <= bytes; b += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + b, sizeof w);
        seen |= w;
    }
    for (; b < bytes; ++b) seen |= static_cast<unsigned char>(p[b]);
    return (seen & kHigh) == 0;
}

// The values an expression column gave, which decide its type.
struct Seen {
    bool text = false, blob = false, real = false, big = false, integer = false;
    long longest = 0;
};

// A stored text of plain ASCII packed as its column's decoding would pack it, and noted in seen
// when given; false otherwise. Most values of a row are such texts: the call is not kept.
[[gnu::always_inline]] inline bool addPlainText(provider::RowSet& rows, sqlite3_value* v, Seen* seen) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    const int bytes = sqlite3_value_bytes(v);
    if (!plainAscii(p, bytes)) return false;
    rows.addAscii(p, bytes);
    if (seen) {
        seen->text = true;
        seen->longest = std::max(seen->longest, static_cast<long>(bytes));
    }
    return true;
}

// Adds the value to the row being built when its column's kind lets it be taken as it is (what
// the type's decoding would make of it, packed the same way); false leaves it to the decoding.
// A value of a column of unknown type is noted in seen as packRow notes a decoded one.
// The caller holds the connection's lock.
bool addDirect(provider::RowSet& rows, sqlite3_value* v, char kind, const SqlType& type, Seen* seen) {
    const int storage = sqlite3_value_type(v);
    if (storage == SQLITE_NULL) {
        rows.addNull();
        return true;
    }
    if ((kind == kDirectText || kind == kDirectStored) && storage == SQLITE_TEXT) return addPlainText(rows, v, seen);
    // A column of unknown type takes a whole number as its decoding's natural value does: in
    // 32 bits when it fits.
    if ((kind == kDirectSmall || kind == kDirectInt || kind == kDirectBig || kind == kDirectStored) &&
        storage == SQLITE_INTEGER) {
        const sqlite3_int64 whole = sqlite3_value_int64(v);
        if (kind == kDirectSmall && whole >= -32768 && whole <= 32767) {
            rows.addInt16(static_cast<std::int16_t>(whole));
        } else if (kind != kDirectBig && whole >= -2147483648LL && whole <= 2147483647LL) {
            rows.addInt32(static_cast<std::int32_t>(whole));
            if (seen) seen->integer = true;
        } else {
            rows.addInt64(whole);
            if (seen) seen->big = true;
        }
        return true;
    }
    if (kind == kDirectStored) {
        if (storage != SQLITE_FLOAT) return false;
        rows.addDouble(sqlite3_value_double(v));
        seen->real = true;
        return true;
    }
    if (kind == kDirectDate && storage == SQLITE_TEXT) {
        // Packed as the decoding's UTC wall-clock value would be; any other text is decoded.
        QDate date;
        QTime time;
        if (!writtenDateTime(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v), date, time)) {
            return false;
        }
        rows.addDate(date.toJulianDay(), time.msecsSinceStartOfDay(), false);
        return true;
    }
    if ((kind == kDirectMoney || kind == kDirectNumeric) && (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER)) {
        try {
            const Currency c = storage == SQLITE_FLOAT ? Currency::fromDouble(sqlite3_value_double(v))
                                                       : Currency::fromUnits(sqlite3_value_int64(v));
            rows.addCurrency(kind == kDirectNumeric ? roundNumeric(c, type.scale).raw() : c.raw());
            return true;
        } catch (const platform::RuntimeError&) {
            return false;  // beyond the currency range: the decoding reads it as a plain number
        }
    }
    return false;
}

// How each column of a plan is read (directKind).
std::vector<char> directKinds(const ColumnPlan& plan) {
    std::vector<char> direct(plan.columns.size());
    for (size_t k = 0; k < direct.size(); ++k) direct[k] = directKind(plan.types[k], plan.known[k], plan.late[k]);
    return direct;
}

// Packs the statement's current row into rows. The common values (Null, a text of plain ASCII,
// a number, an amount, a date-time as the engine writes it) go in as they are read, without a
// Variant; the others are decoded by their column's type. The values of a column of unknown
// type are noted in seen either way.
// wanted (when given) says which columns are packed; the others are packed as Empty.
void packRow(provider::RowSet& rows, sqlite3_stmt* stmt, const ColumnPlan& plan, sqlite3_mutex* mutex,
             std::vector<Seen>& seen, const std::vector<char>* wanted = nullptr) {
    const std::vector<char>& direct = plan.direct;
    const int visible = static_cast<int>(plan.columns.size());
    rows.beginRow();
    // The row's values are read under the connection's lock, held once for the row, which
    // lets them be read from the value objects without every call taking it again.
    const RowLock lock(mutex);
    for (int i = 0; i < visible; ++i) {
        const auto k = static_cast<size_t>(i);
        if (direct[k] == kLate || (wanted && !(*wanted)[k])) {
            rows.addEmpty();
            continue;
        }
        if (direct[k] != kDecoded) {
            sqlite3_value* const v = sqlite3_column_value(stmt, i);
            // Most values are texts of a text column: taken here, without the general call.
            if (direct[k] == kDirectText && sqlite3_value_type(v) == SQLITE_TEXT) {
                if (addPlainText(rows, v, nullptr)) continue;
            } else if (addDirect(rows, v, direct[k], plan.types[k], plan.known[k] ? nullptr : &seen[k])) {
                continue;
            }
        }
        const Variant value = plan.types[k].decode(stmt, i);
        rows.add(value);
        if (plan.known[k]) continue;
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
    rows.endRow();
}

// The type of each column of unknown type, by the values it gave.
void describeByValues(const ColumnPlan& plan, const std::vector<Seen>& seen, provider::Columns& columns) {
    for (size_t k = 0; k < static_cast<size_t>(plan.columns.size()); ++k) {
        if (plan.known[k]) continue;
        auto& c = columns[k];
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
}

[[noreturn]] void connectionGone() {
    throw DbError(3709, QStringLiteral("The connection cannot be used to perform this operation. It is either "
                                       "closed or invalid in this context."));
}

}  // namespace

// A streamed result: the statement of its own, stepped once per row the caller asks for. Its
// first step was taken when the request ran (the columns are only known after it).
class StreamedRows : public provider::RowSource {
public:
    StreamedRows(Core& core, StatementCache::Lease st, std::shared_ptr<const ColumnPlan> plan, int first)
        : core_(core), st_(std::move(st)), plan_(std::move(plan)), rc_(first) {}

    bool next(provider::RowSet& row) override {
        row.reuse();
        if (cut_) connectionGone();
        if (!st_) return false;
        sqlite3_stmt* const stmt = st_.get();
        if (stepped_) {
            // The command time-out bounds opening the stream (the first step, which sorts);
            // the rows after it are read as the caller asks, over time that is the caller's.
            core_.stopClock();
            rc_ = sqlite3_step(stmt);
        }
        stepped_ = true;
        if (rc_ == SQLITE_DONE) {
            st_ = {};
            return false;
        }
        if (rc_ != SQLITE_ROW) {
            DbError e = mapSqliteError(sqlite3_db_handle(stmt), rc_, core_.context());
            st_ = {};
            throw e;
        }
        packRow(row, stmt, *plan_, sqlite3_db_mutex(sqlite3_db_handle(stmt)), seen_, &wanted_);
        return true;
    }

    // The statement still stands on the row handed out last, so its columns can be read again.
    bool want(provider::RowSet& row, int column) override {
        const auto k = static_cast<size_t>(column);
        if (k >= wanted_.size() || wanted_[k]) return false;
        wanted_[k] = 1;
        if (cut_) connectionGone();
        if (!st_ || !stepped_ || rc_ != SQLITE_ROW) return false;
        sqlite3_stmt* const stmt = st_.get();
        row.reuse();
        packRow(row, stmt, *plan_, sqlite3_db_mutex(sqlite3_db_handle(stmt)), seen_, &wanted_);
        return true;
    }

    // The connection's handle closes or changes: the statement goes now, and a later read
    // says so instead of ending as if the rows were all read.
    void cutOff() {
        if (st_) cut_ = true;
        st_ = {};
    }

private:
    Core& core_;  // alive while st_ is: the connection cuts its streams off before it goes
    StatementCache::Lease st_;  // empty once the rows are all read or the stream was cut off
    std::shared_ptr<const ColumnPlan> plan_;
    // The columns a reader asked for: the only ones packed, the others' reading being most of
    // the cost of a row that is written out in part.
    std::vector<char> wanted_ = std::vector<char>(plan_->columns.size(), 0);
    std::vector<Seen> seen_;  // stays empty: a plan with a column of unknown type is not streamed
    int rc_;
    bool stepped_ = false;  // rc_ is of a row already handed out
    bool cut_ = false;
};

void OpenStreams::add(const std::shared_ptr<StreamedRows>& s) {
    std::erase_if(list_, [](const std::weak_ptr<StreamedRows>& w) { return w.expired(); });
    list_.push_back(s);
}

void OpenStreams::cutOff() {
    for (auto& w : list_) {
        if (auto s = w.lock()) s->cutOff();
    }
    list_.clear();
}

provider::Result Core::streamRows(StatementCache::Lease st, const QString& schema, const QString& describing) {
    const int first = firstStep(st.get());
    auto plan = columnPlan(st.get(), false, schema, QString(), describing);
    for (size_t k = 0; k < static_cast<size_t>(plan->columns.size()); ++k) {
        if (!plan->known[k]) return readRows(st.get(), plan, schema, first);
    }
    provider::Result r;
    r.hasRows = true;
    r.columns = plan->columns;
    r.columnsId = plan->columnsId;
    auto source = std::make_shared<StreamedRows>(*this, std::move(st), std::move(plan), first);
    streams_.add(source);
    r.source = std::move(source);
    return r;
}

provider::Result Core::readRows(sqlite3_stmt* stmt, const std::shared_ptr<const ColumnPlan>& plan, const QString& schema,
                               int first) {
    provider::Result r;
    r.hasRows = true;
    r.columns = plan->columns;
    r.columnsId = plan->columnsId;  // 0 when the values decide some column's type
    const bool keyed = plan->keyed;
    const int n = sqlite3_column_count(stmt);
    const int visible = static_cast<int>(plan->columns.size());
    // Only a column whose type its values decide needs them looked at.
    std::vector<Seen> seen(plan->allKnown ? 0 : static_cast<size_t>(visible));
    sqlite3_mutex* const mutex = sqlite3_db_mutex(db());
    for (int rc = first;; rc = sqlite3_step(stmt)) {
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) {
            DbError e = mapSqliteError(db(), rc, context());
            sqlite3_reset(stmt);
            throw e;
        }
        packRow(r.rows, stmt, *plan, mutex, seen);
        if (keyed) r.keys.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(stmt, n - 1)));
    }
    if (!plan->allKnown) describeByValues(*plan, seen, r.columns);
    if (keyed) r.writer = std::make_shared<EmbeddedRowWriter>(weak_from_this(), schema, plan);
    return r;
}

namespace detail {

provider::Result packRows(sqlite3_stmt* stmt, const std::vector<SqlType>& types, bool decodedOnly) {
    ColumnPlan plan;
    plan.types = types;
    plan.columns.resize(types.size());
    plan.origins.resize(types.size());
    plan.late.assign(types.size(), false);
    for (const SqlType& t : types) plan.known.push_back(t.kind != SqlType::Kind::Unknown);
    plan.allKnown = std::find(plan.known.begin(), plan.known.end(), false) == plan.known.end();
    plan.direct = decodedOnly ? std::vector<char>(types.size(), kDecoded) : directKinds(plan);
    provider::Result r;
    r.hasRows = true;
    r.columns = plan.columns;
    std::vector<Seen> seen(types.size());
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        packRow(r.rows, stmt, plan, sqlite3_db_mutex(sqlite3_db_handle(stmt)), seen);
    }
    describeByValues(plan, seen, r.columns);
    return r;
}

}  // namespace detail

}  // namespace data::embedded
