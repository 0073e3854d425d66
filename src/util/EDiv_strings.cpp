// Padding, string and small conversion members of EDiv.
//
// Positions and counts of the original were 16-bit; here texts of any length are walked whole
// and only a 16-bit result that cannot hold its value (a width or a count beyond 32,767) raises
// the overflow error, so long texts get a defined answer instead of a wrapped number.

#include <QStringView>
#include <limits>
#include <utility>

#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "platform/win1252.h"
#include "util/EDiv.h"
#include "util/text.h"

namespace {

using util::trimBlanks;

std::int16_t toInt16OrOverflow(qsizetype v) {
    if (v > std::numeric_limits<std::int16_t>::max() || v < std::numeric_limits<std::int16_t>::min()) {
        platform::raiseOverflow();
    }
    return static_cast<std::int16_t>(v);
}

}  // namespace

QString EDiv::Zerar(const QString& Texto, Ref<std::int16_t> Nchar, Ref<QString> Caracter) {
    if (Caracter->isEmpty()) *Caracter = QStringLiteral("0");
    const QString t = trimBlanks(Texto);
    const qsizetype len = t.size();
    if (len > *Nchar) *Nchar = toInt16OrOverflow(len);
    return QString(*Nchar - len, Caracter->at(0)) + t;
}

QString EDiv::Tirar_Espacos_str(const QString& strString, const QString& strTipoEspaco) {
    if (trimBlanks(strString).isEmpty()) return QString();
    // Only a one-character strTipoEspaco can ever equal a single character.
    if (strTipoEspaco.size() != 1) return strString;
    QString out;
    out.reserve(strString.size());
    for (const QChar c : strString) {
        if (c != strTipoEspaco.at(0)) out.append(c);
    }
    return out;
}

data::Variant EDiv::IsNulo(const Variant& varInput, const Variant& varDefault) {
    return varInput.isNull() ? varDefault : varInput;
}

bool EDiv::IntToBool(std::int16_t MValor) {
    if (MValor == 1) return true;
    if (MValor == 0) return false;
    platform::MsgBox(QStringLiteral("Esta Função só deve ser utilizada com valores de 1 e 0"), platform::mb::OKOnly);
    return false;
}

std::int16_t EDiv::BoolToInt(bool MValor) { return MValor ? 1 : 0; }

QString EDiv::StripVBCRLFString(QString xString, const QString& ReplaceChar) {
    if (!ReplaceChar.isEmpty()) {
        const QChar r = ReplaceChar.at(0);
        for (qsizetype i = 0; i < xString.size(); ++i) {
            if (xString.at(i) == u'\r' || xString.at(i) == u'\n') xString[i] = r;
        }
    }
    return trimBlanks(xString);
}

std::int16_t EDiv::ContaCHR(const QString& strString, const QString& strCHR) {
    if (strCHR.size() != 1) return 0;
    const QString needle = strCHR.toUpper();
    qsizetype n = 0;
    for (const QChar c : strString) {
        if (QString(c).toUpper() == needle) ++n;
    }
    return toInt16OrOverflow(n);
}

QString EDiv::ReplacePortChar(QString strToCheck) {
    static const QString from = QStringLiteral("ÁÀÃÂÄáàãâäÉÈÊËéèêëÍÌÎÏíìîïÓÒÕÔÖóòõôöÚÙÛÜúùûüÇç€ºª");
    static const QString to = QStringLiteral("AAAAAaaaaaEEEEeeeeIIIIiiiiOOOOOoooooUUUUuuuuCcEoa");
    for (qsizetype i = 0; i < strToCheck.size(); ++i) {
        const qsizetype k = from.indexOf(strToCheck.at(i));
        if (k >= 0) strToCheck[i] = to.at(k);
    }
    return strToCheck;
}

QString EDiv::Encrypt(const QString& Frase) {
    // Each ANSI code is complemented within 8 bits and its two 4-bit halves exchanged: the
    // same as DecToBin, InverteBin and BinToDec in a row, so the transform is its own inverse.
    QString out;
    out.reserve(Frase.size());
    for (qsizetype i = 0; i < Frase.size(); ++i) {
        const QChar c = Frase.at(i);
        if (c.isHighSurrogate() && i + 1 < Frase.size() && Frase.at(i + 1).isLowSurrogate()) ++i;
        const int x = (~platform::ansiCode(c)) & 0xFF;
        out.append(platform::ansiChar(((x & 0x0F) << 4) | (x >> 4)));
    }
    return out;
}

