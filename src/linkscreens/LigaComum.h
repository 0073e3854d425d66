#pragma once
// What the six link-rule screens share: the business-management product's name in their
// captions, the opening of the staging database with the failure shown to the user, the way a
// rule's code is shown in a list, and the reporting of a statement that fails.

#include <QString>
#include <cstdint>
#include <functional>

#include "data/variant.h"

namespace data {
class Connection;
}
class QDialog;
class QLineEdit;

namespace linkscreens {

// The company database's product, named in the captions ("Ligação de Clientes Tramontix").
inline const QString kProduto = QStringLiteral("Tramontix");

// The question asked before a rule is deleted, and its two lines: answer 2 deletes.
inline const QString kConfirmaEliminacao = QStringLiteral("Confirma a Eliminação?");
inline constexpr std::int16_t kRespostaSim = 2;

// The offer handling of a sales rule (TipoOferta), as its option list offers it.
inline const QString kListaTipoOferta =
    QStringLiteral("0:As ofertas são consideradas por tipo de movimento;1:As ofertas são consideradas por movimentos "
                   "de Valor 0;");

// The movement kind of the offers: a document type of an offer rule cannot count as any other
// kind of movement.
inline const QString kMascaraOfertas = QStringLiteral("EO");

// The caption of the sales-rule screens for a movement kind ("V", "D", "EO", "AV", "AO");
// "" for any other text.
QString tituloDoTipo(const QString& Mascara);

// Opens conn on the staging database with the screens' time-out. When it does not open, the
// critical box shows the error number, a carriage return and the error text, and the result is
// false.
bool abrirVelmora(data::Connection& conn);

// Closes conn when it is open; a failure to close changes nothing for the user.
void fecharLigacao(data::Connection& conn);

// A statement that failed: the critical box with its error number, a carriage return and its
// text.
void mostrarErro(long numero, const QString& texto);

// A column's value as text: Null and Empty give "".
QString texto(const data::Variant& valor);

// A rule's code as its list shows it: a code that is blank after trimming stands for every
// code and is shown as `todos` ("Todos" or "Todas").
QString codigoOuTodos(const data::Variant& valor, const QString& todos);

// A code as the rule stores it: the field's text without surrounding blanks.
QString codigoDoCampo(const QLineEdit* campo);

// The record number of a rule as statement text; NumRegisto is an identity of 18 digits.
QString numero(std::int64_t numRegisto);

// Tests watch the statements that the edit screens send to write a rule.
using ObservadorComandos = std::function<void(const QString& sql)>;
void setObservadorComandos(ObservadorComandos observador);
void comandoEnviado(const QString& sql);

// The ways of every link screen: the main window's icon, centred on the screen, key presses through ControlEnter,
// and the content of each text field selected when it takes the focus.
void prepararJanela(QDialog* janela);

}  // namespace linkscreens
