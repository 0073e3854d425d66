// The engine against SQL Server's answers: every case of tests/data/conformance/engine.sqlcases
// run on three kinds of database (tables made through the engine without indexes; the same with
// the engine's indexes on every column; a company file written by plain SQLite with binary
// indexes and ANALYZE statistics), each with SQLite's planner optimisations as the engine leaves
// them and with all of them off. Whatever plan SQLite picks, the rows must be SQL Server's.
// Then a seeded random differential run of small queries over the same six ways.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <random>

#include "data/embedded/server/catalog.h"
#include "data/embedded/connection/core.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

struct Case {
    QString name;
    int line = 0;
    QStringList creates;                     // T-SQL CREATE TABLE texts
    std::vector<std::pair<QString, QString>> rows;  // table, literal list
    QString sql;
    bool fold = false;
    bool differs = false;  // a known difference from SQL Server: every way must still agree
    bool expectError = false;
    long error = 0;
    QStringList expected;  // one text per row, values as the case writes them
};

// Splits a literal list (or a row of expected values) at its top-level commas.
QStringList splitValues(const QString& s) {
    QStringList out;
    QString cur;
    bool quoted = false;
    int depth = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u'(') ++depth;
        if (!quoted && c == u')') --depth;
        if (!quoted && depth == 0 && c == u',') {
            out << cur.trimmed();
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.trimmed().isEmpty() || !out.isEmpty()) out << cur.trimmed();
    return out;
}

QString normalText(QString t, bool fold) {
    if (!fold) return t;
    while (t.endsWith(u' ')) t.chop(1);
    return t.toUpper();
}

QString quote(const QString& t) { return u'\'' + QString(t).replace(u'\'', QStringLiteral("''")) + u'\''; }

QString numberText(double d) {
    if (d == static_cast<double>(static_cast<long long>(d)) && std::abs(d) < 1e15)
        return QString::number(static_cast<long long>(d));
    return QString::number(d, 'g', 15);
}

