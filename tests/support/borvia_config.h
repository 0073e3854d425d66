#pragma once
// Test data for the access rights and the toolkit's user list: the shared configuration
// database BorviaConfig on an embedded server, with its companies (empresas), access rights
// (acessos), user management (UserManagement) and the three procedures the access-right
// members call, declared with SQL Server type names and created with Create Procedure.
//
//   BorviaConfig cfg(server);
//   cfg.addEmpresa({.codigo = "0001", .principal = true});
//   cfg.addAcesso({.utilizador = "ANA", .chave = "appfrmMainbtnOk", .value = 0, .empresa = "0001"});
//
// Rows left Empty are stored as NULL. The procedures:
//   GetAcessoPrincipal @Empresa varchar(4) output      the code of the company marked principal
//   GetAcessoIndependente @Empresa varchar(4)          returns 1 for a company marked independent
//   VerSeExisteCopiaAcessosBase @Chave varchar(100) output, @Utilizador varchar(20),
//       @Empresa varchar(4), @Form varchar(50) output  @Form: the row's form ('' for NULL), or
//                                                      NULL when the user has no row for the key

#include <QString>
#include <vector>

#include "data/variant.h"
#include "support/embedded_server.h"

namespace testsupport {

struct EmpresaConfig {
    QString codigo{};
    data::Variant nome{};
    bool principal = false;
    bool independente = false;
};

struct AcessoConfig {
    data::Variant utilizador{};
    data::Variant chave{};
    data::Variant value = std::int32_t{1};
    data::Variant chave1{};
    data::Variant form{};
    data::Variant ctrl{};
    data::Variant caption{};
    data::Variant ctrlcap{};
    data::Variant empresa{};
};

class BorviaConfig {
public:
    // Creates the database and its tables; the procedures too unless told otherwise.
    explicit BorviaConfig(const TempEmbeddedServer& server, bool comProcedimentos = true);

    void addEmpresa(const EmpresaConfig& e) const;
    void addAcesso(const AcessoConfig& a) const;
    void addUserManagement(const QString& loginName, const data::Variant& allDatabases) const;

    // The rows of acessos that the condition selects (all without one), ordered by user,
    // company and key; the values as stored.
    std::vector<AcessoConfig> acessos(const QString& where = QString()) const;

    // The creation statements of the three procedures, as a script with "GO" lines between them.
    static QString scriptProcedimentos();
    // The same statements one by one.
    static std::vector<QString> procedimentos();

    const TempEmbeddedServer& server() const { return server_; }

private:
    const TempEmbeddedServer& server_;
};

// A value as a T-SQL literal: Empty and Null give NULL, texts are quoted with their apostrophes
// doubled, numbers with ".".
QString literalConfig(const data::Variant& v);

}  // namespace testsupport
