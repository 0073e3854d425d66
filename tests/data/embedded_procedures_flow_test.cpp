// Control of flow in stored procedures: loops, jumps, TRY ... CATCH, RAISERROR and THROW,
// cursors and table variables, as SQL Server runs them; and bodies refused when they are
// created, leaving the database as it was.
#include <gtest/gtest.h>

#include "data/embedded/server/admin.h"
#include "data/embedded/server/catalog.h"
#include "data/embedded/connection/core.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

class FlowServer : public Server {
public:
    FlowServer() {
        c = connect();
        for (const char* sql : {"create table itens (id int not null, nome varchar(10) null, qtd int null)",
                                "insert into itens values (1, 'pera', 5)", "insert into itens values (2, 'uva', 0)",
                                "insert into itens values (3, 'melao', 7)", "insert into itens values (4, NULL, 2)"}) {
            c->Execute(QString::fromUtf8(sql));
        }
    }
    // Every result set of a call, one text per row: its values joined by "|", Null as "~".
    QStringList rows(const QString& sql) {
        QStringList out;
        auto rs = c->Execute(sql);
        while (rs.State() == data::ado::adStateOpen) {
            while (!rs.EOF()) {
                QStringList v;
                for (long k = 0; k < rs.Fields().Count(); ++k) {
                    const data::Variant x = rs.Fields(k).Value();
                    v.push_back(x.isNull() ? QStringLiteral("~") : x.toString());
                }
                out.push_back(v.join(u'|'));
                rs.MoveNext();
            }
            rs = rs.NextRecordset();
        }
        return out;
    }
    std::unique_ptr<data::Connection> c;
};

struct RunCase {
    const char* name;
    const char* body;  // after CREATE PROCEDURE p AS
    const char* call;
    QStringList expected;  // rows of every result set, or the error's number and text
};

}  // namespace

