// Where the administration statements and procedures enter the engine.
#include "data/embedded/server/admin_common.h"
#include "data/embedded/server/permissions.h"
#include "data/embedded/procedures/procedures.h"
#include "data/embedded/translate/translator.h"
#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

using namespace admin;

namespace {

bool startsProcedure(const std::vector<Token>& t) {
    const size_t f = nextAt(t, 0);
    const size_t s = nextAt(t, f + 1);
    return (wordAt(t, f, "CREATE") || wordAt(t, f, "ALTER")) && (wordAt(t, s, "PROC") || wordAt(t, s, "PROCEDURE"));
}

}  // namespace

std::vector<std::vector<Token>> splitBatch(const std::vector<Token>& tokens) {
    std::vector<std::vector<Token>> out;
    std::vector<Token> cur;
    int depth = 0;
    bool procedure = false;
    auto flush = [&] {
        bool meaningful = false;
        for (const auto& t : cur) meaningful = meaningful || !t.isTrivia();
        if (meaningful) out.push_back(std::move(cur));
        cur.clear();
        procedure = false;
    };
    for (const auto& t : tokens) {
        if (t.isPunct("(")) ++depth;
        if (t.isPunct(")") && depth > 0) --depth;
        if (t.isPunct(";") && depth == 0 && !procedure) {
            flush();
            continue;
        }
        cur.push_back(t);
        // A procedure's body is the rest of the batch, semicolons included.
        if (!procedure && !t.isTrivia()) procedure = startsProcedure(cur);
    }
    flush();
    return out;
}

bool translateAdmin(const std::vector<Token>& in, size_t f, Translation& tr) {
    if (f >= in.size()) return false;
    const Token& first = in[f];
    const size_t s = nextAt(in, f + 1);
    QString op;
    if (first.isWord("DROP") && wordAt(in, s, "DATABASE")) {
        op = QStringLiteral("DROP DATABASE");
    } else if (first.isWord("DROP") && (wordAt(in, s, "PROC") || wordAt(in, s, "PROCEDURE"))) {
        op = QStringLiteral("DROP PROCEDURE");
    } else if ((first.isWord("CREATE") || first.isWord("ALTER")) && (wordAt(in, s, "PROC") || wordAt(in, s, "PROCEDURE"))) {
        op = first.isWord("CREATE") ? QStringLiteral("CREATE PROCEDURE") : QStringLiteral("ALTER PROCEDURE");
    } else if (first.isWord("GRANT") || first.isWord("DENY") || first.isWord("REVOKE")) {
        op = QStringLiteral("PERMISSION");
    } else if (first.isWord("KILL")) {
        op = QStringLiteral("KILL");
    } else if (first.isWord("BACKUP")) {
        op = QStringLiteral("BACKUP");
    } else if (first.isWord("RESTORE")) {
        op = QStringLiteral("RESTORE");
    } else if (first.isWord("DBCC")) {
        op = QStringLiteral("DBCC");
    } else if (first.isWord("UPDATE") && wordAt(in, s, "STATISTICS")) {
        op = QStringLiteral("UPDATE STATISTICS");
    } else if (first.isWord("ALTER") && wordAt(in, s, "TABLE")) {
        // ALTER TABLE name DROP COLUMN ...
        size_t i = nextAt(in, s + 1);
        while (i < in.size() && (in[i].isName() || in[i].isPunct("."))) {
            if (in[i].isWord("DROP")) break;
            ++i;
        }
        i = nextAt(in, i);
        if (wordAt(in, i, "DROP") && wordAt(in, nextAt(in, i + 1), "COLUMN")) op = QStringLiteral("DROP COLUMN");
    }
    if (op.isEmpty()) return false;
    tr.kind = StatementKind::Admin;
    tr.name = op;
    tr.definition = in;
    return true;
}

