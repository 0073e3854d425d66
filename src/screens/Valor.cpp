#include "screens/Valor.h"

#include <QKeyEvent>
#include <algorithm>
#include <exception>
#include <optional>

#include "screens/TypingRule.h"
#include "screens/entryvalue.h"
#include "util/EDiv.h"

namespace {

// The amount of a field's text, read with the regional separators; nothing when the text is
// no amount.
std::optional<data::Currency> amountOf(const QString& text) {
    QString plain = text;
    plain.replace(screens::decimalSeparator(), QStringLiteral("."));
    if (plain == u"-" || plain == u"." || plain == u"-.") return data::Currency();
    if (plain.endsWith(u'.')) plain.chop(1);
    if (plain.startsWith(u'.') || plain.startsWith(QStringLiteral("-."))) plain.insert(plain.indexOf(u'.'), u'0');
    return data::Currency::parse(plain);
}

}  // namespace

Valor::Valor(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A shorter text may stay longer than a limit set after it was shown; it only may not grow.
    new TypingRule(this, [this](const QString& edited, const QString& before) {
        return aceitaTexto(edited, decimais_, edited.size() < before.size() ? 0 : comprimento_);
    });
    connect(this, &QLineEdit::editingFinished, this, &Valor::revalidar);
}

void Valor::setDecimais(const QVariant& value) {
    decimais_ = std::clamp<std::int16_t>(screens::int16Of(value), 0, 4);
    revalidar();
}

void Valor::setComprimento(const QVariant& value) {
    const std::optional<double> n = screens::numberOf(value);
    comprimento_ = (n && *n > 0 && *n < 2147483647.0) ? static_cast<std::int32_t>(*n) : 0;
}

data::Currency Valor::valor() const { return amountOf(text()).value_or(data::Currency()); }

void Valor::setValor(data::Currency amount) {
    QString sep = screens::decimalSeparator();
    setText(eFun().FDNum(amount, decimais_, 0, 0, QStringLiteral("SSM"), sep));
}

bool Valor::aceitaTexto(const QString& text, int decimais, int comprimento) {
    if (comprimento > 0 && text.size() > comprimento) return false;
    const QChar sep = screens::decimalSeparator().at(0);
    qsizetype i = 0;
    if (i < text.size() && text.at(i) == u'-') ++i;
    qsizetype decimalsTyped = -1;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == sep) {
            if (decimalsTyped >= 0 || decimais <= 0) return false;
            decimalsTyped = 0;
        } else if (c >= u'0' && c <= u'9') {
            if (decimalsTyped >= 0 && ++decimalsTyped > decimais) return false;
        } else {
            return false;
        }
    }
    return amountOf(text).has_value();
}

void Valor::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const QString sep = screens::decimalSeparator();
    if ((typed == u"." || typed == u",") && typed != sep) {
        QKeyEvent asSeparator(event->type(), event->key(), event->modifiers(), sep);
        QLineEdit::keyPressEvent(&asSeparator);
        event->setAccepted(asSeparator.isAccepted());
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void Valor::revalidar() {
    if (text().isEmpty()) return;
    const std::optional<data::Currency> amount = amountOf(text());
    try {
        setValor(amount.value_or(data::Currency()));
    } catch (const std::exception&) {
        setValor(data::Currency());
    }
}