QString EDiv::Decrypt(const QString& Frase) { return Encrypt(Frase); }

QString EDiv::DecToBin(Ref<std::int16_t> Num) {
    QString digits;
    while (*Num > 0) {
        digits.prepend(QChar(u'0' + (*Num % 2)));
        *Num = static_cast<std::int16_t>(*Num / 2);
    }
    std::int16_t width = 8;
    return Zerar(digits, width);
}

QString EDiv::InverteBin(const QString& Bin) {
    QString c = Bin;
    for (qsizetype i = 0; i < c.size(); ++i) {
        if (c.at(i) == u'1') {
            c[i] = u'0';
        } else if (c.at(i) == u'0') {
            c[i] = u'1';
        }
    }
    return c.mid(4, 4) + c.mid(0, 4);
}

std::int16_t EDiv::BinToDec(const QString& Binario) {
    double sum = 0;
    const qsizetype n = Binario.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (Binario.at(i) != u'1') continue;
        const qsizetype p = n - 1 - i;
        if (p >= 15) platform::raiseOverflow();
        sum += static_cast<double>(1 << p);
    }
    return static_cast<std::int16_t>(sum);
}

bool EDiv::StripString(QString SString, QString sChar, std::vector<Variant>& aArray) {
    // An empty separator would never advance the walk; it is treated as absent.
    if (sChar.isEmpty() || !SString.contains(sChar)) {
        aArray.assign(1, Variant(trimBlanks(SString)));
        return true;
    }
    const qsizetype step = sChar.size();
    std::vector<Variant> parts;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < SString.size()) {
        if (QStringView(SString).mid(i, step) == sChar) {
            parts.emplace_back(trimBlanks(SString.mid(start, i - start)));
            i += step;
            start = i;
        } else {
            ++i;
        }
    }
    parts.emplace_back(trimBlanks(SString.mid(start)));
    aArray = std::move(parts);
    return true;
}

bool EDiv::FastStripString(QString StringToStrip, const QString& Character, std::vector<Variant>& aReturn) {
    aReturn.assign(1, Variant(QString()));
    if (trimBlanks(StringToStrip).isEmpty()) return false;
    auto lastIsEmpty = [&] { return aReturn.back().toString().isEmpty(); };
    auto put = [&](const QString& part) {
        if (!lastIsEmpty()) aReturn.emplace_back(QString());
        aReturn.back() = Variant(part);
    };
    if (Character.isEmpty()) {  // no separator can be found; the whole text is one part
        put(StringToStrip);
        return true;
    }
    qsizetype p = 0;
    while (p < StringToStrip.size()) {
        const qsizetype q = StringToStrip.indexOf(Character, p);
        if (q < 0) {
            put(StringToStrip.mid(p));
            break;
        }
        put(StringToStrip.mid(p, q - p));
        p = q + Character.size();
    }
    return true;
}

void EDiv::GetArg(const QString& MCommand, std::vector<QString>& Argv, std::int16_t& Argc) {
    const qsizetype blanks = MCommand.count(u' ');
    if (blanks == 0) {
        Argc = 1;
        Argv.assign(2, QString());
        return;
    }
    if (blanks + 1 > std::numeric_limits<std::int16_t>::max()) return;  // the argument count does not fit
    Argv.assign(static_cast<std::size_t>(blanks + 2), QString());
    Argc = static_cast<std::int16_t>(blanks + 1);
    qsizetype start = 0;
    std::size_t k = 1;
    qsizetype i = 0;
    while (i < MCommand.size()) {
        if (MCommand.at(i) == u' ') {
            Argv[k++] = trimBlanks(MCommand.mid(start, i - start));
            start = i + 1;
            i += 2;  // the character right after a blank is never a separator
        } else {
            ++i;
        }
    }
    Argv[k] = MCommand.mid(start);
}

void EDiv::SortArray(std::vector<Variant>& aArray, std::int32_t ordType) {
    const bool descending = ordType == 1;
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (std::size_t i = 0; i + 1 < aArray.size(); ++i) {
            const int c = Variant::compare(aArray[i + 1], aArray[i]);
            if (descending ? c > 0 : c < 0) {
                std::swap(aArray[i], aArray[i + 1]);
                swapped = true;
            }
        }
    }
}
