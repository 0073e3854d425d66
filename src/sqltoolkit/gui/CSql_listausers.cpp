// The user list of CSql: the server's logins in a caller's list view, marked by the
// configuration database's UserManagement (or, in the older list, by sysadmin membership).

#include <QTreeWidgetItem>

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/messagebox.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "sqltoolkit/CSql_textos.h"
#include "util/EDiv.h"
#include "util/gui/ListView.h"
#include "util/text.h"

using namespace csql::interno;

namespace {

// The first item whose text, without case and blanks around, is the name.
QTreeWidgetItem* itemDe(const ListView& lista, const QString& nome) {
    for (int i = 1; i <= lista.rowCount(); ++i) {
        QTreeWidgetItem* item = lista.row(i);
        if (normaliza(ListView::rowText(item, 0)) == nome) return item;
    }
    return nullptr;
}

}  // namespace

bool CSql::LoadUsersToListview(ListView& lvwList) {
    lvwList.setHideColumnHeaders(true);
    lvwList.clearRows();
    data::Connection conn;
    if (!util::abreConfig(conn)) {
        platform::MsgBox(QString::number(util::programaErrC()) + u'\r' + util::programaErrD(), platform::mb::Critical);
        return false;
    }
    PonteiroOcupado ponteiro;

    // Every failure below is passed over, and the list keeps what it has.
    data::Recordset logins;
    try {
        logins = executa(conn, csqltexto::Logins());
        if (!eFun().IsVazio(logins)) {
            while (!logins.EOF()) {
                try {
                    const QString nome = textoDe(logins.Fields(QStringLiteral("Name")).Value());
                    const QString n = normaliza(nome);
                    if (n != QStringLiteral("builtin\\administrators") &&
                        n != QStringLiteral("builtin\\administradores")) {
                        QTreeWidgetItem* item = lvwList.addRow(nome);
                        if (!lvwList.Checkboxes()) {
                            lvwList.setRowSmallIcon(item, 1);
                        } else {
                            lvwList.setRowChecked(item, true);
                        }
                        lvwList.setRowText(item, 1, QStringLiteral("1"));
                    }
                } catch (const std::exception&) {
                }
                logins.MoveNext();
            }
        }
    } catch (const std::exception&) {
    }
    fechaSemErros(logins);

    data::Recordset gestao;
    try {
        gestao.Open(csqltexto::UserManagement(), conn, data::ado::adOpenForwardOnly, data::ado::adLockReadOnly);
        if (gestao.State() == data::ado::adStateOpen && !eFun().IsVazio(gestao)) {
            while (!gestao.EOF()) {
                try {
                    QTreeWidgetItem* item =
                        itemDe(lvwList, normaliza(textoDe(gestao.Fields(QStringLiteral("LoginName")).Value())));
                    if (item != nullptr) {
                        if (lvwList.hasSmallIcons()) {
                            const data::Variant todas = gestao.Fields(QStringLiteral("AllDatabases")).Value();
                            if (!todas.isNull() && todas.toDouble() == 1) {
                                lvwList.setRowSmallIcon(item, 1);
                                if (lvwList.Checkboxes()) lvwList.setRowChecked(item, true);
                            } else {
                                lvwList.setRowSmallIcon(item, 2);
                                lvwList.setRowChecked(item, false);
                            }
                        }
                        lvwList.setRowText(item, 1, QString::number(ListView::rowSmallIcon(item)));
                    }
                } catch (const std::exception&) {
                }
                gestao.MoveNext();
            }
        }
    } catch (const std::exception&) {
    }
    fechaSemErros(gestao);
    fechaSemErros(conn);
    ponteiro.restaura();
    return true;
}

bool CSql::OldLoadUsersToListview(ListView& lvwList) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    abreConfigurado(conn, QStringLiteral("master"), kTimeout120, errNum, errText);
    lvwList.setHideColumnHeaders(true);
    lvwList.clearRows();
    executa(conn, csqltexto::Use(QStringLiteral("master")));
    data::Recordset rs = executa(conn, csqltexto::LoginsAntigos());
    while (!rs.EOF()) {
        const data::Variant grupo = rs.Fields(QStringLiteral("IsNtGroup")).Value();
        const data::Variant nome = rs.Fields(QStringLiteral("loginname")).Value();
        if (!grupo.isNull() && grupo.toDouble() == 0 && !nome.isNull()) {
            const QString login = nome.toString();
            const std::int16_t marca = ValidarLoginSysAdmin(login, QString()) ? 1 : 2;
            QTreeWidgetItem* item = lvwList.addRow(login);
            if (!lvwList.Checkboxes()) {
                lvwList.setRowSmallIcon(item, marca);
            } else {
                lvwList.setRowChecked(item, marca == 1);
            }
            lvwList.setRowText(item, 1, QString::number(marca));
        }
        rs.MoveNext();
    }
    rs.Close();
    conn.Close();
    return true;
}