// A value written in the file ('text', a number, NULL) in the form that got values take.
QString expectedValue(const QString& v, bool fold) {
    if (v.compare(QStringLiteral("NULL"), Qt::CaseInsensitive) == 0) return QStringLiteral("NULL");
    if (v.startsWith(u'\'')) return quote(normalText(v.mid(1, v.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'")), fold));
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? numberText(d) : QStringLiteral("?") + v;
}

QString gotValue(const data::Variant& v, bool fold) {
    using T = data::Variant::Type;
    if (v.isNull() || v.isEmpty()) return QStringLiteral("NULL");
    if (v.isString()) return quote(normalText(v.toString(), fold));
    if (v.isDate()) return quote(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
    if (v.type() == T::Boolean) return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (v.type() == T::Bytes) return QStringLiteral("0x") + QString::fromLatin1(v.toBytes().toHex());
    return numberText(v.toDouble());
}

QString rowText(const QStringList& values) { return values.join(QStringLiteral(", ")); }

// Whether the statement orders its rows: an ORDER BY outside any parentheses.
bool ordered(const QString& sql) {
    int depth = 0;
    bool quoted = false;
    QString flat;
    for (const QChar c : sql) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u'(') ++depth;
        if (!quoted && c == u')') --depth;
        flat += (depth == 0 && !quoted) ? c.toLower() : u'_';
    }
    return flat.contains(QRegularExpression(QStringLiteral("\\border\\s+by\\b")));
}

std::vector<Case> readCases(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) throw std::runtime_error("cannot read " + path.toStdString());
    std::vector<Case> cases;
    std::map<QString, Case> fixtures;
    Case* cur = nullptr;
    Case fixture;
    int n = 0;
    const auto fail = [&](const QString& why) {
        throw std::runtime_error(QStringLiteral("%1:%2: %3").arg(path).arg(n).arg(why).toStdString());
    };
    for (const QByteArray& raw : f.readAll().split('\n')) {
        ++n;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype sp = line.indexOf(u' ');
        const QString word = (sp < 0 ? line : line.left(sp)).toLower();
        const QString rest = sp < 0 ? QString() : line.mid(sp + 1).trimmed();
        if (word == QStringLiteral("fixture")) {
            fixtures[rest.toLower()] = Case{};
            cur = &fixtures[rest.toLower()];
            cur->name = rest;
        } else if (word == QStringLiteral("case")) {
            cases.push_back(Case{});
            cur = &cases.back();
            cur->name = rest;
            cur->line = n;
        } else if (!cur) {
            fail(QStringLiteral("a line outside any case"));
        } else if (word == QStringLiteral("use")) {
            const auto it = fixtures.find(rest.toLower());
            if (it == fixtures.end()) fail(QStringLiteral("unknown fixture ") + rest);
            cur->creates << it->second.creates;
            cur->rows.insert(cur->rows.end(), it->second.rows.begin(), it->second.rows.end());
        } else if (word == QStringLiteral("create")) {
            cur->creates << line;
        } else if (word == QStringLiteral("row")) {
            const qsizetype colon = rest.indexOf(u':');
            if (colon < 0) fail(QStringLiteral("row without 'table:'"));
            // "row t*40: ..." writes the same row forty times: tables big enough for SQLite to
            // consider automatic indexes and Bloom filters.
            const QStringList target = rest.left(colon).split(u'*');
            const int times = target.size() > 1 ? target[1].trimmed().toInt() : 1;
            for (int i = 0; i < times; ++i) cur->rows.emplace_back(target[0].trimmed(), rest.mid(colon + 1).trimmed());
        } else if (word == QStringLiteral("sql")) {
            cur->sql = rest;
        } else if (word == QStringLiteral("fold")) {
            cur->fold = true;
        } else if (word == QStringLiteral("differs")) {
            cur->differs = true;
        } else if (word == QStringLiteral("error")) {
            cur->expectError = true;
            cur->error = rest.toLong();
        } else if (word == QStringLiteral("expect")) {
            if (rest.compare(QStringLiteral("none"), Qt::CaseInsensitive) == 0) continue;
            QStringList values;
            for (const QString& v : splitValues(rest)) values << v;
            cur->expected << rowText(values);
        } else {
            fail(QStringLiteral("unknown line: ") + line);
        }
    }
    return cases;
}

// The columns of a CREATE TABLE text: name and lower-case type.
struct TableShape {
    QString name;
    std::vector<std::pair<QString, QString>> columns;
};

TableShape shapeOf(const QString& create) {
    static const QRegularExpression head(QStringLiteral("^create\\s+table\\s+(\\w+)\\s*\\((.*)\\)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(create);
    if (!m.hasMatch()) throw std::runtime_error("cannot read " + create.toStdString());
    TableShape t{m.captured(1), {}};
    for (const QString& col : splitValues(m.captured(2))) {
        const qsizetype sp = col.indexOf(u' ');
        t.columns.emplace_back(col.left(sp), col.mid(sp + 1).trimmed().toLower());
    }
    return t;
}

// A literal as SQL Server would have stored it, written by a plain SQLite tool: datetime as
// "yyyy-mm-dd hh:mm:ss.fff", char(n) padded to its width.
QString storedLiteral(const QString& literal, const QString& type) {
    if (!literal.startsWith(u'\'')) return literal;
    QString text = literal.mid(1, literal.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    if (type.startsWith(QStringLiteral("datetime")) || type.startsWith(QStringLiteral("smalldatetime"))) {
        if (text.size() == 10) text += QStringLiteral(" 00:00:00");
        if (text.size() == 16) text += QStringLiteral(":00");
        if (text.size() == 19) text += QStringLiteral(".000");
    }
    static const QRegularExpression charType(QStringLiteral("^char\\s*\\((\\d+)\\)"));
    const auto m = charType.match(type);
    if (m.hasMatch()) text = text.leftJustified(m.captured(1).toInt(), u' ');
    return quote(text);
}

enum class Way { Plain, Indexed, CompanyFile };
const char* wayName(Way w) { return w == Way::Plain ? "a" : w == Way::Indexed ? "b" : "c"; }

struct Tables {
    QStringList creates;
    std::vector<std::pair<QString, QString>> rows;
    QString owner;  // a case whose statement may write has its databases to itself
    QString key() const {
        QString k = owner + u'\n' + creates.join(u'\n');
        for (const auto& [t, r] : rows) k += u'\n' + t + u':' + r;
        return k;
    }
};

// One embedded server holding a database per setup and way, and the engine's connections that
// answer the statements: one with SQLite's optimisations as the engine sets them, one with all
// of them off.
class Ways {
public:
    Ways() : server_(QString()), master_(server_.connect(QStringLiteral("master"))) {
        using namespace data::embedded;
        const ServerFolder folder(server_.folder());
        for (auto& core : cores_) core = std::make_shared<Core>(folder, logIn(folder, QStringLiteral("sa"), Server::password(), 5000), 15, 0);
    }

    // The database of a setup made the given way (made on first use).
    QString database(const Tables& s, Way way) {
        const QString key = QString::fromLatin1(wayName(way)) + s.key();
        const auto it = made_.find(key);
        if (it != made_.end()) return it->second;
        const QString name = QStringLiteral("C%1").arg(made_.size());
        master_->Execute(QStringLiteral("Create Database ") + name);
        std::vector<TableShape> shapes;
        for (const QString& c : s.creates) shapes.push_back(shapeOf(c));
        QStringList indexes;
        for (const TableShape& t : shapes) {
            for (const auto& [col, type] : t.columns)
                indexes << QStringLiteral("create index ix_%1_%2 on %1 (%2)").arg(t.name, col);
        }
        if (way == Way::CompanyFile) {
            QString sql = QStringLiteral("BEGIN;");
            for (const QString& c : s.creates) sql += c + u';';
            for (const auto& [table, row] : s.rows) {
                const TableShape* shape = nullptr;
                for (const TableShape& t : shapes) {
                    if (t.name.compare(table, Qt::CaseInsensitive) == 0) shape = &t;
                }
                if (!shape) throw std::runtime_error("no table " + table.toStdString());
                QStringList values = splitValues(row);
                for (qsizetype i = 0; i < values.size() && i < qsizetype(shape->columns.size()); ++i)
                    values[i] = storedLiteral(values[i], shape->columns[size_t(i)].second);
                sql += QStringLiteral("insert into %1 values (%2);").arg(table, values.join(QStringLiteral(", ")));
            }
            sql += indexes.join(u';') + QStringLiteral(";ANALYZE;COMMIT;");
            rawExec(server_.file(name), sql);
        } else {
            auto c = server_.connect(name);
            for (const QString& create : s.creates) c->Execute(create);
            c->BeginTrans();
            for (const auto& [table, row] : s.rows) c->Execute(QStringLiteral("insert into %1 values (%2)").arg(table, row));
            c->CommitTrans();
            if (way == Way::Indexed) {
                for (const QString& ix : indexes) c->Execute(ix);
            }
        }
        made_[key] = name;
        return name;
    }

    struct Answer {
        long error = 0;
        QString message;
        std::vector<data::provider::Row> rows;
    };

    // Runs a statement on a database through the engine; optimised false: with every planner
    // optimisation of SQLite off.
    Answer run(const QString& database, bool optimised, const QString& sql) {
        auto& core = cores_[optimised ? 0 : 1];
        Answer a;
        try {
            if (open_[optimised ? 0 : 1] != database) {
                core->openDatabase(database, true);
                open_[optimised ? 0 : 1] = database;
                if (!optimised) sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, core->db(), 0xffffffff);
            }
            data::provider::Request r;
            r.text = sql;
            const auto results = core->execute(r);
            for (const auto& res : results) {
                if (!res.hasRows) continue;
                for (size_t i = 0; i < res.rows.size(); ++i) a.rows.push_back(res.rows.row(i));
                break;
            }
        } catch (const platform::RuntimeError& e) {
            a.error = e.number();
            a.message = e.description();
        } catch (const std::exception& e) {
            a.error = -1;
            a.message = QString::fromUtf8(e.what());
        }
        return a;
    }

private:
    Server server_;
    std::unique_ptr<data::Connection> master_;
    std::shared_ptr<data::embedded::Core> cores_[2];
    QString open_[2];
    std::map<QString, QString> made_;
};

QStringList rowsOf(const Ways::Answer& a, bool fold, bool keepOrder) {
    QStringList out;
    for (const data::provider::Row& r : a.rows) {
        QStringList values;
        for (const data::Variant& v : r) values << gotValue(v, fold);
        out << rowText(values);
    }
    if (!keepOrder) out.sort();
    return out;
}

QString show(const QStringList& rows) { return rows.isEmpty() ? QStringLiteral("(no rows)") : u'[' + rows.join(QStringLiteral("] [")) + u']'; }

QString conformanceFile() { return QStringLiteral(VELMORA_TESTS_DIR "/data/conformance/engine.sqlcases"); }

}  // namespace

TEST(EmbeddedConformance, EveryCaseAnswersAsSqlServerDoesInEveryWay) {
    const std::vector<Case> cases = readCases(conformanceFile());
    ASSERT_GE(cases.size(), 60u);
    Ways ways;
    QStringList failures;
    for (const Case& c : cases) {
        const bool keepOrder = ordered(c.sql);
        QStringList expected;
        for (const QString& row : c.expected) {
            QStringList values;
            for (const QString& v : splitValues(row)) values << expectedValue(v, c.fold);
            expected << rowText(values);
        }
        if (!keepOrder) expected.sort();
        const QString want = c.expectError ? QStringLiteral("error %1").arg(c.error) : show(expected);
        // Ways that agree on a wrong answer are listed together.
        std::vector<std::pair<QString, QStringList>> wrong;
        const auto note = [&](const QString& way, const QString& got) {
            auto it = std::find_if(wrong.begin(), wrong.end(), [&](const auto& w) { return w.first == got; });
            if (it == wrong.end()) it = wrong.insert(wrong.end(), {got, {}});
            it->second << way;
        };
        for (const Way way : {Way::Plain, Way::Indexed, Way::CompanyFile}) {
            QString db;
            try {
                const bool writes = !c.sql.trimmed().startsWith(QStringLiteral("select"), Qt::CaseInsensitive);
                db = ways.database(Tables{c.creates, c.rows, writes ? c.name : QString()}, way);
            } catch (const std::exception& e) {
                note(QLatin1String(wayName(way)), QStringLiteral("setup failed: ") + QString::fromUtf8(e.what()));
                continue;
            }
            for (const bool optimised : {true, false}) {
                const Ways::Answer a = ways.run(db, optimised, c.sql);
                QString got;
                if (a.error != 0) {
                    got = QStringLiteral("error %1 (%2)").arg(a.error).arg(a.message);
                    if (c.expectError && a.error == c.error) continue;
                } else {
                    got = show(rowsOf(a, c.fold, keepOrder));
                    if (!c.expectError && got == want) continue;
                }
                note(QStringLiteral("%1/%2").arg(QLatin1String(wayName(way)), optimised ? "on" : "off"), got);
            }
        }
        if (c.differs) {
            // Still the one answer whatever the plan, and still not the server's (when it is,
            // the case has been mended and loses its mark).
            if (wrong.size() == 1 && wrong.front().second.size() == 6) continue;
            if (wrong.empty()) {
                failures << QStringLiteral("%1 (line %2): answers as SQL Server now; drop its 'differs'").arg(c.name).arg(c.line);
                continue;
            }
        }
        if (!wrong.empty()) {
            QString got;
            for (const auto& [answer, inWays] : wrong) got += QStringLiteral("\n  %1: got %2").arg(inWays.join(u' '), answer);
            failures << QStringLiteral("%1 (line %2): %3\n  expected %4%5").arg(c.name).arg(c.line).arg(c.sql, want, got);
        }
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " of " << cases.size() << " cases differ from SQL Server:\n"
                                    << failures.join(u'\n').toStdString();
}

// Random tables and small queries: every way must give the rows of the plainest one (no index,
// no optimisation). Texts are compared without case and trailing blanks, because SQL Server may
// return any one of equal values where it folds them.
TEST(EmbeddedConformance, RandomQueriesGiveTheSameRowsWhateverThePlan) {
    std::mt19937 rng(20170105);
    const auto pick = [&](const auto& list) { return list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(rng)]; };
    const char* const texts[] = {"'a'", "'A'", "'a '", "'A  '", "'b'", "'B '", "'é'", "'É'", "'e'", "''", "' '", "NULL", "'ab'", "'Ab '", "'c'"};
    const char* const ints[] = {"NULL", "0", "1", "2", "3"};
    const char* const dates[] = {"NULL", "'2017-01-05'", "'2017-01-05 10:30:00'", "'2017-01-06'", "'2016-12-31 23:59:59'"};
    const char* const literals[] = {"'a'", "'A '", "'b'", "''", "'É'", "'e'", "'AB'"};
    const char* const dateLiterals[] = {"'2017-01-05'", "'2017-01-06'", "'20170105'", "'2017-01-05 10:30'", "'01/06/2017'",
                                        "'2017-01-05T10:30:00'", "{d '2017-01-05'}"};
    // Typed columns of every kind beside them: money, decimal, float, smallint, char, smalldatetime
    // and bit, with literals of their own type and of others that the types convert.
    const char* const moneys[] = {"NULL", "0", "0.1", "0.2", "0.3", "2.5", "-1.25"};
    const char* const decimals[] = {"NULL", "0.10", "0.20", "0.30", "2.50", "-1.25"};
    const char* const floats[] = {"NULL", "0.1", "2.5", "-3"};
    const char* const smalls[] = {"NULL", "0", "1", "2", "-5"};
    const char* const chars[] = {"NULL", "'a'", "'ab'", "''", "'A '"};
    const char* const minutes[] = {"NULL", "'2017-01-05 10:30'", "'2017-01-06'", "'2017-01-05 10:31'"};
    const char* const bits[] = {"NULL", "0", "1"};
    const char* const numberLiterals[] = {"0.1", "'0.10'", "2.5", "''", "0.3", "'2.5'", "1", "'-1.25'"};
    const char* const smallLiterals[] = {"''", "'1'", "2", "'-5'", "0"};
    const QStringList templates = {
        "select r1.n, r2.n from r1 join r2 on r1.k = r2.k",
        "select r1.n, r2.k from r1 left join r2 on r1.k = r2.k",
        "select r1.n from r1, r2 where r1.k = r2.k and r2.n = 1",
        "select r1.k, r2.n from r1 join r2 on r1.d = r2.d",
        "select distinct k from r1",
        "select distinct k, n from r2",
        "select k, count(*) from r1 group by k",
        "select k, sum(n) from r2 group by k having count(*) > 1",
        "select count(distinct k), count(k), count(*) from r1",
        "select n from r1 where k in ($L, $L)",
        "select n from r1 where k not in ($L, $L)",
        "select n from r1 where k in (select k from r2)",
        "select n from r1 where k not in (select k from r2 where k is not null)",
        "select k from r1 union select k from r2",
        "select k from r1 union all select k from r2",
        "select k from r1 intersect select k from r2",
        "select k from r1 except select k from r2",
        "select min(k), max(k) from r2",
        "select n, min(d), max(d) from r1 group by n",
        "select n, case when k = $L then 1 else 0 end from r1",
        "select n, case k when $L then 'x' else 'y' end from r2",
        "select n from r1 where exists (select * from r2 where r2.k = r1.k)",
        "select n from r1 where not exists (select * from r2 where r2.k = r1.k)",
        "select k, n from r1 where d = $D",
        "select k from r2 where d >= $D and d < '2017-01-06'",
        "select k from r1 where k = $L",
        "select n from r2 where k > $L",
        "select k from r1 order by k",
        "select n, k from r2 order by n, k",
        "select d from r1 order by d",
        "select r1.k from r1 join r2 on r1.k = r2.k where r1.n = r2.n",
        "select k from r1 where m = $N",
        "select n from r2 where q >= $N",
        "select k from r1 where f = $N",
        "select k from r2 where s in ($S, $S)",
        "select k from r1 where s between $S and $S",
        "select k, m + q, m - m, q * 3 from r1 where n = 1",
        "select n, m * 3, q / 3 from r2 where m * 3 = 0.3 or q / 3 > 0.05",
        "select sum(m), avg(q), avg(n), avg(s), sum(q) from r2",
        "select n, avg(m), avg(s) from r1 group by n",
        "select k from r1 where c = $L",
        "select c, count(*) from r2 group by c",
        "select k from r1 where t = $D",
        "select k from r2 where t > $D and t < '20170107'",
        "select case when n = 1 then m else q end from r1",
        "select coalesce(m, q, 0), isnull(s, '') from r2",
        "select r1.k, r2.k from r1 join r2 on r1.m = r2.q",
        "select m % 0.25, q % 2, s % 2 from r1 where m is not null and q is not null and s is not null",
        "select cast(m as int), cast(q as int), cast(f as int) from r2",
        "select k from r1 where b = 1 and m > q",
        "select min(m), max(q), min(t), max(c) from r1 group by n",
        "select distinct m, q from r2",
        "select m from r1 union select q from r2",
    };
    Ways ways;
    QStringList failures;
    int queries = 0;
    int differing = 0;
    for (int dataset = 0; dataset < 4; ++dataset) {
        Tables s;
        const QString columns = QStringLiteral(
            "(k varchar(8), n int, d datetime, m money, q numeric(10,2), f float, s smallint, c char(4), t smalldatetime, b bit)");
        s.creates << QStringLiteral("create table r1 ") + columns << QStringLiteral("create table r2 ") + columns;
        for (const char* table : {"r1", "r2"}) {
            const int count = std::uniform_int_distribution<int>(4, 14)(rng);
            for (int i = 0; i < count; ++i) {
                QStringList values{QString::fromUtf8(pick(texts)), QLatin1String(pick(ints)), QLatin1String(pick(dates))};
                for (const char* v : {pick(moneys), pick(decimals), pick(floats), pick(smalls), pick(chars), pick(minutes), pick(bits)})
                    values << QLatin1String(v);
                s.rows.emplace_back(QString::fromLatin1(table), values.join(QStringLiteral(", ")));
            }
        }
        QString dbs[3];
        for (const Way w : {Way::Plain, Way::Indexed, Way::CompanyFile}) dbs[int(w)] = ways.database(s, w);
        for (int q = 0; q < 120; ++q, ++queries) {
            QString sql = pick(templates);
            while (sql.contains(QStringLiteral("$L"))) sql.replace(sql.indexOf(QStringLiteral("$L")), 2, QString::fromUtf8(pick(literals)));
            while (sql.contains(QStringLiteral("$D"))) sql.replace(sql.indexOf(QStringLiteral("$D")), 2, QString::fromLatin1(pick(dateLiterals)));
            while (sql.contains(QStringLiteral("$N"))) sql.replace(sql.indexOf(QStringLiteral("$N")), 2, QString::fromLatin1(pick(numberLiterals)));
            while (sql.contains(QStringLiteral("$S"))) sql.replace(sql.indexOf(QStringLiteral("$S")), 2, QString::fromLatin1(pick(smallLiterals)));
            const bool keepOrder = ordered(sql);
            QString reference;
            QStringList wrong;
            for (const Way w : {Way::Plain, Way::Indexed, Way::CompanyFile}) {
                for (const bool optimised : {false, true}) {
                    const Ways::Answer a = ways.run(dbs[int(w)], optimised, sql);
                    const QString got = a.error ? QStringLiteral("error %1 (%2)").arg(a.error).arg(a.message) : show(rowsOf(a, true, keepOrder));
                    // SQLite (3.40) fails an INTERSECT whose members hold texts equal only by
                    // their trailing blanks ('' and ' ') when the left table's column has an
                    // index in the collation; the README lists it.
                    if (a.error == 824 && sql.contains(QStringLiteral(" intersect "))) continue;
                    if (reference.isNull()) {
                        reference = got;
                    } else if (got != reference) {
                        wrong << QStringLiteral("  %1/%2: %3").arg(QLatin1String(wayName(w)), optimised ? "on" : "off", got);
                    }
                }
            }
            if (!wrong.isEmpty()) ++differing;
            if (!wrong.isEmpty() && failures.size() < 40) {
                failures << QStringLiteral("data set %1: %2\n  a/off: %3\n%4").arg(dataset).arg(sql, reference, wrong.join(u'\n'));
            }
        }
    }
    EXPECT_GT(queries, 300);
    EXPECT_TRUE(failures.isEmpty()) << differing << " of " << queries << " queries differ between ways (first 40 shown):\n" << failures.join(u'\n').toStdString();
}
