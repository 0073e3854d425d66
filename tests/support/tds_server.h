#pragma once
// A loopback TDS responder for the SQL Server provider's tests (tds_responder.py under Debian's
// python): the real unixODBC and FreeTDS connect to it, it answers from a script of canned
// replies and logs every request it received (login, batch, RPC with its decoded parameters,
// attention). The script's format and the log's fields are described in tds_responder.py.
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class TdsTestServer {
public:
    explicit TdsTestServer(const QJsonObject& script);
    ~TdsTestServer();
    TdsTestServer(const TdsTestServer&) = delete;
    TdsTestServer& operator=(const TdsTestServer&) = delete;

    bool ok() const { return port_ > 0; }
    QString error() const { return error_; }
    int port() const { return port_; }
    // As SQL Server writes a host with a port: "127.0.0.1,<port>".
    QString serverName() const;
    // The requests logged so far, oldest first, one object each.
    QJsonArray requests() const;
    // Only those of one kind: "login", "batch", "rpc", "attention".
    QJsonArray requestsOf(const QString& kind) const;

private:
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
    QString error_;
};

}  // namespace testsupport
