// The amount in words of EDiv, as written on a cheque or a receipt.
//
// The amount is first written by FDNum into a fixed picture of 12 characters, blank-filled on
// the left: positions 1-9 the integer digits (millions, thousands and units, each group as
// hundreds, tens and units), 10 the ".", 11-12 the cents. The picture is then walked position by
// position; each position knows whether it holds a hundreds, tens or units digit, and after
// each digit a joining text is appended unless the digit's rule asked for none.

#include <exception>

#include "platform/runtime_error.h"
#include "util/EDiv.h"

namespace {

constexpr int kPicture = 12;

enum class Classe { Centenas, Dezenas, Unidades };

Classe classeDe(int i) {
    switch (i % 3) {
        case 1: return Classe::Centenas;  // 1, 4, 7 (and 10, which holds the ".")
        case 2: return Classe::Dezenas;   // 2, 5, 8, 11
        default: return Classe::Unidades; // 3, 6, 9, 12
    }
}

const char16_t* const kUnidadesM[] = {u"Um", u"Dois", u"Três", u"Quatro", u"Cinco",
                                      u"Seis", u"Sete", u"Oito", u"Nove"};
const char16_t* const kUnidadesF[] = {u"Uma", u"Duas", u"Três", u"Quatro", u"Cinco",
                                      u"Seis", u"Sete", u"Oito", u"Nove"};
const char16_t* const kDezenas[] = {u"Dez",      u"Vinte",    u"Trinta",  u"Quarenta", u"Cinquenta",
                                    u"Sessenta", u"Setenta",  u"Oitenta", u"Noventa"};
const char16_t* const kCentenas[] = {u"Cento",      u"Duzentos",  u"Trezentos",  u"Quatrocentos", u"Quinhentos",
                                     u"Seiscentos", u"Setecentos", u"Oitocentos", u"Novecentos"};
const char16_t* const kOnzeADezanove[] = {u"Onze",      u"Doze",      u"Treze",   u"Catorze", u"Quinze",
                                          u"Dezasseis", u"Dezassete", u"Dezoito", u"Dezanove"};

// The value of a digit character, 0 for anything else.
int digito(QChar c) { return (c >= u'0' && c <= u'9') ? c.unicode() - u'0' : 0; }
bool eDigito(QChar c) { return c >= u'0' && c <= u'9'; }
bool eDeUmANove(QChar c) { return c >= u'1' && c <= u'9'; }

QString palavra(const char16_t* const tabela[], QChar c) { return QString::fromUtf16(tabela[digito(c) - 1]); }

// The picture's numbers are read the lenient way (blanks skipped, a non-digit ends the number),
// so a leading "-" or an empty part reads as a number and never stops the walk.
double comoNumero(const QString& texto) { return data::leadingNumber(texto); }

}  // namespace

