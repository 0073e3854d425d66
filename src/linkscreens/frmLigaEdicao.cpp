#include "linkscreens/frmLigaEdicao.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/connection.h"
#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"

frmLigaEdicao::frmLigaEdicao(const QString& nome, QWidget* parent)
    : QDialog(parent),
      campos_(new QFormLayout),
      gravar_(new QPushButton(QStringLiteral("&Gravar"), this)),
      cancelar_(new QPushButton(QStringLiteral("&Cancelar"), this)) {
    setObjectName(nome);
    gravar_->setObjectName(QStringLiteral("cmdGravar"));
    cancelar_->setObjectName(QStringLiteral("cmdCancelar"));
    // Enter steps from field to field (ControlEnter); it never saves by itself.
    gravar_->setAutoDefault(false);
    cancelar_->setAutoDefault(false);

    auto* botoes = new QHBoxLayout;
    botoes->addStretch();
    botoes->addWidget(gravar_);
    botoes->addWidget(cancelar_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(campos_);
    layout->addStretch();
    layout->addLayout(botoes);

    connect(gravar_, &QPushButton::clicked, this, &frmLigaEdicao::Gravar);
    connect(cancelar_, &QPushButton::clicked, this, &QDialog::reject);
}

QLineEdit* frmLigaEdicao::campoCodigo(const QString& nome, const QString& rotulo, int largura,
                                      const QString& todos) {
    auto* campo = new QLineEdit(this);
    campo->setObjectName(nome);
    campo->setMaxLength(largura);
    campo->setPlaceholderText(todos);
    campo->setProperty("Tag", QStringLiteral("1"));
    campos_->addRow(rotulo, campo);
    return campo;
}

bool frmLigaEdicao::Editar(std::int64_t numRegisto) {
    numRegisto_ = numRegisto > 0 ? numRegisto : 0;
    if (numRegisto_ > 0) {
        data::Connection conn;
        if (!linkscreens::abrirVelmora(conn)) return false;
        bool lido = false;
        try {
            data::Recordset rs;
            rs.Open(QStringLiteral("Select * from ") + tabela() + QStringLiteral(" Where NumRegisto=") +
                        linkscreens::numero(numRegisto_),
                    conn);
            if (!rs.EOF()) {
                mostrar(rs);
                lido = true;
            }
            rs.Close();
        } catch (const platform::RuntimeError& e) {
            linkscreens::mostrarErro(e.number(), e.description());
        }
        linkscreens::fecharLigacao(conn);
        if (!lido) return false;
    }
    return exec() == QDialog::Accepted;
}

void frmLigaEdicao::Gravar() {
    data::Connection conn;
    if (!linkscreens::abrirVelmora(conn)) return;
    bool gravado = false;
    try {
        gravado = gravar(conn);
    } catch (const platform::RuntimeError& e) {
        linkscreens::mostrarErro(e.number(), e.description());
    }
    linkscreens::fecharLigacao(conn);
    if (gravado) accept();
}

bool frmLigaEdicao::existe(data::Connection& conn, const QString& sql) { return eFun().VerSeExiste(conn, sql); }

void frmLigaEdicao::executar(data::Connection& conn, const QString& sql) {
    linkscreens::comandoEnviado(sql);
    conn.Execute(sql, nullptr, data::ado::adCmdText | data::ado::adExecuteNoRecords);
}

void frmLigaEdicao::recusar(const QString& texto) { platform::MsgBox(texto, platform::mb::Exclamation); }
