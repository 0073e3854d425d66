#pragma once
// What the parts of the SQL Server provider share: the connection handles, statement
// handles, diagnostics and the running of one statement text with its parameters.
// Only the provider's own sources include this header (the driver manager's headers bring
// many plain names with them).

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "data/dberror.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/odbc/odbc_provider.h"
#include "data/provider.h"

namespace data::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use 16-bit wide characters");

inline SQLWCHAR* wide(const QString& s) {
    // The driver manager's prototypes take non-const pointers for input texts.
    return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(s.utf16()));
}

// Copied unit for unit: a conversion would drop a leading byte-order mark and replace a
// surrogate that a chunk boundary has parted from its pair.
inline QString fromWide(const SQLWCHAR* p, qsizetype length) {
    return QString(reinterpret_cast<const QChar*>(p), length);
}

inline bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// ADO's numbers for failures that carry no number of the server's own.
inline constexpr long kUnspecifiedError = -2147467259;     // E_FAIL
inline constexpr long kTimeoutExpired = -2147217871;       // DB_E_ABORTLIMITREACHED
inline constexpr long kRowNotFound = -2147217864;          // DB_E_CANTFINDROW (optimistic update lost)

class Statement;
struct PreparedStatement;

// The connection that a session and the row writers of its results share; a writer may
// outlive the session's use of it, so it checks that the connection is still open.
struct Link {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    bool manualCommit = false;
    long commandTimeout = 30;
    long requestTimeout = -1;  // the running request's own time-out, -1 for commandTimeout
    // The server's informational messages (PRINT, changed database context, …) since the
    // caller last took them.
    std::vector<Error> messages;
    QString password;  // only to scrub it from the driver's messages
    provider::OdbcOptions options;
    // Statements prepared once per statement shape (the text with its literals as parameter
    // markers), most recently used last; freed before the connection ends.
    QHash<QString, std::shared_ptr<PreparedStatement>> prepared;
    QStringList preparedOrder;

    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link();

    void disconnect() noexcept;
    void requireOpen() const;  // raises 3709 when the connection has been closed
};

// Collects the diagnostic records of a handle as Error entries: the server's native number
// (or ADO's for failures of the driver itself), the message without the driver's bracketed
// prefixes and without the password, and the SQL state.
std::vector<Error> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const QString& password);

// Raises the handle's diagnostics as a DbError; fallback is the text used when the driver
// left no record.
[[noreturn]] void raiseDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const QString& password,
                                   const QString& fallback);

// Removes the driver's "[vendor][component]" prefixes and any password from a message.
QString cleanMessage(const QString& text, const QString& password);

// A statement handle, freed on every path.
class Statement {
public:
    explicit Statement(Link& link);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return h_; }
    Link& link() const { return link_; }
    // Raises the statement's diagnostics when rc is a failure.
    void check(SQLRETURN rc, const char* what) const;
    // The same for a call that runs the statement or moves to its next result, where the
    // server's informational messages arrive: they are kept on the link.
    void checkRun(SQLRETURN rc, const char* what) const;
    // Sets the time-out of the link's running request before an execution.
    void applyTimeout() const;

private:
    Link& link_;
    SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// The parameters bound to a statement, kept for as long as it may run: a prepared statement
// keeps its binding while only the values change.
class ParameterBinding {
public:
    struct Binding {
        SQLSMALLINT io = SQL_PARAM_INPUT;
        SQLSMALLINT cType = SQL_C_WCHAR;
        SQLSMALLINT sqlType = SQL_WVARCHAR;
        SQLULEN columnSize = 1;
        SQLSMALLINT digits = 0;
        bool operator==(const Binding& o) const;
    };

