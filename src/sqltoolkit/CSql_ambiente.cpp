// What CSql takes from the program it serves (the configured login) and the helpers its
// administration members share.

#include <mutex>

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/runtime_error.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "util/EDiv.h"
#include "util/text.h"

namespace csql {

namespace {

std::mutex& fonteMutex() {
    static std::mutex m;
    return m;
}

FonteLoginConfigurado& fonteSlot() {
    static FonteLoginConfigurado fonte;
    return fonte;
}

}  // namespace

void setFonteLoginConfigurado(FonteLoginConfigurado fonte) {
    const std::lock_guard<std::mutex> lock(fonteMutex());
    fonteSlot() = std::move(fonte);
}

LoginConfigurado loginConfigurado() {
    FonteLoginConfigurado fonte;
    {
        const std::lock_guard<std::mutex> lock(fonteMutex());
        fonte = fonteSlot();
    }
    return fonte ? fonte() : LoginConfigurado{};
}

namespace interno {

// ADO's number for a failure it cannot name more precisely (E_FAIL).
constexpr long kErroNaoEspecificado = static_cast<long>(static_cast<std::int32_t>(0x80004005u));

Erro erroDe(const std::exception& e) {
    if (const auto* r = dynamic_cast<const platform::RuntimeError*>(&e)) return {r->number(), r->description()};
    return {kErroNaoEspecificado, QString::fromLocal8Bit(e.what())};
}

bool abreConfigurado(data::Connection& conn, const QString& dataBase, std::int32_t timeout, std::int32_t& errNum,
                     QString& errText) {
    const LoginConfigurado login = loginConfigurado();
    return gobjSql().CreateDbConnection(conn, login.gstrServer, dataBase, login.gstrUID, login.gstrPwd, timeout, errNum,
                                        errText);
}

data::Recordset executa(data::Connection& conn, const QString& text) { return conn.Execute(text, nullptr, -1); }

bool executaSemErros(data::Connection& conn, const QString& text) {
    try {
        conn.Execute(text, nullptr, -1);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void fechaSemErros(data::Connection& conn) {
    try {
        if (conn.State() == data::ado::adStateOpen) conn.Close();
    } catch (const std::exception&) {
    }
}

void fechaSemErros(data::Recordset& rs) {
    try {
        if (rs.State() == data::ado::adStateOpen) rs.Close();
    } catch (const std::exception&) {
    }
}

QString textoDe(const data::Variant& v) { return v.isNull() ? QString() : v.toString(); }

QString normaliza(const QString& name) { return util::trimBlanks(name).toLower(); }

PonteiroOcupado::PonteiroOcupado() { util::setScreenMousePointer(util::vbHourglass); }

PonteiroOcupado::~PonteiroOcupado() { restaura(); }

void PonteiroOcupado::restaura() {
    if (!ocupado_) return;
    ocupado_ = false;
    util::setScreenMousePointer(util::vbDefault);
}

}  // namespace interno

}  // namespace csql
