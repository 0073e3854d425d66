#pragma once
// The state of one embedded connection: its SQLite handle on the connection's database, the
// other databases attached to it, and the caches of translations, table definitions and write
// checks. Shared by the session and by the row writers of its recordsets. Its members live by
// concern: core.cpp (the connection and its attached databases, table definitions),
// core_checks.cpp (write checks), core_shapes.cpp (statement shapes and their translations,
// core_stars.cpp the stars they expand, core_typing.cpp the conversions their types call for),
// core_execute.cpp (running a batch) and core_rows.cpp (reading rows, writing them back).
//
// Time-outs: the connection time-out bounds the wait for a locked file while opening; the
// command time-out bounds both a statement's running time (it is then stopped: "Query timeout
// expired") and its wait for another connection's lock (error 1222). A time-out of 0 means no
// limit, except that a lock is waited for at most 600 seconds: a connection of this same
// program holding a lock would otherwise hang the unattended program for good.
//
// Write checks: the refusals of SQL Server's types (varchar width, smallint range, ...) are
// temporary triggers built from each table's declared types on the connection that writes, so
// they also hold for tables made by other tools and are never stored in the database file.

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "data/embedded/server/catalog.h"
#include "data/embedded/connection/sqlitedb.h"
#include "data/embedded/connection/stmtcache.h"
#include "data/embedded/translate/tabledef.h"
#include "data/embedded/translate/translator.h"
#include "data/provider.h"

namespace data::embedded {

class AdminState;
class StreamedRows;

// The streamed results of a connection still open (Request::stream). Each owns its statement;
// they are cut off before the handle they run on closes or is replaced, and a read from one
// afterwards raises instead of finding the rows gone.
class OpenStreams {
public:
    OpenStreams() = default;
    ~OpenStreams() { cutOff(); }
    OpenStreams(const OpenStreams&) = delete;
    OpenStreams& operator=(const OpenStreams&) = delete;
    void add(const std::shared_ptr<StreamedRows>& s);
    void cutOff();

private:
    std::vector<std::weak_ptr<StreamedRows>> list_;
};

// "main" or the quoted alias of an attached database, for qualifying names in SQL.
QString schemaRef(const QString& schema);

class Core : public std::enable_shared_from_this<Core> {
public:
    // A statement's literal values, kept beside it (most statements have a few).
    using Literals = QVarLengthArray<QString, 8>;

    Core(ServerFolder server, Login login, long connectionTimeout, long commandTimeout);

    // Opens the named database as the connection's own ("main"). Raises 4060 when the server
    // has no such database, file errors otherwise.
    void openDatabase(const QString& name, bool atLogin);

    sqlite3* db() const { return db_.get(); }
    const QString& database() const { return database_; }
    const ServerFolder& server() const { return server_; }
    const Login& login() const { return login_; }
    ErrorContext context() const { return ErrorContext{database_, path_}; }
    int busyMs() const;
    void setCommandTimeout(long seconds);

    // Statement time limit: armed before running a statement.
    void startClock();
    // No time limit for what runs until the clock is started again (a streamed result's rows).
    void stopClock() { clock_.invalidate(); }

    std::vector<provider::Result> execute(const provider::Request& request);

    // Makes sure the databases are attached under their names. Raises 911 for unknown ones.
    void attach(const QStringList& databases);
    // The definition of a table (nullptr when the schema has no such table).
    const TableDefinition* table(const QString& schema, const QString& name);
    // The table's name as stored; empty when absent.
    QString storedTableName(const QString& schema, const QString& name);
    // Forgets cached definitions and checks (after a schema change).
    void schemaChanged();
    // A prepared statement of this connection for an SQLite text, kept for the next use.
    StatementCache::Lease prepared(const QString& sql) { return statements_.acquire(db(), sql, context()); }
    // Changes whenever the cached table definitions are forgotten.
    quint64 schemaGeneration() const { return generation_; }
    // Raises SQL Server's refusal when the login may not do what the statement does (permissions.h).
    void checkRights(const StatementCache::Lease& st);
    // Makes sure the write checks of a table exist on this connection.
    void ensureChecks(const QString& schema, const QString& table);
    // Before a write to a table: its checks are the triggers unless the statement carries its
    // columns' rules itself (ruled).
    void prepareWrite(const QString& schema, const QString& table, bool ruled);
    // A translated INSERT or UPDATE with its columns' rules written in (columnrules.h); empty
    // when its form does not allow them.
    const QString& sqlWithRules(const Translation& tr);
    // A translated text with its marked stars replaced by their columns (starcolumns.h).
    const QString& sqlWithStarColumns(const QString& sql);
    // A translated text with SQL Server's implicit conversions written in from the declared
    // types of the columns it names (typing.h), kept per text and generation of the definitions.
    const QString& typedSql(const QString& sql);
    // Whether an unqualified table name finds schema.table on this connection.
    bool resolvesTo(const QString& schema, const QString& table);