TEST(EmbeddedProceduresFlow, BodiesGiveSqlServersRows) {
    const std::vector<RunCase> cases = {
        {"a cursor loop fills a table variable; TRY/CATCH keeps going past a bad row",
         "declare @t table (id int, nome varchar(4), obs varchar(60))\n"
         "declare @id int, @nome varchar(10)\n"
         "declare c cursor local fast_forward for select id, nome from itens where qtd > 0 order by id\n"
         "open c\n"
         "fetch next from c into @id, @nome\n"
         "while @@fetch_status = 0\nbegin\n"
         "  begin try\n"
         "    insert into @t (id, nome) values (@id, @nome)\n"
         "  end try\n"
         "  begin catch\n"
         "    insert into @t values (@id, null, cast(error_number() as varchar(10)) + ' ' + error_message())\n"
         "  end catch\n"
         "  fetch next from c into @id, @nome\n"
         "end\n"
         "select @@fetch_status as s\n"
         "close c\ndeallocate c\n"
         "select id, nome, obs from @t order by id",
         "exec p",
         {"-1", "1|pera|~", "3|~|8152 String or binary data would be truncated.", "4|~|~"}},
        {"WHILE with BREAK inside IF and CONTINUE",
         "declare @i int = 0, @s varchar(40) = ''\n"
         "while 1 = 1\nbegin\n  set @i = @i + 1\n  if @i = 3 continue\n  if @i > 5 break\n"
         "  set @s = @s + cast(@i as varchar(3)) + ','\nend\n"
         "select @s, @i",
         "exec p", {"1,2,4,5,|6"}},
        {"nested WHILE: BREAK leaves the inner loop only",
         "declare @a int = 0, @b int, @n int = 0\n"
         "while @a < 3 begin set @a = @a + 1 set @b = 0\n"
         "  while 1 = 1 begin set @b = @b + 1 if @b >= @a break set @n = @n + 1 end\nend\nselect @n",
         "exec p", {"3"}},
        {"GOTO backwards makes a loop and forwards skips",
         "declare @i int = 0\ninicio:\nset @i = @i + 1\nif @i < 4 goto inicio\ngoto fim\nselect 'nunca'\n"
         "fim: select @i as i",
         "exec p", {"4"}},
        {"RAISERROR formats its values as printf does",
         "begin try\n"
         "  raiserror('Item %s: %d un. [%5s|%-4d|%04d|%x|%X|%#x|%.2s|%+d|%%|%s]', 16, 3, 'pera', 5, 'ab', 7, 42, 255, 255, 255, "
         "'xyz', 9, null)\n"
         "end try\nbegin catch\n"
         "  select error_number(), error_message(), error_severity(), error_state()\nend catch",
         "exec p", {"50000|Item pera: 5 un. [   ab|7   |0042|ff|FF|0xff|xy|+9|%|(null)]|16|3"}},
        {"RAISERROR below severity 11 is a message: the body goes on",
         "raiserror('so um aviso', 10, 1)\nselect 'seguiu'", "exec p", {"seguiu"}},
        {"an error not caught reaches the caller",
         "raiserror('Falta o item %d', 16, 1, 9)\nselect 'nunca'", "exec p",
         {"50000", "Falta o item 9"}},
        {"THROW in CATCH raises the caught error again",
         "begin try insert into itens (id, nome) values (9, 'nome comprido') end try\n"
         "begin catch select 'apanhado'; throw end catch",
         "exec p", {"8152", "String or binary data would be truncated."}},
        {"THROW with its own number; nested TRY; outside CATCH the functions are Null",
         "begin try\n  begin try throw 50010, 'interno', 2 end try\n"
         "  begin catch throw 50011, 'externo', 4 end catch\nend try\n"
         "begin catch select error_number(), error_message(), error_state() end catch\n"
         "select error_number()",
         "exec p", {"50011|externo|4", "~"}},
        {"an error in a called procedure ends in the caller's CATCH",
         "begin try exec q 'x' end try begin catch select error_number(), @@error select @@error end catch",
         "exec p", {"50000|50000", "0"}},
        {"a missing table is not caught at its own level",
         "begin try select * from nada end try begin catch select 'apanhado' end catch", "exec p",
         {"208", "Invalid object name 'nada'."}},
        {"a STATIC cursor scrolls and does not see later writes; FETCH without INTO is a row set",
         "declare c cursor static for select id from itens order by id\nopen c\n"
         "delete from itens\n"
         "fetch last from c\nfetch prior from c\nfetch absolute 1 from c\nfetch relative 2 from c\n"
         "fetch absolute -1 from c\nfetch next from c\nselect @@fetch_status\nclose c\ndeallocate c",
         "exec p", {"4", "3", "1", "3", "4", "-1"}},
        {"a forward-only cursor refuses PRIOR", "declare c cursor for select id from itens\nopen c\nfetch prior from c",
         "exec p", {"16911", "fetch: The fetch type PRIOR cannot be used with forward only cursors."}},
        {"FETCH INTO with too few variables",
         "declare @a int\ndeclare c cursor for select id, nome from itens\nopen c\nfetch next from c into @a", "exec p",
         {"16924", "Cursorfetch: The number of variables declared in the INTO list must match that of selected columns."}},
        {"FETCH from a closed cursor", "declare c cursor for select id from itens\nfetch next from c", "exec p",
         {"16917", "Cursor is not open."}},
        {"a GLOBAL cursor declared by a called procedure is the caller's to read",
         "declare @id int\nexec r\nfetch next from g into @id\nclose g\ndeallocate g\nselect @id", "exec p", {"1"}},
        {"@@ROWCOUNT after a write and after a read",
         "declare @a int, @b int\nupdate itens set qtd = qtd + 1 where qtd > 0\nset @a = @@rowcount\n"
         "select @b = id from itens\nselect @a, @b, @@rowcount",
         "exec p", {"3|4|4"}},
    };
    for (const auto& k : cases) {
        FlowServer s;
        s.c->Execute(QStringLiteral("create procedure q @v varchar(5) as raiserror('vindo de q: %s', 16, 1, @v)"));
        s.c->Execute(QStringLiteral("create procedure r as declare g cursor global for select id from itens order by id "
                                    "open g"));
        const QString create = QStringLiteral("create procedure p as\n") + QString::fromUtf8(k.body);
        QString text;
        ASSERT_EQ(errorOf(*s.c, create, &text), 0) << k.name << ": " << text.toStdString();
        QStringList got;
        try {
            got = s.rows(QString::fromUtf8(k.call));
        } catch (const data::DbError& e) {
            got = {QString::number(e.number()), e.description()};
        }
        EXPECT_EQ(got.join(u'\n').toStdString(), k.expected.join(u'\n').toStdString()) << k.name;
    }
}

