#include "util/EDiv.h"

#include "platform/regional.h"

EDiv::EDiv() {
    static const char16_t* const names[] = {u"Janeiro", u"Fevereiro", u"Março",    u"Abril",
                                            u"Maio",    u"Junho",     u"Julho",    u"Agosto",
                                            u"Setembro", u"Outubro",  u"Novembro", u"Dezembro"};
    for (std::size_t i = 0; i < 12; ++i) mesesTabela_[i + 1] = QString::fromUtf16(names[i]);
}

EDiv::~EDiv() = default;

EDiv& eFun() {
    static EDiv instance;
    return instance;
}

data::Variant EDiv::Get_locale(std::int32_t LocalSetting) {
    // The platform answers the raw text; a blank-only setting (a blank thousands separator)
    // therefore reads as empty text, and an unknown code as an Empty value.
    const auto value = platform::getLocaleInfo(LocalSetting);
    if (!value) return Variant();
    QString t = *value;
    const qsizetype nul = t.indexOf(QChar(0));
    if (nul >= 0) t.truncate(nul);
    while (t.startsWith(u' ')) t.remove(0, 1);
    while (t.endsWith(u' ')) t.chop(1);
    return Variant(t);
}

void EDiv::Set_locale(std::int32_t Setting, const QString& Symbol) {
    platform::setLocaleInfo(Setting, Symbol);  // the platform's answer is not looked at
}
