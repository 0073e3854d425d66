// Deadlocks: the waits of the connections of every program using a server folder, kept in its
// process list beside the locks they wait for, and the cycles among them.
#include <QDateTime>
#include <QHash>
#include <QSet>

#include "data/embedded/connection/core.h"
#include "data/embedded/server/admin.h"
#include "data/embedded/server/admin_common.h"

namespace data::embedded {

using namespace admin;

namespace {

constexpr qint64 kLookEveryMs = 100;
// A wait not looked at again for this long belongs to a connection that stopped waiting
// without saying so (a crash between two looks): it links nothing.
constexpr qint64 kWaitFreshMs = 1000;

// One connection's way back to first along the waits, or nothing.
QStringList cycleThrough(const QString& first, const QHash<QString, QStringList>& waitsFor) {
    QStringList path{first};
    QSet<QString> seen{first};
    // Depth first, with each node's next branch to try.
    std::vector<qsizetype> branch{0};
    while (!path.isEmpty()) {
        const QStringList& next = waitsFor.value(path.back());
        qsizetype& at = branch.back();
        if (at >= next.size()) {
            path.removeLast();
            branch.pop_back();
            continue;
        }
        const QString& to = next[at++];
        if (to == first) return path;
        if (seen.contains(to)) continue;
        seen.insert(to);
        path.push_back(to);
        branch.push_back(0);
    }
    return {};
}

}  // namespace

bool AdminState::deadlocked(const QString& schema, const QString& object) {
    if (token_.isEmpty()) return false;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (waitNoted_ && nowMs - waitLookedMs_ < kLookEveryMs) return false;
    waitLookedMs_ = nowMs;
    const QString database = databaseOf(schema);
    const QString stored = object.isNull() ? QStringLiteral("") : object;
    bool victim = false;
    try {
        look(database, stored, nowMs, victim);
    } catch (const DbError&) {
        // The process list being busy or unreadable says nothing about this wait: it goes on.
        return false;
    }
    waitNoted_ = true;
    return victim;
}

void AdminState::look(const QString& database, const QString& stored, qint64 nowMs, bool& victim) {
    sqlite3* r = registry();
    writeTransaction(r, ErrorContext{}, [&] {
        {
            Statement note(r,
                           QStringLiteral("INSERT INTO waits (token, dbname, object, seen) VALUES (?, ?, ?, ?) ON CONFLICT "
                                          "(token) DO UPDATE SET dbname = excluded.dbname, object = excluded.object, "
                                          "seen = excluded.seen"),
                           ErrorContext{});
            note.bind(1, token_);
            note.bind(2, database);
            note.bind(3, stored);
            note.bind(4, nowMs);
            note.step();
        }
        // Who waits for whom: a wait for a database's write lock on whoever wrote there in the
        // transaction still open, a wait for a held table on whoever holds it.
        QHash<QString, QStringList> waitsFor;
        QSet<QString> chosen;
        {
            Statement q(r,
                        QStringLiteral("SELECT w.token, x.token, w.victim FROM waits w JOIN (SELECT token, dbname, '' AS "
                                       "object FROM writers UNION ALL SELECT token, dbname, object FROM holds) x ON x.dbname "
                                       "= w.dbname COLLATE NOCASE AND x.object = w.object COLLATE NOCASE AND x.token <> "
                                       "w.token WHERE w.seen >= ? AND w.token IN (SELECT token FROM connections WHERE "
                                       "killed = 0)"),
                        ErrorContext{});
            q.bind(1, nowMs - kWaitFreshMs);
            while (q.step()) {
                waitsFor[q.text(0)].push_back(q.text(1));
                if (q.int64(2) != 0) chosen.insert(q.text(0));
            }
        }
        {
            Statement mine(r, QStringLiteral("SELECT victim FROM waits WHERE token = ?"), ErrorContext{});
            mine.bind(1, token_);
            victim = mine.step() && mine.int64(0) != 0;
        }
        if (victim) return;
        const QStringList cycle = cycleThrough(token_, waitsFor);
        bool decided = false;
        for (const QString& t : cycle) decided = decided || chosen.contains(t);
        // Seen once, it may be a moment of passing: a lock released while another's wait was
        // being noted. Seen again a look later, it stands.
        if (cycle.isEmpty() || decided || !cycleSeen_) {
            cycleSeen_ = !cycle.isEmpty() && !decided;
            return;
        }
        QString cheapest = token_;
        qint64 least = -1;
        for (const QString& t : cycle) {
            Statement cost(r,
                           QStringLiteral("SELECT count(*) FROM locks l WHERE l.token = ? AND NOT EXISTS (SELECT 1 FROM "
                                          "holds h WHERE h.token = l.token AND h.dbname = l.dbname COLLATE NOCASE AND "
                                          "h.object = l.object COLLATE NOCASE)"),
                           ErrorContext{});
            cost.bind(1, t);
            cost.step();
            const qint64 written = cost.int64(0);
            if (least < 0 || written < least || (written == least && t == token_)) {
                least = written;
                cheapest = t;
            }
        }
        if (cheapest == token_) {
            victim = true;
            return;
        }
        Statement mark(r, QStringLiteral("UPDATE waits SET victim = 1 WHERE token = ?"), ErrorContext{});
        mark.bind(1, cheapest);
        mark.step();
        cycleSeen_ = false;
    });
}

void AdminState::forgetWait() {
    waitNoted_ = false;
    cycleSeen_ = false;
    if (token_.isEmpty() || !registry_) return;
    try {
        sqlite3* r = registry_.get();
        Statement del(r, QStringLiteral("DELETE FROM waits WHERE token = ?"), ErrorContext{});
        del.bind(1, token_);
        del.step();
    } catch (const DbError&) {
        // Left behind, the row goes stale within a second and links nothing.
    }
}

void AdminState::deadlockVictim() {
    endLockWait();
    releaseNow();
    raiseServerError(1205, QStringLiteral("Transaction (Process ID %1) was deadlocked on lock resources with another "
                                          "process and has been chosen as the deadlock victim. Rerun the transaction.")
                               .arg(spid_));
}

}  // namespace data::embedded