std::vector<Token> aliasAssignments(std::vector<Token> t) {
    size_t i = nextAt(t, 0);
    if (!wordAt(t, i, "SELECT")) return t;
    i = nextAt(t, i + 1);
    if (wordAt(t, i, "DISTINCT") || wordAt(t, i, "ALL")) i = nextAt(t, i + 1);
    if (wordAt(t, i, "TOP")) {
        i = nextAt(t, i + 1);
        if (i < t.size() && t[i].isPunct("(")) {
            while (i < t.size() && !t[i].isPunct(")")) ++i;
        }
        i = nextAt(t, i + 1);
        if (wordAt(t, i, "PERCENT")) i = nextAt(t, i + 1);
    }
    static const char* const ends[] = {"FROM", "INTO", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT"};
    // The select items: [start, end) ranges at depth 0.
    std::vector<std::pair<size_t, size_t>> items;
    int depth = 0;
    size_t start = i;
    size_t k = i;
    for (; k < t.size(); ++k) {
        if (t[k].isPunct("(")) ++depth;
        if (t[k].isPunct(")")) --depth;
        if (depth != 0) continue;
        bool end = false;
        for (const char* w : ends) end = end || t[k].isWord(w);
        if (end) break;
        if (t[k].isPunct(",")) {
            items.emplace_back(start, k);
            start = k + 1;
        }
    }
    items.emplace_back(start, k);
    // Rewritten from the last item on, so earlier positions stay valid.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const size_t a = nextAt(t, it->first);
        if (a >= it->second) continue;
        const bool aliasToken = (t[a].kind == TokenKind::Word || t[a].kind == TokenKind::QuotedName ||
                                 t[a].kind == TokenKind::String) &&
                                !t[a].isWord("CASE") && !t[a].isWord("NOT") && !t[a].isWord("NULL");
        const size_t eq = nextAt(t, a + 1);
        if (!aliasToken || eq >= it->second || !t[eq].isPunct("=")) continue;
        const QString alias = t[a].value();
        size_t e = it->second;
        while (e > eq + 1 && t[e - 1].isTrivia()) --e;
        std::vector<Token> expr(t.begin() + static_cast<long>(eq + 1), t.begin() + static_cast<long>(e));
        expr.push_back(Token{TokenKind::Space, QStringLiteral(" "), false});
        expr.push_back(Token{TokenKind::Word, QStringLiteral("AS"), false});
        expr.push_back(Token{TokenKind::Space, QStringLiteral(" "), false});
        expr.push_back(Token{TokenKind::QuotedName, quoteName(alias), false});
        t.erase(t.begin() + static_cast<long>(a), t.begin() + static_cast<long>(e));
        t.insert(t.begin() + static_cast<long>(a), expr.begin(), expr.end());
    }
    return t;
}

provider::Result runAdmin(Core& core, const Translation& tr) {
    const QString& op = tr.name;
    if (op == u"DROP DATABASE") return dropDatabase(core, tr);
    if (op == u"KILL") return killProcess(core, tr);
    if (op == u"BACKUP") return backupDatabase(core, tr);
    if (op == u"RESTORE") return restoreDatabase(core, tr);
    if (op == u"DBCC") return dbcc(core, tr);
    if (op == u"UPDATE STATISTICS") return updateStatistics(core, tr);
    if (op == u"DROP COLUMN") return dropColumn(core, tr);
    if (op == u"CREATE PROCEDURE" || op == u"ALTER PROCEDURE") return createProcedure(core, tr);
    if (op == u"DROP PROCEDURE") return dropProcedure(core, tr);
    if (op == u"PERMISSION") return permissionStatement(core, tr);
    raiseServerError(102, msg::syntaxNear(op));
}

std::vector<provider::Result> runProcedure(Core& core, const Translation& tr, const provider::Request& request) {
    const QString name = tr.procedure.toLower();
    std::vector<provider::Result> out;
    core.admin().lastOutputs.clear();
    if (name == u"sp_tables" || name == u"sp_columns" || name == u"sp_indexes") {
        out.push_back(callProcedure(core, tr.procedure, tr.arguments));
        return out;
    }
    for (auto family : {loginProcedure, userProcedure, databaseProcedure, processProcedure, backupProcedure,
                        maintenanceProcedure, storedProcedureProcedure}) {
        if (Handler h = family(name)) {
            // Whatever it changed (roles, users, owners), this connection looks at its rights again.
            core.admin().rights().forget();
            out = h(core, tr.arguments);
            core.admin().rights().forget();
            if (out.empty()) out.push_back(noRows());
            return out;
        }
    }
    const provider::Request* typed = request.commandType == ado::adCmdStoredProc ? &request : nullptr;
    if (auto r = runStoredProcedure(core, tr.procedure, tr.arguments, typed, 0)) {
        out = std::move(*r);
        if (out.empty()) out.push_back(noRows());
        out.back().outputs = core.admin().lastOutputs;
        return out;
    }
    raiseServerError(2812, QStringLiteral("Could not find stored procedure '%1'.").arg(tr.procedure));
}

}  // namespace data::embedded
