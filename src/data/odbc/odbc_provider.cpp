#include "data/odbc/odbc_provider.h"

#include <algorithm>
#include <utility>

#include "data/adoconstants.h"
#include "data/odbc/odbc_internal.h"

namespace data::provider {

namespace {

using odbc::Link;

class OdbcSession : public Session {
public:
    explicit OdbcSession(std::shared_ptr<Link> link) : link_(std::move(link)) {}
    ~OdbcSession() override { link_->disconnect(); }

    std::vector<Result> execute(const Request& request) override {
        link_->requireOpen();
        // The request's own time-out holds for its statements only.
        struct Timeout {
            Link& link;
            ~Timeout() { link.requestTimeout = -1; }
        } timeout{*link_};
        link_->requestTimeout = request.commandTimeout;
        QString text = request.text;
        QString table;
        std::optional<QString> rowCondition;
        if (request.commandType == ado::adCmdTable) {
            table = request.text.trimmed();
            text = QStringLiteral("SELECT * FROM ") + table;
            rowCondition = QString();
            // The columns, and none of the rows, for a table opened to have rows added.
            if (request.columnsOnly) text += QStringLiteral(" WHERE 1 = 0");
        } else if (request.commandType == ado::adCmdStoredProc) {
            text = callText(request);
        } else if (request.updatable) {
            const odbc::SelectTarget target = odbc::selectTargetOf(request.text);
            table = target.table;
            if (target.usable) rowCondition = target.where;
        }
        // Every column of a table opened by name is the table's own, so its long values can be
        // read later by the row's key; those of a query may be expressions and are read now.
        const bool byKey = request.updatable && request.commandType == ado::adCmdTable && !table.isEmpty();
        const QStringList keys = byKey ? odbc::tableKeys(*link_, table) : QStringList();
        std::vector<Result> results = odbc::run(*link_, text, request.parameters, keys);
        if (request.updatable && !table.isEmpty() && results.size() == 1) {
            odbc::attachWriter(link_, table, results.front(), rowCondition, byKey ? &keys : nullptr);
        }
        return results;
    }

    void beginTrans() override {
        link_->requireOpen();
        setAutocommit(false);
        link_->manualCommit = true;
    }

    void commitTrans() override { endTransaction(SQL_COMMIT); }
    void rollbackTrans() override { endTransaction(SQL_ROLLBACK); }

    void setCommandTimeout(long seconds) override { link_->commandTimeout = qMax(0L, seconds); }

    void close() override { link_->disconnect(); }

    std::vector<Error> takeMessages() override { return std::exchange(link_->messages, {}); }

private:
    // The ODBC call escape, which every driver turns into its own way of calling a procedure;
    // a return value takes the first marker.
    static QString callText(const Request& request) {
        int markers = 0;
        bool returns = false;
        for (const Parameter& p : request.parameters) {
            if (p.direction != ado::adParamReturnValue) ++markers;
            returns = returns || p.direction == ado::adParamReturnValue;
        }
        QString text = (returns ? QStringLiteral("{? = call ") : QStringLiteral("{call ")) + request.text.trimmed();
        if (markers > 0) {
            QStringList list;
            for (int i = 0; i < markers; ++i) list << QStringLiteral("?");
            text += u'(' + list.join(u',') + u')';
        }
        return text + u'}';
    }

    void setAutocommit(bool on) {
        const SQLRETURN rc =
            SQLSetConnectAttrW(link_->dbc, SQL_ATTR_AUTOCOMMIT,
                               reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
        if (!odbc::succeeded(rc)) {
            odbc::raiseDiagnostics(SQL_HANDLE_DBC, link_->dbc, link_->password,
                                   QStringLiteral("The transaction mode could not be changed."));
        }
    }

    void endTransaction(SQLSMALLINT completion) {
        link_->requireOpen();
        const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, link_->dbc, completion);
        if (!odbc::succeeded(rc)) {
            odbc::raiseDiagnostics(SQL_HANDLE_DBC, link_->dbc, link_->password,
                                   QStringLiteral("The transaction could not be ended."));
        }
        link_->manualCommit = false;
        setAutocommit(true);
    }

    std::shared_ptr<Link> link_;
};

}  // namespace

std::unique_ptr<Session> openOdbcSession(const OpenArguments& args) { return openOdbcSession(args, OdbcOptions{}); }

std::unique_ptr<Session> openOdbcSession(const OpenArguments& args, const OdbcOptions& options) {
    auto link = std::make_shared<Link>();
    link->password = args.password;
    link->options = options;
    link->commandTimeout = qMax(0L, args.commandTimeout);

    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link->env))) {
        link->env = SQL_NULL_HENV;
        throw DbError(adoerr::ProviderNotFound, adoerr::text(adoerr::ProviderNotFound));
    }
    SQLSetEnvAttr(link->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_DBC, link->env, &link->dbc))) {
        link->dbc = SQL_NULL_HDBC;
        odbc::raiseDiagnostics(SQL_HANDLE_ENV, link->env, link->password,
                               QStringLiteral("The driver manager could not make a connection."));
    }
    // The wait for the login; drivers that know no such setting keep their own.
    const SQLULEN loginSeconds = static_cast<SQLULEN>(qMax(0L, args.connectionTimeout));
    SQLSetConnectAttrW(link->dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(loginSeconds), SQL_IS_UINTEGER);
    SQLSetConnectAttrW(link->dbc, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(loginSeconds),
                       SQL_IS_UINTEGER);

    QString text;
    if (options.connectionString.isEmpty()) {
        text = freeTdsConnectionString(args);
    } else {
        text = options.connectionString;
        if (!args.password.isEmpty()) {
            if (!text.isEmpty() && !text.endsWith(u';')) text += u';';
            text += QStringLiteral("PWD=") + quoteOdbcValue(args.password, QStringLiteral("PWD")) + u';';
        }
    }
    // The completed connection string is not asked for: it would hold the password again.
    const SQLRETURN rc =
        SQLDriverConnectW(link->dbc, nullptr, odbc::wide(text), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    // The text with the password is wiped rather than left to the allocator.
    text.fill(QChar(u' '));
    if (!odbc::succeeded(rc)) {
        odbc::raiseDiagnostics(SQL_HANDLE_DBC, link->dbc, link->password,
                               QStringLiteral("The connection to the server could not be made."));
    }
    link->connected = true;
    return std::make_unique<OdbcSession>(std::move(link));
}

bool odbcDriverRegistered(const QString& name) {
    SQLHENV env = SQL_NULL_HENV;
    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLWCHAR description[512] = {};
        SQLWCHAR attributes[2048] = {};
        SQLSMALLINT descriptionLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(env, direction, description, 512, &descriptionLength, attributes, 2048,
                                         &attributesLength);
        if (!odbc::succeeded(rc)) break;
        const QString driver = odbc::fromWide(description, std::clamp<qsizetype>(descriptionLength, 0, 511));
        if (driver.compare(name, Qt::CaseInsensitive) == 0) {
            found = true;
            break;
        }
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

}  // namespace data::provider
