// Stored procedures: creating, listing, dropping and running them, as text and as commands
// with typed parameters, with the three procedures of the configuration database.
#include <gtest/gtest.h>

#include "data/adoconstants.h"
#include "data/embedded/server/admin.h"
#include "data/embedded/server/catalog.h"
#include "data/embedded/connection/core.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

const char* const kPrincipal = R"(CREATE PROCEDURE GetAcessoPrincipal
    @Empresa varchar(4) OUTPUT
AS
    SET NOCOUNT ON
    SET @Empresa = NULL
    SELECT TOP 1 @Empresa = codigo FROM empresas WHERE principal = 1 ORDER BY codigo
    RETURN 0)";

const char* const kIndependente = R"(create procedure dbo.GetAcessoIndependente @Empresa varchar(4)
as
if exists (select * from empresas where codigo = @Empresa and independente = 1)
    return 1
return 0)";

const char* const kCopia = R"(CREATE PROCEDURE VerSeExisteCopiaAcessosBase
    @Chave varchar(100) OUTPUT,
    @Utilizador varchar(20),
    @Empresa varchar(4),
    @Form varchar(50) OUTPUT
AS
BEGIN
    DECLARE @Existe int
    SET @Form = NULL
    SELECT @Existe = count(*) FROM acessos WHERE chave = @Chave AND utilizador = @Utilizador AND empresa = @Empresa
    IF @Existe > 0
    BEGIN
        -- the row exists: its form, never Null
        SELECT @Form = isnull(form, '') FROM acessos WHERE chave = @Chave AND utilizador = @Utilizador AND empresa = @Empresa;
    END
    ELSE
        SET @Form = NULL
    RETURN 0
END)";

class ConfigServer : public Server {
public:
    ConfigServer() : Server(QStringLiteral("BorviaConfig")) {
        auto c = connect(QStringLiteral("BorviaConfig"));
        for (const char* sql :
             {"create table empresas (codigo varchar(4) not null, nome varchar(60) null, principal int null, independente int null)",
              "create table acessos (utilizador varchar(20), chave varchar(100), value int, chave1 varchar(100), form varchar(50), "
              "ctrl varchar(50), caption varchar(100), ctrlcap varchar(100), empresa varchar(4))",
              "create table UserManagement (LoginName varchar(128), AllDatabases int)",
              "insert into empresas values ('E1', 'Principal', 1, 0)", "insert into empresas values ('E2', 'Filial', 0, 0)",
              "insert into empresas values ('E3', 'Outra', 0, 1)",
              "insert into acessos values ('ANA', 'VelmoraFrmA', 1, 'VelmoraFrmA', 'frmA', 'cmdOk', 'Janela', 'OK', 'E1')",
              "insert into acessos values ('ANA', 'VelmoraFrmB', 0, 'VelmoraFrmB', NULL, 'cmdOk', 'Janela', 'OK', 'E1')",
              kPrincipal, kIndependente, kCopia}) {
            c->Execute(QString::fromUtf8(sql));
        }
    }
};

// A stored-procedure call on the engine itself, to read its output parameters.
struct Call {
    explicit Call(const Server& s) {
        using namespace data::embedded;
        const ServerFolder server(s.folder());
        core = std::make_shared<Core>(server, logIn(server, QStringLiteral("sa"), Server::password(), 5000), 15, 30);
        core->openDatabase(QStringLiteral("BorviaConfig"), true);
    }
    std::vector<data::provider::Result> run(const QString& procedure, std::vector<data::provider::Parameter> parameters) {
        data::provider::Request r;
        r.text = procedure;
        r.commandType = data::ado::adCmdStoredProc;
        r.parameters = std::move(parameters);
        return core->execute(r);
    }
    data::Variant output(const QString& name) const {
        for (const auto& p : core->admin().lastOutputs) {
            if (p.name.compare(name, Qt::CaseInsensitive) == 0) return p.value;
        }
        return data::Variant();
    }
    std::shared_ptr<data::embedded::Core> core;
};

data::provider::Parameter param(const char* name, int type, int direction, long size, const data::Variant& v = data::Variant()) {
    return data::provider::Parameter{QString::fromLatin1(name), type, direction, size, v};
}

}  // namespace

