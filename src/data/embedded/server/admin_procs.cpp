// Stored procedures of a database: CREATE, ALTER and DROP PROCEDURE, sp_stored_procedures, and
// the calls that run them (EXEC in a text, a command of type 4 with typed parameters). A
// database keeps its procedures as written in tsql_procedures, so any SQLite tool shows them.
#include "data/embedded/server/permissions.h"
#include "data/embedded/server/admin_common.h"
#include "data/embedded/procedures/procedures.h"
#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/translator.h"
#include "platform/clock.h"

namespace data::embedded::admin {

namespace {

bool hasProcedures(Core& core) { return hasTable(core.db(), QStringLiteral("main"), QStringLiteral("tsql_procedures")); }

QString storedProcedureName(Core& core, const QString& name) {
    if (!hasProcedures(core)) return {};
    Statement q(core.db(), QStringLiteral("SELECT name FROM main.tsql_procedures WHERE name = ? COLLATE NOCASE"), core.context());
    q.bind(1, trimRight(name));
    return q.step() ? q.text(0) : QString();
}

bool mayChangeProcedures(Core& core) { return rightsHere(core).has("db_ddladmin"); }

// The statement's text from its first word, as it will be shown and run again.
QString definitionText(const std::vector<Token>& t) {
    size_t b = 0;
    while (b < t.size() && t[b].isTrivia()) ++b;
    return joinTokens(t, b).trimmed();
}

}  // namespace

std::optional<tsql::ProcedureDef> loadStoredProcedure(Core& core, const QString& name) {
    if (!hasProcedures(core)) return std::nullopt;
    Statement q(core.db(), QStringLiteral("SELECT definition FROM main.tsql_procedures WHERE name = ? COLLATE NOCASE"),
                core.context());
    q.bind(1, trimRight(name));
    if (!q.step()) return std::nullopt;
    return tsql::parseProcedure(tokenize(q.text(0)));
}

provider::Result createProcedure(Core& core, const Translation& tr) {
    const tsql::ProcedureDef def = tsql::parseProcedure(tr.definition);
    tsql::checkProcedure(core, def);
    const bool alter = tr.name == u"ALTER PROCEDURE";
    if (!mayChangeProcedures(core)) {
        raiseServerError(262, QStringLiteral("%1 permission denied in database '%2'.")
                                  .arg(alter ? QStringLiteral("ALTER PROCEDURE") : QStringLiteral("CREATE PROCEDURE"), core.database()));
    }
    const QString existing = storedProcedureName(core, def.name);
    if (alter && existing.isEmpty()) raiseServerError(208, msg::invalidObject(def.name));
    if (!alter && (!existing.isEmpty() || !core.storedTableName(QStringLiteral("main"), def.name).isEmpty())) {
        raiseServerError(2714, msg::objectExists(def.name));
    }
    exec(core.db(), QStringLiteral("SAVEPOINT tsql_procedure"), core.context());
    try {
        exec(core.db(),
             QStringLiteral("CREATE TABLE IF NOT EXISTS main.tsql_procedures (name varchar(128) NOT NULL PRIMARY KEY COLLATE NOCASE, "
                            "definition text NOT NULL, created datetime NULL)"),
             core.context());
        Statement st(core.db(),
                     alter ? QStringLiteral("UPDATE main.tsql_procedures SET definition = ? WHERE name = ? COLLATE NOCASE")
                           : QStringLiteral("INSERT INTO main.tsql_procedures (definition, name, created) VALUES (?, ?, ?)"),
                     core.context());
        st.bind(1, definitionText(tr.definition));
        st.bind(2, alter ? existing : def.name);
        if (!alter) st.bind(3, formatDateTime(platform::now()));
        st.step();
        exec(core.db(), QStringLiteral("RELEASE tsql_procedure"), core.context());
    } catch (...) {
        sqlite3_exec(core.db(), "ROLLBACK TO tsql_procedure; RELEASE tsql_procedure", nullptr, nullptr, nullptr);
        throw;
    }
    return noRows();
}

provider::Result dropProcedure(Core& core, const Translation& tr) {
    std::vector<const Token*> t;
    for (const auto& tok : tr.definition) {
        if (!tok.isTrivia()) t.push_back(&tok);
    }
    QStringList names;
    QString current;
    for (size_t i = 2; i < t.size(); ++i) {
        if (t[i]->isName()) {
            current = t[i]->value();
        } else if (t[i]->isPunct(",")) {
            if (current.isEmpty()) raiseServerError(102, msg::syntaxNear(t[i]->text));
            names.push_back(current);
            current.clear();
        } else if (!t[i]->isPunct(".")) {
            raiseServerError(102, msg::syntaxNear(t[i]->text));
        }
    }
    if (current.isEmpty()) raiseServerError(102, msg::syntaxNear(t.empty() ? QStringLiteral("PROCEDURE") : t.back()->text));
    names.push_back(current);
    const bool allowed = mayChangeProcedures(core);
    for (const QString& name : names) {
        const QString stored = storedProcedureName(core, name);
        if (stored.isEmpty() || !allowed) {
            raiseServerError(3701, QStringLiteral("Cannot drop the procedure '%1', because it does not exist or you do not have "
                                                  "permission.")
                                       .arg(name));
        }
        Statement del(core.db(), QStringLiteral("DELETE FROM main.tsql_procedures WHERE name = ?"), core.context());
        del.bind(1, stored);
        del.step();
    }
    return noRows();
}

namespace {

std::vector<provider::Result> spStoredProcedures(Core& core, const Arguments& args) {
    const ProcArgs a(args,
                     {QStringLiteral("sp_name"), QStringLiteral("sp_owner"), QStringLiteral("sp_qualifier"),
                      QStringLiteral("fUsePattern")},
                     QStringLiteral("sp_stored_procedures"));
    const QString name = a.value(QStringLiteral("sp_name"));
    const QString owner = a.value(QStringLiteral("sp_owner"));
    const QString qualifier = a.value(QStringLiteral("sp_qualifier"));
    ResultBuilder b;
    b.wide("PROCEDURE_QUALIFIER", 128).wide("PROCEDURE_OWNER", 128).wide("PROCEDURE_NAME", 134).integer("NUM_INPUT_PARAMS");
    b.integer("NUM_OUTPUT_PARAMS").integer("NUM_RESULT_SETS").text("REMARKS", 254).small("PROCEDURE_TYPE");
    const bool wanted = (qualifier.isNull() || likeMatch(qualifier, core.database())) && (owner.isNull() || likeMatch(owner, QStringLiteral("dbo")));
    if (wanted && hasProcedures(core)) {
        Statement q(core.db(), QStringLiteral("SELECT name FROM main.tsql_procedures ORDER BY name COLLATE NOCASE"), core.context());
        while (q.step()) {
            const QString n = q.text(0);
            if (!name.isNull() && !likeMatch(name, n) && !likeMatch(name, n + QStringLiteral(";1"))) continue;
            b.row({core.database(), QStringLiteral("dbo"), n + QStringLiteral(";1"), static_cast<std::int32_t>(-1),
                   static_cast<std::int32_t>(-1), static_cast<std::int32_t>(-1), Variant::null(), static_cast<std::int16_t>(2)});
        }
    }
    std::vector<provider::Result> out;
    out.push_back(b.done());
    return out;
}

}  // namespace

Handler storedProcedureProcedure(const QString& n) {
    if (n == u"sp_stored_procedures") return spStoredProcedures;
    return nullptr;
}

std::optional<std::vector<provider::Result>> runStoredProcedure(Core& core, const QString& name, const Arguments& args,
                                                                const provider::Request* typed, int depth) {
    const auto def = loadStoredProcedure(core, name);
    if (!def) return std::nullopt;
    Rights& rights = core.admin().rights();
    rights.checkExecute(def->name.isEmpty() ? trimRight(name) : def->name);
    const Rights::Chain chain(rights);
    std::vector<tsql::Argument> arguments;
    // A command's parameters go by position, as the provider binds them; the return value
    // has none.
    std::vector<int> positionOf;
    if (typed) {
        for (const auto& p : typed->parameters) {
            if (p.direction == ado::adParamReturnValue) {
                positionOf.push_back(-1);
                continue;
            }
            tsql::Argument a;
            a.output = p.direction == ado::adParamOutput || p.direction == ado::adParamInputOutput;
            if (p.direction == ado::adParamOutput) {
                a.value = Variant::null();
            } else if (p.value.isEmpty()) {
                a.useDefault = true;
            } else {
                a.value = p.value;
            }
            positionOf.push_back(static_cast<int>(arguments.size()));
            arguments.push_back(a);
        }
    } else {
        for (const auto& [n, v] : args) {
            tsql::Argument a;
            a.name = n.isEmpty() ? QString() : u'@' + n;
            a.value = v.isNull() ? Variant::null() : Variant(v);
            arguments.push_back(a);
        }
    }
    tsql::CallResult r = tsql::call(core, *def, arguments, depth);
    auto& outputs = core.admin().lastOutputs;
    outputs.clear();
    if (typed) {
        for (size_t k = 0; k < typed->parameters.size(); ++k) {
            provider::Parameter p = typed->parameters[k];
            if (p.direction == ado::adParamReturnValue) {
                p.value = static_cast<std::int32_t>(r.returnValue);
                outputs.push_back(p);
            } else if ((p.direction == ado::adParamOutput || p.direction == ado::adParamInputOutput) && positionOf[k] >= 0 &&
                       static_cast<size_t>(positionOf[k]) < r.finalValues.size() &&
                       def->parameters[static_cast<size_t>(positionOf[k])].output) {
                p.value = r.finalValues[static_cast<size_t>(positionOf[k])];
                outputs.push_back(p);
            }
        }
    } else {
        provider::Parameter ret;
        ret.name = QStringLiteral("@RETURN_VALUE");
        ret.type = ado::adInteger;
        ret.direction = ado::adParamReturnValue;
        ret.value = static_cast<std::int32_t>(r.returnValue);
        outputs.push_back(ret);
        for (size_t k = 0; k < def->parameters.size(); ++k) {
            if (!def->parameters[k].output) continue;
            provider::Parameter p;
            p.name = def->parameters[k].name;
            p.direction = ado::adParamInputOutput;
            p.value = r.finalValues[k];
            outputs.push_back(p);
        }
    }
    return std::move(r.results);
}

}  // namespace data::embedded::admin
