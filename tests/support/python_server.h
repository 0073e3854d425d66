#pragma once
// Starting a test server written in Python (the SMTP server, the TDS responder): Debian's
// /usr/bin/python3, whatever python3 comes first on PATH, which announces its port with a
// first line "READY <port>" and stops when its standard input closes.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

// Starts the server with args on process (its environment and channels already set) and waits
// for its port; 0 with error set when it did not start. what names it in the error.
int startPythonServer(QProcess& process, const QStringList& args, const QString& what, QString& error);

// Closes the server's standard input and waits for it to end; kills it when it does not.
void stopPythonServer(QProcess& process);

}  // namespace testsupport
