#include "linkscreens/LigaComum.h"

#include <QDialog>
#include <QLineEdit>
#include <exception>

#include "data/connection.h"
#include "extractor/MainMod_ligacoes.h"
#include "linkscreens/SelNoFoco.h"
#include "platform/messagebox.h"
#include "util/EDiv.h"
#include "util/gui/ControlEnterFilter.h"
#include "util/gui/IconeDoMenu.h"
#include "util/text.h"

namespace linkscreens {

QString tituloDoTipo(const QString& Mascara) {
    if (Mascara == QStringLiteral("V")) return QStringLiteral("Configuração de Vendas");
    if (Mascara == QStringLiteral("D")) return QStringLiteral("Configuração de Devoluções");
    if (Mascara == QStringLiteral("EO")) return QStringLiteral("Configuração de Entrega de Ofertas");
    if (Mascara == QStringLiteral("AV")) return QStringLiteral("Configuração de Acerto a Vendas");
    if (Mascara == QStringLiteral("AO")) return QStringLiteral("Configuração de Acerto a Ofertas");
    return QString();
}

namespace {

ObservadorComandos& observadorComandos() {
    static ObservadorComandos f;
    return f;
}

}  // namespace

void setObservadorComandos(ObservadorComandos observador) { observadorComandos() = std::move(observador); }

void comandoEnviado(const QString& sql) {
    if (observadorComandos()) observadorComandos()(sql);
}

bool abrirVelmora(data::Connection& conn) {
    if (OpenVelmora(conn, errC(), errD(), kTimeoutLigacao)) return true;
    mostrarErro(errC(), errD());
    return false;
}

void fecharLigacao(data::Connection& conn) {
    try {
        if (conn.State() == data::ado::adStateOpen) conn.Close();
    } catch (const std::exception&) {
    }
}

void mostrarErro(long numero, const QString& texto) {
    platform::MsgBox(QString::number(numero) + QChar(13) + texto, platform::mb::Critical);
}

QString texto(const data::Variant& valor) {
    if (valor.isNull() || valor.isEmpty()) return QString();
    try {
        return valor.toString();
    } catch (const std::exception&) {
        return QString();
    }
}

QString codigoOuTodos(const data::Variant& valor, const QString& todos) {
    const QString t = texto(valor);
    return util::trimBlanks(t).isEmpty() ? todos : t;
}

QString codigoDoCampo(const QLineEdit* campo) { return util::trimBlanks(campo->text()); }

QString numero(std::int64_t numRegisto) { return QString::number(numRegisto); }

void prepararJanela(QDialog* janela) {
    janela->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    SetIcon(janela);
    new ControlEnterFilter(janela);
    for (QLineEdit* campo : janela->findChildren<QLineEdit*>()) {
        // A combo box's own text field is not one of the screen's text fields.
        if (!campo->objectName().startsWith(QStringLiteral("qt_"))) new SelNoFoco(campo);
    }
    eFun().CenterForm(janela);
}

}  // namespace linkscreens