    // Binds the parameters' values, the return value's marker first.
    void bind(const Statement& st, const std::vector<provider::Parameter>& parameters);
    // After the statement's last result: the output, input-output and return-value parameters
    // with the values the server gave back.
    std::vector<provider::Parameter> outputs(const std::vector<provider::Parameter>& parameters) const;

private:
    struct Slot {
        size_t parameter = 0;
        int adoType = 0;
        Binding binding;
        std::vector<unsigned char> bytes;  // never reallocated while bound: the driver holds it
        SQLLEN indicator = 0;
        bool bound = false;
    };
    std::vector<Slot> slots_;
};

// A statement prepared once for a statement shape, with the binding of its markers.
struct PreparedStatement {
    explicit PreparedStatement(Link& link) : statement(link) {}
    Statement statement;
    ParameterBinding binding;
};

// A decimal in the driver's text form, kept exact where the currency type holds it.
Variant decimalValue(QString text, bool money, int scale);
// A date and time as the driver gives it; Null when it is no valid date.
Variant dateValue(int year, int month, int day, int hour, int minute, int second, SQLUINTEGER fractionNs);

// Whether a text is one SELECT, INSERT, UPDATE or DELETE statement (and not a batch of them).
bool isSingleStatement(const std::vector<embedded::Token>& tokens);
bool isSingleStatement(const QString& text);

// Reads every result of a statement that has run, in order. With lateKeys (the key columns of
// the table the statement reads), a result that holds every key column leaves its long values
// (text, image) unread, as Empty, for the table's writer to read by key when they are looked at.
// With singleStatement (the text is one statement), the counts of its triggers' statements
// give way to its own. Results that only an informational message left are dropped.
std::vector<provider::Result> readResults(const Statement& st, const QStringList& lateKeys = {},
                                          bool singleStatement = false);

// Runs a statement text with its parameters and reads every result it gives, in order.
std::vector<provider::Result> run(Link& link, const QString& text, const std::vector<provider::Parameter>& parameters,
                                  const QStringList& lateKeys = {});

// A statement text without parameters whose text literals stand where a value goes (after a
// comparison, LIKE or IN, or in a VALUES list) is split into its shape, the text with each
// such literal as a marker "?", and the literals' values; false when there is nothing to
// lift or the text is not a plain SELECT, INSERT, UPDATE or DELETE.
bool liftLiterals(const QString& text, QString& shape, std::vector<provider::Parameter>& literals);

// Whether a text without parameters and without literals to lift runs prepared as it is: one
// INSERT, UPDATE or DELETE. In the server's call its own count comes last, after the counts of
// its triggers' statements, where a batch would report the first of them.
bool runsPreparedWhole(const QString& text);

// Runs a statement shape on the statement prepared for it (prepared on first use and kept
// on the link), with the literals bound to its markers.
std::vector<provider::Result> runPrepared(Link& link, const QString& shape,
                                          const std::vector<provider::Parameter>& literals,
                                          const QStringList& lateKeys = {});

// The updatable form of a single-table result, when one can be built: sets result.writer and
// result.keys. tableName is the table as the statement names it. rowCondition is the
// statement's own condition ("(…)", empty for every row), which a result without a key
// combines with the row's values to find it again; nullopt where the condition is unusable.
// keys: the table's key columns when already looked up (tableKeys), else looked up here.
void attachWriter(const std::shared_ptr<Link>& link, const QString& tableName, provider::Result& result,
                  const std::optional<QString>& rowCondition, const QStringList* keys = nullptr);

// The columns that identify a row of the table as a statement names it; empty when the driver
// tells none.
QStringList tableKeys(Link& link, const QString& tableName);

// The one table that a plain "SELECT … FROM table [WHERE …] [ORDER BY …]" reads, as written
// in the text; empty when the statement reads several tables, groups, or is no such select.
QString singleTableOf(const QString& selectText);
// The same with its condition: where is the text after WHERE up to ORDER BY, OPTION or the
// end, in parentheses (empty without a WHERE); usable is false when it holds parameter markers,
// whose values a writer lacks.
struct SelectTarget {
    QString table;
    QString where;
    bool usable = false;
};
SelectTarget selectTargetOf(const QString& selectText);

}  // namespace data::odbc
