#include "linkscreens/frmLigaVendas.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "screens/SelOpta.h"
#include "util/sqltext.h"
#include "util/text.h"

using linkscreens::kMascaraOfertas;
using util::sqlApostrofos;

frmLigaVendas::frmLigaVendas(QWidget* parent) : frmLigaEdicao(QStringLiteral("frmLigaVendas"), parent) {
    tipo_ = new QLineEdit(this);
    tipo_->setObjectName(QStringLiteral("txtTipo"));
    tipo_->setMaxLength(3);
    tipo_->setProperty("Tag", QStringLiteral("1"));
    campos()->addRow(QStringLiteral("Tipo de Movimento :"), tipo_);
    tipoOferta_ = new SelOpta(this);
    tipoOferta_->setObjectName(QStringLiteral("eselTipoOferta"));
    tipoOferta_->setLista(linkscreens::kListaTipoOferta);
    tipoOferta_->setProperty("Tag", QStringLiteral("1"));
    campos()->addRow(QStringLiteral("Ofertas :"), tipoOferta_);
    apenasComValor_ = new QCheckBox(QStringLiteral("Apenas movimentos com valor líquido superior a zero"), this);
    apenasComValor_->setObjectName(QStringLiteral("chkApenasMovComValor"));
    apenasComValor_->setProperty("Tag", QStringLiteral("1"));
    campos()->addRow(QString(), apenasComValor_);
    resize(520, 180);

    // A rule without a document type would select nothing.
    cmdGravar()->setEnabled(false);
    connect(tipo_, &QLineEdit::textChanged, this,
            [this](const QString& texto) { cmdGravar()->setEnabled(!util::trimBlanks(texto).isEmpty()); });
    linkscreens::prepararJanela(this);
}

bool frmLigaVendas::ShowForm(const QString& Mascara, std::int64_t NumRegisto) {
    mascara_ = Mascara;
    setWindowTitle(linkscreens::tituloDoTipo(Mascara));
    return Editar(NumRegisto);
}

QString frmLigaVendas::tabela() const { return QStringLiteral("LigaMovimentos"); }

void frmLigaVendas::mostrar(const data::Recordset& rs) {
    tipo_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Tipo")).Value()));
    // No offer handling reads as "0", as the import reads it; setChave falls back to the first.
    tipoOferta_->setChave(linkscreens::texto(rs.Fields(QStringLiteral("TipoOferta")).Value()));
    const data::Variant apenas = rs.Fields(QStringLiteral("ApenasMovComValor")).Value();
    apenasComValor_->setChecked(!apenas.isNull() && !apenas.isEmpty() && apenas.toInt32() == 1);
}

bool frmLigaVendas::gravar(data::Connection& conn) {
    const QString tipoLido = util::trimBlanks(tipo_->text());
    if (tipoLido.isEmpty()) {
        tipo_->setFocus();
        return false;
    }
    const QString tipo = sqlApostrofos(tipoLido);
    const QString mascara = sqlApostrofos(mascara_);
    const QString registo = linkscreens::numero(numRegisto());
    if (existe(conn, QStringLiteral("Select NumRegisto from LigaMovimentos Where Mascara='") + mascara +
                         QStringLiteral("' and Tipo='") + tipo + QStringLiteral("' and NumRegisto<>") + registo)) {
        recusar(QStringLiteral("Já existe este tipo  !"));
        tipo_->setFocus();
        return false;
    }
    const QString outroLado = mascara_ == kMascaraOfertas ? QStringLiteral("' and Mascara<>'")
                                                           : QStringLiteral("' and Mascara='");
    if (existe(conn, QStringLiteral("Select NumRegisto from LigaMovimentos Where Tipo='") + tipo + outroLado +
                         kMascaraOfertas + QStringLiteral("' and NumRegisto<>") + registo)) {
        recusar(QStringLiteral("Este tipo de movimento não pode ser considerado uma venda e uma oferta em simultâneo!"));
        tipo_->setFocus();
        return false;
    }
    const QString tipoOferta = sqlApostrofos(tipoOferta_->Chave());
    const QString apenas = apenasComValor_->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (numRegisto() == 0) {
        executar(conn, QStringLiteral("Insert into LigaMovimentos (Tipo,TipoOferta,Mascara,ApenasMovComValor) ") +
                           QStringLiteral("Values ('") + tipo + QStringLiteral("','") + tipoOferta +
                           QStringLiteral("','") + mascara + QStringLiteral("',") + apenas + QStringLiteral(")"));
    } else {
        executar(conn, QStringLiteral("Update LigaMovimentos Set Tipo='") + tipo + QStringLiteral("',TipoOferta='") +
                           tipoOferta + QStringLiteral("',ApenasMovComValor=") + apenas +
                           QStringLiteral(" Where NumRegisto=") + registo);
    }
    return true;
}