QString EDiv::Extenso(Variant Valor, QString /*Cambio*/, QString Sexo, QString /*strUnidadeSing*/,
                      QString /*strUnidadePlur*/, QString /*strSubMultiploSing*/, QString /*strSubMultiploPlur*/) {
    // Whatever unit names the caller passes, the words carry none: the units have no name and
    // the cents end with a single blank.
    const QString U1;
    const QString U2;
    const QString S1 = QStringLiteral(" ");
    const QString S2 = QStringLiteral(" ");
    const QString Z = QStringLiteral("Zero") + U2;

    const bool masculino = Sexo == QStringLiteral("M");
    const char16_t* const* unidades = masculino ? kUnidadesM : kUnidadesF;

    // An amount that cannot be read as a currency leaves the picture blank: no words at all.
    Currency montante;
    QString P;
    try {
        montante = Valor.toCurrency();
        QString semMilhares = QStringLiteral("SSM");
        QString ponto = QStringLiteral(".");
        P = FDNum(montante, 2, 0, 0, semMilhares, ponto);
    } catch (const std::exception&) {
        P.clear();
    }
    if (P.size() <= kPicture) P = P.rightJustified(kPicture, u' ');

    // Positions are 1-based as the picture is described; past its end a position reads as blank.
    const auto at = [&P](int i) -> QChar { return (i >= 1 && i <= P.size()) ? P.at(i - 1) : QChar(u' '); };
    const auto mid = [&P](int from, int count) { return P.mid(from - 1, count); };
    const auto todosBrancos = [&P](int from, int to) {
        for (int k = from; k <= to; ++k)
            if (k <= P.size() && P.at(k - 1) != u' ') return false;
        return true;
    };
    const double todoOMontante = comoNumero(P);

    QString O;
    bool F = false;  // set: no joining text after this position

    for (int i = 1; i <= kPicture; ++i) {
        const QChar c = at(i);
        if (c == u'.') {
            const double inteiro = comoNumero(mid(1, i - 1));
            if (inteiro == 1) {
                O += U1;
            } else if (inteiro > 1) {
                O += U2;
            } else if (todoOMontante == 0) {
                O += Z;
            }
            if (mid(11, 2) != QStringLiteral("00") && montante > Currency::fromUnits(1)) O += QStringLiteral(" e ");
            continue;
        }
        if (c == u' ') continue;

        // A character that is not a digit (a "-") gives no word; the joining step still runs.
        if (eDigito(c)) {
            switch (classeDe(i)) {
                case Classe::Centenas: {
                    const bool seguintesZero = mid(i + 1, 2) == QStringLiteral("00");
                    if (c == u'1') {
                        if (!seguintesZero) {
                            O += QString::fromUtf16(kCentenas[0]);
                        } else {
                            O += (i == 7 && !todosBrancos(1, 6)) ? QStringLiteral("e Cem") : QStringLiteral("Cem");
                            F = true;
                        }
                    } else if (c == u'0') {
                        F = true;
                    } else {
                        O += palavra(kCentenas, c);
                        if (seguintesZero) F = true;
                    }
                    break;
                }
                case Classe::Dezenas: {
                    const QChar seguinte = at(i + 1);
                    if (c == u'1') {
                        if (seguinte == u'0') {
                            O += QString::fromUtf16(kDezenas[0]);
                            ++i;
                        } else if (eDeUmANove(seguinte)) {
                            O += palavra(kOnzeADezanove, seguinte);
                            ++i;
                        }
                    } else if (c == u'0') {
                        F = true;
                    } else {
                        O += palavra(kDezenas, c);
                        if (seguinte == u'0') F = true;
                    }
                    break;
                }
                case Classe::Unidades: {
                    if (c == u'1') {
                        if (i == 3 && todosBrancos(1, 2)) {
                            O += QString::fromUtf16(u"Um Milhão ");
                            F = true;
                        } else if (i == 6 && (todosBrancos(1, 5) || mid(4, 3) == QStringLiteral("001"))) {
                            O += QStringLiteral("Mil ");
                            F = true;
                        } else {
                            O += QString::fromUtf16(unidades[0]);
                        }
                    } else if (c == u'0') {
                        if (i == 12 && mid(11, 2) == QStringLiteral("00")) F = true;
                    } else {
                        O += palavra(unidades, c);
                    }
                    break;
                }
            }
        }

        // Joining step, at the position the rule left i on.
        if (!F) {
            if (i == 3) {
                O += QString::fromUtf16(u" Milhões ");
            } else if (i == 6) {
                if (mid(4, 6) == QStringLiteral("000000")) {
                    O += QStringLiteral("De");
                } else if (mid(4, 3) != QStringLiteral("000")) {
                    O += QStringLiteral(" Mil ");
                }
            } else if (i == 12) {
                O += mid(11, 2) == QStringLiteral("01") ? S1 : S2;
            } else if (i != 9) {
                O += QStringLiteral(" e ");
            }
        }
        F = false;
    }
    return O;
}
