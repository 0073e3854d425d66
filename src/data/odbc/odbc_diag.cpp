#include <QRegularExpression>
#include <algorithm>

#include "data/odbc/odbc_internal.h"

namespace data::odbc {

QString cleanMessage(const QString& text, const QString& password) {
    QString msg = text.trimmed();
    // "[FreeTDS][SQL Server]Invalid object name 'x'." -> "Invalid object name 'x'."
    while (msg.startsWith(u'[')) {
        const qsizetype close = msg.indexOf(u']');
        if (close < 0) break;
        msg = msg.mid(close + 1).trimmed();
    }
    // A driver that echoes its connection string must not show the password in it.
    static const QRegularExpression pwdEntry(QStringLiteral(R"((PWD|Password)\s*=\s*(\{(?:[^}]|\}\})*\}?|[^;]*))"),
                                             QRegularExpression::CaseInsensitiveOption);
    msg.replace(pwdEntry, QStringLiteral("\\1=********"));
    // The password itself, when it is long enough not to be mistaken for ordinary text.
    if (password.size() >= 3) msg.replace(password, QStringLiteral("********"));
    return msg;
}

std::vector<Error> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const QString& password) {
    std::vector<Error> errors;
    std::vector<Error> warnings;
    if (handle == SQL_NULL_HANDLE) return errors;
    for (SQLSMALLINT rec = 1; rec < 1000; ++rec) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> message(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_NO_DATA || !succeeded(rc)) break;
        if (length >= static_cast<SQLSMALLINT>(message.size())) {
            message.assign(static_cast<size_t>(length) + 1, 0);
            rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
            if (!succeeded(rc)) break;
        }
        const qsizetype textLength = std::min<qsizetype>(qMax<SQLSMALLINT>(length, 0), message.size() - 1);
        const QString sqlState = fromWide(state, 5);
        const QString text = cleanMessage(fromWide(message.data(), textLength), password);
        long number = native;
        if (number == 0) {
            number = (sqlState == u"HYT00" || sqlState == u"HYT01") ? kTimeoutExpired : kUnspecifiedError;
        }
        // Informational records (class 01) go after the failures, so that the failure is the
        // one reported first.
        (sqlState.startsWith(u"01") ? warnings : errors).emplace_back(number, text, sqlState);
    }
    errors.insert(errors.end(), warnings.begin(), warnings.end());
    return errors;
}

void raiseDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const QString& password, const QString& fallback) {
    std::vector<Error> errors = diagnostics(handleType, handle, password);
    if (errors.empty()) throw DbError(kUnspecifiedError, fallback);
    throw DbError(std::move(errors));
}

// ---------------------------------------------------------------------------------------------

Link::~Link() {
    disconnect();
    prepared.clear();
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void Link::disconnect() noexcept {
    if (!connected) return;
    connected = false;
    prepared.clear();
    preparedOrder.clear();
    // A transaction left open would make the driver refuse to disconnect; what was not
    // committed is given up, as the server does when a connection drops.
    if (manualCommit) {
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
        manualCommit = false;
    }
    SQLDisconnect(dbc);
}

void Link::requireOpen() const {
    if (!connected) adoerr::raise(adoerr::ConnectionUnusable);
}

Statement::Statement(Link& link) : link_(link) {
    link.requireOpen();
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, link.dbc, &h_);
    if (!succeeded(rc)) {
        h_ = SQL_NULL_HSTMT;
        raiseDiagnostics(SQL_HANDLE_DBC, link.dbc, link.password, QStringLiteral("The statement could not be prepared."));
    }
    applyTimeout();
}

void Statement::applyTimeout() const {
    // A driver without statement time-outs keeps its own default; that is no failure.
    const long chosen = link_.requestTimeout >= 0 ? link_.requestTimeout : link_.commandTimeout;
    const SQLULEN seconds = static_cast<SQLULEN>(qMax(0L, chosen));
    SQLSetStmtAttrW(h_, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), SQL_IS_UINTEGER);
}

void Statement::checkRun(SQLRETURN rc, const char* what) const {
    if (rc == SQL_SUCCESS_WITH_INFO) {
        // The server's own messages; the driver's notes on its conversions stay out.
        for (Error& e : diagnostics(SQL_HANDLE_STMT, h_, link_.password)) {
            if (e.SQLState() == u"01000") link_.messages.push_back(std::move(e));
        }
    }
    check(rc, what);
}

Statement::~Statement() {
    if (h_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h_);
}

void Statement::check(SQLRETURN rc, const char* what) const {
    if (succeeded(rc) || rc == SQL_NO_DATA) return;
    raiseDiagnostics(SQL_HANDLE_STMT, h_, link_.password,
                     QStringLiteral("The driver failed in %1.").arg(QString::fromLatin1(what)));
}

}  // namespace data::odbc
