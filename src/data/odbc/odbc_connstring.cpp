#include <dlfcn.h>
#include <sql.h>

#include <QFileInfo>
#include <QStringList>

#include "data/dberror.h"
#include "data/odbc/odbc_provider.h"

namespace data::provider {

namespace {

// Characters that ODBC reserves in a connection string value.
bool needsBraces(const QString& value) {
    if (value.isEmpty()) return false;
    if (value.front().isSpace() || value.back().isSpace()) return true;
    static const QString reserved = QStringLiteral("[]{}(),;?*=!@");
    for (const QChar c : value) {
        if (reserved.contains(c)) return true;
    }
    return false;
}

QString entry(const QString& key, const QString& value) { return key + u'=' + quoteOdbcValue(value, key); }

// SQL Server's own ways of naming a server that FreeTDS does not know: a "tcp:" protocol
// prefix, and "(local)" or "." for this machine.
QString serverForFreeTds(const QString& dataSource) {
    QString server = dataSource.trimmed();
    if (server.startsWith(u"tcp:", Qt::CaseInsensitive)) server = server.mid(4).trimmed();
    qsizetype hostEnd = server.size();
    for (qsizetype i = 0; i < server.size(); ++i) {
        if (server[i] == u'\\' || server[i] == u',') {
            hostEnd = i;
            break;
        }
    }
    QString host = server.left(hostEnd).trimmed();
    if (host == u"." || host.compare(u"(local)", Qt::CaseInsensitive) == 0) host = QStringLiteral("localhost");
    QString rest = server.mid(hostEnd);
    // With both an instance and a port, SQL Server's clients go to the port and never ask for
    // the instance; FreeTDS would take "instance,port" as the instance's name.
    if (rest.startsWith(u'\\')) {
        const qsizetype comma = rest.indexOf(u',');
        if (comma >= 0) rest = rest.mid(comma);
    }
    return host + rest;
}

// The FreeTDS driver library beside the driver manager this program uses, for a machine where
// the driver is installed but not registered under the name "FreeTDS".
QString freeTdsLibrary() {
    QStringList folders;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SQLAllocHandle), &info) != 0 && info.dli_fname != nullptr) {
        const QString managerFolder = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
        folders << managerFolder + QStringLiteral("/odbc") << managerFolder;
    }
    folders << QStringLiteral("/usr/local/lib") << QStringLiteral("/usr/local/lib/odbc");
    for (const QString& folder : folders) {
        const QString path = folder + QStringLiteral("/libtdsodbc.so");
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

QString freeTdsDriver() {
    if (!odbcDriverRegistered(QStringLiteral("FreeTDS"))) {
        const QString library = freeTdsLibrary();
        if (!library.isEmpty()) return quoteOdbcValue(library);
    }
    return QStringLiteral("{FreeTDS}");
}

bool isTrue(const QString& v) {
    const QString t = v.trimmed().toLower();
    return t == u"sspi" || t == u"true" || t == u"yes";
}

}  // namespace

QString quoteOdbcValue(const QString& value, const QString& key) {
    if (!needsBraces(value)) return value;
    if (!value.contains(u'}')) return u'{' + value + u'}';
    // FreeTDS 1.3 ends a braced value at the first "};" and keeps a doubled "}}" as it is;
    // later releases undo the doubling. Where no ";" or leading "{" or blank asks for braces,
    // the value goes without them, which every release reads to the next ";".
    const bool bracesNeeded = value.contains(u';') || value.front() == u'{' || value.front().isSpace() ||
                              value.back().isSpace();
    if (!bracesNeeded) return value;
    if (value.contains(QStringLiteral("};")) || value.contains(QStringLiteral("}}"))) {
        // Never the value itself in the message: it may be the password.
        throw DbError(kOdbcValueRefused,
                      QStringLiteral("The connection value %1 holds \"};\" or \"}}\" with other characters that the "
                                     "ODBC driver cannot carry; it was not sent.")
                          .arg(key.isEmpty() ? QStringLiteral("given") : key));
    }
    // The entry that follows always begins with ";", which ends the value for FreeTDS 1.3.
    return u'{' + value + u'}';
}

QString freeTdsConnectionString(const OpenArguments& args) {
    const ConnectionString& cs = args.connection;
    QStringList parts;
    parts << QStringLiteral("DRIVER=") + freeTdsDriver();
    parts << entry(QStringLiteral("SERVER"), serverForFreeTds(cs.dataSource()));
    const QString database = cs.initialCatalog();
    if (!database.isEmpty()) parts << entry(QStringLiteral("DATABASE"), database);
    const QString user = cs.userId();
    const bool integrated =
        isTrue(cs.value(QStringLiteral("Integrated Security"))) || isTrue(cs.value(QStringLiteral("Trusted_Connection")));
    if (!user.isEmpty()) {
        parts << entry(QStringLiteral("UID"), user);
        if (!args.password.isEmpty()) parts << entry(QStringLiteral("PWD"), args.password);
    } else if (integrated) {
        parts << QStringLiteral("Trusted_Connection=Yes");
    }
    parts << entry(QStringLiteral("TDS_Version"), QString::fromUtf16(kFreeTdsVersion));
    parts << entry(QStringLiteral("ClientCharset"), QString::fromUtf16(kFreeTdsClientCharset));
    // FreeTDS reads "Timeout" as the time a statement may take; the login wait is set on the
    // connection handle as well, since older FreeTDS releases ignore "ConnectionTimeout".
    parts << QStringLiteral("Timeout=%1").arg(qMax(0L, args.commandTimeout));
    parts << QStringLiteral("ConnectionTimeout=%1").arg(qMax(0L, args.connectionTimeout));
    // No language of its own: the server answers in the login's default language, as it does
    // for SQL Server's own clients (FreeTDS would otherwise ask for us_english).
    parts << QStringLiteral("Language=");
    // Every value, braced or not, ends with ";".
    return parts.join(u';') + u';';
}

}  // namespace data::provider
