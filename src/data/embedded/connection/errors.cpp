#include "data/embedded/connection/errors.h"

#include <QRegularExpression>
#include <optional>

namespace data::embedded {

namespace {

const QString kMarker = QStringLiteral("\x1ftsql:");

QString sqlStateFor(long number) {
    switch (number) {
        case 208:
            return QStringLiteral("42S02");
        case 207:
            return QStringLiteral("42S22");
        case 2714:
        case 1801:
            return QStringLiteral("42S01");
        case 18456:
            return QStringLiteral("28000");
        case 4060:
            return QStringLiteral("42000");
        case 8152:
            return QStringLiteral("22001");
        case 220:
        case 232:
        case 8115:
            return QStringLiteral("22003");
        case 241:
        case 242:
        case 245:
        case 235:
        case 8114:
            return QStringLiteral("22018");
        case 515:
        case 2627:
        case 2601:
        case 547:
            return QStringLiteral("23000");
        case 1222:
            return QStringLiteral("HYT00");
        default:
            return QStringLiteral("42000");
    }
}

}  // namespace

DbError serverError(long number, const QString& text) {
    switch (number) {
        case 8152:
        case 220:
        case 232:
        case 245:
        case 235:
        case 241:
        case 242:
        case 515:
        case 547:
        case 2601:
        case 2627:
        case 8114:
        case 8115:
            // The server follows an error that ends a statement with this second message.
            return DbError({Error(number, text, sqlStateFor(number)),
                            Error(3621, QStringLiteral("The statement has been terminated."), QStringLiteral("01000"))});
        default:
            return DbError(number, text, sqlStateFor(number));
    }
}

void raiseServerError(long number, const QString& text) { throw serverError(number, text); }

QString markedMessage(long number, const QString& text) { return kMarker + QString::number(number) + u':' + text; }

namespace msg {
QString invalidObject(const QString& name) { return QStringLiteral("Invalid object name '%1'.").arg(name); }
QString invalidColumn(const QString& name) { return QStringLiteral("Invalid column name '%1'.").arg(name); }
QString objectExists(const QString& name) {
    return QStringLiteral("There is already an object named '%1' in the database.").arg(name);
}
QString duplicateColumn(const QString& column, const QString& table) {
    return QStringLiteral(
               "Column names in each table must be unique. Column name '%1' in table '%2' is specified more than once.")
        .arg(column, table);
}
QString truncated() { return QStringLiteral("String or binary data would be truncated."); }
QString loginFailed(const QString& login) { return QStringLiteral("Login failed for user '%1'.").arg(login); }
QString cannotOpenDatabase(const QString& database) {
    return QStringLiteral("Cannot open database \"%1\" requested by the login. The login failed.").arg(database);
}
QString databaseExists(const QString& database) {
    return QStringLiteral("Database '%1' already exists. Choose a different database name.").arg(database);
}
QString databaseMissing(const QString& database) {
    return QStringLiteral("Database '%1' does not exist. Make sure that the name is entered correctly.").arg(database);
}
QString syntaxNear(const QString& near) { return QStringLiteral("Incorrect syntax near '%1'.").arg(near); }
QString lockTimeout() { return QStringLiteral("Lock request time out period exceeded."); }
QString smallintOverflow(const QString& value) {
    return QStringLiteral("Arithmetic overflow error for data type smallint, value = %1.").arg(value);
}
}  // namespace msg

namespace {

// What SQLite refuses in a statement that SQL Server refuses as well, under the server's
// number and text; anything else keeps SQLite's words under 50000.
std::optional<DbError> statementError(const QString& message) {
    static const QRegularExpression collation(QStringLiteral("^no such collation sequence: (.+)$"));
    static const QRegularExpression orderRange(QStringLiteral("^\\d+(?:st|nd|rd|th) ORDER BY term out of range"));
    static const QRegularExpression arguments(QStringLiteral("^wrong number of arguments to function (\\w+)\\(\\)$"));
    static const QRegularExpression valuesForColumns(QStringLiteral("^(\\d+) values for (\\d+) columns$"));
    QRegularExpressionMatch m;
    if ((m = collation.match(message)).hasMatch()) {
        return serverError(448, QStringLiteral("Invalid collation '%1'.").arg(m.captured(1)));
    }
    if ((m = orderRange.match(message)).hasMatch() || message.startsWith(QLatin1String("ORDER BY term does not match"))) {
        // SQLite names the term, not the position it asked for.
        return serverError(108, QStringLiteral("The ORDER BY position number is out of range of the number of items in "
                                               "the select list."));
    }
    if (message.startsWith(QLatin1String("SELECTs to the left and right of"))) {
        return serverError(205, QStringLiteral("All queries combined using a UNION, INTERSECT or EXCEPT operator must have "
                                               "an equal number of expressions in their target lists."));
    }
    if ((m = valuesForColumns.match(message)).hasMatch()) {
        const bool moreValues = m.captured(1).toInt() > m.captured(2).toInt();
        return serverError(moreValues ? 110 : 109,
                           QStringLiteral("There are %1 columns in the INSERT statement than values specified in the VALUES "
                                          "clause. The number of values in the VALUES clause must match the number of "
                                          "columns specified in the INSERT statement.")
                               .arg(moreValues ? QStringLiteral("fewer") : QStringLiteral("more")));
    }
    if (message.startsWith(QLatin1String("table ")) && message.contains(QLatin1String(" values were supplied"))) {
        return serverError(213, QStringLiteral("Column name or number of supplied values does not match table definition."));
    }
    if (message.startsWith(QLatin1String("misuse of aggregate"))) {
        return serverError(147, QStringLiteral("An aggregate may not appear in the WHERE clause unless it is in a subquery "
                                               "contained in a HAVING clause or a select list, and the column being "
                                               "aggregated is an outer reference."));
    }
    if (message.startsWith(QLatin1String("aggregate functions are not allowed in the GROUP BY clause"))) {
        return serverError(144, QStringLiteral("Cannot use an aggregate or a subquery in an expression used for the group "
                                               "by list of a GROUP BY clause."));
    }
    if (message.startsWith(QLatin1String("sub-select returns"))) {
        return serverError(116, QStringLiteral("Only one expression can be specified in the select list when the subquery "
                                               "is not introduced with EXISTS."));
    }
    if ((m = arguments.match(message)).hasMatch()) {
        return serverError(174, QStringLiteral("The %1 function requires a different number of arguments.").arg(m.captured(1)));
    }
    return std::nullopt;
}

}  // namespace

DbError mapSqliteError(sqlite3* db, int rc, const ErrorContext& ctx) {
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    return mapSqliteMessage(rc, message, ctx);
}

DbError mapSqliteMessage(int rc, const QString& message, const ErrorContext& ctx) {
    // Errors that the engine's own checks raised carry their number and text.
    const qsizetype marked = message.indexOf(kMarker);
    if (marked >= 0) {
        const QString rest = message.mid(marked + kMarker.size());
        const qsizetype colon = rest.indexOf(u':');
        bool ok = false;
        const long number = rest.left(colon).toLong(&ok);
        if (ok) return serverError(number, rest.mid(colon + 1));
    }
    const int primary = rc & 0xff;
    const QString file = ctx.path.isEmpty() ? ctx.database : ctx.path;
    switch (primary) {
        case SQLITE_INTERRUPT:
            return DbError(-2147217871, QStringLiteral("Query timeout expired"), QStringLiteral("HYT00"));
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return serverError(1222, msg::lockTimeout());
        case SQLITE_NOTADB:
            return serverError(5172, QStringLiteral("The header for file '%1' is not a valid database file header.").arg(file));
        case SQLITE_CORRUPT:
            return serverError(824, QStringLiteral("The database file '%1' is damaged (%2).").arg(file, message));
        case SQLITE_CANTOPEN:
            return serverError(5120, QStringLiteral("Unable to open the physical file \"%1\". (%2)").arg(file, message));
        case SQLITE_READONLY:
            return serverError(3906, QStringLiteral("Failed to update database \"%1\" because the database is read-only.")
                                         .arg(ctx.database.isEmpty() ? file : ctx.database));
        case SQLITE_IOERR:
            return serverError(823, QStringLiteral("The operating system returned an error (%1) during a read or write of "
                                                   "the file '%2'.")
                                        .arg(message, file));
        case SQLITE_FULL:
            return serverError(1105, QStringLiteral("Could not allocate space in database '%1' because the disk is full.")
                                         .arg(ctx.database));
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return serverError(5123, QStringLiteral("Permission denied on the file '%1'. (%2)").arg(file, message));
        default:
            break;
    }

    static const QRegularExpression noTable(QStringLiteral("^no such table: (?:(\\w+)\\.)?(.+)$"));
    static const QRegularExpression noColumn(QStringLiteral("^no such column: (.+)$"));
    static const QRegularExpression exists(QStringLiteral("^(?:table|index|view|trigger) \"?([^\"]+)\"? already exists$"));
    static const QRegularExpression dupColumn(QStringLiteral("^duplicate column name: (.+)$"));
    static const QRegularExpression syntax(QStringLiteral("^near \"(.*)\": syntax error$"));
    static const QRegularExpression notNull(QStringLiteral("^NOT NULL constraint failed: (?:(\\w+)\\.)?([^.]+)\\.(.+)$"));
    static const QRegularExpression unique(QStringLiteral("^UNIQUE constraint failed: ([^.]+)\\."));
    static const QRegularExpression ambiguous(QStringLiteral("^ambiguous column name: (.+)$"));
    static const QRegularExpression noFunction(QStringLiteral("^no such function: (.+)$"));
    static const QRegularExpression noDatabase(QStringLiteral("^unknown database (.+)$"));

    QRegularExpressionMatch m;
    if ((m = noTable.match(message)).hasMatch()) {
        const QString schema = m.captured(1);
        const QString name = (schema.isEmpty() || schema == u"main") ? m.captured(2) : schema + QStringLiteral(".dbo.") + m.captured(2);
        return serverError(208, msg::invalidObject(name));
    }
    if ((m = noColumn.match(message)).hasMatch()) {
        const QString name = m.captured(1);
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot >= 0) {
            return serverError(4104, QStringLiteral("The multi-part identifier \"%1\" could not be bound.").arg(name));
        }
        return serverError(207, msg::invalidColumn(name));
    }
    if ((m = exists.match(message)).hasMatch()) return serverError(2714, msg::objectExists(m.captured(1)));
    if ((m = dupColumn.match(message)).hasMatch()) return serverError(2705, msg::duplicateColumn(m.captured(1), QString()));
    if ((m = syntax.match(message)).hasMatch()) return serverError(102, msg::syntaxNear(m.captured(1)));
    if (message == u"incomplete input") return serverError(102, QStringLiteral("Incorrect syntax near the end of the statement."));
    if ((m = notNull.match(message)).hasMatch()) {
        return serverError(515, QStringLiteral("Cannot insert the value NULL into column '%1', table '%2.dbo.%3'; column "
                                               "does not allow nulls. The statement fails.")
                                    .arg(m.captured(3), ctx.database, m.captured(2)));
    }
    if ((m = unique.match(message)).hasMatch()) {
        return serverError(2601, QStringLiteral("Cannot insert duplicate key row in object 'dbo.%1' with unique index.")
                                     .arg(m.captured(1)));
    }
    if ((m = ambiguous.match(message)).hasMatch()) {
        return serverError(209, QStringLiteral("Ambiguous column name '%1'.").arg(m.captured(1)));
    }
    if ((m = noFunction.match(message)).hasMatch()) {
        return serverError(195, QStringLiteral("'%1' is not a recognized built-in function name.").arg(m.captured(1)));
    }
    if ((m = noDatabase.match(message)).hasMatch()) return serverError(911, msg::databaseMissing(m.captured(1)));
    if (auto known = statementError(message)) return *known;
    if (primary == SQLITE_CONSTRAINT) return serverError(547, QStringLiteral("The statement conflicted with a constraint (%1).").arg(message));
    return serverError(50000, message);
}

}  // namespace data::embedded
