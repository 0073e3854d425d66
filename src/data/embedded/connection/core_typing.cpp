// Translated texts with SQL Server's implicit conversions, from the declared types of this
// connection's tables (typing.h).
#include "data/embedded/connection/core.h"

#include "data/embedded/translate/typing.h"

namespace data::embedded {

const QString& Core::typedSql(const QString& sql) {
    auto it = typed_.find(sql);
    if (it != typed_.end() && it->generation == generation_) return it->sql;
    QString text = typedStatement(sql, [&](const QString& schema, const QString& name, ColumnTypes& columns) {
        const TableDefinition* def = nullptr;
        try {
            // An unqualified name finds a temporary table before the database's own.
            if (schema.isEmpty()) def = table(QStringLiteral("temp"), name);
            if (!def) def = table(schema.isEmpty() ? QStringLiteral("main") : schema, name);
        } catch (const DbError&) {
            return false;  // a database not attached (yet): its columns stay untyped
        }
        if (!def) return false;
        for (const ColumnDef& c : def->columns) columns.emplace_back(c.name, c.type);
        return true;
    });
    if (typed_.size() >= kCacheSize) typed_.clear();
    return typed_.insert(sql, RuledText{generation_, std::move(text)})->sql;
}

}  // namespace data::embedded
