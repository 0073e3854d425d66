#include "support/python_server.h"

namespace testsupport {

int startPythonServer(QProcess& process, const QStringList& args, const QString& what, QString& error) {
    process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!process.waitForStarted(30000)) {
        error = QStringLiteral("cannot start /usr/bin/python3: ") + process.errorString();
        return 0;
    }
    QByteArray out;
    while (!out.contains('\n')) {
        if (!process.waitForReadyRead(60000)) {
            error = QStringLiteral("the %1 did not start: ").arg(what) + QString::fromLocal8Bit(out);
            return 0;
        }
        out += process.readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("READY ")) {
        error = QStringLiteral("unexpected output of the %1: ").arg(what) + QString::fromLocal8Bit(line);
        return 0;
    }
    return line.mid(6).toInt();
}

void stopPythonServer(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.closeWriteChannel();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

}  // namespace testsupport