TEST(EmbeddedAdminProcedures, TheConfigurationProceduresAnswerThroughTheirParameters) {
    ConfigServer s;
    Call call(s);
    using namespace data::ado;
    const auto ret = param("@RETURN_VALUE", adInteger, adParamReturnValue, 0);

    call.run(QStringLiteral("GetAcessoPrincipal"), {ret, param("@Empresa", adVarChar, adParamOutput, 4)});
    EXPECT_EQ(call.output(QStringLiteral("@Empresa")).toString(), QStringLiteral("E1"));
    EXPECT_EQ(call.output(QStringLiteral("@RETURN_VALUE")).toInt32(), 0);
    {
        auto c = s.connect(QStringLiteral("BorviaConfig"));
        c->Execute(QStringLiteral("update empresas set principal = 0"));
    }
    call.run(QStringLiteral("GetAcessoPrincipal"), {ret, param("@Empresa", adVarChar, adParamOutput, 4)});
    EXPECT_TRUE(call.output(QStringLiteral("@Empresa")).isNull());

    for (const auto& [empresa, expected] : {std::pair{"E3", 1}, std::pair{"e3 ", 1}, std::pair{"E2", 0}, std::pair{"", 0}}) {
        call.run(QStringLiteral("GetAcessoIndependente"),
                 {ret, param("@Empresa", adVarChar, adParamInput, 4, QString::fromLatin1(empresa))});
        EXPECT_EQ(call.output(QStringLiteral("@RETURN_VALUE")).toInt32(), expected) << empresa;
    }

    auto copia = [&](const char* chave, const char* user, const char* empresa) {
        call.run(QStringLiteral("VerSeExisteCopiaAcessosBase"),
                 {ret, param("@Chave", adVarChar, adParamInputOutput, 100, QString::fromLatin1(chave)),
                  param("@Utilizador", adVarChar, adParamInput, 20, QString::fromLatin1(user)),
                  param("@Empresa", adVarChar, adParamInput, 4, QString::fromLatin1(empresa)),
                  param("@Form", adVarChar, adParamOutput, 50)});
        EXPECT_EQ(call.output(QStringLiteral("@Chave")).toString(), QString::fromLatin1(chave));
        return call.output(QStringLiteral("@Form"));
    };
    EXPECT_EQ(copia("VelmoraFrmA", "ANA", "E1").toString(), QStringLiteral("frmA"));
    EXPECT_EQ(copia("VelmoraFrmB", "ana", "E1").toString(), QString());  // a row without form: not Null
    EXPECT_FALSE(copia("VelmoraFrmB", "ana", "E1").isNull());
    EXPECT_TRUE(copia("VelmoraFrmC", "ANA", "E1").isNull());
    EXPECT_TRUE(copia("VelmoraFrmA", "ANA", "E2").isNull());

    // The same calls through a command of the access layer run and give their result sets.
    auto c = s.connect(QStringLiteral("BorviaConfig"));
    data::Command cmd;
    cmd.setActiveConnection(c.get());
    cmd.setCommandText(QStringLiteral("GetAcessoIndependente"));
    cmd.setCommandType(adCmdStoredProc);
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("@RETURN_VALUE"), adInteger, adParamReturnValue));
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("@Empresa"), adVarChar, adParamInput, 4, QStringLiteral("E3")));
    EXPECT_NO_THROW(cmd.Execute());
}

