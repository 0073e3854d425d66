#pragma once
// Helpers shared by CSql's administration members (not part of the toolkit's interface).

#include <QString>
#include <cstdint>
#include <exception>

#include "data/variant.h"

namespace data {
class Connection;
class Recordset;
}  // namespace data

namespace csql::interno {

// The number and text of a failure, as the members show or hand them back.
struct Erro {
    long numero = 0;
    QString descricao;
};
Erro erroDe(const std::exception& e);

// Opens conn on the database with the configured login. errNum/errText receive a failure.
bool abreConfigurado(data::Connection& conn, const QString& dataBase, std::int32_t timeout, std::int32_t& errNum,
                     QString& errText);

// Statements run on the connection with the options left to the provider.
data::Recordset executa(data::Connection& conn, const QString& text);
// The same, with a failure passed over (the members that ignore errors statement by statement).
bool executaSemErros(data::Connection& conn, const QString& text);

void fechaSemErros(data::Connection& conn);
void fechaSemErros(data::Recordset& rs);

// A field's value as the system's concatenations read it: Null gives "".
QString textoDe(const data::Variant& v);
// Names compared without case and blanks around.
QString normaliza(const QString& name);

// The busy pointer from construction until restaura() (or the end of the scope).
class PonteiroOcupado {
public:
    PonteiroOcupado();
    ~PonteiroOcupado();
    PonteiroOcupado(const PonteiroOcupado&) = delete;
    PonteiroOcupado& operator=(const PonteiroOcupado&) = delete;
    void restaura();

private:
    bool ocupado_ = true;
};

// Time-outs of the administration members' own connections.
inline constexpr std::int32_t kTimeout120 = 120;
inline constexpr std::int32_t kSemLimite = 0;

}  // namespace csql::interno
