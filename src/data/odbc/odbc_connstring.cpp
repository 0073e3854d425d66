#include <QStringList>

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

QString entry(const QString& key, const QString& value) { return key + u'=' + quoteOdbcValue(value); }

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
    const QString host = server.left(hostEnd).trimmed();
    if (host == u"." || host.compare(u"(local)", Qt::CaseInsensitive) == 0) {
        server = QStringLiteral("localhost") + server.mid(hostEnd);
    }
    return server;
}

bool isTrue(const QString& v) {
    const QString t = v.trimmed().toLower();
    return t == u"sspi" || t == u"true" || t == u"yes";
}

}  // namespace

QString quoteOdbcValue(const QString& value) {
    if (!needsBraces(value)) return value;
    QString doubled = value;
    doubled.replace(u'}', QStringLiteral("}}"));
    return u'{' + doubled + u'}';
}

QString freeTdsConnectionString(const OpenArguments& args) {
    const ConnectionString& cs = args.connection;
    QStringList parts;
    parts << QStringLiteral("DRIVER={FreeTDS}");
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
    return parts.join(u';');
}

}  // namespace data::provider
