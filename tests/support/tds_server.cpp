#include "support/tds_server.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace testsupport {

namespace {

// The script lives beside this file in the source tree.
QString responderPath() {
    return QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/tds_responder.py");
}

}  // namespace

TdsTestServer::TdsTestServer(const QJsonObject& script) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QFile scriptFile(dir_.filePath(QStringLiteral("script.json")));
    if (!scriptFile.open(QIODevice::WriteOnly) || scriptFile.write(QJsonDocument(script).toJson()) < 0) {
        error_ = QStringLiteral("cannot write the script");
        return;
    }
    scriptFile.close();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's python, whatever python3 comes first on PATH.
    process_->start(QStringLiteral("/usr/bin/python3"),
                    {responderPath(), QStringLiteral("--script"), scriptFile.fileName(), QStringLiteral("--log"),
                     dir_.filePath(QStringLiteral("requests.jsonl"))});
    if (!process_->waitForStarted(30000)) {
        error_ = QStringLiteral("cannot start /usr/bin/python3: ") + process_->errorString();
        return;
    }
    QByteArray out;
    while (!out.contains('\n')) {
        if (!process_->waitForReadyRead(60000)) {
            error_ = QStringLiteral("the TDS responder did not start: ") + QString::fromLocal8Bit(out);
            return;
        }
        out += process_->readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("READY ")) {
        error_ = QStringLiteral("unexpected output of the TDS responder: ") + QString::fromLocal8Bit(line);
        return;
    }
    port_ = line.mid(6).toInt();
}

TdsTestServer::~TdsTestServer() {
    if (!process_ || process_->state() == QProcess::NotRunning) return;
    // The responder stops when its standard input closes.
    process_->closeWriteChannel();
    if (!process_->waitForFinished(10000)) {
        process_->kill();
        process_->waitForFinished(10000);
    }
}

QString TdsTestServer::serverName() const { return QStringLiteral("127.0.0.1,") + QString::number(port_); }

QJsonArray TdsTestServer::requests() const {
    QJsonArray all;
    QFile f(dir_.filePath(QStringLiteral("requests.jsonl")));
    if (!f.open(QIODevice::ReadOnly)) return all;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) all.append(QJsonDocument::fromJson(line).object());
    }
    return all;
}

QJsonArray TdsTestServer::requestsOf(const QString& kind) const {
    QJsonArray some;
    for (const auto& r : requests()) {
        if (r.toObject().value(QStringLiteral("kind")).toString() == kind) some.append(r);
    }
    return some;
}

}  // namespace testsupport