    // Reads every row of a prepared statement. keyColumn: the statement's last column is the
    // row key of an updatable query over schema.table.
    provider::Result readRows(sqlite3_stmt* stmt, bool keyColumn, const QString& schema, const QString& table,
                              const QString& describing = {});
    // describing: the text that describes the columns when the statement's own does not
    // (Translation::describingSql).
    provider::Result readRows(StatementCache::Lease& stmt, bool keyColumn, const QString& schema, const QString& table,
                              const QString& describing = {});

    // Steps a write of schema to its end. In the client's transaction, a write that finds
    // another's write lock waits for it as for any lock (SQLite gives up at once when the
    // transaction has read the file: it does not wait with a read open), and a wait that closes
    // a cycle may end it with 1205 (AdminState::deadlocked).
    // stepAll steps the statement to its end, raising its error (the statement reset).
    void stepWaiting(const std::function<void()>& stepAll, const QString& schema);

    // A transaction the client began; the engine's own around a single write does not count.
    bool inTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0 && !ownWrite_; }
    void transactionMayHaveChanged() {
        ++transactionSerial_;
        mainSeen_.valid = false;
    }

    // Runs fn as one write transaction of the engine's own (unless the client holds one): the
    // write lock is taken first, so the statement's schema check and any read it makes share
    // the transaction of its write instead of each taking the files' locks again. Committed when
    // fn returns, rolled back when it throws.
    template <class F>
    auto asOneWrite(F&& fn) -> decltype(fn()) {
        if (inTransaction() || ownWrite_) return fn();
        beginOwnWrite();
        try {
            if constexpr (std::is_void_v<decltype(fn())>) {
                fn();
                endOwnWrite(true);
            } else {
                auto r = fn();
                endOwnWrite(true);
                return r;
            }
        } catch (...) {
            endOwnWrite(false);
            throw;
        }
    }

    // The administration side's state of this connection (admin.h).
    AdminState& admin() { return *admin_; }
    // Detaches a database attached to this connection (before it is dropped or replaced).
    void detach(const QString& name);
    void detachAll();
    bool hasAttached() const { return !attached_.isEmpty(); }

private:
    std::vector<provider::Result> executeChecked(const provider::Request& request);
    // A plain read of the connection's own database while nothing there may have moved since
    // its schema was last read: its rows, or nothing when it has to take the checked way.
    std::optional<std::vector<provider::Result>> readOnSeenVersion(const provider::Request& request);
    // Reads a database's schema version; one that moved lets every definition go. Answers the
    // version statement, still holding its read transaction. own: the connection's own file,
    // whose data version is noted with it.
    StatementCache::Lease checkSchemaVersion(const QString& schema, bool own);
    // SQLite's count of the changes to the connection's own database file, by anybody, as of
    // the last transaction that read it (nothing when the file cannot tell).
    std::optional<unsigned int> mainDataVersion();
    // Whether the running statement has outlived the command time-out.
    bool timedOut() const;
    // An UPDATE of the client's transaction that would change no value of the rows it finds
    // holds the table (AdminState::holdTable) instead of taking the file's write lock; answers
    // its row count then, nothing when the UPDATE has to run. bind binds the UPDATE's values
    // to the probe, in the same order.
    std::optional<long> holdIfUnchanged(const Translation& tr, const QString& updateSql,
                                        const std::function<void(StatementCache::Lease&)>& bind);
    void beginOwnWrite();
    void endOwnWrite(bool commit);
    bool ownWrite_ = false;

    // Waits for the files' locks: SQLite asks whether to try again (count: the times it asked
    // already); within the command time-out it sleeps and says yes, unless the transaction's
    // wait closes a cycle that it is chosen to end (deadlockVictim_).
    static int onBusy(void* core, int count);
    int waitForLock(int count);
    QElapsedTimer lockClock_;
    QString lockSchema_ = QStringLiteral("main");  // of the write that may wait
    bool deadlockVictim_ = false;
    bool lockGaveUp_ = false;  // the wait outlived busyMs()