TEST(EmbeddedAdminProcedures, CreateListDropAsTheScriptMemberDoes) {
    ConfigServer s;
    auto c = s.connect(QStringLiteral("BorviaConfig"));
    QStringList names;
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("sp_stored_procedures"), *c);
        while (!rs.EOF()) {
            names.push_back(rs.Fields(QStringLiteral("Procedure_Name")).Value().toString());
            EXPECT_EQ(rs.Fields(QStringLiteral("PROCEDURE_OWNER")).Value().toString(), QStringLiteral("dbo"));
            rs.MoveNext();
        }
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("GetAcessoIndependente;1"), QStringLiteral("GetAcessoPrincipal;1"),
                                  QStringLiteral("VerSeExisteCopiaAcessosBase;1")}));
    for (const QString& n : names) EXPECT_EQ(errorOf(*c, QStringLiteral("Drop Procedure [") + n.chopped(2) + u']'), 0);
    EXPECT_FALSE(hasRows(*c, QStringLiteral("sp_stored_procedures")));
    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral("Drop Procedure [GetAcessoPrincipal]"), &text), 3701);
    EXPECT_EQ(text, QStringLiteral("Cannot drop the procedure 'GetAcessoPrincipal', because it does not exist or you do not have "
                                   "permission."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec GetAcessoPrincipal")), 2812);

    // The part of a script from its creation word, semicolons and all.
    EXPECT_EQ(errorOf(*c, QStringLiteral("CREATE PROCEDURE Lista @Emp varchar(4) = 'E1' AS\r\n"
                                         "SELECT codigo, nome FROM empresas WHERE codigo = @Emp;\r\n"
                                         "SELECT count(*) AS n FROM acessos;\r\n")),
              0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure lista as select 1"), &text), 2714);
    EXPECT_EQ(text, QStringLiteral("There is already an object named 'lista' in the database."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure empresas as select 1")), 2714);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mau as select codigo from empresas where"), &text), 156);
    EXPECT_EQ(text, QStringLiteral("Incorrect syntax near the keyword 'where'."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mau2 as begin select 1")), 102);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mau3 @a as select 1")), 102);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mau4 as waitfor delay '00:00:01'")), 50000);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mau5 @a nonsense as select 1")), 2715);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mau6 as\nGO\nselect 1")), 102);
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Mau2")), 2812);

    // Two result sets, by default and by name.
    auto rs = c->Execute(QStringLiteral("exec Lista"));
    EXPECT_EQ(rs.Fields(QStringLiteral("nome")).Value().toString(), QStringLiteral("Principal"));
    rs = rs.NextRecordset();
    EXPECT_EQ(rs.Fields(QStringLiteral("n")).Value().toInt32(), 2);
    rs = c->Execute(QStringLiteral("exec Lista @Emp = 'E2'"));
    EXPECT_FALSE(rs.EOF());
    rs = c->Execute(QStringLiteral("exec Lista @Emp = 'E2 '"));
    EXPECT_EQ(rs.Fields(QStringLiteral("nome")).Value().toString(), QStringLiteral("Filial"));
    // A command of type 4 with a typed parameter.
    data::Command cmd;
    cmd.setActiveConnection(c.get());
    cmd.setCommandText(QStringLiteral("Lista"));
    cmd.setCommandType(data::ado::adCmdStoredProc);
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("@Emp"), data::ado::adVarChar, data::ado::adParamInput, 4,
                                                QStringLiteral("E3")));
    rs = cmd.Execute();
    EXPECT_EQ(rs.Fields(QStringLiteral("nome")).Value().toString(), QStringLiteral("Outra"));

    // ALTER replaces the body; a login without rights changes nothing.
    EXPECT_EQ(errorOf(*c, QStringLiteral("alter procedure Lista as select 'nova' as v")), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("exec Lista")).toString(), QStringLiteral("nova"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("alter procedure Nada as select 1")), 208);
    c->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    c->Execute(QStringLiteral("sp_grantdbaccess 'ana'"));
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("BorviaConfig"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("create procedure Dela as select 1"), &text), 262);
    EXPECT_EQ(text, QStringLiteral("CREATE PROCEDURE permission denied in database 'BorviaConfig'."));
    EXPECT_EQ(errorOf(ana, QStringLiteral("Drop Procedure [Lista]")), 3701);
    // Running it takes the right to: a user without roles has it once granted.
    EXPECT_EQ(errorOf(ana, QStringLiteral("exec Lista")), 229);
    c->Execute(QStringLiteral("GRANT EXECUTE ON Lista TO ana"));
    EXPECT_EQ(scalar(ana, QStringLiteral("exec Lista")).toString(), QStringLiteral("nova"));
}

