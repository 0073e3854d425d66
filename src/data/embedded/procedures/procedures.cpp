#include "data/embedded/procedures/procedures.h"

#include <QRegularExpression>

#include "data/adoconstants.h"
#include "data/embedded/connection/errors.h"

namespace data::embedded {

namespace {

using Kind = SqlType::Kind;

class Builder {
public:
    void column(const char* name, int type, long size) {
        provider::Column c;
        c.name = QString::fromLatin1(name);
        c.type = type;
        c.definedSize = size;
        c.precision = type == ado::adSmallInt ? 5 : type == ado::adInteger ? 10 : type == ado::adUnsignedTinyInt ? 3 : 255;
        c.numericScale = (type == ado::adSmallInt || type == ado::adInteger || type == ado::adUnsignedTinyInt) ? 0 : 255;
        r.columns.push_back(c);
    }
    void sysname(const char* name) { column(name, ado::adVarWChar, 128); }
    void row(provider::Row values) { r.rows.push_back(std::move(values)); }
    provider::Result done() {
        r.hasRows = true;
        return std::move(r);
    }

private:
    provider::Result r;
};

Variant text(const QString& s) { return s.isNull() ? Variant::null() : Variant(s); }
Variant small(int v) { return static_cast<std::int16_t>(v); }
Variant integer(long v) { return static_cast<std::int32_t>(v); }
Variant nothing() { return Variant::null(); }

// The value of a parameter, by name or by position; a null QString when not given.
QString argument(const std::vector<std::pair<QString, QString>>& args, const QStringList& order, const QString& name) {
    for (const auto& a : args) {
        if (a.first.compare(name, Qt::CaseInsensitive) == 0) return a.second;
    }
    const qsizetype position = order.indexOf(name);
    qsizetype k = 0;
    for (const auto& a : args) {
        if (!a.first.isEmpty()) continue;
        if (k++ == position) return a.second;
    }
    return {};
}

void checkNames(const std::vector<std::pair<QString, QString>>& args, const QStringList& order, const QString& procedure) {
    for (const auto& a : args) {
        if (a.first.isEmpty() || order.contains(a.first, Qt::CaseInsensitive)) continue;
        raiseServerError(8145, QStringLiteral("@%1 is not a parameter for procedure %2.").arg(a.first, procedure));
    }
}

bool matches(const QString& pattern, const QString& value) { return pattern.isNull() || likeMatch(pattern, value); }

struct TableEntry {
    QString name;
    QString type;  // "TABLE", "VIEW", "SYSTEM TABLE"
};

// The tables of the connection's database, or its temporary tables (schema "temp").
std::vector<TableEntry> tablesOf(Core& core, const QString& schema = QStringLiteral("main")) {
    std::vector<TableEntry> out;
    Statement q(core.db(),
                QStringLiteral("SELECT type, name FROM ") + schemaRef(schema) +
                    QStringLiteral(".sqlite_master WHERE type IN ('table', 'view') ORDER BY name"),
                core.context());
    const bool master = core.database().compare(QLatin1String("master"), Qt::CaseInsensitive) == 0;
    while (q.step()) {
        const QString name = q.text(1);
        if (name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive) ||
            name.startsWith(QLatin1String("tsql_"), Qt::CaseInsensitive)) {
            continue;
        }
        QString type = q.text(0) == u"view" ? QStringLiteral("VIEW") : QStringLiteral("TABLE");
        if (master && (name.compare(QLatin1String("syslogins"), Qt::CaseInsensitive) == 0 ||
                       name.compare(QLatin1String("sysdatabases"), Qt::CaseInsensitive) == 0 ||
                       name.compare(QLatin1String("sysdevices"), Qt::CaseInsensitive) == 0)) {
            type = QStringLiteral("SYSTEM TABLE");
        }
        // A database's users and role members are catalogue tables, as in SQL Server.
        if (name.compare(QLatin1String("sysusers"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("sysmembers"), Qt::CaseInsensitive) == 0) {
            type = QStringLiteral("SYSTEM TABLE");
        }
        out.push_back({name, type});
    }
    return out;
}

int odbcType(const SqlType& t) {
    switch (t.kind) {
        case Kind::Char:
            return 1;
        case Kind::VarChar:
            return 12;
        case Kind::Text:
        case Kind::SqliteText:
            return -1;
        case Kind::NChar:
            return -8;
        case Kind::NVarChar:
            return -9;
        case Kind::NText:
            return -10;
        case Kind::Bit:
            return -7;
        case Kind::TinyInt:
            return -6;
        case Kind::SmallInt:
            return 5;
        case Kind::Int:
        case Kind::SqliteInteger:
            return 4;
        case Kind::BigInt:
            return -5;
        case Kind::Money:
        case Kind::SmallMoney:
            return 3;
        case Kind::Numeric:
            return t.typeName() == u"decimal" ? 3 : 2;
        case Kind::Float:
        case Kind::SqliteReal:
            return 6;
        case Kind::Real:
            return 7;
        case Kind::DateTime:
        case Kind::SmallDateTime:
            return 11;
        case Kind::Binary:
            return -2;
        case Kind::VarBinary:
            return -3;
        case Kind::Image:
        case Kind::SqliteBlob:
            return -4;
        case Kind::UniqueIdentifier:
            return -11;
        case Kind::Unknown:
            return -150;
    }
    return -150;
}

long odbcPrecision(const SqlType& t) {
    switch (t.kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::Binary:
        case Kind::VarBinary:
        case Kind::NChar:
        case Kind::NVarChar:
            return t.definedSize();
        case Kind::Text:
        case Kind::SqliteText:
        case Kind::Image:
        case Kind::SqliteBlob:
            return 2147483647;
        case Kind::NText:
            return 1073741823;
        case Kind::Bit:
            return 1;
        case Kind::UniqueIdentifier:
            return 36;
        default:
            return t.adoPrecision();
    }
}

long odbcLength(const SqlType& t) {
    switch (t.kind) {
        case Kind::NChar:
        case Kind::NVarChar:
            return 2 * t.definedSize();
        case Kind::NText:
            return 2147483646;
        case Kind::Bit:
        case Kind::TinyInt:
            return 1;
        case Kind::Money:
            return 21;
        case Kind::SmallMoney:
            return 12;
        case Kind::Numeric:
            return t.precision + 2;
        default:
            return odbcPrecision(t) == 2147483647 ? 2147483647 : t.definedSize();
    }
}

Variant odbcScale(const SqlType& t) {
    switch (t.kind) {
        case Kind::Bit:
        case Kind::TinyInt:
        case Kind::SmallInt:
        case Kind::Int:
        case Kind::BigInt:
        case Kind::SqliteInteger:
        case Kind::SmallDateTime:
            return small(0);
        case Kind::Money:
        case Kind::SmallMoney:
            return small(4);
        case Kind::Numeric:
            return small(t.scale);
        case Kind::DateTime:
            return small(3);
        default:
            return nothing();
    }
}

int ssType(const SqlType& t, bool nullable) {
    switch (t.kind) {
        case Kind::Char:
            return 47;
        case Kind::VarChar:
            return 39;
        case Kind::Text:
        case Kind::SqliteText:
            return 35;
        case Kind::Bit:
            return 50;
        case Kind::TinyInt:
            return nullable ? 38 : 48;
        case Kind::SmallInt:
            return nullable ? 38 : 52;
        case Kind::Int:
        case Kind::SqliteInteger:
            return nullable ? 38 : 56;
        case Kind::Money:
            return nullable ? 110 : 60;
        case Kind::SmallMoney:
            return nullable ? 110 : 122;
        case Kind::Numeric:
            return nullable ? 108 : 63;
        case Kind::Float:
        case Kind::SqliteReal:
            return nullable ? 109 : 62;
        case Kind::Real:
            return nullable ? 109 : 59;
        case Kind::DateTime:
            return nullable ? 111 : 61;
        case Kind::SmallDateTime:
            return nullable ? 111 : 58;
        case Kind::Binary:
            return 45;
        case Kind::VarBinary:
            return 37;
        case Kind::Image:
        case Kind::SqliteBlob:
            return 34;
        default:
            return 0;
    }
}

bool radix10(const SqlType& t) {
    switch (t.kind) {
        case Kind::TinyInt:
        case Kind::SmallInt:
        case Kind::Int:
        case Kind::BigInt:
        case Kind::SqliteInteger:
        case Kind::Money:
        case Kind::SmallMoney:
        case Kind::Numeric:
        case Kind::Float:
        case Kind::Real:
        case Kind::SqliteReal:
            return true;
        default:
            return false;
    }
}

provider::Result spTables(Core& core, const std::vector<std::pair<QString, QString>>& args) {
    const QStringList order{QStringLiteral("table_name"), QStringLiteral("table_owner"), QStringLiteral("table_qualifier"),
                            QStringLiteral("table_type"), QStringLiteral("fUsePattern")};
    checkNames(args, order, QStringLiteral("sp_tables"));
    const QString name = argument(args, order, QStringLiteral("table_name"));
    const QString owner = argument(args, order, QStringLiteral("table_owner"));
    const QString qualifier = argument(args, order, QStringLiteral("table_qualifier"));
    const QString types = argument(args, order, QStringLiteral("table_type"));
    Builder b;
    b.sysname("TABLE_QUALIFIER");
    b.sysname("TABLE_OWNER");
    b.sysname("TABLE_NAME");
    b.column("TABLE_TYPE", ado::adVarChar, 32);
    b.column("REMARKS", ado::adVarChar, 254);
    if (!matches(qualifier, core.database()) || !matches(owner, QStringLiteral("dbo"))) return b.done();
    QStringList wanted;
    if (!types.isNull()) {
        for (QString t : types.split(u',')) {
            t = t.trimmed();
            if (t.startsWith(u'\'') && t.endsWith(u'\'') && t.size() >= 2) t = t.mid(1, t.size() - 2);
            wanted.push_back(t.toUpper());
        }
    }
    std::vector<TableEntry> list = tablesOf(core);
    std::stable_sort(list.begin(), list.end(), [](const TableEntry& a, const TableEntry& b) {
        if (a.type != b.type) return a.type < b.type;
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    for (const auto& t : list) {
        if (!matches(name, t.name)) continue;
        if (!wanted.isEmpty() && !wanted.contains(t.type)) continue;
        b.row({text(core.database()), text(QStringLiteral("dbo")), text(t.name), text(t.type), nothing()});
    }
    return b.done();
}

provider::Result spColumns(Core& core, const std::vector<std::pair<QString, QString>>& args) {
    const QStringList order{QStringLiteral("table_name"), QStringLiteral("table_owner"), QStringLiteral("table_qualifier"),
                            QStringLiteral("column_name"), QStringLiteral("ODBCVer"), QStringLiteral("fUsePattern")};
    checkNames(args, order, QStringLiteral("sp_columns"));
    const QString name = argument(args, order, QStringLiteral("table_name"));
    if (name.isNull()) {
        raiseServerError(201, QStringLiteral("Procedure or function 'sp_columns' expects parameter '@table_name', which was "
                                             "not supplied."));
    }
    const QString owner = argument(args, order, QStringLiteral("table_owner"));
    const QString qualifier = argument(args, order, QStringLiteral("table_qualifier"));
    const QString column = argument(args, order, QStringLiteral("column_name"));
    Builder b;
    b.sysname("TABLE_QUALIFIER");
    b.sysname("TABLE_OWNER");
    b.sysname("TABLE_NAME");
    b.sysname("COLUMN_NAME");
    b.column("DATA_TYPE", ado::adSmallInt, 2);
    b.sysname("TYPE_NAME");
    b.column("PRECISION", ado::adInteger, 4);
    b.column("LENGTH", ado::adInteger, 4);
    b.column("SCALE", ado::adSmallInt, 2);
    b.column("RADIX", ado::adSmallInt, 2);
    b.column("NULLABLE", ado::adSmallInt, 2);
    b.column("REMARKS", ado::adVarChar, 254);
    b.column("COLUMN_DEF", ado::adVarWChar, 4000);
    b.column("SQL_DATA_TYPE", ado::adSmallInt, 2);
    b.column("SQL_DATETIME_SUB", ado::adSmallInt, 2);
    b.column("CHAR_OCTET_LENGTH", ado::adInteger, 4);
    b.column("ORDINAL_POSITION", ado::adInteger, 4);
    b.column("IS_NULLABLE", ado::adVarChar, 254);
    b.column("SS_DATA_TYPE", ado::adUnsignedTinyInt, 1);
    if (!matches(qualifier, core.database()) || !matches(owner, QStringLiteral("dbo"))) return b.done();
    const QString schema = name.startsWith(u'#') ? QStringLiteral("temp") : QStringLiteral("main");
    for (const auto& t : tablesOf(core, schema)) {
        if (!likeMatch(name, t.name)) continue;
        const TableDefinition* def = core.table(schema, t.name);
        if (!def) continue;
        int position = 0;
        for (const auto& c : def->columns) {
            ++position;
            if (!matches(column, c.name)) continue;
            const SqlType& ty = c.type;
            const bool nullable = !c.notNull && !c.identity && !c.primaryKey;
            QString typeName = ty.typeName();
            if (c.identity) typeName += ty.kind == Kind::Numeric ? QStringLiteral("() identity") : QStringLiteral(" identity");
            const int odbc = odbcType(ty);
            const bool textual = ty.isText() || ty.isBinary();
            b.row({text(core.database()), text(QStringLiteral("dbo")), text(t.name), text(c.name), small(odbc), text(typeName),
                   integer(odbcPrecision(ty)), integer(odbcLength(ty)), odbcScale(ty), radix10(ty) ? small(10) : nothing(),
                   small(nullable ? 1 : 0), nothing(), nothing(),
                   small((ty.kind == Kind::DateTime || ty.kind == Kind::SmallDateTime) ? 9 : odbc),
                   (ty.kind == Kind::DateTime || ty.kind == Kind::SmallDateTime) ? small(3) : nothing(),
                   textual ? integer(odbcLength(ty)) : nothing(), integer(position),
                   text(nullable ? QStringLiteral("YES") : QStringLiteral("NO")),
                   Variant(static_cast<std::int16_t>(ssType(ty, nullable)))});
        }
    }
    return b.done();
}

provider::Result spIndexes(Core& core, const std::vector<std::pair<QString, QString>>& args) {
    const QStringList order{QStringLiteral("table_server"), QStringLiteral("table_name"), QStringLiteral("table_schema"),
                            QStringLiteral("table_catalog"), QStringLiteral("index_name"), QStringLiteral("is_unique")};
    checkNames(args, order, QStringLiteral("sp_indexes"));
    const QString name = argument(args, order, QStringLiteral("table_name"));
    const QString schema = argument(args, order, QStringLiteral("table_schema"));
    const QString catalog = argument(args, order, QStringLiteral("table_catalog"));
    const QString indexName = argument(args, order, QStringLiteral("index_name"));
    const QString isUnique = argument(args, order, QStringLiteral("is_unique"));
    Builder b;
    b.sysname("TABLE_CAT");
    b.sysname("TABLE_SCHEM");
    b.sysname("TABLE_NAME");
    b.column("NON_UNIQUE", ado::adSmallInt, 2);
    b.sysname("INDEX_QUALIFIER");
    b.sysname("INDEX_NAME");
    b.column("TYPE", ado::adSmallInt, 2);
    b.column("ORDINAL_POSITION", ado::adInteger, 4);
    b.sysname("COLUMN_NAME");
    b.column("ASC_OR_DESC", ado::adVarChar, 1);
    b.column("CARDINALITY", ado::adInteger, 4);
    b.column("PAGES", ado::adInteger, 4);
    b.column("FILTER_CONDITION", ado::adVarWChar, 128);
    if (!matches(catalog, core.database()) || !matches(schema, QStringLiteral("dbo"))) return b.done();
    for (const auto& t : tablesOf(core)) {
        if (t.type == u"VIEW" || !matches(name, t.name)) continue;
        const TableDefinition* def = core.table(QStringLiteral("main"), t.name);
        if (!def) continue;
        struct Index {
            QString name;
            bool unique;
            QStringList columns;
        };
        std::vector<Index> indexes;
        // A key on the row id (an identity column) has no index of its own in the file.
        for (const auto& c : def->columns) {
            if (c.primaryKey && !c.keyName.isEmpty() && (c.identity || c.type.kind == Kind::SqliteInteger)) {
                indexes.push_back({c.keyName, true, {c.name}});
            }
        }
        {
            Statement list(core.db(), QStringLiteral("PRAGMA main.index_list(") + quoteName(t.name) + u')', core.context());
            std::vector<std::tuple<QString, bool, QString>> found;
            while (list.step()) found.emplace_back(list.text(1), list.int64(2) != 0, list.text(3));
            for (const auto& [iname, unique, origin] : found) {
                QString shown = iname;
                if (origin == u"pk") shown = def->primaryKeyName();
                if (shown.isEmpty() || shown.startsWith(QLatin1String("sqlite_autoindex_"))) continue;
                Index ix{shown, unique, {}};
                Statement info(core.db(), QStringLiteral("PRAGMA main.index_info(") + quoteName(iname) + u')', core.context());
                while (info.step()) ix.columns.push_back(info.text(2));
                indexes.push_back(ix);
            }
        }
        for (const auto& ix : indexes) {
            if (!matches(indexName, ix.name)) continue;
            if (!isUnique.isNull() && (isUnique.trimmed() == u"1") != ix.unique) continue;
            int position = 0;
            for (const auto& col : ix.columns) {
                b.row({text(core.database()), text(QStringLiteral("dbo")), text(t.name), small(ix.unique ? 0 : 1),
                       text(t.name), text(ix.name), small(3), integer(++position), text(col), text(QStringLiteral("A")),
                       nothing(), nothing(), nothing()});
            }
        }
    }
    return b.done();
}

}  // namespace

bool likeMatch(const QString& pattern, const QString& text) {
    QString re;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%') {
            re += QStringLiteral(".*");
        } else if (c == u'_') {
            re += u'.';
        } else if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1);
            if (close < 0) {
                re += QRegularExpression::escape(QString(c));
                continue;
            }
            QString set = pattern.mid(i + 1, close - i - 1);
            const bool negate = set.startsWith(u'^');
            if (negate) set = set.mid(1);
            QString body;
            for (const QChar s : set) body += (s == u'-') ? QString(s) : QRegularExpression::escape(QString(s));
            re += u'[' + (negate ? QStringLiteral("^") : QString()) + body + u']';
            i = close;
        } else {
            re += QRegularExpression::escape(QString(c));
        }
    }
    const QRegularExpression rx(QRegularExpression::anchoredPattern(re),
                                QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    // Trailing blanks do not count, as in any comparison of the server.
    QString t = text;
    while (t.endsWith(u' ')) t.chop(1);
    return rx.match(t).hasMatch() || rx.match(text).hasMatch();
}

provider::Result callProcedure(Core& core, const QString& name, const std::vector<std::pair<QString, QString>>& arguments) {
    const QString n = name.toLower();
    if (n == u"sp_tables") return spTables(core, arguments);
    if (n == u"sp_columns") return spColumns(core, arguments);
    if (n == u"sp_indexes") return spIndexes(core, arguments);
    raiseServerError(2812, QStringLiteral("Could not find stored procedure '%1'.").arg(name));
}

}  // namespace data::embedded
