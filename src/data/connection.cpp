#include "data/connection.h"

#include "data/connection_state.h"
#include "data/recordset_state.h"

namespace data {

namespace detail {

void ConnectionState::takeMessages() {
    if (session) errors.append(session->takeMessages());
}

provider::Session& ConnectionState::openSession() {
    if (!session) adoerr::raise(adoerr::ConnectionUnusable);
    provider::countStatement();
    return *session;
}

}  // namespace detail

Connection::Connection() : d_(std::make_shared<detail::ConnectionState>()) {}

Connection::~Connection() {
    if (d_->session) {
        try {
            d_->session->close();
        } catch (...) {
            // Nothing may escape a destructor; the session is dropped all the same.
        }
        d_->session.reset();
    }
}

QString Connection::ConnectionString() const { return d_->connectionString; }

void Connection::setConnectionString(const QString& text) {
    if (d_->session) adoerr::raise(adoerr::ObjectOpen);
    // A password given in the string is never kept: it is taken out at Open.
    d_->connectionString = text;
    // A new string is a new connection: the password of the last one is not given to it.
    reopenString_.clear();
    reopenPassword_.clear();
}

long Connection::ConnectionTimeout() const { return d_->connectionTimeout; }

void Connection::setConnectionTimeout(long seconds) {
    if (d_->session) adoerr::raise(adoerr::ObjectOpen);
    if (seconds < 0) adoerr::raise(adoerr::ArgumentsWrong);
    d_->connectionTimeout = seconds;
}

long Connection::CommandTimeout() const { return d_->commandTimeout; }

void Connection::setCommandTimeout(long seconds) {
    if (seconds < 0) adoerr::raise(adoerr::ArgumentsWrong);
    d_->commandTimeout = seconds;
    if (d_->session) d_->session->setCommandTimeout(seconds);
}

void Connection::Open(const QString& connectionString, const QString& userId, const QString& password, long) {
    if (d_->session) adoerr::raise(adoerr::ObjectOpen);
    d_->errors.Clear();
    if (!connectionString.isEmpty()) d_->connectionString = connectionString;
    data::ConnectionString parsed(d_->connectionString);
    provider::OpenArguments args;
    if (!userId.isEmpty()) parsed.set(QStringLiteral("User ID"), userId);
    const QString shown = parsed.withoutPassword();
    if (!password.isEmpty()) {
        args.password = password;
    } else if (parsed.contains(QStringLiteral("Password"))) {
        args.password = parsed.password();
    } else if (shown == reopenString_) {
        // The same connection opened again after Close: its string no longer shows the password.
        args.password = reopenPassword_;
    }
    d_->connectionString = shown;
    args.connection = data::ConnectionString(d_->connectionString);
    args.connectionTimeout = d_->connectionTimeout;
    args.commandTimeout = d_->commandTimeout;
    d_->session = d_->guarded([&] { return std::shared_ptr<provider::Session>(provider::openSession(args)); });
    d_->transactionLevel = 0;
    reopenString_ = shown;
    reopenPassword_ = args.password;
}

void Connection::Close() {
    if (!d_->session) adoerr::raise(adoerr::ObjectClosed);
    try {
        d_->readBack();
    } catch (const std::exception&) {
        // The row keeps the values written; closing goes on.
    }
    auto session = std::move(d_->session);
    d_->session.reset();
    d_->transactionLevel = 0;
    session->close();
}

long Connection::State() const { return d_->session ? ado::adStateOpen : ado::adStateClosed; }

Recordset Connection::Execute(const QString& commandText, long* recordsAffected, long options) {
    provider::Request req;
    req.text = commandText;
    const long kind = options < 0 ? ado::adCmdText : (options & ~ado::adExecuteNoRecords);
    req.commandType = (kind == ado::adCmdTable || kind == ado::adCmdTableDirect) ? ado::adCmdTable
                      : kind == ado::adCmdStoredProc                              ? ado::adCmdStoredProc
                                                                                  : ado::adCmdText;
    auto results = d_->guarded([&] {
        d_->errors.Clear();
        return d_->openSession().execute(req);
    });
    if (recordsAffected) *recordsAffected = results.empty() ? -1 : results.front().recordsAffected;
    auto rs = std::make_shared<detail::RecordsetState>();
    if (options >= 0 && (options & ado::adExecuteNoRecords)) results.clear();
    rs->assign(std::move(results), ado::adOpenForwardOnly, ado::adLockReadOnly, d_);
    return Recordset(rs);
}

long Connection::BeginTrans() {
    d_->guarded([&] {
        auto& s = d_->openSession();
        if (d_->transactionLevel > 0) {
            throw DbError(adoerr::NotSupported, QStringLiteral("Only one transaction can be active on this session."));
        }
        s.beginTrans();
    });
    d_->transactionLevel = 1;
    return d_->transactionLevel;
}

void Connection::CommitTrans() {
    d_->guarded([&] {
        auto& s = d_->openSession();
        if (d_->transactionLevel == 0) {
            throw DbError(3902, QStringLiteral("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."),
                          QStringLiteral("25000"));
        }
        s.commitTrans();
    });
    d_->transactionLevel = 0;
}

void Connection::RollbackTrans() {
    d_->guarded([&] {
        auto& s = d_->openSession();
        if (d_->transactionLevel == 0) {
            throw DbError(3903,
                          QStringLiteral("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."),
                          QStringLiteral("25000"));
        }
        d_->transactionLevel = 0;
        s.rollbackTrans();
    });
}

const ErrorList& Connection::Errors() const { return d_->errors; }

}  // namespace data
