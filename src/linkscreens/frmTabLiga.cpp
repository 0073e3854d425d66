#include "linkscreens/frmTabLiga.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "data/connection.h"
#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/gui/ListView.h"

using linkscreens::numero;

frmTabLiga::frmTabLiga(const QString& nome, const std::vector<data::Variant>& colunas, QWidget* parent)
    : QDialog(parent),
      lista_(new ListView(this)),
      novo_(new QPushButton(QStringLiteral("&Novo"), this)),
      alterar_(new QPushButton(QStringLiteral("&Alterar"), this)),
      eliminar_(new QPushButton(QStringLiteral("&Eliminar"), this)),
      fechar_(new QPushButton(QStringLiteral("&Fechar"), this)) {
    setObjectName(nome);
    lista_->setObjectName(QStringLiteral("lvwLista"));
    novo_->setObjectName(QStringLiteral("cmdNovo"));
    alterar_->setObjectName(QStringLiteral("cmdAlterar"));
    eliminar_->setObjectName(QStringLiteral("cmdEliminar"));
    fechar_->setObjectName(QStringLiteral("cmdFechar"));
    eFun().CreateListViewCol(*lista_, colunas);
    // Enter in the list must not close the screen through a default button.
    for (QPushButton* b : {novo_, alterar_, eliminar_, fechar_}) b->setAutoDefault(false);

    auto* botoes = new QHBoxLayout;
    botoes->addWidget(novo_);
    botoes->addWidget(alterar_);
    botoes->addWidget(eliminar_);
    botoes->addStretch();
    botoes->addWidget(fechar_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lista_);
    layout->addLayout(botoes);
    resize(520, 360);

    connect(novo_, &QPushButton::clicked, this, &frmTabLiga::Novo);
    connect(alterar_, &QPushButton::clicked, this, &frmTabLiga::Alterar);
    connect(eliminar_, &QPushButton::clicked, this, &frmTabLiga::Eliminar);
    connect(fechar_, &QPushButton::clicked, this, &QDialog::reject);
    connect(lista_, &QTreeWidget::itemDoubleClicked, this, [this] { Alterar(); });
}

bool frmTabLiga::Carregar() {
    const std::int64_t seleccionado = registoSeleccionado();
    lista_->clearRows();
    data::Connection conn;
    if (!linkscreens::abrirVelmora(conn)) return false;
    bool lido = true;
    try {
        data::Recordset rs;
        rs.Open(sqlLista(), conn);
        while (!rs.EOF()) {
            const QStringList textos = textosDaLinha(rs);
            QTreeWidgetItem* linha = lista_->addRow(textos.value(0));
            for (int k = 1; k < textos.size(); ++k) lista_->setRowText(linha, k, textos.at(k));
            ListView::setRowTag(linha, numero(rs.Fields(QStringLiteral("NumRegisto")).Value().toInt64()));
            rs.MoveNext();
        }
        rs.Close();
    } catch (const platform::RuntimeError& e) {
        linkscreens::mostrarErro(e.number(), e.description());
        lido = false;
    }
    linkscreens::fecharLigacao(conn);
    seleccionar(seleccionado);
    return lido;
}

std::int64_t frmTabLiga::registoSeleccionado() const {
    QTreeWidgetItem* linha = lista_->selectedRow();
    if (linha == nullptr) return 0;
    return ListView::rowTag(linha).toLongLong();
}

void frmTabLiga::seleccionar(std::int64_t numRegisto) {
    QTreeWidgetItem* escolhida = lista_->row(1);
    for (int i = 1; i <= lista_->rowCount(); ++i) {
        if (ListView::rowTag(lista_->row(i)).toLongLong() == numRegisto) escolhida = lista_->row(i);
    }
    if (escolhida != nullptr) lista_->setSelectedRow(escolhida);
}

void frmTabLiga::Novo() {
    if (editar(0)) Carregar();
}

void frmTabLiga::Alterar() {
    const std::int64_t numRegisto = registoSeleccionado();
    if (numRegisto <= 0) return;
    // A rule removed meanwhile is no longer there to change: the list is read again either way.
    editar(numRegisto);
    Carregar();
}

void frmTabLiga::Eliminar() {
    const std::int64_t numRegisto = registoSeleccionado();
    if (numRegisto <= 0) return;
    const std::int16_t resposta =
        eFun().Alert(linkscreens::kConfirmaEliminacao, {data::Variant(QStringLiteral("Não")),
                                                        data::Variant(QStringLiteral("Sim"))});
    if (resposta != linkscreens::kRespostaSim) return;
    data::Connection conn;
    if (!linkscreens::abrirVelmora(conn)) return;
    try {
        conn.Execute(QStringLiteral("Delete from ") + tabela() + QStringLiteral(" Where NumRegisto=") +
                         numero(numRegisto),
                     nullptr, data::ado::adCmdText | data::ado::adExecuteNoRecords);
    } catch (const platform::RuntimeError& e) {
        linkscreens::mostrarErro(e.number(), e.description());
    }
    linkscreens::fecharLigacao(conn);
    Carregar();
}
