#pragma once
// Valor: the amount entry control. It takes digits, a leading minus and one regional decimal
// separator (the point and the comma typed on the keyboard stand for it), at most Decimais
// decimals and at most Comprimento characters; a keystroke that would break a rule is refused.
// When the user leaves the field, and whenever Decimais changes, the amount is shown again
// with exactly Decimais decimals and no digit grouping.

#include <QLineEdit>
#include <QVariant>
#include <cstdint>

#include "data/currency.h"

class Valor : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant Decimais READ Decimais WRITE setDecimais)
    Q_PROPERTY(QVariant Comprimento READ Comprimento WRITE setComprimento)

public:
    explicit Valor(QWidget* parent = nullptr);

    // The decimals shown, 0 to 4 (the amount keeps four); a non-numeric value counts as 0.
    QVariant Decimais() const { return QVariant::fromValue(decimais_); }
    void setDecimais(const QVariant& value);

    // The most characters the field takes; 0 (or a non-numeric value) sets no limit. A shorter
    // limit does not cut a text already shown.
    QVariant Comprimento() const { return QVariant::fromValue(comprimento_); }
    void setComprimento(const QVariant& value);

    // The amount shown (0 for an empty field).
    data::Currency valor() const;
    void setValor(data::Currency amount);

    // Whether a text obeys the typing rules of a field with these settings.
    static bool aceitaTexto(const QString& text, int decimais, int comprimento);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void revalidar();

    std::int16_t decimais_ = 2;
    std::int32_t comprimento_ = 18;
};