    // The translations of a statement text. Statement shapes that differ only in their text
    // literals share one translation in which each literal is a numbered parameter (?1 for the
    // first literal of the text, ...); literals then receives the text's literal values in
    // order. Otherwise literals stays empty and the translations carry the literals inline.
    using TranslationList = std::vector<std::shared_ptr<const Translation>>;
    std::shared_ptr<const TranslationList> translations(const QString& text, Literals& literals);
    std::shared_ptr<const TranslationList> translateInline(const QString& text, const std::vector<Token>& tokens);
    // The lifted translations of a statement shape; empty when it keeps its literals inline.
    // lasting false: the answer may change (a table was missing), so it is not kept.
    TranslationList liftShape(const std::vector<Token>& tokens, bool& lasting);
    // stream: the statement may answer with a RowSource (Request::stream, a lone query).
    provider::Result run(const Translation& tr, const provider::Request& request, size_t& nextParameter,
                         const Literals& literals = {}, bool stream = false);
    provider::Result runPassThrough(const Translation& tr, const provider::Request& request, size_t& nextParameter,
                                    const Literals& literals, bool stream);
    // The rows of a statement of its own handed out one at a time; read into memory instead
    // when a column's type is only known from its values (decided by every row).
    provider::Result streamRows(StatementCache::Lease st, const QString& schema, const QString& describing);
    int firstStep(sqlite3_stmt* stmt);  // SQLITE_ROW or SQLITE_DONE; raises the engine's error otherwise
    // Reads every row of a statement whose first step returned `first`.
    provider::Result readRows(sqlite3_stmt* stmt, const std::shared_ptr<const ColumnPlan>& plan, const QString& schema,
                              int first);
    std::shared_ptr<const ColumnPlan> columnPlan(sqlite3_stmt* stmt, bool keyed, const QString& schema,
                                                 const QString& table, const QString& describing = {});
    void installConnection();

    static constexpr int kCacheSize = 512;  // translations, shapes and ruled texts kept at most

    ServerFolder server_;
    Login login_;
    QString database_;
    QString path_;
    DbHandle db_;
    long connectionTimeout_;
    long commandTimeout_;
    QElapsedTimer clock_;
    std::pair<const QElapsedTimer*, const long*> progressClock_{nullptr, nullptr};
    QStringList attached_;  // aliases, most recently used last

    QHash<QString, std::shared_ptr<const TranslationList>> translationCache_;
    // By statement shape (the text with every literal as one mark): the lifted translations,
    // or an empty list when the shape cannot be run with its literals as parameters.
    QHash<QString, std::shared_ptr<const TranslationList>> shapeCache_;
    QString shapeText_;  // the shape of the statement at hand, written in place statement after statement
    // The few shapes met last, most recent first: a loop sends the same handful of shapes row
    // after row, and comparing with them is cheaper than hashing the shape for the cache.
    struct RecentShape {
        QString shape;
        std::shared_ptr<const TranslationList> list;
    };
    std::array<RecentShape, 4> recentShapes_;
    std::shared_ptr<const TranslationList> recentShape(const QString& shape);
    void noteRecentShape(const QString& shape, const std::shared_ptr<const TranslationList>& list);
    quint64 generation_ = 1;
    struct CachedTable {
        QString sql;
        TableDefinition def;
    };
    QHash<QString, CachedTable> tables_;
    QHash<QString, qint64> schemaVersions_;
    // The data version of the connection's own database when its schema version was last read
    // outside a transaction. Anything that may have changed the file or the definitions since
    // (a commit or rollback of this connection, a schema change, an attach) lets it go.
    struct SeenVersion {
        bool valid = false;
        unsigned int data = 0;
    };
    SeenVersion mainSeen_;
    QHash<QString, QString> versionTexts_;  // the statement that reads a schema's version, by schema
    struct CachedChecks {
        QString sql;
        quint64 generation = 0;  // of the table definitions when last verified
        quint64 rollbacks = 0;   // of the connection's transactions when last verified
        QHash<QString, QString> made;  // name and text of every trigger made for the table
    };
    quint64 rollbacks_ = 0;
    QHash<QString, CachedChecks> checks_;
    // A client's transaction reads one snapshot of every database it has touched, so the schema
    // versions checked inside it hold until it ends. The serial moves wherever a transaction
    // may have begun or ended, or a statement other than a plain read or write ran.
    quint64 transactionSerial_ = 1;
    quint64 versionsCheckedAt_ = 0;
    struct RuledText {
        quint64 generation = 0;
        QString sql;
    };
    QHash<QString, RuledText> ruled_;  // by the translated text
    QHash<QString, RuledText> starColumns_;  // by the text that holds the stars
    QHash<QString, RuledText> typed_;        // by the translated text
    QHash<QString, QString> probeTexts_;     // holdIfUnchanged's probe, by the UPDATE's text
    // After the handle (destroyed first): its statements are finalized while the handle lives.
    OpenStreams streams_;
    StatementCache statements_;

    // Declared last: it leaves the process list while the connection is still whole.
    std::shared_ptr<AdminState> admin_;

};

// A plain statement's shape (its text with each '...' string as one mark) and the strings'
// values, in one pass; false for anything the tokens must decide (comments, quoted names, N''
// strings, parameters, an unterminated string).
bool plainShape(const QString& text, QString& shape, Core::Literals& values);

namespace detail {

// The rows of stmt (stepped here from its start) packed as a result's rows are, with columns of
// the given types (Unknown: the values decide the column's type, reported in the columns).
// With decodedOnly every value is decoded by its column's type and packed from the Variant:
// what the direct packing must match. For the tests.
provider::Result packRows(sqlite3_stmt* stmt, const std::vector<SqlType>& types, bool decodedOnly);

}  // namespace detail

}  // namespace data::embedded
