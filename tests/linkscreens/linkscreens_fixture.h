#pragma once
// What the link-screen tests share: a staging database made as the program makes it (with a
// company database beside it), the message boxes and choice dialogs the screens show, the
// statements they send, and reading the rule tables back.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <deque>
#include <vector>

#include "data/variant.h"
#include "linkscreens/LigaComum.h"
#include "support/company_db.h"
#include "support/messagebox_recorder.h"
#include "util/alert.h"
#include "util/gui/ListView.h"
#include "util/gui_helpers.h"

namespace linktest {

struct AlertPedido {
    QString titulo;
    QStringList opcoes;
};

class LinkScreensTest : public ::testing::Test {
protected:
    void SetUp() override {
        util::setAlertDialogHook([this](const QString& titulo, const std::vector<data::Variant>& opcoes) {
            AlertPedido p{titulo, {}};
            for (const data::Variant& o : opcoes) p.opcoes << o.toString();
            alertas.push_back(p);
            std::int16_t resposta = 0;
            if (!respostasAlert.empty()) {
                resposta = respostasAlert.front();
                respostasAlert.pop_front();
            }
            gintRespostaAlert() = resposta;
        });
        linkscreens::setObservadorComandos([this](const QString& sql) { comandos << sql; });
    }
    void TearDown() override {
        util::setAlertDialogHook({});
        linkscreens::setObservadorComandos({});
        gintRespostaAlert() = 0;
    }

    // Every row of a staging query, each row's columns as texts ("<NULL>" for Null).
    QList<QStringList> linhas(const QString& sql) const {
        QList<QStringList> out;
        for (const auto& row : db.staging(sql)) {
            QStringList r;
            for (const data::Variant& v : row) r << (v.isNull() ? QStringLiteral("<NULL>") : v.toString());
            out << r;
        }
        return out;
    }

    // The texts of the list's rows, each row's columns in order.
    static QList<QStringList> textosDaLista(const ListView* lista) {
        QList<QStringList> out;
        for (int i = 1; i <= lista->rowCount(); ++i) {
            QStringList r;
            for (int k = 0; k < lista->columnHeaderCount(); ++k) r << ListView::rowText(lista->row(i), k);
            out << r;
        }
        return out;
    }

    // The list row whose first column reads `texto` (nullptr when none).
    static QTreeWidgetItem* linhaCom(const ListView* lista, int coluna, const QString& texto) {
        for (int i = 1; i <= lista->rowCount(); ++i) {
            if (ListView::rowText(lista->row(i), coluna) == texto) return lista->row(i);
        }
        return nullptr;
    }

    // Types into the field as a user would: the field's window active, the field focused.
    static void escrever(QLineEdit* campo, const QString& texto) {
        guitest::activate(*campo->window());
        campo->setFocus();
        guitest::pump();
        guitest::type(campo, texto);
    }

    QStringList textosDasCaixas() const {
        QStringList out;
        for (const auto& b : caixas.shown) out << b.text;
        return out;
    }

    testsupport::RunDatabases db;
    testsupport::MessageBoxRecorder caixas;
    std::vector<AlertPedido> alertas;
    std::deque<std::int16_t> respostasAlert;
    QStringList comandos;
};

}  // namespace linktest
