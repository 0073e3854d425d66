#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "data/connection.h"

// A server name that is not "embedded:" goes to SQL Server over ODBC. Nothing listens on a port
// that was just freed, so the opening fails within its time-out with a number and a text, and
// neither the password nor the connection string carries it.
TEST(ProviderChoice, OtherServerNamesGoToSqlServerAndFailCleanly) {
    int port = 0;
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        port = ntohs(addr.sin_port);
        ::close(fd);
    }
    data::Connection conn;
    conn.setConnectionTimeout(3);
    const QString cs = QStringLiteral(
                           "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
                           "Data Source=127.0.0.1,%1")
                           .arg(port);
    try {
        conn.Open(cs, QString(), QStringLiteral("Segredo#123"));
        FAIL() << "nothing listens there";
    } catch (const data::DbError& e) {
        EXPECT_NE(e.number(), 0);
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_FALSE(e.description().contains(QStringLiteral("Segredo#123")));
    }
    EXPECT_EQ(conn.State(), 0);
    EXPECT_FALSE(conn.ConnectionString().contains(QStringLiteral("Segredo#123")));
}
