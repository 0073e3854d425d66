#pragma once
// What the toolkit's administration tests share: the configured login pointed at an embedded
// server, a recorder of the mouse pointer, and the program services of the access rights.

#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/connection.h"
#include "sqltoolkit/CSql.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"

namespace csqltest {

// The values the members give the screen's mouse pointer, in order.
class PointerRecorder {
public:
    PointerRecorder() {
        util::setMousePointerHook([this](std::int16_t p) { values.push_back(p); });
    }
    ~PointerRecorder() { util::setMousePointerHook({}); }
    PointerRecorder(const PointerRecorder&) = delete;
    PointerRecorder& operator=(const PointerRecorder&) = delete;
    std::vector<std::int16_t> values;
};

// The configured login (server, login, password) for as long as the object lives.
class ConfiguredLogin {
public:
    ConfiguredLogin(const QString& server, const QString& uid, const QString& pwd) {
        csql::setFonteLoginConfigurado([=] { return csql::LoginConfigurado{server, uid, pwd}; });
    }
    explicit ConfiguredLogin(const testsupport::TempEmbeddedServer& s)
        : ConfiguredLogin(s.serverName(), s.login(), s.password()) {}
    ~ConfiguredLogin() { csql::setFonteLoginConfigurado({}); }
    ConfiguredLogin(const ConfiguredLogin&) = delete;
    ConfiguredLogin& operator=(const ConfiguredLogin&) = delete;
};

// The program services: OpenConfig opens BorviaConfig with the configured login and records
// each opening; error variables of the test's own.
class ProgramServices {
public:
    ProgramServices() {
        util::ServicosPrograma s;
        s.OpenConfig = [this](data::Connection& conn, std::int32_t& n, QString& t) {
            ++openings;
            const csql::LoginConfigurado l = csql::loginConfigurado();
            return gobjSql().CreateDbConnection(conn, l.gstrServer, QStringLiteral("BorviaConfig"), l.gstrUID,
                                                l.gstrPwd, 120, n, t);
        };
        s.AcertaLocale = [this] { ++localeRefreshes; };
        s.errC = &ProgramServices::errC;
        s.errD = &ProgramServices::errD;
        util::setServicosPrograma(std::move(s));
        errC() = 0;
        errD().clear();
    }
    ~ProgramServices() { util::setServicosPrograma({}); }
    ProgramServices(const ProgramServices&) = delete;
    ProgramServices& operator=(const ProgramServices&) = delete;

    static std::int32_t& errC() {
        static std::int32_t v = 0;
        return v;
    }
    static QString& errD() {
        static QString v;
        return v;
    }
    int openings = 0;
    int localeRefreshes = 0;
};

// The texts of the boxes shown.
inline std::vector<QString> texts(const testsupport::MessageBoxRecorder& boxes) {
    std::vector<QString> out;
    for (const auto& b : boxes.shown) out.push_back(b.text);
    return out;
}

}  // namespace csqltest

namespace csqltest {

// The login that owns the database (its user "dbo"), by sp_helpuser; "" when none is listed.
inline QString databaseOwner(const testsupport::TempEmbeddedServer& server, const QString& database) {
    auto conn = server.connect(database);
    data::Recordset rs = conn->Execute(QStringLiteral("sp_helpuser"));
    while (!rs.EOF()) {
        if (rs.Fields(QStringLiteral("UserName"))
                .Value()
                .toString()
                .trimmed()
                .compare(QStringLiteral("dbo"), Qt::CaseInsensitive) == 0) {
            const data::Variant login = rs.Fields(QStringLiteral("LoginName")).Value();
            return login.isNull() ? QString() : login.toString();
        }
        rs.MoveNext();
    }
    return QString();
}

// Every text of every row of a statement, joined, for looking a name up in a listing.
inline QString listing(const testsupport::TempEmbeddedServer& server, const QString& database, const QString& sql) {
    QString out;
    for (const auto& row : server.rows(database, sql)) {
        for (const auto& v : row) out += (v.isNull() ? QStringLiteral("NULL") : v.toString()) + u'|';
        out += u'\n';
    }
    return out;
}

}  // namespace csqltest
