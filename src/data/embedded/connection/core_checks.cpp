// The write checks of a connection: SQL Server's refusals and fitting of each column, as
// temporary triggers or written into the statement.
#include "data/embedded/connection/core.h"

#include "data/embedded/server/admin.h"
#include "data/embedded/translate/columnrules.h"
#include "data/embedded/server/permissions.h"

namespace data::embedded {

void Core::checkRights(const StatementCache::Lease& st) { admin_->rights().check(st); }

const QString& Core::sqlWithRules(const Translation& tr) {
    auto it = ruled_.find(tr.sql);
    if (it != ruled_.end() && it->generation == generation_) return it->sql;
    const TableDefinition* def = table(tr.schema, tr.table);
    QString sql = def ? statementWithRules(tr.sql, *def) : QString();
    if (ruled_.size() >= kCacheSize) ruled_.clear();
    return ruled_.insert(tr.sql, RuledText{generation_, std::move(sql)})->sql;
}

void Core::prepareWrite(const QString& schema, const QString& table, bool ruled) {
    // Triggers made before for the table on this connection are kept up to date all the same:
    // they would refuse by the table's former definition.
    if (ruled && checks_.isEmpty()) return;
    if (ruled) {
        auto it = checks_.find(schema.toLower() + u'\x1f' + table.toLower());
        if (it == checks_.end() || it->made.isEmpty()) return;
    }
    ensureChecks(schema, table);
}

void Core::ensureChecks(const QString& schema, const QString& table) {
    const QString key = schema.toLower() + u'\x1f' + table.toLower();
    // Verified since the last schema change (of any connection): nothing to look at again.
    if (auto known = checks_.find(key);
        known != checks_.end() && known->generation == generation_ && known->rollbacks == rollbacks_) {
        return;
    }
    QString sql;
    QString stored;
    {
        Statement q(db(),
                    QStringLiteral("SELECT sql, name FROM ") + schemaRef(schema) +
                        QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"),
                    context());
        q.bind(1, table);
        if (!q.step()) return;  // the statement itself will report the missing table
        sql = q.text(0);
        stored = q.text(1);
    }
    const QString insertName = QStringLiteral("tsqlchk_i_") + schema.toLower() + u'_' + stored;
    const QString updateName = QStringLiteral("tsqlchk_u_") + schema.toLower() + u'_' + stored;
    const QString fitInsertName = QStringLiteral("tsqlfit_i_") + schema.toLower() + u'_' + stored;
    const QString fitUpdateName = QStringLiteral("tsqlfit_u_") + schema.toLower() + u'_' + stored;
    // The triggers there are now, by name and text: made here for this table before, maybe by a
    // transaction rolled back since, which brings back the ones it had replaced.
    QHash<QString, QString> present;
    {
        Statement q(db(), QStringLiteral("SELECT name, sql FROM temp.sqlite_master WHERE type = 'trigger' AND tbl_name = ? "
                                         "COLLATE NOCASE"),
                    context());
        q.bind(1, stored);
        auto ours = [&](const QString& name) {
            if (name == insertName || name == updateName || name == fitInsertName || name == fitUpdateName) return true;
            for (const QString& base : {updateName, fitUpdateName}) {
                if (name.size() > base.size() + 1 && name.startsWith(base) && name.at(base.size()) == u'_') {
                    bool digits = true;
                    for (qsizetype i = base.size() + 1; i < name.size(); ++i) digits = digits && name.at(i).isDigit();
                    if (digits) return true;
                }
            }
            return false;
        };
        while (q.step()) {
            if (ours(q.text(0))) present.insert(q.text(0), q.text(1));
        }
    }
    auto it = checks_.find(key);
    if (it != checks_.end() && it->sql == sql) {
        bool same = it->made.size() == present.size();
        for (auto m = it->made.cbegin(); same && m != it->made.cend(); ++m) same = present.value(m.key()) == m.value();
        if (same) {
            it->generation = generation_;
            it->rollbacks = rollbacks_;
            return;
        }
    }
    for (auto p = present.cbegin(); p != present.cend(); ++p) {
        exec(db(), QStringLiteral("DROP TRIGGER IF EXISTS temp.") + quoteName(p.key()), context());
    }
    const TableDefinition def = TableDefinition::parse(sql);
    // Each trigger runs its body only when its condition finds something to refuse or fit:
    // most rows need neither, and then a written row costs one expression, not a statement
    // per column.
    QString onInsert;
    QString fit;
    QStringList insertWhen;
    QStringList fitWhen;
    // An update fires only the triggers of the columns it sets, each with a condition on its
    // column alone: setting one column of a wide table looks at that column only.
    struct ColumnRules {
        QString column;
        QString onUpdate;
        QStringList updateWhen;
        QString fit;
        QStringList fitWhen;
    };
    std::vector<ColumnRules> perColumn;
    for (const auto& c : def.columns) {
        ColumnRules r{quoteName(c.name), {}, {}, {}, {}};
        const QString& col = r.column;
        const QString ref = QStringLiteral("NEW.") + col;
        for (const auto& check : c.type.checks(ref)) {
            onInsert += QStringLiteral(" SELECT %1 WHERE %2;").arg(check.raise, check.condition);
            insertWhen.push_back(u'(' + check.condition + u')');
            r.onUpdate += QStringLiteral(" SELECT %1 WHERE %2 IS NOT OLD.%3 AND %4;").arg(check.raise, ref, col, check.condition);
            r.updateWhen.push_back(QStringLiteral("(%1 IS NOT OLD.%2 AND %3)").arg(ref, col, check.condition));
        }
        // What SQL Server stores: blanks beyond a character column's width dropped, char(n)
        // filled with blanks to its width.
        using K = SqlType::Kind;
        const long n = c.type.length;
        if ((c.type.kind == K::VarChar || c.type.kind == K::NVarChar || c.type.kind == K::Char || c.type.kind == K::NChar) &&
            n > 0 && n < 8001) {
            r.fit += QStringLiteral(" UPDATE %1 SET %2 = substr(%2, 1, %3) WHERE rowid = NEW.rowid AND typeof(%2) = 'text' AND "
                                    "length(%2) > %3;")
                         .arg(quoteName(stored), col)
                         .arg(n);
            r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'text' AND length(%1) > %2)").arg(ref).arg(n));
            if (c.type.kind == K::Char || c.type.kind == K::NChar) {
                r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'text' AND length(%1) < %2)").arg(ref).arg(n));
                // "!": the width counts characters; without it printf counts UTF-8 bytes and
                // an accented value came out short of the column's width.
                r.fit += QStringLiteral(" UPDATE %1 SET %2 = printf('%-!%3s', %2) WHERE rowid = NEW.rowid AND typeof(%2) = "
                                        "'text' AND length(%2) < %3;")
                             .arg(quoteName(stored), col)
                             .arg(n);
            }
            fit += r.fit;
            fitWhen += r.fitWhen;
        }
        // A numeric column keeps a value rounded to its scale, as SQL Server does.
        if (c.type.kind == K::Numeric && !c.identity) {
            const QString rounded = QStringLiteral("tsql_numeric(%1, %2)").arg(col).arg(c.type.scale);
            r.fit += QStringLiteral(" UPDATE %1 SET %2 = %3 WHERE rowid = NEW.rowid AND typeof(%2) = 'real' AND %2 <> %3;")
                         .arg(quoteName(stored), col, rounded);
            r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'real' AND %1 <> tsql_numeric(%1, %2))").arg(ref).arg(c.type.scale));
            fit += r.fit;
            fitWhen += r.fitWhen;
        }
        if (c.type.kind == K::DateTime || c.type.kind == K::SmallDateTime) {
            r.fit += QStringLiteral(" UPDATE %1 SET %2 = tsql_datetime(%2) WHERE rowid = NEW.rowid AND typeof(%2) = 'text' "
                                    "AND length(%2) <> 23;")
                         .arg(quoteName(stored), col);
            r.fitWhen.push_back(QStringLiteral("(typeof(%1) = 'text' AND length(%1) <> 23)").arg(ref));
            fit += r.fit;
            fitWhen += r.fitWhen;
        }
        perColumn.push_back(std::move(r));
    }
    // A very wide table keeps its triggers unconditional (SQLite limits an expression's depth).
    auto when = [](const QStringList& terms) {
        return terms.isEmpty() || terms.size() > 200 ? QString()
                                                     : QStringLiteral(" WHEN ") + terms.join(QStringLiteral(" OR "));
    };
    CachedChecks cc{sql, generation_, rollbacks_, {}};
    const QString target = schemaRef(schema) + u'.' + quoteName(stored);
    // A trigger body names its table without a database, so the fitting is only done where
    // that name finds this very table (and never on tables without row ids).
    bool withoutRowid = false;
    for (const auto& t : def.tail) withoutRowid = withoutRowid || t.isWord("ROWID");
    const bool fits = !fit.isEmpty() && !withoutRowid && resolvesTo(schema, stored);
    auto create = [&](const QString& name, const QString& event, const QStringList& terms, const QString& body) {
        exec(db(),
             QStringLiteral("CREATE TEMP TRIGGER ") + quoteName(name) + u' ' + event + QStringLiteral(" ON ") + target +
                 when(terms) + QStringLiteral(" BEGIN") + body + QStringLiteral(" END"),
             context());
        cc.made.insert(name, QString());
    };
    if (fits) {
        // One trigger a row instead of two: the checks raise from the fitting's trigger, before
        // it fits anything, and the refused statement is undone all the same.
        create(fitInsertName, QStringLiteral("AFTER INSERT"), insertWhen + fitWhen, onInsert + fit);
        for (size_t i = 0; i < perColumn.size(); ++i) {
            const ColumnRules& r = perColumn[i];
            if (r.onUpdate.isEmpty() && r.fit.isEmpty()) continue;
            create(fitUpdateName + u'_' + QString::number(i), QStringLiteral("AFTER UPDATE OF ") + r.column,
                   r.updateWhen + r.fitWhen, r.onUpdate + r.fit);
        }
    } else if (!onInsert.isEmpty()) {
        create(insertName, QStringLiteral("BEFORE INSERT"), insertWhen, onInsert);
        for (size_t i = 0; i < perColumn.size(); ++i) {
            const ColumnRules& r = perColumn[i];
            if (r.onUpdate.isEmpty()) continue;
            create(updateName + u'_' + QString::number(i), QStringLiteral("BEFORE UPDATE OF ") + r.column, r.updateWhen,
                   r.onUpdate);
        }
    }
    // The texts as SQLite keeps them, to tell these triggers from others of the same names.
    if (!cc.made.isEmpty()) {
        Statement q(db(), QStringLiteral("SELECT name, sql FROM temp.sqlite_master WHERE type = 'trigger' AND tbl_name = ? "
                                         "COLLATE NOCASE"),
                    context());
        q.bind(1, stored);
        while (q.step()) {
            if (cc.made.contains(q.text(0))) cc.made[q.text(0)] = q.text(1);
        }
    }
    checks_.insert(key, cc);
}

}  // namespace data::embedded