TEST(EmbeddedProceduresFlow, TableVariablesAndCursorsEndWithTheCall) {
    FlowServer s;
    using namespace data::embedded;
    const ServerFolder server(s.folder());
    auto core = std::make_shared<Core>(server, logIn(server, QStringLiteral("sa"), Server::password(), 5000), 15, 30);
    core->openDatabase(QStringLiteral("Velmora"), true);
    auto run = [&](const char* sql) {
        data::provider::Request r;
        r.text = QString::fromUtf8(sql);
        return errorNumber([&] { core->execute(r); });
    };
    auto tempTables = [&] {
        Statement q(core->db(), QStringLiteral("SELECT count(*) FROM temp.sqlite_master WHERE type = 'table'"), core->context());
        q.step();
        return q.int64(0);
    };
    ASSERT_EQ(run("create procedure t @falha int as\n"
                  "declare @t table (id int primary key, nome varchar(10))\n"
                  "declare c cursor for select id from itens\nopen c\n"
                  "insert into @t select id, nome from itens\n"
                  "if @falha = 1 raiserror('parou', 16, 1)\n"
                  "update @t set nome = 'x' where id = 2\ndelete from @t where id > 2\n"
                  "select count(*) from @t where nome = 'x'"),
              0);
    const auto before = tempTables();
    for (int round = 0; round < 2; ++round) {  // a LOCAL cursor left open does not outlive its call
        EXPECT_EQ(run("exec t 0"), 0);
        EXPECT_EQ(tempTables(), before);
        EXPECT_EQ(run("exec t 1"), 50000);
        EXPECT_EQ(tempTables(), before) << "dropped on the error's path too";
    }
    // Two levels declaring the same name each have their own table.
    ASSERT_EQ(run("create procedure dentro as declare @t table (v int) insert into @t values (2) select v from @t"), 0);
    ASSERT_EQ(run("create procedure fora as declare @t table (v int) insert into @t values (1) exec dentro "
                  "select v from @t"),
              0);
    data::provider::Request r;
    r.text = QStringLiteral("exec fora");
    const auto results = core->execute(r);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows.row(0)[0].toInt32(), 2);
    EXPECT_EQ(results[1].rows.row(0)[0].toInt32(), 1);
}

TEST(EmbeddedProceduresFlow, BodiesSqlServerRefusesAreNeverStored) {
    struct Refused {
        const char* body;
        long number;
        const char* text;  // nullptr: only the number is pinned
    };
    const std::vector<Refused> cases = {
        {"select from itens", 156, "Incorrect syntax near the keyword 'from'."},
        {"select 1\ngo\nselect 2", 102, "Incorrect syntax near 'go'."},
        {"select 1\r\n  GO  \r\n", 102, "Incorrect syntax near 'GO'."},
        {"insert into itens values (1", 102, "Incorrect syntax near '1'."},
        {"update itens set where id = 1", 156, "Incorrect syntax near the keyword 'where'."},
        {"if 1 = 1 select 1 else", 156, "Incorrect syntax near the keyword 'else'."},
        {"begin select 1", 102, nullptr},
        {"break", 135, "Cannot use a BREAK statement outside the scope of a WHILE statement."},
        {"if 1 = 1 continue", 136, "Cannot use a CONTINUE statement outside the scope of a WHILE statement."},
        {"goto fim", 133, "A GOTO statement references the label 'fim' but the label has not been declared."},
        {"fim: select 1\nfim: select 2", 132, nullptr},
        {"begin try select 1 end try", 102, nullptr},
        {"begin try select 1 end try begin catch select 2 end", 156, nullptr},
        {"throw", 10704, nullptr},
        {"raiserror('x', 16)", 102, "Incorrect syntax near ')'."},
        {"declare @a int, @t table (x int)", 156, "Incorrect syntax near the keyword 'table'."},
        {"use master", 154, "a USE database statement is not allowed in a procedure, function or trigger."},
        {"select 1\ncreate procedure q as select 2", 111, nullptr},
        {"declare c cursor for select id from itens for update", 50000, nullptr},
        {"declare c cursor keyset for select id from itens", 50000, nullptr},
        {"declare c cursor forward_only scroll for select id from itens", 1048, nullptr},
        {"declare @c cursor", 50000, nullptr},
        {"raiserror('x', 16, 1) with log", 50000, nullptr},
        {"begin try select 1 end try begin catch select error_line() end catch", 50000, nullptr},
        {"select @@trancount", 50000, nullptr},
        {"waitfor delay '00:00:01'", 50000, nullptr},
    };
    FlowServer s;
    ASSERT_EQ(errorOf(*s.c, QStringLiteral("create procedure p as select 'velho' as v")), 0);
    for (const auto& k : cases) {
        QString text;
        for (const char* verb : {"create procedure novo as\n", "alter procedure p as\n"}) {
            EXPECT_EQ(errorOf(*s.c, QString::fromUtf8(verb) + QString::fromUtf8(k.body), &text), k.number) << k.body;
            if (k.text) {
                EXPECT_EQ(text, QString::fromUtf8(k.text)) << k.body;
            }
        }
        EXPECT_EQ(errorOf(*s.c, QStringLiteral("exec novo")), 2812) << k.body;
        EXPECT_EQ(scalar(*s.c, QStringLiteral("exec p")).toString(), QStringLiteral("velho")) << k.body;
    }
    // Tables that do not exist yet are resolved when the body runs, as SQL Server defers them.
    EXPECT_EQ(errorOf(*s.c, QStringLiteral("create procedure depois as select x from ainda_nao join outra on 1 = 1")), 0);
    EXPECT_EQ(errorOf(*s.c, QStringLiteral("exec depois")), 208);
}
