// Amount reading, formatting and rounding under any regional separators. Input: one control
// line "decimalSep|thousandsSep|grouping|text|milArg|decArg|decimals|mode|amount" (UTF-8).
// StrToCurr answers an amount or the overflow error; FDNum with four decimals and sane
// separators reads back as the same amount; ArredondaVal of mode 0 changes nothing.

#include <QStringList>
#include <algorithm>
#include <optional>

#include "fuzz_support.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/Locale.h"

namespace {

using data::Currency;

// A separator the amount's own digits and sign cannot be mistaken for.
bool saneSeparator(const QString& s) {
    if (s.size() != 1) return false;
    const QChar c = s.at(0);
    return !c.isDigit() && !c.isSpace() && c != u'-' && c != u'+' && c.unicode() != 0;
}

std::optional<Currency> read(EDiv& e, const QString& text, const QString& mil, const QString& dec) {
    QString m = mil;
    QString d = dec;
    try {
        return e.StrToCurr(text, m, d);
    } catch (const platform::RuntimeError& err) {
        fuzz::check(err.number() == platform::errnum::Overflow, "StrToCurr raised something other than overflow",
                    err.description());
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::SilentBoxes::install();
    const fuzz::Split in = fuzz::splitControl(fuzz::bytesOf(data, size));
    LocaleRecord& loc = Locale();
    loc.gstrDecSep = fuzz::field(in, 0);
    loc.gstrMilSep = fuzz::field(in, 1);
    loc.gstrAgrupamento = fuzz::field(in, 2);
    const QString text = fuzz::field(in, 3);
    const QString milArg = fuzz::field(in, 4);
    const QString decArg = fuzz::field(in, 5);
    const auto decimals = static_cast<std::int16_t>(fuzz::number(in, 6, 2));
    const auto mode = static_cast<std::int32_t>(fuzz::number(in, 7, 1));
    EDiv& e = eFun();

    const std::optional<Currency> typed = read(e, text, milArg, decArg);
    const Currency amount = in.fields.size() > 8 ? Currency::fromRaw(fuzz::number(in, 8, 0)) : typed.value_or(Currency());

    QString sMil = milArg;
    QString sDec = decArg;
    const QString shown = e.FDNum(amount, decimals, 0, 0, sMil, sDec);
    fuzz::check(!shown.isEmpty(), "FDNum gave nothing");

    // Four decimals show the amount exactly, so it reads back, unless a regional decimal
    // separator that is a digit garbles the text (no real regional setting has one).
    const bool regionalSane = !std::any_of(loc.gstrDecSep.begin(), loc.gstrDecSep.end(), [](QChar c) { return c.isDigit(); });
    const QString mil = saneSeparator(milArg) ? milArg : QStringLiteral(",");
    const QString dec = saneSeparator(decArg) && decArg != mil ? decArg : (mil == u"." ? QStringLiteral(",") : QStringLiteral("."));
    QString m = mil;
    QString d = dec;
    const QString exact = e.FDNum(amount, 4, 0, 0, m, d);
    if (regionalSane) {
        const std::optional<Currency> back = read(e, exact, mil, dec);
        fuzz::check(back == amount, "FDNum with four decimals does not read back",
                    exact + QStringLiteral(" from raw ") + QString::number(amount.raw()));
    }

    fuzz::check(e.ArredondaVal(amount, decimals, 0) == amount, "ArredondaVal of mode 0 changed the amount");
    const Currency rounded = e.ArredondaVal(amount, decimals, mode);
    (void)rounded;
    // Rounding to four decimals or more is the amount itself in the rounding modes.
    if (mode == 1) {
        fuzz::check(e.ArredondaVal(amount, 4, 1) == amount, "rounding to four decimals changed the amount");
    }
    return 0;
}
