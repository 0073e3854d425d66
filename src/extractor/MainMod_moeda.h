#pragma once
// Currency conversion through the staging database's exchange-rate table cambios (codigo,
// valor, valor1), and the reading of a number text with given separators as an amount. The
// list manager calls both when it reads or shows money columns.

#include <QString>

#include "data/currency.h"
#include "platform/byref.h"

// The program-wide defaults ConverteMoeda falls back on when the caller passes empty codes
// (the working year is gstrAno()). Nothing in the program assigns them: they stay empty.
QString& gstrMoedaBase();
QString& gstrMoedaSimples();

// Converts Valor by the rate of Codigo: Operacao "+" multiplies, "-" divides; any other
// operation gives 0. A code without a rate row (or a database without cambios) has the rate
// 1. Codigo equal to CodigoSimples (trimmed, without case) returns Valor without opening any
// connection. Years after "2001" (compared as text) take the column valor1, others valor; an
// empty Ano is replaced, in the caller's variable too, by gstrAno(). A staging database that
// does not open shows errC() and errD() in a critical message and gives 0.
data::Currency ConverteMoeda(const data::Currency& Valor, const QString& Codigo, const QString& Operacao,
                             const QString& CodigoBase, const QString& CodigoSimples, platform::Ref<QString> Ano);

// Reads a number text written with the given thousands and decimal separators: thousands
// separators are dropped, the decimal separator read as the point, and the leading number of
// the result taken as an amount; 0 when the text does not begin with a number.
data::Currency TextoParaMoeda(QString Texto, const QString& SepMilhares, const QString& SepDecimal);