TEST(EmbeddedAdminProcedures, TheInterpreterSubset) {
    ConfigServer s;
    auto c = s.connect(QStringLiteral("BorviaConfig"));
    auto first = [&](const QString& sql) { return scalar(*c, sql); };
    QString text;

    // Arguments: missing, too many, unknown names, defaults.
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec GetAcessoIndependente"), &text), 201);
    EXPECT_EQ(text, QStringLiteral("Procedure or function 'GetAcessoIndependente' expects parameter '@Empresa', which was not "
                                   "supplied."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec GetAcessoIndependente 'E1', 'x'")), 8144);
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec GetAcessoIndependente @Nada = 'E1'"), &text), 8145);
    EXPECT_EQ(text, QStringLiteral("@Nada is not a parameter for procedure GetAcessoIndependente."));

    // Variables: declared types hold, "+" joins texts, the last row assigns, no row keeps the value.
    c->Execute(QStringLiteral("create procedure Vars @n int = 2 as\n"
                              "declare @s varchar(3), @t varchar(20) = 'x', @k int\n"
                              "set @s = 'abcdef'\n"
                              "set @t = @s + '-' + @t\n"
                              "select @k = value from acessos order by value desc\n"
                              "select @k = 99 from acessos where 1 = 0\n"
                              "select @s as s, @t as t, @k + @n as k"));
    auto rs = c->Execute(QStringLiteral("exec Vars"));
    EXPECT_EQ(rs.Fields(QStringLiteral("s")).Value().toString(), QStringLiteral("abc"));
    EXPECT_EQ(rs.Fields(QStringLiteral("t")).Value().toString(), QStringLiteral("abc-x"));
    EXPECT_EQ(rs.Fields(QStringLiteral("k")).Value().toInt32(), 2);
    EXPECT_EQ(c->Execute(QStringLiteral("exec Vars 40")).Fields(QStringLiteral("k")).Value().toInt32(), 40);

    // IF / ELSE / BEGIN ... END, RETURN ending the body, writes with variables.
    c->Execute(QStringLiteral("create procedure Marca @u varchar(20), @v int as\n"
                              "if not exists (select * from acessos where utilizador = @u)\n"
                              "begin\n  select 'nenhum' as r\n  return 5\nend\n"
                              "else if @v is null\n  return 6\n"
                              "update acessos set value = @v where utilizador = @u\n"
                              "select count(*) as r from acessos where value = @v"));
    EXPECT_EQ(c->Execute(QStringLiteral("exec Marca 'nobody', 1")).Fields(0L).Value().toString(), QStringLiteral("nenhum"));
    EXPECT_EQ(c->Execute(QStringLiteral("exec Marca 'ana', 7")).Fields(0L).Value().toInt32(), 2);
    EXPECT_EQ(first(QStringLiteral("select count(*) from acessos where value = 7")).toInt32(), 2);
    EXPECT_EQ(c->Execute(QStringLiteral("exec Marca 'ana', NULL")).State(), data::ado::adStateClosed);
    // The declared widths of the table still refuse what does not fit.
    c->Execute(QStringLiteral("create procedure Grava @e varchar(10) as insert into empresas (codigo) values (@e)"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Grava 'E4'")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Grava 'E12345'")), 8152);

    // Nested calls with OUTPUT arguments and return status; the nesting limit.
    c->Execute(QStringLiteral("update empresas set principal = case when codigo = 'E2' then 1 else 0 end"));
    c->Execute(QStringLiteral("create procedure Fora as\n"
                              "declare @e varchar(4), @r int\n"
                              "exec GetAcessoPrincipal @e output\n"
                              "exec @r = GetAcessoIndependente @Empresa = 'E3'\n"
                              "select @e as e, @r as r"));
    rs = c->Execute(QStringLiteral("exec Fora"));
    EXPECT_EQ(rs.Fields(QStringLiteral("e")).Value().toString(), QStringLiteral("E2"));
    EXPECT_EQ(rs.Fields(QStringLiteral("r")).Value().toInt32(), 1);
    c->Execute(QStringLiteral("create procedure Sem as exec Sem"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Sem"), &text), 217);
    // A system procedure from a body.
    c->Execute(QStringLiteral("create procedure Tabelas as exec sp_tables @table_name = 'acessos'"));
    EXPECT_EQ(c->Execute(QStringLiteral("exec Tabelas")).Fields(QStringLiteral("TABLE_NAME")).Value().toString(),
              QStringLiteral("acessos"));

    // Run-time refusals.
    c->Execute(QStringLiteral("create procedure Falta as select @x"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Falta"), &text), 137);
    EXPECT_EQ(text, QStringLiteral("Must declare the scalar variable \"@x\"."));
    c->Execute(QStringLiteral("create procedure Duas as declare @a int declare @a int"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Duas")), 134);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create procedure Mistura as declare @a int select @a = 1, codigo from empresas")), 141);
    c->Execute(QStringLiteral("create procedure Texto as return 'x'"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("exec Texto")), 245);
    c->Execute(QStringLiteral("create procedure Long @s varchar(8000) as select len(@s) as n"));
    EXPECT_EQ(c->Execute(QStringLiteral("exec Long '") + QString(32767, u'a') + u'\'').Fields(0L).Value().toInt32(), 8000);
}
