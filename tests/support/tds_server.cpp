#include "support/tds_server.h"

#include "support/python_server.h"

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
    port_ = startPythonServer(*process_,
                              {responderPath(), QStringLiteral("--script"), scriptFile.fileName(),
                               QStringLiteral("--log"), dir_.filePath(QStringLiteral("requests.jsonl"))},
                              QStringLiteral("TDS responder"), error_);
}

TdsTestServer::~TdsTestServer() {
    if (process_) stopPythonServer(*process_);
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
