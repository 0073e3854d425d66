#include "screens/Inteiro.h"

#include <algorithm>

#include "screens/TypingRule.h"
#include "screens/entryvalue.h"

Inteiro::Inteiro(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setText(QStringLiteral("0"));
    new TypingRule(this, [this](const QString& edited, const QString& before) {
        return obedece(edited) || edited.size() < before.size();
    });
    connect(this, &QLineEdit::editingFinished, this, &Inteiro::aoSair);
}

void Inteiro::setMinimo(const QVariant& value) { minimo_ = screens::int16Of(value); }

void Inteiro::setMaximo(const QVariant& value) { maximo_ = screens::int16Of(value); }

void Inteiro::setValor(const QVariant& value) {
    const std::int16_t v = std::min(screens::int16Of(value), maximo_);
    setText(QString::number(v));
}

std::int16_t Inteiro::valor() const { return std::min(screens::int16Of(text()), maximo_); }

bool Inteiro::obedece(const QString& text) const {
    qsizetype i = 0;
    if (minimo_ < 0 && text.startsWith(u'-')) i = 1;
    if (text.size() - i > 5) return false;
    for (; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9') return false;
    }
    return true;
}

void Inteiro::aoSair() {
    const std::int16_t v = std::max(valor(), minimo_);
    setText(QString::number(v));
}
