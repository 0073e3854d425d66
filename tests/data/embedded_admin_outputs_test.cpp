// Output parameters and the return value of a stored procedure come back into the command's
// parameters, as the access-right checks read them.
#include <gtest/gtest.h>

#include "data/adoconstants.h"
#include "data/command.h"
#include "data/connection.h"
#include "embedded_test_helpers.h"

TEST(EmbeddedProcedureOutputs, OutputParametersAndReturnValueReachTheCommand) {
    embeddedtest::Server server;
    auto c = server.connect();
    data::Connection& conn = *c;
    conn.Execute(QStringLiteral(
        "Create Procedure Dobro @Valor int, @Resultado int output AS\n"
        "BEGIN\n"
        "  SET @Resultado = @Valor * 2\n"
        "  RETURN 7\n"
        "END"));
    data::Command cmd;
    cmd.setActiveConnection(&conn);
    cmd.setCommandText(QStringLiteral("Dobro"));
    cmd.setCommandType(data::ado::adCmdStoredProc);
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("RETURN_VALUE"), data::ado::adInteger,
                                                data::ado::adParamReturnValue, 0, data::Variant()));
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("@Valor"), data::ado::adInteger,
                                                data::ado::adParamInput, 0, data::Variant(21)));
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("@Resultado"), data::ado::adInteger,
                                                data::ado::adParamOutput, 0, data::Variant()));
    cmd.Execute();
    EXPECT_EQ(cmd.Parameters().Item(QStringLiteral("@Resultado")).Value().toInt32(), 42);
    EXPECT_EQ(cmd.Parameters().Item(0L).Value().toInt32(), 7);
}
